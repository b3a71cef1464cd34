#include "registry/reg_exception.h"

namespace Zavro {

const char* GMRegException::what() const noexcept { return "Operate registry failed"; }

}  // namespace Zavro
