// The POSIX side of the file system functions: links, permission bits, times and names
// that are not UTF-8.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "system/file_system.h"
#include "system/system_error.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::ScratchDir;
using test::WriteBytes;

TEST(FileSystemPosixTest, SetFileTimes) {
  ScratchDir dir;
  const fs::path file = dir.fs_path() / "file";
  WriteBytes(file, "x");
  // 2001-09-09 01:46:40.1234567 UTC, to the 100 ns the format keeps.
  const FileTime write((1000000000ULL + kFileTimeUnixEpochSeconds) * kFileTimeTicksPerSecond + 1234567);
  ASSERT_TRUE(SetFileTimes(dir.Join(u"file"), nullptr, nullptr, &write));
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456700);

  // Windows opens the file for writing to stamp it, which a read-only file refuses; a
  // read-only folder is stamped all the same.
  fs::permissions(file, fs::perms(0444));
  EXPECT_FALSE(SetFileTimes(dir.Join(u"file"), nullptr, nullptr, &write));
  EXPECT_EQ(LastSystemError(), kErrorAccessDenied);
  fs::create_directory(dir.fs_path() / "sub");
  fs::permissions(dir.fs_path() / "sub", fs::perms(0555));
  EXPECT_TRUE(SetFileTimes(dir.Join(u"sub"), nullptr, nullptr, &write));
}

// A folder whose name has no UTF-16 form can never be the current one, and its
// entries reach the system by their own bytes.
TEST(DeleteTreePosixTest, LinksAreRemovedNeverFollowedAndNamesNeedNotBeUtf8) {
  ScratchDir dir;
  const fs::path outside = dir.fs_path() / "outside";
  const fs::path top = dir.fs_path() / "top";
  fs::create_directories(outside);
  fs::create_directories(top / "sub\xff" / "deeper");
  WriteBytes(outside / "keep.txt", "keep");
  WriteBytes(top / "sub\xff" / "own\xfe", "x");
  fs::create_directory_symlink(outside, top / "folder-link");
  fs::create_symlink(outside / "keep.txt", top / "sub\xff" / "file-link");
  fs::create_symlink("/no/such/target", top / "dangling");
  fs::permissions(top / "sub\xff", fs::perms(0500));

  // Three links, one file, three folders.
  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 7u);
  EXPECT_FALSE(fs::exists(fs::symlink_status(top)));
  EXPECT_EQ(test::ReadBytes(outside / "keep.txt"), "keep");

  // A link given as the folder itself is removed, and what it points to stays.
  fs::create_directory_symlink(outside, dir.fs_path() / "top-link");
  EXPECT_EQ(DeleteTree(dir.Join(u"top-link\\")), 1u);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir.fs_path() / "top-link")));
  EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

}  // namespace
}  // namespace Zavro
