#include "archive/io/file.h"

#include <gtest/gtest.h>

#include "system/system_error.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::ScratchDir;
using test::WriteBytes;

// Up to `count` bytes from the file's position; "<failed>" when the read fails.
std::string ReadSome(GMFile& file, uint32_t count) {
  std::string bytes(count, '\0');
  uint32_t read = 0;
  if (!file.Read(&bytes[0], count, read)) return "<failed>";
  bytes.resize(read);
  return bytes;
}

TEST(GMFile, CreateAlwaysMakesFoldersAndTruncates) {
  ScratchDir dir;
  GMFile file;
  // Only CREATE_ALWAYS on an absolute path makes the missing folders.
  ASSERT_TRUE(file.Open(dir.Join(u"a\\b\\file.bin"), kGenericWrite, 0, kCreateAlways, kFileAttributeNormal));
  uint32_t written = 0;
  EXPECT_TRUE(file.Write("hello", 5, written));
  EXPECT_EQ(written, 5u);
  ASSERT_TRUE(file.Open(dir.Join(u"a\\b\\file.bin"), kGenericWrite, 0, kCreateAlways, 0));
  uint64_t size = 99;
  EXPECT_TRUE(file.GetSize(size));
  EXPECT_EQ(size, 0u);

  EXPECT_FALSE(file.Open(dir.Join(u"x\\file.bin"), kGenericRead, 0, kOpenExisting, 0));
  EXPECT_EQ(LastSystemError(), kErrorPathNotFound);
  EXPECT_FALSE(file.Open(dir.Join(u"x\\y\\file.bin"), kGenericWrite, 0, kOpenAlways, 0));
  EXPECT_FALSE(test::fs::exists(dir.fs_path() / "x"));
  EXPECT_FALSE(file.Open(dir.Join(u"a\\missing.bin"), kGenericRead, 0, kOpenExisting, 0));
  EXPECT_EQ(LastSystemError(), kErrorFileNotFound);
  // A relative path is taken as it is.
  EXPECT_FALSE(file.Open(u"gm-no-such-folder-7f3a\\sub\\file.bin", kGenericWrite, 0, kCreateAlways, 0));
  EXPECT_FALSE(test::fs::exists("gm-no-such-folder-7f3a"));
}

TEST(GMFile, ReadAndSeek) {
  ScratchDir dir;
  WriteBytes(dir.fs_path() / "f.bin", "0123456789");
  GMFile file;
  ASSERT_TRUE(file.Open(dir.Join(u"f.bin"), kGenericRead, kFileShareRead, kOpenExisting, 0));
  uint64_t position = 99;
  EXPECT_TRUE(file.Seek(4, kFileBegin, position));
  EXPECT_EQ(ReadSome(file, 3), "456");
  EXPECT_TRUE(file.Seek(-2, kFileCurrent, position));
  EXPECT_EQ(position, 5u);
  EXPECT_TRUE(file.Seek(-1, kFileEnd, position));
  EXPECT_EQ(ReadSome(file, 5), "9");
  // At the end a disk file reads 0 bytes and succeeds; a seek before the start fails
  // and stays where it was.
  EXPECT_EQ(ReadSome(file, 5), "");
  EXPECT_FALSE(file.Seek(-11, kFileEnd, position));
  EXPECT_TRUE(file.GetPosition(position));
  EXPECT_EQ(position, 10u);
}

TEST(GMFile, RefusedCallsAndPaths) {
  GMFile file;
  uint32_t count = 5;
  char byte = 0;
  EXPECT_FALSE(file.Read(&byte, 1, count));
  EXPECT_FALSE(file.Write(&byte, 1, count));
  EXPECT_EQ(count, 0u);
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
  // A folder opens only with backup semantics.
  EXPECT_FALSE(file.Open(dir.path(), kGenericRead, kFileShareRead, kOpenExisting, 0));
  EXPECT_EQ(LastSystemError(), kErrorAccessDenied);

  // A failed open leaves no file open, not even the one open before.
  ASSERT_TRUE(file.Open(dir.Join(u"f.bin"), kGenericRead | kGenericWrite, 0, kCreateAlways, 0));
  EXPECT_FALSE(file.Read(nullptr, 1, count));
  EXPECT_FALSE(file.Open(dir.Join(u"c.bin"), kGenericRead, 0, kOpenExisting, 0));
  EXPECT_FALSE(file.IsOpen());
}

}  // namespace
}  // namespace Zavro
