// gmz pack: a folder into a GMZ archive.
#include <CLI/CLI.hpp>

#include <memory>

#include "archive/gmz_format.h"
#include "archive/io/file.h"
#include "archive/packer.h"
#include "installer/package_metadata.h"
#include "system/encoding.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/system_error.h"
#include "system/string_utils.h"
#include "tools/gmz/commands.h"
#include "tools/gmz/console.h"
#include "tools/gmz/tool_support.h"

namespace Zavro::gmz {

namespace {

struct PackOptions {
  std::string source;
  std::string output;
  std::string method = "solid";
  int level = 9;
  bool includeFolder = false;
  std::vector<std::string> excludeExtensions;
  std::vector<std::string> excludeNames;
  uint64_t storeBelow = 0;
  uint64_t storeAbove = UINT64_MAX;
  std::vector<std::string> methodRules;
  std::vector<std::string> meta;
  std::vector<std::string> inlines;
  std::vector<std::string> memories;
};

std::u16string Wide(const std::string& utf8) { return utf8.empty() ? u"" : FromCodePage(utf8, kCodePageUtf8); }

// "NAME=VALUE" split at the first '='; false without one or with an empty name.
bool SplitPair(const std::string& text, std::string& name, std::string& value) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  name = text.substr(0, eq);
  value = text.substr(eq + 1);
  return true;
}

int Usage(const std::string& message) {
  std::fprintf(stderr, "gmz pack: %s\n", message.c_str());
  return kExitUsage;
}

std::string Failure(const GMPacker& packer) {
  std::string text = PathForDisplay(packer.LastErrorText());
  const ErrorInfo& error = packer.LastError();
  if (error.Category() == kErrorCategoryFile && error.SystemError() != 0 && error.SystemError() != kErrorInvalidData) {
    text += ": " + ToUtf8(SystemErrorMessage(error.SystemError()));
  }
  return text.empty() ? DescribeError(error) : text;
}

int RunPack(const PackOptions& o) {
  WatchInterrupt();
  uint32_t method = 0;
  if (!ParseMethod(o.method, method)) return Usage("unknown method '" + o.method + "'");
  auto policy = std::make_shared<GMFilePolicy>();
  for (const auto& ext : o.excludeExtensions) policy->ExcludeExtension(Wide(ext));
  for (const auto& name : o.excludeNames) policy->SetNameRule(Wide(name), true);
  if (o.storeBelow != 0 || o.storeAbove != UINT64_MAX) policy->SetSizeRange(o.storeBelow, o.storeAbove);
  for (const auto& rule : o.methodRules) {
    std::string name, list;
    uint32_t ruleMethod = 0;
    if (!SplitPair(rule, name, list) || !ParseMethod(name, ruleMethod) || list.empty()) {
      return Usage("--method-rule takes METHOD=.ext,.ext, not '" + rule + "'");
    }
    size_t start = 0;
    while (start <= list.size()) {
      size_t comma = list.find(',', start);
      if (comma == std::string::npos) comma = list.size();
      std::string ext = list.substr(start, comma - start);
      if (!ext.empty()) policy->AddMethodRule(ruleMethod, Wide(ext));
      start = comma + 1;
    }
  }
  MetadataPairs meta;
  for (const auto& pair : o.meta) {
    std::string key, value;
    if (!SplitPair(pair, key, value)) return Usage("--meta takes KEY=VALUE, not '" + pair + "'");
    meta.emplace_back(Wide(key), Wide(value));
  }

  GMPacker packer;
  ConsoleProgress progress("packing");
  packer.SetDefaultMethod(method);
  packer.SetPolicy(policy);
  packer.SetLevel(o.level);
  packer.SetObserver(&progress);

  std::u16string source, output;
  size_t split = 0;
  if (!FullPath(PathFromArgument(o.source), source, split)) {
    return Fail("cannot use the source path " + o.source + ": " + ToUtf8(SystemErrorMessage(LastSystemError())));
  }
  NormalizePath(source, PathRemoveSlash);
  if (!FullPath(PathFromArgument(o.output), output, split)) {
    return Fail("cannot use the output path " + o.output + ": " + ToUtf8(SystemErrorMessage(LastSystemError())));
  }
  if (!packer.SetSource(source, o.includeFolder)) return Fail(Failure(packer));
  for (const SkippedItem& item : packer.Skipped()) {
    std::fprintf(stderr, "gmz pack: left out %s: %s\n", PathForDisplay(item.name).c_str(),
                 SkipReasonText(item.reason));
  }
  packer.RemoveSource(output);

  if (!meta.empty()) {
    const std::vector<unsigned char> bytes = SerializeMetadata(meta);
    if (!packer.AddInlineEntry(packer.Root(), kMetadataEntryName, bytes.data(), bytes.size())) {
      return Fail("the --meta pairs take " + std::to_string(bytes.size()) + " bytes; an inline entry holds at most " +
                  std::to_string(kMaxInlineSize));
    }
  }
  for (const auto& item : o.inlines) {
    std::string name, file;
    if (!SplitPair(item, name, file)) return Usage("--inline takes NAME=FILE, not '" + item + "'");
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(PathFromArgument(file), bytes, kMaxInlineSize)) {
      if (LastSystemError() == kErrorFileTooLarge) {
        return Fail(file + ": an inline entry holds at most " + std::to_string(kMaxInlineSize) + " bytes");
      }
      return Fail("cannot read " + file + ": " + ToUtf8(SystemErrorMessage(LastSystemError())));
    }
    if (!packer.AddInlineEntry(packer.Root(), Wide(name), bytes.data(), bytes.size())) {
      return Fail("cannot add the inline entry " + name);
    }
  }
  for (const auto& item : o.memories) {
    std::string name, file;
    if (!SplitPair(item, name, file)) return Usage("--memory takes NAME=FILE, not '" + item + "'");
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(PathFromArgument(file), bytes, GMPacker::kMaxMemoryEntrySize)) {
      if (LastSystemError() == kErrorFileTooLarge) {
        return Fail(file + ": a memory entry holds at most " + std::to_string(GMPacker::kMaxMemoryEntrySize) +
                    " bytes");
      }
      return Fail("cannot read " + file + ": " + ToUtf8(SystemErrorMessage(LastSystemError())));
    }
    if (packer.AddMemoryEntry(packer.Root(), Wide(name), bytes.data(), bytes.size(), method) == nullptr) {
      return Fail("cannot add the memory entry " + name);
    }
  }

  const std::vector<GMPacker::NameProblem> problems = packer.FindNameProblems();
  if (!problems.empty()) {
    for (const auto& problem : problems) {
      const std::string path = PathForDisplay(EntryPath(*problem.entry));
      if (problem.sameAs == nullptr) {
        std::fprintf(stderr, "gmz pack: %s: not a valid file name on Windows\n", path.c_str());
      } else {
        std::fprintf(stderr, "gmz pack: %s: differs only in letter case from %s\n", path.c_str(),
                     PathForDisplay(EntryPath(*problem.sameAs)).c_str());
      }
    }
    return Fail("the source would not survive on Windows (" + std::to_string(problems.size()) + " problem" +
                (problems.size() == 1 ? "" : "s") + ")");
  }

  progress.SetTotal(packer.Root().TotalSize());
  if (!packer.PackToFile(output)) {
    if (Interrupted() || progress.IsCancelled()) return Fail("cancelled; nothing was written");
    return Fail(Failure(packer));
  }
  return kExitSuccess;
}

}  // namespace

void AddPackCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<PackOptions>();
  CLI::App* pack = app.add_subcommand("pack", "Pack a folder into a GMZ archive");
  pack->add_option("SOURCE", options->source, "Folder to pack")->required();
  pack->add_option("-o,--output", options->output, "Archive to write")->required();
  pack->add_option("--method", options->method, "Default method: store, zip, lzma or solid")
      ->check(CLI::IsMember({"store", "zip", "lzma", "solid"}))
      ->capture_default_str();
  pack->add_option("--level", options->level, "Compression level")->check(CLI::Range(0, 9))->capture_default_str();
  pack->add_flag("--include-folder", options->includeFolder, "Keep SOURCE itself as the top-level folder");
  pack->add_option("--exclude-ext", options->excludeExtensions, "Leave out files with this extension (tmp or .tmp)");
  pack->add_option("--exclude-name", options->excludeNames, "Leave out files and folders of this name");
  pack->add_option("--store-below", options->storeBelow, "Store files smaller than BYTES");
  pack->add_option("--store-above", options->storeAbove, "Store files larger than BYTES");
  pack->add_option("--method-rule", options->methodRules, "METHOD=.ext,.ext: that method for these extensions");
  pack->add_option("--meta", options->meta, "KEY=VALUE for the package metadata (\"gmmeta\")");
  pack->add_option("--inline", options->inlines, "NAME=FILE: a top-level inline entry (at most 4096 bytes)");
  pack->add_option("--memory", options->memories, "NAME=FILE: a top-level memory entry");
  pack->callback([options, &action] { action = [options] { return RunPack(*options); }; });
}

}  // namespace Zavro::gmz
