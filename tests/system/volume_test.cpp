#include "system/volume.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

TEST(VolumeTest, FileSystemOfAFolder) {
  test::ScratchDir dir;
  test::CurrentDirGuard guard;
  test::fs::current_path(dir.fs_path());
  // A folder that does not exist yet, as a full and as a relative path: on Windows the
  // root of the full path (of the current folder), on POSIX the nearest ancestor.
  for (const std::u16string& path : {dir.Join(u"not\\yet\\there"), std::u16string(u".\\not\\yet")}) {
    VolumeInfo info;
    ASSERT_TRUE(QueryVolume(VolumeRootOf(path), info)) << test::Utf8(path);
    EXPECT_TRUE(info.volumeInfoValid) << test::Utf8(path);
    EXPECT_FALSE(info.fileSystemName.empty());
  }
  // An empty root fails and leaves the record as it was.
  VolumeInfo info;
  info.fileSystemName = u"kept";
  EXPECT_FALSE(QueryVolume(u"", info));
  EXPECT_EQ(info.fileSystemName, u"kept");
  // FAT12 and FAT16 are both "FAT"; the format tells FAT32 by its cluster count.
  EXPECT_EQ(FatFileSystemName(65524), u"FAT");
  EXPECT_EQ(FatFileSystemName(65525), u"FAT32");
}

}  // namespace
}  // namespace Zavro
