// Free functions over UTF-16 text: trimming, quotes, case-insensitive comparison and
// search, replacing, splitting, numbers, task-line tokens and printf-style formatting.
// They keep no state and never throw (an exhausted heap excepted).
//
// Case-insensitive operations fold each UTF-16 unit on its own (FoldLower/FoldUpper),
// the same way on every target.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace Zavro {

// "Not found", as a position.
constexpr size_t kNotFound = static_cast<size_t>(-1);

// The whitespace set: space, CR, tab, LF.
extern const char16_t kWhitespace[];

char16_t FoldLower(char16_t unit);
char16_t FoldUpper(char16_t unit);

// Trimming and quotes. A null set does nothing.
void TrimLeft(std::u16string& s, const char16_t* set);
void TrimRight(std::u16string& s, const char16_t* set);
void TrimWhitespace(std::u16string& s);
void StripQuotes(std::u16string& s);

// Case and comparison.
void ToLowerInPlace(std::u16string& s);
void ToUpperInPlace(std::u16string& s);
int CompareNoCase(const std::u16string& a, const std::u16string& b);
int CompareNoCaseN(const std::u16string& a, const std::u16string& b, size_t n);
bool StartsWith(const std::u16string& s, const std::u16string& prefix);
bool EndsWith(const std::u16string& s, const std::u16string& suffix);
bool StartsWithNoCase(const std::u16string& s, const std::u16string& prefix);
bool EndsWithNoCase(const std::u16string& s, const std::u16string& suffix);
size_t FindNoCase(const std::u16string& s, const std::u16string& sub, size_t from = 0);

// Replacing and splitting. Null `from`/`to` texts do nothing.
void ReplaceChar(std::u16string& s, char16_t from, char16_t to);
void ReplaceAll(std::u16string& s, const char16_t* from, const char16_t* to);
void ReplaceAllNoCase(std::u16string& s, const char16_t* from, const char16_t* to);
std::u16string SplitFirst(std::u16string& s, const std::u16string& separator);
std::u16string Mid(const std::u16string& s, int64_t position, int64_t count = -1);

// Numbers. `end`, when given, receives the index of the first unit not used.
uint64_t ParseUnsigned(const std::u16string& text, size_t* end = nullptr);
int64_t ParseSigned(const std::u16string& text);
uint32_t ParseHex(const std::u16string& text);
std::u16string ToHex8(uint32_t value);

// Tokenises a task line: only the space separates, a token that starts with a double
// quote runs to the next double quote, and quotes stay part of the tokens.
void SplitArguments(const std::u16string& line, std::vector<std::u16string>& list);

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
