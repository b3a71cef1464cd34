#include <gtest/gtest.h>

#include "system/path_utils.h"

namespace Zavro {
namespace {

std::u16string Normalized(std::u16string path, uint32_t flags) {
  NormalizePath(path, flags);
  return path;
}

TEST(PathTextTest, NormalizeSingleSteps) {
  EXPECT_EQ(Normalized(u"C:\\Program Files\\GAME.EXE", PathLower), u"c:\\program files\\game.exe");
  EXPECT_EQ(Normalized(u"c:\\program files\\game.exe", PathUpper), u"C:\\PROGRAM FILES\\GAME.EXE");
  // Units outside ASCII fold too, each on its own.
  EXPECT_EQ(Normalized(u"\u00C4\u00D6", PathLower), u"\u00E4\u00F6");
  EXPECT_EQ(Normalized(u"\u00E4\u00F6", PathUpper), u"\u00C4\u00D6");

  EXPECT_EQ(Normalized(u"\"C:\\A\"", PathUnquote), u"C:\\A");
  EXPECT_EQ(Normalized(u"\"\"C:\\A\"\"", PathUnquote), u"\"C:\\A\"");  // one pair only
  EXPECT_EQ(Normalized(u"\"", PathUnquote), u"\"");
  EXPECT_EQ(Normalized(u"\"\"", PathUnquote), u"");
  EXPECT_EQ(Normalized(u"\"C:\\A", PathUnquote), u"\"C:\\A");
  EXPECT_EQ(Normalized(u"C:\\A\"", PathUnquote), u"C:\\A\"");

  EXPECT_EQ(Normalized(u"", PathAddSlash), u"");
  EXPECT_EQ(Normalized(u"C:\\A//", PathAddSlash), u"C:\\A\\");
  EXPECT_EQ(Normalized(u"C:\\A", PathAddSlash), u"C:\\A\\");
  EXPECT_EQ(Normalized(u"C:/A/", PathAddSlash), u"C:/A\\");
  EXPECT_EQ(Normalized(u"\\/\\", PathAddSlash), u"");

  EXPECT_EQ(Normalized(u"C:\\A\\/\\", PathRemoveSlash), u"C:\\A");
  EXPECT_EQ(Normalized(u"C:\\", PathRemoveSlash), u"C:");
  EXPECT_EQ(Normalized(u"\\", PathRemoveSlash), u"");

  EXPECT_EQ(Normalized(u"C:/A/b.txt", PathBackslashes), u"C:\\A\\b.txt");
  EXPECT_EQ(Normalized(u"C:/A/b.txt", 0), u"C:/A/b.txt");
}

TEST(PathTextTest, NormalizeStepsRunInTableOrder) {
  EXPECT_EQ(Normalized(u"\"C:\\A\\\"", PathUnquote | PathRemoveSlash), u"C:\\A");
  // Unquoting comes before the slash steps, so the slash inside the quotes goes too.
  EXPECT_EQ(Normalized(u"\"C:/A/\"", PathUnquote | PathRemoveSlash | PathBackslashes), u"C:\\A");
  EXPECT_EQ(Normalized(u"\"C:\\A\"", PathUnquote | PathAddSlash), u"C:\\A\\");
  // Adding comes before removing: both together remove.
  EXPECT_EQ(Normalized(u"C:\\A", PathAddSlash | PathRemoveSlash), u"C:\\A");
  // Lower runs before upper, so upper wins.
  EXPECT_EQ(Normalized(u"aB", PathLower | PathUpper), u"AB");
  // Backslashes come last: a forward slash turned into a backslash is not removed.
  EXPECT_EQ(Normalized(u"C:\\A/", PathBackslashes), u"C:\\A\\");
}

TEST(PathTextTest, IsAbsolutePath) {
  EXPECT_TRUE(IsAbsolutePath(u"C:"));
  EXPECT_FALSE(IsAbsolutePath(u"C:x"));
  EXPECT_TRUE(IsAbsolutePath(u"C:/x"));
  EXPECT_TRUE(IsAbsolutePath(u"C:\\x"));
  EXPECT_TRUE(IsAbsolutePath(u"\\\\server\\share"));
  EXPECT_TRUE(IsAbsolutePath(u"\\\\"));
  EXPECT_FALSE(IsAbsolutePath(u"\\x"));
  EXPECT_FALSE(IsAbsolutePath(u"/x"));
  EXPECT_FALSE(IsAbsolutePath(u"//x"));
  EXPECT_FALSE(IsAbsolutePath(u"C"));
  EXPECT_FALSE(IsAbsolutePath(u"\\"));
  EXPECT_FALSE(IsAbsolutePath(u""));
  // Anything may stand before the colon.
  EXPECT_TRUE(IsAbsolutePath(u"#:\\x"));
  EXPECT_TRUE(IsAbsolutePath(u"\u4E2D:"));
  EXPECT_FALSE(IsAbsolutePath(u"\"C:\\x\""));
}

TEST(PathTextTest, JoinPath) {
  EXPECT_EQ(JoinPath(u"C:\\Game\\", u"\\data\\a.bin"), u"C:\\Game\\data\\a.bin");
  EXPECT_EQ(JoinPath(u"\"C:\\Game\"", u"a.bin"), u"C:\\Game\\a.bin");
  EXPECT_EQ(JoinPath(u"C:\\Game", u"D:\\x"), u"D:\\x");
  EXPECT_EQ(JoinPath(u"C:\\Game", u""), u"C:\\Game\\");
  EXPECT_EQ(JoinPath(u"C:\\Game", u"\"D:\\x\""), u"D:\\x");
  EXPECT_EQ(JoinPath(u"C:\\Game", u"\\\\server\\share"), u"\\\\server\\share");
  EXPECT_EQ(JoinPath(u"C:\\Game//", u"//\\a/b"), u"C:\\Game\\a/b");
  EXPECT_EQ(JoinPath(u"C:\\Game", u"\"sub\\a.bin\""), u"C:\\Game\\sub\\a.bin");
  EXPECT_EQ(JoinPath(u"", u"\\a.bin"), u"a.bin");
  EXPECT_EQ(JoinPath(u"\"\"", u"a.bin"), u"a.bin");
  EXPECT_EQ(JoinPath(u"", u""), u"");
  // A relative path with a drive but no separator is not absolute: it is appended.
  EXPECT_EQ(JoinPath(u"C:\\Game", u"D:x"), u"C:\\Game\\D:x");
}

TEST(PathTextTest, DirectoryPart) {
  EXPECT_EQ(DirectoryPart(u"C:\\A\\b.txt"), u"C:\\A");
  EXPECT_EQ(DirectoryPart(u"C:\\A\\"), u"C:");
  EXPECT_EQ(DirectoryPart(u"C:\\"), u"C:");
  EXPECT_EQ(DirectoryPart(u"b.txt"), u"b.txt");
  EXPECT_EQ(DirectoryPart(u"C:/A/b.txt"), u"C:/A/b.txt");
  EXPECT_EQ(DirectoryPart(u"\"C:\\A\\b.txt\""), u"C:\\A");
  EXPECT_EQ(DirectoryPart(u"\\b.txt"), u"");
  EXPECT_EQ(DirectoryPart(u""), u"");
}

TEST(PathTextTest, FileNamePart) {
  EXPECT_EQ(FileNamePart(u"C:\\A\\b.txt"), u"b.txt");
  EXPECT_EQ(FileNamePart(u"C:\\A\\"), u"");
  EXPECT_EQ(FileNamePart(u"a/b"), u"b");
  EXPECT_EQ(FileNamePart(u"C:\\A/b\\c"), u"c");
  EXPECT_EQ(FileNamePart(u"b.txt"), u"b.txt");
  EXPECT_EQ(FileNamePart(u""), u"");
}

TEST(PathTextTest, ExtensionPart) {
  EXPECT_EQ(ExtensionPart(u"x.tar.gz"), u".gz");
  EXPECT_EQ(ExtensionPart(u".profile"), u".profile");
  EXPECT_EQ(ExtensionPart(u"C:\\a.b\\c"), u"");
  EXPECT_EQ(ExtensionPart(u"C:/a.b/c"), u"");
  EXPECT_EQ(ExtensionPart(u"name."), u".");
  EXPECT_EQ(ExtensionPart(u"C:\\dir\\.hidden"), u".hidden");
  EXPECT_EQ(ExtensionPart(u"C:\\dir\\Setup.EXE"), u".EXE");
  EXPECT_EQ(ExtensionPart(u"noext"), u"");
  EXPECT_EQ(ExtensionPart(u""), u"");
}

TEST(PathTextTest, RootsOfPaths) {
  const struct {
    const char16_t* path;
    const char16_t* root;
    bool isRoot;
  } cases[] = {
      {u"C:", u"C:\\", true},
      {u"C:\\", u"C:\\", true},
      {u"c:/", u"c:\\", true},
      {u"C:\\a\\..\\.", u"C:\\", true},
      {u"C:\\Game", u"C:\\", false},
      {u"C:Game", u"C:\\", false},
      {u"\\\\srv\\share", u"\\\\srv\\share\\", true},
      {u"//srv/share/", u"\\\\srv\\share\\", true},
      {u"\\\\srv\\share\\x", u"\\\\srv\\share\\", false},
      {u"\\\\srv", u"\\\\srv\\", true},
      {u"\\\\?\\C:\\", u"\\\\?\\C:\\", true},
      {u"\\\\?\\C:\\x", u"\\\\?\\C:\\", false},
      {u"\\\\?\\UNC\\srv\\share\\x", u"\\\\?\\UNC\\srv\\share\\", false},
      {u"\\\\.\\unc\\srv\\share", u"\\\\.\\unc\\srv\\share\\", true},
      {u"/", u"\\", true},
      {u"\\x\\..\\..", u"\\", true},
      {u"\\x", u"\\", false},
      {u"..", u"", false},
      {u"", u"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.path)));
    EXPECT_EQ(PathRoot(c.path), c.root);
    EXPECT_EQ(IsVolumeRoot(c.path), c.isRoot);
  }
}

}  // namespace
}  // namespace Zavro
