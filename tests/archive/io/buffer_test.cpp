#include "archive/io/buffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace Zavro {
namespace {

using Bytes = GMBuffer<unsigned char>;

TEST(GMBuffer, ResizeKeepsTheCommonPrefixAndClampsTheLength) {
  Bytes buffer(8);
  std::memcpy(buffer.Data(), "\x0A\x0B\x0C\x0D\x0E\x0F\x10\x11", 8);
  buffer.SetLength(8);

  buffer.Resize(4);
  ASSERT_EQ(buffer.Capacity(), 4u);
  EXPECT_EQ(std::memcmp(buffer.Data(), "\x0A\x0B\x0C\x0D", 4), 0);
  EXPECT_EQ(buffer.Length(), 4u);

  buffer.Resize(8);
  ASSERT_EQ(buffer.Capacity(), 8u);
  EXPECT_EQ(std::memcmp(buffer.Data(), "\x0A\x0B\x0C\x0D", 4), 0);
  EXPECT_EQ(buffer.Length(), 4u);

  buffer.Resize(0);
  EXPECT_EQ(buffer.Data(), nullptr);
  EXPECT_EQ(buffer.Length(), 0u);
}

}  // namespace
}  // namespace Zavro
