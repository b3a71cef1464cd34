#include "installer/task_runner.h"

#include "installer/task_list.h"
#include "system/encoding.h"
#include "system/file_system.h"
#include "system/process.h"
#include "system/shortcut.h"
#include "system/string_utils.h"

namespace Zavro {

namespace {

const char16_t kBlanks[] = u" \r\t\n";

// Starts a command line; false (after a report) when the list must stop.
bool Launch(TaskHost& host, const std::u16string& verb, const std::u16string& commandLine, bool wait, bool elevate,
            uint32_t expected, bool check) {
  uint32_t code = 0;
  const LaunchResult result = host.Launch(commandLine, wait, elevate, code);
  switch (result) {
    case LaunchResult::kFailed:
      host.ReportTaskFailure(verb, commandLine, code);
      return false;
    case LaunchResult::kCancelled:
      // The exit code was never read: a cancelled check fails, and so does the list.
      return false;
    case LaunchResult::kEnded:
      if (check && code != expected) {
        host.ReportTaskFailure(verb, commandLine, code);
        return false;
      }
      return true;
    case LaunchResult::kStarted:
      return true;
  }
  return false;
}

}  // namespace

void TaskHost::DeletePath(const std::u16string& path) {
  if (IsDirectory(path)) {
    DeleteTree(path);
  } else {
    DeleteFileForced(path);
  }
}

GMTaskException::GMTaskException(const std::u16string& text)
    : std::runtime_error(WideToMultiByte(text, 936, '_')), text_(text) {}

bool RunTasks(const std::vector<std::u16string>& lines, TaskHost& host) {
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::u16string& line = lines[i];
    if (line.empty()) continue;
    std::u16string verb, arguments;
    SplitTaskLine(line, verb, arguments);
    bool launched = true;
    if (verb == u"run" || verb == u"runas") {
      if (!Launch(host, verb, arguments, true, verb == u"runas", 0, false)) return false;
    } else if (verb == u"runcheck") {
      const size_t space = arguments.find(u' ');
      const uint32_t expected = static_cast<uint32_t>(ParseUnsigned(arguments.substr(0, space)));
      const std::u16string commandLine = space == std::u16string::npos ? std::u16string() : arguments.substr(space + 1);
      if (!Launch(host, verb, commandLine, true, false, expected, true)) return false;
    } else if (verb == u"start" || verb == u"startas") {
      if (!Launch(host, verb, arguments, false, verb == u"startas", 0, false)) return false;
    } else {
      launched = false;
      if (verb == u"ini") {
        if (!RunIniCommand(arguments, host)) return false;
      } else if (verb == u"CreateShortCut") {
        if (!CreateShortcutTask(arguments, host)) return false;
      } else if (verb == u"DeleteFile") {
        std::vector<std::u16string> items;
        SplitArguments(arguments, items);
        if (items.size() == 1) {
          host.DeletePath(host.ExpandMacros(Unquote(items[0])));
        }
      }
    }
    if (launched) host.OnTaskProgress(i + 1, lines.size());
  }
  return true;
}

bool RunIniCommand(const std::u16string& arguments, TaskHost& host) {
  std::u16string trimmed = arguments;
  TrimLeft(trimmed, kBlanks);
  TrimRight(trimmed, kBlanks);
  std::vector<std::u16string> items;
  SplitArguments(trimmed, items);
  if (items.size() < 3) return true;
  const std::u16string file = Unquote(host.ExpandMacros(items[1]));
  const std::u16string& command = items[0];
  const std::u16string section = Unquote(items[2]);
  if (command == u"WriteINIStr") {
    if (items.size() < 5) throw GMTaskException(u"WriteINIStr参数个数错误");
    const std::u16string key = Unquote(items[3]);
    const std::u16string value = host.ExpandMacros(Unquote(items[4]));
    return host.WriteProfile(file, section, &key, &value);
  }
  if (command == u"DeleteINISec") return host.WriteProfile(file, section, nullptr, nullptr);
  if (command == u"DeleteINIStr") {
    if (items.size() < 4) throw GMTaskException(u"DeleteINIStr参数个数错误");
    const std::u16string key = Unquote(items[3]);
    return host.WriteProfile(file, section, &key, nullptr);
  }
  return true;
}

bool CreateShortcutTask(const std::u16string& arguments, TaskHost& host) {
  std::vector<std::u16string> items;
  SplitArguments(arguments, items);
  if (items.size() < 2) return true;
  const std::u16string link = host.ExpandMacros(Unquote(items[0]));
  ShortcutInfo info;
  info.target = host.ExpandMacros(Unquote(items[1]));
  if (items.size() > 2) info.arguments = host.ExpandMacros(Unquote(items[2]));
  if (items.size() > 3) info.iconPath = host.ExpandMacros(Unquote(items[3]));
  if (items.size() > 4) info.iconIndex = static_cast<int32_t>(ParseSigned(items[4]));
  if (items.size() > 5) info.showCommand = static_cast<int32_t>(ParseSigned(items[5]));
  if (items.size() > 6) info.hotkey = static_cast<uint16_t>(ParseSigned(items[6]));
  if (items.size() > 7) info.description = Unquote(items[7]);
  // Always a text: without a ninth item the link has no working directory.
  info.workingDirectory = items.size() > 8 ? host.ExpandMacros(Unquote(items[8])) : std::u16string();
  // The file as it is written, ".lnk" added where the name lacks it.
  const std::u16string file = EndsWithNoCase(link, u".lnk") ? link : link + u".lnk";
  return host.CreateShortcut(info, file);
}

}  // namespace Zavro
