// Fields read from a span of bytes nobody vouches for (a table of contents, a record,
// a serialised list): little-endian numbers, byte runs viewed in place and UTF-16LE
// texts. Every length is checked against the bytes left before anything is allocated
// for it; a read past the end fails, and so does every read after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Zavro {

class ByteReader {
 public:
  ByteReader(const unsigned char* data, size_t size) : data_(data), size_(size) {}

  bool U8(uint8_t& value);
  bool U16(uint16_t& value);
  bool U32(uint32_t& value);
  bool U64(uint64_t& value);
  // `count` bytes, viewed in place; 64-bit, so that a count of units in bytes cannot
  // wrap on a 32-bit system.
  bool Bytes(uint64_t count, const unsigned char*& bytes);
  // `units` UTF-16LE units.
  bool Units(uint64_t units, std::u16string& text);
  // A u32 count of UTF-16 units, then the units.
  bool Text(std::u16string& text);
  // A u32 count of items that each take at least `minimum` bytes: false when that many
  // cannot be there.
  bool Count(uint32_t& count, size_t minimum);

  bool Ok() const { return ok_; }
  size_t Left() const { return ok_ ? size_ - position_ : 0; }
  size_t Consumed() const { return position_; }

 private:
  uint64_t Number(size_t bytes);

  const unsigned char* data_;
  size_t size_;
  size_t position_ = 0;
  bool ok_ = true;
};

}  // namespace Zavro
