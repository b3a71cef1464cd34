// gmz reg apply: registry data applied to this machine's registry through the apply
// engine. Only Windows has a registry; elsewhere HasRegistry is false.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "archive/io/buffer.h"
#include "registry/reg_records.h"

namespace Zavro::gmz {

bool HasRegistry();

// Applies `records` and hands the undo records (the record form) to `keepUndo`. False,
// with `message` naming the key and the error, when a record fails or `keepUndo` does:
// the registry is then as it was before.
bool ApplyRegistry(const std::deque<GMRegKeyRecord>& records, bool tolerant,
                   const std::function<bool(const GMBuffer<unsigned char>&)>& keepUndo, std::u16string& message);

}  // namespace Zavro::gmz
