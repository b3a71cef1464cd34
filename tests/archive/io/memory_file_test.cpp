#include "archive/io/memory_file.h"

#include <gtest/gtest.h>

#include <string>

namespace Zavro {
namespace {

CMemoryFile MakeFile(size_t size) {
  std::vector<unsigned char> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i);
  return CMemoryFile(std::move(bytes));
}

TEST(CMemoryFile, ReadsUntilTheEndThenFails) {
  CMemoryFile file = MakeFile(10);
  unsigned char buffer[16] = {};
  uint32_t read = 99;
  ASSERT_TRUE(file.Read(buffer, 4, read));
  ASSERT_TRUE(file.Read(buffer, 16, read));
  EXPECT_EQ(read, 6u);
  EXPECT_EQ(buffer[0], 4);
  EXPECT_EQ(buffer[5], 9);
  // Unlike a disk file, a memory file fails at its end.
  read = 99;
  EXPECT_FALSE(file.Read(buffer, 1, read));
  EXPECT_EQ(read, 0u);
  // No bytes behind a length: an empty file, never a read through null.
  CMemoryFile empty(nullptr, 5);
  EXPECT_FALSE(empty.Read(buffer, 1, read));
}

TEST(CMemoryFile, SeekBounds) {
  CMemoryFile file = MakeFile(200);
  uint64_t position = 0;
  EXPECT_TRUE(file.Seek(0, kFileEnd, position));
  EXPECT_EQ(position, 200u);
  // Out of range or overflowing: refused, and the position stays.
  EXPECT_FALSE(file.Seek(1, kFileEnd, position));
  EXPECT_FALSE(file.Seek(-1, kFileBegin, position));
  EXPECT_FALSE(file.Seek(0, 3, position));
  EXPECT_FALSE(file.Seek(INT64_MAX, kFileCurrent, position));
  EXPECT_FALSE(file.Seek(INT64_MIN, kFileEnd, position));
  EXPECT_TRUE(file.GetPosition(position));
  EXPECT_EQ(position, 200u);

  EXPECT_TRUE(file.Seek(101, kFileBegin, position));
  EXPECT_TRUE(file.Seek(-101, kFileCurrent, position));
  EXPECT_EQ(position, 0u);
  EXPECT_TRUE(file.Seek(-200, kFileEnd, position));
  EXPECT_EQ(position, 0u);
}

}  // namespace
}  // namespace Zavro
