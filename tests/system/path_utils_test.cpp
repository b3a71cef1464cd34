#include "system/path_utils.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <set>

#include "system/system_error.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::CurrentDirGuard;
using test::ScopedEnv;
using test::ScratchDir;
using test::WriteBytes;

void MakeReadOnly(const fs::path& path) {
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

// ---- Existence -----------------------------------------------------------------------

TEST(PathUtilsTest, ExistenceTests) {
  ScratchDir dir;
  fs::create_directory(dir.fs_path() / "sub");
  WriteBytes(dir.fs_path() / "file.txt", "x");
  const std::u16string sub = dir.Join(u"sub"), file = dir.Join(u"file.txt");
  const struct {
    std::u16string path;
    bool exists;
    bool folder;
  } cases[] = {
      {sub, true, true},
      {file, true, false},
      {dir.Join(u"missing"), false, false},
      // Quotes and trailing separators are taken off first; forward slashes do too.
      {u"\"" + sub + u"\\\"", true, true},
      {sub + u"\\/", true, true},
      {u"\"" + file + u"\"", true, false},
      {dir.path() + u"/sub", true, true},
      {u"\"\"", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.path));
    EXPECT_EQ(PathExists(c.path), c.exists);
    EXPECT_EQ(IsDirectory(c.path), c.exists && c.folder);
    EXPECT_EQ(IsFile(c.path), c.exists && !c.folder);
  }
  EXPECT_EQ(GetPathAttributes(dir.Join(u"missing")), kInvalidFileAttributes);
  EXPECT_EQ(LastSystemError(), kErrorFileNotFound);
  EXPECT_FALSE(SetPathAttributes(dir.Join(u"missing"), kFileAttributeArchive));
}

// Every disk function refuses an empty path, and one that a NUL would cut short to an
// existing file or folder.
TEST(PathUtilsTest, EmptyAndCutArgumentsFail) {
  ScratchDir dir;
  CurrentDirGuard guard;
  WriteBytes(dir.fs_path() / "file", "x");
  fs::create_directory(dir.fs_path() / "keep");
  WriteBytes(dir.fs_path() / "keep" / "sentinel", "x");
  // An empty name must never turn into the current folder.
  fs::current_path(dir.fs_path() / "keep");
  std::u16string cutFile = dir.Join(u"file"), cutFolder = dir.Join(u"keep");
  for (std::u16string* cut : {&cutFile, &cutFolder}) {
    cut->push_back(u'\0');
    *cut += u"\\tail";
  }
  std::u16string out = u"unchanged";
  size_t split = 7;
  const std::function<bool(const std::u16string&)> calls[] = {
      PathExists,
      IsDirectory,
      IsFile,
      [](const std::u16string& p) { return GetPathAttributes(p) != kInvalidFileAttributes; },
      [](const std::u16string& p) { return SetPathAttributes(p, 0); },
      CreateDirectoryTree,
      DeleteFileForced,
      [&](const std::u16string& p) { return FullPath(p, out, split) || !out.empty() || split != 0; },
      [&](const std::u16string& p) { return FullPathDirectory(p, out) || !out.empty(); },
      [&](const std::u16string& p) { return TempFileName(p, u"gm", out) || !out.empty(); },
      [](const std::u16string& p) { return SetFileTimes(p, nullptr, nullptr, nullptr); },
      [](const std::u16string& p) { return DeleteTree(p) != 0; },
  };
  for (size_t i = 0; i < std::size(calls); ++i) {
    EXPECT_FALSE(calls[i](u"")) << i;
    EXPECT_EQ(LastSystemError(), kErrorPathNotFound) << i;
    for (const std::u16string& cut : {cutFile, cutFolder}) {
      EXPECT_FALSE(calls[i](cut)) << i;
      EXPECT_EQ(LastSystemError(), kErrorInvalidName) << i;
    }
  }
  EXPECT_TRUE(fs::is_regular_file(dir.fs_path() / "file"));
  EXPECT_TRUE(fs::is_regular_file(dir.fs_path() / "keep" / "sentinel"));
  EXPECT_EQ(ExpandEnvironment(u""), u"");
}

// ---- Creating and deleting --------------------------------------------------------

TEST(PathUtilsTest, CreateDirectoryTree) {
  ScratchDir dir;
  EXPECT_TRUE(CreateDirectoryTree(dir.Join(u"a\\b\\c")));
  EXPECT_TRUE(fs::is_directory(dir.fs_path() / "a" / "b" / "c"));
  // Both separators, and a trailing one; existing folders are fine.
  EXPECT_TRUE(CreateDirectoryTree(dir.Join(u"x/y\\z\\")));
  EXPECT_TRUE(fs::is_directory(dir.fs_path() / "x" / "y" / "z"));
  EXPECT_TRUE(CreateDirectoryTree(dir.Join(u"a\\b")));

  // A file in the way: as the whole path, or on the way.
  WriteBytes(dir.fs_path() / "file", "x");
  EXPECT_FALSE(CreateDirectoryTree(dir.Join(u"file")));
  EXPECT_FALSE(CreateDirectoryTree(dir.Join(u"file\\sub")));
}

