// Running the task list (Windows only, task_runner_win.cpp). The runner reaches the
// install run through TaskHost, which the run implements.
//
// Verbs: run / runas (start and wait, the second asking for elevation), runcheck CODE
// (start, wait, and require that exit code: its leading digits, none meaning 0), start /
// startas (start without waiting), ini (WriteINIStr, DeleteINISec, DeleteINIStr),
// CreateShortCut, DeleteFile. Any other line does nothing. Paths, command lines and INI
// values may hold folder macros.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace Zavro {

enum class LaunchResult;

class TaskHost {
 public:
  virtual ~TaskHost() = default;
  virtual std::u16string ExpandMacros(const std::u16string& text) = 0;
  // A file the tasks made (a shortcut), for the uninstall record.
  virtual void RecordPath(const std::u16string& path) = 0;
  // Called before a task writes or deletes a file (an INI file, a shortcut), so that a
  // failed run can put it back.
  virtual void BeforeChange(const std::u16string& path) {}
  // A "DeleteFile" task: removes a file or a folder tree.
  virtual void DeletePath(const std::u16string& path);
  // Starts a task's command line (its macros not yet expanded), with the run's cancel
  // flag and observer (LaunchProcess of system/process.h): `code` is the exit code of a
  // launch that ended, the error of one that failed.
  virtual LaunchResult Launch(const std::u16string& commandLine, bool wait, bool elevate, uint32_t& code) = 0;
  // A line that stops the list: the verb, the command line, and the system error of a
  // launch that failed or the exit code a runcheck did not expect.
  virtual void ReportTaskFailure(const std::u16string& verb, const std::u16string& commandLine, uint32_t code) = 0;
  // After line `done` of `total` started or ran a program.
  virtual void OnTaskProgress(size_t done, size_t total) {}
};

// A wrong number of arguments of an "ini" task. what() is the text in code page 936, as
// the system keeps it; Text() the same words in UTF-16, whatever the ANSI code page.
class GMTaskException : public std::runtime_error {
 public:
  explicit GMTaskException(const std::u16string& text);
  const std::u16string& Text() const { return text_; }

 private:
  std::u16string text_;
};

// Runs the lines in order. False at the first launch that fails, the first runcheck
// whose exit code differs (both reported to the host), or a launch that was cancelled
// (not reported: the host knows). Throws GMTaskException for an "ini" line with too few
// arguments.
bool RunTasks(const std::vector<std::u16string>& lines, TaskHost& host);
void RunIniCommand(const std::u16string& arguments, TaskHost& host);
void CreateShortcutTask(const std::u16string& arguments, TaskHost& host);

}  // namespace Zavro
