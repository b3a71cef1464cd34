// The archive reader on arbitrary bytes, extracting into a scratch folder (memory
// entries into memory). It must not crash, hang or allocate without bound, and what it
// writes must stay inside the scratch folder under names every system can keep:
// - every target the reader worked out, once "." and ".." are resolved, lies below the
//   scratch folder, and each component below it is a valid file name;
// - every name created on disk is a valid file name;
// - nothing appears beside the scratch folder, nor in the current folder (where a path
//   that lost its folder would land).
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/io/memory_file.h"
#include "archive/unpacker.h"
#include "system/path_text.h"
#include "system/file_system.h"

namespace {

namespace fs = std::filesystem;
using Zavro::GMTocNode;

fs::path Parent() {
  static const fs::path parent = [] {
    fs::path path = fs::temp_directory_path() / ("gm-fuzz-" + std::to_string(getpid()));
    fs::create_directories(path);
    return path;
  }();
  return parent;
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// The components of a path once "." and ".." are resolved (never above the top).
std::vector<std::u16string> Components(const std::u16string& path) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of(u"\\/", start);
    if (end == std::u16string::npos) end = path.size();
    const std::u16string part = path.substr(start, end - start);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  return parts;
}

void CheckTargets(const GMTocNode& root, const std::u16string& scratch) {
  const std::vector<std::u16string> top = Components(scratch);
  std::vector<const GMTocNode*> pending{&root};
  while (!pending.empty()) {
    const GMTocNode* node = pending.back();
    pending.pop_back();
    for (const auto& child : node->children) pending.push_back(child.get());
    if (node->path.empty()) continue;
    const std::vector<std::u16string> parts = Components(node->path);
    if (parts.size() <= top.size()) std::abort();
    for (size_t i = 0; i < parts.size(); ++i) {
      if (i < top.size() ? parts[i] != top[i] : !Zavro::IsValidFileName(parts[i])) std::abort();
    }
  }
}

std::vector<fs::path> Listing(const fs::path& folder) {
  std::vector<fs::path> names;
  for (const auto& item : fs::directory_iterator(folder)) names.push_back(item.path());
  std::sort(names.begin(), names.end());
  return names;
}

void CheckDisk(const fs::path& parent, const fs::path& scratch, const std::vector<fs::path>& current) {
  const std::vector<fs::path> beside = Listing(parent);
  if (!beside.empty() && beside != std::vector<fs::path>{scratch}) std::abort();
  if (Listing(fs::current_path()) != current) std::abort();
  if (!fs::exists(scratch)) return;
  for (const auto& item : fs::recursive_directory_iterator(scratch)) {
    if (!Zavro::IsValidFileName(Wide(item.path().filename().string()))) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Zavro;
  if (size > (1u << 20)) return 0;
  static const std::vector<fs::path> current = Listing(fs::current_path());
  const fs::path parent = Parent();
  const fs::path scratch = parent / "out";
  const std::u16string target = Wide(scratch.string());
  DeleteTree(target);
  {
    GMUnpacker reader(new CMemoryFile(data, size), true);
    reader.SetAbsoluteNames(false);
    if (reader.Open(false)) {
      reader.Extract(target);
      CheckTargets(reader.Root(), target);
    }
  }
  CheckDisk(parent, scratch, current);
  DeleteTree(target);
  return 0;
}
