#include "system/system_error.h"

#include "system/windows_support.h"

namespace Zavro {

uint32_t LastSystemError() { return GetLastError(); }

void SetLastSystemError(uint32_t code) { SetLastError(code); }

std::u16string RawSystemErrorMessage(uint32_t code) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (length != 0 && buffer != nullptr) text = U16(buffer, length);
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

std::u16string SystemErrorMessage(uint32_t code) {
  std::u16string text = RawSystemErrorMessage(code);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace Zavro
