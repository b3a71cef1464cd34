#include "installer/serial_form.h"

namespace Zavro {

void PutU32(std::vector<unsigned char>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void PutText(std::vector<unsigned char>& out, const std::u16string& text) {
  PutU32(out, static_cast<uint32_t>(text.size()));
  for (char16_t unit : text) {
    out.push_back(static_cast<unsigned char>(unit));
    out.push_back(static_cast<unsigned char>(unit >> 8));
  }
}

void PutBlock(std::vector<unsigned char>& out, const std::vector<unsigned char>& block) {
  PutU32(out, static_cast<uint32_t>(block.size()));
  out.insert(out.end(), block.begin(), block.end());
}

bool FormReader::Bytes(size_t count, const unsigned char*& bytes) {
  if (!ok_ || count > size_ - position_) return ok_ = false;
  bytes = data_ + position_;
  position_ += count;
  return true;
}

bool FormReader::U32(uint32_t& value) {
  const unsigned char* bytes = nullptr;
  if (!Bytes(4, bytes)) return false;
  value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
          static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return true;
}

bool FormReader::Text(std::u16string& text) {
  uint32_t units = 0;
  const unsigned char* bytes = nullptr;
  // Checked against what is left before the units are counted in bytes: on a 32-bit
  // system that count could wrap.
  if (!U32(units) || units > Left() / 2) return ok_ = false;
  if (!Bytes(static_cast<size_t>(units) * 2, bytes)) return false;
  text.resize(units);
  for (uint32_t i = 0; i < units; ++i) text[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return true;
}

bool FormReader::Count(uint32_t& count, size_t minimum) {
  if (!U32(count)) return false;
  if (minimum != 0 && count > Left() / minimum) return ok_ = false;
  return true;
}

}  // namespace Zavro
