// printf-style formatting of UTF-16 text, the same on every target (format.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace Zavro {

// One argument of FormatString: an integer, a character or a UTF-16 text.
class FormatArg {
 public:
  enum class Kind { Signed, Unsigned, Char, Text };

  template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T> &&
                                             !std::is_same_v<T, char>,
                                         int> = 0>
  FormatArg(T v) : kind_(Kind::Signed), int_(static_cast<int64_t>(v)) {}
  template <typename T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T> &&
                                             !std::is_same_v<T, bool> &&
                                             !std::is_same_v<T, char16_t>,
                                         int> = 0>
  FormatArg(T v) : kind_(Kind::Unsigned), int_(static_cast<int64_t>(v)) {}
  FormatArg(char16_t c) : kind_(Kind::Char), int_(c) {}
  FormatArg(char c) : kind_(Kind::Char), int_(static_cast<unsigned char>(c)) {}
  FormatArg(const char16_t* s) : kind_(Kind::Text), text_(s) {}
  FormatArg(const std::u16string& s) : kind_(Kind::Text), text_(s.c_str()) {}

  Kind kind() const { return kind_; }
  int64_t integer() const { return int_; }
  const char16_t* text() const { return text_; }

 private:
  Kind kind_;
  int64_t int_ = 0;
  const char16_t* text_ = nullptr;
};

// printf-style formatting of UTF-16 text with the C runtime's conventions: %s (UTF-16
// text), %d and %i (signed 32-bit), %u, %x, %X (unsigned 32-bit; with I64 or ll,
// 64-bit), %c (a UTF-16 unit), %%; flags '-', '0', '+', ' ', '#'; width and precision,
// also as '*'. Output may be of any length. An invalid format (an unknown conversion,
// a missing argument, an argument of the wrong kind) gives an empty text.
std::u16string FormatArgs(const char16_t* format, const FormatArg* args, size_t count);

// A null or empty format gives an empty text.
template <typename... Args>
std::u16string FormatString(const char16_t* format, const Args&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
  return FormatArgs(format, list, sizeof...(Args));
}

// Formats into `out`; a null or empty format leaves `out` unchanged.
template <typename... Args>
void FormatInto(std::u16string& out, const char16_t* format, const Args&... args) {
  if (format == nullptr || *format == 0) return;
  out = FormatString(format, args...);
}

}  // namespace Zavro
