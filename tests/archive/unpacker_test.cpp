#include "archive/unpacker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include <zlib.h>

#include "archive/gmz_format.h"
#include "archive/io/file.h"
#include "archive/io/memory_file.h"
#include "archive/packer.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/system_error.h"
#include "archive/archive_test_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::AddFile;
using test::Assemble;
using test::Lzma;
using test::ReadBytes;
using test::ScratchDir;
using test::Text;
using test::U;
using test::WriteBytes;
using Bytes = std::vector<unsigned char>;

// Opens hand-made bytes as the installer does, from memory.
struct MemoryArchive {
  explicit MemoryArchive(const Bytes& bytes) : reader(new CMemoryFile(bytes), true) {}
  GMUnpacker reader;
};

// One entry of a hand-made table; offsets count from the start of the data.
struct Item {
  std::u16string name;
  uint64_t size;
  uint32_t method;
  uint64_t offset;
  uint64_t compressed;
  uint32_t type = kTocFile;
};

Bytes Made(const std::vector<Item>& items, const std::string& data) {
  GMTocNode root(kTocDirectory);
  for (const Item& i : items) AddFile(root, i.name, i.type, i.size, i.method, i.offset, i.compressed);
  return Assemble(root, data);
}

std::u16string Damage() { return U("数据处理错误，偏移:"); }
std::u16string Missing() { return U("文件(.part1)读取错误,错误码:2,") + test::SystemText(2); }

// `expected` whole, or as the start of the message when it ends with ':' (an offset the
// test does not work out).
::testing::AssertionResult Says(const std::u16string& message, const std::u16string& expected) {
  const bool prefix = !expected.empty() && expected.back() == u':';
  if (prefix ? test::StartsWithText(message, expected) : message == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the message is " << test::Utf8(message);
}

TEST(GMUnpacker, HeaderAndTableDamage) {
  auto opens = [](const Bytes& bytes) {
    MemoryArchive a(bytes);
    EXPECT_FALSE(a.reader.Open(false));
    EXPECT_FALSE(a.reader.IsOpened());
    return a.reader.GetLastErrorMessage();
  };
  EXPECT_EQ(opens(Bytes{'G', 'M', 'Z'}), Damage() + u"3");
  EXPECT_EQ(opens(Bytes{'G', 'M', 'X', 1, 62, 0, 0, 0}), Damage() + u"3");
  EXPECT_EQ(opens(Bytes{'G', 'M', 'Z', 1, 0x01, 0x00, 0x20, 0x03}), Damage() + u"4");
  EXPECT_EQ(opens(Bytes{'G', 'M', 'Z', 1, 62, 0, 0, 0}), Damage() + u"8");  // table missing
  // A table larger than the bytes after the header is refused before it is read.
  Bytes big = Made({}, "");
  big[6] = 0x10;
  EXPECT_EQ(opens(big), Damage() + u"8");

  // A second Open after a good one fails and changes nothing.
  MemoryArchive good(Made({}, ""));
  ASSERT_TRUE(good.reader.Open(true));
  EXPECT_FALSE(good.reader.Open(false));
  EXPECT_TRUE(good.reader.IsOpened());
}

// Appends the checksum trailer by hand: "GMZc", the CRC-32 of every byte before it and
// their count, both little-endian.
Bytes Sealed(Bytes bytes) {
  const uint32_t crc = static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
  const uint64_t count = bytes.size();
  bytes.insert(bytes.end(), {'G', 'M', 'Z', 'c'});
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(crc >> (8 * i)));
  for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<unsigned char>(count >> (8 * i)));
  return bytes;
}

