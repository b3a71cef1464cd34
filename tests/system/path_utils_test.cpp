#include "system/path_utils.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <set>

#include "system/system_error.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::CurrentDirGuard;
using test::ScratchDir;
using test::U;
using test::WriteBytes;

void MakeReadOnly(const fs::path& path) {
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  ASSERT_EQ(fs::status(path).permissions() & fs::perms::owner_write, fs::perms::none) << path;
}

bool IsReadOnly(const fs::path& path) {
  return (fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
}

// FILETIME for a moment given in seconds since 1970.
FileTime FileTimeAt(int64_t unixSeconds) {
  return FileTime(static_cast<uint64_t>(unixSeconds + kFileTimeUnixEpochSeconds) * kFileTimeTicksPerSecond);
}

// ---- Existence and attributes ----------------------------------------------------

TEST(PathUtilsTest, ExistenceTests) {
  ScratchDir dir;
  fs::create_directory(dir.fs_path() / "sub");
  WriteBytes(dir.fs_path() / "file.txt", "x");

  const std::u16string sub = dir.Join(u"sub");
  const std::u16string file = dir.Join(u"file.txt");
  const std::u16string missing = dir.Join(u"missing");

  EXPECT_TRUE(PathExists(sub));
  EXPECT_TRUE(IsDirectory(sub));
  EXPECT_FALSE(IsFile(sub));
  EXPECT_TRUE(PathExists(file));
  EXPECT_TRUE(IsFile(file));
  EXPECT_FALSE(IsDirectory(file));
  EXPECT_FALSE(PathExists(missing));
  EXPECT_FALSE(IsDirectory(missing));
  EXPECT_FALSE(IsFile(missing));

  // Quotes and trailing separators are taken off first.
  EXPECT_TRUE(IsDirectory(u"\"" + sub + u"\\\""));
  EXPECT_TRUE(IsDirectory(sub + u"\\/"));
  EXPECT_TRUE(IsFile(u"\"" + file + u"\""));
  // Forward slashes name the same things.
  EXPECT_TRUE(IsDirectory(test::SysPath(dir.fs_path()) + u"/sub"));
}

TEST(PathUtilsTest, AttributesFollowTheReadOnlyState) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "file.txt", "x");
  fs::create_directory(dir.fs_path() / "sub");
  const std::u16string file = dir.Join(u"file.txt");

  uint32_t attributes = GetPathAttributes(file);
  ASSERT_NE(attributes, kInvalidFileAttributes);
  EXPECT_EQ(attributes & (kFileAttributeDirectory | kFileAttributeReadonly), 0u);
  EXPECT_NE(GetPathAttributes(dir.Join(u"sub")) & kFileAttributeDirectory, 0u);

  MakeReadOnly(dir.fs_path() / "file.txt");
  EXPECT_NE(GetPathAttributes(file) & kFileAttributeReadonly, 0u);

  ASSERT_TRUE(SetPathAttributes(file, kFileAttributeArchive));
  EXPECT_FALSE(IsReadOnly(dir.fs_path() / "file.txt"));
  ASSERT_TRUE(SetPathAttributes(file, kFileAttributeReadonly | kFileAttributeArchive));
  EXPECT_TRUE(IsReadOnly(dir.fs_path() / "file.txt"));

  EXPECT_EQ(GetPathAttributes(dir.Join(u"missing")), kInvalidFileAttributes);
  EXPECT_EQ(LastSystemError(), kErrorFileNotFound);
  EXPECT_FALSE(SetPathAttributes(dir.Join(u"missing"), kFileAttributeArchive));
}

// ---- Creating and deleting --------------------------------------------------------

TEST(PathUtilsTest, CreateDirectoryTreeMakesEveryLevel) {
  ScratchDir dir;
  EXPECT_TRUE(CreateDirectoryTree(dir.Join(u"a\\b\\c")));
  EXPECT_TRUE(fs::is_directory(dir.fs_path() / "a" / "b" / "c"));

  // Both separators, and a trailing one.
  EXPECT_TRUE(CreateDirectoryTree(dir.Join(u"x/y\\z\\")));
  EXPECT_TRUE(fs::is_directory(dir.fs_path() / "x" / "y" / "z"));

  // Existing folders are fine.
  EXPECT_TRUE(CreateDirectoryTree(dir.Join(u"a\\b")));
  EXPECT_TRUE(CreateDirectoryTree(dir.path()));
}

