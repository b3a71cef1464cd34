#include "system/string_utils.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

using test::U;

using Strings = std::vector<std::u16string>;

std::u16string Trimmed(std::u16string s) {
  TrimWhitespace(s);
  return s;
}

std::u16string Unquoted(std::u16string s) {
  StripQuotes(s);
  return s;
}

std::u16string Replaced(std::u16string s, const char16_t* from, const char16_t* to,
                        bool noCase = false) {
  if (noCase) {
    ReplaceAllNoCase(s, from, to);
  } else {
    ReplaceAll(s, from, to);
  }
  return s;
}

Strings Split(const std::u16string& line) {
  Strings list{u"stale"};
  SplitArguments(line, list);
  return list;
}

TEST(StringTrimTest, TrimsOnlyUnitsOfTheSet) {
  EXPECT_EQ(Trimmed(u" \ta b\r\n"), u"a b");
  EXPECT_EQ(Trimmed(u" \r\t\n"), u"");
  EXPECT_EQ(Trimmed(u"\x3000x"), u"\x3000x");  // ideographic space is not whitespace

  std::u16string s = u"--x-y--";
  TrimLeft(s, u"-");
  EXPECT_EQ(s, u"x-y--");
  TrimRight(s, u"-y");
  EXPECT_EQ(s, u"x");
  TrimLeft(s, nullptr);
  TrimRight(s, nullptr);
  EXPECT_EQ(s, u"x");
  EXPECT_EQ(std::u16string(kWhitespace), u" \r\t\n");
}

TEST(StringTrimTest, StripQuotesNeedsAQuoteAtBothEnds) {
  EXPECT_EQ(Unquoted(u"\"a\"b\""), u"a\"b");
  EXPECT_EQ(Unquoted(u"ab\""), u"ab\"");
  EXPECT_EQ(Unquoted(u"\"ab"), u"\"ab");
  EXPECT_EQ(Unquoted(u"\""), u"");
  EXPECT_EQ(Unquoted(u"\"\""), u"");
  EXPECT_EQ(Unquoted(u""), u"");
}

TEST(StringFoldTest, FoldsTheCoveredScriptsBothWays) {
  const std::pair<char16_t, char16_t> pairs[] = {
      {u'A', u'a'},     {u'Z', u'z'},     {0x00C0, 0x00E0}, {0x00DE, 0x00FE},
      {0x0178, 0x00FF}, {0x0100, 0x0101}, {0x0132, 0x0133}, {0x0139, 0x013A},
      {0x0147, 0x0148}, {0x014A, 0x014B}, {0x0176, 0x0177}, {0x0179, 0x017A},
      {0x017D, 0x017E}, {0x0391, 0x03B1}, {0x03A3, 0x03C3}, {0x03A9, 0x03C9},
      {0x0400, 0x0450}, {0x040F, 0x045F}, {0x0410, 0x0430}, {0x042F, 0x044F},
      {0xFF21, 0xFF41}, {0xFF3A, 0xFF5A},
  };
  for (const auto& [upper, lower] : pairs) {
    EXPECT_EQ(FoldLower(upper), lower) << std::hex << upper;
    EXPECT_EQ(FoldUpper(lower), upper) << std::hex << lower;
    EXPECT_EQ(FoldLower(lower), lower) << std::hex << lower;
    EXPECT_EQ(FoldUpper(upper), upper) << std::hex << upper;
  }
}

TEST(StringFoldTest, LeavesUnitsWithoutASingleUnitPartnerAlone) {
  // multiplication and division signs, sharp s, micro sign, dotted and dotless i, kra,
  // n preceded by apostrophe, long s, the unused Greek slot and final sigma, digits,
  // CJK, surrogates, the ideographic space
  for (char16_t unit : {0x00D7, 0x00F7, 0x00DF, 0x00B5, 0x0130, 0x0131, 0x0138, 0x0149,
                        0x017F, 0x03A2, 0x03C2, 0x0030, 0x5B89, 0xD800, 0xDC00, 0x3000}) {
    EXPECT_EQ(FoldLower(unit), unit) << std::hex << unit;
    EXPECT_EQ(FoldUpper(unit), unit) << std::hex << unit;
  }
}

TEST(StringFoldTest, EveryFoldIsUndoneByTheOther) {
  for (uint32_t u = 0; u <= 0xFFFF; ++u) {
    const char16_t unit = static_cast<char16_t>(u);
    if (FoldLower(unit) != unit) {
      EXPECT_EQ(FoldUpper(FoldLower(unit)), unit) << std::hex << u;
    }
    if (FoldUpper(unit) != unit) {
      EXPECT_EQ(FoldLower(FoldUpper(unit)), unit) << std::hex << u;
    }
  }
}

