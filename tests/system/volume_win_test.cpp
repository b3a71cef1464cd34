#include <gtest/gtest.h>

#include "system/volume.h"
#include "system/windows_support.h"

namespace Zavro {
namespace {

TEST(VolumeWinTest, SystemDriveAsTheSystemReportsIt) {
  wchar_t windows[MAX_PATH] = {};
  ASSERT_NE(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::u16string root = std::u16string(1, static_cast<char16_t>(windows[0])) + u":\\";

  VolumeInfo info;
  ASSERT_TRUE(QueryVolume(root, info));
  EXPECT_FALSE(info.displayName.empty());
  EXPECT_FALSE(info.typeName.empty());
  EXPECT_TRUE(info.volumeInfoValid);

  wchar_t fileSystem[MAX_PATH + 1] = {};
  ASSERT_TRUE(GetVolumeInformationW(W(root), nullptr, 0, nullptr, nullptr, nullptr, fileSystem, MAX_PATH));
  EXPECT_EQ(info.fileSystemName, U16(fileSystem));
  DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceW(W(root), &sectors, &bytes, &freeClusters, &clusters));
  EXPECT_EQ(info.clusterSize, sectors * bytes);
  EXPECT_EQ(info.totalBytes, uint64_t{clusters} * bytes * sectors);
  EXPECT_NE(info.clusterSize, 0u);
  EXPECT_LE(info.freeBytes, info.totalBytes);
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
