// The installer's serialised forms (package metadata, task lists, the uninstall
// record): little-endian u32 numbers, and texts as a u32 length in UTF-16 units followed
// by that many UTF-16LE units, without terminators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Zavro {

void PutU32(std::vector<unsigned char>& out, uint32_t value);
void PutText(std::vector<unsigned char>& out, const std::u16string& text);
void PutBlock(std::vector<unsigned char>& out, const std::vector<unsigned char>& block);

// Reads fields from a bounded span. Every length is checked against the bytes left
// before anything is allocated for it; a read past the end fails and fails every read
// after it.
class FormReader {
 public:
  FormReader(const unsigned char* data, size_t size) : data_(data), size_(size) {}
  bool U32(uint32_t& value);
  bool Text(std::u16string& text);
  // `count` bytes, viewed in place.
  bool Bytes(size_t count, const unsigned char*& bytes);
  // A count of items that each take at least `minimum` bytes: false when that many
  // cannot be there.
  bool Count(uint32_t& count, size_t minimum);
  size_t Left() const { return ok_ ? size_ - position_ : 0; }
  bool Ok() const { return ok_; }

 private:
  const unsigned char* data_;
  size_t size_;
  size_t position_ = 0;
  bool ok_ = true;
};

}  // namespace Zavro
