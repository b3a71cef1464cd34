// What only Windows does for the install run: shell links, profile files and programs.
#include "installer/sfx_install.h"

#include "system/process.h"
#include "system/shortcut.h"
#include "system/string_utils.h"

namespace Zavro {

namespace {

const char16_t kShortcutPlaceholder[] = u"Z:\\##install##";

// The observer of the run, as a launch sees it.
class LaunchGate : public LaunchObserver {
 public:
  explicit LaunchGate(GMCompressProgress& progress) : progress_(progress) {}
  bool IsPaused() override { return progress_.IsPaused(); }
  void WaitWhilePaused() override { progress_.WaitWhilePaused(); }
  bool IsCancelled() override { return progress_.IsCancelled(); }

 private:
  GMCompressProgress& progress_;
};

}  // namespace

bool GMSfxInstall::WriteProfileValue(const std::u16string& file, const std::u16string& section,
                                     const std::u16string* key, const std::u16string* value) {
  return WriteIniString(file, section, key, value);
}

bool GMSfxInstall::WriteShellLink(const ShortcutInfo& info, const std::u16string& file) {
  return CreateShellLink(info, file);
}

LaunchResult GMSfxInstall::StartProgram(const std::u16string& commandLine, bool wait, bool elevate, uint32_t& code) {
  std::unique_ptr<LaunchGate> gate;
  if (Observer()) gate = std::make_unique<LaunchGate>(*Observer());
  return LaunchProcess(commandLine, wait, elevate, code, CancelFlag(), gate.get());
}

void GMSfxInstall::FixShortcutFolder(const std::u16string& linkPath) {
  ShortcutInfo info;
  if (!ReadShortcut(linkPath, info)) return;
  bool changed = false;
  for (std::u16string* field : {&info.target, &info.workingDirectory, &info.iconPath}) {
    if (field->compare(0, 14, kShortcutPlaceholder) != 0) continue;
    ReplaceAll(*field, kShortcutPlaceholder, InstallFolder().c_str());
    changed = true;
  }
  if (changed) CreateShellLink(info, linkPath);
}

}  // namespace Zavro