TEST(PathUtilsTest, CreateDirectoryTreeFailsOverFiles) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "file", "x");
  // The whole path is a file: it exists, but is no folder.
  EXPECT_FALSE(CreateDirectoryTree(dir.Join(u"file")));
  // A file on the way: the last step fails.
  EXPECT_FALSE(CreateDirectoryTree(dir.Join(u"file\\sub")));
  EXPECT_FALSE(fs::exists(dir.fs_path() / "file" / "sub"));
}

TEST(PathUtilsTest, DeleteFileForcedClearsReadOnly) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "ro.txt", "x");
  WriteBytes(dir.fs_path() / "rw.txt", "x");
  MakeReadOnly(dir.fs_path() / "ro.txt");
  fs::create_directory(dir.fs_path() / "sub");

  EXPECT_TRUE(DeleteFileForced(dir.Join(u"ro.txt")));
  EXPECT_FALSE(fs::exists(dir.fs_path() / "ro.txt"));
  EXPECT_TRUE(DeleteFileForced(dir.Join(u"rw.txt")));
  EXPECT_FALSE(fs::exists(dir.fs_path() / "rw.txt"));

  EXPECT_FALSE(DeleteFileForced(dir.Join(u"missing.txt")));
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
  WriteBytes(top / "sub" / "deeper" / "c.txt", "c");
  WriteBytes(top / "sub" / "deeper" / ".hidden", "h");
  MakeReadOnly(top / "ro.txt");
  MakeReadOnly(top / "sub" / "b.txt");

  // 5 files and 4 folders (top, sub, deeper, empty).
  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 9u);
  EXPECT_FALSE(fs::exists(top));
  EXPECT_TRUE(fs::is_directory(dir.fs_path()));
}

