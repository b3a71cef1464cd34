// The POSIX side of the disk path functions: links, permission bits, times, and paths
// longer than Windows' fixed limits.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "system/path_utils.h"
#include "system/system_error.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::CurrentDirGuard;
using test::ScratchDir;
using test::WriteBytes;

mode_t ModeOf(const fs::path& path) {
  struct stat st;
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(PathUtilsPosixTest, LinksLookLikeWindowsLinks) {
  ScratchDir dir;
  fs::create_directory(dir.fs_path() / "folder");
  WriteBytes(dir.fs_path() / "file", "x");
  fs::create_directory_symlink(dir.fs_path() / "folder", dir.fs_path() / "folder-link");
  fs::create_symlink(dir.fs_path() / "file", dir.fs_path() / "file-link");
  fs::create_symlink(dir.fs_path() / "gone", dir.fs_path() / "dangling");

  EXPECT_EQ(GetPathAttributes(dir.Join(u"folder-link")), kFileAttributeReparsePoint | kFileAttributeDirectory);
  EXPECT_EQ(GetPathAttributes(dir.Join(u"file-link")), kFileAttributeReparsePoint | kFileAttributeArchive);
  EXPECT_TRUE(IsDirectory(dir.Join(u"folder-link")));
  EXPECT_TRUE(IsFile(dir.Join(u"file-link")));
  // A link exists even when its target does not.
  EXPECT_TRUE(PathExists(dir.Join(u"dangling")));
  EXPECT_TRUE(IsFile(dir.Join(u"dangling")));
}

TEST(PathUtilsPosixTest, ReadOnlyIsTheMissingOwnerWriteBit) {
  ScratchDir dir;
  const fs::path file = dir.fs_path() / "file";
  WriteBytes(file, "x");
  fs::permissions(file, fs::perms(0664));

  ASSERT_TRUE(SetPathAttributes(dir.Join(u"file"), kFileAttributeReadonly));
  EXPECT_EQ(ModeOf(file), 0444u);
  EXPECT_EQ(GetPathAttributes(dir.Join(u"file")), kFileAttributeReadonly | kFileAttributeArchive);
  ASSERT_TRUE(SetPathAttributes(dir.Join(u"file"), kFileAttributeNormal));
  EXPECT_EQ(ModeOf(file), 0644u);
  EXPECT_EQ(GetPathAttributes(dir.Join(u"file")), kFileAttributeArchive);
  // Hidden and system have no POSIX form: setting them changes nothing.
  ASSERT_TRUE(SetPathAttributes(dir.Join(u"file"), kFileAttributeHidden | kFileAttributeSystem));
  EXPECT_EQ(ModeOf(file), 0644u);
}

TEST(PathUtilsPosixTest, SetFileTimesSetsAccessAndWriteToTheNanosecondRange) {
  ScratchDir dir;
  const fs::path file = dir.fs_path() / "file";
  WriteBytes(file, "x");
  // 2001-09-09 01:46:40.1234567 UTC and one second later.
  const FileTime access((1000000000ULL + kFileTimeUnixEpochSeconds) * kFileTimeTicksPerSecond + 1234567);
  const FileTime write(access.value + kFileTimeTicksPerSecond);
  const FileTime creation(42);
  ASSERT_TRUE(SetFileTimes(dir.Join(u"file"), &creation, &access, &write));

  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_atim.tv_nsec, 123456700);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000001);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456700);

  // Only the access time: the write time stays.
  const FileTime later(access.value + 100 * kFileTimeTicksPerSecond);
  ASSERT_TRUE(SetFileTimes(dir.Join(u"file"), nullptr, &later, nullptr));
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000100);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000001);
}

TEST(PathUtilsPosixTest, SetFileTimesRefusesReadOnlyFilesLikeWindows) {
  // Windows opens the file for writing to stamp it, which a read-only file refuses.
  ScratchDir dir;
  const fs::path file = dir.fs_path() / "ro";
  WriteBytes(file, "x");
  fs::permissions(file, fs::perms(0444));
  const FileTime t((1000000000ULL + kFileTimeUnixEpochSeconds) * kFileTimeTicksPerSecond);
  EXPECT_FALSE(SetFileTimes(dir.Join(u"ro"), nullptr, nullptr, &t));
  EXPECT_EQ(LastSystemError(), kErrorAccessDenied);

  // A read-only folder is still stamped, as on Windows.
  fs::create_directory(dir.fs_path() / "sub");
  fs::permissions(dir.fs_path() / "sub", fs::perms(0555));
  EXPECT_TRUE(SetFileTimes(dir.Join(u"sub"), nullptr, nullptr, &t));
  struct stat st;
  ASSERT_EQ(stat((dir.fs_path() / "sub").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST(DeleteTreePosixTest, ReadOnlyFoldersAreEmptiedAndRemoved) {
  ScratchDir dir;
  const fs::path top = dir.fs_path() / "top";
  fs::create_directories(top / "sub" / "deeper");
  WriteBytes(top / "sub" / "deeper" / "f", "f");
  WriteBytes(top / "sub" / "g", "g");
  fs::permissions(top / "sub" / "deeper", fs::perms(0555));
  fs::permissions(top / "sub", fs::perms(0500));
  fs::permissions(top, fs::perms(0555));
  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 5u);
  EXPECT_FALSE(fs::exists(top));
}

TEST(DeleteTreePosixTest, LinksAreRemovedNeverFollowed) {
  ScratchDir dir;
  const fs::path outside = dir.fs_path() / "outside";
  fs::create_directories(outside / "inner");
  WriteBytes(outside / "keep.txt", "keep");
  WriteBytes(outside / "inner" / "keep2.txt", "keep");

  const fs::path top = dir.fs_path() / "top";
  fs::create_directories(top / "sub");
  ASSERT_EQ(symlink(outside.c_str(), (top / "folder-link").c_str()), 0);
  ASSERT_EQ(symlink((outside / "keep.txt").c_str(), (top / "sub" / "file-link").c_str()), 0);
  ASSERT_EQ(symlink("/no/such/target", (top / "dangling").c_str()), 0);
  WriteBytes(top / "sub" / "own.txt", "x");

  // Three links, one file, two folders.
  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 6u);
  EXPECT_FALSE(fs::exists(fs::symlink_status(top)));
  EXPECT_EQ(test::ReadBytes(outside / "keep.txt"), "keep");
  EXPECT_EQ(test::ReadBytes(outside / "inner" / "keep2.txt"), "keep");

  // A link given as the folder itself is removed, and what it points to stays.
  ASSERT_EQ(symlink(outside.c_str(), (dir.fs_path() / "top-link").c_str()), 0);
  EXPECT_EQ(DeleteTree(dir.Join(u"top-link\\")), 1u);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.fs_path() / "top-link")));
  EXPECT_TRUE(fs::exists(outside / "inner" / "keep2.txt"));
}

