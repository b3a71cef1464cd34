#include "archive/unpacker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

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

using test::FsPath;
using test::Deflate;
using test::Inflate;
using test::Lzma;
using test::ReadBytes;
using test::Text;
using test::Unlzma;
using test::ScratchDir;
using test::U;
using test::WriteBytes;
using test::AddFile;
using test::Assemble;
using Bytes = std::vector<unsigned char>;


// Opens hand-made bytes as the installer does, from memory.
struct MemoryArchive {
  explicit MemoryArchive(const Bytes& bytes) : reader(new CMemoryFile(bytes), true) {}
  GMUnpacker reader;
};

TEST(GMUnpacker, HeaderAndTableDamage) {
  auto opens = [](const Bytes& bytes) {
    MemoryArchive a(bytes);
    EXPECT_FALSE(a.reader.Open(false));
    EXPECT_FALSE(a.reader.IsOpened());
    return a.reader.GetLastErrorMessage();
  };
  EXPECT_EQ(opens(Bytes{'G', 'M', 'Z'}), U("数据处理错误，偏移:3"));
  EXPECT_EQ(opens(Bytes{'G', 'M', 'X', 1, 62, 0, 0, 0}), U("数据处理错误，偏移:3"));
  EXPECT_EQ(opens(Bytes{'G', 'M', 'Z', 2, 62, 0, 0, 0}), U("数据处理错误，偏移:3"));
  EXPECT_EQ(opens(Bytes{'G', 'M', 'Z', 1, 0x01, 0x00, 0x20, 0x03}), U("数据处理错误，偏移:4"));
  EXPECT_EQ(opens(Bytes{'G', 'M', 'Z', 1, 62, 0, 0, 0}), U("数据处理错误，偏移:8"));  // table missing

  GMTocNode empty(kTocDirectory);
  // A table larger than the bytes after the header is refused before it is read.
  Bytes big = Assemble(empty, "");
  big[6] = 0x10;
  EXPECT_EQ(opens(big), U("数据处理错误，偏移:8"));

  // A second Open after a good one fails and changes nothing.
  GMTocNode ok(kTocDirectory);
  MemoryArchive good(Assemble(ok, ""));
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
  GMTocNode root(kTocDirectory);
  AddFile(root, u"a", kTocFile, 6, 0, 0, 6);
  const Bytes plain = Assemble(root, "abcdef");
  const Bytes sealed = Sealed(plain);
  const unsigned char nameUnits[] = {'a', 0};  // the entry's name as the table holds it
  const size_t name = std::search(sealed.begin(), sealed.end(), std::begin(nameUnits), std::end(nameUnits)) -
                      sealed.begin();
  ASSERT_LT(name, plain.size() - 6);
  // An archive made before packages were checked whose stored file ends with what looks
  // like a trailer: the entry's data reaches into those bytes, so they are data.
  GMTocNode old(kTocDirectory);
  AddFile(old, u"a", kTocFile, 22, 0, 0, 22);
  const Bytes inner = Sealed(Bytes{'a', 'b', 'c', 'd', 'e', 'f'});
  const Bytes oldLookalike = Assemble(old, std::string(inner.begin(), inner.end()));

  auto changed = [&](size_t at) {
    Bytes b = sealed;
    b[at] ^= 0x20;
    return b;
  };
  // A table changed so that the file's data would reach into the trailer.
  GMTocNode moved(kTocDirectory);
  AddFile(moved, u"a", kTocFile, 6, 0, 12, 6);
  const Bytes movedTable = Assemble(moved, "");
  Bytes intoTrailer = sealed;
  std::copy(movedTable.begin(), movedTable.end(), intoTrailer.begin());
  Bytes inserted = sealed;
  inserted.insert(inserted.begin() + static_cast<ptrdiff_t>(plain.size()) - 2, 'x');
  const std::string damage = "数据处理错误，偏移:";
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
              c.result == Checksum::kDamaged ? U((damage + std::to_string(c.bytes.size())).c_str()) : u"");
  }
  // The trailer is not data: the sealed archive extracts as the plain one does.
  ScratchDir dir;
  MemoryArchive a(sealed);
  ASSERT_TRUE(a.reader.Open(false));
  ASSERT_TRUE(a.reader.Extract(dir.Join(u"out")));
  EXPECT_EQ(ReadBytes(dir.fs_path() / "out" / "a"), "abcdef");
}

