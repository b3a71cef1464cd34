// gmz record show: an uninstall record ("RORarezoru.dat") for a person, or as JSON.
#include <CLI/CLI.hpp>

#include <deque>
#include <memory>

#include <nlohmann/json.hpp>

#include "installer/uninstall_record.h"
#include "registry/reg_record_form.h"
#include "system/encoding.h"
#include "system/file_system.h"
#include "system/format.h"
#include "tools/gmz/commands.h"
#include "tools/gmz/console.h"
#include "tools/gmz/reg_display.h"
#include "tools/gmz/tool_support.h"

namespace Zavro::gmz {

namespace {

struct RecordOptions {
  std::string file;
  bool json = false;
};

int RunShow(const RecordOptions& o) {
  UninstallRecord record;
  const std::u16string path = PathFromArgument(o.file);
  if (!IsFile(path)) return Fail("cannot read " + o.file + ": no such file");
  try {
    if (!ReadUninstallRecord(path, record)) {
      return Fail("cannot read " + o.file + ": not an uninstall record, or a damaged one");
    }
  } catch (const std::bad_alloc&) {
    return Fail("cannot read " + o.file + ": not enough memory");
  }
  std::deque<GMRegKeyRecord> keys;
  const bool undoRead = ReadRecords(record.registryUndo.data(), record.registryUndo.size(), keys);
  if (!undoRead) std::fprintf(stderr, "gmz record: the registry undo data is damaged; what reads is shown\n");
  if (o.json) {
    nlohmann::ordered_json out;
    out["version"] = record.version;
    out["paths"] = nlohmann::ordered_json::array();
    for (const std::u16string& path : record.paths) out["paths"].push_back(RegJsonText(path));
    nlohmann::ordered_json undo = nlohmann::ordered_json::array();
    for (const GMRegKeyRecord& key : keys) undo.push_back(RegKeyJson(key));
    out["registry_undo"] = {{"keys", undo}};
    out["tasks"] = nlohmann::ordered_json::array();
    for (const std::u16string& line : record.tasks) out["tasks"].push_back(RegJsonText(line));
    out["registry_text"] = Hex(record.registryText.data(), record.registryText.size());
    out["metadata"] = nlohmann::ordered_json::object();
    for (const auto& [key, value] : record.metadata) out["metadata"][RegJsonText(key)] = RegJsonText(value);
    const std::string text = out.dump(2) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kExitSuccess;
  }
  std::u16string text = FormatString(u"uninstall record, version %u\n\npaths (%u):\n",
                                     static_cast<uint32_t>(record.version), static_cast<uint32_t>(record.paths.size()));
  for (const std::u16string& path : record.paths) text += u"  " + (path.empty() ? u"(the install folder)" : path) + u"\n";
  text += FormatString(u"\nregistry undo (%u keys):\n", static_cast<uint32_t>(keys.size()));
  Print(stdout, text);
  for (const GMRegKeyRecord& key : keys) PrintRegKey(key);
  text = FormatString(u"\ntasks (%u):\n", static_cast<uint32_t>(record.tasks.size()));
  for (const std::u16string& line : record.tasks) text += u"  " + line + u"\n";
  text += FormatString(u"\nregistry text: %u bytes\n\nmetadata (%u):\n",
                       static_cast<uint32_t>(record.registryText.size()), static_cast<uint32_t>(record.metadata.size()));
  for (const auto& [key, value] : record.metadata) text += u"  " + key + u" = " + value + u"\n";
  Print(stdout, text);
  return kExitSuccess;
}

}  // namespace

void AddRecordCommands(CLI::App& app, Action& action) {
  auto options = std::make_shared<RecordOptions>();
  CLI::App* record = app.add_subcommand("record", "Uninstall records (RORarezoru.dat)");
  record->require_subcommand(1);
  CLI::App* show = record->add_subcommand("show", "Show an uninstall record");
  show->add_option("FILE", options->file, "the record")->required();
  show->add_flag("--json", options->json,
                 "one JSON object: version, paths, registry_undo, tasks, registry_text (hex), metadata");
  show->callback([options, &action] { action = [options] { return RunShow(*options); }; });
}

}  // namespace Zavro::gmz
