// Runs a program of this build the way a user would, for tests of the command-line
// tools: arguments in UTF-8, standard input empty, standard output and error captured
// in files (a pipe could be held open by a child the program leaves behind).
#pragma once

#include <string>
#include <vector>

#include "test_support.h"

namespace Zavro::test {

// The path of a program built beside the test program, such as "tools/gmz/gmz".
fs::path BuiltProgram(const std::string& relative);

// The program's exit status, or -1 when it could not be started or did not exit.
int RunProgram(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& output,
               const fs::path& errors);

}  // namespace Zavro::test