TEST(GMUnpacker, TablesNoReaderCanHonour) {
  auto refused = [](GMTocNode& root, const std::string& data) {
    MemoryArchive a(Assemble(root, data));
    EXPECT_FALSE(a.reader.Open(false));
    EXPECT_EQ(a.reader.GetLastErrorMessage(), U("数据处理错误，偏移:8"));
  };
  GMTocNode memory(kTocDirectory);
  AddFile(memory, u"m", kTocMemory, 52428801, 0, 0, 52428801);
  refused(memory, "");

  // Memory entries share one budget, however many there are.
  GMTocNode memories(kTocDirectory);
  AddFile(memories, u"m1", kTocMemory, 30000000, 0, 0, 30000000);
  AddFile(memories, u"m2", kTocMemory, 30000000, 0, 0, 30000000);
  refused(memories, "");

  GMTocNode twoBlocks(kTocDirectory);
  AddFile(twoBlocks, u"a", kTocFile, 1, 3, 0, 10);
  AddFile(twoBlocks, u"b", kTocFile, 1, 3, 0, 10);
  refused(twoBlocks, "");

  GMTocNode memberAfterLast(kTocDirectory);
  AddFile(memberAfterLast, u"a", kTocFile, 5, 3, 0, 10);
  AddFile(memberAfterLast, u"b", kTocFile, 1, 3, 0, 0);
  refused(memberAfterLast, "");

  GMTocNode noBlock(kTocDirectory);
  AddFile(noBlock, u"a", kTocFile, 5, 3, 0, 0);
  refused(noBlock, "");

  GMTocNode membersTooLarge(kTocDirectory);
  AddFile(membersTooLarge, u"a", kTocFile, 50, 3, 0, 0);
  AddFile(membersTooLarge, u"b", kTocFile, 10, 3, 0, 10);
  refused(membersTooLarge, "");
}

