// The task list run against the system (Wine in the test run): programs of this build
// (gm_exit_with, gm_sleeper), profiles, shell links and files on disk.
#include "installer/task_runner.h"

#include <gtest/gtest.h>

#include "installer/folder_macros.h"
#include "system/process.h"
#include "system/shortcut.h"
#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::ReadBytes;
using test::WriteBytes;
using Lines = std::vector<std::u16string>;

// The install run, as far as the tasks see it: "##install##" is a scratch folder.
class Host : public TaskHost {
 public:
  explicit Host(const std::u16string& install) { macros.DefineMacro(u"install", install); }
  std::u16string ExpandMacros(const std::u16string& text) override { return macros.ExpandMacros(text); }
  bool WriteProfile(const std::u16string& file, const std::u16string& section, const std::u16string* key,
                    const std::u16string* value) override {
    WriteIniString(file, section, key, value);
    return true;
  }
  bool CreateShortcut(const ShortcutInfo& info, const std::u16string& file) override {
    if (CreateShellLink(info, file)) recorded.push_back(file);
    return true;
  }
  LaunchResult Launch(const std::u16string& commandLine, bool wait, bool elevate, uint32_t& code) override {
    if (failWith != 0) {
      // A launch that failed without a system error of the thread's (the shell's own
      // result, or no process handed over).
      SetLastError(ERROR_SUCCESS);
      code = failWith;
      return LaunchResult::kFailed;
    }
    return LaunchProcess(ExpandMacros(commandLine), wait, elevate, code, &cancelled, observer);
  }
  void OnTaskProgress(size_t done, size_t total) override {
    progress.push_back(test::Decimal(done) + u"/" + test::Decimal(total));
  }
  void ReportTaskFailure(const std::u16string& verb, const std::u16string& commandLine, uint32_t code) override {
    failures.push_back(verb + u"|" + commandLine + u"|" + test::Decimal(code));
  }

  FolderMacros macros;
  Lines recorded;
  Lines failures;
  Lines progress;
  std::atomic<bool> cancelled{false};
  LaunchObserver* observer = nullptr;
  uint32_t failWith = 0;
};

// Never pauses, never cancels: the run's flag decides.
class Quiet : public LaunchObserver {
 public:
  bool IsPaused() override { return false; }
  void WaitWhilePaused() override {}
  bool IsCancelled() override { return false; }
};

std::u16string Helper(const char* name) {
  return u"\"" + test::SysPath(test::BuiltProgram(std::string("tests/gm_") + name)) + u"\"";
}

