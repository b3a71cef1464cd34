// The uninstall record reader on arbitrary bytes. A record that reads writes back as
// the bytes it came from when they are in the writer's form (version 2, task and
// metadata blocks with their counts, each key once); in any case what is written reads
// back to the same record, which writes the same bytes again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "installer/uninstall_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Zavro;
  if (size > (1u << 20)) return 0;
  UninstallRecord record;
  record.tasks = {u"untouched"};
  if (!ParseUninstallRecord(data, size, record)) {
    if (record.tasks != std::vector<std::u16string>{u"untouched"}) std::abort();
    return 0;
  }
  const std::vector<unsigned char> written = SerializeUninstallRecord(record);
  UninstallRecord again;
  if (!ParseUninstallRecord(written.data(), written.size(), again) || SerializeUninstallRecord(again) != written) {
    std::abort();
  }
  if (again.paths != record.paths || again.tasks != record.tasks || again.metadata != record.metadata ||
      again.registryUndo != record.registryUndo || again.registryText != record.registryText) {
    std::abort();
  }
  return 0;
}
