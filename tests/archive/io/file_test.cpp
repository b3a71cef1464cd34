#include "archive/io/file.h"

#include <gtest/gtest.h>

#include "system/system_error.h"
#include "archive/io/file_test_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::ReadBytes;
using test::ReadSome;
using test::ScratchDir;
using test::WriteBytes;

bool WriteAll(GMFile& file, const std::string& bytes) {
  uint32_t written = 0;
  return file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), written) &&
         written == bytes.size();
}

TEST(GMFile, OnlyCreateAlwaysOnAnAbsolutePathMakesFolders) {
  ScratchDir dir;
  GMFile file;
  ASSERT_TRUE(file.Open(dir.Join(u"a\\b\\file.bin"), kGenericWrite, 0, kCreateAlways, kFileAttributeNormal));
  EXPECT_TRUE(WriteAll(file, "hello"));
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(ReadBytes(dir.fs_path() / "a" / "b" / "file.bin"), "hello");

  EXPECT_FALSE(file.Open(dir.Join(u"x\\y\\file.bin"), kGenericRead, 0, kOpenExisting, 0));
  EXPECT_EQ(LastSystemError(), kErrorPathNotFound);
  EXPECT_FALSE(file.Open(dir.Join(u"x\\y\\file.bin"), kGenericWrite, 0, kOpenAlways, 0));
  EXPECT_FALSE(test::fs::exists(dir.fs_path() / "x"));
  // A relative path is taken as it is.
  EXPECT_FALSE(file.Open(u"gm-no-such-folder-7f3a\\sub\\file.bin", kGenericWrite, 0, kCreateAlways, 0));
  EXPECT_FALSE(test::fs::exists("gm-no-such-folder-7f3a"));
}

TEST(GMFile, Dispositions) {
  ScratchDir dir;
  const std::u16string path = dir.Join(u"file.bin");
  GMFile file;

  EXPECT_FALSE(file.Open(path, kGenericRead, 0, kOpenExisting, 0));
  EXPECT_EQ(LastSystemError(), kErrorFileNotFound);
  EXPECT_FALSE(file.IsOpen());

  ASSERT_TRUE(file.Open(path, kGenericWrite, 0, kCreateNew, 0));
  EXPECT_TRUE(WriteAll(file, "0123456789"));
  file.Close();
  EXPECT_FALSE(file.Open(path, kGenericWrite, 0, kCreateNew, 0));
  EXPECT_EQ(LastSystemError(), kErrorFileExists);

  // OPEN_ALWAYS keeps the contents and says the file was there.
  ASSERT_TRUE(file.Open(path, kGenericRead | kGenericWrite, 0, kOpenAlways, 0));
  EXPECT_EQ(LastSystemError(), kErrorAlreadyExists);
  EXPECT_EQ(ReadSome(file, 100), "0123456789");
  file.Close();

  // CREATE_ALWAYS truncates.
  ASSERT_TRUE(file.Open(path, kGenericWrite, 0, kCreateAlways, 0));
  EXPECT_EQ(LastSystemError(), kErrorAlreadyExists);
  uint64_t size = 99;
  EXPECT_TRUE(file.GetSize(size));
  EXPECT_EQ(size, 0u);
  file.Close();

  ASSERT_TRUE(file.Open(dir.Join(u"new.bin"), kGenericWrite, 0, kOpenAlways, 0));
  EXPECT_EQ(LastSystemError(), kErrorSuccess);
}

TEST(GMFile, ReadSeekAndSize) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "f.bin", "0123456789");
  GMFile file;
  ASSERT_TRUE(file.Open(dir.Join(u"f.bin"), kGenericRead, kFileShareRead, kOpenExisting, 0));
  uint64_t size = 0, position = 99;
  EXPECT_TRUE(file.GetSize(size));
  EXPECT_EQ(size, 10u);
  EXPECT_TRUE(file.Seek(4, kFileBegin, position));
  EXPECT_EQ(position, 4u);
  EXPECT_EQ(ReadSome(file, 3), "456");
  EXPECT_TRUE(file.Seek(-2, kFileCurrent, position));
  EXPECT_EQ(position, 5u);
  EXPECT_TRUE(file.Seek(-1, kFileEnd, position));
  EXPECT_EQ(ReadSome(file, 5), "9");
  // At the end a disk file reads 0 bytes and succeeds.
  EXPECT_EQ(ReadSome(file, 5), "");
  EXPECT_TRUE(file.GetPosition(position));
  EXPECT_EQ(position, 10u);
  EXPECT_FALSE(file.Seek(-11, kFileEnd, position));
  EXPECT_TRUE(file.GetPosition(position));
  EXPECT_EQ(position, 10u);

  file.Rewind();
  EXPECT_EQ(ReadSome(file, 2), "01");
}

