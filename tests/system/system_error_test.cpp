#include "system/system_error.h"

#include <gtest/gtest.h>

#include <thread>

namespace Zavro {
namespace {

TEST(SystemError, LastErrorIsPerThread) {
  SetLastSystemError(kErrorSharingViolation);
  uint32_t seenByOther = 1;
  std::thread([&] {
    SetLastSystemError(kErrorDiskFull);
    seenByOther = LastSystemError();
  }).join();
  EXPECT_EQ(seenByOther, kErrorDiskFull);
  EXPECT_EQ(LastSystemError(), kErrorSharingViolation);
  SetLastSystemError(kErrorSuccess);
  EXPECT_EQ(LastSystemError(), kErrorSuccess);
}

TEST(SystemError, MessagesHaveNoLineBreaks) {
  for (uint32_t code : {kErrorFileNotFound, kErrorAccessDenied, kErrorSharingViolation, kErrorDiskFull,
                        kErrorAlreadyExists}) {
    std::u16string text = SystemErrorMessage(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_NE(text.back(), u'\n') << code;
    EXPECT_NE(text.back(), u'\r') << code;
  }
  EXPECT_NE(SystemErrorMessage(kErrorFileNotFound), SystemErrorMessage(kErrorAccessDenied));
}

}  // namespace
}  // namespace Zavro