TEST(StringCompareTest, CompareNoCaseFoldsToUpperCase) {
  EXPECT_NE(CompareNoCase(u"File.LNK", u".lnk"), 0);
  EXPECT_EQ(CompareNoCase(u".LNK", u".lnk"), 0);
  EXPECT_EQ(CompareNoCase(u"", u""), 0);
  EXPECT_LT(CompareNoCase(u"ab", u"abc"), 0);
  EXPECT_GT(CompareNoCase(u"ABC", u"ab"), 0);
  EXPECT_EQ(CompareNoCase(u"b", u"a"), 'B' - 'A');
  // '_' lies between the upper and the lower case letters: upper-case folding puts it
  // after them.
  EXPECT_GT(CompareNoCase(u"_", u"a"), 0);
  EXPECT_EQ(CompareNoCase(U("Ärger Ωmega Ёж"), U("äRGER ωMEGA ёЖ")), 0);
}

TEST(StringCompareTest, CompareNoCaseNStopsAfterNUnits) {
  EXPECT_EQ(CompareNoCaseN(u"abc", u"xyz", 0), 0);
  EXPECT_EQ(CompareNoCaseN(u"abcX", u"ABCy", 3), 0);
  EXPECT_NE(CompareNoCaseN(u"abcX", u"ABCy", 4), 0);
  EXPECT_EQ(CompareNoCaseN(u"ab", u"abc", 2), 0);
  EXPECT_LT(CompareNoCaseN(u"ab", u"abc", 3), 0);
  EXPECT_EQ(CompareNoCaseN(u"ab", u"AB", 100), 0);
}

TEST(StringCompareTest, PrefixesAndSuffixes) {
  EXPECT_TRUE(StartsWith(u"REGEDIT4\r\n", u"REGEDIT4"));
  EXPECT_FALSE(StartsWith(u"regedit4", u"REGEDIT4"));
  EXPECT_FALSE(StartsWith(u"REG", u"REGEDIT4"));
  EXPECT_TRUE(StartsWith(u"x", u""));
  EXPECT_TRUE(EndsWith(u"a.lnk", u".lnk"));
  EXPECT_FALSE(EndsWith(u"a.LNK", u".lnk"));
  EXPECT_FALSE(EndsWith(u"lnk", u".lnk"));

  EXPECT_TRUE(StartsWithNoCase(u"##Install##\\a", u"##INSTALL##"));
  EXPECT_TRUE(EndsWithNoCase(u"a.LNK", u".lnk"));
  EXPECT_TRUE(EndsWithNoCase(U("ПАПКА"), U("пка")));
  EXPECT_FALSE(EndsWithNoCase(u"lnk", u".lnk"));
  EXPECT_FALSE(StartsWithNoCase(u"ab", u"abc"));
}

TEST(StringCompareTest, FindNoCase) {
  EXPECT_EQ(FindNoCase(u"C:\\##INSTALL##\\x", u"##install##"), 3u);
  EXPECT_EQ(FindNoCase(u"aXbx", u"x", 2), 3u);
  EXPECT_EQ(FindNoCase(u"abc", u"d"), kNotFound);
  EXPECT_EQ(FindNoCase(u"abc", u"abcd"), kNotFound);
  EXPECT_EQ(FindNoCase(u"abc", u"a", 4), kNotFound);
  EXPECT_EQ(FindNoCase(u"abc", u"", 1), 1u);
}

TEST(StringCaseTest, ConvertsEveryUnit) {
  std::u16string s = U("Straße ÀÿŸ Σς Ёё ＡＢ");
  ToLowerInPlace(s);
  EXPECT_EQ(s, U("straße àÿÿ σς ёё ａｂ"));
  ToUpperInPlace(s);
  EXPECT_EQ(s, U("STRAßE ÀŸŸ Σς ЁЁ ＡＢ"));
}

TEST(StringReplaceTest, ReplaceAllNeverSearchesInsertedText) {
  EXPECT_EQ(Replaced(u"aaa", u"a", u"aa"), u"aaaaaa");
  EXPECT_EQ(Replaced(u"abab", u"ab", u""), u"");
  EXPECT_EQ(Replaced(u"xAx", u"a", u"b"), u"xAx");
  // The registry name unescaping: pairs of backslashes first, then escaped quotes.
  EXPECT_EQ(Replaced(Replaced(u"a\\\\\\\"b", u"\\\\", u"\\"), u"\\\"", u"\""), u"a\\\"b");
  EXPECT_EQ(Replaced(u"abc", u"", u"x"), u"abc");
  EXPECT_EQ(Replaced(u"abc", nullptr, u"x"), u"abc");
  EXPECT_EQ(Replaced(u"abc", u"b", nullptr), u"abc");
}

TEST(StringReplaceTest, ReplaceAllNoCase) {
  EXPECT_EQ(Replaced(u"##Install##\\a;##INSTALL##", u"##install##", u"C:\\P", true),
            u"C:\\P\\a;C:\\P");
  EXPECT_EQ(Replaced(u"AAA", u"a", u"aA", true), u"aAaAaA");
  EXPECT_EQ(Replaced(u"abc", u"", u"x", true), u"abc");
  EXPECT_EQ(Replaced(u"abc", nullptr, u"x", true), u"abc");
  EXPECT_EQ(Replaced(u"abc", u"B", nullptr, true), u"abc");

  std::u16string s = u"a-b-c";
  ReplaceChar(s, u'-', u'\\');
  EXPECT_EQ(s, u"a\\b\\c");
}

