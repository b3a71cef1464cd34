// The PE reader and the installer's assembly, on images written here field by field.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>

#include "tools/pe/pe_format.h"
#include "tools/pe/pe_image.h"
#include "tools/pe_test_image.h"
#include "test_support.h"

namespace Zavro::pe {
namespace {

using Bytes = std::vector<unsigned char>;

void Set16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<unsigned char>(v);
  b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void Set32(Bytes& b, size_t at, uint32_t v) {
  Set16(b, at, static_cast<uint16_t>(v));
  Set16(b, at + 2, static_cast<uint16_t>(v >> 16));
}
void SetText(Bytes& b, size_t at, const std::string& text) { std::memcpy(b.data() + at, text.data(), text.size()); }
uint32_t Get32Of(const Bytes& b, size_t at) {
  return static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24);
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

using Shape = TestImageShape;

constexpr uint32_t kPe = 0x40;
constexpr const char kManifest[] = "<manifest/>\n";
constexpr const char kOldPackage[] = "old package";

size_t OptionalHeader() { return kPe + format::kOptionalHeader; }
size_t Directories(const Shape& s) { return OptionalHeader() + format::DataDirectories(s.pe32Plus); }
// Sixteen data directories end the optional header.
size_t SectionTable(const Shape& s) {
  return Directories(s) + format::kDataDirectorySize * format::kMaxDataDirectories;
}

}  // namespace

Bytes MakeTestImage(const Shape& s) {
  using namespace format;
  const uint32_t headers = s.tableFull ? SectionTable(s) + kSectionHeaderSize * (1 + s.resources + s.relocAfter) : 0x200;
  const uint32_t textRaw = s.tableFull ? headers : 0x200;
  Bytes b(textRaw + 0x200, 0);
  SetText(b, kDosMagic, "MZ");
  Set32(b, kDosNewHeader, kPe);
  SetText(b, kPe, std::string("PE\0\0", kSignatureSize));
  Set16(b, kPe + kMachine, s.pe32Plus ? 0x8664 : 0x014C);
  Set16(b, kPe + kSizeOfOptionalHeader, static_cast<uint16_t>(SectionTable(s) - OptionalHeader()));
  Set16(b, kPe + kCharacteristics, s.pe32Plus ? 0x0022 : 0x0102);
  const size_t o = OptionalHeader();
  Set16(b, o + kMagic, s.pe32Plus ? kMagicPe32Plus : kMagicPe32);
  Set32(b, o + kAddressOfEntryPoint, 0x1000);
  Set32(b, o + ImageBase(s.pe32Plus), s.pe32Plus ? 0x40000000 : 0x400000);
  if (s.pe32Plus) Set32(b, o + ImageBase(true) + 4, 0x1);
  Set32(b, o + kSectionAlignment, 0x1000);
  Set32(b, o + kFileAlignment, 0x200);
  Set16(b, o + kMajorSubsystemVersion, 6);
  Set32(b, o + kSizeOfHeaders, headers);
  Set16(b, o + kSubsystem, 2);
  Set32(b, o + NumberOfRvaAndSizes(s.pe32Plus), kMaxDataDirectories);
  auto directory = [&](uint32_t index) { return Directories(s) + kDataDirectorySize * index; };
  uint32_t sections = 0;
  auto addSection = [&](const char* name, uint32_t va, uint32_t vsize, uint32_t raw, uint32_t rawSize, uint32_t flags) {
    const size_t h = SectionTable(s) + kSectionHeaderSize * sections++;
    SetText(b, h + kSectionName, name);
    Set32(b, h + kVirtualSize, vsize);
    Set32(b, h + kVirtualAddress, va);
    Set32(b, h + kSizeOfRawData, rawSize);
    Set32(b, h + kPointerToRawData, raw);
    Set32(b, h + kSectionCharacteristics, flags);
    if (b.size() < raw + rawSize) b.resize(raw + rawSize, 0);
  };
  addSection(".text", 0x1000, 0x10, textRaw, 0x200, kSectionCode | kSectionExecute | kSectionRead);
  std::memset(b.data() + textRaw, 0xC3, 0x10);
  uint32_t imageEnd = 0x2000;
  if (s.resources) {
    const uint32_t raw = textRaw + 0x200;
    addSection(".rsrc", 0x2000, 0xCC, raw, 0x200, kSectionInitializedData | kSectionRead | kSectionWrite);
    Set32(b, directory(kDirectoryResource), 0x2000);
    Set32(b, directory(kDirectoryResource) + 4, 0xCC);
    // The tree, at these offsets of the section: directories at 0x00 (root), 0x20
    // ("DATA"), 0x38 (105), 0x50 (24), 0x68 (1); data entries at 0x80 and 0x90; the name
    // "DATA" at 0xA0; the data at 0xB0 and 0xC0.
    auto dir = [&](uint32_t at, uint16_t named, uint16_t numbered) {
      Set16(b, raw + at + kNumberOfNamedEntries, named);
      Set16(b, raw + at + kNumberOfIdEntries, numbered);
    };
    auto entry = [&](uint32_t dirAt, uint32_t index, uint32_t id, uint32_t target) {
      const uint32_t at = raw + dirAt + kResourceDirectorySize + kResourceEntrySize * index;
      Set32(b, at, id);
      Set32(b, at + 4, target);
    };
    dir(0x00, 1, 1);
    entry(0x00, 0, kResourceHighBit | 0xA0, kResourceHighBit | 0x20);
    entry(0x00, 1, 24, kResourceHighBit | 0x50);
    dir(0x20, 0, 1);
    entry(0x20, 0, 105, kResourceHighBit | 0x38);
    dir(0x38, 0, 1);
    entry(0x38, 0, 0x804, 0x80);
    dir(0x50, 0, 1);
    entry(0x50, 0, 1, kResourceHighBit | 0x68);
    dir(0x68, 0, 1);
    entry(0x68, 0, 0x409, 0x90);
    Set32(b, raw + 0x80 + kDataRva, 0x20B0);
    Set32(b, raw + 0x80 + kDataSize, sizeof kOldPackage - 1);
    Set32(b, raw + 0x90 + kDataRva, 0x20C0);
    Set32(b, raw + 0x90 + kDataSize, sizeof kManifest - 1);
    Set32(b, raw + 0x90 + kDataCodePage, 1252);
    Set16(b, raw + 0xA0 + kNameLength, 4);
    for (int i = 0; i < 4; ++i) Set16(b, raw + 0xA0 + kNameUnits + 2 * i, static_cast<uint16_t>("DATA"[i]));
    SetText(b, raw + 0xB0, kOldPackage);
    SetText(b, raw + 0xC0, kManifest);
    imageEnd = 0x3000;
  }
  if (s.relocAfter) {
    // One block of base relocations, for the page of .text, and its directory.
    const uint32_t raw = static_cast<uint32_t>(b.size());
    addSection(".reloc", 0x3000, 0x8, raw, 0x200, kSectionInitializedData | kSectionDiscardable | kSectionRead);
    Set32(b, raw + kRelocationPage, 0x1000);
    Set32(b, raw + kRelocationBlockSize, 8);
    Set32(b, directory(kDirectoryBaseRelocation), 0x3000);
    Set32(b, directory(kDirectoryBaseRelocation) + 4, 8);
    imageEnd = 0x4000;
  }
  Set16(b, kPe + kNumberOfSections, static_cast<uint16_t>(sections));
  Set32(b, o + kSizeOfImage, imageEnd);
  if (s.certificate) {
    Set32(b, directory(kDirectoryCertificate), static_cast<uint32_t>(b.size()));
    Set32(b, directory(kDirectoryCertificate) + 4, 0x18);
    b.resize(b.size() + 0x18, 0x5A);
  }
  return b;
}

namespace {

Bytes Resource(const Bytes& image, const Image& read, const ResourceId& type, const ResourceId& name) {
  const pe::Resource* r = FindImageResource(read, type, name);
  if (r == nullptr) return {};
  return Bytes(image.begin() + r->fileOffset, image.begin() + r->fileOffset + r->size);
}

TEST(PeImage, AssemblesEveryShape) {
  const Bytes package = {'G', 'M', 'Z', 1, 2, 3, 4, 5, 6};
  struct Case {
    const char* what;
    Shape shape;
    bool added;
  };
  const Case cases[] = {
      {"PE32 without resources", {false, false, false, false, false}, true},
      {"PE32+ without resources", {true, false, false, false, false}, true},
      {"PE32 with the resource section last", {false, true, false, false, false}, false},
      {"PE32+ with the resource section last", {true, true, false, false, false}, false},
      {"PE32+ signed", {true, true, false, false, true}, false},
      {"PE32 with .reloc after the resources", {false, true, true, false, false}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes stub = MakeTestImage(c.shape);
    Image before;
    std::string error;
    ASSERT_TRUE(ReadImage(stub.data(), stub.size(), before, error)) << error;
    Bytes out;
    SfxLayout layout;
    ASSERT_TRUE(AssembleSfx(stub.data(), stub.size(), package.data(), package.size(), out, error, &layout)) << error;
    EXPECT_EQ(layout.sectionAdded, c.added);
    EXPECT_EQ(layout.signatureRemoved, c.shape.certificate);
    EXPECT_EQ(layout.packageReplaced, c.shape.resources);

    Image after;
    ASSERT_TRUE(ReadImage(out.data(), out.size(), after, error)) << error;
    EXPECT_EQ(after.pe32Plus, c.shape.pe32Plus);
    EXPECT_EQ(Resource(out, after, PackageType(), PackageName()), package);
    // The stub's other resources keep their bytes, language and code page; the package
    // keeps the language of the one it replaces.
    const pe::Resource* data = FindImageResource(after, PackageType(), PackageName());
    EXPECT_EQ(data->language, c.shape.resources ? 0x804 : 0);
    if (c.shape.resources) {
      EXPECT_EQ(after.resources.size(), 2u);
      EXPECT_EQ(Resource(out, after, ResourceId::Number(24), ResourceId::Number(1)),
                Bytes(kManifest, kManifest + sizeof kManifest - 1));
      const pe::Resource* manifest = FindImageResource(after, ResourceId::Number(24), ResourceId::Number(1));
      EXPECT_EQ(manifest->language, 0x409);
      EXPECT_EQ(manifest->codePage, 1252u);
    }
    // The code is where it was; the resource section is the last, its size a multiple of
    // the file alignment; the image size and the checksum are right.
    EXPECT_TRUE(std::equal(stub.begin() + before.sections[0].rawOffset,
                           stub.begin() + before.sections[0].rawOffset + 0x200,
                           out.begin() + after.sections[0].rawOffset));
    // The resource section starts at a whole page of the file; the base relocations, when
    // the stub has them after it, follow it with their directory, as they were.
    ASSERT_GE(after.resourceSection, 0);
    const Section& resources = after.sections[after.resourceSection];
    EXPECT_EQ(resources.name, ".rsrc");
    EXPECT_EQ(after.resourceRva, resources.virtualAddress);
    EXPECT_EQ(resources.rawOffset % 0x1000, 0u);
    EXPECT_EQ(resources.rawSize % 0x200, 0u);
    const Section& last = after.sections.back();
    EXPECT_EQ(&last == &resources, !c.shape.relocAfter);
    if (c.shape.relocAfter) {
      EXPECT_EQ(last.name, ".reloc");
      EXPECT_EQ(last.virtualAddress, (resources.virtualAddress + resources.virtualSize + 0xFFF) & ~0xFFFu);
      EXPECT_EQ(last.rawOffset, resources.rawOffset + resources.rawSize);
      EXPECT_EQ(Get32Of(out, after.optionalHeaderOffset + 96 + 40), last.virtualAddress);
      EXPECT_TRUE(std::equal(out.begin() + last.rawOffset, out.begin() + last.rawOffset + 0x200,
                             stub.begin() + before.sections.back().rawOffset));
    }
    EXPECT_EQ(last.rawOffset + last.rawSize, out.size());
    EXPECT_EQ(after.sections.size(), before.sections.size() + (c.added ? 1 : 0));
    EXPECT_EQ(after.sizeOfImage, (last.virtualAddress + last.virtualSize + 0xFFF) & ~0xFFFu);
    EXPECT_EQ(after.checksum, PlainChecksum(out, after.optionalHeaderOffset + 64));
    EXPECT_EQ(after.certificateSize, 0u);
    for (const Section& s : after.sections) EXPECT_NE(s.name, ".oldrsrc");
    // Once more over its own output: the section is rewritten in place, to the same bytes.
    Bytes again;
    ASSERT_TRUE(AssembleSfx(out.data(), out.size(), package.data(), package.size(), again, error, &layout));
    EXPECT_FALSE(layout.sectionAdded);
    EXPECT_EQ(again, out);
  }
}

// The loader takes names without regard to case, so a package spelled "data" is the
// one replaced; and a section added follows the last one without a gap, whatever the
// image size says.
TEST(PeImage, NamesAndAddressesAsTheLoaderSeesThem) {
  const Bytes package = {'G', 'M', 'Z'};
  Bytes stub = MakeTestImage({false, true, true});
  // Without its directory, .reloc is nothing the writer may move: a section is added.
  Set32(stub, Directories({}) + 40, 0);
  Set32(stub, Directories({}) + 44, 0);
  for (int i = 0; i < 4; ++i) Set16(stub, 0x400 + 0xA2 + 2 * i, static_cast<uint16_t>("data"[i]));
  Set32(stub, OptionalHeader() + 56, 0x9000);
  Bytes out;
  std::string error;
  ASSERT_TRUE(AssembleSfx(stub.data(), stub.size(), package.data(), package.size(), out, error)) << error;
  Image image;
  ASSERT_TRUE(ReadImage(out.data(), out.size(), image, error)) << error;
  ASSERT_EQ(image.resources.size(), 2u);
  EXPECT_EQ(image.resources[0].type.text, u"DATA");
  EXPECT_EQ(image.resources[0].language, 0x804);
  EXPECT_EQ(Resource(out, image, PackageType(), PackageName()), package);
  EXPECT_EQ(image.sections.back().virtualAddress, 0x4000u);
  EXPECT_EQ(image.sizeOfImage, 0x5000u);
  EXPECT_EQ(image.sections[1].name, ".oldrsrc");
}

TEST(PeImage, RefusesWhatItCannotHonour) {
  struct Case {
    const char* what;
    Shape shape;
    std::function<void(Bytes&)> damage;
    const char* message;
    uint64_t packageSize = 16;
  };
  const Shape plain{false, true, false, false, false};
  const size_t rsrc = 0x400;  // the resource section's data in `plain`
  const Case cases[] = {
      {"not an image", plain, [](Bytes& b) { b[0] = 'Z'; }, "not a PE image: no MZ header"},
      {"too short", plain, [](Bytes& b) { b.resize(40); }, "not a PE image: no MZ header"},
      {"PE header beyond the end", plain, [](Bytes& b) { Set32(b, 0x3C, 0xFFFFFFF0); }, "no PE header"},
      {"truncated header", plain, [](Bytes& b) { b.resize(0x100); }, "the optional header is cut off"},
      {"unknown magic", plain, [](Bytes& b) { Set16(b, OptionalHeader(), 0x107); }, "unknown optional header magic"},
      {"section table past the end", plain, [](Bytes& b) { Set16(b, kPe + 6, 96); b.resize(0x1000); },
       "the section table runs past the end of the file"},
      {"section data past the end", plain, [&](Bytes& b) { Set32(b, SectionTable(plain) + 40 + 16, 0x10000); },
       "the data of section .rsrc runs past the end of the file"},
      {"directory outside its section", plain, [&](Bytes& b) { Set16(b, rsrc + 0x20 + 14, 0x100); },
       "a resource directory runs past its section"},
      {"directory far outside", plain, [&](Bytes& b) { Set32(b, rsrc + 0x14, 0xFFFFFFFF); },
       "a resource directory lies outside its section"},
      {"directory loop", plain, [&](Bytes& b) { Set32(b, rsrc + 0x34, 0x80000000 | 0x20); },
       "points back into itself"},
      {"loop to the root", plain, [&](Bytes& b) { Set32(b, rsrc + 0x34, 0x80000000); }, "points back into itself"},
      {"name outside", plain, [&](Bytes& b) { Set32(b, rsrc + 0x10, 0x80000000 | 0x1FF); },
       "a resource name lies outside its section"},
      {"name too long", plain, [&](Bytes& b) { Set16(b, rsrc + 0xA0, 0x7FFF); }, "a resource name runs past"},
      {"data outside the file", plain, [&](Bytes& b) { Set32(b, rsrc + 0x80, 0x7FFFFFF0); },
       "the data of resource \"DATA\" 105 lies outside the file"},
      {"data beyond what the loader maps", plain, [&](Bytes& b) { Set32(b, SectionTable(plain) + 40 + 8, 0xB0); },
       "the data of resource \"DATA\" 105 lies outside the file"},
      {"data at the end of its section", plain, [&](Bytes& b) { Set32(b, rsrc + 0x84, 0x200); },
       "lies outside the file"},
      {"data where a directory belongs", plain, [&](Bytes& b) { Set32(b, rsrc + 0x14, 0x20); },
       "names data where a directory belongs"},
      {"certificate outside the file", {true, true, false, false, true}, [](Bytes& b) { Set32(b, Directories({true}) + 36, 0x1000); },
       "the certificate table lies outside the file"},
      {"bad alignment", plain, [](Bytes& b) { Set32(b, OptionalHeader() + format::kFileAlignment, 0x300); },
       "are not valid"},
      {"section off its alignment", plain,
       [&](Bytes& b) { Set32(b, SectionTable(plain) + format::kVirtualAddress, 0x1100); },
       "section .text is at 0x1100, not a multiple of the section alignment"},
      {"headers into the first section", plain,
       [](Bytes& b) { Set32(b, OptionalHeader() + format::kSizeOfHeaders, 0x1200); },
       "its headers (SizeOfHeaders) reach into section .text"},
      {"no room for a section", {false, true, true, true, false},
       [](Bytes& b) { Set32(b, Directories({}) + 44, 0); },
       "cannot be rewritten in place, and its section table has no room for a new one"},
      {"no resources and no room", {false, false, false, true, false}, [](Bytes&) {},
       "no resource section, and its section table has no room"},
      {"too large", plain, [](Bytes&) {}, "the loader takes images under 2 GiB", 0x7FFFE000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes image = MakeTestImage(c.shape);
    c.damage(image);
    SfxLayout layout;
    std::string error;
    EXPECT_FALSE(LayOutSfx(image.data(), image.size(), c.packageSize, layout, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_TRUE(layout.head.empty());
  }
}

// The stub `MakeTestImage({false, true})` with its resource section's data replaced by
// `section` (at RVA 0x2000, file offset 0x400).
Bytes WithResourceSection(const Bytes& section) {
  using namespace format;
  const Shape plain{false, true};
  Bytes b = MakeTestImage(plain);
  b.resize(0x400);
  b.insert(b.end(), section.begin(), section.end());
  b.resize(0x400 + (section.size() + 0x1FF) / 0x200 * 0x200, 0);
  const size_t h = SectionTable(plain) + kSectionHeaderSize;
  Set32(b, h + kVirtualSize, static_cast<uint32_t>(section.size()));
  Set32(b, h + kSizeOfRawData, static_cast<uint32_t>(b.size() - 0x400));
  Set32(b, Directories(plain) + kDataDirectorySize * kDirectoryResource + 4, static_cast<uint32_t>(section.size()));
  Set32(b, OptionalHeader() + kSizeOfImage, static_cast<uint32_t>(0x2000 + (section.size() + 0xFFF) / 0x1000 * 0x1000));
  return b;
}

// Trees made to cost: the work and the memory are bounded by the bytes there, and a tree
// of more resources than a program has is refused.
TEST(PeImage, HostileResourceTreesAreBounded) {
  using namespace format;
  auto dir = [](Bytes& b, size_t at, uint16_t named, uint16_t numbered) {
    Set16(b, at + kNumberOfNamedEntries, named);
    Set16(b, at + kNumberOfIdEntries, numbered);
  };
  auto entry = [](Bytes& b, size_t dirAt, size_t index, uint32_t id, uint32_t target) {
    Set32(b, dirAt + kResourceDirectorySize + kResourceEntrySize * index, id);
    Set32(b, dirAt + kResourceDirectorySize + kResourceEntrySize * index + 4, target);
  };
  // 5,000 languages sharing one data entry.
  const uint32_t languages = 5000;
  Bytes shared(0x30 + kResourceDirectorySize + kResourceEntrySize * languages + kResourceDataEntrySize);
  dir(shared, 0x00, 0, 1);
  entry(shared, 0x00, 0, 10, kResourceHighBit | 0x18);
  dir(shared, 0x18, 0, 1);
  entry(shared, 0x18, 0, 1, kResourceHighBit | 0x30);
  dir(shared, 0x30, 0, static_cast<uint16_t>(languages));
  const uint32_t data = static_cast<uint32_t>(shared.size() - kResourceDataEntrySize);
  for (uint32_t i = 0; i < languages; ++i) entry(shared, 0x30, i, i, data);
  Set32(shared, data + kDataRva, 0x2000);
  Set32(shared, data + kDataSize, 4);

  // 3,000 types, each with a directory of its own, all named by one name of 20,000 units.
  const uint32_t types = 3000, units = 20000;
  const uint32_t directories = kResourceDirectorySize + kResourceEntrySize * types;
  const uint32_t name = directories + kResourceDirectorySize * types;
  Bytes longName(name + kNameUnits + 2 * units, 'n');
  std::fill(longName.begin(), longName.begin() + name, 0);
  dir(longName, 0x00, static_cast<uint16_t>(types), 0);
  for (uint32_t i = 0; i < types; ++i) {
    entry(longName, 0x00, i, kResourceHighBit | name, kResourceHighBit | (directories + kResourceDirectorySize * i));
  }
  Set16(longName, name + kNameLength, static_cast<uint16_t>(units));

  for (const auto& [what, section, message] :
       {std::tuple<const char*, Bytes, const char*>{"shared data entry", shared, "more than 4096 resources"},
        {"shared long name", longName, "take more memory than a reader gives them"}}) {
    SCOPED_TRACE(what);
    const Bytes stub = WithResourceSection(section);
    Image image;
    std::string error;
    EXPECT_FALSE(ReadImage(stub.data(), stub.size(), image, error));
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

// What the rewritten range would take from others: a section whose data runs into the
// resource section, a directory other than the resources' in it. The stub then gets a
// section added, and every other section and directory keeps its bytes. Bytes after a
// signature are kept at the end.
TEST(PeImage, NothingElseIsRewritten) {
  using namespace format;
  const Bytes package = {'G', 'M', 'Z', 1};
  const Shape plain{false, true};
  const Shape signedShape{false, true, false, false, true};
  const struct {
    const char* what;
    Shape shape;
    std::function<void(Bytes&)> change;
    bool added;
  } cases[] = {
      {".text's data runs into .rsrc", plain,
       [](Bytes& b) { Set32(b, SectionTable({}) + kSizeOfRawData, 0x400); }, true},
      {"the import directory in .rsrc", plain,
       [](Bytes& b) {
         Set32(b, Directories({}) + kDataDirectorySize * 1, 0x20C8);
         Set32(b, Directories({}) + kDataDirectorySize * 1 + 4, 0x10);
       },
       true},
      {"the import directory reaching into .rsrc from .text", plain,
       [](Bytes& b) {
         Set32(b, SectionTable({}) + kVirtualSize, 0x1000);
         Set32(b, Directories({}) + kDataDirectorySize * 1, 0x1FF8);
         Set32(b, Directories({}) + kDataDirectorySize * 1 + 4, 0x10);
       },
       true},
      {"bytes after the signature", signedShape, [](Bytes& b) { SetText(b, b.size() - 7, "TRAILER"); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes stub = MakeTestImage(c.shape);
    if (c.shape.certificate) stub.resize(stub.size() + 7);
    c.change(stub);
    Image before;
    std::string error;
    ASSERT_TRUE(ReadImage(stub.data(), stub.size(), before, error)) << error;
    Bytes out;
    SfxLayout layout;
    ASSERT_TRUE(AssembleSfx(stub.data(), stub.size(), package.data(), package.size(), out, error, &layout)) << error;
    EXPECT_EQ(layout.sectionAdded, c.added);
    Image after;
    ASSERT_TRUE(ReadImage(out.data(), out.size(), after, error)) << error;
    EXPECT_EQ(Resource(out, after, PackageType(), PackageName()), package);
    // Every section of the stub but the resources' maps the bytes it mapped.
    for (size_t i = 0; i < before.sections.size(); ++i) {
      if (static_cast<int>(i) == before.resourceSection && !c.added) continue;
      const Section& was = before.sections[i];
      const Section& is = after.sections[i];
      EXPECT_EQ(is.virtualAddress, was.virtualAddress);
      const size_t n = std::min(was.virtualSize, was.rawSize);
      EXPECT_TRUE(std::equal(stub.begin() + was.rawOffset, stub.begin() + was.rawOffset + n,
                             out.begin() + is.rawOffset))
          << was.name;
    }
    for (uint32_t d = 0; d < kMaxDataDirectories; ++d) {
      if (d == kDirectoryResource || d == kDirectoryCertificate) continue;
      EXPECT_EQ(Get32Of(out, after.optionalHeaderOffset + DataDirectories(false) + kDataDirectorySize * d),
                Get32Of(stub, before.optionalHeaderOffset + DataDirectories(false) + kDataDirectorySize * d))
          << d;
    }
    if (c.shape.certificate) {
      EXPECT_EQ(layout.keptAfterSignature, 7u);
      EXPECT_EQ(std::string(out.end() - 7, out.end()), "TRAILER");
    }
  }
}

TEST(PeImage, ChecksumTakesBytesInAnyPieces) {
  Bytes bytes(1001);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7 + (i >> 3));
  bytes[500] = bytes[501] = 0xFF;
  Bytes zeroed = bytes;
  Set32(zeroed, 0, 0);
  for (size_t split : {0u, 1u, 3u, 500u, 999u}) {
    Checksum whole;
    whole.Add(zeroed.data(), zeroed.size());
    Checksum pieces;
    pieces.Add(zeroed.data(), split);
    pieces.Add(zeroed.data() + split, 1);
    pieces.Add(zeroed.data() + split + 1, zeroed.size() - split - 1);
    EXPECT_EQ(pieces.Value(), whole.Value());
    EXPECT_EQ(whole.Value(), PlainChecksum(bytes, 0));
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
  const size_t field = image.optionalHeaderOffset + 64;
  const unsigned char zero[4] = {};
  Checksum checksum;
  checksum.Add(stub.data(), field);
  checksum.Add(zero, 4);
  checksum.Add(stub.data() + field + 4, stub.size() - field - 4);
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
}  // namespace Zavro::pe
