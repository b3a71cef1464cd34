#include "system/encoding.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

using test::U;

TEST(Encoding, CodePage1252) {
  bool usedDefault = true, ok = false;
  EXPECT_EQ(WideToMultiByte(U("Grüße"), 1252, '_', &usedDefault, &ok), "Gr\xFC\xDF" "e");
  EXPECT_TRUE(ok);
  EXPECT_FALSE(usedDefault);
  EXPECT_EQ(WideToMultiByte(U("a中b"), 1252, '_', &usedDefault, &ok), "a_b");
  EXPECT_TRUE(ok);
  EXPECT_TRUE(usedDefault);
  // Code pages map unit by unit: each half of a surrogate pair is replaced.
  EXPECT_EQ(ToCodePage(U("x😀y"), 1252), "x__y");

  EXPECT_EQ(FromCodePage("\x80\xE9", 1252), U("€é"));
  // The five unassigned bytes come back as the control characters of the same value.
  EXPECT_EQ(FromCodePage("\x81\x8D\x8F\x90\x9D", 1252), std::u16string(u"\x81\x8D\x8F\x90\x9D"));
}

TEST(Encoding, CodePage936) {
  EXPECT_EQ(ToCodePage(U("安装错误"), 936), "\xB0\xB2\xD7\xB0\xB4\xED\xCE\xF3");
  EXPECT_EQ(FromCodePage("\xD6\xD0\xCE\xC4" "ab", 936), U("中文ab"));
}

TEST(Encoding, Utf8) {
  EXPECT_EQ(ToUtf8(u"\x4E2D\xD83D\xDE00"), "\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(FromCodePage("\xF0\x9F\x98\x80" "\xC3\xA9", kCodePageUtf8), std::u16string(u"\xD83D\xDE00\xE9"));
  // UTF-8 needs no replacement character: one given is ignored.
  bool usedDefault = true, ok = false;
  EXPECT_EQ(WideToMultiByte(U("中é"), kCodePageUtf8, '_', &usedDefault, &ok), "\xE4\xB8\xAD\xC3\xA9");
  EXPECT_TRUE(ok);
  EXPECT_FALSE(usedDefault);

  // A lone surrogate is invalid UTF-16; an invalid byte, and a sequence cut short
  // before the end, are invalid UTF-8. Each becomes one replacement character.
  EXPECT_EQ(ToUtf8(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(FromCodePage("a\xFF" "b", kCodePageUtf8), std::u16string(u"a\xFFFD" u"b"));
  EXPECT_EQ(FromCodePage("a\xE4\xB8", kCodePageUtf8), std::u16string(u"a\xFFFD"));
}

TEST(Encoding, ResultsEndAtTheFirstNul) {
  const char bytes[] = {'a', 'b', '\0', 'c', 'd'};
  EXPECT_EQ(MultiByteToWide(bytes, 5, 1252), u"ab");
  EXPECT_EQ(MultiByteToWide(bytes, -1, 1252), u"ab");
  EXPECT_EQ(WideToMultiByte(std::u16string(u"ab\0cd", 5), 1252, '_'), "ab");
}

TEST(Encoding, EmptyTextsAndUnknownCodePagesFail) {
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
