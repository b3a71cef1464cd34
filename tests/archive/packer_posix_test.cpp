// The writer's LZMA streams, stand-alone and solid, decode with xz (the .lzma form: the
// 5 property bytes, an 8-byte size field, here "unknown", then the stream).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "archive/archive_test_support.h"
#include "archive/gmz_format.h"
#include "archive/packer.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::ReadBytes;
using test::ScratchDir;
using test::Text;
using test::WriteBytes;

// What `xz --format=lzma -dc` makes of a stream; "<failed>" when it refuses it.
std::string XzDecode(const std::string& stream, const test::fs::path& scratch) {
  const test::fs::path file = scratch / "stream.lzma";
  WriteBytes(file, stream.substr(0, 5) + std::string(8, '\xFF') + stream.substr(5));
  const std::string command = "xz --format=lzma -dc '" + file.string() + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "<failed>";
  std::string out;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) != 0) out.append(buffer, n);
  return pclose(pipe) == 0 ? out : "<failed>";
}

TEST(GMPackerPosix, LzmaStreamsDecodeWithXz) {
  if (std::system("command -v xz >/dev/null 2>&1") != 0) GTEST_SKIP() << "xz is not installed";
  ScratchDir dir;
  test::fs::create_directory(dir.fs_path() / "src");
  const std::string alone = Text(400000, 'a'), first = Text(150000, 'b'), second = Text(250000, 'c');
  WriteBytes(dir.fs_path() / "src" / "alone.lz", alone);
  WriteBytes(dir.fs_path() / "src" / "first.dat", first);
  WriteBytes(dir.fs_path() / "src" / "second.dat", second);
  auto policy = std::make_shared<GMFilePolicy>();
  policy->AddMethodRule(2, u".lz");
  GMPacker packer;
  packer.SetPolicy(policy);
  packer.SetLevel(9);
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  ASSERT_TRUE(packer.PackToFile(dir.Join(u"out.gmz")));

  const std::string bytes = ReadBytes(dir.fs_path() / "out.gmz");
  GmzHeader header;
  uint32_t code = 0;
  ASSERT_TRUE(ParseGmzHeader(reinterpret_cast<const unsigned char*>(bytes.data()), header, code));
  GMTocNode root;
  ASSERT_TRUE(ParseToc(reinterpret_cast<const unsigned char*>(bytes.data()) + 8, header.tocSize, root, code));
  ASSERT_EQ(root.children.size(), 3u);
  const GMTocNode& a = *root.children[0];
  const GMTocNode& block = *root.children[2];
  ASSERT_EQ(a.method, 2u);
  ASSERT_EQ(block.method, 3u);
  EXPECT_TRUE(XzDecode(bytes.substr(a.dataOffset, a.compressedSize), dir.fs_path()) == alone);
  EXPECT_TRUE(XzDecode(bytes.substr(block.dataOffset, block.compressedSize), dir.fs_path()) == first + second);
}

}  // namespace
}  // namespace Zavro
