#include <gtest/gtest.h>

#include <climits>

#include "system/string_utils.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::U;

TEST(FormatStringTest, TextAndLiterals) {
  EXPECT_EQ(FormatString(u"plain"), u"plain");
  EXPECT_EQ(FormatString(u"100%%"), u"100%");
  EXPECT_EQ(FormatString(u"%s-%s", u"a", std::u16string(u"b")), u"a-b");
  EXPECT_EQ(FormatString(U("安装失败:%s").c_str(), U("拒绝访问")), U("安装失败:拒绝访问"));
  EXPECT_EQ(FormatString(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[(null)]");
  EXPECT_EQ(FormatString(u"[%5s|%-5s|%.2s|%.0s]", u"ab", u"ab", u"abc", u"abc"),
            u"[   ab|ab   |ab|]");
  EXPECT_EQ(FormatString(u"%S %ls %hs", u"a", u"b", u"c"), u"a b c");
  // A text argument ends at its first null unit.
  EXPECT_EQ(FormatString(u"%s!", std::u16string(u"ab\0cd", 5)), u"ab!");
}

TEST(FormatStringTest, NullOrEmptyFormat) {
  EXPECT_EQ(FormatString(nullptr), u"");
  EXPECT_EQ(FormatString(u""), u"");
  EXPECT_EQ(FormatString(static_cast<const char16_t*>(nullptr), 1), u"");

  std::u16string out = u"kept";
  FormatInto(out, nullptr, 1);
  EXPECT_EQ(out, u"kept");
  FormatInto(out, u"");
  EXPECT_EQ(out, u"kept");
  FormatInto(out, u"%d", 7);
  EXPECT_EQ(out, u"7");
}

TEST(FormatStringTest, SignedIntegers) {
  EXPECT_EQ(FormatString(u"%d %i", 42, -42), u"42 -42");
  EXPECT_EQ(FormatString(u"%d", INT_MIN), u"-2147483648");
  EXPECT_EQ(FormatString(u"%d", INT_MAX), u"2147483647");
  // A system error of 0xFFFFFFFF prints as -1: arguments are read as 32 bits.
  EXPECT_EQ(FormatString(u"%d", 0xFFFFFFFFu), u"-1");
  EXPECT_EQ(FormatString(u"%d", int64_t{0x100000005}), u"5");
  EXPECT_EQ(FormatString(u"%ld %I32d", 1, 2), u"1 2");
  EXPECT_EQ(FormatString(u"%hd", 70000), u"4464");
  EXPECT_EQ(FormatString(u"%lld %I64d", INT64_MIN, int64_t{-1}), u"-9223372036854775808 -1");
  EXPECT_EQ(FormatString(u"%d", u'A'), u"65");
}

TEST(FormatStringTest, UnsignedAndHex) {
  EXPECT_EQ(FormatString(u"%u", -1), u"4294967295");
  EXPECT_EQ(FormatString(u"%I64u", UINT64_MAX), u"18446744073709551615");
  EXPECT_EQ(FormatString(u"%I64u", uint64_t{5000000000}), u"5000000000");
  EXPECT_EQ(FormatString(u"%u", uint64_t{5000000000}), u"705032704");
  EXPECT_EQ(FormatString(u"%llu", -1), u"18446744073709551615");
  EXPECT_EQ(FormatString(u"%x %X", 0xBEEFu, 0xBEEFu), u"beef BEEF");
  EXPECT_EQ(FormatString(u"%x", -1), u"ffffffff");
  EXPECT_EQ(FormatString(u"%I64X", uint64_t{0x123456789ABCDEF0}), u"123456789ABCDEF0");
  EXPECT_EQ(FormatString(u"%#x %#X %#x", 255, 255, 0), u"0xff 0XFF 0");
  EXPECT_EQ(FormatString(u"%08X", 0xABCDu), u"0000ABCD");
  EXPECT_EQ(FormatString(u"%+u % u", 1, 2), u"1 2");  // signs are for %d and %i only
}

TEST(FormatStringTest, FlagsWidthAndPrecision) {
  EXPECT_EQ(FormatString(u"[%5d|%-5d|%05d|%-05d]", 42, 42, 42, 42), u"[   42|42   |00042|42   ]");
  EXPECT_EQ(FormatString(u"[%+d|%+d|% d|%+ d]", 5, -5, 5, 5), u"[+5|-5| 5|+5]");
  EXPECT_EQ(FormatString(u"[%05d|%+05d|%#010x]", -42, 42, 255), u"[-0042|+0042|0x000000ff]");
  EXPECT_EQ(FormatString(u"[%.3d|%8.3d|%08.3d|%.3d]", 7, -7, 7, 1234), u"[007|    -007|     007|1234]");
  EXPECT_EQ(FormatString(u"[%.0d|%.d|%5.0x|%d]", 0, 0, 0, 0), u"[||     |0]");
  EXPECT_EQ(FormatString(u"[%2d]", 12345), u"[12345]");
  // Like the Windows runtime, '0' pads text and characters with zeros too.
  EXPECT_EQ(FormatString(u"[%05s|%03c]", u"ab", u'x'), u"[000ab|00x]");
}

TEST(FormatStringTest, StarTakesAnArgument) {
  EXPECT_EQ(FormatString(u"[%*d]", 5, 42), u"[   42]");
  EXPECT_EQ(FormatString(u"[%*d]", -5, 42), u"[42   ]");
  EXPECT_EQ(FormatString(u"[%.*s]", 2, u"abcdef"), u"[ab]");
  EXPECT_EQ(FormatString(u"[%*.*d]", 6, 4, 3), u"[  0003]");
  EXPECT_EQ(FormatString(u"[%.*d]", -1, 3), u"[3]");  // a negative precision is none
}

TEST(FormatStringTest, Characters) {
  EXPECT_EQ(FormatString(u"%c%c%c", u'a', 'b', 0x4E2D), U("ab中"));
  EXPECT_EQ(FormatString(u"[%3c|%-3C]", u'x', u'y'), u"[  x|y  ]");
  EXPECT_EQ(FormatString(u"%c", 0x10041), u"A");  // one UTF-16 unit
}

TEST(FormatStringTest, InvalidFormatsGiveEmptyText) {
  EXPECT_EQ(FormatString(u"a%yb", 1), u"");  // unknown conversion
  EXPECT_EQ(FormatString(u"%f", 1), u"");
  EXPECT_EQ(FormatString(u"%I6d", 1), u"");
  EXPECT_EQ(FormatString(u"abc%"), u"");  // '%' at the end
  EXPECT_EQ(FormatString(u"abc%-5", 1), u"");
  EXPECT_EQ(FormatString(u"%d"), u"");  // missing argument
  EXPECT_EQ(FormatString(u"%d %d", 1), u"");
  EXPECT_EQ(FormatString(u"%*d", 5), u"");
  EXPECT_EQ(FormatString(u"%d", u"text"), u"");  // wrong kind
  EXPECT_EQ(FormatString(u"%s", 1), u"");
  EXPECT_EQ(FormatString(u"%s", u'c'), u"");
  EXPECT_EQ(FormatString(u"%c", u"text"), u"");
  EXPECT_EQ(FormatString(u"%*d", u"5", 1), u"");
  EXPECT_EQ(FormatString(u"%99999999999d", 1), u"");  // width beyond int
  // Surplus arguments are ignored, as in C.
  EXPECT_EQ(FormatString(u"%d", 1, 2), u"1");
}

TEST(FormatStringTest, LongOutputs) {
  const std::u16string text5000(5000, u'x');
  EXPECT_EQ(FormatString(u"%s", text5000), text5000);
  EXPECT_EQ(FormatString(u"%5000d", 1), std::u16string(4999, u' ') + u"1");

  const std::u16string mega(1 << 20, u'\x4E2D');
  const std::u16string out = FormatString(u"<%s>%d", mega, 9);
  ASSERT_EQ(out.size(), mega.size() + 3);
  EXPECT_EQ(out, u"<" + mega + u">9");
}

}  // namespace
}  // namespace Zavro
