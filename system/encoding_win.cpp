#include "system/encoding.h"

#include <cstring>
#include <limits>
#include <vector>

#include "system/windows_support.h"

namespace Zavro {

uint32_t AnsiCodePage() { return GetACP(); }

std::string WideToMultiByte(const std::u16string& text, uint32_t codePage, char defaultChar,
                            bool* usedDefault, bool* ok) {
  if (usedDefault) *usedDefault = false;
  if (ok) *ok = true;
  auto fail = [&] {
    if (ok) *ok = false;
    return std::string();
  };
  if (text.size() > static_cast<size_t>(std::numeric_limits<int>::max() / 4)) return fail();
  // The system refuses a replacement character for UTF-8, which needs none; CP_ACP may
  // stand for UTF-8 too.
  const uint32_t resolved = codePage == CP_ACP ? GetACP() : codePage;
  if (resolved == CP_UTF8) defaultChar = '\0';
  const int length = static_cast<int>(text.size());
  int size = WideCharToMultiByte(codePage, 0, W(text), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return fail();

  std::vector<char> buffer(static_cast<size_t>(size) + 8);
  const int capacity = static_cast<int>(buffer.size());
  char replacement[2] = {defaultChar, '\0'};
  BOOL replaced = FALSE;
  int written = WideCharToMultiByte(codePage, 0, W(text), length, buffer.data(), capacity,
                                    defaultChar ? replacement : nullptr,
                                    defaultChar ? &replaced : nullptr);
  if (written < 1 || written >= capacity) return fail();
  if (usedDefault) *usedDefault = replaced != FALSE;
  return std::string(buffer.data(), static_cast<size_t>(written)).c_str();
}

std::u16string MultiByteToWide(const char* bytes, int length, uint32_t codePage, bool* ok) {
  if (ok) *ok = true;
  if (bytes == nullptr) return std::u16string();
  auto fail = [&] {
    if (ok) *ok = false;
    return std::u16string();
  };
  if (length < 0) length = static_cast<int>(strnlen(bytes, std::numeric_limits<int>::max()));
  int size = MultiByteToWideChar(codePage, 0, bytes, length, nullptr, 0);
  if (size < 1) return fail();
  std::vector<wchar_t> buffer(static_cast<size_t>(size) + 1);
  const int capacity = static_cast<int>(buffer.size());
  int written = MultiByteToWideChar(codePage, 0, bytes, length, buffer.data(), capacity);
  if (written < 1 || written >= capacity) return fail();
  buffer[static_cast<size_t>(written)] = L'\0';
  return U16(buffer.data());
}

}  // namespace Zavro
