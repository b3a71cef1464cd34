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

}  // namespace Zavro
