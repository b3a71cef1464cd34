#include "system/encoding.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

TEST(AnsiCodePagePosixTest, ChosenByTheEnvironment) {
  const std::u16string text = u"\x4E2D\x00E9";
  const struct {
    const char16_t* value;
    uint32_t codePage;
    const char* ansi;  // `text` in that code page
  } cases[] = {
      {nullptr, 936, "\xD6\xD0\xA8\xA6"},
      {u"1252", 1252, "_\xE9"},
      // A UTF-8 ANSI code page converts like UTF-8.
      {u"65001", 65001, "\xE4\xB8\xAD\xC3\xA9"},
      {u"", 936, nullptr},
      {u"0", 936, nullptr},
      {u"70000", 936, nullptr},
      {u"12x", 936, nullptr},
  };
  for (const auto& c : cases) {
    test::ScopedEnv acp("GM_ACP", c.value);
    EXPECT_EQ(AnsiCodePage(), c.codePage);
    if (c.ansi == nullptr) continue;
    EXPECT_EQ(ToAnsi(text), c.ansi);
    if (c.codePage != 1252) {
      EXPECT_EQ(FromAnsi(c.ansi), text);
    }
  }
}

}  // namespace
}  // namespace Zavro
