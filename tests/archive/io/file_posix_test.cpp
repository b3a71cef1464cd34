#include "archive/io/file.h"

#include <gtest/gtest.h>

#include "system/system_error.h"
#include "archive/io/file_test_support.h"
#include "test_support.h"

// Wine run as root lets a program write a read-only file (it leaves the check to the
// Unix permissions, which root passes), so the Windows rule is checked natively only.

namespace Zavro {
namespace {

using test::ReadBytes;
using test::ReadSome;
using test::ScratchDir;
using test::WriteBytes;

TEST(GMFile, ReadOnlyAttributeForbidsWriting) {
  ScratchDir dir;
  const std::u16string path = dir.Join(u"ro.bin");
  GMFile file;
  WriteBytes(dir.fs_path() / "ro.bin", "data");
  test::fs::permissions(dir.fs_path() / "ro.bin", test::fs::perms::owner_write |
                        test::fs::perms::group_write | test::fs::perms::others_write,
                        test::fs::perm_options::remove);

  EXPECT_FALSE(file.Open(path, kGenericWrite, 0, kOpenExisting, 0));
  EXPECT_EQ(LastSystemError(), kErrorAccessDenied);
  EXPECT_FALSE(file.Open(path, kGenericWrite, 0, kCreateAlways, 0));
  EXPECT_EQ(LastSystemError(), kErrorAccessDenied);
  ASSERT_TRUE(file.Open(path, kGenericRead, kFileShareRead, kOpenExisting, 0));
  EXPECT_EQ(ReadSome(file, 10), "data");
  uint32_t written = 7;
  EXPECT_FALSE(file.Write("x", 1, written));
  EXPECT_EQ(written, 0u);
}

TEST(GMFile, CreatingWithTheReadOnlyAttribute) {
  ScratchDir dir;
  const std::u16string path = dir.Join(u"ro.bin");
  GMFile file;
  // The handle that creates the file may still write it.
  ASSERT_TRUE(file.Open(path, kGenericWrite, 0, kCreateAlways, kFileAttributeReadonly));
  uint32_t written = 0;
  EXPECT_TRUE(file.Write("data", 4, written));
  file.Close();
  EXPECT_EQ(ReadBytes(dir.fs_path() / "ro.bin"), "data");
  EXPECT_FALSE(file.Open(path, kGenericRead | kGenericWrite, 0, kOpenAlways, 0));
  EXPECT_EQ(LastSystemError(), kErrorAccessDenied);
}

}  // namespace
}  // namespace Zavro
