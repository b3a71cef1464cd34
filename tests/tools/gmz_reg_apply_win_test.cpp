// gmz reg apply against the registry itself: a registry text applied, then its undo
// records, leave the registry as they found it; a failing text changes nothing.
#include <gtest/gtest.h>

#include "registry/reg_win_test_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;

int Gmz(const test::ScratchDir& dir, const std::vector<std::string>& arguments, std::string& errors) {
  const int status = test::RunProgram(test::BuiltProgram("tools/gmz/gmz"), arguments, dir.fs_path() / "out.txt",
                                      dir.fs_path() / "err.txt");
  errors = test::ReadBytes(dir.fs_path() / "err.txt");
  return status;
}

TEST(GmzRegApplyWin, UndoRecordsTakeTheChangeBack) {
  test::ScratchDir dir;
  test::ThrowawayKey key;
  const std::string path = fs::path(key.path()).u8string();
  HKEY created = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, W(key.Below(u"Old")), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                            nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(created, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"old"), 8);
  RegCloseKey(created);
  const std::string before = test::DumpKey(HKEY_CURRENT_USER, key.path());

  test::WriteBytes(dir.fs_path() / "change.reg",
                   "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + path + "\\Old]\r\n\"v\"=\"new\"\r\n\"w\"=dword:00000001\r\n"
                   "[HKEY_CURRENT_USER\\" + path + "\\New]\r\n@=\"x\"\r\n");
  std::string errors;
  ASSERT_EQ(Gmz(dir, {"reg", "apply", (dir.fs_path() / "change.reg").u8string(), "--undo",
                      (dir.fs_path() / "undo.bin").u8string()},
                errors),
            0)
      << errors;
  EXPECT_NE(test::DumpKey(HKEY_CURRENT_USER, key.path()), before);
  ASSERT_EQ(Gmz(dir, {"reg", "apply", (dir.fs_path() / "undo.bin").u8string()}, errors), 0) << errors;
  EXPECT_EQ(test::DumpKey(HKEY_CURRENT_USER, key.path()), before);

  // A vendor's key right below the root, created and taken back by its undo file.
  const std::string top = "GmTestTop" + std::to_string(GetCurrentProcessId());
  test::WriteBytes(dir.fs_path() / "top.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + top + "]\r\n[HKEY_CURRENT_USER\\" + top +
                                                "\\Game]\r\n\"v\"=\"1\"\r\n");
  ASSERT_EQ(Gmz(dir, {"reg", "apply", (dir.fs_path() / "top.reg").u8string(), "--undo",
                      (dir.fs_path() / "top-undo.bin").u8string()},
                errors),
            0)
      << errors;
  EXPECT_NE(test::DumpKey(HKEY_CURRENT_USER, test::U(top.c_str())), "<missing>");
  ASSERT_EQ(Gmz(dir, {"reg", "apply", (dir.fs_path() / "top-undo.bin").u8string()}, errors), 0) << errors;
  EXPECT_EQ(test::DumpKey(HKEY_CURRENT_USER, test::U(top.c_str())), "<missing>");

  // A key that cannot be made (below a volatile key) fails the text, after the key
  // before it was written, and the apply takes that back.
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, W(key.Below(u"Volatile")), 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &created, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(created);
  const std::string withVolatile = test::DumpKey(HKEY_CURRENT_USER, key.path());
  test::WriteBytes(dir.fs_path() / "fails.reg",
                   "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + path + "\\Old]\r\n\"v\"=\"changed\"\r\n"
                   "[HKEY_CURRENT_USER\\" + path + "\\Volatile\\Lasting]\r\n\"x\"=\"1\"\r\n");
  EXPECT_EQ(Gmz(dir, {"reg", "apply", (dir.fs_path() / "fails.reg").u8string()}, errors), 1);
  EXPECT_NE(errors.find("Volatile\\Lasting"), std::string::npos) << errors;
  EXPECT_NE(errors.find("error 1021"), std::string::npos) << errors;
  EXPECT_EQ(test::DumpKey(HKEY_CURRENT_USER, key.path()), withVolatile);
  RegDeleteKeyW(HKEY_CURRENT_USER, W(key.Below(u"Volatile")));
}

}  // namespace
}  // namespace Zavro
