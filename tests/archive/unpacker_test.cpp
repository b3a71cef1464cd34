#include "archive/unpacker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>

#include "archive/gmz_format.h"
#include "archive/io/file.h"
#include "archive/io/memory_file.h"
#include "system/change_seam.h"
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
using test::Sealed;
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

TEST(GMUnpacker, OpenRefusesDamageAndTablesNoReaderCanHonour) {
  Bytes bigTable = Made({}, "");
  bigTable[6] = 0x10;  // larger than the bytes after the header: refused before it is read
  const struct {
    Bytes bytes;
    const char16_t* offset;
  } cases[] = {
      {{'G', 'M', 'Z'}, u"3"},
      {{'G', 'M', 'X', 1, 62, 0, 0, 0}, u"3"},
      {{'G', 'M', 'Z', 1, 0x01, 0x00, 0x20, 0x03}, u"4"},
      {{'G', 'M', 'Z', 1, 62, 0, 0, 0}, u"8"},  // the table missing
      {bigTable, u"8"},
      {Made({{u"m", 52428801, 0, 0, 52428801, kTocMemory}}, ""), u"8"},
      // Memory entries share one budget, however many there are.
      {Made({{u"m1", 30000000, 0, 0, 30000000, kTocMemory}, {u"m2", 30000000, 0, 0, 30000000, kTocMemory}}, ""),
       u"8"},
      {Made({{u"a", 1, 3, 0, 10}, {u"b", 1, 3, 0, 10}}, ""), u"8"},   // two solid blocks
      {Made({{u"a", 5, 3, 0, 10}, {u"b", 1, 3, 0, 0}}, ""), u"8"},    // a member after the block's last
      {Made({{u"a", 5, 3, 0, 0}}, ""), u"8"},                         // members without a block
      {Made({{u"a", 50, 3, 0, 0}, {u"b", 10, 3, 0, 10}}, ""), u"8"},  // members larger than the block
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    MemoryArchive a(cases[i].bytes);
    EXPECT_FALSE(a.reader.Open(false));
    EXPECT_FALSE(a.reader.IsOpened());
    EXPECT_EQ(a.reader.GetLastErrorMessage(), Damage() + cases[i].offset);
  }

  // A second Open after a good one fails and changes nothing.
  MemoryArchive good(Made({}, ""));
  ASSERT_TRUE(good.reader.Open(true));
  EXPECT_FALSE(good.reader.Open(false));
  EXPECT_TRUE(good.reader.IsOpened());
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

// The last-write time of a file or folder, as the file system gives it.
uint64_t WrittenAt(const std::u16string& path, uint32_t flags) {
  GMFile file;
  FileTime created, accessed, written;
  EXPECT_TRUE(file.Open(path, kGenericRead, kFileShareRead | kFileShareWrite, kOpenExisting, flags));
  EXPECT_TRUE(file.GetTimes(created, accessed, written));
  return written.value;
}

TEST(GMUnpacker, EveryKindOfEntryWholeAndFromVolumes) {
  const std::string a = Text(300000, 'a'), b = Text(7000, 'b'), c = Text(900000, 'c'), d = Text(123456, 'd');
  const std::string e = Text(1, 'e'), f = Text(654321, 'f'), memory = Text(5000, 'm');
  std::string data;
  auto add = [&](GMTocNode& parent, const std::u16string& name, uint32_t type, uint64_t size, uint32_t method,
                 const std::string& stream) -> GMTocNode& {
    data += stream;
    return AddFile(parent, name, type, size, method, data.size() - stream.size(), stream.size());
  };
  GMTocNode root(kTocDirectory);
  GMTocNode& aEntry = add(root, u"a.txt", kTocFile, a.size(), 1, test::Deflate(a));
  aEntry.lastWriteTime = FileTime(132223104000000000ULL);
  aEntry.attributes |= kFileAttributeReadonly;
  add(root, u"b.raw", kTocFile, b.size(), 0, b);
  add(root, u"c.lz", kTocFile, c.size(), 2, Lzma(c, true));
  add(root, u"mem", kTocMemory, memory.size(), 1, test::Deflate(memory));
  // An empty file needs no data, whatever its method and offset say.
  AddFile(root, u"none.dat", kTocFile, 0, 2, 999999, 0);
  GMTocNode& meta = AddFile(root, u"gmmeta", kTocInline, 0, 0, 0, 0);
  meta.buffer.Resize(4);
  meta.buffer.SetLength(4);
  std::fill_n(meta.buffer.Data(), 4, 0);
  // The solid block: d, an empty member and e below a folder, then f, the last member,
  // with the block's size. The folder's time must survive the members written into it.
  GMTocNode& sub = AddFile(root, u"sub", kTocDirectory, 0, 0, 0, 0);
  sub.lastWriteTime = FileTime(131000000000000000ULL);
  AddFile(sub, u"d.dat", kTocFile, d.size(), 3, data.size(), 0);
  AddFile(sub, u"empty.dat", kTocFile, 0, 3, data.size(), 0);
  AddFile(AddFile(sub, u"deeper", kTocDirectory, 0, 0, 0, 0), u"e.dat", kTocFile, e.size(), 3, data.size(), 0);
  GMTocNode& fEntry = add(root, u"f.dat", kTocFile, d.size() + e.size() + f.size(), 3, Lzma(d + e + f, true));
  const Bytes sealed = Sealed(Assemble(root, data));
  const std::string bytes(sealed.begin(), sealed.end());
  const std::pair<const char*, std::string> files[] = {
      {"a.txt", a}, {"b.raw", b}, {"c.lz", c}, {"none.dat", ""}, {"sub/d.dat", d}, {"sub/empty.dat", ""},
      {"sub/deeper/e.dat", e}, {"f.dat", f}};

  // Volumes cut inside a's zlib stream, twice inside the solid block and before its last bytes.
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "a.gmz", bytes);
  const size_t inA = aEntry.dataOffset + aEntry.compressedSize / 2, block = fEntry.dataOffset;
  const size_t cuts[] = {0, inA, block + 100, block + 101, bytes.size() - kGmzTrailerSize - 3, bytes.size()};
  for (size_t i = 0; i + 1 < std::size(cuts); ++i) {
    WriteBytes(dir.fs_path() / ("a.gmz.part" + std::to_string(i)), bytes.substr(cuts[i], cuts[i + 1] - cuts[i]));
  }
  const std::pair<const char16_t*, bool> opens[] = {
      {u"a.gmz", false}, {u"a.gmz", true}, {u"a.gmz.part0", true}, {u"a.gmz.PART0", true}};
  for (size_t i = 0; i < std::size(opens); ++i) {
    const auto [name, volumes] = opens[i];
    SCOPED_TRACE(i);
    const std::u16string out = dir.Join(u"out" + test::Decimal(i));
    const fs::path dst = test::FsPath(out);
    GMUnpacker reader(dir.Join(name));
    ASSERT_TRUE(reader.Open(volumes));
    EXPECT_EQ(reader.VolumeCount(), volumes ? 5u : 1u);
    EXPECT_EQ(reader.VerifyChecksum(), GMUnpacker::Checksum::kMatches);
    ASSERT_TRUE(reader.Extract(out)) << test::Utf8(reader.GetLastErrorMessage());
    for (const auto& [file, expected] : files) EXPECT_TRUE(ReadBytes(dst / file) == expected) << file;
    EXPECT_FALSE(fs::exists(dst / "mem"));
    EXPECT_FALSE(fs::exists(dst / "gmmeta"));
    EXPECT_EQ(reader.DoneBytes(), reader.TotalBytes());
    // Memory entries land in their buffers.
    const GMTocNode& mem = *reader.Root().children[3];
    ASSERT_EQ(mem.name, u"mem");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mem.buffer.Data()), mem.buffer.Length()), memory);
    EXPECT_NE(GetPathAttributes(out + u"\\a.txt") & kFileAttributeReadonly, 0u);
    EXPECT_EQ(WrittenAt(out + u"\\a.txt", 0), 132223104000000000ULL);
    EXPECT_EQ(WrittenAt(out + u"\\sub", kFileFlagBackupSemantics), 131000000000000000ULL);
  }

  // Extracting again replaces the files, the read-only one included.
  WriteBytes(dir.fs_path() / "out0" / "f.dat", "old");
  GMUnpacker again(dir.Join(u"a.gmz"));
  ASSERT_TRUE(again.Open(false));
  ASSERT_TRUE(again.Extract(dir.Join(u"out0")));
  EXPECT_TRUE(ReadBytes(dir.fs_path() / "out0" / "f.dat") == f);
  EXPECT_TRUE(ReadBytes(dir.fs_path() / "out0" / "a.txt") == a);

  // Without its last volume the solid block runs out of input.
  fs::remove(dir.fs_path() / "a.gmz.part4");
  GMUnpacker cut(dir.Join(u"a.gmz"));
  ASSERT_TRUE(cut.Open(true));
  EXPECT_FALSE(cut.Extract(dir.Join(u"cut")));
  EXPECT_TRUE(test::StartsWithText(cut.GetLastErrorMessage(),
                                   U("文件(") + dir.Join(u"a.gmz.part4") + U(")读取错误,错误码:2")));
  GMUnpacker none(dir.Join(u"b.gmz"));
  EXPECT_FALSE(none.Open(true));
  EXPECT_EQ(none.LastError().text, dir.Join(u"b.gmz.part0"));
}

