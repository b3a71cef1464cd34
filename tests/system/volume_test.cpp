#include "system/volume.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

TEST(VolumeTest, FileSystemOfAFolder) {
  test::ScratchDir dir;
  VolumeInfo info;
  ASSERT_TRUE(QueryVolume(VolumeRootOf(dir.Join(u"not\\yet\\there")), info));
  EXPECT_TRUE(info.volumeInfoValid);
  EXPECT_FALSE(info.fileSystemName.empty());
  // An empty root fails and leaves the record as it was.
  info.fileSystemName = u"kept";
  EXPECT_FALSE(QueryVolume(u"", info));
  EXPECT_EQ(info.fileSystemName, u"kept");
}

TEST(VolumeTest, FatTypesByTheirClusterCount) {
  // FAT12 and FAT16 are both "FAT".
  EXPECT_EQ(FatFileSystemName(4084), u"FAT");
  EXPECT_EQ(FatFileSystemName(65524), u"FAT");
  EXPECT_EQ(FatFileSystemName(65525), u"FAT32");
}

}  // namespace
}  // namespace Zavro
