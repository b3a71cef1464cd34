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
  ASSERT_TRUE(CreateShellLink(target, u"-x \"y\"", u"The game", dir.Join(u"links\\deeper\\Game"),
                              dir.Join(u"game.ico"), 5, &work));
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

  const struct {
    const char16_t* name;
    const char16_t* file;
    int32_t iconIndex;
    const char16_t* iconPath;  // null: the target's
  } cases[] = {
      {u"Game.LNK", u"Game.LNK", 5, nullptr},      // kept as it is, the target's sixth icon
      {u"Game.url", u"Game.url.lnk", -1, u""},     // no icon location at all
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(CreateShellLink(target, u"", u"", dir.Join(c.name), u"", c.iconIndex, nullptr));
    ShortcutInfo read;
    ASSERT_TRUE(ReadShortcut(dir.Join(c.file), read));
    EXPECT_EQ(read.iconPath, c.iconPath != nullptr ? std::u16string(c.iconPath) : target);
    if (c.iconPath == nullptr) {
      EXPECT_EQ(read.iconIndex, c.iconIndex);
    }
    // Without a working directory, the target's folder.
    EXPECT_EQ(read.workingDirectory, dir.Join(u"app\\"));
  }
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

  WriteBytes(dir.fs_path() / "nourl.URL", "[InternetShortcut]\r\nIconFile=C:\\h.ico\r\n");
  WriteBytes(dir.fs_path() / "x.txt", "text");
  WriteBytes(dir.fs_path() / "broken.lnk", "not a shell link at all");
  test::fs::create_directory(dir.fs_path() / "y.lnk");
  for (const char16_t* name : {u"nourl.URL", u"x.txt", u"broken.lnk", u"y.lnk", u"missing.lnk", u"noextension"}) {
    ShortcutInfo refused;
    refused.description = u"kept";
    refused.target = u"cleared";
    EXPECT_FALSE(ReadShortcut(dir.Join(name), refused)) << test::fs::path(name).string();
    EXPECT_EQ(refused.target, u"");
    EXPECT_EQ(refused.description, u"kept");
  }
  // What a failed read got before it failed stays.
  ShortcutInfo partial;
  EXPECT_FALSE(ReadShortcut(dir.Join(u"nourl.URL"), partial));
  EXPECT_EQ(partial.iconPath, u"C:\\h.ico");

  EXPECT_EQ(ReadIniString(dir.Join(u"site.url"), u"InternetShortcut", u"Missing", u"fallback"), u"fallback");
}

}  // namespace
}  // namespace Zavro
