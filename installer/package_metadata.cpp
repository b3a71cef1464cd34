#include "installer/package_metadata.h"

#include <cstdint>

namespace Zavro {

namespace {

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

}  // namespace

std::vector<unsigned char> SerializeMetadata(const MetadataPairs& pairs) {
  std::vector<unsigned char> out;
  PutU32(out, static_cast<uint32_t>(pairs.size()));
  for (const auto& [key, value] : pairs) {
    PutText(out, key);
    PutText(out, value);
  }
  return out;
}

}  // namespace Zavro
