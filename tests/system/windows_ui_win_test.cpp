// Windows of other programs: closing a client's window and ending its process. These
// tests need real top-level windows, so they run with a virtual X server
// (DisplayWin.*); without one the system creates no windows.
#include "system/windows_ui.h"

#include <gtest/gtest.h>

#include "system/client_window_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

TEST(DisplayWin, ClosingAClientsWindow) {
  {  // closes on WM_CLOSE and ends a second later: waited for, not terminated
    test::ClientWindow client(u"GmTestClosing", u"close 7 1000");
    ASSERT_NE(client.window(), nullptr);
    EXPECT_TRUE(CloseWindowAndProcess(client.window(), kCloseTimeoutMs, kCloseWParam, 0));
    EXPECT_TRUE(client.Ended());
    EXPECT_EQ(client.ExitCode(), 7);
  }
  {  // closes on WM_CLOSE but lets others open it only to terminate it: not killed for
     // want of the wait, it ends on its own
    test::ClientWindow client(u"GmTestGuarded", u"close 7 500 terminate-only");
    ASSERT_NE(client.window(), nullptr);
    EXPECT_FALSE(CloseWindowAndProcess(client.window(), kCloseTimeoutMs, kCloseWParam, 0));
    EXPECT_EQ(client.ExitCode(), 7);
  }
  {  // ignores it: terminated with exit code 0 after the wait
    test::ClientWindow client(u"GmTestStubborn", u"ignore");
    ASSERT_NE(client.window(), nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(CloseWindowAndProcess(client.window(), kCloseTimeoutMs, kCloseWParam, 0));
    EXPECT_EQ(client.ExitCode(), 0);
    EXPECT_GE(test::SecondsSince(start), 3.0);
  }
  EXPECT_EQ(FindTopLevelWindow(u"GmTestNoSuchWindow"), nullptr);
}

TEST(DisplayWin, CentringAndSnapshots) {
  test::ClientWindow client(u"GmTestPlaced", u"close 0");
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