TEST(DeleteTreePosixTest, DriveRootsAreRefusedHereToo) {
  // "C:" is an ordinary folder name on this system; a macro that expands to a bare drive
  // must still never empty anything.
  ScratchDir dir;
  CurrentDirGuard guard;
  fs::create_directory(dir.fs_path() / "C:");
  WriteBytes(dir.fs_path() / "C:" / "keep", "x");
  fs::current_path(dir.fs_path());
  for (const char16_t* root : {u"C:", u"C:\\", u"C:/", u"C:\\sub\\.."}) {
    EXPECT_EQ(DeleteTree(root), 0u);
    EXPECT_EQ(LastSystemError(), kErrorAccessDenied);
  }
  EXPECT_TRUE(fs::exists(dir.fs_path() / "C:" / "keep"));
}

TEST(DeleteTreePosixTest, NamesThatAreNotUtf8) {
  ScratchDir dir;
  const fs::path top = dir.fs_path() / "top";
  fs::create_directories(top / "sub\xff");
  WriteBytes(top / "sub\xff" / "f\xfe", "x");
  WriteBytes(top / "g\xfe", "x");
  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 4u);
  EXPECT_FALSE(fs::exists(top));
}

TEST(DeleteTreePosixTest, DeepTreesAndLongCurrentFolders) {
  ScratchDir dir;
  CurrentDirGuard guard;
  std::u16string relative = u"top";
  fs::path deepest = dir.fs_path() / "top";
  for (int i = 0; i < 12; ++i) {
    std::string name(60, static_cast<char>('a' + i));
    relative += u"\\" + test::U(name.c_str());
    deepest /= name;
  }
  ASSERT_GT(dir.Join(relative).size(), 600u);
  EXPECT_TRUE(CreateDirectoryTree(dir.Join(relative)));
  ASSERT_TRUE(fs::is_directory(deepest));
  WriteBytes(deepest / "f", "x");

  // The current folder is longer than any fixed buffer would take.
  fs::current_path(deepest);
  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 14u);
  EXPECT_FALSE(fs::exists(dir.fs_path() / "top"));
  EXPECT_EQ(fs::current_path(), dir.fs_path());
}

TEST(PathUtilsPosixTest, FullPathCollapsesText) {
  // Nothing needs to exist; above the root is the root.
  const struct {
    const char16_t* path;
    const char16_t* full;
    size_t split;
  } cases[] = {
      {u"\\a\\..\\..\\b", u"\\b", 1},
      {u"/", u"\\", 1},
      {u"//a//./b/", u"\\a\\b\\", 5},
      {u"\\no\\such\\x.txt", u"\\no\\such\\x.txt", 9},
  };
  for (const auto& c : cases) {
    std::u16string full;
    size_t split = 0;
    ASSERT_TRUE(FullPath(c.path, full, split));
    EXPECT_EQ(full, c.full);
    EXPECT_EQ(split, c.split);
  }
}

TEST(PathUtilsPosixTest, ModulesAndSpecialFolders) {
  EXPECT_EQ(ModuleFilePath(), test::SysPath(fs::read_symlink("/proc/self/exe")));
  int anything = 0;
  EXPECT_EQ(ModuleFilePath(&anything), u"");
  EXPECT_EQ(SpecialFolderPath(kCsidlAppData), u"");
  EXPECT_EQ(SpecialFolderPath(kCsidlProgramFilesX86), u"");
  EXPECT_EQ(AppDataPath(), u"");
}

TEST(PathUtilsPosixTest, TempFileNamesAreUpperCaseHex) {
  ScratchDir dir;
  std::u16string name;
  ASSERT_TRUE(TempFileName(dir.path(), u"ab", name));
  const std::u16string number = name.substr(dir.path().size() + 3, name.size() - dir.path().size() - 7);
  EXPECT_EQ(number.find_first_not_of(u"0123456789ABCDEF"), std::u16string::npos);
  EXPECT_NE(number, u"0");
  EXPECT_EQ(ModeOf(test::FsPath(name)) & 0600, 0600u);
}

}  // namespace
}  // namespace Zavro