TEST(GMUnpacker, ChecksumCoversEveryByteBeforeIt) {
  using Checksum = GMUnpacker::Checksum;
  const Bytes plain = Made({{u"a", 6, 0, 0, 6}}, "abcdef");
  const Bytes sealed = Sealed(plain);
  const unsigned char nameUnits[] = {'a', 0};  // the entry's name as the table holds it
  const size_t name = std::search(sealed.begin(), sealed.end(), std::begin(nameUnits), std::end(nameUnits)) -
                      sealed.begin();
  ASSERT_LT(name, plain.size() - 6);
  // An archive made before packages were checked whose stored file ends with what looks
  // like a trailer: the entry's data reaches into those bytes, so they are data.
  const Bytes inner = Sealed(Bytes{'a', 'b', 'c', 'd', 'e', 'f'});
  const Bytes oldLookalike = Made({{u"a", 22, 0, 0, 22}}, std::string(inner.begin(), inner.end()));
  auto changed = [&](size_t at) {
    Bytes b = sealed;
    b[at] ^= 0x20;
    return b;
  };
  // A table changed so that the file's data would reach into the trailer.
  const Bytes movedTable = Made({{u"a", 6, 0, 12, 6}}, "");
  Bytes intoTrailer = sealed;
  std::copy(movedTable.begin(), movedTable.end(), intoTrailer.begin());
  Bytes inserted = sealed;
  inserted.insert(inserted.begin() + static_cast<ptrdiff_t>(plain.size()) - 2, 'x');
  const struct {
    const char* what;
    Bytes bytes;
    Checksum result;
  } cases[] = {
      {"no trailer", plain, Checksum::kNone},
      {"sealed", sealed, Checksum::kMatches},
      {"old archive ending like a trailer", oldLookalike, Checksum::kNone},
      {"stored byte", changed(plain.size() - 1), Checksum::kDamaged},
      {"table byte", changed(name), Checksum::kDamaged},
      {"CRC", changed(plain.size() + 4), Checksum::kDamaged},
      {"data moved into the trailer", intoTrailer, Checksum::kDamaged},
      {"byte inserted", inserted, Checksum::kDamaged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryArchive a(c.bytes);
    ASSERT_TRUE(a.reader.Open(false));
    EXPECT_EQ(a.reader.HasChecksum(), c.result != Checksum::kNone);
    EXPECT_EQ(a.reader.VerifyChecksum(), c.result);
    // Damage is named at the archive's size: only the whole is known to be wrong.
    EXPECT_EQ(a.reader.GetLastErrorMessage(),
              c.result == Checksum::kDamaged ? Damage() + test::Decimal(c.bytes.size()) : u"");
  }
  // The trailer is not data: the sealed archive extracts as the plain one does.
  ScratchDir dir;
  MemoryArchive a(sealed);
  ASSERT_TRUE(a.reader.Open(false));
  ASSERT_TRUE(a.reader.Extract(dir.Join(u"out")));
  EXPECT_EQ(ReadBytes(dir.fs_path() / "out" / "a"), "abcdef");
}

TEST(GMUnpacker, TablesNoReaderCanHonour) {
  const std::vector<Item> tables[] = {
      {{u"m", 52428801, 0, 0, 52428801, kTocMemory}},
      // Memory entries share one budget, however many there are.
      {{u"m1", 30000000, 0, 0, 30000000, kTocMemory}, {u"m2", 30000000, 0, 0, 30000000, kTocMemory}},
      {{u"a", 1, 3, 0, 10}, {u"b", 1, 3, 0, 10}},   // two solid blocks
      {{u"a", 5, 3, 0, 10}, {u"b", 1, 3, 0, 0}},    // a member after the block's last
      {{u"a", 5, 3, 0, 0}},                         // members without a block
      {{u"a", 50, 3, 0, 0}, {u"b", 10, 3, 0, 10}},  // members larger than the block
  };
  for (size_t i = 0; i < std::size(tables); ++i) {
    SCOPED_TRACE(i);
    MemoryArchive a(Made(tables[i], ""));
    EXPECT_FALSE(a.reader.Open(false));
    EXPECT_EQ(a.reader.GetLastErrorMessage(), Damage() + u"8");
  }
}

// The last-write time of a file or folder, as the file system gives it.
uint64_t WrittenAt(const std::u16string& path, uint32_t flags) {
  GMFile file;
  FileTime created, accessed, written;
  EXPECT_TRUE(file.Open(path, kGenericRead, kFileShareRead | kFileShareWrite, kOpenExisting, flags));
  EXPECT_TRUE(file.GetTimes(created, accessed, written));
  return written.value;
}

TEST(GMUnpacker, RoundTripOfEveryKindOfEntry) {
  ScratchDir dir;
  const auto src = dir.fs_path() / "src";
  fs::create_directories(src / "sub" / "deeper");
  const std::pair<const char*, std::string> files[] = {
      {"a.txt", Text(300000, 'a')},      {"b.raw", Text(7000, 'b')},        {"c.lz", Text(900000, 'c')},
      {"sub/d.dat", Text(123456, 'd')},  {"sub/empty.dat", ""},             {"sub/deeper/e.dat", Text(1, 'e')},
      {"f.dat", Text(654321, 'f')}};
  for (const auto& [name, bytes] : files) WriteBytes(src / name, bytes);
  auto policy = std::make_shared<GMFilePolicy>();
  policy->AddMethodRule(0, u".raw");
  policy->AddMethodRule(1, u".txt");
  policy->AddMethodRule(2, u".lz");
  GMPacker packer;
  packer.SetPolicy(policy);
  packer.SetLevel(5);
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  const std::string memory = Text(5000, 'm');
  packer.AddMemoryEntry(packer.Root(), u"mem", memory.data(), memory.size(), 1);
  ASSERT_TRUE(packer.AddInlineEntry(packer.Root(), u"gmmeta", "\0\0\0\0", 4));
  // Times and attributes the extraction must restore; the folder's time must survive
  // the solid members written into it after it was made.
  GMTocNode& sub = *packer.Root().children[4];
  ASSERT_EQ(sub.name, u"sub");
  sub.lastWriteTime = FileTime(131000000000000000ULL);
  GMTocNode& aEntry = *packer.Root().children[0];
  ASSERT_EQ(aEntry.name, u"a.txt");
  aEntry.lastWriteTime = FileTime(132223104000000000ULL);
  aEntry.attributes |= kFileAttributeReadonly;
  ASSERT_TRUE(packer.PackToFile(dir.Join(u"out.gmz")));

  GMUnpacker reader(dir.Join(u"out.gmz"));
  ASSERT_TRUE(reader.Open(false));
  ASSERT_TRUE(reader.Extract(dir.Join(u"dst"))) << test::Utf8(reader.GetLastErrorMessage());
  const auto dst = dir.fs_path() / "dst";
  for (const auto& [name, bytes] : files) EXPECT_TRUE(ReadBytes(dst / name) == bytes) << name;
  EXPECT_FALSE(fs::exists(dst / "mem"));
  EXPECT_FALSE(fs::exists(dst / "gmmeta"));
  EXPECT_EQ(reader.DoneBytes(), reader.TotalBytes());
  // Memory entries land in their buffers.
  const auto mem = std::find_if(reader.Root().children.begin(), reader.Root().children.end(),
                                [](const auto& child) { return child->name == u"mem"; });
  ASSERT_NE(mem, reader.Root().children.end());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>((*mem)->buffer.Data()), (*mem)->buffer.Length()), memory);
  EXPECT_NE(GetPathAttributes(dir.Join(u"dst\\a.txt")) & kFileAttributeReadonly, 0u);
  EXPECT_EQ(WrittenAt(dir.Join(u"dst\\a.txt"), 0), 132223104000000000ULL);
  EXPECT_EQ(WrittenAt(dir.Join(u"dst\\sub"), kFileFlagBackupSemantics), 131000000000000000ULL);

  // Extracting again replaces the files, the read-only one included.
  WriteBytes(dst / "f.dat", "old");
  GMUnpacker again(dir.Join(u"out.gmz"));
  ASSERT_TRUE(again.Open(false));
  ASSERT_TRUE(again.Extract(dir.Join(u"dst")));
  EXPECT_TRUE(ReadBytes(dst / "f.dat") == files[6].second);
  EXPECT_TRUE(ReadBytes(dst / "a.txt") == files[0].second);
}

