#include <gtest/gtest.h>

#include "system/path_text.h"
#include "test_support.h"

namespace Zavro {
namespace {

TEST(PathTextTest, NormalizePath) {
  const struct {
    const char16_t* path;
    uint32_t flags;
    const char16_t* normalized;
  } cases[] = {
      {u"C:\\Program Files\\GAME.EXE", PathLower, u"c:\\program files\\game.exe"},
      {u"\u00E4\u00D6x", PathUpper, u"\u00C4\u00D6X"},  // units outside ASCII fold too
      {u"\"\"C:\\A\"\"", PathUnquote, u"\"C:\\A\""},  // one pair only
      {u"\"", PathUnquote, u"\""},
      {u"\"\"", PathUnquote, u""},
      {u"\"C:\\A", PathUnquote, u"\"C:\\A"},
      {u"C:/A/", PathAddSlash, u"C:/A\\"},
      {u"\\/\\", PathAddSlash, u""},
      {u"C:\\A\\/\\", PathRemoveSlash, u"C:\\A"},
      // The steps run in a fixed order: unquote before the slash steps, add before
      // remove (both together remove), lower before upper (upper wins).
      {u"\"C:/A/\"", PathUnquote | PathRemoveSlash | PathBackslashes, u"C:\\A"},
      {u"\"C:\\A\"", PathUnquote | PathAddSlash, u"C:\\A\\"},
      {u"C:\\A", PathAddSlash | PathRemoveSlash, u"C:\\A"},
      {u"aB", PathLower | PathUpper, u"AB"},
  };
  for (const auto& c : cases) {
    std::u16string path = c.path;
    NormalizePath(path, c.flags);
    EXPECT_EQ(path, c.normalized) << test::Utf8(c.path) << " " << c.flags;
  }
}

TEST(PathTextTest, JoinPath) {
  const struct {
    const char16_t* base;
    const char16_t* relative;
    const char16_t* joined;
  } cases[] = {
      {u"C:\\Game\\", u"\\data\\a.bin", u"C:\\Game\\data\\a.bin"},
      {u"\"C:\\Game\"", u"\"sub\\a.bin\"", u"C:\\Game\\sub\\a.bin"},
      {u"C:\\Game", u"\"D:\\x\"", u"D:\\x"},  // an absolute path wins
      // A drive without a separator is not absolute: it is appended.
      {u"C:\\Game", u"D:x", u"C:\\Game\\D:x"},
      {u"C:\\Game", u"", u"C:\\Game\\"},
      {u"C:\\Game//", u"//\\a/b", u"C:\\Game\\a/b"},
      {u"\"\"", u"\\a.bin", u"a.bin"},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinPath(c.base, c.relative), c.joined) << c.joined;
}

TEST(PathTextTest, DirectoryFileNameAndExtensionParts) {
  const struct {
    const char16_t* path;
    const char16_t* directory;
    const char16_t* fileName;
    const char16_t* extension;
  } cases[] = {
      {u"C:\\A\\b.txt", u"C:\\A", u"b.txt", u".txt"},
      {u"C:\\A\\", u"C:", u"", u""},
      // Only a backslash ends the directory part; either separator ends the others.
      {u"C:/A/b.txt", u"C:/A/b.txt", u"b.txt", u".txt"},
      {u"x.tar.GZ", u"x.tar.GZ", u"x.tar.GZ", u".GZ"},
      {u"\\b.txt", u"", u"b.txt", u".txt"},
      // Only the directory part takes off quotes.
      {u"\"C:\\A\\b.txt\"", u"C:\\A", u"b.txt\"", u".txt\""},
      // A dot in a folder name is no extension.
      {u"C:\\a.b\\c", u"C:\\a.b", u"c", u""},
      {u"C:\\dir\\.hidden", u"C:\\dir", u".hidden", u".hidden"},
      {u"name.", u"name.", u"name.", u"."},
      {u"", u"", u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(test::Utf8(c.path));
    EXPECT_EQ(DirectoryPart(c.path), c.directory);
    EXPECT_EQ(FileNamePart(c.path), c.fileName);
    EXPECT_EQ(ExtensionPart(c.path), c.extension);
  }
}

TEST(PathTextTest, RootsOfPaths) {
  const struct {
    const char16_t* path;
    const char16_t* root;
    bool isRoot;
    bool absolute;
  } cases[] = {
      {u"C:", u"C:\\", true, true},
      {u"C:Game", u"C:\\", false, false},
      {u"#:/x", u"#:\\", false, true},  // a drive is whatever unit stands before the colon
      {u"//srv/share/", u"\\\\srv\\share\\", true, false},
      {u"\\\\srv\\share\\x", u"\\\\srv\\share\\", false, true},
      {u"\\\\srv", u"\\\\srv\\", true, true},
      {u"//x", u"\\\\x\\", true, false},
      {u"\\\\?\\C:\\x", u"\\\\?\\C:\\", false, true},
      {u"\\\\?\\UNC\\srv\\share\\x", u"\\\\?\\UNC\\srv\\share\\", false, true},
      {u"\\\\.\\unc\\srv\\share", u"\\\\.\\unc\\srv\\share\\", true, true},
      {u"/", u"\\", true, false},
      {u"\\x", u"\\", false, false},
      {u"\\x\\..\\..", u"\\", true, false},
      {u"", u"", false, false},
      {u"\"C:\\x\"", u"", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(test::Utf8(c.path));
    EXPECT_EQ(PathRoot(c.path), c.root);
    EXPECT_EQ(IsVolumeRoot(c.path), c.isRoot);
    EXPECT_EQ(IsAbsolutePath(c.path), c.absolute);
  }
}

// Extraction checks the common hostile names end to end; these are the rules' edges.
TEST(PathTextTest, ValidFileNamesAndPaths) {
  // Only COM and LPT with one digit from 1 are devices, and only as the whole base.
  for (const char16_t* name : {u"a.txt", u".hidden", u"COM0", u"LPT10.txt"}) {
    EXPECT_TRUE(IsValidFileName(name)) << test::Utf8(name);
    EXPECT_TRUE(IsValidFilePath(name)) << test::Utf8(name);
  }
  // A path: an optional drive or share start, then valid names only.
  for (const char16_t* path : {u"a\\b/c", u"C:\\Game\\a.txt", u"\\\\srv\\share\\a"}) {
    EXPECT_FALSE(IsValidFileName(path)) << test::Utf8(path);
    EXPECT_TRUE(IsValidFilePath(path)) << test::Utf8(path);
  }
  // Windows drops a trailing dot or space, so "a." would name "a". Device names, with or
  // without an extension, in any case; "\u00B9" is a superscript one.
  for (const char16_t* neither : {u"a.", u"a ", u"a:stream", u"a\x01", u"con.txt", u"CONOUT$", u"COM\u00B9", u"1:\\a",
                                  u"C:\\", u"a\\lpt9.log\\b"}) {
    EXPECT_FALSE(IsValidFileName(neither)) << test::Utf8(neither);
    EXPECT_FALSE(IsValidFilePath(neither)) << test::Utf8(neither);
  }
}

}  // namespace
}  // namespace Zavro
