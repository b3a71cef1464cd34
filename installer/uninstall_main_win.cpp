// uninstall.exe: takes back the install whose uninstall record lies in its own folder.
// "/S" uninstalls without asking.
#include "installer/uninstall_entry.h"
#include "system/path_text.h"
#include "system/known_folders.h"
#include "system/windows_support.h"
#include "system/string_utils.h"

#include <shellapi.h>

namespace {

class MessageBoxes : public Zavro::UninstallDialogs {
 public:
  bool Ask(const std::u16string& text, const std::u16string& caption) override {
    return MessageBoxW(nullptr, Zavro::W(text), Zavro::W(caption), MB_YESNO | MB_ICONQUESTION) == IDYES;
  }
  void Show(const std::u16string& text, const std::u16string& caption) override {
    MessageBoxW(nullptr, Zavro::W(text), Zavro::W(caption), MB_OK | MB_ICONERROR);
  }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  bool quiet = false;
  int count = 0;
  if (LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) {
      quiet = quiet || Zavro::CompareNoCase(Zavro::U16(arguments[i]), u"/S") == 0;
    }
    LocalFree(arguments);
  }
  const std::u16string self = Zavro::ModuleFilePath();
  MessageBoxes dialogs;
  return Zavro::RunUninstall(Zavro::DirectoryPart(self), self, quiet, dialogs);
}
