// The task file reader on arbitrary bytes: lines come out trimmed and without line
// ends, and survive the serialised form unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "installer/task_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Zavro;
  if (size > Zavro::kMaxTaskFileSize + 1) return 0;
  std::vector<std::u16string> lines;
  if (!ParseTaskFile(data, size, lines)) {
    if (!lines.empty()) std::abort();
    return 0;
  }
  for (const std::u16string& line : lines) {
    if (line.find_first_of(u"\r\n") != std::u16string::npos) std::abort();
    if (!line.empty() && (line.front() == u' ' || line.back() == u' ' || line.front() == u'\t')) std::abort();
  }
  const std::vector<unsigned char> bytes = SerializeTaskList(lines);
  std::vector<std::u16string> again;
  if (!ParseTaskList(bytes.data(), bytes.size(), again) || again != lines) std::abort();
  return 0;
}
