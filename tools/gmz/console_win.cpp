#include "tools/gmz/console.h"

#include "system/windows_support.h"

#include <io.h>
#include <shellapi.h>

#include "system/encoding.h"

namespace Zavro::gmz {

namespace {
void (*g_interrupt_handler)() = nullptr;
BOOL WINAPI HandleConsoleControl(DWORD type) {
  if ((type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) && g_interrupt_handler) {
    g_interrupt_handler();
    return TRUE;
  }
  return FALSE;
}
}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) {
    std::u16string text = U16(wide[i]);
    arguments.push_back(text.empty() ? std::string() : ToUtf8(text));
  }
  LocalFree(wide);
  return arguments;
}

std::u16string PathFromArgument(const std::string& utf8) {
  std::u16string path = FromCodePage(utf8, kCodePageUtf8);
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  return path;
}

std::string PathForDisplay(const std::u16string& path) { return path.empty() ? std::string() : ToUtf8(path); }

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void OnInterrupt(void (*handler)()) {
  g_interrupt_handler = handler;
  SetConsoleCtrlHandler(HandleConsoleControl, TRUE);
}

}  // namespace Zavro::gmz
