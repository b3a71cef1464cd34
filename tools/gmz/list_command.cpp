#include <CLI/CLI.hpp>

#include "tools/gmz/commands.h"

namespace Zavro::gmz {

void AddListCommand(CLI::App&, Action&) {}

}  // namespace Zavro::gmz
