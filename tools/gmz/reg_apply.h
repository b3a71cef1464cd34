// What gmz changes on this machine: registry data applied through the apply engine (gmz
// reg apply), an install taken back (gmz uninstall). Only Windows has a registry and
// the client's windows; elsewhere HasRegistry is false and both fail.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "archive/io/buffer.h"
#include "installer/uninstall.h"
#include "registry/reg_records.h"

namespace Zavro::gmz {

bool HasRegistry();

// Applies `records` and hands the undo records (the record form) to `keepUndo`. False,
// with `message` naming the key and the error, when a record fails or `keepUndo` does:
// the registry is then as it was before.
bool ApplyRegistry(const std::deque<GMRegKeyRecord>& records, bool tolerant,
                   const std::function<bool(const GMBuffer<unsigned char>&)>& keepUndo, std::u16string& message);

// Closes the client's windows and carries the plan out. False with the error record.
bool UninstallHere(const UninstallPlan& plan, ErrorInfo& error);

}  // namespace Zavro::gmz
