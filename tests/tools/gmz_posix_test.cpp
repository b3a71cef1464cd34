// gmz sfx writing through links and devices.
#include <gtest/gtest.h>

#include "test_support.h"
#include "tools/tools_test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::ExitsWith;
using test::ReadBytes;

// An output that is not a regular file is written as it is; a link leads to the file
// replaced, and stays a link. A name that leads to the package, through a link or not,
// is refused, and the package survives.
TEST(GmzPosix, SfxWritesThroughDevicesAndLinks) {
  test::ScratchDir dir;
  const fs::path d = dir.fs_path();
  const std::vector<unsigned char> stub = pe::MakeTestImage({false, true});
  test::WriteBytes(d / "stub.exe", std::string(stub.begin(), stub.end()));
  fs::create_directory(d / "folder");
  test::WriteBytes(d / "folder" / "a.txt", "alpha");
  ASSERT_EQ(test::RunGmz(d, {"pack", (d / "folder").string(), "-o", (d / "p.gmz").string()}).status, 0);
  auto sfxTo = [&](const fs::path& output) {
    return test::RunGmz(
        d, {"sfx", "--stub", (d / "stub.exe").string(), "--package", (d / "p.gmz").string(), "-o", output.string()});
  };

  ASSERT_TRUE(ExitsWith(sfxTo(d / "setup.exe"), 0, ""));
  const std::string installer = ReadBytes(d / "setup.exe");
  EXPECT_TRUE(ExitsWith(sfxTo("/dev/null"), 0, ""));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  test::WriteBytes(d / "old.exe", "old");
  fs::create_symlink(d / "old.exe", d / "link.exe");
  EXPECT_TRUE(ExitsWith(sfxTo(d / "link.exe"), 0, ""));
  EXPECT_TRUE(fs::is_symlink(d / "link.exe"));
  EXPECT_EQ(ReadBytes(d / "old.exe"), installer);

  const std::string package = ReadBytes(d / "p.gmz");
  fs::create_symlink(d / "p.gmz", d / "symbolic.exe");
  fs::create_hard_link(d / "p.gmz", d / "hard.exe");
  for (const char* output : {"symbolic.exe", "hard.exe", "./folder/../p.gmz"}) {
    SCOPED_TRACE(output);
    EXPECT_TRUE(ExitsWith(sfxTo(d / output), 1, "would overwrite the package"));
    EXPECT_EQ(ReadBytes(d / "p.gmz"), package);
  }
}

// Paths are shown as the user typed them; a registry key keeps its backslashes.
TEST(GmzPosix, PathsAsTypedKeysAsTheyAre) {
  test::ScratchDir dir;
  const fs::path d = dir.fs_path();
  EXPECT_TRUE(ExitsWith(test::RunGmz(d, {"pack", (d / "missing").string(), "-o", (d / "x.gmz").string()}), 1,
                        (d / "missing").string()));
  test::WriteBytes(d / "in.reg",
                   "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\GmTest]\r\n"
                   "\"v\"=hex(70000):00\r\n");
  const test::GmzRun convert = test::RunGmz(d, {"reg", "convert", (d / "in.reg").string(), "-o", (d / "out.bin").string()});
  EXPECT_TRUE(ExitsWith(convert, 1, (d / "out.bin").string() + ": the record form cannot hold"));
  EXPECT_TRUE(ExitsWith(convert, 1, "[HKEY_CURRENT_USER\\Software\\GmTest]"));
}

}  // namespace
}  // namespace Zavro
