#include "system/volume.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

using test::ScratchDir;

// What the reader passes for a folder: its drive root where the path has a drive
// letter, the folder itself otherwise.
std::u16string VolumeRootOf(const std::u16string& folder) {
  if (folder.size() >= 2 && folder[1] == u':') return folder.substr(0, 2) + u"\\";
  return folder;
}

TEST(VolumeTest, ScratchFolderVolume) {
  ScratchDir dir;
  VolumeInfo info;
  ASSERT_TRUE(QueryVolume(VolumeRootOf(dir.path()), info));
  EXPECT_TRUE(info.volumeInfoValid);
  EXPECT_FALSE(info.fileSystemName.empty());
  EXPECT_FALSE(info.displayName.empty());
  EXPECT_NE(info.clusterSize, 0u);
  EXPECT_GT(info.totalBytes, 0u);
  EXPECT_LE(info.freeBytes, info.totalBytes);
  // Sizes are whole clusters.
  EXPECT_EQ(info.totalBytes % info.clusterSize, 0u);
  EXPECT_EQ(info.freeBytes % info.clusterSize, 0u);
}

TEST(VolumeTest, EmptyRootFailsAndLeavesTheRecord) {
  VolumeInfo info;
  info.fileSystemName = u"kept";
  info.clusterSize = 7;
  info.volumeInfoValid = true;
  EXPECT_FALSE(QueryVolume(u"", info));
  EXPECT_EQ(info.fileSystemName, u"kept");
  EXPECT_EQ(info.clusterSize, 7u);
  EXPECT_TRUE(info.volumeInfoValid);
}

}  // namespace
}  // namespace Zavro
