// gmz: makes, inspects and unpacks the installer's packages.
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
  CLI::App app{"gmz: packages for the game client installer (GMZ archives, registry data)", "gmz"};
  app.set_version_flag("--version", std::string("gmz 0.1.0"));
  app.require_subcommand(0, 1);
  app.footer(
      "Commands arrive as the library grows: pack, list, extract, test, split, reg.\n"
      "Exit status: 0 success, 1 the operation failed, 2 usage error.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  if (app.get_subcommands().empty()) {
    std::fputs(app.help().c_str(), stdout);
  }
  return 0;
}
