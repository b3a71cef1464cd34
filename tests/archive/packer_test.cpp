#include "archive/packer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <zlib.h>

#include "archive/gmz_format.h"
#include "archive/io/file.h"
#include "archive/archive_test_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::Inflate;
using test::ReadBytes;
using test::ScratchDir;
using test::Text;
using test::Unlzma;
using test::WriteBytes;

// An archive read back with the table parser alone; streams are checked with zlib and
// the codec's one-call decoder, independently of the library's converters.
struct Archive {
  std::string bytes;
  GmzHeader header;
  GMTocNode root;

  explicit Archive(const std::string& data, size_t start = 0) : bytes(data) {
    uint32_t code = 0;
    const auto* at = reinterpret_cast<const unsigned char*>(bytes.data()) + std::min(start, bytes.size());
    if (bytes.size() < start + kGmzHeaderSize || !ParseGmzHeader(at, header, code) ||
        bytes.size() < start + kGmzHeaderSize + header.tocSize ||
        !ParseToc(at + kGmzHeaderSize, header.tocSize, root, code)) {
      ADD_FAILURE() << "not an archive";
    }
  }
  const GMTocNode& Find(const std::u16string& name, const GMTocNode* from = nullptr) const {
    for (const auto& child : (from ? *from : root).children) {
      if (child->name == name) return *child;
    }
    ADD_FAILURE() << "no entry";
    return root;
  }
  std::string Stream(const GMTocNode& e) const { return bytes.substr(e.dataOffset, e.compressedSize); }
};

// Writes files (name, bytes) below dir/src.
void WriteSource(const ScratchDir& dir, const std::vector<std::pair<std::string, std::string>>& files) {
  test::fs::create_directories(dir.fs_path() / "src");
  for (const auto& [name, bytes] : files) {
    test::fs::create_directories((dir.fs_path() / "src" / name).parent_path());
    WriteBytes(dir.fs_path() / "src" / name, bytes);
  }
}

std::shared_ptr<GMFilePolicy> MethodRules(std::initializer_list<std::pair<uint32_t, const char16_t*>> rules) {
  auto policy = std::make_shared<GMFilePolicy>();
  for (const auto& [method, extension] : rules) policy->AddMethodRule(method, extension);
  return policy;
}

TEST(GMPacker, EmptyFolder) {
  ScratchDir dir;
  WriteSource(dir, {});
  GMPacker packer;
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  ASSERT_TRUE(packer.PackToFile(dir.Join(u"out.gmz")));
  const std::string bytes = ReadBytes(dir.fs_path() / "out.gmz");
  ASSERT_EQ(bytes.size(), 86u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("GMZ\x01\x3E\x00\x00\x00", 8));
  EXPECT_EQ(bytes.substr(8, 62), std::string(62, '\0'));
  // The trailer: its mark, the CRC-32 of the 70 bytes before it, their count.
  const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), 70));
  std::string trailer = "GMZc";
  for (int i = 0; i < 4; ++i) trailer += static_cast<char>(crc >> (8 * i));
  trailer += std::string("\x46\0\0\0\0\0\0\0", 8);
  EXPECT_EQ(bytes.substr(70), trailer);

  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), true));
  ASSERT_TRUE(packer.PackToFile(dir.Join(u"out2.gmz")));
  Archive archive(ReadBytes(dir.fs_path() / "out2.gmz"));
  ASSERT_EQ(archive.root.children.size(), 1u);
  EXPECT_EQ(archive.root.children[0]->name, u"src");
  EXPECT_TRUE(archive.root.children[0]->IsDirectory());
  EXPECT_EQ(archive.bytes.size(), 8u + 62u + 62u + 6u + 16u);
}

