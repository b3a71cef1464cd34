#include "installer/setup_entry.h"

#include "archive/io/memory_file.h"
#include "gm_config.h"
#include "installer/sfx_install.h"
#include "registry/reg_key.h"
#include "system/path_text.h"
#include "system/known_folders.h"
#include "system/format.h"
#include "system/windows_support.h"
#include "system/windows_ui.h"

#include <objbase.h>

namespace Zavro {

const char16_t* const kClientPrograms[3] = {u"ZavroGM.exe", u"ZavroBrowser.exe", u"ZavroWeb.exe"};

std::u16string ClientWindowClass() { return GM_CLIENT_WINDOW_CLASS; }

void CloseClientWindows() {
  for (const std::u16string& windowClass : {ClientWindowClass(), std::u16string(kBubbleWindowClass)}) {
    if (WindowHandle window = FindTopLevelWindow(windowClass)) {
      CloseWindowAndProcess(window, kCloseTimeoutMs, kCloseWParam, 0);
    }
  }
}

int RunSetup(const void* package, size_t size, SetupMessages& messages, const SetupOptions& options) {
  const HRESULT com = CoInitialize(nullptr);
  auto done = [&](int result) {
    if (SUCCEEDED(com)) CoUninitialize();
    return result;
  };
  if (package == nullptr || size == 0) {
    messages.Show(kSetupNoPackage, kSetupCaption);
    return done(-1);
  }
  // The package is read where it lies, never copied.
  const std::unique_ptr<CMemoryFile> file = CMemoryFile::View(package, size);
  GMSfxInstall install(file.get(), false, 0);
  const std::u16string root =
      options.targetRoot.empty() ? SpecialFolderPath(kCsidlProgramFilesX86) : options.targetRoot;
  install.SetReplaceLockedFiles(true);
  // Everything a package installs goes below the install folder or a macro folder.
  install.SetAbsoluteNames(false);
  // A damaged package is found before anything changes: no window of the client's is
  // closed for an install that cannot be.
  const bool installed = install.Open(false) && install.VerifyChecksum() != GMUnpacker::Checksum::kDamaged &&
                         (CloseClientWindows(), install.Extract(root));
  if (!installed) {
    messages.Show(FormatString(kSetupFailed, install.GetLastErrorMessage()), kSetupCaption);
    return done(-1);
  }
  const std::u16string name =
      options.installerName.empty() ? FileNamePart(ModuleFilePath()) : options.installerName;
  SetStringValue(kHKeyCurrentUser, u"Software\\Lunefa", u"SetupName", name, 0);
  for (const char16_t* program : kClientPrograms) SetDwordIfDifferent(program, kProgramNumber);
  return done(0);
}

}  // namespace Zavro
