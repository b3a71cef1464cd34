#include "archive/packer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

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
  // The header, a root folder of 62 zero bytes, and the trailer over those 70 bytes.
  std::vector<unsigned char> expected = {'G', 'M', 'Z', 1, 0x3E, 0, 0, 0};
  expected.resize(70);
  EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.end()), test::Sealed(expected));

  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), true));
  ASSERT_TRUE(packer.PackToFile(dir.Join(u"out2.gmz")));
  Archive archive(ReadBytes(dir.fs_path() / "out2.gmz"));
  ASSERT_EQ(archive.root.children.size(), 1u);
  EXPECT_EQ(archive.root.children[0]->name, u"src");
  EXPECT_TRUE(archive.root.children[0]->IsDirectory());
  EXPECT_EQ(archive.bytes.size(), 8u + 62u + 62u + 6u + 16u);
}

// A stand-alone stream decoded without the library (method 0 stores the data itself).
std::string Decoded(uint32_t method, const std::string& stream, size_t size) {
  if (method == 0) return stream;
  if (method == 1) return Inflate(stream, size);
  return stream.empty() ? "" : Unlzma(stream, size);
}

TEST(GMPacker, StandAloneStreamsThenOneSolidBlockAtAbsoluteOffsets) {
  ScratchDir dir;
  const std::string a = Text(300000, 'a'), b = Text(5000, 'b'), c = Text(200000, 'c');
  const std::string e1 = Text(70000, 'e'), e2 = Text(1, 'f'), f = Text(90000, 'g'), memory = Text(10000, 'm');
  WriteSource(dir, {{"a.txt", a}, {"b.raw", b}, {"c.lz", c}, {"d/e1.dat", e1}, {"d/e2.dat", e2}, {"f.dat", f},
                    {"z.lz", ""}, {"z.txt", ""}});
  GMPacker packer;
  packer.SetPolicy(MethodRules({{0, u".raw"}, {1, u".txt"}, {2, u".lz"}}));
  packer.SetLevel(9);
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  EXPECT_FALSE(packer.AddInlineEntry(packer.Root(), u"big", std::string(4097, 'x').data(), 4097));
  ASSERT_TRUE(packer.AddInlineEntry(packer.Root(), u"gmmeta", "\0\0\0\0", 4));
  // A memory entry never joins the solid block: it is an LZMA stream of its own, from
  // the encoder that made c.lz, and both must come out whole.
  ASSERT_NE(packer.AddMemoryEntry(packer.Root(), u"mem", memory.data(), memory.size(), 3), nullptr);
  const std::string huge(GMPacker::kMaxMemoryEntrySize + 1, 'h');
  EXPECT_EQ(packer.AddMemoryEntry(packer.Root(), u"huge", huge.data(), huge.size(), 0), nullptr);
  // Packed after 100 bytes of something else, as an installer is: offsets count from
  // the start of the file. Packed twice, the same tree gives the same bytes.
  auto pack = [&](const std::u16string& path) {
    GMFile output;
    uint32_t written = 0;
    EXPECT_TRUE(output.Open(path, kGenericWrite, 0, kCreateAlways, 0));
    EXPECT_TRUE(output.Write(std::string(100, 'P').data(), 100, written));
    EXPECT_TRUE(packer.Pack(output));
    output.Close();
    return ReadBytes(test::FsPath(path));
  };
  const std::string bytes = pack(dir.Join(u"out.bin"));
  EXPECT_TRUE(pack(dir.Join(u"again.bin")) == bytes);

  Archive archive(bytes, 100);
  const GMTocNode& root = archive.root;
  ASSERT_EQ(root.children.size(), 9u);
  EXPECT_EQ(root.children[0]->name, u"a.txt");
  EXPECT_EQ(root.children[3]->name, u"d");
  EXPECT_EQ(root.children[4]->name, u"f.dat");
  EXPECT_TRUE(archive.Find(u"gmmeta").IsInline());
  EXPECT_EQ(archive.Find(u"gmmeta").buffer.Length(), 4u);
  EXPECT_TRUE(archive.Find(u"mem").IsMemory());
  EXPECT_EQ(archive.Find(u"z.txt").compressedSize, 8u);  // header, an empty final block, trailer
  EXPECT_EQ(archive.Find(u"z.lz").compressedSize, 0u);
  const struct {
    const char16_t* name;
    uint32_t method;
    std::string data;
  } streams[] = {{u"a.txt", 1, a}, {u"b.raw", 0, b}, {u"c.lz", 2, c},
                 {u"z.lz", 2, ""},  {u"z.txt", 1, ""}, {u"mem", 2, memory}};
  // Stand-alone streams follow the table in table order, without gaps.
  uint64_t next = 100 + 8 + archive.header.tocSize;
  for (const auto& s : streams) {
    const GMTocNode& e = archive.Find(s.name);
    SCOPED_TRACE(test::Utf8(s.name));
    EXPECT_EQ(e.method, s.method);
    EXPECT_EQ(e.size, s.data.size());
    EXPECT_EQ(e.dataOffset, next);
    EXPECT_TRUE(Decoded(e.method, archive.Stream(e), e.size) == s.data);
    next = e.dataOffset + e.compressedSize;
  }

  // The solid block comes last; only its last member knows where and how large it is.
  const GMTocNode& ee1 = archive.Find(u"e1.dat", &archive.Find(u"d"));
  const GMTocNode& ee2 = archive.Find(u"e2.dat", &archive.Find(u"d"));
  const GMTocNode& ef = archive.Find(u"f.dat");
  // The others keep the output position when they were listed: after c.lz.
  const GMTocNode& ec = archive.Find(u"c.lz");
  for (const GMTocNode* member : {&ee1, &ee2}) {
    EXPECT_EQ(member->method, 3u);
    EXPECT_EQ(member->compressedSize, 0u);
    EXPECT_EQ(member->dataOffset, ec.dataOffset + ec.compressedSize);
  }
  EXPECT_EQ(ee1.size, e1.size());
  EXPECT_EQ(ee2.size, e2.size());
  EXPECT_EQ(ef.method, 3u);
  EXPECT_EQ(ef.dataOffset, next);
  EXPECT_EQ(ef.size, e1.size() + e2.size() + f.size());
  EXPECT_EQ(next + ef.compressedSize + kGmzTrailerSize, archive.bytes.size());
  EXPECT_EQ(archive.bytes.substr(next, 5), std::string("\x5D\x00\x00\x00\x04", 5));
  EXPECT_TRUE(Unlzma(archive.Stream(ef), ef.size) == e1 + e2 + f);
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
  // Every method, the solid block's one-stream encoder of several files included.
  for (uint32_t method : {0u, 1u, 2u, 3u}) {
    SCOPED_TRACE(method);
    GMPacker packer;
    packer.SetDefaultMethod(method);
    fails(packer, [&] { WriteBytes(b, Text(1001, 'b')); });  // grown after the scan
    EXPECT_EQ(packer.LastError().kind, kErrorFileRead);
    EXPECT_EQ(packer.LastError().text, dir.Join(u"src\\b.bin"));
    fails(packer, [&] { test::fs::remove(b); });  // gone after the scan
    EXPECT_EQ(packer.LastError().kind, kErrorFileRead);
    EXPECT_EQ(packer.LastError().text, dir.Join(u"src\\b.bin"));
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
