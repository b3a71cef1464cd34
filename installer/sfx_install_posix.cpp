// The install run on a system without shell links, profile files or the programs a
// package starts: they fail with error 50 (not supported).
#include "installer/sfx_install.h"

#include "system/process.h"
#include "system/system_error.h"

namespace Zavro {

bool GMSfxInstall::WriteProfileValue(const std::u16string&, const std::u16string&, const std::u16string*,
                                     const std::u16string*) {
  SetLastSystemError(kErrorNotSupported);
  return false;
}

bool GMSfxInstall::WriteShellLink(const ShortcutInfo&, const std::u16string&) {
  SetLastSystemError(kErrorNotSupported);
  return false;
}

LaunchResult GMSfxInstall::StartProgram(const std::u16string&, bool, bool, uint32_t& code) {
  code = kErrorNotSupported;
  return LaunchResult::kFailed;
}

void GMSfxInstall::FixShortcutFolder(const std::u16string&) {}

}  // namespace Zavro
