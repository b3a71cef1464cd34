#include "system/encoding.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace Zavro {
namespace {

class AnsiCodePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* value = getenv("GM_ACP");
    if (value) saved_ = value, hadValue_ = true;
  }
  void TearDown() override {
    if (hadValue_) setenv("GM_ACP", saved_.c_str(), 1);
    else unsetenv("GM_ACP");
  }
  std::string saved_;
  bool hadValue_ = false;
};

TEST_F(AnsiCodePageTest, DefaultIs936AndEnvironmentOverrides) {
  unsetenv("GM_ACP");
  EXPECT_EQ(AnsiCodePage(), 936u);
  EXPECT_EQ(ToAnsi(u"\x4E2D"), "\xD6\xD0");

  setenv("GM_ACP", "1252", 1);
  EXPECT_EQ(AnsiCodePage(), 1252u);
  EXPECT_EQ(ToAnsi(u"\x4E2D\x00E9"), "_\xE9");
  EXPECT_EQ(FromAnsi("\xE9"), u"\x00E9");

  for (const char* bad : {"", "abc", "0", "70000", "12x"}) {
    setenv("GM_ACP", bad, 1);
    EXPECT_EQ(AnsiCodePage(), 936u) << bad;
  }
}

// Windows refuses a replacement character for UTF-8 (Wine does not check it).
TEST(Encoding, Utf8TakesNoReplacementCharacter) {
  bool ok = true;
  EXPECT_EQ(WideToMultiByte(u"x", kCodePageUtf8, '_', nullptr, &ok), "");
  EXPECT_FALSE(ok);
}

}  // namespace
}  // namespace Zavro
