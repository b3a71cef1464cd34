#include "archive/unpacker.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "archive/gmz_format.h"
#include "archive/io/file.h"
#include "archive/io/memory_file.h"
#include "archive/packer.h"
#include "system/path_utils.h"
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
using Bytes = std::vector<unsigned char>;


// An archive assembled from a hand-built tree: header, table, then `data` placed right
// after the table (entries' offsets are relative to it and fixed up here).
Bytes Assemble(GMTocNode& root, const std::string& data) {
  uint64_t tocSize = 0;
  EXPECT_TRUE(TocEntrySize(root, tocSize));
  std::vector<GMTocNode*> pending{&root};
  while (!pending.empty()) {
    GMTocNode* n = pending.back();
    pending.pop_back();
    if (n->IsFile() || n->IsMemory()) n->dataOffset += kGmzHeaderSize + tocSize;
    for (auto& c : n->children) pending.push_back(c.get());
  }
  Bytes out(kGmzHeaderSize);
  WriteGmzHeader(GmzHeader{1, static_cast<uint32_t>(tocSize)}, out.data());
  Bytes toc;
  EXPECT_TRUE(SerializeToc(root, toc));
  out.insert(out.end(), toc.begin(), toc.end());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

GMTocNode& AddFile(GMTocNode& parent, const std::u16string& name, uint32_t type, uint64_t size, uint32_t method,
                   uint64_t offset, uint64_t compressed) {
  auto e = std::make_shared<GMTocNode>(type);
  e->name = name;
  e->size = size;
  e->method = method;
  e->dataOffset = offset;
  e->compressedSize = compressed;
  e->attributes = type == kTocDirectory ? kFileAttributeDirectory : kFileAttributeArchive;
  return parent.AddChild(e);
}



// An LZMA stream in the archive's form: properties, then the data, with or without
// the end marker.

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

  // The writer refuses this table, so it is written by hand: the inline length says 4097.
  GMTocNode empty(kTocDirectory);
  Bytes bytes = Assemble(empty, "");
  bytes[4] = (62 + 12 + 4097) & 0xFF;
  bytes[5] = (62 + 12 + 4097) >> 8;
  bytes[11] = 1;  // the root has one child
  Bytes inlineEntry = {3, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x10, 0, 0};
  bytes.insert(bytes.end(), inlineEntry.begin(), inlineEntry.end());
  bytes.insert(bytes.end(), 4097, 'x');
  EXPECT_EQ(opens(bytes), U("数据处理错误，偏移:8"));

  // A second Open after a good one fails and changes nothing.
  GMTocNode ok(kTocDirectory);
  MemoryArchive good(Assemble(ok, ""));
  ASSERT_TRUE(good.reader.Open(true));
  EXPECT_FALSE(good.reader.Open(false));
  EXPECT_TRUE(good.reader.IsOpened());
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
  // Cuts inside the table's tail, inside the zlib stream and twice inside the solid block.
  GMUnpacker probe(dir.Join(u"a.gmz"));
  ASSERT_TRUE(probe.Open(false));
  const GMTocNode& xe = *probe.Root().children[0];
  const size_t inZip = static_cast<size_t>(xe.dataOffset + xe.compressedSize / 2);
  const size_t inBlock = static_cast<size_t>(xe.dataOffset + xe.compressedSize + 100);
  Split(dir.fs_path() / "a.gmz", {inZip, inBlock, inBlock + 1, static_cast<size_t>(archiveSize - 3)});

  for (const std::u16string& name : std::vector<std::u16string>{u"a.gmz", u"a.gmz.part0", u"a.gmz.PART0"}) {
    GMUnpacker reader(dir.Join(name));
    ASSERT_TRUE(reader.Open(true));
    EXPECT_EQ(reader.VolumeCount(), 5u);
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

TEST(GMUnpacker, NamesNeverLeadOutside) {
  ScratchDir dir;
  const std::vector<std::u16string> names = {u"..", u".", u"..\\evil.txt", u"a\\..\\..\\evil.txt",
                                             u"a/../../evil.txt", std::u16string(u"ev\0il", 5), u""};
  for (const std::u16string& name : names) {
    GMTocNode root(kTocDirectory);
    AddFile(root, name, kTocFile, 3, 0, 0, 3);
    MemoryArchive a(Assemble(root, "abc"));
    ASSERT_TRUE(a.reader.Open(false));
    EXPECT_FALSE(a.reader.Extract(dir.Join(u"out")));
    EXPECT_EQ(a.reader.LastError().kind, kErrorFileCreate);
    EXPECT_EQ(a.reader.LastError().word2, kErrorInvalidName);
  }
  EXPECT_FALSE(test::fs::exists(dir.fs_path() / "evil.txt"));
  EXPECT_TRUE(test::fs::is_empty(dir.fs_path() / "out"));

  // An absolute name (with a drive or a share: Linux paths are never absolute by
  // these rules) is written where it says.
  const std::u16string absolute = dir.Join(u"elsewhere.txt");
  if (!IsAbsolutePath(absolute)) return;
  GMTocNode root(kTocDirectory);
  AddFile(root, absolute, kTocFile, 3, 0, 0, 3);
  MemoryArchive a(Assemble(root, "abc"));
  ASSERT_TRUE(a.reader.Open(false));
  ASSERT_TRUE(a.reader.Extract(dir.Join(u"out")));
  EXPECT_EQ(ReadBytes(dir.fs_path() / "elsewhere.txt"), "abc");
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
