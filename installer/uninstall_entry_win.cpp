#include "installer/uninstall_entry.h"

#include "installer/setup_entry.h"
#include "installer/uninstall.h"
#include "system/error_message.h"
#include "system/format.h"

namespace Zavro {

int RunUninstall(const std::u16string& folder, const std::u16string& self, bool quiet, UninstallDialogs& dialogs) {
  if (!quiet && !dialogs.Ask(kUninstallQuestion, kUninstallCaption)) return 1;
  UninstallPlan plan;
  ErrorInfo error;
  const FolderMacros macros;
  if (PlanUninstall(folder, self, macros, plan, error)) {
    CloseClientWindows();
    if (CarryOutUninstall(plan, error)) return 0;
  }
  dialogs.Show(FormatString(kUninstallFailed, FormatErrorMessage(error)), kUninstallErrorCaption);
  return -1;
}

}  // namespace Zavro
