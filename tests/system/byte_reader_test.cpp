#include "system/byte_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>

namespace Zavro {
namespace {

TEST(ByteReaderTest, NothingIsReadPastTheEnd) {
  // A u32 count of 2, then "hi" in UTF-16LE.
  const unsigned char bytes[] = {2, 0, 0, 0, 'h', 0, 'i', 0};
  uint32_t count = 0;
  uint64_t number = 0;
  std::u16string text;
  const unsigned char* view = nullptr;
  const struct {
    size_t size;  // of `bytes` given to the reader
    std::function<bool(ByteReader&)> read;
    bool ok;
  } cases[] = {
      {8, [&](ByteReader& r) { return r.Text(text) && text == u"hi"; }, true},
      {7, [&](ByteReader& r) { return r.Text(text); }, false},
      {3, [&](ByteReader& r) { return r.U32(count); }, false},
      {8, [&](ByteReader& r) { return r.U64(number) && number == 0x0069006800000002; }, true},
      {8, [&](ByteReader& r) { return r.Bytes(8, view) && view == bytes; }, true},
      {8, [&](ByteReader& r) { return r.Bytes(~0ULL, view); }, false},
      // Twice 2^63 units would wrap to no bytes at all.
      {8, [&](ByteReader& r) { return r.Units(1ULL << 63, text); }, false},
      // A count of items that take at least so many bytes each: 2 of 2 fit in the 4
      // bytes left, 2 of 3 do not.
      {8, [&](ByteReader& r) { return r.Count(count, 2) && count == 2; }, true},
      {8, [&](ByteReader& r) { return r.Count(count, 3); }, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    ByteReader reader(bytes, cases[i].size);
    EXPECT_EQ(cases[i].read(reader), cases[i].ok) << i;
    // After a refused read every read fails, also one that would fit.
    const bool byteLeft = reader.Left() > 0;
    uint8_t more = 0;
    EXPECT_EQ(reader.U8(more), cases[i].ok && byteLeft) << i;
  }
}

}  // namespace
}  // namespace Zavro
