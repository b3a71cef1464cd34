#include "archive/io/buffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace Zavro {
namespace {

using Bytes = GMBuffer<unsigned char>;

void Fill(Bytes& buffer, unsigned char first) {
  for (uint32_t i = 0; i < buffer.Capacity(); ++i) buffer.Data()[i] = static_cast<unsigned char>(first + i);
}

TEST(GMBuffer, ResizeKeepsTheCommonPrefixAndClampsTheLength) {
  Bytes buffer(8);
  Fill(buffer, 10);
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
