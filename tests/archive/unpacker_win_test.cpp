// Replacing a locked file, against the real file system (under Wine in the test run).
#include <gtest/gtest.h>

#include "archive/packer.h"
#include "archive/unpacker.h"
#include "system/path_utils.h"
#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::ReadBytes;
using test::ScratchDir;
using test::WriteBytes;

TEST(GMUnpackerWin, LockedFileIsMovedAsideAndReplaced) {
  ScratchDir dir;
  test::fs::create_directory(dir.fs_path() / "src");
  WriteBytes(dir.fs_path() / "src" / "game.dll", "new contents");
  GMPacker packer;
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  ASSERT_TRUE(packer.PackToFile(dir.Join(u"p.gmz")));

  test::fs::create_directory(dir.fs_path() / "dst");
  WriteBytes(dir.fs_path() / "dst" / "game.dll", "old contents");
  // Held open without delete sharing: it cannot be deleted, only renamed.
  ScopedFileHandle lock(CreateFileW(W(dir.Join(u"dst\\game.dll")), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock.IsValid());
  ASSERT_FALSE(DeleteFileW(W(dir.Join(u"dst\\game.dll"))));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

  {
    GMUnpacker reader(dir.Join(u"p.gmz"));
    ASSERT_TRUE(reader.Open(false));
    EXPECT_FALSE(reader.Extract(dir.Join(u"dst")));
    EXPECT_EQ(reader.LastError().kind, kErrorFileDelete);
    EXPECT_EQ(reader.LastError().word2, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
  }
  GMUnpacker reader(dir.Join(u"p.gmz"));
  reader.SetReplaceLockedFiles(true);
  ASSERT_TRUE(reader.Open(false));
  ASSERT_TRUE(reader.Extract(dir.Join(u"dst"))) << test::fs::path(reader.GetLastErrorMessage()).string();
  EXPECT_EQ(ReadBytes(dir.fs_path() / "dst" / "game.dll"), "new contents");

  // The old file lives on under a temporary name in the same folder until the restart.
  int moved = 0;
  for (const auto& item : test::fs::directory_iterator(dir.fs_path() / "dst")) {
    if (item.path().filename() != "game.dll") {
      ++moved;
      EXPECT_EQ(item.path().extension(), ".tmp");
    }
  }
  EXPECT_EQ(moved, 1);
}

}  // namespace
}  // namespace Zavro
