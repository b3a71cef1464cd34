// Shell links written and read through the system's shell-link object (Wine's in the
// test run), and internet shortcuts read as profiles.
#include "system/shortcut.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

using test::ScratchDir;
using test::WriteBytes;

TEST(ShortcutWin, WrittenAndReadBack) {
  ScratchDir dir;
  test::fs::create_directories(dir.fs_path() / "app");
  WriteBytes(dir.fs_path() / "app" / "game.exe", "MZ");
  WriteBytes(dir.fs_path() / "game.ico", "icon");
  const std::u16string target = dir.Join(u"app\\game.exe");
  const std::u16string work = dir.Join(u"work");
  // The link's folder is made; ".lnk" is added.
  ASSERT_TRUE(CreateShellLink(target, u"-x \"y\"", u"The game", dir.Join(u"links\\deeper\\Game"), dir.Join(u"game.ico"),
                              5, &work));
  ShortcutInfo info;
  info.iconIndex = 9;
  ASSERT_TRUE(ReadShortcut(dir.Join(u"links\\deeper\\Game.lnk"), info));
  EXPECT_EQ(info.target, target);
  EXPECT_EQ(info.arguments, u"-x \"y\"");
  EXPECT_EQ(info.description, u"The game");
  EXPECT_EQ(info.workingDirectory, work);
  // An icon file gives its first icon, whatever the index.
  EXPECT_EQ(info.iconPath, dir.Join(u"game.ico"));
  EXPECT_EQ(info.iconIndex, 0);
  // Written again from what was read, over the old link.
  ASSERT_TRUE(CreateShellLink(info, dir.Join(u"links\\deeper\\Game.lnk")));

  // ".LNK" is kept as it is, ".url" is not a link's name. Without an icon file, the
  // target's icon of that index, none for a negative one; without a working directory,
  // the target's folder.
  ASSERT_TRUE(CreateShellLink(target, u"", u"", dir.Join(u"Game.LNK"), u"", 5, nullptr));
  ASSERT_TRUE(CreateShellLink(target, u"", u"", dir.Join(u"Game.url"), u"", -1, nullptr));
  ShortcutInfo own, none;
  ASSERT_TRUE(ReadShortcut(dir.Join(u"Game.LNK"), own));
  ASSERT_TRUE(ReadShortcut(dir.Join(u"Game.url.lnk"), none));
  EXPECT_EQ(own.iconPath, target);
  EXPECT_EQ(own.iconIndex, 5);
  EXPECT_EQ(none.iconPath, u"");
  EXPECT_EQ(own.workingDirectory, dir.Join(u"app\\"));
  EXPECT_EQ(none.workingDirectory, dir.Join(u"app\\"));

  EXPECT_FALSE(CreateShellLink(u"", u"", u"", dir.Join(u"x"), u"", 0, nullptr));
  EXPECT_FALSE(CreateShellLink(target, u"", u"", u"", u"", 0, nullptr));
}

TEST(ShortcutWin, InternetShortcutsAndRefusals) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "site.url",
             "[InternetShortcut]\r\nURL=https://game.example/\r\nIconIndex=-1\r\nIconFile=C:\\g.ico\r\n"
             "WorkingDirectory=C:\\w\r\n");
  ShortcutInfo info;
  info.iconIndex = 7;
  ASSERT_TRUE(ReadShortcut(dir.Join(u"site.url"), info));
  EXPECT_EQ(info.target, u"https://game.example/");
  EXPECT_EQ(info.iconIndex, 0);
  EXPECT_EQ(info.iconPath, u"C:\\g.ico");
  EXPECT_EQ(info.workingDirectory, u"C:\\w");
  EXPECT_EQ(ReadIniString(dir.Join(u"site.url"), u"InternetShortcut", u"Missing", u"fallback"), u"fallback");

  WriteBytes(dir.fs_path() / "nourl.URL", "[InternetShortcut]\r\nIconFile=C:\\h.ico\r\n");
  WriteBytes(dir.fs_path() / "x.txt", "text");
  WriteBytes(dir.fs_path() / "broken.lnk", "not a shell link at all");
  test::fs::create_directory(dir.fs_path() / "y.lnk");
  for (const char16_t* name : {u"nourl.URL", u"x.txt", u"broken.lnk", u"y.lnk", u"missing.lnk", u"noextension"}) {
    // The target is cleared; what a failed read got before it failed stays.
    ShortcutInfo refused;
    refused.description = u"kept";
    refused.target = u"cleared";
    EXPECT_FALSE(ReadShortcut(dir.Join(name), refused)) << test::fs::path(name).string();
    EXPECT_EQ(refused.target, u"");
    EXPECT_EQ(refused.description, u"kept");
    EXPECT_EQ(refused.iconPath, name == std::u16string(u"nourl.URL") ? u"C:\\h.ico" : u"");
  }
}

}  // namespace
}  // namespace Zavro
