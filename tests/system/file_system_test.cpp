#include "system/file_system.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>

#include "system/system_error.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::CurrentDirGuard;
using test::ScratchDir;
using test::WriteBytes;

// Every disk function refuses an empty path, and one that a NUL would cut short to an
// existing file or folder.
TEST(FileSystemTest, EmptyAndCutArgumentsFail) {
  ScratchDir dir;
  CurrentDirGuard guard;
  WriteBytes(dir.fs_path() / "file", "x");
  fs::create_directory(dir.fs_path() / "keep");
  WriteBytes(dir.fs_path() / "keep" / "sentinel", "x");
  // An empty name must never turn into the current folder.
  fs::current_path(dir.fs_path() / "keep");
  const std::u16string tail(u"\0\\tail", 6);
  const std::u16string cuts[] = {dir.Join(u"file") + tail, dir.Join(u"keep") + tail};
  std::u16string out = u"unchanged";
  size_t split = 7;
  const std::function<bool(const std::u16string&)> calls[] = {
      PathExists,
      [](const std::u16string& p) { return SetPathAttributes(p, 0); },
      CreateDirectoryTree,
      DeleteFileForced,
      [&](const std::u16string& p) { return FullPath(p, out, split) || !out.empty() || split != 0; },
      [&](const std::u16string& p) { return TempFileName(p, u"gm", out) || !out.empty(); },
      [](const std::u16string& p) { return SetFileTimes(p, nullptr, nullptr, nullptr); },
      [](const std::u16string& p) { return DeleteTree(p) != 0; },
  };
  for (size_t i = 0; i < std::size(calls); ++i) {
    EXPECT_FALSE(calls[i](u"")) << i;
    EXPECT_EQ(LastSystemError(), kErrorPathNotFound) << i;
    for (const std::u16string& cut : cuts) {
      EXPECT_FALSE(calls[i](cut)) << i;
      EXPECT_EQ(LastSystemError(), kErrorInvalidName) << i;
    }
  }
  EXPECT_TRUE(fs::is_regular_file(dir.fs_path() / "file"));
  EXPECT_TRUE(fs::is_regular_file(dir.fs_path() / "keep" / "sentinel"));
}

TEST(FileSystemTest, CreateDirectoryTree) {
  ScratchDir dir;
  // Both separators, a trailing one, and folders that exist already.
  EXPECT_TRUE(CreateDirectoryTree(dir.Join(u"a\\b/c\\")));
  EXPECT_TRUE(fs::is_directory(dir.fs_path() / "a" / "b" / "c"));
  EXPECT_TRUE(CreateDirectoryTree(dir.Join(u"a\\b")));
  // A file in the way: as the whole path, or on the way.
  WriteBytes(dir.fs_path() / "file", "x");
  EXPECT_FALSE(CreateDirectoryTree(dir.Join(u"file")));
  EXPECT_FALSE(CreateDirectoryTree(dir.Join(u"file\\sub")));
}

TEST(DeleteTreeTest, CountsEverythingRemovedWhateverItsAttributes) {
  ScratchDir dir;
  CurrentDirGuard guard;
  const fs::path top = dir.fs_path() / "top";
  fs::create_directories(top / "sub" / "deeper");
  fs::create_directories(top / "empty");
  WriteBytes(top / "a.txt", "a");
  WriteBytes(top / "sub" / "b.txt", "b");
  WriteBytes(top / "sub" / "deeper" / ".hidden", "h");
  // Windows refuses to remove a read-only file or folder; on POSIX read-only takes away
  // the write permission a folder needs for what is in it to be removed.
  for (const char16_t* path : {u"top\\sub\\b.txt", u"top\\sub\\deeper\\.hidden", u"top\\sub", u"top"}) {
    ASSERT_TRUE(
        SetPathAttributes(dir.Join(path), kFileAttributeReadonly | kFileAttributeHidden | kFileAttributeSystem));
  }
  // Each folder on the way out that is the current one moves the process to its parent.
  fs::current_path(top / "sub" / "deeper");
  // 3 files and 4 folders (top, sub, deeper, empty); trailing separators do not matter.
  EXPECT_EQ(DeleteTree(dir.Join(u"top\\/")), 7u);
  EXPECT_FALSE(fs::exists(top));
  EXPECT_EQ(test::SysPath(fs::current_path()), dir.path());

  EXPECT_EQ(DeleteTree(dir.Join(u"missing")), 0u);
  // A file is not a folder to remove.
  WriteBytes(dir.fs_path() / "file", "x");
  EXPECT_EQ(DeleteTree(dir.Join(u"file")), 0u);
  EXPECT_TRUE(fs::exists(dir.fs_path() / "file"));
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

TEST(FileSystemTest, FullPathOfAbsoluteAndRelativePaths) {
  ScratchDir dir;
  CurrentDirGuard guard;
  fs::current_path(dir.fs_path());
  const std::u16string base = dir.path();
  const std::u16string longName(700, u'a');
  const struct {
    std::u16string path;
    std::u16string full;
    std::u16string fileName;
  } cases[] = {
      {base + u"/sub/..\\.\\\\x.txt", base + u"\\x.txt", u"x.txt"},
      // Relative, and with no file name part.
      {u"..\\" + test::SysPath(dir.fs_path().filename()) + u"\\d\\", base + u"\\d\\", u""},
      // Longer than any fixed buffer would take.
      {longName + u"\\f.bin", base + u"\\" + longName + u"\\f.bin", u"f.bin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.path));
    std::u16string full;
    size_t split = 0;
    ASSERT_TRUE(FullPath(c.path, full, split));
    EXPECT_EQ(full, c.full);
    EXPECT_EQ(full.substr(split), c.fileName);
  }
}

}  // namespace
}  // namespace Zavro
