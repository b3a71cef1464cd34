// What gmz needs from the console: its arguments in UTF-8, paths as the user writes
// them, messages in UTF-8, terminal detection and Ctrl-C.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace Zavro::gmz {

// The program's arguments in UTF-8 (on Windows from the wide command line).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// A path the user typed, in the system's form (backslashes), and a path of the system
// in the form the user expects to read (slashes on POSIX). A file error's path in the
// library's records is shown that way too (DescribeError); registry keys never are.
std::u16string PathFromArgument(const std::string& utf8);
std::string PathForDisplay(const std::u16string& path);

bool IsTerminal(std::FILE* stream);

// Calls `handler` (once) on Ctrl-C; the handler must be safe to run on another thread
// or in a signal handler: it should only set a flag.
void OnInterrupt(void (*handler)());

// Writes UTF-16 text as UTF-8.
void Print(std::FILE* stream, const std::u16string& text);

// Prints "gmz: <message>" on standard error and returns kExitFailure.
int Fail(const std::u16string& message);
int Fail(const std::string& utf8Message);

}  // namespace Zavro::gmz
