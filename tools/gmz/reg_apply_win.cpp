#include "tools/gmz/reg_apply.h"

#include <exception>

#include "installer/setup_entry.h"
#include "registry/reg_applier.h"
#include "system/format.h"
#include "system/system_error.h"

namespace Zavro::gmz {

bool HasRegistry() { return true; }

bool ApplyRegistry(const std::deque<GMRegKeyRecord>& records, bool tolerant,
                   const std::function<bool(const GMBuffer<unsigned char>&)>& keepUndo, std::u16string& message) {
  GMRegApplier applier(0);
  if (!applier.Apply(records, tolerant)) {
    const GMRegException& error = applier.LastError();
    if (error.Code() == 0) {
      message = u"the registry data could not be applied (out of memory); everything applied was taken back";
    } else {
      message = FormatString(u"cannot %s [%s]: %s (error %u); everything applied was taken back",
                             error.WriteFlag() ? u"open or create" : u"read", error.Key(),
                             SystemErrorMessage(error.Code()), error.Code());
    }
    return false;
  }
  GMBuffer<unsigned char> undo;
  bool kept = false;
  try {
    applier.SaveUndo(undo);
    kept = keepUndo(undo);
  } catch (const std::exception&) {
    kept = false;
  }
  if (!kept) {
    applier.Rollback();
    message = u"the undo records were not saved; everything applied was taken back";
    return false;
  }
  return true;
}

bool UninstallHere(const UninstallPlan& plan, ErrorInfo& error) {
  CloseClientWindows();
  return CarryOutUninstall(plan, error);
}

}  // namespace Zavro::gmz
