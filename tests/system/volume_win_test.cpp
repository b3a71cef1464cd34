#include <gtest/gtest.h>

#include "system/volume.h"
#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

TEST(VolumeWinTest, RootOfTheFullPath) {
  test::ScratchDir dir;
  test::CurrentDirGuard guard;
  test::fs::current_path(dir.fs_path());
  // A relative path lies on the current folder's volume, a share path on its share.
  EXPECT_EQ(VolumeRootOf(u"sub\\x"), dir.path().substr(0, 3));
  EXPECT_EQ(VolumeRootOf(u"\\\\srv\\share\\x\\y"), u"\\\\srv\\share\\");
  EXPECT_EQ(VolumeRootOf(u"//srv/share"), u"\\\\srv\\share\\");
  EXPECT_EQ(VolumeRootOf(u"D:\\Games\\x"), u"D:\\");
}

TEST(VolumeWinTest, DriveLetterWithoutVolume) {
  const DWORD drives = GetLogicalDrives();
  char16_t letter = 0;
  for (char16_t c = u'Y'; c >= u'D'; --c) {
    if ((drives & (1u << (c - u'A'))) == 0) {
      letter = c;
      break;
    }
  }
  if (letter == 0) GTEST_SKIP() << "every drive letter is in use";

  VolumeInfo info;
  info.clusterSize = 7;
  info.fileSystemName = u"stale";
  ASSERT_TRUE(QueryVolume(std::u16string(1, letter) + u":\\", info));
  EXPECT_FALSE(info.volumeInfoValid);
  EXPECT_EQ(info.fileSystemName, u"");
  EXPECT_EQ(info.clusterSize, 0u);
  EXPECT_EQ(info.totalBytes, 0u);
  EXPECT_EQ(info.freeBytes, 0u);
}

}  // namespace
}  // namespace Zavro
