// gmz: makes, inspects and unpacks the installer's packages.
#include <cstdio>
#include <new>
#include <string>

#include <CLI/CLI.hpp>

#include "gm_config.h"
#include "tools/gmz/commands.h"
#include "tools/gmz/console.h"

int main(int argc, char** argv) {
  using namespace Zavro::gmz;
  CLI::App app{"gmz: packages for the game client installer (GMZ archives, registry data)", "gmz"};
  app.set_version_flag("--version", std::string("gmz ") + GM_VERSION);
  app.require_subcommand(1);
  app.footer("Exit status: 0 success, 1 the operation failed, 2 usage error.");

  Action action;
  for (auto add : kCommandSets) add(app, action);

  std::vector<std::string> arguments = Utf8Arguments(argc, argv);
  std::vector<const char*> pointers;
  for (const auto& a : arguments) pointers.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(pointers.size()), const_cast<char**>(pointers.data()));
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  if (!action) return kExitUsage;
  try {
    return action();
  } catch (const std::bad_alloc&) {
    return Fail("not enough memory");
  }
}
