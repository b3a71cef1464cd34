// The archive reader on arbitrary bytes, extracting into a scratch folder (memory
// entries into memory). It must not crash, hang, allocate without bound or write
// anything outside the scratch folder.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/io/memory_file.h"
#include "archive/unpacker.h"
#include "system/path_utils.h"
#include "system/string_utils.h"

namespace {

std::u16string ScratchFolder() {
  static const std::u16string folder = [] {
    std::string path = "/tmp/gm-fuzz-" + std::to_string(getpid());
    return std::u16string(path.begin(), path.end());
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Zavro;
  if (size > (1u << 20)) return 0;
  const std::u16string scratch = ScratchFolder();
  DeleteTree(scratch);
  {
    GMUnpacker reader(new CMemoryFile(data, size), true);
    if (reader.Open(false)) {
      reader.Extract(scratch);
      // Whatever the names said, every entry's target lies inside the scratch folder.
      std::vector<const GMTocNode*> pending{&reader.Root()};
      while (!pending.empty()) {
        const GMTocNode* node = pending.back();
        pending.pop_back();
        if (!node->path.empty() && !StartsWith(node->path, scratch + u"\\")) std::abort();
        for (const auto& child : node->children) pending.push_back(child.get());
      }
    }
  }
  DeleteTree(scratch);
  return 0;
}
