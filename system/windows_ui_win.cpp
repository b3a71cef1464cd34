#include "system/windows_ui.h"

#include "system/windows_support.h"

namespace Zavro {

namespace {

HWND H(WindowHandle window) { return static_cast<HWND>(window); }

ScreenRect FromRECT(const RECT& r) { return ScreenRect{r.left, r.top, r.right, r.bottom}; }

// Terminates a process that did not end, then pauses as after any end.
bool Terminate(HANDLE process) {
  const bool terminated = TerminateProcess(process, 0) != FALSE;
  if (terminated) Sleep(kClosePauseMs);
  return terminated;
}

// The new left (top) edge: centred on the reference, kept within the bounds.
LONG Centred(LONG referenceStart, LONG referenceEnd, LONG size, LONG boundsStart, LONG boundsEnd) {
  LONG start = (referenceStart + referenceEnd) / 2 - size / 2;
  if (start < boundsStart) {
    start = boundsStart;
  } else if (start + size > boundsEnd) {
    start = boundsEnd - size;
  }
  return start;
}

}  // namespace

bool CloseWindowAndProcess(WindowHandle window, uint32_t timeoutMs, uintptr_t wParam, intptr_t lParam) {
  // The process is found before the window is asked to close: a window that closes is
  // gone by the time the message returns, and its process with it as far as the
  // window can tell, while the process may still be ending.
  DWORD processId = 0;
  GetWindowThreadProcessId(H(window), &processId);
  ScopedFileHandle process;
  bool canWait = false;
  if (processId != 0) {
    HANDLE opened = OpenProcess(SYNCHRONIZE | PROCESS_VM_READ | PROCESS_TERMINATE, FALSE, processId);
    canWait = opened != nullptr;
    if (opened == nullptr) opened = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
    if (opened != nullptr) process.Reset(opened);
  }
  DWORD_PTR answer = 0;
  const bool handled =
      SendMessageTimeoutW(H(window), WM_CLOSE, wParam, lParam, SMTO_NORMAL, timeoutMs, &answer) != 0;
  if (processId == 0) {
    Sleep(kClosePauseMs);
    return true;
  }
  if (!process) return false;
  if (handled) {
    // A window that took the message is given its time to close; a process that cannot
    // be waited for is not killed for want of the wait.
    if (!canWait) return false;
    if (WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0) {
      Sleep(kClosePauseMs);
      return true;
    }
  }
  return Terminate(process.Get());
}

WindowHandle FindTopLevelWindow(const std::u16string& className) { return FindWindowW(W(className), nullptr); }

ScreenRect MonitorRect(WindowHandle window) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromWindow(H(window), MONITOR_DEFAULTTOPRIMARY), &info);
  return FromRECT(info.rcMonitor);
}

ScreenRect VirtualScreenRect() {
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  return ScreenRect{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN), top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

void CenterWindow(WindowHandle window) {
  RECT own{};
  GetWindowRect(H(window), &own);
  const LONG width = own.right - own.left;
  const LONG height = own.bottom - own.top;
  RECT reference{};
  RECT bounds{};
  const LONG style = GetWindowLongW(H(window), GWL_STYLE);
  if (style & WS_CHILD) {
    HWND parent = GetParent(H(window));
    GetClientRect(parent, &reference);
    bounds = reference;
  } else {
    HWND owner = GetWindow(H(window), GW_OWNER);
    const LONG ownerStyle = owner != nullptr ? GetWindowLongW(owner, GWL_STYLE) : 0;
    if (owner != nullptr && (ownerStyle & WS_VISIBLE) && !(ownerStyle & WS_MINIMIZE)) {
      GetWindowRect(owner, &reference);
    } else {
      const ScreenRect monitor = MonitorRect(window);
      reference = RECT{monitor.left, monitor.top, monitor.right, monitor.bottom};
    }
    const ScreenRect screen = VirtualScreenRect();
    bounds = RECT{screen.left, screen.top, screen.right, screen.bottom};
  }
  const LONG left = Centred(reference.left, reference.right, width, bounds.left, bounds.right);
  const LONG top = Centred(reference.top, reference.bottom, height, bounds.top, bounds.bottom);
  SetWindowPos(H(window), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool FillWindowSnapshot(WindowHandle window, WindowSnapshot& snapshot) {
  WINDOWINFO info{};
  info.cbSize = sizeof info;
  if (!GetWindowInfo(H(window), &info)) return false;
  snapshot.window = window;
  snapshot.windowRect = FromRECT(info.rcWindow);
  snapshot.clientRect = FromRECT(info.rcClient);
  snapshot.style = info.dwStyle;
  snapshot.extendedStyle = info.dwExStyle;
  snapshot.controlId = (info.dwStyle & WS_CHILD) ? GetDlgCtrlID(H(window)) : 0;
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  snapshot.showState = GetWindowPlacement(H(window), &placement) ? placement.showCmd : 0;
  wchar_t text[260] = {};
  snapshot.className = GetClassNameW(H(window), text, 260) > 0 ? U16(text) : std::u16string();
  text[0] = L'\0';
  snapshot.text = GetWindowTextW(H(window), text, 260) > 0 ? U16(text) : std::u16string();
  DWORD processId = 0;
  snapshot.threadId = GetWindowThreadProcessId(H(window), &processId);
  snapshot.processId = processId;
  return true;
}

namespace {

// Appends one snapshot per window and always goes on.
BOOL CALLBACK AppendSnapshot(HWND window, LPARAM list) {
  // Nothing may unwind through the system's frames.
  try {
    WindowSnapshot snapshot;
    if (FillWindowSnapshot(window, snapshot)) reinterpret_cast<std::vector<WindowSnapshot>*>(list)->push_back(snapshot);
  } catch (...) {
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::vector<WindowSnapshot> SnapshotTopLevelWindows() {
  std::vector<WindowSnapshot> snapshots;
  EnumWindows(AppendSnapshot, reinterpret_cast<LPARAM>(&snapshots));
  return snapshots;
}

}  // namespace Zavro
