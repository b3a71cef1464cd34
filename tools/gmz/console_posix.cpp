#include "tools/gmz/console.h"

#include <signal.h>
#include <unistd.h>

#include "system/encoding.h"

namespace Zavro::gmz {

namespace {
void (*g_interrupt_handler)() = nullptr;
extern "C" void HandleSignal(int) {
  if (g_interrupt_handler) g_interrupt_handler();
}
}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::u16string PathFromArgument(const std::string& utf8) {
  std::u16string path = FromCodePage(utf8, kCodePageUtf8);
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  return path;
}

std::string PathForDisplay(const std::u16string& path) {
  std::string text = ToUtf8(path);
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void OnInterrupt(void (*handler)()) {
  g_interrupt_handler = handler;
  struct sigaction action = {};
  action.sa_handler = HandleSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace Zavro::gmz