TEST(GMUnpacker, RoundTripOfEveryKindOfEntry) {
  ScratchDir dir;
  const auto src = dir.fs_path() / "src";
  test::fs::create_directories(src / "sub" / "deeper");
  const std::string a = Text(300000, 'a'), b = Text(7000, 'b'), c = Text(900000, 'c');
  const std::string d = Text(123456, 'd'), e = Text(1, 'e'), f = Text(654321, 'f');
  WriteBytes(src / "a.txt", a);
  WriteBytes(src / "b.raw", b);
  WriteBytes(src / "c.lz", c);
  WriteBytes(src / "sub" / "d.dat", d);
  WriteBytes(src / "sub" / "empty.dat", "");
  WriteBytes(src / "sub" / "deeper" / "e.dat", e);
  WriteBytes(src / "f.dat", f);
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
  ASSERT_TRUE(reader.Extract(dir.Join(u"dst"))) << test::fs::path(reader.GetLastErrorMessage()).string();
  const auto dst = dir.fs_path() / "dst";
  EXPECT_TRUE(ReadBytes(dst / "a.txt") == a);
  EXPECT_TRUE(ReadBytes(dst / "b.raw") == b);
  EXPECT_TRUE(ReadBytes(dst / "c.lz") == c);
  EXPECT_TRUE(ReadBytes(dst / "sub" / "d.dat") == d);
  EXPECT_TRUE(ReadBytes(dst / "sub" / "empty.dat").empty());
  EXPECT_TRUE(ReadBytes(dst / "sub" / "deeper" / "e.dat") == e);
  EXPECT_TRUE(ReadBytes(dst / "f.dat") == f);
  EXPECT_FALSE(test::fs::exists(dst / "mem"));
  EXPECT_FALSE(test::fs::exists(dst / "gmmeta"));

  // Memory entries land in their buffers, inline entries keep theirs.
  GMTocNode* mem = nullptr;
  for (auto& child : reader.Root().children) {
    if (child->name == u"mem") mem = child.get();
  }
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(mem->buffer.Data()), mem->buffer.Length()), memory);

  EXPECT_NE(GetPathAttributes(dir.Join(u"dst\\a.txt")) & kFileAttributeReadonly, 0u);
  GMFile extracted;
  ASSERT_TRUE(extracted.Open(dir.Join(u"dst\\a.txt"), kGenericRead, kFileShareRead, kOpenExisting, 0));
  FileTime created, accessed, written;
  ASSERT_TRUE(extracted.GetTimes(created, accessed, written));
  EXPECT_EQ(written.value, 132223104000000000ULL);
  extracted.Close();
  GMFile folder;
  ASSERT_TRUE(folder.Open(dir.Join(u"dst\\sub"), kGenericRead, kFileShareRead | kFileShareWrite, kOpenExisting,
                          kFileFlagBackupSemantics));
  ASSERT_TRUE(folder.GetTimes(created, accessed, written));
  EXPECT_EQ(written.value, 131000000000000000ULL);
  folder.Close();
  EXPECT_EQ(reader.DoneBytes(), reader.TotalBytes());

  // Extracting again replaces the files, the read-only one included.
  WriteBytes(dst / "f.dat", "old");
  GMUnpacker again(dir.Join(u"out.gmz"));
  ASSERT_TRUE(again.Open(false));
  ASSERT_TRUE(again.Extract(dir.Join(u"dst")));
  EXPECT_TRUE(ReadBytes(dst / "f.dat") == f);
  EXPECT_TRUE(ReadBytes(dst / "a.txt") == a);
}

// Splits an archive file into NAME.part0, NAME.part1, ... at the given cut points.
void Split(const test::fs::path& file, const std::vector<size_t>& cuts) {
  const std::string bytes = ReadBytes(file);
  size_t start = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    const size_t end = i < cuts.size() ? cuts[i] : bytes.size();
    WriteBytes(file.string() + ".part" + std::to_string(i), bytes.substr(start, end - start));
    start = end;
  }
}

TEST(GMUnpacker, VolumesAreOneArchive) {
  ScratchDir dir;
  const auto src = dir.fs_path() / "src";
  test::fs::create_directory(src);
  const std::string x = Text(200000, 'x'), y = Text(300000, 'y');
  WriteBytes(src / "x.txt", x);
  WriteBytes(src / "y.dat", y);
  auto policy = std::make_shared<GMFilePolicy>();
  policy->AddMethodRule(1, u".txt");
  GMPacker packer;
  packer.SetPolicy(policy);
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  ASSERT_TRUE(packer.PackToFile(dir.Join(u"a.gmz")));
  const uint64_t archiveSize = test::fs::file_size(dir.fs_path() / "a.gmz");
  // Cuts inside the zlib stream, twice inside the solid block and before its last bytes.
  GMUnpacker probe(dir.Join(u"a.gmz"));
  ASSERT_TRUE(probe.Open(false));
  const GMTocNode& xe = *probe.Root().children[0];
  const size_t inZip = static_cast<size_t>(xe.dataOffset + xe.compressedSize / 2);
  const size_t inBlock = static_cast<size_t>(xe.dataOffset + xe.compressedSize + 100);
  Split(dir.fs_path() / "a.gmz", {inZip, inBlock, inBlock + 1, static_cast<size_t>(archiveSize - kGmzTrailerSize - 3)});

  for (const std::u16string& name : std::vector<std::u16string>{u"a.gmz", u"a.gmz.part0", u"a.gmz.PART0"}) {
    GMUnpacker reader(dir.Join(name));
    ASSERT_TRUE(reader.Open(true));
    EXPECT_EQ(reader.VolumeCount(), 5u);
    EXPECT_EQ(reader.VerifyChecksum(), GMUnpacker::Checksum::kMatches);
    ASSERT_TRUE(reader.Extract(dir.Join(u"out")));
    EXPECT_TRUE(ReadBytes(dir.fs_path() / "out" / "x.txt") == x);
    EXPECT_TRUE(ReadBytes(dir.fs_path() / "out" / "y.dat") == y);
    test::fs::remove_all(dir.fs_path() / "out");
  }

  // Without its last volume the solid block runs out of input.
  test::fs::remove(dir.fs_path() / "a.gmz.part4");
  GMUnpacker reader(dir.Join(u"a.gmz"));
  ASSERT_TRUE(reader.Open(true));
  EXPECT_FALSE(reader.Extract(dir.Join(u"out")));
  EXPECT_TRUE(test::StartsWithText(reader.GetLastErrorMessage(), U("文件(") + dir.Join(u"a.gmz.part4") + U(")读取错误,错误码:2")));

  GMUnpacker none(dir.Join(u"b.gmz"));
  EXPECT_FALSE(none.Open(true));
  EXPECT_EQ(none.LastError().text, dir.Join(u"b.gmz.part0"));
}

