// The installer's text for an error record, as the user reads it after a failed run.
#pragma once

#include <string>

#include "system/error_info.h"

namespace Zavro {

// Pure but for looking up the system's text of a file error's system error code,
// which it appends after ",", as the system gives it.
std::u16string FormatErrorMessage(const ErrorInfo& error);

}  // namespace Zavro
