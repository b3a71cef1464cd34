// gmz list: the table of contents of an archive, in pre-order.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cinttypes>
#include <memory>

#include "archive/gmz_format.h"
#include "archive/unpacker.h"
#include "system/encoding.h"
#include "system/system_error.h"
#include "tools/gmz/commands.h"
#include "tools/gmz/console.h"
#include "tools/gmz/tool_support.h"

namespace Zavro::gmz {

namespace {

struct ListOptions {
  std::string archive;
  bool volumes = false;
  bool json = false;
};

const char* TypeName(const GMTocNode& entry) {
  switch (entry.type) {
    case kTocDirectory: return "directory";
    case kTocFile: return "file";
    case kTocMemory: return "memory";
    default: return "inline";
  }
}

template <typename Visit>
void PreOrder(const GMTocNode& root, Visit visit) {
  std::vector<const GMTocNode*> pending;
  for (auto it = root.children.rbegin(); it != root.children.rend(); ++it) pending.push_back(it->get());
  while (!pending.empty()) {
    const GMTocNode* node = pending.back();
    pending.pop_back();
    visit(*node);
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) pending.push_back(it->get());
  }
}

int RunList(const ListOptions& o) {
  GMUnpacker reader(PathFromArgument(o.archive));
  if (!reader.Open(o.volumes)) {
    const std::u16string message = reader.GetLastErrorMessage();
    return Fail(message.empty() ? "cannot open " + o.archive : PathForDisplay(message));
  }
  const GMTocNode& root = reader.Root();
  // The last member's size in the table is the whole block's: each member shows its own.
  const SolidBlock block = FindSolidBlock(root);
  auto ownSize = [&](const GMTocNode& e) { return IsSolidMember(e) ? block.MemberSize(e) : e.size; };

  if (o.json) {
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    PreOrder(root, [&](const GMTocNode& e) {
      nlohmann::ordered_json item;
      item["path"] = ToUtf8(EntryPath(e));
      item["type"] = TypeName(e);
      if (e.IsInline()) {
        item["data"] = Hex(e.buffer.Data(), e.buffer.Length());
      } else {
        item["attributes"] = e.attributes;
        item["created"] = e.creationTime.value;
        item["accessed"] = e.lastAccessTime.value;
        item["modified"] = e.lastWriteTime.value;
        item["size"] = e.size;
        if (IsSolidMember(e)) item["member_size"] = block.MemberSize(e);
        item["method"] = e.method;
        item["offset"] = e.dataOffset;
        item["compressed"] = e.compressedSize;
      }
      entries.push_back(std::move(item));
    });
    nlohmann::ordered_json out;
    out["version"] = reader.Version();
    out["toc_size"] = reader.TocSize();
    out["checksum"] = reader.HasChecksum();
    if (block.last != nullptr) {
      out["solid_block"] = {{"size", block.Size()},
                            {"compressed", block.last->compressedSize},
                            {"offset", block.last->dataOffset},
                            {"members", block.members}};
    }
    out["entries"] = std::move(entries);
    std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return kExitSuccess;
  }

  PreOrder(root, [&](const GMTocNode& e) {
    const char type = e.IsDirectory() ? 'd' : e.IsFile() ? '-' : e.IsMemory() ? 'm' : 'i';
    const uint64_t size = e.IsInline() ? e.buffer.Length() : ownSize(e);
    std::string path = PathForDisplay(EntryPath(e));
    if (e.IsDirectory()) path += "/";
    std::printf("%c %08" PRIx32 " %12" PRIu64 " %-5s %12" PRIu64 " %s %s\n", type, e.attributes, size,
                e.IsDirectory() || e.IsInline() ? "" : MethodName(e.method),
                IsSolidMember(e) ? 0 : e.compressedSize,  // the block's is on a line of its own
                FormatFileTime(e.lastWriteTime.value).c_str(), path.c_str());
  });
  if (block.last != nullptr) {
    std::printf("solid block: %" PRIu64 " bytes in %zu members, %" PRIu64 " compressed at offset %" PRIu64 "\n",
                block.Size(), block.members, block.last->compressedSize, block.last->dataOffset);
  }
  std::printf("checksum: %s\n", reader.HasChecksum() ? "CRC-32 (gmz test checks it)"
                                                       : "none (made before packages were checked)");
  return kExitSuccess;
}

}  // namespace

void AddListCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<ListOptions>();
  CLI::App* list = app.add_subcommand("list", "List the entries of an archive");
  list->add_option("ARCHIVE", options->archive, "The archive")->required();
  list->add_flag("--volumes", options->volumes, "Read ARCHIVE.part0, ARCHIVE.part1, ...");
  list->add_flag("--json", options->json,
                 "One JSON object with the version, table size, whether a checksum is there, and the entries");
  list->callback([options, &action] { action = [options] { return RunList(*options); }; });
}

}  // namespace Zavro::gmz