TEST(TaskRunnerWin, EveryVerb) {
  test::ScratchDir dir;
  Host host(dir.path());
  test::fs::create_directories(dir.fs_path() / "old" / "inner");
  WriteBytes(dir.fs_path() / "old" / "inner" / "f.txt", "x");
  WriteBytes(dir.fs_path() / "stale.txt", "x");
  WriteBytes(dir.fs_path() / "a.ini", "[S]\r\ngone=1\r\n[Old]\r\nk=v\r\n");
  const Lines lines = {
      u"ini WriteINIStr \"##install##\\a.ini\" \"S\" \"dir\" \"##install##\"",
      u"ini DeleteINIStr \"##install##\\a.ini\" S gone",
      u"ini DeleteINISec \"##install##\\a.ini\" Old",
      u"CreateShortCut \"##install##\\links\\Game\" \"##install##\\game.exe\"",
      u"DeleteFile \"##install##\\old\"",
      u"DeleteFile \"##install##\\stale.txt\"",
      u"DeleteFile \"##install##\\a.ini\" two",
      u"RUN " + Helper("exit_with") + u" 9",
      u"# a comment",
      u"runcheck 0 " + Helper("exit_with") + u" 0",
      u"runcheck abc " + Helper("exit_with") + u" 0",
      u"run " + Helper("exit_with") + u" 5",
      u"start " + Helper("sleeper") + u" 500",
  };
  ASSERT_TRUE(RunTasks(lines, host));
  EXPECT_TRUE(host.failures.empty());
  // After each line that started or ran a program.
  EXPECT_EQ(host.progress, (Lines{u"10/13", u"11/13", u"12/13", u"13/13"}));
  EXPECT_EQ(ReadIniString(dir.Join(u"a.ini"), u"S", u"gone", u"none"), u"none");
  EXPECT_EQ(ReadIniString(dir.Join(u"a.ini"), u"S", u"dir", u""), dir.path());
  EXPECT_EQ(ReadIniString(dir.Join(u"a.ini"), u"Old", u"k", u"none"), u"none");
  EXPECT_FALSE(test::fs::exists(dir.fs_path() / "old"));
  EXPECT_FALSE(test::fs::exists(dir.fs_path() / "stale.txt"));
  EXPECT_TRUE(test::fs::exists(dir.fs_path() / "a.ini"));
  // A link with only a path and a target: no arguments, description or working folder,
  // the target's own icon; recorded under the name it was written with.
  ShortcutInfo link;
  ASSERT_TRUE(ReadShortcut(dir.Join(u"links\\Game.lnk"), link));
  EXPECT_EQ(link.target, dir.Join(u"game.exe"));
  EXPECT_EQ(link.arguments + link.description + link.workingDirectory, u"");
  EXPECT_EQ(link.iconPath, dir.Join(u"game.exe"));
  EXPECT_EQ(host.recorded, Lines{dir.Join(u"links\\Game.lnk")});
}

TEST(TaskRunnerWin, WhatStopsTheList) {
  test::ScratchDir dir;
  Host host(dir.path());
  const std::u16string marker = u"ini WriteINIStr \"##install##\\after.ini\" S k v";
  const struct {
    std::u16string line;
    std::u16string failure;
  } cases[] = {
      {u"runcheck 3 " + Helper("exit_with") + u" 1", u"runcheck|" + Helper("exit_with") + u" 1|1"},
      {u"run", u"run||2"},
      {u"run no-such-program-1f2e.exe", u"run|no-such-program-1f2e.exe|2"},
      {u"start no-such-program-1f2e.exe", u"start|no-such-program-1f2e.exe|2"},
  };
  for (const auto& c : cases) {
    host.failures.clear();
    EXPECT_FALSE(RunTasks({c.line, marker}, host));
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_EQ(host.failures[0], c.failure);
    EXPECT_FALSE(test::fs::exists(dir.fs_path() / "after.ini"));
  }
  // The error reported is the launch's own.
  host.failures.clear();
  host.failWith = 1155;
  EXPECT_FALSE(RunTasks({u"start game.exe", marker}, host));
  EXPECT_EQ(host.failures, Lines{u"start|game.exe|1155"});
  host.failWith = 0;
  // Too few arguments for an INI command: the words come out as they are, whatever the
  // ANSI code page.
  try {
    RunTasks({u"ini WriteINIStr \"##install##\\a.ini\" S k"}, host);
    ADD_FAILURE() << "no exception";
  } catch (const GMTaskException& e) {
    EXPECT_EQ(e.Text(), u"WriteINIStr参数个数错误");
    EXPECT_EQ(std::string(e.what()), "WriteINIStr\xB2\xCE\xCA\xFD\xB8\xF6\xCA\xFD\xB4\xED\xCE\xF3");
  }
  EXPECT_THROW(RunIniCommand(u"DeleteINIStr a.ini S", host), GMTaskException);

  // A cancelled runcheck fails the list without a report, whatever its code says.
  Quiet quiet;
  host.observer = &quiet;
  host.cancelled = true;
  host.failures.clear();
  EXPECT_FALSE(RunTasks({u"runcheck 0 " + Helper("sleeper"), marker}, host));
  EXPECT_TRUE(host.failures.empty());
  EXPECT_FALSE(test::fs::exists(dir.fs_path() / "after.ini"));
}

}  // namespace
}  // namespace Zavro
