// gmz on a system without a registry.
#include <gtest/gtest.h>

#include "test_support.h"
#include "tools/pe_test_image.h"

namespace Zavro {
namespace {

TEST(GmzPosix, RegApplyNeedsWindows) {
  test::ScratchDir dir;
  test::WriteBytes(dir.fs_path() / "a.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n\"v\"=\"1\"\r\n");
  const test::fs::path err = dir.fs_path() / "err.txt";
  EXPECT_EQ(test::RunProgram(test::BuiltProgram("tools/gmz/gmz"), {"reg", "apply", (dir.fs_path() / "a.reg").string()},
                             dir.fs_path() / "out.txt", err),
            2);
  EXPECT_NE(test::ReadBytes(err).find("needs Windows"), std::string::npos);
}

// The package survives an output name that leads to it through a link.
TEST(GmzPosix, SfxNeverWritesOverThePackage) {
  test::ScratchDir dir;
  const test::fs::path d = dir.fs_path();
  auto gmz = [&](const std::vector<std::string>& arguments) {
    return test::RunProgram(test::BuiltProgram("tools/gmz/gmz"), arguments, d / "out.txt", d / "err.txt");
  };
  const std::vector<unsigned char> stub = pe::MakeTestImage({false, true});
  test::WriteBytes(d / "stub.exe", std::string(stub.begin(), stub.end()));
  test::fs::create_directory(d / "folder");
  test::WriteBytes(d / "folder" / "a.txt", "alpha");
  ASSERT_EQ(gmz({"pack", (d / "folder").string(), "-o", (d / "p.gmz").string()}), 0);
  const std::string package = test::ReadBytes(d / "p.gmz");
  test::fs::create_symlink(d / "p.gmz", d / "symbolic.exe");
  test::fs::create_hard_link(d / "p.gmz", d / "hard.exe");
  for (const char* output : {"symbolic.exe", "hard.exe", "./folder/../p.gmz"}) {
    SCOPED_TRACE(output);
    EXPECT_EQ(gmz({"sfx", "--stub", (d / "stub.exe").string(), "--package", (d / "p.gmz").string(), "-o",
                   (d / output).string()}),
              1);
    EXPECT_NE(test::ReadBytes(d / "err.txt").find("would overwrite the package"), std::string::npos);
    EXPECT_EQ(test::ReadBytes(d / "p.gmz"), package);
  }
}

// An output that is not a regular file is written as it is; a link leads to the file
// replaced, and stays a link.
TEST(GmzPosix, SfxWritesThroughDevicesAndLinks) {
  test::ScratchDir dir;
  const test::fs::path d = dir.fs_path();
  auto gmz = [&](const std::vector<std::string>& arguments) {
    return test::RunProgram(test::BuiltProgram("tools/gmz/gmz"), arguments, d / "out.txt", d / "err.txt");
  };
  const std::vector<unsigned char> stub = pe::MakeTestImage({false, true});
  test::WriteBytes(d / "stub.exe", std::string(stub.begin(), stub.end()));
  test::fs::create_directory(d / "folder");
  test::WriteBytes(d / "folder" / "a.txt", "alpha");
  ASSERT_EQ(gmz({"pack", (d / "folder").string(), "-o", (d / "p.gmz").string()}), 0);
  auto sfx = [&](const test::fs::path& output) {
    return gmz({"sfx", "--stub", (d / "stub.exe").string(), "--package", (d / "p.gmz").string(), "-o",
                output.string()});
  };
  ASSERT_EQ(sfx(d / "setup.exe"), 0) << test::ReadBytes(d / "err.txt");
  const std::string installer = test::ReadBytes(d / "setup.exe");

  EXPECT_EQ(sfx("/dev/null"), 0) << test::ReadBytes(d / "err.txt");
  EXPECT_TRUE(test::fs::is_character_file("/dev/null"));

  test::WriteBytes(d / "old.exe", "old");
  test::fs::create_symlink(d / "old.exe", d / "link.exe");
  EXPECT_EQ(sfx(d / "link.exe"), 0) << test::ReadBytes(d / "err.txt");
  EXPECT_TRUE(test::fs::is_symlink(d / "link.exe"));
  EXPECT_EQ(test::ReadBytes(d / "old.exe"), installer);
}

}  // namespace
}  // namespace Zavro
