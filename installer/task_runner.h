// Running the task list. The runner reaches the install run through TaskHost, which the
// run implements: every change a task makes to the machine goes through the host, which
// records it before it is made.
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
struct ShortcutInfo;

class TaskHost {
 public:
  virtual ~TaskHost() = default;
  virtual std::u16string ExpandMacros(const std::u16string& text) = 0;
  // An "ini" task: writes a profile value, deletes a key (`value` null) or a section
  // (`key` null as well). False when the change cannot be made safely (the host
  // reported why): the list stops. A write the system refuses is no reason to stop.
  virtual bool WriteProfile(const std::u16string& file, const std::u16string& section, const std::u16string* key,
                            const std::u16string* value) = 0;
  // A "CreateShortCut" task: writes the shell link `file` (".lnk" included). False as
  // WriteProfile.
  virtual bool CreateShortcut(const ShortcutInfo& info, const std::u16string& file) = 0;
  // A "DeleteFile" task: removes a file or a folder tree; never fails the list.
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
// whose exit code differs (both reported to the host), a launch that was cancelled (not
// reported: the host knows), or a change the host refused (reported by the host).
// Throws GMTaskException for an "ini" line with too few arguments.
bool RunTasks(const std::vector<std::u16string>& lines, TaskHost& host);
// The "ini" and "CreateShortCut" verbs; false when the host refused the change.
bool RunIniCommand(const std::u16string& arguments, TaskHost& host);
bool CreateShortcutTask(const std::u16string& arguments, TaskHost& host);

}  // namespace Zavro