TEST(GMPacker, StandAloneStreamsThenOneSolidBlock) {
  ScratchDir dir;
  const std::string a = Text(300000, 'a'), b = Text(5000, 'b'), c = Text(200000, 'c');
  const std::string e1 = Text(70000, 'e'), e2 = Text(1, 'f'), f = Text(90000, 'g');
  WriteSource(dir, {{"a.txt", a}, {"b.raw", b}, {"c.lz", c}, {"d/e1.dat", e1}, {"d/e2.dat", e2}, {"f.dat", f}});
  GMPacker packer;
  packer.SetPolicy(MethodRules({{0, u".raw"}, {1, u".txt"}, {2, u".lz"}}));
  packer.SetLevel(9);
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  ASSERT_TRUE(packer.PackToFile(dir.Join(u"out.gmz")));

  Archive archive(ReadBytes(dir.fs_path() / "out.gmz"));
  const GMTocNode& root = archive.root;
  ASSERT_EQ(root.children.size(), 5u);
  EXPECT_EQ(root.children[0]->name, u"a.txt");
  EXPECT_EQ(root.children[3]->name, u"d");
  EXPECT_EQ(root.children[4]->name, u"f.dat");
  const GMTocNode& ea = archive.Find(u"a.txt");
  const GMTocNode& eb = archive.Find(u"b.raw");
  const GMTocNode& ec = archive.Find(u"c.lz");
  const GMTocNode& ee1 = archive.Find(u"e1.dat", &archive.Find(u"d"));
  const GMTocNode& ee2 = archive.Find(u"e2.dat", &archive.Find(u"d"));
  const GMTocNode& ef = archive.Find(u"f.dat");

  // Stand-alone streams follow the table in table order, without gaps.
  EXPECT_EQ(ea.dataOffset, 8u + archive.header.tocSize);
  EXPECT_EQ(ea.method, 1u);
  EXPECT_EQ(eb.dataOffset, ea.dataOffset + ea.compressedSize);
  EXPECT_EQ(eb.method, 0u);
  EXPECT_EQ(eb.compressedSize, b.size());
  EXPECT_EQ(ec.dataOffset, eb.dataOffset + eb.compressedSize);
  EXPECT_EQ(ec.method, 2u);
  EXPECT_TRUE(Inflate(archive.Stream(ea), a.size()) == a);
  EXPECT_TRUE(archive.Stream(eb) == b);
  EXPECT_TRUE(Unlzma(archive.Stream(ec), c.size()) == c);

  // The solid block comes last; only its last member knows where and how large it is.
  const uint64_t blockStart = ec.dataOffset + ec.compressedSize;
  for (const GMTocNode* member : {&ee1, &ee2}) {
    EXPECT_EQ(member->method, 3u);
    EXPECT_EQ(member->compressedSize, 0u);
    EXPECT_EQ(member->dataOffset, blockStart);
  }
  EXPECT_EQ(ee1.size, e1.size());
  EXPECT_EQ(ee2.size, e2.size());
  EXPECT_EQ(ef.method, 3u);
  EXPECT_EQ(ef.dataOffset, blockStart);
  EXPECT_EQ(ef.size, e1.size() + e2.size() + f.size());
  EXPECT_EQ(blockStart + ef.compressedSize + kGmzTrailerSize, archive.bytes.size());
  EXPECT_EQ(archive.bytes.substr(blockStart, 5), std::string("\x5D\x00\x00\x00\x04", 5));
  EXPECT_TRUE(Unlzma(archive.Stream(ef), ef.size) == e1 + e2 + f);
}

TEST(GMPacker, EmptyFilesAndExtraEntries) {
  ScratchDir dir;
  // One LZMA encoder serves y.lz0 and the memory entry: both must come out whole.
  WriteSource(dir, {{"z.zip0", ""}, {"z.lz0", ""}, {"y.lz0", Text(30000, 'y')}});
  GMPacker packer;
  packer.SetPolicy(MethodRules({{1, u".zip0"}, {2, u".lz0"}}));
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  EXPECT_FALSE(packer.AddInlineEntry(packer.Root(), u"big", std::string(4097, 'x').data(), 4097));
  ASSERT_TRUE(packer.AddInlineEntry(packer.Root(), u"gmmeta", "\0\0\0\0", 4));
  const std::string memory = Text(10000, 'm');
  ASSERT_NE(packer.AddMemoryEntry(packer.Root(), u"mem", memory.data(), memory.size(), 3), nullptr);
  const std::string huge(GMPacker::kMaxMemoryEntrySize + 1, 'h');
  EXPECT_EQ(packer.AddMemoryEntry(packer.Root(), u"huge", huge.data(), huge.size(), 0), nullptr);
  ASSERT_TRUE(packer.PackToFile(dir.Join(u"out.gmz")));
  // The same tree packs again to the same bytes.
  ASSERT_TRUE(packer.PackToFile(dir.Join(u"again.gmz")));
  EXPECT_TRUE(ReadBytes(dir.fs_path() / "out.gmz") == ReadBytes(dir.fs_path() / "again.gmz"));

  Archive archive(ReadBytes(dir.fs_path() / "out.gmz"));
  const GMTocNode& zip = archive.Find(u"z.zip0");
  EXPECT_EQ(zip.method, 1u);
  EXPECT_EQ(zip.compressedSize, 8u);  // header, an empty final block, trailer
  EXPECT_EQ(Inflate(archive.Stream(zip), 0), "");
  const GMTocNode& lz = archive.Find(u"z.lz0");
  EXPECT_EQ(lz.method, 2u);
  EXPECT_EQ(lz.compressedSize, 0u);
  const GMTocNode& meta = archive.Find(u"gmmeta");
  EXPECT_TRUE(meta.IsInline());
  EXPECT_EQ(meta.buffer.Length(), 4u);
  // A memory entry never joins the solid block: it is its own LZMA stream.
  const GMTocNode& mem = archive.Find(u"mem");
  EXPECT_TRUE(mem.IsMemory());
  EXPECT_EQ(mem.method, 2u);
  EXPECT_EQ(mem.size, memory.size());
  EXPECT_TRUE(Unlzma(archive.Stream(mem), memory.size()) == memory);
  const GMTocNode& y = archive.Find(u"y.lz0");
  EXPECT_TRUE(Unlzma(archive.Stream(y), y.size) == Text(30000, 'y'));
}

