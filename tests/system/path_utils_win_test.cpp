// The Windows side of the disk path functions, checked against the system's own
// calls: held-open files, attributes and names. (Wine makes no symbolic links, so the
// rule that links are never followed is checked natively; times set by SetFileTimes
// are checked through extraction.)
#include "system/file_system.h"

#include <gtest/gtest.h>

#include "system/system_error.h"
#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::ScratchDir;
using test::WriteBytes;

TEST(DeleteTreeWinTest, HeldOpenFileIsSkippedWithTheFoldersAboveIt) {
  ScratchDir dir;
  const fs::path top = dir.fs_path() / "top";
  fs::create_directories(top / "sub");
  fs::create_directories(top / "other");
  WriteBytes(top / "a.txt", "a");
  WriteBytes(top / "sub" / "locked.txt", "l");
  WriteBytes(top / "sub" / "b.txt", "b");
  WriteBytes(top / "other" / "c.txt", "c");

  {
    // Open without delete sharing: nobody can remove the file while it is held.
    ScopedFileHandle held(CreateFileW(W(dir.Join(u"top\\sub\\locked.txt")), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    // a.txt, b.txt, c.txt and other.
    EXPECT_EQ(DeleteTree(dir.Join(u"top")), 4u);
    EXPECT_TRUE(fs::exists(top / "sub" / "locked.txt"));
  }
  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 3u);
}

TEST(DeleteTreeWinTest, ReadOnlyHiddenAndSystemEntriesGoToo) {
  ScratchDir dir;
  const fs::path top = dir.fs_path() / "top";
  fs::create_directories(top / "sub" / "deeper");
  WriteBytes(top / "sub" / "ro.txt", "r");
  WriteBytes(top / "sub" / "deeper" / "hs.txt", "h");
  ASSERT_TRUE(SetFileAttributesW(W(dir.Join(u"top\\sub\\ro.txt")), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(SetFileAttributesW(W(dir.Join(u"top\\sub\\deeper\\hs.txt")),
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(SetFileAttributesW(W(dir.Join(u"top\\sub\\deeper")), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesW(W(dir.Join(u"top\\sub")), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM));
  // Wine keeps the hidden and system attributes of a folder but not its read-only
  // one; Windows keeps all three, and the folder must lose them to be removed.
  ASSERT_NE(GetFileAttributesW(W(dir.Join(u"top\\sub"))) & FILE_ATTRIBUTE_SYSTEM, 0u);

  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 5u);
  EXPECT_FALSE(fs::exists(top));
}

TEST(PathUtilsWinTest, SamePathsCompareWithoutRegardToCase) {
  EXPECT_TRUE(IsSamePath(u"C:\\Src\\OUT.gmz", u"c:\\src\\out.GMZ"));
  EXPECT_TRUE(IsSamePath(u"C:\\\u00C4", u"C:\\\u00E4"));
  EXPECT_FALSE(IsSamePath(u"C:\\a", u"C:\\a\\"));
}

}  // namespace
}  // namespace Zavro
