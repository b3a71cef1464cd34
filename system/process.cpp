#include "system/process.h"

#include "system/string_utils.h"

namespace Zavro {

namespace {

const char16_t kBlanks[] = u" \r\t\n";

void Trimmed(std::u16string& text) {
  TrimLeft(text, kBlanks);
  TrimRight(text, kBlanks);
}

}  // namespace

void SplitCommandLine(const std::u16string& commandLine, std::u16string& program, std::u16string& arguments) {
  if (commandLine.empty()) return;
  if (commandLine[0] == u'"') {
    const size_t close = commandLine.find(u'"', 1);
    if (close == std::u16string::npos) {
      program = commandLine;
      return;
    }
    program = commandLine.substr(1, close - 1);
    arguments = commandLine.substr(close + 1);
    Trimmed(program);
    Trimmed(arguments);
    return;
  }
  // An unquoted path with spaces ends where the text so far names a program.
  for (size_t at = commandLine.find(u' ');; at = commandLine.find(u' ', at + 1)) {
    const size_t end = at == std::u16string::npos ? commandLine.size() : at;
    if (EndsWithNoCase(commandLine.substr(0, end), u".exe")) {
      program = commandLine.substr(0, end);
      if (at != std::u16string::npos) arguments = commandLine.substr(at + 1);
      return;
    }
    if (at == std::u16string::npos) break;
  }
  const size_t space = commandLine.find(u' ', 1);
  if (space == std::u16string::npos) {
    program = commandLine;
    return;
  }
  program = commandLine.substr(0, space);
  arguments = commandLine.substr(space + 1);
  Trimmed(program);
  Trimmed(arguments);
}

}  // namespace Zavro
