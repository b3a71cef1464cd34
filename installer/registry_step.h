// The registry step of a run (an install, an uninstall): key records applied in one
// registry view mode, through the apply engine, as one change of the run's journal.
// Windows only does it (registry_step_win.cpp); elsewhere (registry_step_posix.cpp) any
// record fails with error 50, and the system counts as 32-bit.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "installer/install_journal.h"
#include "registry/reg_records.h"
#include "system/error_info.h"

namespace Zavro {

// Applies `records` in `viewMode` (the apply engine's: 0 the program's own view, 1 the
// 64-bit view, 2 both, 3 the 32-bit view). On success the journal can take the change
// back and `undo` (when given) holds the undo records in the record form. False after a
// failure, everything taken back, with `error` the registry-write or -read record of
// what failed (its key, the system error).
// `strict` fails on what an install goes past (a key that denies access, one value that
// cannot be written): an uninstall's undo records must apply whole.
bool ApplyRegistryStep(const std::deque<GMRegKeyRecord>& records, uint32_t viewMode, bool tolerant, bool strict,
                       InstallJournal& journal, std::vector<unsigned char>* undo, ErrorInfo& error);

// Whether the system is 64-bit, whatever the program's own bitness.
bool SystemIs64Bit();
// The registry view a view mode writes for this program: "32", "64" or "32+64".
const char16_t* ViewModeName(uint32_t viewMode);

}  // namespace Zavro
