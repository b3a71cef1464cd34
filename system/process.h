// Starting other programs, and what the system says about the user.
//
// SplitCommandLine is text only and portable. Everything else is Windows only
// (process_win.cpp); nothing portable calls it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace Zavro {

// Splits a task's command line into the program and its arguments. A quoted program
// ends at its closing quote; an unquoted one at the first space after which the text so
// far ends in ".exe" (so "C:\Program Files\App\app.exe -x" splits after "app.exe"), else
// at the first space after the first unit. Quoted and space-split parts are trimmed of
// spaces, tabs, CR and LF. Leaves both outputs as they were for an empty line, and
// `arguments` as it was when there are none.
void SplitCommandLine(const std::u16string& commandLine, std::u16string& program, std::u16string& arguments);

// The major Windows version, read once; 0 when it cannot be read.
uint32_t OsMajorVersion();
// Whether the calling thread's token has the Administrators group enabled (a filtered
// token under user-account control has not).
bool IsUserAdministrator();

// What a waited-for launch polls every 100 ms while the child runs.
class LaunchObserver {
 public:
  virtual ~LaunchObserver() = default;
  // While paused the child's primary thread is suspended (direct starts only) and the
  // launch waits in WaitWhilePaused, which must also return on a cancel.
  virtual bool IsPaused() = 0;
  virtual void WaitWhilePaused() = 0;
  // A cancel terminates the child with exit code 0.
  virtual bool IsCancelled() = 0;
};

enum class LaunchResult {
  kFailed,     // not started (no such program, an empty line, the user declined), or
               // its exit code could not be read: `code` holds the error that stopped
               // it, never 0
  kStarted,    // started, not waited for: `code` is untouched
  kEnded,      // waited for until it ended: `code` holds its exit code
  kCancelled,  // terminated by a cancel: `code` is untouched
};

// Starts a command line (already expanded) with its window hidden. An administrator,
// and any user before Windows Vista, starts it directly; anyone else through the shell,
// with the "runas" verb (asking for elevation) when `elevate` is set or the program is
// "cmd.exe", else "open". With `wait` the launch waits for the child; the pause and
// cancel of `observer`, and `cancelled`, are honoured only with an observer, so without
// one a child is waited for until it ends.
LaunchResult LaunchProcess(const std::u16string& commandLine, bool wait, bool elevate, uint32_t& code,
                           const std::atomic<bool>* cancelled = nullptr, LaunchObserver* observer = nullptr);

// ShellExecuteEx with `verb`, the active window as owner and the window hidden. With
// `process` (a HANDLE) the started process's handle is returned there for the caller to
// close. True when the shell reports success.
bool ShellExecuteHidden(const std::u16string& verb, const std::u16string& file, const std::u16string& parameters,
                        void** process = nullptr);

// The requestedExecutionLevel of a manifest resource of `module` (an HMODULE, null for
// the program): 1 asInvoker, 2 highestAvailable, 3 requireAdministrator. Returns 0 when
// a level was found (in `level`), 1 otherwise.
int ManifestExecutionLevel(void* module, uint32_t type, uint32_t name, uint32_t& level);

}  // namespace Zavro