TEST(GMUnpacker, SizesAreNotTrustedAndNothingIsReplacedBeforeItsDataArrives) {
  ScratchDir dir;
  fs::create_directory(dir.fs_path() / "out");
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
  const std::string cut = Lzma(test::Noise(200000, 11), true).substr(0, 50000);
  const uint64_t base = 8 + 62 + 62 + 2;  // where the data starts, after one entry named "f"
  const struct {
    const char* what;
    std::vector<Item> items;
    std::string data;
    std::u16string message;
    std::vector<const char*> untouched = {};
  } cases[] = {
      {"the entry claims more than its stream gives", {{u"f", data.size() + 1, 1, 0, zip.size()}}, zip,
       Damage() + test::Decimal(base + zip.size())},
      {"the stream gives more than the entry holds", {{u"f", data.size() - 1, 2, 0, lzma.size()}}, lzma, Damage()},
      {"every byte arrives, but the end marker does not", {{u"f", data.size(), 2, 0, noMark.size()}}, noMark,
       Damage() + test::Decimal(base + noMark.size())},
      {"a distant match", {{u"f", 50000, 2, 0, distant.size()}}, distant, Damage()},
      {"a large window", {{u"f", 1ULL << 30, 3, 0, window.size()}}, window, Damage() + u"134"},
      {"a solid block whose total is larger than its stream", {{u"f", data.size() + 10, 3, 0, lzma.size()}}, lzma,
       Damage()},
      {"a corrupt zlib stream", {{u"f", data.size(), 1, 0, badZip.size()}}, badZip, Damage()},
      {"a stream that runs past the end of the archive", {{u"f", data.size(), 1, 0, zip.size() + 100}}, zip,
       Missing()},
      {"no converter for the method", {{u"f", 3, 7, 0, 3}}, "abc", Damage() + u"0"},
      // Files in the way are kept until the entry's data is found.
      {"a stand-alone stream past the end", {{u"a", 3, 0, 10, 3}}, "abc", Missing(), {"a"}},
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
      EXPECT_EQ(Tree(dir.fs_path()),
                (nested ? std::vector<std::string>{"out", "out/sub"} : std::vector<std::string>{"out"}));
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
  AddFile(AddFile(root, u"##x##", kTocDirectory, 0, 0, 0, 0), u"a.txt", kTocFile, 3, 0, 0, 3);
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
    EXPECT_EQ(reader.Extract(dir.Join(u"out")), ignore);
    if (ignore) {
      // Skipped: the entry counts as done and the next one is written.
      EXPECT_EQ(ReadBytes(dir.fs_path() / "out" / "a"), "abc");
      EXPECT_EQ(ReadBytes(dir.fs_path() / "out" / "b"), "");
    } else {
      EXPECT_EQ(reader.LastError().kind, kErrorFileRead);
      EXPECT_EQ(reader.LastError().word2, kErrorAccessDenied);
      EXPECT_FALSE(reader.GetLastErrorMessage().empty());
    }
  }
}

