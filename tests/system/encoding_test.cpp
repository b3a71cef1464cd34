#include "system/encoding.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

using test::U;

TEST(Encoding, CodePage1252ReplacesWhatItCannotRepresent) {
  bool usedDefault = false, ok = false;
  EXPECT_EQ(WideToMultiByte(U("Grüße"), 1252, '_', &usedDefault, &ok), "Gr\xFC\xDF" "e");
  EXPECT_TRUE(ok);
  EXPECT_FALSE(usedDefault);

  EXPECT_EQ(WideToMultiByte(U("a中b"), 1252, '_', &usedDefault, &ok), "a_b");
  EXPECT_TRUE(ok);
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(ToCodePage(U("日本"), 1252), "__");
  // Code pages map unit by unit: each half of a surrogate pair is replaced.
  EXPECT_EQ(ToCodePage(U("x😀y"), 1252), "x__y");
}

TEST(Encoding, CodePage1252Bytes) {
  EXPECT_EQ(FromCodePage("\x80\xE9", 1252), U("€é"));
  // The five unassigned bytes come back as the control characters of the same value.
  EXPECT_EQ(FromCodePage("\x81\x8D\x8F\x90\x9D", 1252), std::u16string(u"\x81\x8D\x8F\x90\x9D"));
}

TEST(Encoding, CodePage936) {
  EXPECT_EQ(ToCodePage(U("中文"), 936), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(FromCodePage("\xD6\xD0\xCE\xC4" "ab", 936), U("中文ab"));
  EXPECT_EQ(ToCodePage(U("安装错误"), 936), "\xB0\xB2\xD7\xB0\xB4\xED\xCE\xF3");
}

TEST(Encoding, Utf8) {
  EXPECT_EQ(ToUtf8(U("中")), "\xE4\xB8\xAD");
  EXPECT_EQ(ToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(FromCodePage("\xF0\x9F\x98\x80", kCodePageUtf8), std::u16string(u"\xD83D\xDE00"));
  EXPECT_EQ(ToCodePage(U("é"), kCodePageUtf8), "\xC3\xA9");
  // UTF-8 needs no replacement character: one given is ignored.
  bool usedDefault = true, ok = false;
  EXPECT_EQ(WideToMultiByte(U("中é"), kCodePageUtf8, '_', &usedDefault, &ok), "\xE4\xB8\xAD\xC3\xA9");
  EXPECT_TRUE(ok);
  EXPECT_FALSE(usedDefault);

  const std::u16string text = U("安装失败: C:\\Program Files (x86)\\游戏 — ünïcödé 😀");
  EXPECT_EQ(FromCodePage(ToUtf8(text), kCodePageUtf8), text);
}

TEST(Encoding, InvalidInputBecomesReplacementCharacters) {
  // An unpaired surrogate is invalid UTF-16.
  EXPECT_EQ(ToUtf8(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");
  // An invalid byte, and a sequence cut short before the end, are invalid UTF-8.
  EXPECT_EQ(FromCodePage("a\xFF" "b", kCodePageUtf8), std::u16string(u"a\xFFFD" u"b"));
  EXPECT_EQ(FromCodePage("a\xE4\xB8", kCodePageUtf8), std::u16string(u"a\xFFFD"));
}

TEST(Encoding, ResultsEndAtTheFirstNul) {
  const char bytes[] = {'a', 'b', '\0', 'c', 'd'};
  bool ok = false;
  EXPECT_EQ(MultiByteToWide(bytes, 5, 1252, &ok), u"ab");
  EXPECT_TRUE(ok);
  EXPECT_EQ(MultiByteToWide(bytes, -1, 1252, &ok), u"ab");
  EXPECT_EQ(WideToMultiByte(std::u16string(u"ab\0cd", 5), 1252, '_', nullptr, &ok), "ab");
  EXPECT_TRUE(ok);
}

TEST(Encoding, NothingToConvert) {
  bool ok = true;
  EXPECT_EQ(MultiByteToWide("", -1, 1252, &ok), u"");
  EXPECT_FALSE(ok);
  EXPECT_EQ(FromAnsi(""), u"");
  EXPECT_EQ(WideToMultiByte(u"", 1252, '_', nullptr, &ok), "");
  EXPECT_FALSE(ok);

  ok = false;
  EXPECT_EQ(MultiByteToWide(nullptr, -1, 1252, &ok), u"");
  EXPECT_TRUE(ok);
}

TEST(Encoding, InvalidCalls) {
  bool ok = true;
  EXPECT_EQ(WideToMultiByte(u"x", 12345, '_', nullptr, &ok), "");
  EXPECT_FALSE(ok);
  ok = true;
  EXPECT_EQ(MultiByteToWide("x", 1, 12345, &ok), u"");
  EXPECT_FALSE(ok);
}

TEST(Encoding, LongText) {
  std::u16string text;
  for (int i = 0; i < 100000; ++i) text += U("日本語テキスト ");
  std::string utf8 = ToUtf8(text);
  EXPECT_EQ(utf8.size(), 100000u * 22u);
  EXPECT_EQ(FromCodePage(utf8, kCodePageUtf8), text);
}

}  // namespace
}  // namespace Zavro
