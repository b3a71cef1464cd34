// The installer's layout: the stub's image with a new resource section that holds the
// stub's resources and the package, in these steps:
//   1. the resources to write, the package among them (CollectResources);
//   2. where each part of the new section goes (PlanDirectory);
//   3. where the section goes in the image and in the file (PlaceSection);
//   4. the headers patched for it (PatchHeaders);
//   5. the resource directory written (WriteDirectory);
//   6. what follows the package: the sections moved after it, and what the stub kept
//      after its sections (its symbol table).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "tools/pe/pe_format.h"
#include "tools/pe/pe_image.h"

namespace Zavro::pe {

namespace {

using namespace format;

// The loader maps a section from the file, instead of copying it, when its file offset
// is a whole page.
constexpr uint32_t kPage = 0x1000;

uint64_t AlignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

std::string Format(const char* format, unsigned long long a, unsigned long long b = 0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

uint64_t VirtualEnd(const Section& s) {
  return static_cast<uint64_t>(s.virtualAddress) + (s.virtualSize != 0 ? s.virtualSize : s.rawSize);
}
uint64_t RawEnd(const Section& s) { return static_cast<uint64_t>(s.rawOffset) + s.rawSize; }
bool Holds(const Section& s, uint32_t rva) { return rva >= s.virtualAddress && rva < VirtualEnd(s); }

// Step 1.
struct Item {
  uint32_t codePage = 0;
  const unsigned char* bytes = nullptr;
  uint32_t size = 0;
  bool package = false;
};
using Languages = std::map<uint16_t, Item>;
using Names = std::map<ResourceId, Languages>;
using Tree = std::map<ResourceId, Names>;

void CollectResources(const Image& image, const unsigned char* stub, Tree& tree, SfxLayout& layout) {
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
}

// Step 2: directories, then data entries, then names, then the resources' data, then
// the package, last.
struct DirectoryPlan {
  uint64_t entriesStart = 0;
  uint64_t namesStart = 0;
  uint64_t dataStart = 0;
  uint64_t packageOffset = 0;
};

bool IsText(const ResourceId& id) { return !id.isNumber; }
bool IsText(uint16_t) { return false; }

uint64_t DirectorySize(size_t entries) {
  return kResourceDirectorySize + kResourceEntrySize * static_cast<uint64_t>(entries);
}
uint64_t NameSize(const ResourceId& id) { return id.isNumber ? 0 : 2 + 2 * static_cast<uint64_t>(id.text.size()); }

bool PlanDirectory(const Tree& tree, uint64_t stubSize, DirectoryPlan& plan, std::string& error) {
  // A directory counts its entries in 16 bits.
  bool tooMany = tree.size() > 0xFFFF;
  uint64_t cursor = DirectorySize(tree.size());
  size_t resources = 0;
  for (const auto& [type, names] : tree) {
    tooMany = tooMany || names.size() > 0xFFFF;
    cursor += DirectorySize(names.size());
    for (const auto& [name, languages] : names) {
      tooMany = tooMany || languages.size() > 0xFFFF;
      cursor += DirectorySize(languages.size());
      resources += languages.size();
    }
  }
  if (tooMany) {
    error = "the stub has more resources than a resource directory holds";
    return false;
  }
  plan.entriesStart = cursor;
  cursor += kResourceDataEntrySize * static_cast<uint64_t>(resources);
  plan.namesStart = cursor;
  for (const auto& [type, names] : tree) {
    cursor += NameSize(type);
    for (const auto& [name, languages] : names) cursor += NameSize(name);
  }
  plan.dataStart = cursor;
  for (const auto& [type, names] : tree) {
    for (const auto& [name, languages] : names) {
      for (const auto& [language, item] : languages) {
        if (!item.package) cursor = AlignUp(cursor, 8) + item.size;
      }
    }
  }
  // Resources of a sound image never share bytes: all of them together fit in the file.
  if (cursor - plan.dataStart > stubSize + 8 * static_cast<uint64_t>(resources)) {
    error = "damaged image: its resources claim more bytes than the file has";
    return false;
  }
  plan.packageOffset = AlignUp(cursor, 8);
  return true;
}

// Step 3. In place of the stub's own resource section when nothing but sections that
// can move (its base relocations) lies after it, in the image and in the file: those go
// after the new section. Else a section added after the last one. Either way the new
// section starts at a whole page of the file.
struct Placement {
  bool inPlace = false;
  size_t headerIndex = 0;
  uint64_t virtualAddress = 0;
  uint64_t rawOffset = 0;
  uint64_t rawSize = 0;
  uint64_t copied = 0;  // stub bytes before the new section, as they are
  // Sections re-placed after the new one, with their new addresses.
  struct Move {
    size_t index;
    uint64_t virtualAddress;
    uint64_t rawOffset;
  };
  std::vector<Move> moves;
  uint64_t overlayFrom = 0;  // stub bytes kept after everything: [overlayFrom, keptEnd)
  uint64_t keptEnd = 0;
  uint64_t afterSignature = 0;  // and what followed a signature: [afterSignature, size)
  uint64_t overlayOffset = 0;  // where they go
  uint64_t imageSize = 0;
  uint64_t fileSize = 0;
};

// Whether what data directory `index` describes reaches into section `s`.
bool DirectoryInto(const Image& image, const unsigned char* stub, uint32_t index, const Section& s) {
  if (index >= image.dataDirectoryCount || index == kDirectoryCertificate) return false;
  const unsigned char* entry =
      stub + image.optionalHeaderOffset + DataDirectories(image.pe32Plus) + kDataDirectorySize * index;
  const uint64_t rva = Get32(entry);
  const uint64_t size = Get32(entry + 4);
  return size != 0 && rva != 0 && rva < VirtualEnd(s) && rva + size > s.virtualAddress;
}

bool CanReplaceInPlace(const Image& image, const unsigned char* stub, std::vector<size_t>& movable) {
  const int r = image.resourceSection;
  if (r < 0 || image.sections[r].virtualAddress != image.resourceRva) return false;
  const Section& resource = image.sections[r];
  for (size_t i = 0; i < image.sections.size(); ++i) {
    if (static_cast<int>(i) == r) continue;
    const Section& s = image.sections[i];
    const bool before = VirtualEnd(s) <= resource.virtualAddress && (s.rawSize == 0 || RawEnd(s) <= resource.rawOffset);
    // Base relocations, by nothing but their directory: they can go after the new
    // section. Any other section's bytes in the rewritten range would be lost.
    const bool relocations = s.virtualAddress >= VirtualEnd(resource) &&
                             (s.rawSize == 0 || s.rawOffset >= RawEnd(resource)) &&
                             DirectoryInto(image, stub, kDirectoryBaseRelocation, s);
    if (!before && !relocations) return false;
    if (relocations) {
      for (uint32_t d = 0; d < image.dataDirectoryCount; ++d) {
        if (d != kDirectoryBaseRelocation && DirectoryInto(image, stub, d, s)) return false;
      }
      movable.push_back(i);
    }
  }
  // Only the resources may live in the section rewritten.
  for (uint32_t d = 0; d < image.dataDirectoryCount; ++d) {
    if (d != kDirectoryResource && DirectoryInto(image, stub, d, resource)) return false;
  }
  std::sort(movable.begin(), movable.end(),
            [&](size_t a, size_t b) { return image.sections[a].virtualAddress < image.sections[b].virtualAddress; });
  return true;
}

bool PlaceSection(const Image& image, const unsigned char* stub, size_t size, uint64_t sectionSize,
                  Placement& place, SfxLayout& layout, std::string& error) {
  const std::vector<Section>& sections = image.sections;
  const uint64_t tableEnd = image.sectionTableOffset + kSectionHeaderSize * static_cast<uint64_t>(sections.size());
  uint64_t rawEnd = std::max<uint64_t>(image.sizeOfHeaders, tableEnd);
  uint64_t firstRaw = UINT64_MAX;
  for (const Section& s : sections) {
    if (s.rawSize == 0) continue;
    rawEnd = std::max(rawEnd, RawEnd(s));
    firstRaw = std::min<uint64_t>(firstRaw, s.rawOffset);
  }
  rawEnd = std::min<uint64_t>(rawEnd, size);
  // The signature sits after everything else and goes; what follows the sections before
  // it (a symbol table) is kept.
  place.keptEnd = place.afterSignature = size;
  if (image.certificateSize != 0) {
    layout.signatureRemoved = true;
    if (image.certificateOffset >= rawEnd) {
      place.keptEnd = image.certificateOffset;
      place.afterSignature = uint64_t{image.certificateOffset} + image.certificateSize;
      layout.keptAfterSignature = size - place.afterSignature;
    }
  }
  const uint64_t fileAlignment = image.fileAlignment;
  const uint64_t pageAlignment = std::max<uint64_t>(fileAlignment, kPage);
  place.rawSize = AlignUp(sectionSize, fileAlignment);

  std::vector<size_t> movable;
  place.inPlace = CanReplaceInPlace(image, stub, movable);
  if (place.inPlace) {
    const Section& resource = sections[image.resourceSection];
    if (resource.rawOffset < tableEnd) {
      error = "damaged image: the resource section overlaps the headers";
      return false;
    }
    place.headerIndex = static_cast<size_t>(image.resourceSection);
    place.virtualAddress = resource.virtualAddress;
    place.copied = std::min<uint64_t>(resource.rawOffset, place.keptEnd);
    place.rawOffset = AlignUp(resource.rawOffset, pageAlignment);
    place.overlayFrom = std::min(RawEnd(resource), place.keptEnd);
    uint64_t va = AlignUp(place.virtualAddress + sectionSize, image.sectionAlignment);
    uint64_t raw = place.rawOffset + place.rawSize;
    for (size_t i : movable) {
      place.moves.push_back({i, va, raw});
      va = AlignUp(va + std::max(sections[i].virtualSize, sections[i].rawSize), image.sectionAlignment);
      raw += sections[i].rawSize;
      if (sections[i].rawSize != 0) place.overlayFrom = std::max(place.overlayFrom, std::min(RawEnd(sections[i]), place.keptEnd));
    }
    place.overlayOffset = raw;
    layout.sectionsMoved = movable.size();
    place.imageSize = std::max<uint64_t>(va, AlignUp(place.virtualAddress + sectionSize, image.sectionAlignment));
  } else {
    const int r = image.resourceSection;
    const bool roomInTable = sections.size() < 96 && tableEnd + kSectionHeaderSize <= image.sizeOfHeaders &&
                             tableEnd + kSectionHeaderSize <= firstRaw && tableEnd + kSectionHeaderSize <= size &&
                             std::all_of(stub + tableEnd, stub + tableEnd + kSectionHeaderSize,
                                         [](unsigned char b) { return b == 0; });
    if (image.sectionAlignment < kPage) {
      error = Format("the stub's sections are aligned to 0x%llx bytes, less than a page: no section can be added",
                     image.sectionAlignment);
      return false;
    }
    if (!roomInTable) {
      error = r >= 0 ? "the stub's resource section cannot be rewritten in place, and its section table has no "
                       "room for a new one"
                     : "the stub has no resource section, and its section table has no room for one";
      return false;
    }
    // It follows the last section without a gap: the loader takes only sections that
    // follow each other so. Never at 0, where the headers are.
    uint64_t virtualEnd = std::max<uint32_t>(image.sizeOfHeaders, 1);
    for (const Section& s : sections) virtualEnd = std::max(virtualEnd, VirtualEnd(s));
    place.headerIndex = sections.size();
    place.virtualAddress = AlignUp(virtualEnd, image.sectionAlignment);
    place.copied = place.keptEnd;
    place.rawOffset = AlignUp(place.keptEnd, pageAlignment);
    place.overlayFrom = place.overlayOffset = place.keptEnd;
    place.imageSize = AlignUp(place.virtualAddress + sectionSize, image.sectionAlignment);
    layout.sectionAdded = true;
  }
  place.fileSize = place.overlayOffset + (place.keptEnd - place.overlayFrom);
  if (!place.inPlace) place.fileSize = place.rawOffset + place.rawSize;
  place.fileSize += size - place.afterSignature;
  if (place.imageSize >= kMaxImageSize || place.fileSize >= kMaxImageSize) {
    error = Format("a package of %llu bytes makes an image of %llu bytes; the loader takes images under 2 GiB",
                   sectionSize, std::max(place.imageSize, place.fileSize));
    return false;
  }
  return true;
}

// Step 4.
void PatchHeaders(const Image& image, const Placement& place, uint64_t sectionSize, SfxLayout& layout) {
  std::vector<unsigned char>& head = layout.head;
  const std::vector<Section>& sections = image.sections;
  unsigned char* file = head.data() + image.peOffset;
  unsigned char* optional = head.data() + image.optionalHeaderOffset;
  unsigned char* directories = optional + DataDirectories(image.pe32Plus);
  auto directory = [&](uint32_t index) { return directories + kDataDirectorySize * index; };
  auto header = [&](size_t index) { return head.data() + image.sectionTableOffset + kSectionHeaderSize * index; };

  Put32(directory(kDirectoryResource), static_cast<uint32_t>(place.virtualAddress));
  Put32(directory(kDirectoryResource) + 4, static_cast<uint32_t>(sectionSize));
  if (image.certificateSize != 0) {
    Put32(directory(kDirectoryCertificate), 0);
    Put32(directory(kDirectoryCertificate) + 4, 0);
  }
  Put32(optional + kSizeOfImage, static_cast<uint32_t>(place.imageSize));
  Put32(optional + kCheckSum, 0);
  const int64_t growth = place.inPlace ? static_cast<int64_t>(place.rawSize) - sections[place.headerIndex].rawSize
                                       : static_cast<int64_t>(place.rawSize);
  const int64_t initialized = static_cast<int64_t>(Get32(optional + kSizeOfInitializedData)) + growth;
  Put32(optional + kSizeOfInitializedData, static_cast<uint32_t>(std::clamp<int64_t>(initialized, 0, UINT32_MAX)));

  unsigned char* h = header(place.headerIndex);
  if (!place.inPlace) {
    std::memcpy(h + kSectionName, ".rsrc\0\0\0", kSectionNameSize);
    Put16(file + kNumberOfSections, static_cast<uint16_t>(sections.size() + 1));
    // The stub's own resource section stays where it is, unused; under another name, so
    // that tools which look for ".rsrc" by name find the one in use.
    const int r = image.resourceSection;
    if (r >= 0 && sections[r].name == ".rsrc" && sections[r].virtualAddress == image.resourceRva) {
      std::memcpy(header(static_cast<size_t>(r)) + kSectionName, ".oldrsrc", kSectionNameSize);
    }
  }
  Put32(h + kVirtualAddress, static_cast<uint32_t>(place.virtualAddress));
  Put32(h + kPointerToRawData, static_cast<uint32_t>(place.rawOffset));
  Put32(h + kVirtualSize, static_cast<uint32_t>(sectionSize));
  Put32(h + kSizeOfRawData, static_cast<uint32_t>(place.rawSize));
  Put32(h + kSectionCharacteristics, kSectionInitializedData | kSectionRead);

  // Sections moved after the new one, and the directories that point into them.
  for (const Placement::Move& move : place.moves) {
    const Section& s = sections[move.index];
    const int64_t delta = static_cast<int64_t>(move.virtualAddress) - s.virtualAddress;
    for (uint32_t d = 0; d < image.dataDirectoryCount; ++d) {
      const uint32_t rva = Get32(directory(d));
      if (d != kDirectoryCertificate && Get32(directory(d) + 4) != 0 && Holds(s, rva)) {
        Put32(directory(d), static_cast<uint32_t>(rva + delta));
      }
    }
    Put32(header(move.index) + kVirtualAddress, static_cast<uint32_t>(move.virtualAddress));
    if (s.rawSize != 0) Put32(header(move.index) + kPointerToRawData, static_cast<uint32_t>(move.rawOffset));
  }

  // A symbol table after the sections moves with the bytes that follow them; one in a
  // rewritten range, or in the signature, is gone.
  if (image.symbolTableOffset != 0) {
    uint64_t moved = image.symbolTableOffset;
    bool kept = image.symbolTableOffset < place.keptEnd;
    if (place.inPlace && image.symbolTableOffset >= place.copied) {
      kept = kept && image.symbolTableOffset >= place.overlayFrom;
      moved = image.symbolTableOffset - place.overlayFrom + place.overlayOffset;
    }
    Put32(file + kPointerToSymbolTable, kept ? static_cast<uint32_t>(moved) : 0);
    if (!kept) Put32(file + kNumberOfSymbols, 0);
  }
  layout.checksumOffset = image.optionalHeaderOffset + kCheckSum;
}

// Step 5.
void WriteDirectory(const Tree& tree, const DirectoryPlan& plan, uint64_t sectionVa, uint64_t packageSize,
                    unsigned char* section) {
  uint64_t nextEntry = plan.entriesStart;
  uint64_t nextName = plan.namesStart;
  uint64_t dataCursor = plan.dataStart;
  auto putHeader = [&](uint64_t at, const auto& children) {
    uint16_t named = 0;
    for (const auto& child : children) named += IsText(child.first) ? 1 : 0;
    Put16(section + at + kNumberOfNamedEntries, named);
    Put16(section + at + kNumberOfIdEntries, static_cast<uint16_t>(children.size() - named));
  };
  auto putName = [&](unsigned char* entry, const ResourceId& id) {
    if (id.isNumber) {
      Put32(entry, id.number);
      return;
    }
    Put32(entry, static_cast<uint32_t>(nextName) | kResourceHighBit);
    Put16(section + nextName, static_cast<uint16_t>(id.text.size()));
    for (size_t i = 0; i < id.text.size(); ++i) Put16(section + nextName + 2 + 2 * i, id.text[i]);
    nextName += NameSize(id);
  };
  auto entryOf = [](uint64_t directory, size_t index) {
    return directory + kResourceDirectorySize + kResourceEntrySize * static_cast<uint64_t>(index);
  };
  putHeader(0, tree);
  uint64_t nextDirectory = DirectorySize(tree.size());
  size_t typeIndex = 0;
  for (const auto& [type, names] : tree) {
    unsigned char* typeEntry = section + entryOf(0, typeIndex++);
    putName(typeEntry, type);
    const uint64_t typeDirectory = nextDirectory;
    Put32(typeEntry + 4, static_cast<uint32_t>(typeDirectory) | kResourceHighBit);
    putHeader(typeDirectory, names);
    nextDirectory += DirectorySize(names.size());
    size_t nameIndex = 0;
    for (const auto& [name, languages] : names) {
      unsigned char* nameEntry = section + entryOf(typeDirectory, nameIndex++);
      putName(nameEntry, name);
      const uint64_t nameDirectory = nextDirectory;
      Put32(nameEntry + 4, static_cast<uint32_t>(nameDirectory) | kResourceHighBit);
      putHeader(nameDirectory, languages);
      nextDirectory += DirectorySize(languages.size());
      size_t languageIndex = 0;
      for (const auto& [language, item] : languages) {
        unsigned char* languageEntry = section + entryOf(nameDirectory, languageIndex++);
        Put32(languageEntry, language);
        Put32(languageEntry + 4, static_cast<uint32_t>(nextEntry));
        uint64_t at = plan.packageOffset;
        uint32_t length = static_cast<uint32_t>(packageSize);
        if (!item.package) {
          at = AlignUp(dataCursor, 8);
          length = item.size;
          std::memcpy(section + at, item.bytes, item.size);
          dataCursor = at + item.size;
        }
        Put32(section + nextEntry + kDataRva, static_cast<uint32_t>(sectionVa + at));
        Put32(section + nextEntry + kDataSize, length);
        Put32(section + nextEntry + kDataCodePage, item.codePage);
        nextEntry += kResourceDataEntrySize;
      }
    }
  }
}

}  // namespace

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
  // The image size and the new section's address are worked out from the sections'
  // addresses: they must be what the loader takes.
  for (const Section& section : image.sections) {
    if (section.virtualAddress % image.sectionAlignment != 0) {
      error = "damaged image: section " + Printable(section.name) +
              Format(" is at 0x%llx, not a multiple of the section alignment (0x%llx)", section.virtualAddress,
                     image.sectionAlignment);
      return false;
    }
    // The headers the writer patches, the section table included, must be nobody's data.
    const uint64_t tableEnd =
        image.sectionTableOffset + kSectionHeaderSize * static_cast<uint64_t>(image.sections.size());
    if (section.virtualAddress < image.sizeOfHeaders ||
        (section.rawSize != 0 && (section.rawOffset < image.sizeOfHeaders || section.rawOffset < tableEnd))) {
      error = "damaged image: its headers (SizeOfHeaders) reach into section " + Printable(section.name);
      return false;
    }
  }
  Tree tree;
  DirectoryPlan plan;
  CollectResources(image, stub, tree, layout);
  if (!PlanDirectory(tree, size, plan, error)) return false;
  const uint64_t sectionSize = plan.packageOffset + packageSize;
  Placement place;
  if (!PlaceSection(image, stub, size, sectionSize, place, layout, error)) return false;
  layout.imageSize = place.imageSize;

