// The PE reader and the installer's assembly, on images written here field by field.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>

#include "tools/pe/pe_format.h"
#include "tools/pe/pe_image.h"
#include "tools/tools_test_support.h"
#include "test_support.h"

namespace Zavro::pe {
namespace {

using namespace format;
using Bytes = std::vector<unsigned char>;
using Shape = TestImageShape;

void Set16(Bytes& b, size_t at, uint16_t v) { Put16(&b[at], v); }
void Set32(Bytes& b, size_t at, uint32_t v) { Put32(&b[at], v); }
void SetText(Bytes& b, size_t at, const std::string& text) { std::memcpy(b.data() + at, text.data(), text.size()); }
uint32_t AlignUp(size_t value, uint32_t alignment) {
  return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

// The checksum the plain way: 16-bit words, the carry folded at each step and at the
// end, then the length.
uint32_t PlainChecksum(Bytes b, size_t field) {
  Set32(b, field, 0);
  const size_t length = b.size();
  if (b.size() % 2 != 0) b.push_back(0);
  uint32_t sum = 0;
  for (size_t i = 0; i < b.size(); i += 2) {
    sum += b[i] | b[i + 1] << 8;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return ((sum + (sum >> 16)) & 0xFFFF) + static_cast<uint32_t>(length);
}

constexpr uint32_t kPe = 0x40;
constexpr const char kManifest[] = "<manifest/>\n";
constexpr const char kOldPackage[] = "old package";
const Shape kPlain{false, true};
const Shape kSigned{true, true, false, false, true};
const Shape kRelocAfter{false, true, true};

size_t OptionalHeader() { return kPe + kOptionalHeader; }
size_t Directories(const Shape& s) { return OptionalHeader() + DataDirectories(s.pe32Plus); }
// Sixteen data directories end the optional header.
size_t SectionTable(const Shape& s) { return Directories(s) + kDataDirectorySize * kMaxDataDirectories; }
void SetDirectory(Bytes& b, uint32_t index, uint32_t rva, uint32_t size, const Shape& s = {}) {
  Set32(b, Directories(s) + kDataDirectorySize * index, rva);
  Set32(b, Directories(s) + kDataDirectorySize * index + 4, size);
}

// A resource directory at `at` whose first `named` entries are named; each entry is an
// id (or a name's offset) and a target (a directory's offset with the high bit, or a
// data entry's).
void Directory(Bytes& b, size_t at, uint16_t named, const std::vector<std::pair<uint32_t, uint32_t>>& entries) {
  Set16(b, at + kNumberOfNamedEntries, named);
  Set16(b, at + kNumberOfIdEntries, static_cast<uint16_t>(entries.size() - named));
  for (size_t i = 0; i < entries.size(); ++i) {
    Set32(b, at + kResourceDirectorySize + kResourceEntrySize * i, entries[i].first);
    Set32(b, at + kResourceDirectorySize + kResourceEntrySize * i + 4, entries[i].second);
  }
}

// The usual resource section's data, at RVA 0x2000: directories at 0x00 (root), 0x20
// ("DATA"), 0x38 (105), 0x50 (24), 0x68 (1); data entries at 0x80 and 0x90; the name
// "DATA" at 0xA0; the data at 0xB0 and 0xC0.
Bytes UsualResources() {
  Bytes r(0xCC, 0);
  Directory(r, 0x00, 1, {{kResourceHighBit | 0xA0, kResourceHighBit | 0x20}, {24, kResourceHighBit | 0x50}});
  Directory(r, 0x20, 0, {{105, kResourceHighBit | 0x38}});
  Directory(r, 0x38, 0, {{0x804, 0x80}});
  Directory(r, 0x50, 0, {{1, kResourceHighBit | 0x68}});
  Directory(r, 0x68, 0, {{0x409, 0x90}});
  Set32(r, 0x80 + kDataRva, 0x20B0);
  Set32(r, 0x80 + kDataSize, sizeof kOldPackage - 1);
  Set32(r, 0x90 + kDataRva, 0x20C0);
  Set32(r, 0x90 + kDataSize, sizeof kManifest - 1);
  Set32(r, 0x90 + kDataCodePage, 1252);
  Set16(r, 0xA0 + kNameLength, 4);
  for (int i = 0; i < 4; ++i) Set16(r, 0xA0 + kNameUnits + 2 * i, static_cast<uint16_t>("DATA"[i]));
  SetText(r, 0xB0, kOldPackage);
  SetText(r, 0xC0, kManifest);
  return r;
}

// The image of `s`, with `resources` as its resource section's data.
Bytes MakeImage(const Shape& s, const Bytes& resources) {
  // The headers end where .text starts.
  const uint32_t headers =
      s.tableFull ? SectionTable(s) + kSectionHeaderSize * (1 + s.resources + s.relocAfter) : 0x200;
  Bytes b(headers, 0);
  SetText(b, kDosMagic, "MZ");
  Set32(b, kDosNewHeader, kPe);
  SetText(b, kPe, std::string("PE\0\0", kSignatureSize));
  Set16(b, kPe + kMachine, s.pe32Plus ? 0x8664 : 0x014C);
  Set16(b, kPe + kSizeOfOptionalHeader, static_cast<uint16_t>(SectionTable(s) - OptionalHeader()));
  const size_t o = OptionalHeader();
  Set16(b, o + kMagic, s.pe32Plus ? kMagicPe32Plus : kMagicPe32);
  Set32(b, o + kSectionAlignment, 0x1000);
  Set32(b, o + kFileAlignment, 0x200);
  Set32(b, o + kSizeOfHeaders, headers);
  Set32(b, o + NumberOfRvaAndSizes(s.pe32Plus), kMaxDataDirectories);
  uint32_t sections = 0;
  auto addSection = [&](const char* name, uint32_t va, uint32_t vsize, uint32_t rawSize, uint32_t flags) {
    const uint32_t raw = static_cast<uint32_t>(b.size());
    const size_t h = SectionTable(s) + kSectionHeaderSize * sections++;
    SetText(b, h + kSectionName, name);
    Set32(b, h + kVirtualSize, vsize);
    Set32(b, h + kVirtualAddress, va);
    Set32(b, h + kSizeOfRawData, rawSize);
    Set32(b, h + kPointerToRawData, raw);
    Set32(b, h + kSectionCharacteristics, flags);
    b.resize(raw + rawSize, 0);
    return raw;
  };
  const uint32_t text = addSection(".text", 0x1000, 0x10, 0x200, kSectionCode | kSectionExecute | kSectionRead);
  std::memset(b.data() + text, 0xC3, 0x10);
  uint32_t imageEnd = 0x2000;
  if (s.resources) {
    const uint32_t size = static_cast<uint32_t>(resources.size());
    const uint32_t raw =
        addSection(".rsrc", 0x2000, size, AlignUp(size, 0x200), kSectionInitializedData | kSectionRead | kSectionWrite);
    std::copy(resources.begin(), resources.end(), b.begin() + raw);
    SetDirectory(b, kDirectoryResource, 0x2000, size, s);
    imageEnd = 0x2000 + AlignUp(size, 0x1000);
  }
  if (s.relocAfter) {
    // One block of base relocations, for the page of .text, and its directory.
    const uint32_t raw =
        addSection(".reloc", 0x3000, 0x8, 0x200, kSectionInitializedData | kSectionDiscardable | kSectionRead);
    Set32(b, raw + kRelocationPage, 0x1000);
    Set32(b, raw + kRelocationBlockSize, 8);
    SetDirectory(b, kDirectoryBaseRelocation, 0x3000, 8, s);
    imageEnd = 0x4000;
  }
  Set16(b, kPe + kNumberOfSections, static_cast<uint16_t>(sections));
  Set32(b, o + kSizeOfImage, imageEnd);
  if (s.certificate) {
    SetDirectory(b, kDirectoryCertificate, static_cast<uint32_t>(b.size()), 0x18, s);
    b.resize(b.size() + 0x18, 0x5A);
  }
  return b;
}

Bytes Resource(const Bytes& image, const Image& read, const ResourceId& type, const ResourceId& name) {
  const pe::Resource* r = FindImageResource(read, type, name);
  if (r == nullptr) return {};
  return Bytes(image.begin() + r->fileOffset, image.begin() + r->fileOffset + r->size);
}

// Every shape of stub, and stubs whose resource section may not be rewritten (a section's
// data or another directory in it): the package goes in, in the language of the one it
// replaces; every other resource, section and directory keeps its bytes, and bytes after
// a signature stay at the end. The new section starts at a page of the file and follows
// the last one without a gap, whatever the image size says. The loader takes names
// without regard to case, so a package spelled "data" is the one replaced.
TEST(PeImage, NothingElseIsRewritten) {
  const Bytes package = {'G', 'M', 'Z', 1, 2, 3, 4, 5, 6};
  constexpr const char kTrailer[] = "TRAILER";
  const struct {
    const char* what;
    Shape shape;
    bool added;
    std::function<void(Bytes&)> change = nullptr;
  } cases[] = {
      {"PE32 without resources", {false, false}, true},
      {"PE32+ without resources", {true, false}, true},
      {"PE32 with the resource section last", kPlain, false},
      {"PE32+ with the resource section last", {true, true}, false},
      {"PE32+ signed, bytes after the signature", kSigned, false},
      {"PE32 with .reloc after the resources", kRelocAfter, false},
      {".text runs into .rsrc", kPlain, true, [](Bytes& b) { Set32(b, SectionTable({}) + kSizeOfRawData, 0x400); }},
      {"the import directory in .rsrc", kPlain, true, [](Bytes& b) { SetDirectory(b, 1, 0x20C8, 0x10); }},
      {"the import directory reaching into .rsrc from .text", kPlain, true,
       [](Bytes& b) {
         Set32(b, SectionTable({}) + kVirtualSize, 0x1000);
         SetDirectory(b, 1, 0x1FF8, 0x10);
       }},
      // Without its directory .reloc is nothing the writer may move.
      {"\"data\", .reloc without its directory, a larger image size", kRelocAfter, true,
       [](Bytes& b) {
         SetDirectory(b, kDirectoryBaseRelocation, 0, 0);
         for (int i = 0; i < 4; ++i) Set16(b, 0x400 + 0xA2 + 2 * i, static_cast<uint16_t>("data"[i]));
         Set32(b, OptionalHeader() + kSizeOfImage, 0x9000);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes stub = MakeTestImage(c.shape);
    if (c.shape.certificate) stub.insert(stub.end(), kTrailer, kTrailer + 7);
    if (c.change) c.change(stub);
    Image before;
    std::string error;
    ASSERT_TRUE(ReadImage(stub.data(), stub.size(), before, error)) << error;
    Bytes out;
    SfxLayout layout;
    ASSERT_TRUE(AssembleSfx(stub.data(), stub.size(), package.data(), package.size(), out, error, &layout)) << error;
    EXPECT_EQ(layout.sectionAdded, c.added);
    EXPECT_EQ(layout.signatureRemoved, c.shape.certificate);
    EXPECT_EQ(layout.packageReplaced, c.shape.resources);
    ASSERT_EQ(layout.keptAfterSignature, c.shape.certificate ? 7u : 0u);

    Image after;
    ASSERT_TRUE(ReadImage(out.data(), out.size(), after, error)) << error;
    EXPECT_EQ(Resource(out, after, PackageType(), PackageName()), package);
    ASSERT_EQ(after.resources.size(), c.shape.resources ? 2u : 1u);
    EXPECT_EQ(after.resources[0].type.text, u"DATA");
    EXPECT_EQ(after.resources[0].language, c.shape.resources ? 0x804 : 0);
    if (c.shape.resources) {
      EXPECT_EQ(Resource(out, after, ResourceId::Number(24), ResourceId::Number(1)),
                Bytes(kManifest, kManifest + sizeof kManifest - 1));
      EXPECT_EQ(after.resources[1].language, 0x409);
      EXPECT_EQ(after.resources[1].codePage, 1252u);
    }

    ASSERT_GE(after.resourceSection, 0);
    const Section& resources = after.sections[after.resourceSection];
    EXPECT_EQ(resources.name, ".rsrc");
    EXPECT_EQ(after.sections[1].name, c.added && c.shape.resources ? ".oldrsrc" : ".rsrc");
    EXPECT_EQ(resources.rawOffset % 0x1000, 0u);
    EXPECT_EQ(resources.rawSize % 0x200, 0u);
    // Base relocations that can move follow the new section, with their directory (as the
    // loops below check).
    const bool relocationsMoved = c.shape.relocAfter && !c.added;
    const Section& last = after.sections.back();
    const Section& previous = after.sections[after.sections.size() - 2];
    EXPECT_EQ(&last == &resources, !relocationsMoved);
    EXPECT_EQ(last.virtualAddress, AlignUp(previous.virtualAddress + previous.virtualSize, 0x1000));
    if (relocationsMoved) {
      EXPECT_EQ(last.rawOffset, resources.rawOffset + resources.rawSize);
    }
    EXPECT_EQ(last.rawOffset + last.rawSize + layout.keptAfterSignature, out.size());
    EXPECT_EQ(std::string(out.end() - layout.keptAfterSignature, out.end()), c.shape.certificate ? kTrailer : "");
    EXPECT_EQ(after.sections.size(), before.sections.size() + (c.added ? 1 : 0));
    EXPECT_EQ(after.sizeOfImage, AlignUp(last.virtualAddress + last.virtualSize, 0x1000));
    EXPECT_EQ(after.checksum, PlainChecksum(out, after.optionalHeaderOffset + kCheckSum));
    EXPECT_EQ(after.certificateSize, 0u);

    // Every section of the stub but a resource section rewritten in place maps the bytes
    // it mapped; every directory but the resources' and the signature's is as it was.
    for (size_t i = 0; i < before.sections.size(); ++i) {
      if (static_cast<int>(i) == before.resourceSection && !c.added) continue;
      const Section& was = before.sections[i];
      const Section& is = after.sections[i];
      EXPECT_EQ(is.virtualAddress, was.virtualAddress);
      const size_t n = std::min(was.virtualSize, was.rawSize);
      EXPECT_TRUE(
          std::equal(stub.begin() + was.rawOffset, stub.begin() + was.rawOffset + n, out.begin() + is.rawOffset))
          << was.name;
    }
    for (uint32_t d = 0; d < kMaxDataDirectories; ++d) {
      const size_t at = DataDirectories(c.shape.pe32Plus) + kDataDirectorySize * d;
      if (d != kDirectoryResource && d != kDirectoryCertificate) {
        EXPECT_EQ(Get32(&out[after.optionalHeaderOffset + at]), Get32(&stub[before.optionalHeaderOffset + at])) << d;
      }
    }
    // Once more over its own output: the section is rewritten in place, to the same bytes.
    Bytes again;
    ASSERT_TRUE(AssembleSfx(out.data(), out.size(), package.data(), package.size(), again, error, &layout));
    EXPECT_FALSE(layout.sectionAdded);
    EXPECT_EQ(again, out);
  }
}

TEST(PeImage, RefusesWhatItCannotHonour) {
  const size_t rsrc = 0x400;  // the resource section's data in the plain image
  const Shape full{false, true, true, true}, bare{false, false, false, true};
  const struct {
    const char* what;
    std::function<void(Bytes&)> damage;
    const char* message;
    Shape shape = kPlain;
    uint64_t packageSize = 16;
  } cases[] = {
      {"not an image", [](Bytes& b) { b[0] = 'Z'; }, "not a PE image: no MZ header"},
      {"too short", [](Bytes& b) { b.resize(40); }, "not a PE image: no MZ header"},
      {"PE header beyond the end", [](Bytes& b) { Set32(b, 0x3C, 0xFFFFFFF0); }, "no PE header"},
      {"truncated header", [](Bytes& b) { b.resize(0x100); }, "the optional header is cut off"},
      {"unknown magic", [](Bytes& b) { Set16(b, OptionalHeader(), 0x107); }, "unknown optional header magic"},
      // 30 fit before the end of the file.
      {"section table past the end", [](Bytes& b) { Set16(b, kPe + kNumberOfSections, 31); },
       "the section table runs past the end of the file"},
      {"section data past the end", [](Bytes& b) { Set32(b, SectionTable({}) + 40 + 16, 0x10000); },
       "the data of section .rsrc runs past the end of the file"},
      {"directory outside its section", [&](Bytes& b) { Set16(b, rsrc + 0x20 + 14, 0x100); },
       "a resource directory runs past its section"},
      {"directory far outside", [&](Bytes& b) { Set32(b, rsrc + 0x14, 0xFFFFFFFF); },
       "a resource directory lies outside its section"},
      {"directory loop", [&](Bytes& b) { Set32(b, rsrc + 0x34, 0x80000000 | 0x20); }, "points back into itself"},
      {"loop to the root", [&](Bytes& b) { Set32(b, rsrc + 0x34, 0x80000000); }, "points back into itself"},
      {"name outside", [&](Bytes& b) { Set32(b, rsrc + 0x10, 0x80000000 | 0x1FF); },
       "a resource name lies outside its section"},
      {"name too long", [&](Bytes& b) { Set16(b, rsrc + 0xA0, 0x7FFF); }, "a resource name runs past"},
      {"data outside the file", [&](Bytes& b) { Set32(b, rsrc + 0x80, 0x7FFFFFF0); },
       "the data of resource \"DATA\" 105 lies outside the file"},
      {"data beyond what the loader maps", [](Bytes& b) { Set32(b, SectionTable({}) + 40 + 8, 0xB0); },
       "the data of resource \"DATA\" 105 lies outside the file"},
      {"data at the end of its section", [&](Bytes& b) { Set32(b, rsrc + 0x84, 0x200); }, "lies outside the file"},
      {"data where a directory belongs", [&](Bytes& b) { Set32(b, rsrc + 0x14, 0x20); },
       "names data where a directory belongs"},
      {"certificate outside the file", [](Bytes& b) { Set32(b, Directories(kSigned) + 36, 0x1000); },
       "the certificate table lies outside the file", kSigned},
      {"bad alignment", [](Bytes& b) { Set32(b, OptionalHeader() + kFileAlignment, 0x300); }, "are not valid"},
      {"section off its alignment", [](Bytes& b) { Set32(b, SectionTable({}) + kVirtualAddress, 0x1100); },
       "section .text is at 0x1100, not a multiple of the section alignment"},
      {"headers into the first section", [](Bytes& b) { Set32(b, OptionalHeader() + kSizeOfHeaders, 0x1200); },
       "its headers (SizeOfHeaders) reach into section .text"},
      {"no room for a section", [](Bytes& b) { SetDirectory(b, kDirectoryBaseRelocation, 0x3000, 0); },
       "cannot be rewritten in place, and its section table has no room for a new one", full},
      {"no resources and no room", nullptr, "no resource section, and its section table has no room", bare},
      {"too large", nullptr, "the loader takes images under 2 GiB", kPlain, 0x7FFFE000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes image = MakeTestImage(c.shape);
    if (c.damage) c.damage(image);
    SfxLayout layout;
    std::string error;
    EXPECT_FALSE(LayOutSfx(image.data(), image.size(), c.packageSize, layout, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_TRUE(layout.head.empty());
  }
}

// Trees made to cost: the work and the memory are bounded by the bytes there, and a tree
// of more resources than a program has is refused.
TEST(PeImage, HostileResourceTreesAreBounded) {
  // 5,000 languages sharing one data entry.
  const uint32_t languages = 5000;
  Bytes shared(0x30 + kResourceDirectorySize + kResourceEntrySize * languages + kResourceDataEntrySize);
  const uint32_t data = static_cast<uint32_t>(shared.size() - kResourceDataEntrySize);
  Directory(shared, 0x00, 0, {{10, kResourceHighBit | 0x18}});
  Directory(shared, 0x18, 0, {{1, kResourceHighBit | 0x30}});
  std::vector<std::pair<uint32_t, uint32_t>> entries;
  for (uint32_t i = 0; i < languages; ++i) entries.push_back({i, data});
  Directory(shared, 0x30, 0, entries);
  Set32(shared, data + kDataRva, 0x2000);
  Set32(shared, data + kDataSize, 4);

  // 3,000 types, each with a directory of its own, all named by one name of 20,000 units.
  const uint32_t types = 3000, units = 20000;
  const uint32_t directories = kResourceDirectorySize + kResourceEntrySize * types;
  const uint32_t name = directories + kResourceDirectorySize * types;
  Bytes longName(name + kNameUnits + 2 * units, 'n');
  std::fill(longName.begin(), longName.begin() + name, 0);
  entries.clear();
  for (uint32_t i = 0; i < types; ++i) {
    entries.push_back({kResourceHighBit | name, kResourceHighBit | (directories + kResourceDirectorySize * i)});
  }
  Directory(longName, 0x00, static_cast<uint16_t>(types), entries);
  Set16(longName, name + kNameLength, static_cast<uint16_t>(units));

  for (const auto& [what, section, message] :
       {std::tuple<const char*, Bytes, const char*>{"shared data entry", shared, "more than 4096 resources"},
        {"shared long name", longName, "take more memory than a reader gives them"}}) {
    SCOPED_TRACE(what);
    const Bytes stub = MakeImage(kPlain, section);
    Image image;
    std::string error;
    EXPECT_FALSE(ReadImage(stub.data(), stub.size(), image, error));
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

TEST(PeImage, ChecksumTakesBytesInAnyPieces) {
  Bytes bytes(1001);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7 + (i >> 3));
  bytes[500] = bytes[501] = 0xFF;
  Set32(bytes, 0, 0);  // taken as the checksum field
  for (size_t split : {0u, 1u, 3u, 500u, 999u}) {
    Checksum pieces;
    pieces.Add(bytes.data(), split);
    pieces.Add(bytes.data() + split, 1);
    pieces.Add(bytes.data() + split + 1, bytes.size() - split - 1);
    EXPECT_EQ(pieces.Value(), PlainChecksum(bytes, 0));
  }
}

#ifdef _WIN32
// The stub as the linker made it (built only for Windows): its checksum agrees with
// ours, and an installer assembled from it keeps its manifest and version information
// byte for byte.
TEST(PeImage, TheBuiltStub) {
  const std::string text = test::ReadBytes(test::BuiltProgram("tools/gmz/setup-stub"));
  const Bytes stub(text.begin(), text.end());
  Image image;
  std::string error;
  ASSERT_TRUE(ReadImage(stub.data(), stub.size(), image, error)) << error;
  Bytes zeroed = stub;
  Set32(zeroed, image.optionalHeaderOffset + kCheckSum, 0);
  Checksum checksum;
  checksum.Add(zeroed.data(), zeroed.size());
  EXPECT_EQ(checksum.Value(), image.checksum);
  EXPECT_EQ(FindImageResource(image, PackageType(), PackageName()), nullptr);

  const Bytes package = {'G', 'M', 'Z', 1, 0x3E, 0, 0, 0, 1, 2, 3};
  Bytes setup;
  ASSERT_TRUE(AssembleSfx(stub.data(), stub.size(), package.data(), package.size(), setup, error)) << error;
  Image assembled;
  ASSERT_TRUE(ReadImage(setup.data(), setup.size(), assembled, error)) << error;
  EXPECT_EQ(Resource(setup, assembled, PackageType(), PackageName()), package);
  for (uint16_t type : {16, 24}) {
    const Bytes kept = Resource(stub, image, ResourceId::Number(type), ResourceId::Number(1));
    EXPECT_FALSE(kept.empty()) << type;
    EXPECT_EQ(Resource(setup, assembled, ResourceId::Number(type), ResourceId::Number(1)), kept) << type;
  }
}
#endif

}  // namespace

Bytes MakeTestImage(const Shape& s) { return MakeImage(s, UsualResources()); }

}  // namespace Zavro::pe
