#include "system/string_utils.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

using test::U;

// Applies an in-place operation to a copy.
template <typename Op>
std::u16string Applied(std::u16string s, Op op) {
  op(s);
  return s;
}

TEST(StringUtilsTest, TrimQuotesReplaceAndSplit) {
  EXPECT_EQ(Applied(u" \ta b\r\n", TrimWhitespace), u"a b");
  EXPECT_EQ(Applied(u"\x3000x", TrimWhitespace), u"\x3000x");
  EXPECT_EQ(Applied(u"--x-y--", [](auto& s) { TrimLeft(s, u"-"); }), u"x-y--");
  EXPECT_EQ(Applied(u"--x-y--", [](auto& s) { TrimRight(s, u"-y"); }), u"--x");
  EXPECT_EQ(Applied(u" x ", [](auto& s) { TrimLeft(s, nullptr); }), u" x ");
  EXPECT_EQ(Applied(u"\"a\"b\"", StripQuotes), u"a\"b");
  EXPECT_EQ(Applied(u"\"", StripQuotes), u"");

  // Inserted text is never searched again.
  EXPECT_EQ(Applied(u"aaa", [](auto& s) { ReplaceAll(s, u"a", u"aa"); }), u"aaaaaa");
  EXPECT_EQ(Applied(u"xAx", [](auto& s) { ReplaceAll(s, u"a", u"b"); }), u"xAx");
  EXPECT_EQ(Applied(u"abc", [](auto& s) { ReplaceAll(s, u"", u"x"); }), u"abc");
  EXPECT_EQ(Applied(u"abc", [](auto& s) { ReplaceAll(s, nullptr, u"x"); }), u"abc");
  EXPECT_EQ(Applied(u"##Install##\\a;##INSTALL##",
                    [](auto& s) { ReplaceAllNoCase(s, u"##install##", u"##install####INSTALL##"); }),
            u"##install####INSTALL##\\a;##install####INSTALL##");

  std::u16string s = u"key=value=x";
  EXPECT_EQ(SplitFirst(s, u"="), u"key");
  EXPECT_EQ(s, u"value=x");
  s = u"abc";
  EXPECT_EQ(SplitFirst(s, u"="), u"abc");
  EXPECT_EQ(s, u"");
  EXPECT_EQ(Mid(u"abcdef", 4, 100), u"ef");
  EXPECT_EQ(Mid(u"abcdef", -1, 2), u"");
}

TEST(StringUtilsTest, FoldsTheCoveredScriptsOnly) {
  // The ends of each covered range, and the pairs that break a range's pattern.
  const std::pair<char16_t, char16_t> pairs[] = {
      {u'A', u'a'},     {0x00C0, 0x00E0}, {0x00DE, 0x00FE}, {0x0178, 0x00FF}, {0x0100, 0x0101},
      {0x0139, 0x013A}, {0x014A, 0x014B}, {0x017D, 0x017E}, {0x0391, 0x03B1}, {0x03A9, 0x03C9},
      {0x0400, 0x0450}, {0x042F, 0x044F}, {0xFF21, 0xFF41}, {0xFF3A, 0xFF5A},
  };
  for (const auto& [upper, lower] : pairs) {
    EXPECT_EQ(FoldLower(upper), lower) << std::hex << upper;
    EXPECT_EQ(FoldUpper(lower), upper) << std::hex << lower;
  }
  // No single-unit partner: × ÷ ß µ İ ı ĸ ŉ ſ, the unused Greek slot, final sigma, CJK.
  for (char16_t unit :
       {0x00D7, 0x00F7, 0x00DF, 0x00B5, 0x0130, 0x0131, 0x0138, 0x0149, 0x017F, 0x03A2, 0x03C2, 0x5B89}) {
    EXPECT_EQ(FoldLower(unit), unit) << std::hex << unit;
    EXPECT_EQ(FoldUpper(unit), unit) << std::hex << unit;
  }
}

TEST(StringUtilsTest, CaseInsensitiveCompareAndSearch) {
  EXPECT_LT(CompareNoCase(u"ab", u"abc"), 0);
  // '_' lies between the upper and the lower case letters: upper-case folding puts it
  // after them.
  EXPECT_GT(CompareNoCase(u"_", u"a"), 0);
  EXPECT_EQ(CompareNoCase(U("Ärger Ωmega Ёж"), U("äRGER ωMEGA ёЖ")), 0);
  EXPECT_EQ(CompareNoCaseN(u"abcX", u"ABCy", 3), 0);
  EXPECT_LT(CompareNoCaseN(u"ab", u"abc", 3), 0);

  EXPECT_FALSE(StartsWith(u"REG", u"REGEDIT4"));
  EXPECT_TRUE(StartsWithNoCase(u"##Install##\\a", u"##INSTALL##"));
  EXPECT_TRUE(EndsWithNoCase(U("ПАПКА"), U("пка")));
  EXPECT_FALSE(EndsWithNoCase(u"lnk", u".lnk"));
  EXPECT_EQ(FindNoCase(u"C:\\##INSTALL##\\x", u"##install##"), 3u);
  EXPECT_EQ(FindNoCase(u"aXbx", u"x", 2), 3u);
  EXPECT_EQ(FindNoCase(u"abc", u"a", 4), kNotFound);
}

TEST(StringUtilsTest, ParsesAndPrintsNumbers) {
  EXPECT_EQ(ParseHex(u"0XFf"), 255u);
  EXPECT_EQ(ParseHex(u"0x1234567890"), 0x12345678u);
  EXPECT_EQ(ParseHex(u"1a,2"), 0x1Au);
  EXPECT_EQ(ParseSigned(u"-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(ParseSigned(u"+5"), 0);
  EXPECT_EQ(ParseUnsigned(u" 12"), 0u);
  EXPECT_EQ(ParseUnsigned(u"18446744073709551616"), 0u);  // wraps
  size_t end = 99;
  EXPECT_EQ(ParseUnsigned(u"0042,7", &end), 42u);
  EXPECT_EQ(end, 4u);
  EXPECT_EQ(ToHex8(0xABCD), u"0000ABCD");
}

}  // namespace
}  // namespace Zavro