TEST(DeleteTreeTest, TrailingSeparatorsAndMissingFolders) {
  ScratchDir dir;
  fs::create_directories(dir.fs_path() / "top" / "sub");
  WriteBytes(dir.fs_path() / "top" / "sub" / "f", "f");
  EXPECT_EQ(DeleteTree(dir.Join(u"top\\/")), 3u);
  EXPECT_FALSE(fs::exists(dir.fs_path() / "top"));

  fs::create_directory(dir.fs_path() / "empty");
  EXPECT_EQ(DeleteTree(dir.Join(u"empty")), 1u);
  EXPECT_FALSE(fs::exists(dir.fs_path() / "empty"));

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

TEST(DeleteTreeTest, UnusableArgumentsRemoveNothing) {
  ScratchDir dir;
  CurrentDirGuard guard;
  fs::create_directory(dir.fs_path() / "keep");
  WriteBytes(dir.fs_path() / "keep" / "sentinel", "x");
  // An empty name must never turn into the current folder.
  fs::current_path(dir.fs_path() / "keep");
  EXPECT_EQ(DeleteTree(u""), 0u);
  EXPECT_TRUE(fs::exists(dir.fs_path() / "keep" / "sentinel"));

  // A NUL inside a name would cut it short at the system: refused as a whole.
  std::u16string cut = dir.Join(u"keep");
  cut.push_back(u'\0');
  cut += u"\\other";
  EXPECT_EQ(DeleteTree(cut), 0u);
  EXPECT_EQ(LastSystemError(), kErrorInvalidName);
  EXPECT_TRUE(fs::exists(dir.fs_path() / "keep" / "sentinel"));
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

TEST(PathUtilsTest, EmptyAndCutArgumentsFail) {
  std::u16string full = u"unchanged";
  size_t split = 7;
  std::u16string name = u"unchanged";
  EXPECT_FALSE(PathExists(u""));
  EXPECT_FALSE(IsDirectory(u""));
  EXPECT_FALSE(IsFile(u""));
  EXPECT_FALSE(PathExists(u"\"\""));
  EXPECT_EQ(GetPathAttributes(u""), kInvalidFileAttributes);
  EXPECT_FALSE(SetPathAttributes(u"", 0));
  EXPECT_FALSE(CreateDirectoryTree(u""));
  EXPECT_FALSE(DeleteFileForced(u""));
  EXPECT_FALSE(FullPath(u"", full, split));
  EXPECT_EQ(full, u"");
  EXPECT_EQ(split, 0u);
  EXPECT_FALSE(FullPathDirectory(u"", full));
  EXPECT_EQ(full, u"");
  EXPECT_FALSE(TempFileName(u"", u"gm", name));
  EXPECT_EQ(name, u"");
  EXPECT_FALSE(SetFileTimes(u"", nullptr, nullptr, nullptr));
  EXPECT_EQ(ExpandEnvironment(u""), u"");

  ScratchDir dir;
  WriteBytes(dir.fs_path() / "file", "x");
  std::u16string cut = dir.Join(u"file");
  cut.push_back(u'\0');
  cut += u"tail";
  EXPECT_FALSE(PathExists(cut));
  EXPECT_EQ(LastSystemError(), kErrorInvalidName);
  EXPECT_FALSE(DeleteFileForced(cut));
  EXPECT_TRUE(fs::exists(dir.fs_path() / "file"));
  EXPECT_FALSE(CreateDirectoryTree(cut));
}

// ---- Names ---------------------------------------------------------------------------

TEST(PathUtilsTest, TempFileNameCreatesUniqueEmptyFiles) {
  ScratchDir dir;
  std::set<std::u16string> names;
  for (int i = 0; i < 5; ++i) {
    std::u16string name;
    ASSERT_TRUE(TempFileName(dir.path(), u"gmzip", name));
    EXPECT_TRUE(names.insert(name).second);
    // Directory, separator, the first three units of the prefix, a hex number, ".tmp".
    const std::u16string head = dir.path() + u"\\gmz";
    ASSERT_GT(name.size(), head.size() + 4);
    EXPECT_EQ(name.substr(0, head.size()), head);
    EXPECT_EQ(name.substr(name.size() - 4), u".tmp");
    std::u16string number = name.substr(head.size(), name.size() - head.size() - 4);
    EXPECT_LE(number.size(), 4u);
    EXPECT_EQ(number.find_first_not_of(u"0123456789ABCDEFabcdef"), std::u16string::npos) << number.size();
    EXPECT_TRUE(fs::is_regular_file(test::FsPath(name)));
    EXPECT_EQ(fs::file_size(test::FsPath(name)), 0u);
  }

  // A directory that already ends with a separator gets no second one; an empty
  // prefix is allowed.
  std::u16string name;
  ASSERT_TRUE(TempFileName(dir.path() + u"\\", u"", name));
  EXPECT_EQ(name.substr(0, dir.path().size() + 1), dir.path() + u"\\");
  EXPECT_NE(name[dir.path().size() + 1], u'\\');

  EXPECT_FALSE(TempFileName(dir.Join(u"missing"), u"gm", name));
  EXPECT_EQ(name, u"");
}

TEST(PathUtilsTest, SetFileTimesStampsFilesAndFolders) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "a", "a");
  WriteBytes(dir.fs_path() / "b", "b");
  fs::create_directory(dir.fs_path() / "sub");

  const int64_t when = 1623758400;  // 2021-06-15 12:00:00 UTC
  const FileTime t1 = FileTimeAt(when);
  // Whole seconds: the standard library reads times to the second on Windows.
  const FileTime t2 = FileTimeAt(when + 2);
  ASSERT_TRUE(SetFileTimes(dir.Join(u"a"), &t1, &t1, &t1));
  ASSERT_TRUE(SetFileTimes(dir.Join(u"b"), nullptr, nullptr, &t2));
  const auto a = fs::last_write_time(dir.fs_path() / "a");
  const auto b = fs::last_write_time(dir.fs_path() / "b");
  // The exact values are checked against the system in the platform tests.
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count(), 2000);

  // Null times stay as they are.
  ASSERT_TRUE(SetFileTimes(dir.Join(u"a"), &t2, &t2, nullptr));
  EXPECT_EQ(fs::last_write_time(dir.fs_path() / "a"), a);
  ASSERT_TRUE(SetFileTimes(dir.Join(u"a"), nullptr, nullptr, nullptr));
  EXPECT_EQ(fs::last_write_time(dir.fs_path() / "a"), a);

  // Folders are stamped too.
  ASSERT_TRUE(SetFileTimes(dir.Join(u"sub"), nullptr, nullptr, &t1));
  EXPECT_EQ(fs::last_write_time(dir.fs_path() / "sub"), a);

  EXPECT_FALSE(SetFileTimes(dir.Join(u"missing"), nullptr, nullptr, &t1));
  EXPECT_EQ(LastSystemError(), kErrorFileNotFound);
}

