#include "tools/pe/pe_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "tools/pe/pe_format.h"

namespace Zavro::pe {

namespace {

using namespace format;

constexpr uint16_t kMaxSections = 96;
// Resources' names as the reader copies them, each time it meets them: a budget that a
// real stub never comes near and that bounds the work of a tree whose entries share one
// long name.
constexpr uint64_t kMaxCopiedNameUnits = 4u << 20;
// A tree of kMaxResources resources has at most a type, a name and a language entry for
// each.
constexpr uint64_t kMaxDirectoryEntries = 3 * uint64_t{kMaxResources};

bool IsPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

std::string Format(const char* format, unsigned long long a, unsigned long long b = 0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

std::string Describe(const ResourceId& id) { return id.isNumber ? std::to_string(id.number) : "\"" + Printable(id.text) + "\""; }

// A section's file bytes that the loader maps: no more than its virtual size.
uint32_t LoadedBytes(const Section& s) { return s.virtualSize != 0 ? std::min(s.virtualSize, s.rawSize) : s.rawSize; }

// The file bytes behind `size` bytes at `rva`, when a section's file data holds them all.
bool MapRva(const Image& image, uint32_t rva, uint32_t size, uint64_t& offset) {
  for (const Section& s : image.sections) {
    if (rva >= s.virtualAddress && static_cast<uint64_t>(rva) - s.virtualAddress + size <= LoadedBytes(s)) {
      offset = static_cast<uint64_t>(s.rawOffset) + (rva - s.virtualAddress);
      return true;
    }
  }
  return false;
}

class MemoryBytes : public ImageBytes {
 public:
  MemoryBytes(const unsigned char* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, size_t size, unsigned char* out) override {
    if (offset > size_ || size > size_ - offset) return false;
    if (size != 0) std::memcpy(out, data_ + offset, size);
    return true;
  }

 private:
  const unsigned char* data_;
  size_t size_;
};

// Walks the three levels of the resource directory (type, name, language) whose `limit`
// bytes start at file offset `base`, reading only what it walks.
class ResourceWalker {
 public:
  ResourceWalker(Image& image, ImageBytes& bytes, uint64_t base, uint32_t limit, std::string& error)
      : image_(image), bytes_(bytes), base_(base), limit_(limit), error_(error) {}

  bool Walk(uint32_t offset, int level, Resource& path) {
    if (!visited_.insert(offset).second) return Damaged("the resource directory points back into itself");
    if (offset > limit_ || limit_ - offset < kResourceDirectorySize) {
      return Damaged("a resource directory lies outside its section");
    }
    unsigned char dir[kResourceDirectorySize];
    if (!Read(offset, sizeof dir, dir)) return false;
    const uint32_t count = static_cast<uint32_t>(Get16(dir + kNumberOfNamedEntries)) + Get16(dir + kNumberOfIdEntries);
    if ((limit_ - offset - kResourceDirectorySize) / kResourceEntrySize < count) {
      return Damaged("a resource directory runs past its section");
    }
    // Directories that do not overlap hold at most one entry per 8 bytes of the section.
    entries_ += count;
    if (entries_ > limit_ / kResourceEntrySize) return Damaged("resource directories overlap");
    if (entries_ > kMaxDirectoryEntries) return TooMany();
    std::vector<unsigned char> entries(kResourceEntrySize * static_cast<size_t>(count));
    if (!Read(offset + kResourceDirectorySize, entries.size(), entries.data())) return false;
    for (uint32_t i = 0; i < count; ++i) {
      const unsigned char* entry = entries.data() + kResourceEntrySize * i;
      ResourceId id;
      if (!ReadId(Get32(entry), id)) return false;
      const uint32_t target = Get32(entry + 4);
      if (level == 0) path.type = id;
      if (level == 1) path.name = id;
      if (level < 2) {
        if ((target & kResourceHighBit) == 0) return Damaged("a resource directory entry names data where a directory belongs");
        if (!Walk(target & ~kResourceHighBit, level + 1, path)) return false;
        continue;
      }
      if ((target & kResourceHighBit) != 0 || !id.isNumber) return Damaged("a resource's language entry is not one");
      if (target > limit_ || limit_ - target < kResourceDataEntrySize) {
        return Damaged("a resource data entry lies outside its section");
      }
      if (image_.resources.size() == kMaxResources) return TooMany();
      // Each resource holds its own copy of its type's and its name's texts.
      if (!Spend(path.type.text.size() + path.name.text.size())) return false;
      unsigned char data[kResourceDataEntrySize];
      if (!Read(target, sizeof data, data)) return false;
      Resource resource = path;
      resource.language = id.number;
      resource.rva = Get32(data + kDataRva);
      resource.size = Get32(data + kDataSize);
      resource.codePage = Get32(data + kDataCodePage);
      if (!MapRva(image_, resource.rva, resource.size, resource.fileOffset)) {
        return Damaged("the data of resource " + Describe(resource.type) + " " + Describe(resource.name) +
                       " lies outside the file");
      }
      image_.resources.push_back(std::move(resource));
    }
    return true;
  }

 private:
  bool ReadId(uint32_t field, ResourceId& id) {
    if ((field & kResourceHighBit) == 0) {
      if (field > 0xFFFF) return Damaged("a resource number is out of range");
      id = ResourceId::Number(static_cast<uint16_t>(field));
      return true;
    }
    const uint32_t at = field & ~kResourceHighBit;
    if (at > limit_ || limit_ - at < 2) return Damaged("a resource name lies outside its section");
    unsigned char lengthField[2];
    if (!Read(at, 2, lengthField)) return false;
    const uint32_t length = Get16(lengthField);
    if ((limit_ - at - 2) / 2 < length) return Damaged("a resource name runs past its section");
    if (!Spend(length)) return false;
    std::vector<unsigned char> units(2 * static_cast<size_t>(length));
    if (!Read(at + 2, units.size(), units.data())) return false;
    std::u16string text(length, u'\0');
    for (uint32_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(Get16(units.data() + 2 * i));
    id = ResourceId::Text(std::move(text));
    return true;
  }

  bool Read(uint64_t offset, size_t size, unsigned char* out) {
    if (bytes_.Read(base_ + offset, size, out)) return true;
    error_ = "cannot read the resource directory";
    return false;
  }

  bool Spend(uint64_t units) {
    copied_ += units;
    if (copied_ <= kMaxCopiedNameUnits) return true;
    return Damaged("its resource names take more memory than a reader gives them");
  }

  bool TooMany() {
    error_ = Format("more than %llu resources; a program has a handful", kMaxResources);
    return false;
  }

  bool Damaged(const std::string& what) {
    error_ = "damaged image: " + what;
    return false;
  }

  Image& image_;
  ImageBytes& bytes_;
  uint64_t base_;
  uint32_t limit_;
  std::string& error_;
  std::set<uint32_t> visited_;
  uint64_t entries_ = 0;
  uint64_t copied_ = 0;
};

}  // namespace

ResourceId ResourceId::Number(uint16_t n) {
  ResourceId id;
  id.number = n;
  return id;
}

ResourceId ResourceId::Text(std::u16string t) {
  ResourceId id;
  id.isNumber = false;
  id.text = std::move(t);
  return id;
}

bool ResourceId::operator==(const ResourceId& other) const { return !(*this < other) && !(other < *this); }

bool ResourceId::operator<(const ResourceId& other) const {
  if (isNumber != other.isNumber) return !isNumber;
  if (isNumber) return number < other.number;
  auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  return std::lexicographical_compare(text.begin(), text.end(), other.text.begin(), other.text.end(),
                                      [&](char16_t a, char16_t b) { return upper(a) < upper(b); });
}

std::string Printable(const std::string& name) {
  std::string shown;
  for (unsigned char c : name) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      shown += Format("\\x%02llx", c);
    }
  }
  return shown;
}

std::string Printable(const std::u16string& name) {
  std::string shown;
  for (char16_t c : name) {
    if (c >= 0x20 && c < 0x7F && c != u'\\') {
      shown += static_cast<char>(c);
    } else {
      shown += Format(c < 0x100 ? "\\x%02llx" : "\\u%04llx", c);
    }
  }
  return shown;
}

ResourceId PackageType() { return ResourceId::Text(u"DATA"); }
ResourceId PackageName() { return ResourceId::Number(105); }

std::string MachineName(uint16_t machine) {
  switch (machine) {
    case 0x014C: return "x86";
    case 0x8664: return "x86-64";
    case 0xAA64: return "ARM64";
    case 0x01C4: return "ARM";
    default: return Format("0x%04llx", machine);
  }
}

bool ReadImage(const unsigned char* data, size_t size, Image& image, std::string& error) {
  MemoryBytes bytes(data, size);
  return ReadImage(bytes, image, error);
}

bool ReadImage(ImageBytes& bytes, Image& image, std::string& error) {
  image = Image();
  const uint64_t size = bytes.Size();
  image.fileSize = size;
  unsigned char dos[kDosHeaderSize];
  if (!bytes.Read(0, sizeof dos, dos) || dos[kDosMagic] != 'M' || dos[kDosMagic + 1] != 'Z') {
    error = "not a PE image: no MZ header";
    return false;
  }
  // The headers from the PE signature to the end of the section table, which is as far
  // as the signature, the file header and the largest optional header and table reach.
  const uint32_t pe = Get32(dos + kDosNewHeader);
  std::vector<unsigned char> headers(
      static_cast<size_t>(std::min<uint64_t>(size - std::min<uint64_t>(pe, size),
                                             kOptionalHeader + 0xFFFF + uint64_t{kSectionHeaderSize} * kMaxSections)));
  if (pe > size || headers.size() < kOptionalHeader || !bytes.Read(pe, headers.size(), headers.data()) ||
      std::memcmp(headers.data(), "PE\0\0", kSignatureSize) != 0) {
    error = "not a PE image: no PE header where the MZ header points";
    return false;
  }
  const unsigned char* h = headers.data();
  const uint64_t available = headers.size();
  image.peOffset = pe;
  image.machine = Get16(h + kMachine);
  const uint16_t sectionCount = Get16(h + kNumberOfSections);
  image.symbolTableOffset = Get32(h + kPointerToSymbolTable);
  const uint32_t optionalSize = Get16(h + kSizeOfOptionalHeader);
  image.optionalHeaderOffset = pe + kOptionalHeader;
  if (available - kOptionalHeader < 2) {
    error = "damaged image: the optional header is cut off";
    return false;
  }
  const unsigned char* o = h + kOptionalHeader;
  const uint16_t magic = Get16(o + kMagic);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
    error = Format("not a PE image: unknown optional header magic 0x%llx", magic);
    return false;
  }
  image.pe32Plus = magic == kMagicPe32Plus;
  const uint32_t directories = DataDirectories(image.pe32Plus);
  if (optionalSize < directories || available - kOptionalHeader < optionalSize) {
    error = "damaged image: the optional header is cut off";
    return false;
  }
  image.sectionAlignment = Get32(o + kSectionAlignment);
  image.fileAlignment = Get32(o + kFileAlignment);
  image.sizeOfImage = Get32(o + kSizeOfImage);
  image.sizeOfHeaders = Get32(o + kSizeOfHeaders);
  image.checksum = Get32(o + kCheckSum);
  image.subsystem = Get16(o + kSubsystem);
  image.dataDirectoryCount = std::min(Get32(o + NumberOfRvaAndSizes(image.pe32Plus)), kMaxDataDirectories);
  if (directories + kDataDirectorySize * image.dataDirectoryCount > optionalSize) {
    error = "damaged image: the data directories run past the optional header";
    return false;
  }
  if (!IsPowerOfTwo(image.fileAlignment) || !IsPowerOfTwo(image.sectionAlignment) ||
      image.sectionAlignment < image.fileAlignment || image.fileAlignment > 0x10000) {
    error = Format("damaged image: alignments 0x%llx (file) and 0x%llx (sections) are not valid",
                   image.fileAlignment, image.sectionAlignment);
    return false;
  }
  image.sectionTableOffset = image.optionalHeaderOffset + optionalSize;
  if (sectionCount > kMaxSections) {
    error = Format("damaged image: %llu sections, more than the loader takes (%llu)", sectionCount, kMaxSections);
    return false;
  }
  const uint64_t table = kOptionalHeader + optionalSize;
  if ((available - table) / kSectionHeaderSize < sectionCount) {
    error = "damaged image: the section table runs past the end of the file";
    return false;
  }
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const unsigned char* header = h + table + kSectionHeaderSize * i;
    Section s;
    s.name.assign(reinterpret_cast<const char*>(header + kSectionName),
                  strnlen(reinterpret_cast<const char*>(header + kSectionName), kSectionNameSize));
    s.virtualSize = Get32(header + kVirtualSize);
    s.virtualAddress = Get32(header + kVirtualAddress);
    s.rawSize = Get32(header + kSizeOfRawData);
    s.rawOffset = Get32(header + kPointerToRawData);
    s.characteristics = Get32(header + kSectionCharacteristics);
    if (s.rawSize != 0 && static_cast<uint64_t>(s.rawOffset) + s.rawSize > size) {
      error = "damaged image: the data of section " + Printable(s.name) + " runs past the end of the file";
      return false;
    }
    image.sections.push_back(std::move(s));
  }
  // Long section names ("/4") are offsets into the string table after the symbols.
  const uint64_t strings = image.symbolTableOffset + uint64_t{kSymbolSize} * Get32(h + kNumberOfSymbols);
  for (Section& s : image.sections) {
    if (image.symbolTableOffset == 0 || s.name.size() < 2 || s.name.size() > 8 || s.name[0] != '/' ||
        s.name.find_first_not_of("0123456789", 1) != std::string::npos) {
      continue;
    }
    const uint64_t at = strings + std::stoul(s.name.substr(1));
    if (at >= size) continue;
    char text[256];
    const size_t length = static_cast<size_t>(std::min<uint64_t>(size - at, sizeof text));
    if (!bytes.Read(at, length, reinterpret_cast<unsigned char*>(text))) continue;
    const size_t found = strnlen(text, length);
    if (found < length) s.name.assign(text, found);
  }
  auto directory = [&](uint32_t index, uint32_t& address, uint32_t& length) {
    address = length = 0;
    if (index >= image.dataDirectoryCount) return;
    address = Get32(o + directories + kDataDirectorySize * index);
    length = Get32(o + directories + kDataDirectorySize * index + 4);
  };
  directory(kDirectoryCertificate, image.certificateOffset, image.certificateSize);
  if (image.certificateSize != 0 && static_cast<uint64_t>(image.certificateOffset) + image.certificateSize > size) {
    error = "damaged image: the certificate table lies outside the file";
    return false;
  }
  directory(kDirectoryResource, image.resourceRva, image.resourceSize);
  if (image.resourceRva == 0 || image.resourceSize == 0) return true;
  for (size_t i = 0; i < image.sections.size(); ++i) {
    const Section& s = image.sections[i];
    if (image.resourceRva >= s.virtualAddress && image.resourceRva - s.virtualAddress < LoadedBytes(s)) {
      image.resourceSection = static_cast<int>(i);
      break;
    }
  }
  if (image.resourceSection < 0) {
    error = "damaged image: the resource directory lies outside the file's sections";
    return false;
  }
  const Section& s = image.sections[image.resourceSection];
  const uint32_t skip = image.resourceRva - s.virtualAddress;
  ResourceWalker walker(image, bytes, uint64_t{s.rawOffset} + skip, LoadedBytes(s) - skip, error);
  Resource path;
  return walker.Walk(0, 0, path);
}

const Resource* FindImageResource(const Image& image, const ResourceId& type, const ResourceId& name) {
  for (const Resource& r : image.resources) {
    if (r.type == type && r.name == name) return &r;
  }
  return nullptr;
}

void Checksum::Add(const unsigned char* data, size_t size) {
  size_t i = 0;
  if ((length_ & 1) != 0 && size != 0) {
    sum_ += static_cast<uint64_t>(data[0]) << 8;
    i = 1;
  }
  // A 32-bit word at an even offset is its two 16-bit words, modulo 0xFFFF.
  for (; i + 4 <= size; i += 4) sum_ += Get32(data + i);
  for (; i < size; ++i) sum_ += static_cast<uint64_t>(data[i]) << (8 * ((length_ + i) & 1));
  length_ += size;
}

uint32_t Checksum::Value() const {
  uint64_t folded = sum_;
  while ((folded >> 16) != 0) folded = (folded & 0xFFFF) + (folded >> 16);
  return static_cast<uint32_t>(folded + length_);
}

}  // namespace Zavro::pe