// Every write of every sink fails in turn, as a full disk would: the extraction stops
// with the file named, or, with errors ignored, that file alone is skipped.
TEST(GMUnpacker, WriteFailuresInEverySink) {
  const std::string stored = Text(70000, 's'), zipped = Text(600000, 'z'), lz = Text(1500000, 'l');
  const std::string d = Text(700000, 'd'), e = Text(900000, 'e');
  std::string data;
  GMTocNode root(kTocDirectory);
  auto add = [&](const std::u16string& name, uint64_t size, uint32_t method, const std::string& stream) {
    data += stream;
    AddFile(root, name, kTocFile, size, method, data.size() - stream.size(), stream.size());
  };
  add(u"stored", stored.size(), 0, stored);
  add(u"zipped", zipped.size(), 1, test::Deflate(zipped));
  add(u"lz", lz.size(), 2, Lzma(lz, true));
  AddFile(root, u"d", kTocFile, d.size(), 3, data.size(), 0);
  add(u"e", d.size() + e.size(), 3, Lzma(d + e, true));
  const Bytes bytes = Assemble(root, data);
  const std::map<std::string, std::string> files = {
      {"stored", stored}, {"zipped", zipped}, {"lz", lz}, {"d", d}, {"e", e}};

  ScratchDir dir;
  size_t failures = 0;
  bool finished = false;
  for (uint64_t n = 1; !finished && n < 500; ++n) {
    for (bool ignore : {false, true}) {
      SCOPED_TRACE("change " + std::to_string(n) + (ignore ? ", ignored" : ""));
      const fs::path out = dir.fs_path() / ("out" + std::to_string(n) + (ignore ? "i" : ""));
      MemoryArchive a(bytes);
      a.reader.SetIgnoreAllErrors(ignore);
      ASSERT_TRUE(a.reader.Open(false));
      FailNthChange(n, kErrorDiskFull);
      const bool ok = a.reader.Extract(test::SysPath(out));
      finished = !InjectedFailureHappened();
      FailNthChange(0, 0);
      size_t whole = 0;
      for (const auto& [name, content] : files) whole += fs::exists(out / name) && ReadBytes(out / name) == content;
      if (!ok) {
        ++failures;
        EXPECT_FALSE(ignore);
        EXPECT_EQ(a.reader.LastError().SystemError(), kErrorDiskFull);
        const std::u16string named = a.reader.LastError().Subject();
        EXPECT_TRUE(test::StartsWithText(named, test::SysPath(out))) << test::Utf8(named);
      } else {
        // A failure the extraction survives (a file's times) leaves every file whole;
        // an ignored one every file but the one that failed.
        EXPECT_GE(whole, ignore && !finished ? files.size() - 1 : files.size());
      }
    }
  }
  EXPECT_TRUE(finished);
  EXPECT_GT(failures, 10u);  // several writes of each sink
}

TEST(GMUnpacker, TargetFolderThatIsAFile) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "file", "x");
  MemoryArchive a(Made({{u"f", 3, 0, 0, 3}}, "abc"));
  ASSERT_TRUE(a.reader.Open(false));
  EXPECT_FALSE(a.reader.Extract(dir.Join(u"file")));
  EXPECT_EQ(a.reader.LastError().kind, kErrorFileWrite);
  EXPECT_EQ(a.reader.LastError().word2, kErrorAlreadyExists);
  EXPECT_EQ(ReadBytes(dir.fs_path() / "file"), "x");
}

}  // namespace
}  // namespace Zavro