TEST(GMFile, ClosedFileAndBadArguments) {
  GMFile file;
  uint32_t count = 5;
  uint64_t value = 0;
  char byte = 0;
  EXPECT_TRUE(file.Close());
  EXPECT_FALSE(file.Read(&byte, 1, count));
  EXPECT_FALSE(file.Write(&byte, 1, count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(file.GetSize(value));
  EXPECT_FALSE(file.GetPosition(value));
  EXPECT_FALSE(file.Seek(0, kFileBegin, value));
  EXPECT_FALSE(file.SetTimes(FileTime(1), FileTime(1), FileTime(1)));
  EXPECT_FALSE(file.Open(u"", kGenericRead, 0, kOpenExisting, 0));
  EXPECT_EQ(LastSystemError(), kErrorPathNotFound);

  // A NUL would cut the path short at the system: refused as a whole, nothing made.
  ScratchDir dir;
  std::u16string cut = dir.Join(u"f.bin");
  cut.push_back(u'\0');
  cut += u"x";
  EXPECT_FALSE(file.Open(cut, kGenericWrite, 0, kCreateAlways, 0));
  EXPECT_EQ(LastSystemError(), kErrorInvalidName);
  EXPECT_FALSE(test::fs::exists(dir.fs_path() / "f.bin"));

  ASSERT_TRUE(file.Open(dir.Join(u"f.bin"), kGenericRead | kGenericWrite, 0, kCreateAlways, 0));
  EXPECT_FALSE(file.Read(nullptr, 1, count));
  EXPECT_FALSE(file.Write(nullptr, 1, count));
  EXPECT_FALSE(file.Seek(0, 7, value));
  EXPECT_TRUE(file.Close());
  EXPECT_TRUE(file.Close());
}

TEST(GMFile, OpenClosesThePreviousFile) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "a.bin", "AAA");
  WriteBytes(dir.fs_path() / "b.bin", "BBB");
  GMFile file;
  ASSERT_TRUE(file.Open(dir.Join(u"a.bin"), kGenericRead, kFileShareRead, kOpenExisting, 0));
  ASSERT_TRUE(file.Open(dir.Join(u"b.bin"), kGenericRead, kFileShareRead, kOpenExisting, 0));
  EXPECT_EQ(ReadSome(file, 3), "BBB");
  // A failed open leaves no file open.
  EXPECT_FALSE(file.Open(dir.Join(u"c.bin"), kGenericRead, 0, kOpenExisting, 0));
  EXPECT_FALSE(file.IsOpen());
}

TEST(GMFile, TimesOfFilesAndFolders) {
  ScratchDir dir;
  GMFile file;
  ASSERT_TRUE(file.Open(dir.Join(u"t.bin"), kGenericRead | kGenericWrite, 0, kCreateAlways, 0));
  // 2020-01-01 00:00:00 UTC and 2001-09-09 01:46:40 UTC.
  const FileTime write(132223104000000000ULL), access(126444736000000000ULL);
  ASSERT_TRUE(file.SetTimes(FileTime(), access, write));
  FileTime creation, lastAccess, lastWrite;
  ASSERT_TRUE(file.GetTimes(creation, lastAccess, lastWrite));
  EXPECT_EQ(lastWrite, write);
  EXPECT_EQ(lastAccess, access);
  // A zero time leaves that time alone.
  const FileTime later(write.value + 10000000ULL);
  ASSERT_TRUE(file.SetTimes(FileTime(), FileTime(), later));
  ASSERT_TRUE(file.GetTimes(creation, lastAccess, lastWrite));
  EXPECT_EQ(lastWrite, later);
  EXPECT_EQ(lastAccess, access);

  // A folder opens only with backup semantics, and is stamped like a file.
  EXPECT_FALSE(file.Open(dir.path(), kGenericRead, kFileShareRead, kOpenExisting, 0));
  EXPECT_EQ(LastSystemError(), kErrorAccessDenied);
  ASSERT_TRUE(file.Open(dir.path(), kGenericWrite, kFileShareRead | kFileShareWrite, kOpenExisting,
                        kFileFlagBackupSemantics));
  ASSERT_TRUE(file.SetTimes(FileTime(), FileTime(), write));
  ASSERT_TRUE(file.GetTimes(creation, lastAccess, lastWrite));
  EXPECT_EQ(lastWrite, write);
}

}  // namespace
}  // namespace Zavro
