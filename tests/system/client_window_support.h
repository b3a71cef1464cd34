// Windows test support: the time since a start, the exit code of a process, and a client
// window in a process of its own (gm_client_window) for tests that need a running
// client. Its window is looked for until it opens; the process is terminated at the end
// if it still runs. Such tests need a display (DisplayWin.*).
#pragma once

#include <chrono>
#include <string>

#include "system/windows_support.h"
#include "system/windows_ui.h"
#include "test_support.h"

namespace Zavro::test {

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The exit code of a process once it ended (waiting up to 10 seconds), or -1.
inline int64_t ExitCodeOf(HANDLE process) {
  DWORD code = 0;
  if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) return -1;
  return code;
}

class ClientWindow {
 public:
  ClientWindow(const std::u16string& className, const std::u16string& mode) {
    std::u16string line = u"\"" + SysPath(BuiltProgram("tests/gm_client_window")) + u"\" " + className + u" " + mode;
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
  ~ClientWindow() {
    if (process_) TerminateProcess(process_.Get(), 1);
  }

  WindowHandle window() const { return window_; }
  bool Ended() const { return WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0; }
  int64_t ExitCode() const { return ExitCodeOf(process_.Get()); }

 private:
  ScopedFileHandle process_;
  WindowHandle window_ = nullptr;
};

}  // namespace Zavro::test
