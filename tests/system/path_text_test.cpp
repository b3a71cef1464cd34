#include <gtest/gtest.h>

#include "system/path_text.h"

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
      {u"C:\\", PathRemoveSlash, u"C:"},
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
    EXPECT_EQ(path, c.normalized) << testing::PrintToString(std::u16string(c.path)) << " " << c.flags;
  }
}

TEST(PathTextTest, IsAbsolutePath) {
  // A drive is whatever unit stands before the colon.
  const std::pair<const char16_t*, bool> cases[] = {
      {u"C:", true},    {u"C:/x", true}, {u"\\\\server\\share", true}, {u"\\\\", true},
      {u"#:\\x", true}, {u"C:x", false}, {u"\\x", false},               {u"//x", false},
      {u"C", false},    {u"", false},    {u"\"C:\\x\"", false},
  };
  for (const auto& [path, absolute] : cases) {
    EXPECT_EQ(IsAbsolutePath(path), absolute) << testing::PrintToString(std::u16string(path));
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
      {u"b.txt", u"b.txt", u"b.txt", u".txt"},
      {u"\\b.txt", u"", u"b.txt", u".txt"},
      // Only the directory part takes off quotes.
      {u"\"C:\\A\\b.txt\"", u"C:\\A", u"b.txt\"", u".txt\""},
      // A dot in a folder name is no extension.
      {u"C:\\a.b\\c", u"C:\\a.b", u"c", u""},
      {u"x.tar.GZ", u"x.tar.GZ", u"x.tar.GZ", u".GZ"},
      {u"C:\\dir\\.hidden", u"C:\\dir", u".hidden", u".hidden"},
      {u"name.", u"name.", u"name.", u"."},
      {u"", u"", u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.path)));
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
  } cases[] = {
      {u"C:", u"C:\\", true},
      {u"C:Game", u"C:\\", false},
      {u"//srv/share/", u"\\\\srv\\share\\", true},
      {u"\\\\srv\\share\\x", u"\\\\srv\\share\\", false},
      {u"\\\\srv", u"\\\\srv\\", true},
      {u"\\\\?\\C:\\x", u"\\\\?\\C:\\", false},
      {u"\\\\?\\UNC\\srv\\share\\x", u"\\\\?\\UNC\\srv\\share\\", false},
      {u"\\\\.\\unc\\srv\\share", u"\\\\.\\unc\\srv\\share\\", true},
      {u"/", u"\\", true},
      {u"\\x\\..\\..", u"\\", true},
      {u"..", u"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.path)));
    EXPECT_EQ(PathRoot(c.path), c.root);
    EXPECT_EQ(IsVolumeRoot(c.path), c.isRoot);
  }
}

// Extraction checks the common hostile names end to end; these are the rules' edges.
TEST(PathTextTest, ValidFileNamesAndPaths) {
  const struct {
    const char16_t* text;
    bool name;  // IsValidFileName
    bool path;  // IsValidFilePath
  } cases[] = {
      {u"a.txt", true, true},
      {u".hidden", true, true},
      // Only COM and LPT with one digit from 1 are devices, and only as the whole base.
      {u"COM0", true, true},
      {u"LPT10.txt", true, true},
      // Windows drops a trailing dot or space, so "a." would name "a".
      {u"a.", false, false},
      {u"a ", false, false},
      {u"a:stream", false, false},
      {u"a\x01", false, false},
      // Device names, with or without an extension, in any case.
      {u"con.txt", false, false},
      {u"CONOUT$", false, false},
      {u"COM\u00B9", false, false},  // superscript one
      // Paths: an optional drive or share start, then valid names only.
      {u"a\\b/c", false, true},
      {u"C:\\Game\\a.txt", false, true},
      {u"\\\\srv\\share\\a", false, true},
      {u"1:\\a", false, false},
      {u"C:\\", false, false},
      {u"a\\lpt9.log\\b", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.text)));
    EXPECT_EQ(IsValidFileName(c.text), c.name);
    EXPECT_EQ(IsValidFilePath(c.text), c.path);
  }
}

}  // namespace
}  // namespace Zavro
