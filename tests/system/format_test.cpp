#include <gtest/gtest.h>

#include <climits>

#include "system/format.h"
#include "test_support.h"

namespace Zavro {
namespace {

TEST(FormatStringTest, TextIntegersFlagsWidthAndPrecision) {
  EXPECT_EQ(FormatString(u"100%% %s-%s", u"a", std::u16string(u"b")), u"100% a-b");
  EXPECT_EQ(FormatString(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[(null)]");
  EXPECT_EQ(FormatString(u"[%5s|%-5s|%.2s]", u"ab", u"ab", u"abc"), u"[   ab|ab   |ab]");
  EXPECT_EQ(FormatString(u"%S %ls %hs", u"a", u"b", u"c"), u"a b c");
  EXPECT_EQ(FormatString(u"%c%c%c|%3c", u'a', 'b', 0x4E2D, u'x'), test::U("ab中|  x"));
  // Integers are cut to their length: a system error of 0xFFFFFFFF prints as -1.
  EXPECT_EQ(FormatString(u"%d %i %d", INT_MIN, INT_MAX, 0xFFFFFFFFu), u"-2147483648 2147483647 -1");
  EXPECT_EQ(FormatString(u"%ld %I32d %hd", 1, int64_t{0x100000002}, 70000), u"1 2 4464");
  EXPECT_EQ(FormatString(u"%lld %I64d", INT64_MIN, -1), u"-9223372036854775808 -1");
  EXPECT_EQ(FormatString(u"%u %x %X %llu", -1, 0xBEEFu, 0xBEEFu, -1), u"4294967295 beef BEEF 18446744073709551615");
  EXPECT_EQ(FormatString(u"%I64u %u", uint64_t{5000000000}, uint64_t{5000000000}), u"5000000000 705032704");
  EXPECT_EQ(FormatString(u"[%5d|%-5d|%05d|%-05d]", 42, 42, 42, 42), u"[   42|42   |00042|42   ]");
  EXPECT_EQ(FormatString(u"[%+d|% d|%+u|%05d]", 5, 5, 5, -42), u"[+5| 5|5|-0042]");
  EXPECT_EQ(FormatString(u"[%#x|%#X|%#x|%#010x]", 255, 255, 0, 255), u"[0xff|0XFF|0|0x000000ff]");
  EXPECT_EQ(FormatString(u"[%.3d|%8.3d|%08.3d|%.0d]", 7, -7, 7, 0), u"[007|    -007|     007|]");
  // Like the Windows runtime, '0' pads text with zeros too.
  EXPECT_EQ(FormatString(u"[%05s]", u"ab"), u"[000ab]");
  EXPECT_EQ(FormatString(u"[%*d|%*d|%.*s]", 5, 42, -5, 42, 2, u"abcdef"), u"[   42|42   |ab]");
}

TEST(FormatStringTest, InvalidFormatsGiveEmptyTextValidOnesAnyLength) {
  for (const std::u16string& refused : {FormatString(nullptr), FormatString(u"a%yb", 1), FormatString(u"%I6d", 1),
                                        FormatString(u"abc%"), FormatString(u"%*d", 5), FormatString(u"%d", u"text"),
                                        FormatString(u"%s", 1), FormatString(u"%99999999999d", 1)}) {
    EXPECT_EQ(refused, u"");
  }
  EXPECT_EQ(FormatString(u"%5000d", 1), std::u16string(4999, u' ') + u"1");
  const std::u16string mega(1 << 20, u'\x4E2D');
  EXPECT_EQ(FormatString(u"<%s>%d", mega, 9), u"<" + mega + u">9");
}

}  // namespace
}  // namespace Zavro
