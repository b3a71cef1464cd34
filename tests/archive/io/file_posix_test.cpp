#include "archive/io/file.h"

#include <gtest/gtest.h>

#include "system/system_error.h"
#include "test_support.h"

// Wine run as root lets a program write a read-only file (it leaves the check to the
// Unix permissions, which root passes), so the Windows rule is checked natively only.

namespace Zavro {
namespace {

using test::ScratchDir;

TEST(GMFile, ReadOnlyAttributeForbidsWriting) {
  ScratchDir dir;
  const std::u16string path = dir.Join(u"ro.bin");
  GMFile file;
  // The handle that creates the file with the attribute may still write it; no later
  // one may, whatever the disposition.
  ASSERT_TRUE(file.Open(path, kGenericWrite, 0, kCreateAlways, kFileAttributeReadonly));
  uint32_t written = 0;
  EXPECT_TRUE(file.Write("data", 4, written));
  EXPECT_EQ(written, 4u);
  for (uint32_t disposition : {kOpenExisting, kOpenAlways, kCreateAlways}) {
    EXPECT_FALSE(file.Open(path, kGenericRead | kGenericWrite, 0, disposition, 0)) << disposition;
    EXPECT_EQ(LastSystemError(), kErrorAccessDenied);
  }
  ASSERT_TRUE(file.Open(path, kGenericRead, kFileShareRead, kOpenExisting, 0));
  EXPECT_EQ(test::ReadBytes(dir.fs_path() / "ro.bin"), "data");
  written = 7;
  EXPECT_FALSE(file.Write("x", 1, written));
  EXPECT_EQ(written, 0u);
}

}  // namespace
}  // namespace Zavro
