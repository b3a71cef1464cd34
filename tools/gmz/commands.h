// The commands of gmz. Each Add* function registers its subcommands; the one the user
// picked stores its work in `action`, which main runs after parsing.
//
// Exit status: 0 success, 1 the operation failed (the message on standard error, in
// UTF-8), 2 a usage error.
#pragma once

#include <functional>

namespace CLI {
class App;
}

namespace Zavro::gmz {

using Action = std::function<int()>;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void AddPackCommand(CLI::App& app, Action& action);
void AddListCommand(CLI::App& app, Action& action);
void AddRegCommands(CLI::App& app, Action& action);
void AddExtractCommands(CLI::App& app, Action& action);
void AddRecordCommands(CLI::App& app, Action& action);
void AddSfxCommand(CLI::App& app, Action& action);
void AddUninstallCommand(CLI::App& app, Action& action);

using AddCommands = void (*)(CLI::App&, Action&);
inline constexpr AddCommands kCommandSets[] = {AddPackCommand,    AddListCommand, AddExtractCommands, AddRegCommands,
                                                 AddRecordCommands, AddSfxCommand,  AddUninstallCommand};

}  // namespace Zavro::gmz