TEST(GMUnpacker, SizesAreNotTrusted) {
  ScratchDir dir;
  const std::string data = Text(50000, 'q');
  auto extracts = [&](GMTocNode& root, const std::string& bytes) {
    MemoryArchive a(Assemble(root, bytes));
    if (!a.reader.Open(false)) return std::u16string(u"<open failed>");
    return a.reader.Extract(dir.Join(u"out")) ? std::u16string(u"<ok>") : a.reader.GetLastErrorMessage();
  };
  const std::string zip = Deflate(data);
  const std::string lzma = Lzma(data, true);
  const uint64_t base = 8 + 62 + 62 + 2;  // offsets below are of the archive with one entry named "f"

  {  // the entry claims more than its stream gives
    GMTocNode root(kTocDirectory);
    AddFile(root, u"f", kTocFile, data.size() + 1, 1, 0, zip.size());
    EXPECT_EQ(extracts(root, zip), U("数据处理错误，偏移:") + test::Decimal(base + zip.size()));
  }
  {  // the stream gives more than the entry holds
    GMTocNode root(kTocDirectory);
    AddFile(root, u"f", kTocFile, data.size() - 1, 2, 0, lzma.size());
    EXPECT_TRUE(test::StartsWithText(extracts(root, lzma), U("数据处理错误，偏移:")));
  }
  {  // every byte arrives, but the end marker does not
    const std::string noMark = Lzma(data, false);
    GMTocNode root(kTocDirectory);
    AddFile(root, u"f", kTocFile, data.size(), 2, 0, noMark.size());
    EXPECT_EQ(extracts(root, noMark), U("数据处理错误，偏移:") + test::Decimal(base + noMark.size()));
  }
  {  // a stream that reaches back further than the entry's size allows a dictionary
    std::string noise;
    uint32_t x = 7;
    while (noise.size() < 100000) {
      x = x * 1103515245 + 12345;
      noise.push_back(static_cast<char>(x >> 24));
    }
    const std::string distant = Lzma(noise + noise, true);
    GMTocNode root(kTocDirectory);
    AddFile(root, u"f", kTocFile, 50000, 2, 0, distant.size());
    EXPECT_TRUE(test::StartsWithText(extracts(root, distant), U("数据处理错误，偏移:")));
  }
  {  // a solid block whose total is larger than its stream
    GMTocNode root(kTocDirectory);
    AddFile(root, u"f", kTocFile, data.size() + 10, 3, 0, lzma.size());
    EXPECT_TRUE(test::StartsWithText(extracts(root, lzma), U("数据处理错误，偏移:")));
  }
  {  // a corrupt zlib stream
    std::string bad = zip;
    bad[bad.size() / 2] ^= 0x5A;
    bad[bad.size() / 2 + 1] ^= 0x33;
    GMTocNode root(kTocDirectory);
    AddFile(root, u"f", kTocFile, data.size(), 1, 0, bad.size());
    EXPECT_TRUE(test::StartsWithText(extracts(root, bad), U("数据处理错误，偏移:")));
  }
  {  // a stream that runs past the end of the archive
    GMTocNode root(kTocDirectory);
    AddFile(root, u"f", kTocFile, data.size(), 1, 0, zip.size() + 100);
    EXPECT_EQ(extracts(root, zip), U("文件(.part1)读取错误,错误码:2,") + test::SystemText(2));
  }
  {  // no converter for the method
    GMTocNode root(kTocDirectory);
    AddFile(root, u"f", kTocFile, 3, 7, 0, 3);
    EXPECT_EQ(extracts(root, "abc"), U("数据处理错误，偏移:0"));
  }
}

