#include <sys/statvfs.h>

#include <gtest/gtest.h>

#include "system/volume.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::ScratchDir;

TEST(VolumePosixTest, AnyFolderBelowTheVolumeWillDo) {
  ScratchDir dir;
  VolumeInfo existing;
  ASSERT_TRUE(QueryVolume(dir.path(), existing));
  ASSERT_TRUE(existing.volumeInfoValid);
  // The mount point in system form, and the mount table's type.
  EXPECT_EQ(existing.displayName[0], u'\\');
  EXPECT_FALSE(existing.typeName.empty());

  struct statvfs st;
  ASSERT_EQ(statvfs(dir.fs_path().c_str(), &st), 0);
  EXPECT_EQ(existing.clusterSize, st.f_frsize);
  EXPECT_EQ(existing.totalBytes, static_cast<uint64_t>(st.f_blocks) * st.f_frsize);

  // A folder that does not exist yet lies on the volume of its nearest ancestor.
  VolumeInfo missing;
  ASSERT_TRUE(QueryVolume(dir.Join(u"not\\yet\\there\\"), missing));
  EXPECT_TRUE(missing.volumeInfoValid);
  EXPECT_EQ(missing.displayName, existing.displayName);
  EXPECT_EQ(missing.fileSystemName, existing.fileSystemName);
  EXPECT_EQ(missing.totalBytes, existing.totalBytes);
}

TEST(VolumePosixTest, FileSystemNamesFromTheMountTable) {
  VolumeInfo info;
  ASSERT_TRUE(QueryVolume(u"\\proc\\self", info));
  EXPECT_TRUE(info.volumeInfoValid);
  EXPECT_EQ(info.fileSystemName, u"proc");
  EXPECT_EQ(info.typeName, u"proc");
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
