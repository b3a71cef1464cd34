// Starting programs, against the system (Wine in the test run) with helper programs
// of this build: gm_exit_with exits with a given code, gm_sleeper sleeps.
#include "system/process.h"

#include <gtest/gtest.h>

#include <chrono>

#include "system/os_version.h"
#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

std::u16string Helper(const char* name) {
  return u"\"" + test::SysPath(test::BuiltProgram(std::string("tests/gm_") + name)) + u"\"";
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Cancels once asked, never pauses.
class Canceller : public LaunchObserver {
 public:
  bool IsPaused() override { return false; }
  void WaitWhilePaused() override {}
  bool IsCancelled() override { return cancel; }
  bool cancel = false;
};

TEST(LaunchProcessWin, WaitsNotWaitsAndCancels) {
  uint32_t code = 99;
  EXPECT_EQ(LaunchProcess(Helper("exit_with") + u" 3", true, false, code), LaunchResult::kEnded);
  EXPECT_EQ(code, 3u);

  // Not waited for: back at once.
  auto start = std::chrono::steady_clock::now();
  code = 99;
  EXPECT_EQ(LaunchProcess(Helper("sleeper") + u" 3000", false, false, code), LaunchResult::kStarted);
  EXPECT_LT(SecondsSince(start), 2.0);
  EXPECT_EQ(code, 99u);

  // Without an observer a child is waited for until it ends.
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(LaunchProcess(Helper("sleeper") + u" 500", true, false, code), LaunchResult::kEnded);
  EXPECT_EQ(code, 4u);
  EXPECT_GE(SecondsSince(start), 0.45);

  // A cancel ends a child that would never end, and says so.
  Canceller canceller;
  canceller.cancel = true;
  code = 99;
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(LaunchProcess(Helper("sleeper"), true, false, code, nullptr, &canceller), LaunchResult::kCancelled);
  EXPECT_LT(SecondsSince(start), 2.0);
  EXPECT_EQ(code, 99u);
  std::atomic<bool> runCancelled{true};
  canceller.cancel = false;
  EXPECT_EQ(LaunchProcess(Helper("sleeper"), true, false, code, &runCancelled, &canceller), LaunchResult::kCancelled);
}

TEST(LaunchProcessWin, LinesThatStartNothing) {
  for (const std::u16string& line : {std::u16string(u"no-such-program-1f2e.exe /x"), std::u16string(u"\"C:\\no such"),
                                     std::u16string()}) {
    uint32_t code = 99;
    EXPECT_EQ(LaunchProcess(line, true, false, code), LaunchResult::kFailed);
    EXPECT_EQ(code, 99u);
  }
}

TEST(ProcessWin, SystemFacts) {
  SystemInfo info;
  ASSERT_TRUE(DescribeOperatingSystem(info));
  EXPECT_EQ(info.osName.rfind(u"Microsoft Windows ", 0), 0u);
  EXPECT_TRUE(info.is64Bit);  // this test program is x86-64
  EXPECT_GE(OsMajorVersion(), 6u);
  // Wine's user is always an elevated administrator.
  EXPECT_TRUE(IsUserAdministrator());

  void* process = nullptr;
  ASSERT_TRUE(ShellExecuteHidden(u"open", test::SysPath(test::BuiltProgram("tests/gm_exit_with")), u"5", &process));
  ASSERT_NE(process, nullptr);
  ScopedFileHandle owned(process);
  ASSERT_EQ(WaitForSingleObject(owned.Get(), 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(owned.Get(), &code));
  EXPECT_EQ(code, 5u);

  // The toolchain's default manifest asks for no elevation.
  uint32_t level = 0;
  if (ManifestExecutionLevel(nullptr, 24, 1, level) == 0) {
    EXPECT_EQ(level, 1u);
  }
  EXPECT_EQ(ManifestExecutionLevel(nullptr, 24, 999, level), 1);
}

}  // namespace
}  // namespace Zavro