  // The headers and everything up to the new section, as the stub has them.
  std::vector<unsigned char>& head = layout.head;
  head.assign(stub, stub + place.copied);
  head.resize(place.rawOffset, 0);
  PatchHeaders(image, place, sectionSize, layout);
  // The new section up to the package's first byte.
  const size_t start = head.size();
  head.resize(start + static_cast<size_t>(plan.packageOffset), 0);
  WriteDirectory(tree, plan, place.virtualAddress, packageSize, head.data() + start);

  // Step 6.
  layout.packageSize = packageSize;
  std::vector<unsigned char>& tail = layout.tail;
  tail.assign(static_cast<size_t>(place.rawSize - sectionSize), 0);
  for (const Placement::Move& move : place.moves) {
    const Section& s = image.sections[move.index];
    if (s.rawSize == 0) continue;
    const uint64_t from = std::min<uint64_t>(s.rawOffset, size);
    const uint64_t to = std::min<uint64_t>(RawEnd(s), size);
    tail.insert(tail.end(), stub + from, stub + to);
    tail.resize(tail.size() + static_cast<size_t>(s.rawSize - (to - from)), 0);
  }
  if (place.inPlace) tail.insert(tail.end(), stub + place.overlayFrom, stub + place.keptEnd);
  tail.insert(tail.end(), stub + place.afterSignature, stub + size);
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
