// Windows of other programs: closing a client's window and ending its process. These
// tests need real top-level windows, so they run with a virtual X server
// (DisplayWin.*); without one the system creates no windows.
#include "system/windows_ui.h"

#include <gtest/gtest.h>

#include <chrono>

#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A client window in a process of its own (gm_client_window), found once it is open.
class Client {
 public:
  Client(const std::u16string& className, const std::u16string& mode) {
    std::u16string line = u"\"" + test::SysPath(test::BuiltProgram("tests/gm_client_window")) + u"\" " + className +
                          u" " + mode;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, W(&line[0]), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
      return;
    }
    CloseHandle(started.hThread);
    process_.Reset(started.hProcess);
    for (int i = 0; i < 400 && window_ == nullptr; ++i) {
      window_ = FindTopLevelWindow(className);
      if (window_ == nullptr) Sleep(50);
    }
  }
  ~Client() {
    if (process_) TerminateProcess(process_.Get(), 1);
  }

  WindowHandle window() const { return window_; }
  bool Ended() const { return WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0; }
  // The exit code once ended, or -1 while it runs.
  int64_t ExitCode() const {
    DWORD code = 0;
    if (WaitForSingleObject(process_.Get(), 5000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process_.Get(), &code)) {
      return -1;
    }
    return code;
  }

 private:
  ScopedFileHandle process_;
  WindowHandle window_ = nullptr;
};

TEST(DisplayWin, ClosingAClientsWindow) {
  {  // closes on WM_CLOSE and ends a second later: waited for, not terminated
    Client client(u"GmTestClosing", u"close 7 1000");
    ASSERT_NE(client.window(), nullptr);
    EXPECT_TRUE(CloseWindowAndProcess(client.window(), kCloseTimeoutMs, kCloseWParam, 0));
    EXPECT_TRUE(client.Ended());
    EXPECT_EQ(client.ExitCode(), 7);
  }
  {  // closes on WM_CLOSE but lets others open it only to terminate it: not killed for
     // want of the wait, it ends on its own
    Client client(u"GmTestGuarded", u"close 7 500 terminate-only");
    ASSERT_NE(client.window(), nullptr);
    EXPECT_FALSE(CloseWindowAndProcess(client.window(), kCloseTimeoutMs, kCloseWParam, 0));
    EXPECT_EQ(client.ExitCode(), 7);
  }
  {  // ignores it: terminated with exit code 0 after the wait
    Client client(u"GmTestStubborn", u"ignore");
    ASSERT_NE(client.window(), nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(CloseWindowAndProcess(client.window(), kCloseTimeoutMs, kCloseWParam, 0));
    EXPECT_EQ(client.ExitCode(), 0);
    EXPECT_GE(SecondsSince(start), 3.0);
  }
  // No window at all costs nothing.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(FindTopLevelWindow(u"GmTestNoSuchWindow"), nullptr);
  EXPECT_LT(SecondsSince(start), 1.0);
}

TEST(DisplayWin, CentringAndSnapshots) {
  Client client(u"GmTestPlaced", u"close 0");
  ASSERT_NE(client.window(), nullptr);
  const ScreenRect screen = VirtualScreenRect();
  const ScreenRect monitor = MonitorRect(client.window());
  EXPECT_GT(screen.right - screen.left, 0);
  EXPECT_GT(monitor.bottom - monitor.top, 0);
  CenterWindow(client.window());
  WindowSnapshot snapshot;
  ASSERT_TRUE(FillWindowSnapshot(client.window(), snapshot));
  EXPECT_EQ(snapshot.className, u"GmTestPlaced");
  EXPECT_EQ(snapshot.text, u"client");
  EXPECT_EQ(snapshot.controlId, 0);
  const int32_t width = snapshot.windowRect.right - snapshot.windowRect.left;
  EXPECT_LE(std::abs((monitor.left + monitor.right) / 2 - width / 2 - snapshot.windowRect.left), 1);
  bool listed = false;
  for (const WindowSnapshot& each : SnapshotTopLevelWindows()) listed = listed || each.window == client.window();
  EXPECT_TRUE(listed);
  CloseWindowAndProcess(client.window(), kCloseTimeoutMs, kCloseWParam, 0);
}

}  // namespace
}  // namespace Zavro
