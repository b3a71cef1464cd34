#include "tools/gmz/console.h"

#include "system/encoding.h"
#include "tools/gmz/commands.h"

namespace Zavro::gmz {

void Print(std::FILE* stream, const std::u16string& text) {
  if (text.empty()) return;
  std::string bytes = ToUtf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

int Fail(const std::u16string& message) { return Fail(ToUtf8(message)); }

int Fail(const std::string& utf8Message) {
  std::fprintf(stderr, "gmz: %s\n", utf8Message.c_str());
  return kExitFailure;
}

}  // namespace Zavro::gmz
