// The Windows side of the file system functions, checked against the system's own
// calls. (Wine makes no symbolic links, so the rule that links are never followed is
// checked natively; times set by SetFileTimes are checked through extraction.)
#include "system/file_system.h"

#include <gtest/gtest.h>

#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;

TEST(DeleteTreeWinTest, HeldOpenFileIsSkippedWithTheFoldersAboveIt) {
  test::ScratchDir dir;
  const fs::path top = dir.fs_path() / "top";
  fs::create_directories(top / "sub");
  fs::create_directories(top / "other");
  for (const char* name : {"a.txt", "sub/locked.txt", "sub/b.txt", "other/c.txt"}) test::WriteBytes(top / name, "x");
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

TEST(FileSystemWinTest, SamePathsCompareWithoutRegardToCase) {
  EXPECT_TRUE(IsSamePath(u"C:\\Src\\OUT.gmz", u"c:\\src\\out.GMZ"));
  EXPECT_TRUE(IsSamePath(u"C:\\\u00C4", u"C:\\\u00E4"));
  EXPECT_FALSE(IsSamePath(u"C:\\a", u"C:\\a\\"));
}

}  // namespace
}  // namespace Zavro
