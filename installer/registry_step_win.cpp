#include "installer/registry_step.h"

#include <memory>

#include "registry/reg_applier.h"
#include "system/os_version.h"

namespace Zavro {

bool ApplyRegistryStep(const std::deque<GMRegKeyRecord>& records, uint32_t viewMode, bool tolerant, bool strict,
                       InstallJournal& journal, std::vector<unsigned char>* undo, ErrorInfo& error) {
  auto applier = std::make_shared<GMRegApplier>(viewMode);
  applier->SetStrict(strict);
  if (applier->Apply(records, tolerant)) {
    journal.Undoable([applier] { applier->Rollback(); });
    if (undo != nullptr) {
      GMBuffer<unsigned char> saved;
      applier->SaveUndo(saved);
      undo->assign(saved.Data(), saved.Data() + saved.Length());
    }
    return true;
  }
  // The applier took back what it had applied.
  const GMRegException& failure = applier->LastError();
  error = ErrorInfo::Registry(failure.WriteFlag() ? kErrorRegistryWrite : kErrorRegistryRead, failure.Key(),
                              failure.SecondText(), failure.Number(), failure.Code());
  return false;
}

bool SystemIs64Bit() {
  SystemInfo system;
  return DescribeOperatingSystem(system) && system.is64Bit;
}

const char16_t* ViewModeName(uint32_t viewMode) {
  switch (viewMode) {
    case 1: return u"64";
    case 2: return u"32+64";
    case 3: return u"32";
    default: return sizeof(void*) == 8 && SystemIs64Bit() ? u"64" : u"32";
  }
}

}  // namespace Zavro
