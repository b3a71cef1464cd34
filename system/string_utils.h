// Free functions over UTF-16 text: trimming, quotes, case-insensitive comparison and
// search, replacing, splitting and numbers (printf-style formatting: format.h).
// They keep no state and never throw (an exhausted heap excepted).
//
// Case-insensitive operations fold each UTF-16 unit on its own (FoldLower/FoldUpper),
// the same way on every target.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace Zavro
