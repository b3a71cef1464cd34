// The uninstall record reader on arbitrary bytes. A version-2 record that reads writes
// back as the bytes it came from; any record that reads writes bytes that read back to
// the same record.
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
  if (record.version == 2 && written != std::vector<unsigned char>(data, data + size)) std::abort();
  if (again.paths != record.paths || again.tasks != record.tasks || again.metadata != record.metadata ||
      again.registryUndo != record.registryUndo || again.registryText != record.registryText) {
    std::abort();
  }
  return 0;
}
