#include "system/process.h"

#include <cstring>
#include <string>

#include "system/os_version.h"
#include "system/string_utils.h"
#include "system/windows_support.h"

#include <shellapi.h>

namespace Zavro {

namespace {

std::atomic<uint32_t> g_major_version{0};

// ShellExecuteEx for one file, its window hidden; the process handle comes back in
// `process` when asked for. 0, or the error that stopped it: the system's, or the
// shell's own result when it gave none.
uint32_t ShellExecuteWith(const std::u16string& verb, const std::u16string& file, const std::u16string& parameters,
                          HANDLE* process) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = process != nullptr ? SEE_MASK_NOCLOSEPROCESS : 0;
  info.hwnd = GetActiveWindow();
  info.lpVerb = W(verb);
  info.lpFile = W(file);
  info.lpParameters = parameters.empty() ? nullptr : W(parameters);
  info.nShow = SW_HIDE;
  if (process != nullptr) *process = nullptr;
  SetLastError(ERROR_SUCCESS);
  if (!ShellExecuteExW(&info)) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_INVALID_FUNCTION;
  }
  const INT_PTR result = reinterpret_cast<INT_PTR>(info.hInstApp);
  if (result <= 32) {
    // The shell's results up to 32 (SE_ERR_*) are error numbers of the system's kind.
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
    return result > 0 ? static_cast<uint32_t>(result) : ERROR_INVALID_FUNCTION;
  }
  if (process != nullptr) {
    *process = info.hProcess;
  } else if (info.hProcess != nullptr) {
    CloseHandle(info.hProcess);
  }
  return 0;
}

}  // namespace

uint32_t OsMajorVersion() {
  uint32_t major = g_major_version.load();
  if (major != 0) return major;
  OsVersionInputs inputs;
  if (ReadOsVersion(inputs)) {
    major = inputs.major;
    g_major_version.store(major);
  }
  return major;
}

bool IsUserAdministrator() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  const BOOL checked = CheckTokenMembership(nullptr, administrators, &member);
  FreeSid(administrators);
  return checked && member == TRUE;
}

LaunchResult LaunchProcess(const std::u16string& commandLine, bool wait, bool elevate, uint32_t& code,
                           const std::atomic<bool>* cancelled, LaunchObserver* observer) {
  // The error is taken where it happens: the handles closed on the way out may change
  // the thread's last error.
  auto failed = [&code](DWORD error) {
    code = error != ERROR_SUCCESS ? error : ERROR_INVALID_FUNCTION;
    return LaunchResult::kFailed;
  };
  std::u16string program;
  std::u16string arguments;
  SplitCommandLine(commandLine, program, arguments);
  if (program.find_first_not_of(u" \r\t\n") == std::u16string::npos) return failed(ERROR_FILE_NOT_FOUND);
  ScopedFileHandle process;
  // The primary thread of a direct start, to suspend while paused; closed with the launch.
  ScopedFileHandle thread;
  const uint32_t major = OsMajorVersion();
  if (major < 6 || IsUserAdministrator()) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION started{};
    // The system parses the whole line, and may write into it.
    std::u16string line = commandLine;
    if (!CreateProcessW(nullptr, W(&line[0]), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
      return failed(GetLastError());
    }
    process.Reset(started.hProcess);
    thread.Reset(started.hThread);
  } else {
    const bool runas = elevate || CompareNoCase(program, u"cmd.exe") == 0;
    HANDLE handle = nullptr;
    const uint32_t error = ShellExecuteWith(runas ? u"runas" : u"open", program, arguments, &handle);
    if (error != 0) return failed(error);
    // Started, but the shell handed over no process (a program that passed the work
    // to one already running): nothing to wait for or to check.
    if (handle == nullptr) return failed(ERROR_INVALID_HANDLE);
    process.Reset(handle);
  }
  if (!wait) return LaunchResult::kStarted;
  for (;;) {
    const DWORD waited = WaitForSingleObject(process.Get(), 100);
    if (waited == WAIT_OBJECT_0) {
      DWORD exitCode = 0;
      if (!GetExitCodeProcess(process.Get(), &exitCode)) return failed(GetLastError());
      code = exitCode;
      return LaunchResult::kEnded;
    }
    if (waited != WAIT_TIMEOUT) return failed(GetLastError());
    if (observer == nullptr) continue;
    if (observer->IsPaused()) {
      const bool suspended = thread && SuspendThread(thread.Get()) != static_cast<DWORD>(-1);
      observer->WaitWhilePaused();
      if (suspended) ResumeThread(thread.Get());
    }
    if ((cancelled != nullptr && cancelled->load()) || observer->IsCancelled()) {
      // Ended before the caller goes on: the child must not hold files the next task
      // touches.
      if (TerminateProcess(process.Get(), 0)) WaitForSingleObject(process.Get(), 5000);
      return LaunchResult::kCancelled;
    }
  }
}

bool ShellExecuteHidden(const std::u16string& verb, const std::u16string& file, const std::u16string& parameters,
                        void** process) {
  HANDLE handle = nullptr;
  const uint32_t error = ShellExecuteWith(verb, file, parameters, process != nullptr ? &handle : nullptr);
  if (process != nullptr) *process = handle;
  if (error != 0) SetLastError(error);
  return error == 0;
}

int ManifestExecutionLevel(void* module, uint32_t type, uint32_t name, uint32_t& level) {
  HMODULE owner = module != nullptr ? static_cast<HMODULE>(module) : GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(owner, MAKEINTRESOURCEW(name), MAKEINTRESOURCEW(type));
  if (resource == nullptr) return 1;
  HGLOBAL loaded = LoadResource(owner, resource);
  const DWORD size = SizeofResource(owner, resource);
  const char* bytes = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (bytes == nullptr) return 1;
  static const char kKey[] = "requestedExecutionLevel level=\"";
  const std::string text(bytes, size);
  const size_t at = text.find(kKey);
  if (at == std::string::npos) return 1;
  const size_t start = at + sizeof kKey - 1;
  const size_t end = text.find('"', start);
  if (end == std::string::npos) return 1;
  const std::string found = text.substr(start, end - start);
  if (found == "asInvoker") {
    level = 1;
  } else if (found == "highestAvailable") {
    level = 2;
  } else if (found == "requireAdministrator") {
    level = 3;
  } else {
    return 1;
  }
  return 0;
}

}  // namespace Zavro
