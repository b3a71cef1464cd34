#include "system/encoding.h"

namespace Zavro {

std::string ToAnsi(const std::u16string& text) { return WideToMultiByte(text, kCodePageAnsi, '_'); }

std::string ToCodePage(const std::u16string& text, uint32_t codePage) {
  return WideToMultiByte(text, codePage, '_');
}

std::string ToUtf8(const std::u16string& text) { return WideToMultiByte(text, kCodePageUtf8, '\0'); }

std::u16string FromAnsi(const char* bytes) { return MultiByteToWide(bytes, -1, kCodePageAnsi); }

std::u16string FromAnsi(const std::string& bytes) { return FromAnsi(bytes.c_str()); }

std::u16string FromCodePage(const std::string& bytes, uint32_t codePage) {
  if (bytes.size() > 0x7FFFFFFF) return std::u16string();
  return MultiByteToWide(bytes.data(), static_cast<int>(bytes.size()), codePage);
}

}  // namespace Zavro
