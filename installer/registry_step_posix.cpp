#include "installer/registry_step.h"

#include "system/system_error.h"

namespace Zavro {

bool ApplyRegistryStep(const std::deque<GMRegKeyRecord>& records, uint32_t, bool, bool, InstallJournal&,
                       std::vector<unsigned char>*, ErrorInfo& error) {
  if (records.empty()) return true;
  error = ErrorInfo::Registry(kErrorRegistryWrite, records.front().FullKeyName(false), u"", 0, kErrorNotSupported);
  return false;
}

bool SystemIs64Bit() { return false; }

const char16_t* ViewModeName(uint32_t viewMode) {
  switch (viewMode) {
    case 1: return u"64";
    case 2: return u"32+64";
    default: return u"32";
  }
}

}  // namespace Zavro
