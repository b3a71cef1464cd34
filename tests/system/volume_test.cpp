#include "system/volume.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

TEST(VolumeTest, VolumeOfAFolder) {
  test::ScratchDir dir;
  VolumeInfo info;
  ASSERT_TRUE(QueryVolume(VolumeRootOf(dir.Join(u"not\\yet\\there")), info));
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
  info.volumeInfoValid = true;
  EXPECT_FALSE(QueryVolume(u"", info));
  EXPECT_EQ(info.fileSystemName, u"kept");
  EXPECT_TRUE(info.volumeInfoValid);
}

TEST(VolumeTest, FatTypesByTheirClusterCount) {
  for (const auto& [clusters, name] : {std::pair<uint64_t, const char16_t*>{1, u"FAT"},
                                       {4084, u"FAT"},    // FAT12
                                       {65524, u"FAT"},   // FAT16
                                       {65525, u"FAT32"},
                                       {268435445, u"FAT32"}}) {
    EXPECT_EQ(FatFileSystemName(clusters), name) << clusters;
  }
}

}  // namespace
}  // namespace Zavro
