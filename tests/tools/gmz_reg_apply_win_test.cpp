// gmz reg apply against the registry itself: a registry text applied, then its undo
// records, leave the registry as they found it; a failing text changes nothing.
#include <gtest/gtest.h>

#include "registry/reg_win_test_support.h"
#include "test_support.h"
#include "tools/tools_test_support.h"

namespace Zavro {
namespace {

TEST(GmzRegApplyWin, UndoRecordsTakeTheChangeBack) {
  test::ScratchDir dir;
  // A registry text of these keys, written to `name`: its path.
  auto reg = [&](const char* name, const std::string& keys) {
    test::WriteBytes(dir.fs_path() / name, "REGEDIT4\r\n\r\n" + keys);
    return (dir.fs_path() / name).u8string();
  };
  test::ThrowawayKey key;
  const std::string path = "HKEY_CURRENT_USER\\" + test::Utf8(key.path());
  HKEY created = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, W(key.Below(u"Old")), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                            nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(created, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"old"), 8);
  RegCloseKey(created);

  // Keys there changed and added, and a vendor's key right below the root.
  const std::string top = "GmTestTop" + std::to_string(GetCurrentProcessId());
  const struct {
    std::u16string watched;
    std::string keys;
    const char* undo;
  } changes[] = {
      {key.path(), "[" + path + "\\Old]\r\n\"v\"=\"new\"\r\n\"w\"=dword:00000001\r\n[" + path + "\\New]\r\n@=\"x\"\r\n",
       "undo.bin"},
      {test::U(top.c_str()),
       "[HKEY_CURRENT_USER\\" + top + "]\r\n[HKEY_CURRENT_USER\\" + top + "\\Game]\r\n\"v\"=\"1\"\r\n", "top-undo.bin"},
  };
  for (const auto& c : changes) {
    const std::string before = test::DumpKey(HKEY_CURRENT_USER, c.watched);
    const std::string undo = (dir.fs_path() / c.undo).u8string();
    test::GmzRun applied = test::RunGmz(dir.fs_path(), {"reg", "apply", reg("change.reg", c.keys), "--undo", undo});
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_NE(test::DumpKey(HKEY_CURRENT_USER, c.watched), before);
    applied = test::RunGmz(dir.fs_path(), {"reg", "apply", undo});
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(test::DumpKey(HKEY_CURRENT_USER, c.watched), before);
  }

  // A key that cannot be made (below a volatile key) fails the text, after the key
  // before it was written, and the apply takes that back.
  const test::VolatileKey volatileKey;
  const std::string before = test::DumpKey(HKEY_CURRENT_USER, key.path());
  const test::GmzRun failed = test::RunGmz(
      dir.fs_path(), {"reg", "apply",
                      reg("fails.reg", "[" + path + "\\Old]\r\n\"v\"=\"changed\"\r\n[HKEY_CURRENT_USER\\" +
                                           test::Utf8(volatileKey.path()) + "\\Lasting]\r\n\"x\"=\"1\"\r\n")});
  EXPECT_TRUE(test::ExitsWith(failed, 1, "Volatile\\Lasting"));
  EXPECT_TRUE(test::ExitsWith(failed, 1, "error 1021"));
  EXPECT_EQ(test::DumpKey(HKEY_CURRENT_USER, key.path()), before);
}

}  // namespace
}  // namespace Zavro
