#include <gtest/gtest.h>

#include "system/volume.h"
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
}

}  // namespace
}  // namespace Zavro
