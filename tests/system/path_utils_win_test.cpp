// The Windows side of the disk path functions, checked against the system's own
// calls: held-open files, attributes, links, times, special folders and modules.
#include "system/path_utils.h"

#include <gtest/gtest.h>

#include "system/string_utils.h"
#include "system/system_error.h"
#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::ScratchDir;
using test::WriteBytes;

FILETIME TimesOf(const std::u16string& path, FILETIME* creation, FILETIME* access) {
  FILETIME write{};
  ScopedFileHandle file(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  EXPECT_TRUE(file.IsValid());
  GetFileTime(file.Get(), creation, access, &write);
  return write;
}

TEST(DeleteTreeWinTest, HeldOpenFileIsSkippedWithTheFoldersAboveIt) {
  ScratchDir dir;
  const fs::path top = dir.fs_path() / "top";
  fs::create_directories(top / "sub");
  fs::create_directories(top / "other");
  WriteBytes(top / "a.txt", "a");
  WriteBytes(top / "sub" / "locked.txt", "l");
  WriteBytes(top / "sub" / "b.txt", "b");
  WriteBytes(top / "other" / "c.txt", "c");

  {
    // Open without delete sharing: nobody can remove the file while it is held.
    ScopedFileHandle held(CreateFileW(W(dir.Join(u"top\\sub\\locked.txt")), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    // a.txt, b.txt, c.txt and other.
    EXPECT_EQ(DeleteTree(dir.Join(u"top")), 4u);
    EXPECT_TRUE(fs::exists(top / "sub" / "locked.txt"));
    EXPECT_FALSE(fs::exists(top / "sub" / "b.txt"));
    EXPECT_FALSE(fs::exists(top / "other"));
    EXPECT_FALSE(fs::exists(top / "a.txt"));
  }
  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 3u);
  EXPECT_FALSE(fs::exists(top));
}

TEST(DeleteTreeWinTest, ReadOnlyHiddenAndSystemEntriesGoToo) {
  ScratchDir dir;
  const fs::path top = dir.fs_path() / "top";
  fs::create_directories(top / "sub" / "deeper");
  WriteBytes(top / "sub" / "ro.txt", "r");
  WriteBytes(top / "sub" / "deeper" / "hs.txt", "h");
  ASSERT_TRUE(SetFileAttributesW(W(dir.Join(u"top\\sub\\ro.txt")), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(SetFileAttributesW(W(dir.Join(u"top\\sub\\deeper\\hs.txt")),
                                 FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(SetFileAttributesW(W(dir.Join(u"top\\sub\\deeper")), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesW(W(dir.Join(u"top\\sub")), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM));
  // Wine keeps the hidden and system attributes of a folder but not its read-only
  // one; Windows keeps all three, and the folder must lose them to be removed.
  ASSERT_NE(GetFileAttributesW(W(dir.Join(u"top\\sub"))) & FILE_ATTRIBUTE_SYSTEM, 0u);

  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 5u);
  EXPECT_FALSE(fs::exists(top));
}

TEST(DeleteTreeWinTest, LinksAreRemovedNeverFollowed) {
  ScratchDir dir;
  const fs::path outside = dir.fs_path() / "outside";
  fs::create_directories(outside / "inner");
  WriteBytes(outside / "keep.txt", "keep");
  WriteBytes(outside / "inner" / "keep2.txt", "keep");
  fs::create_directories(dir.fs_path() / "top" / "sub");
  WriteBytes(dir.fs_path() / "top" / "own.txt", "x");

  constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  if (!CreateSymbolicLinkW(W(dir.Join(u"top\\folder-link")), W(dir.Join(u"outside")),
                           SYMBOLIC_LINK_FLAG_DIRECTORY | kUnprivileged)) {
    GTEST_SKIP() << "symbolic links cannot be created here (error " << GetLastError() << ")";
  }
  if (!CreateSymbolicLinkW(W(dir.Join(u"top\\sub\\file-link")), W(dir.Join(u"outside\\keep.txt")),
                           kUnprivileged)) {
    GTEST_SKIP() << "file links cannot be created here (error " << GetLastError() << ")";
  }
  // Wine's CreateSymbolicLinkW reports success without making a link.
  const DWORD linkAttributes = GetFileAttributesW(W(dir.Join(u"top\\folder-link")));
  if (linkAttributes == INVALID_FILE_ATTRIBUTES || !(linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "symbolic links are not supported here";
  }

  // Two links, one file, two folders.
  EXPECT_EQ(DeleteTree(dir.Join(u"top")), 5u);
  EXPECT_FALSE(fs::exists(dir.fs_path() / "top"));
  EXPECT_EQ(test::ReadBytes(outside / "keep.txt"), "keep");
  EXPECT_EQ(test::ReadBytes(outside / "inner" / "keep2.txt"), "keep");

  // A link given as the folder itself is removed, and what it points to stays.
  ASSERT_TRUE(CreateSymbolicLinkW(W(dir.Join(u"top-link")), W(dir.Join(u"outside")),
                                  SYMBOLIC_LINK_FLAG_DIRECTORY | kUnprivileged));
  EXPECT_EQ(DeleteTree(dir.Join(u"top-link")), 1u);
  EXPECT_EQ(GetFileAttributesW(W(dir.Join(u"top-link"))), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(fs::exists(outside / "inner" / "keep2.txt"));
}

TEST(PathUtilsWinTest, AttributesAreTheSystemOnes) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "file", "x");
  const std::u16string file = dir.Join(u"file");
  ASSERT_TRUE(SetPathAttributes(file, kFileAttributeHidden | kFileAttributeSystem | kFileAttributeReadonly));
  EXPECT_EQ(GetFileAttributesW(W(file)) & 0x7u, 0x7u);
  EXPECT_EQ(GetPathAttributes(file), GetFileAttributesW(W(file)));
  EXPECT_TRUE(DeleteFileForced(file));
  EXPECT_EQ(GetFileAttributesW(W(file)), INVALID_FILE_ATTRIBUTES);
}

TEST(PathUtilsWinTest, SamePathsCompareWithoutRegardToCase) {
  EXPECT_TRUE(IsSamePath(u"C:\\Src\\OUT.gmz", u"c:\\src\\out.GMZ"));
  EXPECT_TRUE(IsSamePath(u"C:\\\u00C4", u"C:\\\u00E4"));
  EXPECT_FALSE(IsSamePath(u"C:\\a", u"C:\\a\\"));
}

TEST(PathUtilsWinTest, SetFileTimesThroughTheSystem) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "file", "x");
  const std::u16string file = dir.Join(u"file");
  const FileTime creation(0x01D7000012345678ULL);
  const FileTime access(0x01D7100012345678ULL);
  const FileTime write(0x01D7200012345678ULL);
  ASSERT_TRUE(SetFileTimes(file, &creation, &access, &write));

  // Wine cannot keep a creation time on its host file systems and reports the write
  // time instead, so only access and write are checked.
  FILETIME c{}, a{};
  FILETIME w = TimesOf(file, &c, &a);
  EXPECT_EQ(FromFILETIME(a), access);
  EXPECT_EQ(FromFILETIME(w), write);

  // Null leaves a time as it is.
  const FileTime other(0x01D7300000000000ULL);
  ASSERT_TRUE(SetFileTimes(file, nullptr, nullptr, &other));
  w = TimesOf(file, &c, &a);
  EXPECT_EQ(FromFILETIME(a), access);
  EXPECT_EQ(FromFILETIME(w), other);
  ASSERT_TRUE(SetFileTimes(file, nullptr, &other, nullptr));
  w = TimesOf(file, &c, &a);
  EXPECT_EQ(FromFILETIME(a), other);
  EXPECT_EQ(FromFILETIME(w), other);

  // Held open without write sharing, the file cannot be opened to be stamped.
  ScopedFileHandle held(CreateFileW(W(file), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.IsValid());
  EXPECT_FALSE(SetFileTimes(file, nullptr, nullptr, &write));
  EXPECT_EQ(LastSystemError(), kErrorSharingViolation);
}

TEST(PathUtilsWinTest, SpecialFoldersAndModules) {
  const std::u16string appData = SpecialFolderPath(kCsidlAppData);
  ASSERT_FALSE(appData.empty());
  EXPECT_TRUE(IsDirectory(appData));
  EXPECT_EQ(AppDataPath(), appData);
  EXPECT_FALSE(SpecialFolderPath(kCsidlProgramFilesX86).empty());
  EXPECT_EQ(SpecialFolderPath(0x7E), u"");  // no such folder number

  const std::u16string kernel = ModuleFilePath(GetModuleHandleW(L"kernel32.dll"));
  EXPECT_TRUE(EndsWithNoCase(kernel, u"\\kernel32.dll")) << kernel.size();
  EXPECT_TRUE(IsAbsolutePath(ModuleFilePath()));
  EXPECT_TRUE(EndsWithNoCase(ModuleFilePath(), u"gm_tests.exe"));
}

}  // namespace
}  // namespace Zavro
