// Windows of other programs and of this one: closing a client's window and ending its
// process, centring, monitor and screen rectangles, and snapshots of top-level windows.
// Windows only (windows_ui_win.cpp); nothing portable calls it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Zavro {

// A window (an HWND).
using WindowHandle = void*;

struct ScreenRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// The window-closing step's numbers: the send timeout and the exit wait, and the WM_CLOSE
// parameters.
constexpr uint32_t kCloseTimeoutMs = 3000;
constexpr uintptr_t kCloseWParam = 0x820;
constexpr uint32_t kClosePauseMs = 1500;

// Asks a top-level window to close (WM_CLOSE, waiting at most `timeoutMs` for it to be
// handled) and makes sure its process ends: waited for up to `timeoutMs`, terminated
// with exit code 0 when it does not end or did not answer. The process is opened
// before the window is asked, so a window that closes at once is still waited for.
// Pauses kClosePauseMs after a process ended or was terminated. False when the process
// could not be opened or terminated, and when it took the message but could be opened
// only for termination (it is not killed without the wait).
bool CloseWindowAndProcess(WindowHandle window, uint32_t timeoutMs, uintptr_t wParam, intptr_t lParam);
// The top-level window of a class (no title), or null.
WindowHandle FindTopLevelWindow(const std::u16string& className);

// Centres a window without resizing it: a child on its parent's client area, another on
// its owner when the owner is visible and not minimised, else on its monitor; kept
// within the virtual screen (a child within its parent).
void CenterWindow(WindowHandle window);
ScreenRect MonitorRect(WindowHandle window);
ScreenRect VirtualScreenRect();

struct WindowSnapshot {
  int32_t controlId = 0;   // child windows only
  uint32_t showState = 0;  // 1 normal, 2 minimised, 3 maximised
  WindowHandle window = nullptr;
  ScreenRect windowRect;
  ScreenRect clientRect;
  uint32_t style = 0;
  uint32_t extendedStyle = 0;
  std::u16string className;
  std::u16string text;
  uint32_t processId = 0;
  uint32_t threadId = 0;
};

bool FillWindowSnapshot(WindowHandle window, WindowSnapshot& snapshot);
// One snapshot per top-level window.
std::vector<WindowSnapshot> SnapshotTopLevelWindows();

}  // namespace Zavro
