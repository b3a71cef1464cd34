// How gmz shows registry key records, shared by the commands that show them.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "registry/reg_records.h"

namespace Zavro::gmz {

// UTF-8 for JSON, keeping NUL units; a lone surrogate becomes U+FFFD.
std::string RegJsonText(const std::u16string& text);
// A key as `gmz reg parse --json` shows it: root, path, delete mark, values, sub keys.
nlohmann::ordered_json RegKeyJson(const GMRegKeyRecord& key);
// A key, its values and its sub keys for a person, on standard output.
void PrintRegKey(const GMRegKeyRecord& key);

}  // namespace Zavro::gmz
