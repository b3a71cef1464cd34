// Replacing files in use, against the real file system (under Wine in the test run).
#include <gtest/gtest.h>

#include "archive/packer.h"
#include "archive/unpacker.h"
#include "system/known_folders.h"
#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::ReadBytes;
using test::ScratchDir;
using test::WriteBytes;

// Packs `contents` as the one file `name` and returns the archive's path.
std::u16string PackOne(const ScratchDir& dir, const char* name, const std::string& contents) {
  test::fs::create_directory(dir.fs_path() / "src");
  WriteBytes(dir.fs_path() / "src" / name, contents);
  GMPacker packer;
  EXPECT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  EXPECT_TRUE(packer.PackToFile(dir.Join(u"p.gmz")));
  return dir.Join(u"p.gmz");
}

int FilesBesides(const test::fs::path& folder, const char* name) {
  int count = 0;
  for (const auto& item : test::fs::directory_iterator(folder)) {
    if (item.path().filename() != name) {
      ++count;
      EXPECT_EQ(item.path().extension(), ".tmp");
    }
  }
  return count;
}

TEST(GMUnpackerWin, FileOpenWithoutDeleteSharingCannotBeReplaced) {
  ScratchDir dir;
  const std::u16string archive = PackOne(dir, "game.dll", "new contents");
  test::fs::create_directory(dir.fs_path() / "dst");
  WriteBytes(dir.fs_path() / "dst" / "game.dll", "old contents");
  // Neither deleted nor renamed while this handle is open.
  ScopedFileHandle lock(CreateFileW(W(dir.Join(u"dst\\game.dll")), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock.IsValid());
  for (bool replaceLocked : {false, true}) {
    GMUnpacker reader(archive);
    reader.SetReplaceLockedFiles(replaceLocked);
    ASSERT_TRUE(reader.Open(false));
    EXPECT_FALSE(reader.Extract(dir.Join(u"dst")));
    EXPECT_EQ(reader.LastError().kind, kErrorFileDelete);
    EXPECT_EQ(reader.LastError().word2, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(reader.LastError().text, dir.Join(u"dst\\game.dll"));
  }
  lock.Reset();
  EXPECT_EQ(ReadBytes(dir.fs_path() / "dst" / "game.dll"), "old contents");
  EXPECT_EQ(FilesBesides(dir.fs_path() / "dst", "game.dll"), 0);
}

TEST(GMUnpackerWin, RunningProgramIsMovedAsideAndReplaced) {
  ScratchDir dir;
  const std::u16string archive = PackOne(dir, "game.exe", "new program");
  test::fs::create_directory(dir.fs_path() / "dst");
  const std::u16string target = dir.Join(u"dst\\game.exe");
  ASSERT_TRUE(CopyFileW(W(ModuleFilePath()), W(target), FALSE));
  // A program that runs (suspended here) can be renamed but not deleted.
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::u16string commandLine = u"\"" + target + u"\"";
  ASSERT_TRUE(CreateProcessW(W(target), W(&commandLine[0]), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                             nullptr, &startup, &process));
  struct Ender {
    PROCESS_INFORMATION& p;
    ~Ender() {
      TerminateProcess(p.hProcess, 0);
      WaitForSingleObject(p.hProcess, 5000);
      CloseHandle(p.hThread);
      CloseHandle(p.hProcess);
    }
  } ender{process};
  if (DeleteFileW(W(target))) GTEST_SKIP() << "this system deletes running programs";

  {
    GMUnpacker reader(archive);
    ASSERT_TRUE(reader.Open(false));
    EXPECT_FALSE(reader.Extract(dir.Join(u"dst")));
    EXPECT_EQ(reader.LastError().kind, kErrorFileDelete);
  }
  GMUnpacker reader(archive);
  reader.SetReplaceLockedFiles(true);
  ASSERT_TRUE(reader.Open(false));
  ASSERT_TRUE(reader.Extract(dir.Join(u"dst"))) << test::fs::path(reader.GetLastErrorMessage()).string();
  EXPECT_EQ(ReadBytes(dir.fs_path() / "dst" / "game.exe"), "new program");
  // The old program lives on under a temporary name in its folder until the restart.
  EXPECT_EQ(FilesBesides(dir.fs_path() / "dst", "game.exe"), 1);
}

}  // namespace
}  // namespace Zavro
