#include <CLI/CLI.hpp>

#include "tools/gmz/commands.h"

namespace Zavro::gmz {

void AddPackCommand(CLI::App&, Action&) {}

}  // namespace Zavro::gmz
