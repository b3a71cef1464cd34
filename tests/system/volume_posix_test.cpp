#include <gtest/gtest.h>

#include "system/volume.h"

namespace Zavro {
namespace {

TEST(VolumePosixTest, FileSystemFromTheMountTable) {
  VolumeInfo info;
  ASSERT_TRUE(QueryVolume(u"\\proc\\self\\not\\yet\\there\\", info));
  EXPECT_EQ(info.fileSystemName, u"proc");
  EXPECT_EQ(info.displayName, u"\\proc");
  // Without an existing ancestor (a drive root means nothing here) the record is
  // emptied, like that of a drive letter without a volume.
  ASSERT_TRUE(QueryVolume(u"Q:\\", info));
  EXPECT_FALSE(info.volumeInfoValid);
  EXPECT_EQ(info.fileSystemName, u"");
  EXPECT_EQ(info.displayName, u"");
}

}  // namespace
}  // namespace Zavro
