#include "system/encoding.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

using test::U;

TEST(Encoding, ByteExactInBothDirections) {
  enum Way { kBoth, kToBytes, kFromBytes };
  const struct {
    std::u16string text;
    uint32_t codePage;
    std::string bytes;
    Way way;
    bool usedDefault;
  } cases[] = {
      {U("Grüß€"), 1252, "Gr\xFC\xDF\x80", kBoth, false},
      {U("a中b"), 1252, "a_b", kToBytes, true},
      // Code pages map unit by unit: each half of a surrogate pair is replaced.
      {U("x😀y"), 1252, "x__y", kToBytes, true},
      // The five unassigned bytes come back as the control characters of the same value.
      {u"\x81\x8D\x8F\x90\x9D", 1252, "\x81\x8D\x8F\x90\x9D", kFromBytes, false},
      {U("安装错误xy"), 936, "\xB0\xB2\xD7\xB0\xB4\xED\xCE\xF3xy", kBoth, false},
      // UTF-8 needs no replacement character: the one given is ignored.
      {u"\x4E2D\xD83D\xDE00\xE9", kCodePageUtf8, "\xE4\xB8\xAD\xF0\x9F\x98\x80\xC3\xA9", kBoth, false},
      // A lone surrogate is invalid UTF-16; an invalid byte, and a sequence cut short
      // before the end, are invalid UTF-8. Each becomes one replacement character.
      {u"a\xD800z", kCodePageUtf8, "a\xEF\xBF\xBDz", kToBytes, false},
      {u"a\xFFFDz", kCodePageUtf8, "a\xFFz", kFromBytes, false},
      {u"a\xFFFD", kCodePageUtf8, "a\xE4\xB8", kFromBytes, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    if (c.way != kFromBytes) {
      bool usedDefault = !c.usedDefault, ok = false;
      EXPECT_EQ(WideToMultiByte(c.text, c.codePage, '_', &usedDefault, &ok), c.bytes);
      EXPECT_TRUE(ok);
      EXPECT_EQ(usedDefault, c.usedDefault);
    }
    if (c.way != kToBytes) {
      EXPECT_EQ(FromCodePage(c.bytes, c.codePage), c.text);
    }
  }
}

TEST(Encoding, NulsEmptyTextsAndUnknownCodePages) {
  // Results end at the first NUL, of the bytes and of the text.
  const char bytes[] = {'a', 'b', '\0', 'c', 'd'};
  EXPECT_EQ(MultiByteToWide(bytes, 5, 1252), u"ab");
  EXPECT_EQ(MultiByteToWide(bytes, -1, 1252), u"ab");
  EXPECT_EQ(WideToMultiByte(std::u16string(u"ab\0cd", 5), 1252, '_'), "ab");

  bool ok[5] = {true, true, true, true, false};
  EXPECT_EQ(MultiByteToWide("", -1, 1252, &ok[0]), u"");
  EXPECT_EQ(WideToMultiByte(u"", 1252, '_', nullptr, &ok[1]), "");
  EXPECT_EQ(WideToMultiByte(u"x", 12345, '_', nullptr, &ok[2]), "");
  EXPECT_EQ(MultiByteToWide("x", 1, 12345, &ok[3]), u"");
  // No bytes at all is no failure.
  EXPECT_EQ(MultiByteToWide(nullptr, -1, 1252, &ok[4]), u"");
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(ok[i]) << i;
  EXPECT_TRUE(ok[4]);
}

}  // namespace
}  // namespace Zavro
