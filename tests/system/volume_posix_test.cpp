#include <gtest/gtest.h>

#include "system/volume.h"
#include "test_support.h"

namespace Zavro {
namespace {

TEST(VolumePosixTest, NamesFromTheMountTable) {
  VolumeInfo info;
  ASSERT_TRUE(QueryVolume(u"\\proc\\self", info));
  EXPECT_TRUE(info.volumeInfoValid);
  EXPECT_EQ(info.fileSystemName, u"proc");
  EXPECT_EQ(info.typeName, u"proc");
  EXPECT_EQ(info.displayName, u"\\proc");

  // A folder that does not exist yet lies on the volume of its nearest ancestor.
  ASSERT_TRUE(QueryVolume(u"\\proc\\self\\not\\yet\\there\\", info));
  EXPECT_EQ(info.displayName, u"\\proc");

  ASSERT_TRUE(QueryVolume(u"/", info));
  EXPECT_TRUE(info.volumeInfoValid);
  EXPECT_EQ(info.displayName, u"\\");
}

TEST(VolumePosixTest, NoExistingAncestorGivesAnEmptyRecord) {
  // A drive root means nothing here: like a drive letter without a volume.
  VolumeInfo info;
  info.clusterSize = 7;
  info.fileSystemName = u"stale";
  ASSERT_TRUE(QueryVolume(u"Q:\\", info));
  EXPECT_FALSE(info.volumeInfoValid);
  EXPECT_EQ(info.fileSystemName, u"");
  EXPECT_EQ(info.clusterSize, 0u);
  EXPECT_EQ(info.totalBytes, 0u);
  EXPECT_EQ(info.freeBytes, 0u);
}

}  // namespace
}  // namespace Zavro
