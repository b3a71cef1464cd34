#include "system/byte_reader.h"

namespace Zavro {

bool ByteReader::Bytes(uint64_t count, const unsigned char*& bytes) {
  if (!ok_ || count > size_ - position_) return ok_ = false;
  bytes = data_ + position_;
  position_ += static_cast<size_t>(count);
  return true;
}

uint64_t ByteReader::Number(size_t bytes) {
  const unsigned char* at = nullptr;
  if (!Bytes(bytes, at)) return 0;
  uint64_t value = 0;
  for (size_t i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(at[i]) << (8 * i);
  return value;
}

bool ByteReader::U8(uint8_t& value) {
  value = static_cast<uint8_t>(Number(1));
  return ok_;
}

bool ByteReader::U16(uint16_t& value) {
  value = static_cast<uint16_t>(Number(2));
  return ok_;
}

bool ByteReader::U32(uint32_t& value) {
  value = static_cast<uint32_t>(Number(4));
  return ok_;
}

bool ByteReader::U64(uint64_t& value) {
  value = Number(8);
  return ok_;
}

bool ByteReader::Units(uint64_t units, std::u16string& text) {
  const unsigned char* bytes = nullptr;
  if (units > Left() / 2 || !Bytes(2 * units, bytes)) return ok_ = false;
  text.resize(static_cast<size_t>(units));
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return true;
}

bool ByteReader::Text(std::u16string& text) {
  uint32_t units = 0;
  return U32(units) && Units(units, text);
}

bool ByteReader::Count(uint32_t& count, size_t minimum) {
  if (!U32(count)) return false;
  if (minimum != 0 && count > Left() / minimum) return ok_ = false;
  return true;
}

}  // namespace Zavro
