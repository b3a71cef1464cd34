#include "system/string_utils.h"

#include <algorithm>

namespace Zavro {

const char16_t kWhitespace[] = u" \r\t\n";

namespace {

constexpr char16_t kQuote = u'"';

bool InRange(char16_t unit, char16_t first, char16_t last) { return unit >= first && unit <= last; }

bool Contains(const char16_t* set, char16_t unit) {
  for (; *set != 0; ++set) {
    if (*set == unit) return true;
  }
  return false;
}

// Latin Extended-A alternates between two pairings: from U+0100 an even upper case
// letter precedes its odd lower case one, from U+0139 (after the dotted/dotless i and
// kra, which have no partner in the block) an odd upper case letter precedes an even
// one, from U+014A even/odd again, and from U+0179 odd/even. U+0130, U+0131, U+0138,
// U+0149 and U+017F have no single-unit partner here and stay as they are.
bool IsLatinExtAUpper(char16_t unit) {
  if (InRange(unit, 0x0100, 0x012F) || InRange(unit, 0x0132, 0x0137) ||
      InRange(unit, 0x014A, 0x0177)) {
    return unit % 2 == 0;
  }
  if (InRange(unit, 0x0139, 0x0148) || InRange(unit, 0x0179, 0x017E)) return unit % 2 == 1;
  return false;
}

bool IsLatinExtALower(char16_t unit) {
  if (InRange(unit, 0x0101, 0x012F) || InRange(unit, 0x0133, 0x0137) ||
      InRange(unit, 0x014B, 0x0177)) {
    return unit % 2 == 1;
  }
  if (InRange(unit, 0x013A, 0x0148) || InRange(unit, 0x017A, 0x017E)) return unit % 2 == 0;
  return false;
}

size_t Length(const char16_t* text) { return std::char_traits<char16_t>::length(text); }

bool EqualNoCase(const char16_t* a, const char16_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (FoldLower(a[i]) != FoldLower(b[i])) return false;
  }
  return true;
}

// Every occurrence of `from` in `s`, left to right and without overlap, becomes `to`.
// Building a new text is the same as replacing in place and searching on after the
// inserted text, without the quadratic cost of shifting the tail at each match.
template <typename Find>
void ReplaceEach(std::u16string& s, const std::u16string& from, const char16_t* to, Find find) {
  size_t p = find(s, from, 0);
  if (p == kNotFound) return;
  std::u16string result;
  result.reserve(s.size());
  size_t copied = 0;
  while (p != kNotFound) {
    result.append(s, copied, p - copied);
    result.append(to);
    copied = p + from.size();
    p = find(s, from, copied);
  }
  result.append(s, copied, std::u16string::npos);
  s.swap(result);
}

}  // namespace

char16_t FoldLower(char16_t unit) {
  if (InRange(unit, u'A', u'Z')) return unit + 0x20;
  if (unit < 0x00C0) return unit;
  if (InRange(unit, 0x00C0, 0x00DE) && unit != 0x00D7) return unit + 0x20;
  if (unit == 0x0178) return 0x00FF;
  if (IsLatinExtAUpper(unit)) return unit + 1;
  if (InRange(unit, 0x0391, 0x03A9) && unit != 0x03A2) return unit + 0x20;
  if (InRange(unit, 0x0400, 0x040F)) return unit + 0x50;
  if (InRange(unit, 0x0410, 0x042F)) return unit + 0x20;
  if (InRange(unit, 0xFF21, 0xFF3A)) return unit + 0x20;
  return unit;
}

char16_t FoldUpper(char16_t unit) {
  if (InRange(unit, u'a', u'z')) return unit - 0x20;
  if (unit < 0x00E0) return unit;
  if (InRange(unit, 0x00E0, 0x00FE) && unit != 0x00F7) return unit - 0x20;
  if (unit == 0x00FF) return 0x0178;
  if (IsLatinExtALower(unit)) return unit - 1;
  if (InRange(unit, 0x03B1, 0x03C9) && unit != 0x03C2) return unit - 0x20;
  if (InRange(unit, 0x0430, 0x044F)) return unit - 0x20;
  if (InRange(unit, 0x0450, 0x045F)) return unit - 0x50;
  if (InRange(unit, 0xFF41, 0xFF5A)) return unit - 0x20;
  return unit;
}

void TrimLeft(std::u16string& s, const char16_t* set) {
  if (set == nullptr || s.empty()) return;
  size_t first = 0;
  while (first < s.size() && Contains(set, s[first])) ++first;
  s.erase(0, first);
}

void TrimRight(std::u16string& s, const char16_t* set) {
  if (set == nullptr || s.empty()) return;
  size_t end = s.size();
  while (end > 0 && Contains(set, s[end - 1])) --end;
  s.erase(end);
}

void TrimWhitespace(std::u16string& s) {
  TrimRight(s, kWhitespace);
  TrimLeft(s, kWhitespace);
}

void StripQuotes(std::u16string& s) {
  if (s.empty() || s.front() != kQuote || s.back() != kQuote) return;
  s.pop_back();
  if (!s.empty()) s.erase(0, 1);
}

void ToLowerInPlace(std::u16string& s) {
  for (char16_t& unit : s) unit = FoldLower(unit);
}