TEST(PathUtilsTest, DeleteFileForcedClearsReadOnly) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "ro.txt", "x");
  MakeReadOnly(dir.fs_path() / "ro.txt");
  fs::create_directory(dir.fs_path() / "sub");

  EXPECT_TRUE(DeleteFileForced(dir.Join(u"ro.txt")));
  EXPECT_FALSE(fs::exists(dir.fs_path() / "ro.txt"));
  EXPECT_FALSE(DeleteFileForced(dir.Join(u"ro.txt")));
  EXPECT_EQ(LastSystemError(), kErrorFileNotFound);
  // A folder is not a file.
  EXPECT_FALSE(DeleteFileForced(dir.Join(u"sub")));
  EXPECT_TRUE(fs::is_directory(dir.fs_path() / "sub"));
}

TEST(DeleteTreeTest, CountsEverythingRemovedIncludingReadOnly) {
  ScratchDir dir;
  const fs::path top = dir.fs_path() / "top";
  fs::create_directories(top / "sub" / "deeper");
  fs::create_directories(top / "empty");
  WriteBytes(top / "a.txt", "a");
  WriteBytes(top / "ro.txt", "ro");
  WriteBytes(top / "sub" / "b.txt", "b");
  WriteBytes(top / "sub" / "deeper" / ".hidden", "h");
  MakeReadOnly(top / "ro.txt");
  MakeReadOnly(top / "sub" / "b.txt");

  // 4 files and 4 folders (top, sub, deeper, empty); trailing separators do not matter.
  EXPECT_EQ(DeleteTree(dir.Join(u"top\\/")), 8u);
  EXPECT_FALSE(fs::exists(top));
  EXPECT_TRUE(fs::is_directory(dir.fs_path()));

  EXPECT_EQ(DeleteTree(dir.Join(u"missing")), 0u);
  // A file is not a folder to remove.
  WriteBytes(dir.fs_path() / "file", "x");
  EXPECT_EQ(DeleteTree(dir.Join(u"file")), 0u);
  EXPECT_TRUE(fs::exists(dir.fs_path() / "file"));
}

TEST(DeleteTreeTest, OfTheCurrentFolderMovesToTheParentFirst) {
  ScratchDir dir;
  CurrentDirGuard guard;
  const fs::path top = dir.fs_path() / "top";
  fs::create_directories(top / "sub");
  WriteBytes(top / "sub" / "f", "f");

  fs::current_path(top);
  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 3u);
  EXPECT_FALSE(fs::exists(top));
  EXPECT_EQ(test::SysPath(fs::current_path()), dir.path());

  // The same when the current folder lies deeper: it is the innermost folder that
  // moves out, and the process ends up above the tree.
  fs::create_directories(top / "a" / "b");
  fs::current_path(top / "a" / "b");
  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 3u);
  EXPECT_FALSE(fs::exists(top));
  EXPECT_EQ(test::SysPath(fs::current_path()), dir.path());
}

TEST(DeleteTreeTest, VolumeRootsAreNeverRemovable) {
  // Only checked, never removed: at the root of a volume "." and ".." name the root.
  CurrentDirGuard guard;
  fs::current_path(fs::current_path().root_path());
  for (const char16_t* folder : {u".", u"..", u"\\", u"/", u"\\\\srv\\share\\", u"C:"}) {
    EXPECT_FALSE(CheckRemovableFolder(folder));
    EXPECT_EQ(LastSystemError(), kErrorAccessDenied);
  }
  ScratchDir dir;
  EXPECT_TRUE(CheckRemovableFolder(dir.path()));
}

// ---- Names ---------------------------------------------------------------------------

TEST(PathUtilsTest, TempFileNameCreatesUniqueEmptyFiles) {
  ScratchDir dir;
  std::set<std::u16string> names;
  // The folder, a separator (one only), the first three units of the prefix, a hex
  // number of up to four digits, ".tmp".
  for (const std::u16string& folder : {dir.path(), dir.path(), dir.path() + u"\\"}) {
    std::u16string name;
    ASSERT_TRUE(TempFileName(folder, u"gmzip", name));
    EXPECT_TRUE(names.insert(name).second);
    const std::u16string head = dir.path() + u"\\gmz";
    ASSERT_GT(name.size(), head.size() + 4);
    EXPECT_EQ(name.substr(0, head.size()), head);
    EXPECT_EQ(name.substr(name.size() - 4), u".tmp");
    const std::u16string number = name.substr(head.size(), name.size() - head.size() - 4);
    EXPECT_LE(number.size(), 4u);
    EXPECT_EQ(number.find_first_not_of(u"0123456789ABCDEFabcdef"), std::u16string::npos);
    EXPECT_EQ(fs::file_size(test::FsPath(name)), 0u);
  }
  // An empty prefix is allowed.
  std::u16string name;
  ASSERT_TRUE(TempFileName(dir.path(), u"", name));
  EXPECT_EQ(name.substr(0, dir.path().size() + 1), dir.path() + u"\\");
  EXPECT_NE(name[dir.path().size() + 1], u'\\');
  EXPECT_FALSE(TempFileName(dir.Join(u"missing"), u"gm", name));
  EXPECT_EQ(name, u"");
}

