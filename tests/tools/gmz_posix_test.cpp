// gmz on a system without a registry.
#include <gtest/gtest.h>

#include "test_support.h"

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

}  // namespace
}  // namespace Zavro
