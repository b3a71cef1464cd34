// The serialised task list on arbitrary bytes: no allocation beyond what the bytes
// hold, nothing taken from a list that is cut short, and what reads writes back as the
// bytes it came from.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "installer/task_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Zavro;
  if (size > (1u << 20)) return 0;
  std::vector<std::u16string> lines;
  if (!ParseTaskList(data, size, lines)) {
    if (!lines.empty()) std::abort();
    return 0;
  }
  const std::vector<unsigned char> bytes = SerializeTaskList(lines);
  if (bytes.size() > size || std::memcmp(bytes.data(), data, bytes.size()) != 0) std::abort();
  return 0;
}