void ToUpperInPlace(std::u16string& s) {
  for (char16_t& unit : s) unit = FoldUpper(unit);
}

int CompareNoCaseN(const std::u16string& a, const std::u16string& b, size_t n) {
  // The shorter text takes part with its terminator, as a C string would, so that a
  // proper prefix orders before the longer text.
  const size_t length = std::max(a.size(), b.size()) + 1;
  const size_t limit = std::min(n, length);
  for (size_t i = 0; i < limit; ++i) {
    const char16_t ua = FoldUpper(i < a.size() ? a[i] : u'\0');
    const char16_t ub = FoldUpper(i < b.size() ? b[i] : u'\0');
    if (ua != ub) return static_cast<int>(ua) - static_cast<int>(ub);
    if (ua == 0) break;
  }
  return 0;
}

int CompareNoCase(const std::u16string& a, const std::u16string& b) {
  return CompareNoCaseN(a, b, kNotFound);
}

bool StartsWith(const std::u16string& s, const std::u16string& prefix) {
  return prefix.size() <= s.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::u16string& s, const std::u16string& suffix) {
  return suffix.size() <= s.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool StartsWithNoCase(const std::u16string& s, const std::u16string& prefix) {
  return prefix.size() <= s.size() && EqualNoCase(s.data(), prefix.data(), prefix.size());
}

bool EndsWithNoCase(const std::u16string& s, const std::u16string& suffix) {
  return suffix.size() <= s.size() &&
         EqualNoCase(s.data() + s.size() - suffix.size(), suffix.data(), suffix.size());
}

size_t FindNoCase(const std::u16string& s, const std::u16string& sub, size_t from) {
  if (from > s.size() || sub.size() > s.size() - from) return kNotFound;
  const size_t last = s.size() - sub.size();
  for (size_t p = from; p <= last; ++p) {
    if (EqualNoCase(s.data() + p, sub.data(), sub.size())) return p;
  }
  return kNotFound;
}

void ReplaceChar(std::u16string& s, char16_t from, char16_t to) {
  for (char16_t& unit : s) {
    if (unit == from) unit = to;
  }
}

// An empty `from` would match everywhere without advancing; it replaces nothing.
void ReplaceAll(std::u16string& s, const char16_t* from, const char16_t* to) {
  if (from == nullptr || to == nullptr || *from == 0) return;
  ReplaceEach(s, std::u16string(from, Length(from)), to,
              [](const std::u16string& text, const std::u16string& sub, size_t at) {
                const size_t p = text.find(sub, at);
                return p == std::u16string::npos ? kNotFound : p;
              });
}

void ReplaceAllNoCase(std::u16string& s, const char16_t* from, const char16_t* to) {
  if (from == nullptr || to == nullptr || *from == 0) return;
  ReplaceEach(s, std::u16string(from, Length(from)), to, FindNoCase);
}

std::u16string SplitFirst(std::u16string& s, const std::u16string& separator) {
  if (s.empty() || separator.empty()) return std::u16string();
  const size_t p = s.find(separator);
  std::u16string first;
  if (p == std::u16string::npos) {
    first.swap(s);
  } else {
    first = s.substr(0, p);
    s.erase(0, p + separator.size());
  }
  return first;
}

// Any negative count, not only -1, means "to the end".
std::u16string Mid(const std::u16string& s, int64_t position, int64_t count) {
  if (position < 0 || static_cast<uint64_t>(position) >= s.size()) return std::u16string();
  const size_t start = static_cast<size_t>(position);
  const size_t rest = s.size() - start;
  if (count < 0 || static_cast<uint64_t>(count) > rest) return s.substr(start);
  return s.substr(start, static_cast<size_t>(count));
}

uint64_t ParseUnsigned(const std::u16string& text, size_t* end) {
  uint64_t value = 0;
  size_t i = 0;
  for (; i < text.size() && InRange(text[i], u'0', u'9'); ++i) {
    value = value * 10 + (text[i] - u'0');
  }
  if (end != nullptr) *end = i;
  return value;
}

int64_t ParseSigned(const std::u16string& text) {
  if (!text.empty() && text[0] == u'-') {
    // Negated in unsigned arithmetic: wrapping is defined there, and "-9223372036854775808"
    // comes out as the smallest value.
    return static_cast<int64_t>(0 - ParseUnsigned(text.substr(1)));
  }
  return static_cast<int64_t>(ParseUnsigned(text));
}

uint32_t ParseHex(const std::u16string& text) {
  size_t i = 0;
  if (text.size() >= 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) i = 2;
  const size_t end = std::min(text.size(), i + 8);
  uint32_t value = 0;
  for (; i < end; ++i) {
    const char16_t c = text[i];
    uint32_t digit;
    if (InRange(c, u'0', u'9')) {
      digit = c - u'0';
    } else if (InRange(c, u'a', u'f')) {
      digit = c - u'a' + 10;
    } else if (InRange(c, u'A', u'F')) {
      digit = c - u'A' + 10;
    } else {
      break;
    }
    value = value << 4 | digit;
  }
  return value;
}

std::u16string ToHex8(uint32_t value) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text(8, u'0');
  for (int i = 7; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
  return text;
}

}  // namespace Zavro
