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

// Cancels at its third poll, never pauses; counts the polls.
class Canceller : public LaunchObserver {
 public:
  bool IsPaused() override { return false; }
  void WaitWhilePaused() override {}
  bool IsCancelled() override {
    if (++polls == 3) cancelledAt = std::chrono::steady_clock::now();
    return polls >= 3;
  }
  int polls = 0;
  std::chrono::steady_clock::time_point cancelledAt;
};

bool MutexExists(const char* name) {
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
  if (mutex != nullptr) CloseHandle(mutex);
  return mutex != nullptr;
}

TEST(LaunchProcessWin, WaitsNotWaitsAndCancels) {
  DWORD handlesBefore = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
  uint32_t code = 99;
  EXPECT_EQ(LaunchProcess(Helper("exit_with") + u" 3", true, false, code), LaunchResult::kEnded);
  EXPECT_EQ(code, 3u);

  // Not waited for: back while the child still runs.
  code = 99;
  EXPECT_EQ(LaunchProcess(Helper("sleeper") + u" 3000 GmTestNotWaited", false, false, code), LaunchResult::kStarted);
  bool running = false;
  for (int i = 0; i < 200 && !running; ++i) {
    running = MutexExists("GmTestNotWaited");
    if (!running) Sleep(50);
  }
  EXPECT_TRUE(running);
  EXPECT_EQ(code, 99u);

  // Without an observer a child is waited for until it ends.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(LaunchProcess(Helper("sleeper") + u" 500", true, false, code), LaunchResult::kEnded);
  EXPECT_EQ(code, 4u);
  EXPECT_GE(SecondsSince(start), 0.45);

  // A cancel ends a child that would never end, says so, and the child is gone.
  Canceller canceller;
  code = 99;
  EXPECT_EQ(LaunchProcess(Helper("sleeper") + u" -1 GmTestCancelled", true, false, code, nullptr, &canceller),
            LaunchResult::kCancelled);
  EXPECT_LT(SecondsSince(canceller.cancelledAt), 5.0);
  EXPECT_EQ(code, 99u);
  EXPECT_FALSE(MutexExists("GmTestCancelled"));
  std::atomic<bool> runCancelled{true};
  Canceller never;
  never.polls = -1000;
  EXPECT_EQ(LaunchProcess(Helper("sleeper"), true, false, code, &runCancelled, &never), LaunchResult::kCancelled);

  // No handle stays behind (the primary thread's included).
  DWORD handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  EXPECT_EQ(handlesAfter, handlesBefore);
}

TEST(LaunchProcessWin, LinesThatStartNothing) {
  for (const std::u16string& line : {std::u16string(u"no-such-program-1f2e.exe /x"), std::u16string(u"\"C:\\no such"),
                                     std::u16string(), std::u16string(u"\"\" /x"), std::u16string(u" \t\r\n")}) {
    uint32_t code = 99;
    EXPECT_EQ(LaunchProcess(line, true, false, code), LaunchResult::kFailed);
    EXPECT_EQ(code, 99u);
  }
}

TEST(ProcessWin, SystemFacts) {
  SystemInfo info;
  ASSERT_TRUE(DescribeOperatingSystem(info));
  // The test program's manifest names Windows 10, which the test prefix says it is.
  EXPECT_EQ(info.osName.rfind(u"Microsoft Windows 10 ", 0), 0u);
  EXPECT_EQ(info.osFamily, kOsFamily10);
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

  // The test program's manifest asks for no elevation.
  uint32_t level = 0;
  EXPECT_EQ(ManifestExecutionLevel(nullptr, 24, 1, level), 0);
  EXPECT_EQ(level, 1u);
  EXPECT_EQ(ManifestExecutionLevel(nullptr, 24, 999, level), 1);
}

}  // namespace
}  // namespace Zavro