TEST(PathUtilsTest, FullPathOfAbsoluteAndRelativePaths) {
  ScratchDir dir;
  CurrentDirGuard guard;
  const std::u16string base = dir.path();
  std::u16string full;
  size_t split = 0;

  ASSERT_TRUE(FullPath(base + u"\\sub\\..\\.\\x.txt", full, split));
  EXPECT_EQ(full, base + u"\\x.txt");
  EXPECT_EQ(split, base.size() + 1);

  ASSERT_TRUE(FullPath(base + u"/a/b.txt", full, split));
  EXPECT_EQ(full, base + u"\\a\\b.txt");
  EXPECT_EQ(full.substr(split), u"b.txt");

  ASSERT_TRUE(FullPath(base + u"\\a\\\\b", full, split));
  EXPECT_EQ(full, base + u"\\a\\b");

  // A trailing separator: no file name part.
  ASSERT_TRUE(FullPath(base + u"\\d\\", full, split));
  EXPECT_EQ(full, base + u"\\d\\");
  EXPECT_EQ(split, full.size());

  fs::current_path(dir.fs_path());
  ASSERT_TRUE(FullPath(u"a\\b.txt", full, split));
  EXPECT_EQ(full, base + u"\\a\\b.txt");
  EXPECT_EQ(split, base.size() + 3);
  ASSERT_TRUE(FullPath(u"..\\" + test::SysPath(dir.fs_path().filename()) + u"\\c", full, split));
  EXPECT_EQ(full, base + u"\\c");

  std::u16string directory;
  ASSERT_TRUE(FullPathDirectory(u"sub\\file.txt", directory));
  EXPECT_EQ(directory, base + u"\\sub\\");
  ASSERT_TRUE(FullPathDirectory(base + u"\\file.txt", directory));
  EXPECT_EQ(directory, base + u"\\");
}

TEST(PathUtilsTest, FullPathOfLongPaths) {
  ScratchDir dir;
  CurrentDirGuard guard;
  std::u16string relative;
  for (int i = 0; i < 14; ++i) relative += std::u16string(50, static_cast<char16_t>(u'a' + i)) + u"\\";
  relative += u"file.bin";
  ASSERT_GT(relative.size(), 700u);

  std::u16string full;
  size_t split = 0;
  ASSERT_TRUE(FullPath(dir.path() + u"\\" + relative, full, split));
  EXPECT_EQ(full, dir.path() + u"\\" + relative);
  EXPECT_EQ(full.substr(split), u"file.bin");

  fs::current_path(dir.fs_path());
  ASSERT_TRUE(FullPath(relative, full, split));
  EXPECT_EQ(full, dir.path() + u"\\" + relative);
  std::u16string directory;
  ASSERT_TRUE(FullPathDirectory(relative, directory));
  EXPECT_EQ(directory, full.substr(0, full.size() - 8));
}

TEST(PathUtilsTest, ModuleFilePathNamesThisProgram) {
  const std::u16string self = ModuleFilePath();
  ASSERT_FALSE(self.empty());
  EXPECT_TRUE(IsFile(self));
  EXPECT_TRUE(IsAbsolutePath(self) || self[0] == u'\\');
  EXPECT_NE(FileNamePart(self).find(u"gm_tests"), std::u16string::npos);
  EXPECT_EQ(ModuleFilePath(nullptr), self);
}

// ---- Environment ----------------------------------------------------------------------

TEST(PathUtilsTest, ExpandEnvironmentFromTheProcessEnvironment) {
  const char* path = std::getenv("PATH");
  if (path == nullptr || *path == 0) GTEST_SKIP() << "no PATH in the environment";
  const std::u16string value = U(path);

  EXPECT_EQ(ExpandEnvironment(u"%PATH%"), value);
  EXPECT_EQ(ExpandEnvironment(u"<%PATH%>"), u"<" + value + u">");
  // Names are looked up without regard to case, as Windows does.
  EXPECT_EQ(ExpandEnvironment(u"%Path%;%path%"), value + u";" + value);

  // Unknown names stay as written.
  EXPECT_EQ(ExpandEnvironment(u"%NO_SUCH_VAR%\\x"), u"%NO_SUCH_VAR%\\x");
  EXPECT_EQ(ExpandEnvironment(u"%NO_SUCH_VAR%%PATH%"), u"%NO_SUCH_VAR%" + value);
  // An unfinished name is copied as it stands.
  EXPECT_EQ(ExpandEnvironment(u"%PATH%%PATH"), value + u"%PATH");
  EXPECT_EQ(ExpandEnvironment(u"100%"), u"100%");
  EXPECT_EQ(ExpandEnvironment(u"%"), u"%");
  EXPECT_EQ(ExpandEnvironment(u"no percent"), u"no percent");
}

}  // namespace
}  // namespace Zavro
