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

// A stub and a package of one file in a scratch folder, for gmz sfx.
struct Sfx {
  test::ScratchDir dir;
  const test::fs::path d = dir.fs_path();
  Sfx() {
    const std::vector<unsigned char> stub = pe::MakeTestImage({false, true});
    test::WriteBytes(d / "stub.exe", std::string(stub.begin(), stub.end()));
    test::fs::create_directory(d / "folder");
    test::WriteBytes(d / "folder" / "a.txt", "alpha");
    EXPECT_EQ(test::RunProgram(test::BuiltProgram("tools/gmz/gmz"),
                               {"pack", (d / "folder").string(), "-o", (d / "p.gmz").string()}, d / "out.txt",
                               d / "err.txt"),
              0);
  }
  int To(const test::fs::path& output) const {
    return test::RunProgram(test::BuiltProgram("tools/gmz/gmz"),
                            {"sfx", "--stub", (d / "stub.exe").string(), "--package", (d / "p.gmz").string(), "-o",
                             output.string()},
                            d / "out.txt", d / "err.txt");
  }
  std::string Errors() const { return test::ReadBytes(d / "err.txt"); }
};

// The package survives an output name that leads to it through a link.
TEST(GmzPosix, SfxNeverWritesOverThePackage) {
  Sfx s;
  const std::string package = test::ReadBytes(s.d / "p.gmz");
  test::fs::create_symlink(s.d / "p.gmz", s.d / "symbolic.exe");
  test::fs::create_hard_link(s.d / "p.gmz", s.d / "hard.exe");
  for (const char* output : {"symbolic.exe", "hard.exe", "./folder/../p.gmz"}) {
    SCOPED_TRACE(output);
    EXPECT_EQ(s.To(s.d / output), 1);
    EXPECT_NE(s.Errors().find("would overwrite the package"), std::string::npos);
    EXPECT_EQ(test::ReadBytes(s.d / "p.gmz"), package);
  }
}

// An output that is not a regular file is written as it is; a link leads to the file
// replaced, and stays a link.
TEST(GmzPosix, SfxWritesThroughDevicesAndLinks) {
  Sfx s;
  ASSERT_EQ(s.To(s.d / "setup.exe"), 0) << s.Errors();
  const std::string installer = test::ReadBytes(s.d / "setup.exe");
  EXPECT_EQ(s.To("/dev/null"), 0) << s.Errors();
  EXPECT_TRUE(test::fs::is_character_file("/dev/null"));
  test::WriteBytes(s.d / "old.exe", "old");
  test::fs::create_symlink(s.d / "old.exe", s.d / "link.exe");
  EXPECT_EQ(s.To(s.d / "link.exe"), 0) << s.Errors();
  EXPECT_TRUE(test::fs::is_symlink(s.d / "link.exe"));
  EXPECT_EQ(test::ReadBytes(s.d / "old.exe"), installer);
}

}  // namespace
}  // namespace Zavro