TEST(GMPacker, OffsetsAreAbsoluteInTheOutputFile) {
  ScratchDir dir;
  const std::string data = Text(1000, 'x');
  WriteSource(dir, {{"x.bin", data}});
  GMPacker packer;
  packer.SetDefaultMethod(0);
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  GMFile output;
  ASSERT_TRUE(output.Open(dir.Join(u"out.bin"), kGenericWrite, 0, kCreateAlways, 0));
  uint32_t written = 0;
  ASSERT_TRUE(output.Write(std::string(100, 'P').data(), 100, written));
  ASSERT_TRUE(packer.Pack(output));
  output.Close();
  Archive archive(ReadBytes(dir.fs_path() / "out.bin"), 100);
  const GMTocNode& x = archive.Find(u"x.bin");
  EXPECT_EQ(x.dataOffset, 100u + 8u + archive.header.tocSize);
  EXPECT_TRUE(archive.Stream(x) == data);
}

class Canceller : public GMCompressProgress {
 public:
  void OnEntryBegin(const GMTocNode& entry) override {
    if (entry.name == u"b.bin") SetCancelled(true);
  }
};

TEST(GMPacker, FailuresLeaveNoArchive) {
  ScratchDir dir;
  WriteSource(dir, {{"a.bin", Text(1000, 'a')}, {"b.bin", Text(1000, 'b')}});
  const auto b = dir.fs_path() / "src" / "b.bin";
  const std::u16string out = dir.Join(u"out.gmz");
  // Scans the source, changes it, then packs: nothing may be left.
  auto fails = [&](GMPacker& packer, const std::function<void()>& change) {
    EXPECT_TRUE(packer.SetSource(dir.Join(u"src"), false));
    change();
    EXPECT_FALSE(packer.PackToFile(out));
    EXPECT_FALSE(test::fs::exists(test::FsPath(out)));
  };
  for (uint32_t method : {0u, 1u, 2u, 3u}) {
    SCOPED_TRACE(method);
    GMPacker packer;
    packer.SetDefaultMethod(method);
    fails(packer, [&] { WriteBytes(b, Text(1001, 'b')); });  // grown after the scan
    EXPECT_EQ(packer.LastError().kind, kErrorFileRead);
    EXPECT_EQ(packer.LastError().text, dir.Join(u"src\\b.bin"));
    fails(packer, [&] { test::fs::remove(b); });  // gone after the scan
    EXPECT_EQ(packer.LastError().kind, kErrorFileRead);
    WriteBytes(b, Text(1000, 'b'));
    Canceller canceller;
    packer.SetObserver(&canceller);
    fails(packer, [] {});
  }

  GMPacker packer;
  EXPECT_FALSE(packer.SetSource(dir.Join(u"no-such-folder"), false));
  for (uint32_t method : {9u, 40u}) {  // an empty slot, and a method beyond the slots
    packer.SetDefaultMethod(method);
    fails(packer, [] {});
    EXPECT_EQ(packer.LastError().kind, kErrorEncoder) << method;
  }
}

}  // namespace
}  // namespace Zavro
