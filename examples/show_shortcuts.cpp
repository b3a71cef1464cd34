// The demo's shortcut reader: prints what each ".lnk" file named on the command line
// points to, as the shell reads it.
#include <cstdio>
#include <string>

#include "system/encoding.h"
#include "system/shortcut.h"

namespace {

void Field(const char* name, const std::u16string& value) {
  if (!value.empty()) std::printf("    %-12s %s\n", name, Zavro::ToUtf8(value).c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const std::u16string path(reinterpret_cast<const char16_t*>(argv[i]));
    Zavro::ShortcutInfo info;
    std::printf("%s\n", Zavro::ToUtf8(path).c_str());
    if (!Zavro::ReadShortcut(path, info)) {
      std::printf("    (not a shortcut)\n");
      status = 1;
      continue;
    }
    Field("target", info.target);
    Field("arguments", info.arguments);
    Field("folder", info.workingDirectory);
    Field("icon", info.iconPath.empty() ? info.iconPath : info.iconPath + u"," + Zavro::FromCodePage(std::to_string(info.iconIndex), Zavro::kCodePageUtf8));
    Field("description", info.description);
  }
  return status;
}