// Everything below `folder`, relative to it, in order.
std::vector<std::string> Tree(const test::fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& item : test::fs::recursive_directory_iterator(folder)) {
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
      SCOPED_TRACE(test::fs::path(name).string() + (nested ? " below a folder" : ""));
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
  GMTocNode refused(kTocDirectory);
  AddFile(refused, quoted, kTocFile, 3, 0, 0, 3);
  MemoryArchive a(Assemble(refused, "abc"));
  a.reader.SetAbsoluteNames(false);
  ASSERT_TRUE(a.reader.Open(false));
  EXPECT_FALSE(a.reader.Extract(dir.Join(u"out")));
  EXPECT_EQ(a.reader.LastError().word2, kErrorInvalidName);
  EXPECT_EQ(a.reader.LastError().text, u"C:\\Windows\\x.dll");

  // Otherwise written where it says (only a system with drives has such paths).
  const std::u16string absolute = dir.Join(u"elsewhere.txt");
  if (!IsAbsolutePath(absolute)) return;
  GMTocNode root(kTocDirectory);
  AddFile(root, u"\"" + absolute + u"\"", kTocFile, 3, 0, 0, 3);
  MemoryArchive b(Assemble(root, "abc"));
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
    ASSERT_TRUE(reader.Extract(dir.Join(u"out"))) << test::fs::path(reader.GetLastErrorMessage()).string();
    EXPECT_EQ(ReadBytes(dir.fs_path() / "mapped" / "app" / "a.txt"), "abc");
  }
  for (const std::u16string& folder : {dir.Join(u"out\\..\\..\\app"), dir.Join(u"out\\..")}) {
    MappingReader reader(bytes, folder);
    ASSERT_TRUE(reader.Open(false));
    EXPECT_FALSE(reader.Extract(dir.Join(u"out")));
    EXPECT_EQ(reader.LastError().word2, kErrorInvalidName);
  }
  EXPECT_FALSE(test::fs::exists(dir.fs_path().parent_path() / "app"));
}

TEST(GMUnpacker, LzmaWindowIsBounded) {
  ScratchDir dir;
  // A 512 MiB dictionary announced for a block of 1 GiB: damage, not an allocation.
  std::string stream = Lzma(Text(1000, 'z'), true);
  stream[1] = 0;
  stream[2] = 0;
  stream[3] = 0;
  stream[4] = 0x20;
  GMTocNode root(kTocDirectory);
  AddFile(root, u"f", kTocFile, 1ULL << 30, 3, 0, stream.size());
  MemoryArchive a(Assemble(root, stream));
  ASSERT_TRUE(a.reader.Open(false));
  EXPECT_FALSE(a.reader.Extract(dir.Join(u"out")));
  EXPECT_EQ(a.reader.GetLastErrorMessage(), U("数据处理错误，偏移:134"));
}

