// gmz uninstall FOLDER: takes back the install whose record lies in FOLDER (Windows), or
// shows what that would remove and restore (--dry-run, on any system).
#include <CLI/CLI.hpp>

#include <memory>

#include <nlohmann/json.hpp>

#include "installer/uninstall.h"
#include "system/format.h"
#include "tools/gmz/commands.h"
#include "tools/gmz/console.h"
#include "tools/gmz/reg_apply.h"
#include "tools/gmz/reg_display.h"
#include "tools/gmz/tool_support.h"

namespace Zavro::gmz {

namespace {

struct UninstallOptions {
  std::string folder;
  bool dryRun = false;
  bool json = false;
};

// What the undo records do to a key: deleted (the install made it), or given back its
// values (and its tree, when the install deleted it).
struct KeyChange {
  std::u16string key;
  bool deleted;
  std::vector<std::u16string> values;
};

std::vector<KeyChange> KeyChanges(const std::deque<GMRegKeyRecord>& undo) {
  std::vector<KeyChange> changes;
  for (const GMRegKeyRecord& record : undo) {
    KeyChange change{record.FullKeyName(false), record.deleteMark, {}};
    for (const GMRegValueRecord& value : record.values) change.values.push_back(value.name);
    changes.push_back(std::move(change));
  }
  return changes;
}

int ShowPlan(const UninstallPlan& plan, bool json) {
  const std::vector<KeyChange> keys = KeyChanges(plan.registryUndo);
  if (json) {
    auto list = [](const std::vector<std::u16string>& paths) {
      nlohmann::ordered_json out = nlohmann::ordered_json::array();
      for (const std::u16string& path : paths) out.push_back(RegJsonText(path));
      return out;
    };
    nlohmann::ordered_json out;
    out["folder"] = RegJsonText(plan.folder);
    out["record"] = RegJsonText(plan.recordPath);
    out["registry_view"] = RegJsonText(plan.view);
    out["files"] = list(plan.files);
    out["folders"] = list(plan.folders);
    out["kept_folders"] = list(plan.kept);
    out["missing"] = list(plan.missing);
    nlohmann::ordered_json registry = nlohmann::ordered_json::array();
    for (const KeyChange& key : keys) {
      registry.push_back({{"key", RegJsonText(key.key)},
                          {"action", key.deleted ? "delete" : "restore"},
                          {"values", list(key.values)}});
    }
    out["registry"] = registry;
    const std::string text = out.dump(2) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kExitSuccess;
  }
  std::u16string text = u"uninstall of " + plan.folder + u"\n";
  auto section = [&text](const char16_t* title, const std::vector<std::u16string>& paths) {
    text += FormatString(u"\n%s (%u):\n", title, static_cast<uint32_t>(paths.size()));
    for (const std::u16string& path : paths) text += u"  " + path + u"\n";
  };
  section(u"files removed", plan.files);
  section(u"folders removed", plan.folders);
  section(u"folders kept (they hold other files)", plan.kept);
  section(u"listed but not there", plan.missing);
  text += FormatString(u"\nregistry, %s-bit view (%u keys):\n", plan.view, static_cast<uint32_t>(keys.size()));
  for (const KeyChange& key : keys) {
    text += (key.deleted ? u"  delete " : u"  restore ") + key.key;
    for (size_t i = 0; i < key.values.size(); ++i) text += (i == 0 ? u" (" : u", ") + key.values[i];
    if (!key.values.empty()) text += u")";
    text += u"\n";
  }
  text += u"\nand the uninstall record " + plan.recordPath + u"\n";
  Print(stdout, text);
  return kExitSuccess;
}

int RunUninstall(const UninstallOptions& o) {
  if (!o.dryRun && !HasRegistry()) {
    std::fprintf(stderr, "gmz uninstall: needs Windows (--dry-run shows what it would do on any system)\n");
    return kExitUsage;
  }
  UninstallPlan plan;
  ErrorInfo error;
  const FolderMacros macros;
  if (!PlanUninstall(PathFromArgument(o.folder), u"", macros, plan, error)) {
    return Fail("cannot uninstall " + o.folder + ": " + DescribeError(error));
  }
  if (o.dryRun) return ShowPlan(plan, o.json);
  if (!UninstallHere(plan, error)) {
    return Fail("cannot uninstall " + o.folder + ": " + DescribeError(error) +
                "; everything removed was put back");
  }
  Print(stdout, u"uninstalled " + plan.folder + FormatString(u": %u files, %u folders, %u registry keys\n",
                                                             static_cast<uint32_t>(plan.files.size()),
                                                             static_cast<uint32_t>(plan.folders.size()),
                                                             static_cast<uint32_t>(plan.registryUndo.size())));
  return kExitSuccess;
}

}  // namespace

void AddUninstallCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<UninstallOptions>();
  CLI::App* uninstall = app.add_subcommand("uninstall", "Take an install back from its uninstall record");
  uninstall->add_option("FOLDER", options->folder, "the install folder, where RORarezoru.dat lies")->required();
  uninstall->add_flag("--dry-run", options->dryRun, "show what would be removed and restored, change nothing");
  uninstall->add_flag("--json", options->json,
                      "with --dry-run: one JSON object: folder, record, registry_view, files, folders, "
                      "kept_folders, missing, registry");
  uninstall->callback([options, &action] { action = [options] { return RunUninstall(*options); }; });
}

}  // namespace Zavro::gmz