TEST(GMUnpacker, VolumesAreOneArchive) {
  ScratchDir dir;
  const auto src = dir.fs_path() / "src";
  fs::create_directory(src);
  const std::string x = Text(200000, 'x'), y = Text(300000, 'y');
  WriteBytes(src / "x.txt", x);
  WriteBytes(src / "y.dat", y);
  auto policy = std::make_shared<GMFilePolicy>();
  policy->AddMethodRule(1, u".txt");
  GMPacker packer;
  packer.SetPolicy(policy);
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  ASSERT_TRUE(packer.PackToFile(dir.Join(u"a.gmz")));
  // Cuts inside the zlib stream, twice inside the solid block and before its last bytes.
  GMUnpacker probe(dir.Join(u"a.gmz"));
  ASSERT_TRUE(probe.Open(false));
  const GMTocNode& xe = *probe.Root().children[0];
  const size_t inBlock = static_cast<size_t>(xe.dataOffset + xe.compressedSize + 100);
  const std::string bytes = ReadBytes(dir.fs_path() / "a.gmz");
  const size_t cuts[] = {0, static_cast<size_t>(xe.dataOffset + xe.compressedSize / 2), inBlock, inBlock + 1,
                         static_cast<size_t>(bytes.size() - kGmzTrailerSize - 3), bytes.size()};
  for (size_t i = 0; i + 1 < std::size(cuts); ++i) {
    WriteBytes(dir.fs_path() / ("a.gmz.part" + std::to_string(i)), bytes.substr(cuts[i], cuts[i + 1] - cuts[i]));
  }

  for (const std::u16string& name : std::vector<std::u16string>{u"a.gmz", u"a.gmz.part0", u"a.gmz.PART0"}) {
    GMUnpacker reader(dir.Join(name));
    ASSERT_TRUE(reader.Open(true));
    EXPECT_EQ(reader.VolumeCount(), 5u);
    EXPECT_EQ(reader.VerifyChecksum(), GMUnpacker::Checksum::kMatches);
    ASSERT_TRUE(reader.Extract(dir.Join(u"out")));
    EXPECT_TRUE(ReadBytes(dir.fs_path() / "out" / "x.txt") == x);
    EXPECT_TRUE(ReadBytes(dir.fs_path() / "out" / "y.dat") == y);
    fs::remove_all(dir.fs_path() / "out");
  }

  // Without its last volume the solid block runs out of input.
  fs::remove(dir.fs_path() / "a.gmz.part4");
  GMUnpacker reader(dir.Join(u"a.gmz"));
  ASSERT_TRUE(reader.Open(true));
  EXPECT_FALSE(reader.Extract(dir.Join(u"out")));
  EXPECT_TRUE(test::StartsWithText(reader.GetLastErrorMessage(),
                                   U("文件(") + dir.Join(u"a.gmz.part4") + U(")读取错误,错误码:2")));

  GMUnpacker none(dir.Join(u"b.gmz"));
  EXPECT_FALSE(none.Open(true));
  EXPECT_EQ(none.LastError().text, dir.Join(u"b.gmz.part0"));
}