TEST(GMUnpacker, NothingIsReplacedBeforeItsDataArrives) {
  ScratchDir dir;
  test::fs::create_directory(dir.fs_path() / "out");
  auto extract = [&](GMTocNode& root, const std::string& data) {
    for (const char* name : {"a", "b", "c"}) WriteBytes(dir.fs_path() / "out" / name, "old");
    MemoryArchive a(Assemble(root, data));
    EXPECT_TRUE(a.reader.Open(false));
    EXPECT_FALSE(a.reader.Extract(dir.Join(u"out")));
    return a.reader.GetLastErrorMessage();
  };
  const std::u16string missing = U("文件(.part1)读取错误,错误码:2,") + test::SystemText(2);
  {  // a stand-alone stream that lies past the end of the archive
    GMTocNode root(kTocDirectory);
    AddFile(root, u"a", kTocFile, 3, 0, 10, 3);
    EXPECT_EQ(extract(root, "abc"), missing);
    EXPECT_EQ(ReadBytes(dir.fs_path() / "out" / "a"), "old");
  }
  {  // a solid block that does
    GMTocNode root(kTocDirectory);
    AddFile(root, u"a", kTocFile, 3, 3, 0, 0);
    AddFile(root, u"b", kTocFile, 6, 3, 100, 50);
    EXPECT_EQ(extract(root, "abc"), missing);
    EXPECT_EQ(ReadBytes(dir.fs_path() / "out" / "a"), "old");
    EXPECT_EQ(ReadBytes(dir.fs_path() / "out" / "b"), "old");
  }
  {  // a block that breaks off inside its first member: the others are never touched
    std::string noise;
    uint32_t x = 11;
    while (noise.size() < 200000) {
      x = x * 1103515245 + 12345;
      noise.push_back(static_cast<char>(x >> 24));
    }
    const std::string cut = Lzma(noise, true).substr(0, 50000);
    GMTocNode root(kTocDirectory);
    AddFile(root, u"a", kTocFile, 100000, 3, 0, 0);
    AddFile(root, u"b", kTocFile, 0, 3, 0, 0);
    AddFile(root, u"c", kTocFile, 200000, 3, 0, cut.size());
    EXPECT_TRUE(test::StartsWithText(extract(root, cut), U("数据处理错误，偏移:")));
    EXPECT_EQ(ReadBytes(dir.fs_path() / "out" / "b"), "old");
    EXPECT_EQ(ReadBytes(dir.fs_path() / "out" / "c"), "old");
  }
}

// A memory archive whose reads fail from `failAt` on, with error 5.
class FailingFile : public CMemoryFile {
 public:
  FailingFile(const std::vector<unsigned char>& bytes, uint64_t failAt) : CMemoryFile(bytes), fail_at_(failAt) {}
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
  GMTocNode root(kTocDirectory);
  AddFile(root, u"a", kTocFile, 3, 0, 0, 3);
  AddFile(root, u"b", kTocFile, 3, 0, 3, 3);
  const Bytes bytes = Assemble(root, "abcdef");
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

TEST(GMUnpacker, TargetFolderThatIsAFile) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "file", "x");
  GMTocNode root(kTocDirectory);
  AddFile(root, u"f", kTocFile, 3, 0, 0, 3);
  MemoryArchive a(Assemble(root, "abc"));
  ASSERT_TRUE(a.reader.Open(false));
  EXPECT_FALSE(a.reader.Extract(dir.Join(u"file")));
  EXPECT_EQ(a.reader.LastError().kind, kErrorFileWrite);
  EXPECT_EQ(a.reader.LastError().word2, kErrorAlreadyExists);
  EXPECT_EQ(ReadBytes(dir.fs_path() / "file"), "x");
}

TEST(GMUnpacker, EmptyFileNeedsNoData) {
  ScratchDir dir;
  GMTocNode root(kTocDirectory);
  GMTocNode& e = AddFile(root, u"empty", kTocFile, 0, 2, 999999, 0);
  e.lastWriteTime = FileTime(132223104000000000ULL);
  MemoryArchive a(Assemble(root, ""));
  ASSERT_TRUE(a.reader.Open(false));
  ASSERT_TRUE(a.reader.Extract(dir.Join(u"out")));
  EXPECT_EQ(test::fs::file_size(dir.fs_path() / "out" / "empty"), 0u);
}

}  // namespace
}  // namespace Zavro
