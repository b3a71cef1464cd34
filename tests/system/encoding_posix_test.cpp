#include "system/encoding.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

TEST(AnsiCodePagePosixTest, ChosenByTheEnvironment) {
  const std::u16string text = u"\x4E2D\x00E9";
  const std::pair<const char16_t*, uint32_t> cases[] = {
      {nullptr, 936}, {u"1252", 1252}, {u"65001", 65001}, {u"", 936}, {u"0", 936}, {u"70000", 936}, {u"12x", 936},
  };
  for (const auto& [value, codePage] : cases) {
    test::ScopedEnv acp("GM_ACP", value);
    EXPECT_EQ(AnsiCodePage(), codePage);
    // The ANSI forms convert in that code page; a UTF-8 one converts like UTF-8.
    const std::string bytes = ToCodePage(text, codePage);
    EXPECT_EQ(ToAnsi(text), bytes);
    EXPECT_EQ(FromAnsi(bytes), FromCodePage(bytes, codePage));
  }
}

}  // namespace
}  // namespace Zavro
