#include "system/system_error.h"

#include <gtest/gtest.h>

#include <thread>

namespace Zavro {
namespace {

TEST(SystemError, LastErrorIsPerThread) {
  SetLastSystemError(kErrorSharingViolation);
  EXPECT_EQ(LastSystemError(), kErrorSharingViolation);
  uint32_t initial = 1, own = 1;
  std::thread([&] {
    initial = LastSystemError();
    SetLastSystemError(kErrorDiskFull);
    own = LastSystemError();
  }).join();
  EXPECT_EQ(initial, kErrorSuccess);
  EXPECT_EQ(own, kErrorDiskFull);
}

TEST(SystemError, MessagesHaveNoLineBreaks) {
  // The system's texts end in a line break; the messages leave it off.
  for (uint32_t code : {kErrorFileNotFound, kErrorAccessDenied, kErrorDiskFull}) {
    std::u16string text = SystemErrorMessage(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_NE(text.back(), u'\n') << code;
    EXPECT_NE(text.back(), u'\r') << code;
  }
  EXPECT_NE(SystemErrorMessage(kErrorFileNotFound), SystemErrorMessage(kErrorAccessDenied));
}

}  // namespace
}  // namespace Zavro