TEST(GMUnpacker, SizesAreNotTrusted) {
  ScratchDir dir;
  const std::string data = Text(50000, 'q');
  const std::string zip = test::Deflate(data), lzma = Lzma(data, true), noMark = Lzma(data, false);
  std::string badZip = zip;
  badZip[badZip.size() / 2] ^= 0x5A;
  badZip[badZip.size() / 2 + 1] ^= 0x33;
  // A stream that reaches back further than the entry's size allows a dictionary.
  const std::string distant = Lzma(test::Noise(100000, 7) + test::Noise(100000, 7), true);
  // A 512 MiB dictionary announced for a block of 1 GiB.
  std::string window = Lzma(Text(1000, 'z'), true);
  window.replace(1, 4, std::string("\0\0\0\x20", 4));
  const uint64_t base = 8 + 62 + 62 + 2;  // where the data starts, after one entry named "f"
  const struct {
    const char* what;
    uint64_t size;
    uint32_t method;
    std::string stream;
    uint64_t compressed;
    std::u16string message;
  } cases[] = {
      {"the entry claims more than its stream gives", data.size() + 1, 1, zip, zip.size(),
       Damage() + test::Decimal(base + zip.size())},
      {"the stream gives more than the entry holds", data.size() - 1, 2, lzma, lzma.size(), Damage()},
      {"every byte arrives, but the end marker does not", data.size(), 2, noMark, noMark.size(),
       Damage() + test::Decimal(base + noMark.size())},
      {"a distant match", 50000, 2, distant, distant.size(), Damage()},
      {"a large window", 1ULL << 30, 3, window, window.size(), Damage() + u"134"},
      {"a solid block whose total is larger than its stream", data.size() + 10, 3, lzma, lzma.size(), Damage()},
      {"a corrupt zlib stream", data.size(), 1, badZip, badZip.size(), Damage()},
      {"a stream that runs past the end of the archive", data.size(), 1, zip, zip.size() + 100, Missing()},
      {"no converter for the method", 3, 7, "abc", 3, Damage() + u"0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryArchive a(Made({{u"f", c.size, c.method, 0, c.compressed}}, c.stream));
    ASSERT_TRUE(a.reader.Open(false));
    EXPECT_FALSE(a.reader.Extract(dir.Join(u"out")));
    EXPECT_TRUE(Says(a.reader.GetLastErrorMessage(), c.message));
  }
}

// Everything below `folder`, relative to it, in order.
std::vector<std::string> Tree(const fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    found.push_back(item.path().lexically_relative(folder).generic_string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(GMUnpacker, HostileNamesReachNoDisk) {
  // Each name in a package of its own, at the top and one folder down.
  const std::vector<std::u16string> names = {
      u"\"..\\evil.txt\"", u"..", u".", u"..\\evil.txt", u"a\\..\\..\\evil.txt", u"a/../../evil.txt",
      u"\".. \"", u".. \\evil.txt", u"...", u"evil.", u"NUL", u"COM1", u"aux.txt", u"lpt9.log", u"CON .txt",
      u"a.txt:stream", u"C:evil.txt", u"\\evil.txt", u"a\\\\b", u"a\\", u"<x>", u"a|b", u"a?", u"a*", u"\"\"",
      std::u16string(u"ev\0il", 5), u"ev\til", u""};
  for (const std::u16string& name : names) {
    for (bool nested : {false, true}) {
      SCOPED_TRACE(fs::path(name).string() + (nested ? " below a folder" : ""));
      ScratchDir dir;
      GMTocNode root(kTocDirectory);
      GMTocNode& parent = nested ? AddFile(root, u"sub", kTocDirectory, 0, 0, 0, 0) : root;
      AddFile(parent, name, kTocFile, 3, 0, 0, 3);
      MemoryArchive a(Assemble(root, "abc"));
      ASSERT_TRUE(a.reader.Open(false));
      EXPECT_FALSE(a.reader.Extract(dir.Join(u"out")));
      EXPECT_EQ(a.reader.LastError().kind, kErrorFileCreate);
      EXPECT_EQ(a.reader.LastError().word2, kErrorInvalidName);
      EXPECT_TRUE(test::StartsWithText(a.reader.GetLastErrorMessage(), U("文件(") + dir.Join(u"out")));
      const std::vector<std::string> expected = nested ? std::vector<std::string>{"out", "out/sub"}
                                                       : std::vector<std::string>{"out"};
      EXPECT_EQ(Tree(dir.fs_path()), expected);
    }
  }
}

TEST(GMUnpacker, AbsoluteNames) {
  ScratchDir dir;
  const std::u16string quoted = u"\"C:\\Windows\\x.dll\"";
  EXPECT_TRUE(GMUnpacker::IsAbsoluteName(quoted));
  EXPECT_TRUE(GMUnpacker::IsAbsoluteName(u"\\\\srv\\share\\x"));
  EXPECT_FALSE(GMUnpacker::IsAbsoluteName(u"\"x\""));
  // Refused when the reader is told to keep everything below its target.
  MemoryArchive a(Made({{quoted, 3, 0, 0, 3}}, "abc"));
  a.reader.SetAbsoluteNames(false);
  ASSERT_TRUE(a.reader.Open(false));
  EXPECT_FALSE(a.reader.Extract(dir.Join(u"out")));
  EXPECT_EQ(a.reader.LastError().word2, kErrorInvalidName);
  EXPECT_EQ(a.reader.LastError().text, u"C:\\Windows\\x.dll");

  // Otherwise written where it says (only a system with drives has such paths).
  const std::u16string absolute = dir.Join(u"elsewhere.txt");
  if (!IsAbsolutePath(absolute)) return;
  MemoryArchive b(Made({{u"\"" + absolute + u"\"", 3, 0, 0, 3}}, "abc"));
  ASSERT_TRUE(b.reader.Open(false));
  ASSERT_TRUE(b.reader.Extract(dir.Join(u"out")));
  EXPECT_EQ(ReadBytes(dir.fs_path() / "elsewhere.txt"), "abc");
}

// Maps the top-level folder "##x##" to another folder, as an installer maps its macros.
class MappingReader : public GMUnpacker {
 public:
  MappingReader(const Bytes& bytes, std::u16string folder)
      : GMUnpacker(new CMemoryFile(bytes), true), folder_(std::move(folder)) {}
  bool MapTargetPath(GMTocNode& entry, std::u16string& path, std::u16string& name, bool& handled) override {
    handled = false;
    if (entry.Parent() != &Root() || entry.name != u"##x##") return true;
    path = DirectoryPart(folder_);
    name = FileNamePart(folder_);
    return true;
  }

 private:
  std::u16string folder_;
};

TEST(GMUnpacker, MappedFoldersAreCheckedToo) {
  ScratchDir dir;
  GMTocNode root(kTocDirectory);
  GMTocNode& x = AddFile(root, u"##x##", kTocDirectory, 0, 0, 0, 0);
  AddFile(x, u"a.txt", kTocFile, 3, 0, 0, 3);
  const Bytes bytes = Assemble(root, "abc");
  {
    MappingReader reader(bytes, dir.Join(u"mapped\\app"));
    ASSERT_TRUE(reader.Open(false));
    ASSERT_TRUE(reader.Extract(dir.Join(u"out"))) << test::Utf8(reader.GetLastErrorMessage());
    EXPECT_EQ(ReadBytes(dir.fs_path() / "mapped" / "app" / "a.txt"), "abc");
  }
  for (const std::u16string& folder : {dir.Join(u"out\\..\\..\\app"), dir.Join(u"out\\..")}) {
    MappingReader reader(bytes, folder);
    ASSERT_TRUE(reader.Open(false));
    EXPECT_FALSE(reader.Extract(dir.Join(u"out")));
    EXPECT_EQ(reader.LastError().word2, kErrorInvalidName);
  }
  EXPECT_FALSE(fs::exists(dir.fs_path().parent_path() / "app"));
}

TEST(GMUnpacker, NothingIsReplacedBeforeItsDataArrives) {
  ScratchDir dir;
  fs::create_directory(dir.fs_path() / "out");
  const std::string cut = Lzma(test::Noise(200000, 11), true).substr(0, 50000);
  const struct {
    const char* what;
    std::vector<Item> items;
    std::string data;
    std::u16string message;
    std::vector<const char*> untouched;
  } cases[] = {
      {"a stand-alone stream past the end of the archive", {{u"a", 3, 0, 10, 3}}, "abc", Missing(), {"a"}},
      {"a solid block past the end", {{u"a", 3, 3, 0, 0}, {u"b", 6, 3, 100, 50}}, "abc", Missing(), {"a", "b"}},
      {"a block that breaks off inside its first member",
       {{u"a", 100000, 3, 0, 0}, {u"b", 0, 3, 0, 0}, {u"c", 200000, 3, 0, cut.size()}}, cut, Damage(), {"b", "c"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* name : {"a", "b", "c"}) WriteBytes(dir.fs_path() / "out" / name, "old");
    MemoryArchive a(Made(c.items, c.data));
    ASSERT_TRUE(a.reader.Open(false));
    EXPECT_FALSE(a.reader.Extract(dir.Join(u"out")));
    EXPECT_TRUE(Says(a.reader.GetLastErrorMessage(), c.message));
    for (const char* name : c.untouched) EXPECT_EQ(ReadBytes(dir.fs_path() / "out" / name), "old") << name;
  }
}

// A memory archive whose reads fail from `failAt` on, with error 5.
class FailingFile : public CMemoryFile {
 public:
  FailingFile(const Bytes& bytes, uint64_t failAt) : CMemoryFile(bytes), fail_at_(failAt) {}
  bool Read(void* buffer, uint32_t length, uint32_t& bytesRead) override {
    uint64_t position = 0;
    GetPosition(position);
    if (position + length <= fail_at_) return CMemoryFile::Read(buffer, length, bytesRead);
    bytesRead = 0;
    SetLastSystemError(kErrorAccessDenied);
    return false;
  }

 private:
  uint64_t fail_at_;
};

TEST(GMUnpacker, ReadFailuresAreReportedOrSkipped) {
  ScratchDir dir;
  const Bytes bytes = Made({{u"a", 3, 0, 0, 3}, {u"b", 3, 0, 3, 3}}, "abcdef");
  for (bool ignore : {false, true}) {
    GMUnpacker reader(new FailingFile(bytes, bytes.size() - 3), true);
    reader.SetIgnoreAllErrors(ignore);
    ASSERT_TRUE(reader.Open(false));
    const bool ok = reader.Extract(dir.Join(u"out"));
    if (ignore) {
      // Skipped: the entry counts as done and the next one is written.
      EXPECT_TRUE(ok);
      EXPECT_EQ(ReadBytes(dir.fs_path() / "out" / "a"), "abc");
      EXPECT_EQ(ReadBytes(dir.fs_path() / "out" / "b"), "");
    } else {
      EXPECT_FALSE(ok);
      EXPECT_EQ(reader.LastError().kind, kErrorFileRead);
      EXPECT_EQ(reader.LastError().word2, kErrorAccessDenied);
      EXPECT_FALSE(reader.GetLastErrorMessage().empty());
    }
  }
}

TEST(GMUnpacker, TargetFolderThatIsAFileAndAnEmptyFile) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "file", "x");
  MemoryArchive a(Made({{u"f", 3, 0, 0, 3}}, "abc"));
  ASSERT_TRUE(a.reader.Open(false));
  EXPECT_FALSE(a.reader.Extract(dir.Join(u"file")));
  EXPECT_EQ(a.reader.LastError().kind, kErrorFileWrite);
  EXPECT_EQ(a.reader.LastError().word2, kErrorAlreadyExists);
  EXPECT_EQ(ReadBytes(dir.fs_path() / "file"), "x");

  // An empty file needs no data, whatever its method and offset say.
  GMTocNode root(kTocDirectory);
  AddFile(root, u"empty", kTocFile, 0, 2, 999999, 0).lastWriteTime = FileTime(132223104000000000ULL);
  MemoryArchive b(Assemble(root, ""));
  ASSERT_TRUE(b.reader.Open(false));
  ASSERT_TRUE(b.reader.Extract(dir.Join(u"out")));
  EXPECT_EQ(fs::file_size(dir.fs_path() / "out" / "empty"), 0u);
}

}  // namespace
}  // namespace Zavro
