#include "tools/pe/pe_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

namespace Zavro::pe {

namespace {

constexpr uint32_t kDirectoryResource = 2;
constexpr uint32_t kDirectoryCertificate = 4;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint16_t kMaxSections = 96;
constexpr uint32_t kHighBit = 0x80000000u;
// Initialized data, readable.
constexpr uint32_t kResourceCharacteristics = 0x40000040u;
// Resources' names, counted once per resource.
constexpr uint64_t kMaxCopiedNameUnits = 16u << 20;

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
void Put16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

uint64_t AlignUp(uint64_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }
bool IsText(const ResourceId& id) { return !id.isNumber; }
bool IsText(uint16_t) { return false; }
bool IsPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

std::string Format(const char* format, unsigned long long a, unsigned long long b = 0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

std::string Describe(const ResourceId& id) {
  if (id.isNumber) return std::to_string(id.number);
  std::string text;
  for (char16_t c : id.text) text += c < 0x80 ? static_cast<char>(c) : '?';
  return "\"" + text + "\"";
}

// A section's file bytes that the loader maps: no more than its virtual size.
uint32_t LoadedBytes(const Section& s) { return s.virtualSize != 0 ? std::min(s.virtualSize, s.rawSize) : s.rawSize; }

// Where a section ends in the image.
uint64_t VirtualEnd(const Section& s) {
  return static_cast<uint64_t>(s.virtualAddress) + (s.virtualSize != 0 ? s.virtualSize : s.rawSize);
}

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

// Walks the three levels of the resource directory (type, name, language) that starts
// `limit` bytes before the end of its section's file data.
class ResourceWalker {
 public:
  ResourceWalker(Image& image, const unsigned char* base, uint32_t limit, std::string& error)
      : image_(image), base_(base), limit_(limit), error_(error) {}

  bool Walk(uint32_t offset, int level, Resource& path) {
    if (!visited_.insert(offset).second) return Damaged("the resource directory points back into itself");
    if (offset > limit_ || limit_ - offset < 16) return Damaged("a resource directory lies outside its section");
    const unsigned char* dir = base_ + offset;
    const uint32_t count = static_cast<uint32_t>(Get16(dir + 12)) + Get16(dir + 14);
    if ((limit_ - offset - 16) / 8 < count) return Damaged("a resource directory runs past its section");
    // Directories that do not overlap hold at most one entry per 8 bytes of the section.
    entries_ += count;
    if (entries_ > limit_ / 8) return Damaged("resource directories overlap");
    for (uint32_t i = 0; i < count; ++i) {
      const unsigned char* entry = dir + 16 + 8 * i;
      ResourceId id;
      if (!ReadId(Get32(entry), id)) return false;
      const uint32_t target = Get32(entry + 4);
      if (level == 0) path.type = id;
      if (level == 1) path.name = id;
      if (level < 2) {
        if ((target & kHighBit) == 0) return Damaged("a resource directory entry names data where a directory belongs");
        if (!Walk(target & ~kHighBit, level + 1, path)) return false;
        continue;
      }
      if ((target & kHighBit) != 0 || !id.isNumber) return Damaged("a resource's language entry is not one");
      if (target > limit_ || limit_ - target < 16) return Damaged("a resource data entry lies outside its section");
      // Each resource holds its own copy of its type's and its name's texts.
      copied_ += path.type.text.size() + path.name.text.size();
      if (copied_ > kMaxCopiedNameUnits) return Damaged("its resource names take more memory than a reader gives them");
      Resource resource = path;
      resource.language = id.number;
      resource.rva = Get32(base_ + target);
      resource.size = Get32(base_ + target + 4);
      resource.codePage = Get32(base_ + target + 8);
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
    if ((field & kHighBit) == 0) {
      if (field > 0xFFFF) return Damaged("a resource number is out of range");
      id = ResourceId::Number(static_cast<uint16_t>(field));
      return true;
    }
    const uint32_t at = field & ~kHighBit;
    if (at > limit_ || limit_ - at < 2) return Damaged("a resource name lies outside its section");
    const uint32_t length = Get16(base_ + at);
    if ((limit_ - at - 2) / 2 < length) return Damaged("a resource name runs past its section");
    std::u16string text(length, u'\0');
    for (uint32_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(Get16(base_ + at + 2 + 2 * i));
    id = ResourceId::Text(std::move(text));
    return true;
  }

  bool Damaged(const std::string& what) {
    error_ = "damaged image: " + what;
    return false;
  }

  Image& image_;
  const unsigned char* base_;
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

void Put32(unsigned char* at, uint32_t value) {
  Put16(at, static_cast<uint16_t>(value));
  Put16(at + 2, static_cast<uint16_t>(value >> 16));
}

bool ReadImage(const unsigned char* data, size_t size, Image& image, std::string& error) {
  image = Image();
  image.fileSize = size;
  if (size < 64 || data[0] != 'M' || data[1] != 'Z') {
    error = "not a PE image: no MZ header";
    return false;
  }
  const uint32_t pe = Get32(data + 0x3C);
  if (pe > size || size - pe < 24 || std::memcmp(data + pe, "PE\0\0", 4) != 0) {
    error = "not a PE image: no PE header where the MZ header points";
    return false;
  }
  image.peOffset = pe;
  image.machine = Get16(data + pe + 4);
  const uint16_t sectionCount = Get16(data + pe + 6);
  image.symbolTableOffset = Get32(data + pe + 12);
  const uint32_t optionalSize = Get16(data + pe + 20);
  const uint32_t opt = pe + 24;
  image.optionalHeaderOffset = opt;
  if (size - opt < 2) {
    error = "damaged image: the optional header is cut off";
    return false;
  }
  const uint16_t magic = Get16(data + opt);
  if (magic != 0x10B && magic != 0x20B) {
    error = Format("not a PE image: unknown optional header magic 0x%llx", magic);
    return false;
  }
  image.pe32Plus = magic == 0x20B;
  const uint32_t directories = image.pe32Plus ? 112 : 96;
  if (optionalSize < directories || size - opt < optionalSize) {
    error = "damaged image: the optional header is cut off";
    return false;
  }
  const unsigned char* o = data + opt;
  image.sectionAlignment = Get32(o + 32);
  image.fileAlignment = Get32(o + 36);
  image.sizeOfImage = Get32(o + 56);
  image.sizeOfHeaders = Get32(o + 60);
  image.checksum = Get32(o + 64);
  image.subsystem = Get16(o + 68);
  image.dataDirectoryCount = std::min<uint32_t>(Get32(o + directories - 4), 16);
  if (directories + 8 * image.dataDirectoryCount > optionalSize) {
    error = "damaged image: the data directories run past the optional header";
    return false;
  }
  if (!IsPowerOfTwo(image.fileAlignment) || !IsPowerOfTwo(image.sectionAlignment) ||
      image.sectionAlignment < image.fileAlignment || image.fileAlignment > 0x10000) {
    error = Format("damaged image: alignments 0x%llx (file) and 0x%llx (sections) are not valid",
                   image.fileAlignment, image.sectionAlignment);
    return false;
  }
  image.sectionTableOffset = opt + optionalSize;
  if (sectionCount > kMaxSections) {
    error = Format("damaged image: %llu sections, more than the loader takes (%llu)", sectionCount, kMaxSections);
    return false;
  }
  if ((size - image.sectionTableOffset) / kSectionHeaderSize < sectionCount) {
    error = "damaged image: the section table runs past the end of the file";
    return false;
  }
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const unsigned char* h = data + image.sectionTableOffset + kSectionHeaderSize * i;
    Section s;
    s.name.assign(reinterpret_cast<const char*>(h), strnlen(reinterpret_cast<const char*>(h), 8));
    s.virtualSize = Get32(h + 8);
    s.virtualAddress = Get32(h + 12);
    s.rawSize = Get32(h + 16);
    s.rawOffset = Get32(h + 20);
    s.characteristics = Get32(h + 36);
    if (s.rawSize != 0 && static_cast<uint64_t>(s.rawOffset) + s.rawSize > size) {
      error = "damaged image: the data of section " + s.name + " runs past the end of the file";
      return false;
    }
    image.sections.push_back(std::move(s));
  }
  // Long section names ("/4") are offsets into the string table after the symbols.
  const uint64_t strings = image.symbolTableOffset + 18ull * Get32(data + pe + 16);
  for (Section& s : image.sections) {
    if (image.symbolTableOffset == 0 || s.name.size() < 2 || s.name[0] != '/' ||
        s.name.find_first_not_of("0123456789", 1) != std::string::npos) {
      continue;
    }
    const uint64_t at = strings + std::stoul(s.name.substr(1));
    if (at >= size) continue;
    const char* text = reinterpret_cast<const char*>(data + at);
    const size_t length = strnlen(text, std::min<uint64_t>(size - at, 256));
    if (at + length < size) s.name.assign(text, length);
  }
  auto directory = [&](uint32_t index, uint32_t& address, uint32_t& length) {
    address = length = 0;
    if (index >= image.dataDirectoryCount) return;
    address = Get32(o + directories + 8 * index);
    length = Get32(o + directories + 8 * index + 4);
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
  ResourceWalker walker(image, data + s.rawOffset + skip, LoadedBytes(s) - skip, error);
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

bool LayOutSfx(const unsigned char* stub, size_t size, uint64_t packageSize, SfxLayout& layout, std::string& error) {
  layout = SfxLayout();
  Image image;
  if (!ReadImage(stub, size, image, error)) return false;
  layout.is64 = image.pe32Plus;
  layout.machine = image.machine;
  if (image.dataDirectoryCount <= kDirectoryResource) {
    error = "the stub's optional header has no entry for a resource directory";
    return false;
  }

  // The resources to write, in the directory's order; the package goes last.
  struct Item {
    uint32_t codePage = 0;
    const unsigned char* bytes = nullptr;
    uint32_t size = 0;
    bool package = false;
  };
  using Languages = std::map<uint16_t, Item>;
  using Names = std::map<ResourceId, Languages>;
  std::map<ResourceId, Names> tree;
  // The package's type first, so that the directory spells it as the installer asks.
  tree[PackageType()];
  uint16_t packageLanguage = 0;
  for (const Resource& r : image.resources) {
    if (r.type == PackageType() && r.name == PackageName()) {
      if (!layout.packageReplaced) packageLanguage = r.language;
      layout.packageReplaced = true;
      continue;
    }
    tree[r.type][r.name].emplace(r.language, Item{r.codePage, stub + r.fileOffset, r.size, false});
  }
  tree[PackageType()][PackageName()][packageLanguage] = Item{0, nullptr, 0, true};

  // Directories, then data entries, then names, then the data. A directory counts its
  // entries in 16 bits.
  auto directorySize = [](size_t entries) { return 16 + 8 * static_cast<uint64_t>(entries); };
  bool tooMany = tree.size() > 0xFFFF;
  uint64_t cursor = directorySize(tree.size());
  size_t resourceCount = 0;
  for (const auto& [type, names] : tree) {
    tooMany = tooMany || names.size() > 0xFFFF;
    cursor += directorySize(names.size());
    for (const auto& [name, languages] : names) {
      tooMany = tooMany || languages.size() > 0xFFFF;
      cursor += directorySize(languages.size());
      resourceCount += languages.size();
    }
  }
  if (tooMany) {
    error = "the stub has more resources than a resource directory holds";
    return false;
  }
  const uint64_t entriesStart = cursor;
  cursor += 16 * static_cast<uint64_t>(resourceCount);
  const uint64_t namesStart = cursor;
  auto nameSize = [](const ResourceId& id) { return id.isNumber ? 0 : 2 + 2 * static_cast<uint64_t>(id.text.size()); };
  for (const auto& [type, names] : tree) {
    cursor += nameSize(type);
    for (const auto& [name, languages] : names) cursor += nameSize(name);
  }
  const uint64_t dataStart = cursor;
  for (const auto& [type, names] : tree) {
    for (const auto& [name, languages] : names) {
      for (const auto& [language, item] : languages) {
        if (!item.package) cursor = AlignUp(cursor, 8) + item.size;
      }
    }
  }
  // Resources of a sound image never share bytes: all of them together fit in the file.
  if (cursor - dataStart > size + 8 * static_cast<uint64_t>(resourceCount)) {
    error = "damaged image: its resources claim more bytes than the file has";
    return false;
  }
  const uint64_t packageOffset = AlignUp(cursor, 8);
  const uint64_t sectionSize = packageOffset + packageSize;

  // Where the section goes: in place of the stub's own when that is the last section
  // in the image and in the file, else after the last one.
  const std::vector<Section>& sections = image.sections;
  const int r = image.resourceSection;
  bool inPlace = r >= 0 && sections[r].virtualAddress == image.resourceRva;
  for (size_t i = 0; inPlace && i < sections.size(); ++i) {
    if (static_cast<int>(i) == r) continue;
    if (sections[i].virtualAddress >= sections[r].virtualAddress || VirtualEnd(sections[i]) > sections[r].virtualAddress ||
        (sections[i].rawSize != 0 && sections[i].rawOffset >= sections[r].rawOffset)) {
      inPlace = false;
    }
  }
  const uint64_t tableEnd = image.sectionTableOffset + kSectionHeaderSize * static_cast<uint64_t>(sections.size());
  uint64_t rawEnd = std::max<uint64_t>(image.sizeOfHeaders, tableEnd);
  uint64_t firstRaw = UINT64_MAX;
  // A section added follows the last one without a gap: the loader takes only sections
  // that follow each other so. It never starts at 0, where the headers are, nor inside a
  // section that overlaps others (which a sound image has not).
  uint64_t virtualEnd = std::max<uint32_t>(image.sizeOfHeaders, 1);
  for (const Section& s : sections) {
    if (s.rawSize != 0) {
      rawEnd = std::max<uint64_t>(rawEnd, static_cast<uint64_t>(s.rawOffset) + s.rawSize);
      firstRaw = std::min<uint64_t>(firstRaw, s.rawOffset);
    }
    virtualEnd = std::max(virtualEnd, VirtualEnd(s));
  }
  rawEnd = std::min<uint64_t>(rawEnd, size);
  // The signature sits after everything else; what follows the sections before it (a
  // symbol table) is kept.
  uint64_t keptEnd = size;
  if (image.certificateSize != 0) {
    layout.signatureRemoved = true;
    if (image.certificateOffset >= rawEnd) keptEnd = image.certificateOffset;
  }

  uint64_t sectionVa = 0;
  uint64_t rawOffset = 0;
  const uint64_t rawSize = AlignUp(sectionSize, image.fileAlignment);
  uint64_t overlayFrom = keptEnd;  // kept bytes that follow the new section
  uint64_t headerIndex = 0;
  int64_t initializedGrowth = 0;
  if (inPlace) {
    const Section& s = sections[r];
    if (s.rawOffset < tableEnd) {
      error = "damaged image: the resource section overlaps the headers";
      return false;
    }
    sectionVa = s.virtualAddress;
    rawOffset = s.rawOffset;
    overlayFrom = std::min<uint64_t>(static_cast<uint64_t>(s.rawOffset) + s.rawSize, keptEnd);
    headerIndex = static_cast<uint64_t>(r);
    initializedGrowth = static_cast<int64_t>(rawSize) - s.rawSize;
  } else {
    const bool roomInTable = sections.size() < kMaxSections && tableEnd + kSectionHeaderSize <= image.sizeOfHeaders &&
                             tableEnd + kSectionHeaderSize <= firstRaw && tableEnd + kSectionHeaderSize <= size &&
                             std::all_of(stub + tableEnd, stub + tableEnd + kSectionHeaderSize,
                                         [](unsigned char b) { return b == 0; });
    if (image.sectionAlignment < 0x1000) {
      error = Format("the stub's sections are aligned to 0x%llx bytes, less than a page: no section can be added",
                     image.sectionAlignment);
      return false;
    }
    if (!roomInTable) {
      error = r >= 0 ? "the stub's resource section is not its last section, and its section table has no room "
                       "for a new one"
                     : "the stub has no resource section, and its section table has no room for one";
      return false;
    }
    sectionVa = AlignUp(virtualEnd, image.sectionAlignment);
    rawOffset = AlignUp(keptEnd, image.fileAlignment);
    headerIndex = sections.size();
    initializedGrowth = static_cast<int64_t>(rawSize);
    layout.sectionAdded = true;
  }
  const uint64_t imageSize = AlignUp(sectionVa + sectionSize, image.sectionAlignment);
  const uint64_t fileSize = rawOffset + rawSize + (keptEnd - overlayFrom);
  if (imageSize >= kMaxImageSize || fileSize >= kMaxImageSize) {
    error = Format("a package of %llu bytes makes an image of %llu bytes; the loader takes images under 2 GiB",
                   packageSize, std::max(imageSize, fileSize));
    return false;
  }

  // The headers and everything up to the new section, as the stub has them.
  std::vector<unsigned char>& head = layout.head;
  head.assign(stub, stub + std::min<uint64_t>(rawOffset, keptEnd));
  head.resize(rawOffset, 0);
  unsigned char* o = head.data() + image.optionalHeaderOffset;
  const uint32_t directories = image.pe32Plus ? 112 : 96;
  Put32(o + directories + 8 * kDirectoryResource, static_cast<uint32_t>(sectionVa));
  Put32(o + directories + 8 * kDirectoryResource + 4, static_cast<uint32_t>(sectionSize));
  if (image.certificateSize != 0) {
    Put32(o + directories + 8 * kDirectoryCertificate, 0);
    Put32(o + directories + 8 * kDirectoryCertificate + 4, 0);
  }
  Put32(o + 56, static_cast<uint32_t>(imageSize));
  Put32(o + 64, 0);
  const int64_t initialized = static_cast<int64_t>(Get32(o + 8)) + initializedGrowth;
  Put32(o + 8, static_cast<uint32_t>(std::clamp<int64_t>(initialized, 0, UINT32_MAX)));
  unsigned char* h = head.data() + image.sectionTableOffset + kSectionHeaderSize * headerIndex;
  if (layout.sectionAdded) {
    std::memcpy(h, ".rsrc\0\0\0", 8);
    Put32(h + 12, static_cast<uint32_t>(sectionVa));
    Put32(h + 20, static_cast<uint32_t>(rawOffset));
    Put32(h + 36, kResourceCharacteristics);
    Put16(head.data() + image.peOffset + 6, static_cast<uint16_t>(sections.size() + 1));
    // The stub's own resource section stays where it is, unused; under another name, so
    // that tools which look for ".rsrc" by name find the one in use.
    if (r >= 0 && sections[r].name == ".rsrc" && sections[r].virtualAddress == image.resourceRva) {
      std::memcpy(head.data() + image.sectionTableOffset + kSectionHeaderSize * r, ".oldrsrc", 8);
    }
  }
  Put32(h + 8, static_cast<uint32_t>(sectionSize));
  Put32(h + 16, static_cast<uint32_t>(rawSize));
  // A symbol table after the old section moves with the bytes that follow it; one
  // inside it, or in the signature, is gone.
  if (image.symbolTableOffset != 0) {
    uint64_t moved = image.symbolTableOffset;
    bool kept = image.symbolTableOffset < keptEnd;
    if (inPlace && image.symbolTableOffset >= rawOffset) {
      kept = kept && image.symbolTableOffset >= overlayFrom;
      moved = image.symbolTableOffset - overlayFrom + rawOffset + rawSize;
    }
    Put32(head.data() + image.peOffset + 12, kept ? static_cast<uint32_t>(moved) : 0);
    if (!kept) Put32(head.data() + image.peOffset + 16, 0);
  }
  layout.checksumOffset = image.optionalHeaderOffset + 64;

  // The resource section up to the package's first byte.
  const size_t start = head.size();
  head.resize(start + static_cast<size_t>(packageOffset), 0);
  unsigned char* section = head.data() + start;
  uint64_t nextEntry = entriesStart;
  uint64_t nextName = namesStart;
  auto putHeader = [&](uint64_t at, const auto& children) {
    uint16_t named = 0;
    for (const auto& child : children) named += IsText(child.first) ? 1 : 0;
    Put16(section + at + 12, named);
    Put16(section + at + 14, static_cast<uint16_t>(children.size() - named));
  };
  auto putName = [&](unsigned char* entry, const ResourceId& id) {
    if (id.isNumber) {
      Put32(entry, id.number);
      return;
    }
    Put32(entry, static_cast<uint32_t>(nextName) | kHighBit);
    Put16(section + nextName, static_cast<uint16_t>(id.text.size()));
    for (size_t i = 0; i < id.text.size(); ++i) Put16(section + nextName + 2 + 2 * i, id.text[i]);
    nextName += nameSize(id);
  };
  // The data follows the names; the package comes after all the rest.
  uint64_t dataCursor = dataStart;
  putHeader(0, tree);
  uint64_t nextDirectory = directorySize(tree.size());
  size_t typeIndex = 0;
  for (const auto& [type, names] : tree) {
    unsigned char* typeEntry = section + 16 + 8 * typeIndex++;
    putName(typeEntry, type);
    const uint64_t typeDirectory = nextDirectory;
    Put32(typeEntry + 4, static_cast<uint32_t>(typeDirectory) | kHighBit);
    putHeader(typeDirectory, names);
    nextDirectory += directorySize(names.size());
    size_t nameIndex = 0;
    for (const auto& [name, languages] : names) {
      unsigned char* nameEntry = section + typeDirectory + 16 + 8 * nameIndex++;
      putName(nameEntry, name);
      const uint64_t nameDirectory = nextDirectory;
      Put32(nameEntry + 4, static_cast<uint32_t>(nameDirectory) | kHighBit);
      putHeader(nameDirectory, languages);
      nextDirectory += directorySize(languages.size());
      size_t languageIndex = 0;
      for (const auto& [language, item] : languages) {
        unsigned char* languageEntry = section + nameDirectory + 16 + 8 * languageIndex++;
        Put32(languageEntry, language);
        Put32(languageEntry + 4, static_cast<uint32_t>(nextEntry));
        uint64_t at = packageOffset;
        uint32_t length = static_cast<uint32_t>(packageSize);
        if (!item.package) {
          at = AlignUp(dataCursor, 8);
          length = item.size;
          std::memcpy(section + at, item.bytes, item.size);
          dataCursor = at + item.size;
        }
        Put32(section + nextEntry, static_cast<uint32_t>(sectionVa + at));
        Put32(section + nextEntry + 4, length);
        Put32(section + nextEntry + 8, item.codePage);
        nextEntry += 16;
      }
    }
  }
  layout.packageSize = packageSize;
  layout.tail.assign(static_cast<size_t>(rawSize - sectionSize), 0);
  layout.tail.insert(layout.tail.end(), stub + overlayFrom, stub + keptEnd);
  return true;
}

bool AssembleSfx(const unsigned char* stub, size_t stubSize, const unsigned char* package, size_t packageSize,
                 std::vector<unsigned char>& out, std::string& error, SfxLayout* layoutOut) {
  SfxLayout layout;
  if (!LayOutSfx(stub, stubSize, packageSize, layout, error)) return false;
  out = layout.head;
  out.insert(out.end(), package, package + packageSize);
  out.insert(out.end(), layout.tail.begin(), layout.tail.end());
  Checksum checksum;
  checksum.Add(out.data(), out.size());
  Put32(out.data() + layout.checksumOffset, checksum.Value());
  if (layoutOut != nullptr) *layoutOut = std::move(layout);
  return true;
}

}  // namespace Zavro::pe
