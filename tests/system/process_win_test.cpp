// Starting programs, against the system (Wine in the test run) with helper programs
// of this build: gm_exit_with exits with a given code, gm_sleeper sleeps.
#include "system/process.h"

#include <gtest/gtest.h>

#include "system/client_window_support.h"
#include "system/file_system.h"
#include "system/os_version.h"
#include "system/path_text.h"
#include "system/shortcut.h"
#include "system/known_folders.h"
#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

std::u16string Helper(const char* name) {
  return u"\"" + test::SysPath(test::BuiltProgram(std::string("tests/gm_") + name)) + u"\"";
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
  EXPECT_EQ(LaunchProcess(Helper("exit_with") + u" 3", true, false, code), LaunchResult::kEnded) << code;
  EXPECT_EQ(code, 3u);

  // Not waited for: back while the child still runs.
  code = 99;
  EXPECT_EQ(LaunchProcess(Helper("sleeper") + u" 3000 GmTestNotWaited", false, false, code), LaunchResult::kStarted)
      << code;
  bool running = false;
  for (int i = 0; i < 200 && !running; ++i) {
    running = MutexExists("GmTestNotWaited");
    if (!running) Sleep(50);
  }
  EXPECT_TRUE(running);
  EXPECT_EQ(code, 99u);

  // Without an observer a child is waited for until it ends.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(LaunchProcess(Helper("sleeper") + u" 500", true, false, code), LaunchResult::kEnded) << code;
  EXPECT_EQ(code, 4u);
  EXPECT_GE(test::SecondsSince(start), 0.45);

  // A cancel ends a child that would never end, says so, and the child is gone.
  Canceller canceller;
  code = 99;
  EXPECT_EQ(LaunchProcess(Helper("sleeper") + u" -1 GmTestCancelled", true, false, code, nullptr, &canceller),
            LaunchResult::kCancelled)
      << code;
  EXPECT_LT(test::SecondsSince(canceller.cancelledAt), 5.0);
  EXPECT_EQ(code, 99u);
  EXPECT_FALSE(MutexExists("GmTestCancelled"));
  std::atomic<bool> runCancelled{true};
  Canceller never;
  never.polls = -1000;
  EXPECT_EQ(LaunchProcess(Helper("sleeper"), true, false, code, &runCancelled, &never), LaunchResult::kCancelled)
      << code;

  // No handle stays behind (the primary thread's included).
  DWORD handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  EXPECT_EQ(handlesAfter, handlesBefore);
}

TEST(LaunchProcessWin, LinesThatStartNothing) {
  // The error comes with the result, whatever the thread's last error said before.
  for (const std::u16string& line : {std::u16string(u"no-such-program-1f2e.exe /x"), std::u16string(u"\"C:\\no such"),
                                     std::u16string(), std::u16string(u"\"\" /x"), std::u16string(u" \t\r\n")}) {
    uint32_t code = 99;
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(LaunchProcess(line, true, false, code), LaunchResult::kFailed);
    EXPECT_TRUE(code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) << code;
  }
}

// A number or text the system keeps about itself, from its own (64-bit) registry view.
std::u16string CurrentVersionValue(const wchar_t* name) {
  union {
    wchar_t text[64];
    DWORD number;
  } value = {};
  DWORD size = sizeof value, type = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion", name,
                   RRF_RT_REG_SZ | RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY, &type, &value, &size) != ERROR_SUCCESS) {
    return u"<missing>";
  }
  return type == REG_DWORD ? test::Decimal(value.number) : U16(value.text);
}

TEST(ProcessWin, SystemFacts) {
  SystemInfo info;
  ASSERT_TRUE(DescribeOperatingSystem(info));
  // The system as its registry describes it, not as this program's manifest would have
  // it (GetVersionExW tells a program what its manifest names).
  const std::u16string major = CurrentVersionValue(L"CurrentMajorVersionNumber");
  const std::u16string build = CurrentVersionValue(L"CurrentBuildNumber");
  EXPECT_EQ(test::Decimal(OsMajorVersion()), major);
  EXPECT_NE(info.osName.find(u" (build " + build + u")"), std::u16string::npos) << test::Utf8(info.osName);
  if (major == u"10") {
    const bool eleven = std::stoul(test::Utf8(build)) >= 22000;
    EXPECT_EQ(info.osName.rfind(eleven ? u"Microsoft Windows 11 " : u"Microsoft Windows 10 ", 0), 0u);
    EXPECT_EQ(info.osFamily, eleven ? kOsFamily11 : kOsFamily10);
  }
  // The system is 64-bit, for the 32-bit test program too (it runs under WoW64).
  EXPECT_TRUE(info.is64Bit);
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64 != FALSE, sizeof(void*) == 4);
  // Wine's user is always an elevated administrator.
  EXPECT_TRUE(IsUserAdministrator());

  void* process = nullptr;
  ASSERT_TRUE(ShellExecuteHidden(u"open", test::SysPath(test::BuiltProgram("tests/gm_exit_with")), u"5", &process));
  ScopedFileHandle owned(process);
  EXPECT_EQ(test::ExitCodeOf(owned.Get()), 5);

  // The test program's manifest asks for no elevation.
  uint32_t level = 0;
  EXPECT_EQ(ManifestExecutionLevel(nullptr, 24, 1, level), 0);
  EXPECT_EQ(level, 1u);
  EXPECT_EQ(ManifestExecutionLevel(nullptr, 24, 999, level), 1);
}

// A program of the system's own architecture, as a 32-bit installer starts a client's
// 64-bit program and links to it: the program folder is one the file system redirection
// does not touch, and the program runs as what it is.
TEST(ProcessWin, ProgramsOfTheSystemsArchitecture) {
  const std::u16string programFiles = ExpandEnvironment(u"%ProgramW6432%");
  ASSERT_NE(programFiles, u"%ProgramW6432%");
  const std::u16string folder = JoinPath(programFiles, u"GmTest" + test::Decimal(GetCurrentProcessId()));
  const std::u16string program = JoinPath(folder, u"tool64.exe");
  // The system's own command interpreter: "Sysnative" is a 32-bit program's name for
  // the System32 folder that is not redirected.
  const std::u16string native =
      ExpandEnvironment(sizeof(void*) == 4 ? u"%SystemRoot%\\Sysnative\\cmd.exe" : u"%SystemRoot%\\System32\\cmd.exe");
  ASSERT_TRUE(CreateDirectoryTree(folder));
  ASSERT_TRUE(CopyFileW(W(native), W(program), FALSE));

  test::ScratchDir scratch;
  const std::u16string said = scratch.Join(u"arch.txt");
  uint32_t code = 0;
  EXPECT_EQ(LaunchProcess(u"\"" + program + u"\" /c echo %PROCESSOR_ARCHITECTURE%>\"" + said + u"\"& exit 7", true,
                          false, code),
            LaunchResult::kEnded);
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(test::ReadBytes(test::FsPath(said)).substr(0, 5), "AMD64");

  ShortcutInfo link;
  link.target = program;
  link.workingDirectory = folder;
  const std::u16string linkPath = scratch.Join(u"Tool.lnk");
  ASSERT_TRUE(CreateShellLink(link, linkPath));
  ShortcutInfo read;
  ASSERT_TRUE(ReadShortcut(linkPath, read));
  EXPECT_TRUE(IsSamePath(read.target, program)) << test::Utf8(read.target);
  EXPECT_TRUE(IsSamePath(read.workingDirectory, folder)) << test::Utf8(read.workingDirectory);
  DeleteTree(folder);
}

}  // namespace
}  // namespace Zavro