TEST(StringSplitTest, SplitFirst) {
  std::u16string s = u"key=value=x";
  EXPECT_EQ(SplitFirst(s, u"="), u"key");
  EXPECT_EQ(s, u"value=x");

  s = u"abc";
  EXPECT_EQ(SplitFirst(s, u"="), u"abc");
  EXPECT_EQ(s, u"");

  s = u"a::b";
  EXPECT_EQ(SplitFirst(s, u"::"), u"a");
  EXPECT_EQ(s, u"b");

  s = u"abc";
  EXPECT_EQ(SplitFirst(s, u""), u"");
  EXPECT_EQ(s, u"abc");

  s = u"";
  EXPECT_EQ(SplitFirst(s, u"="), u"");
}

TEST(StringSplitTest, Mid) {
  EXPECT_EQ(Mid(u"abcdef", 2), u"cdef");
  EXPECT_EQ(Mid(u"abcdef", 2, 3), u"cde");
  EXPECT_EQ(Mid(u"abcdef", 4, 100), u"ef");
  EXPECT_EQ(Mid(u"abcdef", 5, 0), u"");
  EXPECT_EQ(Mid(u"abcdef", 6), u"");
  EXPECT_EQ(Mid(u"abcdef", -1, 2), u"");
  EXPECT_EQ(Mid(u"", 0), u"");
  EXPECT_EQ(Mid(u"abcdef", 1, INT64_MAX), u"bcdef");
}

TEST(StringSplitTest, SplitArgumentsKeepsQuotes) {
  EXPECT_EQ(Split(u"run \"C:\\A B\\x.exe\" /S"), (Strings{u"run", u"\"C:\\A B\\x.exe\"", u"/S"}));
  EXPECT_EQ(Split(u"\"a b\"c"), (Strings{u"\"a b\"", u"c"}));
  EXPECT_EQ(Split(u"x\"y z\""), (Strings{u"x\"y", u"z\""}));
  EXPECT_EQ(Split(u"  a   b  "), (Strings{u"a", u"b"}));
  EXPECT_EQ(Split(u"\"unterminated x"), (Strings{u"\"unterminated x"}));
  EXPECT_EQ(Split(u"a\tb\r\n"), (Strings{u"a\tb\r\n"}));
  EXPECT_EQ(Split(u"\"\" \""), (Strings{u"\"\"", u"\""}));
  EXPECT_EQ(Split(u"   "), Strings{});
}

TEST(StringNumberTest, ParseHex) {
  EXPECT_EQ(ParseHex(u"ff"), 255u);
  EXPECT_EQ(ParseHex(u"0XFF"), 255u);
  EXPECT_EQ(ParseHex(u"0xg1"), 0u);
  EXPECT_EQ(ParseHex(u"0x"), 0u);
  EXPECT_EQ(ParseHex(u""), 0u);
  EXPECT_EQ(ParseHex(u"0x1234567890"), 0x12345678u);
  EXPECT_EQ(ParseHex(u"FFFFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseHex(u"00000001"), 1u);
  EXPECT_EQ(ParseHex(u"1a,2"), 0x1Au);
  EXPECT_EQ(ParseHex(u" 1"), 0u);
  EXPECT_EQ(ParseHex(u"0x0x1"), 0u);
}

TEST(StringNumberTest, ParseDecimal) {
  EXPECT_EQ(ParseSigned(u"-12abc"), -12);
  EXPECT_EQ(ParseSigned(u"12"), 12);
  EXPECT_EQ(ParseSigned(u"-"), 0);
  EXPECT_EQ(ParseSigned(u"+5"), 0);
  EXPECT_EQ(ParseSigned(u"-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(ParseUnsigned(u" 12"), 0u);
  EXPECT_EQ(ParseUnsigned(u""), 0u);
  EXPECT_EQ(ParseUnsigned(u"18446744073709551615"), UINT64_MAX);
  EXPECT_EQ(ParseUnsigned(u"18446744073709551616"), 0u);  // wraps

  size_t end = 99;
  EXPECT_EQ(ParseUnsigned(u"0042,7", &end), 42u);
  EXPECT_EQ(end, 4u);
  ParseUnsigned(u"x", &end);
  EXPECT_EQ(end, 0u);
}

TEST(StringNumberTest, ToHex8) {
  EXPECT_EQ(ToHex8(0xABCD), u"0000ABCD");
  EXPECT_EQ(ToHex8(0), u"00000000");
  EXPECT_EQ(ToHex8(0xFFFFFFFF), u"FFFFFFFF");
}

}  // namespace
}  // namespace Zavro