TEST(PathUtilsTest, SetFileTimesStampsFoldersToo) {
  // Exact values are checked against the system in the platform tests.
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "a", "a");
  fs::create_directory(dir.fs_path() / "sub");
  const FileTime t((1623758400ULL + kFileTimeUnixEpochSeconds) * kFileTimeTicksPerSecond);
  ASSERT_TRUE(SetFileTimes(dir.Join(u"a"), nullptr, nullptr, &t));
  ASSERT_TRUE(SetFileTimes(dir.Join(u"sub"), nullptr, nullptr, &t));
  EXPECT_EQ(fs::last_write_time(dir.fs_path() / "sub"), fs::last_write_time(dir.fs_path() / "a"));

  EXPECT_FALSE(SetFileTimes(dir.Join(u"missing"), nullptr, nullptr, &t));
  EXPECT_EQ(LastSystemError(), kErrorFileNotFound);
}

TEST(PathUtilsTest, FullPathOfAbsoluteAndRelativePaths) {
  ScratchDir dir;
  CurrentDirGuard guard;
  fs::current_path(dir.fs_path());
  const std::u16string base = dir.path();
  std::u16string longName;
  for (int i = 0; i < 14; ++i) longName += std::u16string(50, static_cast<char16_t>(u'a' + i)) + u"\\";
  const struct {
    std::u16string path;
    std::u16string full;
    std::u16string fileName;
  } cases[] = {
      {base + u"\\sub\\..\\.\\x.txt", base + u"\\x.txt", u"x.txt"},
      {base + u"/a/b.txt", base + u"\\a\\b.txt", u"b.txt"},
      {base + u"\\a\\\\b", base + u"\\a\\b", u"b"},
      {base + u"\\d\\", base + u"\\d\\", u""},  // no file name part
      {u"a\\b.txt", base + u"\\a\\b.txt", u"b.txt"},
      {u"..\\" + test::SysPath(dir.fs_path().filename()) + u"\\c", base + u"\\c", u"c"},
      // Longer than any fixed buffer would take.
      {longName + u"f.bin", base + u"\\" + longName + u"f.bin", u"f.bin"},
      {base + u"\\" + longName + u"f.bin", base + u"\\" + longName + u"f.bin", u"f.bin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.path));
    std::u16string full, directory;
    size_t split = 0;
    ASSERT_TRUE(FullPath(c.path, full, split));
    EXPECT_EQ(full, c.full);
    EXPECT_EQ(full.substr(split), c.fileName);
    ASSERT_TRUE(FullPathDirectory(c.path, directory));
    EXPECT_EQ(directory, full.substr(0, split));
  }
}

// ---- Environment ----------------------------------------------------------------------

TEST(PathUtilsTest, ExpandEnvironmentRules) {
  const std::u16string longValue(3000, u'x');
  ScopedEnv one("GM_PATH_TEST_ONE", u"C:\\Game \u4E2D");
  ScopedEnv two("GM_PATH_TEST_TWO", u"2");
  ScopedEnv nested("GM_PATH_TEST_NESTED", u"%GM_PATH_TEST_TWO%");
  ScopedEnv big("GM_PATH_TEST_LONG", longValue.c_str());
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"%GM_PATH_TEST_ONE%\\x", u"C:\\Game \u4E2D\\x"},
      // Names are looked up without regard to case.
      {u"%gm_path_test_two%%GM_PATH_TEST_TWO%", u"22"},
      // An unknown name stays whole; scanning goes on after its closing '%'.
      {u"%NO_SUCH_VAR%\\x", u"%NO_SUCH_VAR%\\x"},
      {u"%NO_SUCH_VAR%GM_PATH_TEST_TWO%", u"%NO_SUCH_VAR%GM_PATH_TEST_TWO%"},
      // An unfinished name is copied as it stands.
      {u"%GM_PATH_TEST_TWO%%GM_PATH_TEST_TWO", u"2%GM_PATH_TEST_TWO"},
      {u"100%", u"100%"},
      {u"%%", u"%%"},
      {u"no percent", u"no percent"},
      // Values are not expanded again, and '=' never belongs to a name.
      {u"%GM_PATH_TEST_NESTED%", u"%GM_PATH_TEST_TWO%"},
      {u"%GM_PATH_TEST_TWO=x%", u"%GM_PATH_TEST_TWO=x%"},
      {u"[%GM_PATH_TEST_LONG%]", u"[" + longValue + u"]"},
  };
  for (const auto& [text, expanded] : cases) EXPECT_EQ(ExpandEnvironment(text), expanded);
}

}  // namespace
}  // namespace Zavro
