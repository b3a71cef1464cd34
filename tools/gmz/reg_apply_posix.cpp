#include "tools/gmz/reg_apply.h"

#include "system/system_error.h"

namespace Zavro::gmz {

bool HasRegistry() { return false; }

bool ApplyRegistry(const std::deque<GMRegKeyRecord>&, bool, const std::function<bool(const GMBuffer<unsigned char>&)>&,
                   std::u16string& message) {
  message = u"this system has no registry";
  return false;
}

bool UninstallHere(const UninstallPlan&, ErrorInfo& error) {
  error = ErrorInfo::File(kErrorFileDelete, u"", kErrorNotSupported);
  return false;
}

}  // namespace Zavro::gmz
