// The uninstall program's whole life, without its window system: the install folder
// comes in, questions and messages go out through a sink, and the result is the exit
// code. WinMain (uninstall_main_win.cpp) only finds its own folder and shows the boxes.
// Windows only.
#pragma once

#include <string>

namespace Zavro {

constexpr char16_t kUninstallCaption[] = u"卸载";
constexpr char16_t kUninstallQuestion[] = u"确定要卸载此程序吗?";
constexpr char16_t kUninstallErrorCaption[] = u"卸载错误";
constexpr char16_t kUninstallFailed[] = u"卸载失败:%s";

class UninstallDialogs {
 public:
  virtual ~UninstallDialogs() = default;
  // A yes/no question; true for yes.
  virtual bool Ask(const std::u16string& text, const std::u16string& caption) = 0;
  virtual void Show(const std::u16string& text, const std::u16string& caption) = 0;
};

// Takes back the install whose record lies in `folder`: asks first unless `quiet` (no:
// 1, nothing changed), closes the client's windows, uninstalls (uninstall.h), and
// removes `self` (the running program) with the rest. 0 after the uninstall, -1 after a
// failure, explained in one message ("卸载失败:" and the reason).
int RunUninstall(const std::u16string& folder, const std::u16string& self, bool quiet, UninstallDialogs& dialogs);

}  // namespace Zavro
