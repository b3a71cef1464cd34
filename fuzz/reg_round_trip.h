// Round-trip checks of key records for the registry fuzz targets. Values
// compare by their effect: name and delete mark, and for a value that is written also
// its type and registry data (GetData), whichever field holds it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/io/buffer.h"
#include "registry/reg_records.h"
#include "registry/reg_text_writer.h"

namespace Zavro::test {

inline bool SameValue(const GMRegValueRecord& a, const GMRegValueRecord& b) {
  if (a.name != b.name || a.deleteMark != b.deleteMark) return false;
  return a.deleteMark || (a.type == b.type && a.GetData() == b.GetData());
}

inline bool SameKey(const GMRegKeyRecord& a, const GMRegKeyRecord& b, std::string* why) {
  auto differ = [why](const char* what) {
    if (why != nullptr) *why = what;
    return false;
  };
  if (a.root != b.root || a.path != b.path || a.deleteMark != b.deleteMark) {
    return differ("key name");
  }
  if (a.values.size() != b.values.size()) return differ("value count");
  for (size_t i = 0; i < a.values.size(); ++i) {
    if (!SameValue(a.values[i], b.values[i])) return differ("value");
  }
  if (a.subKeys.size() != b.subKeys.size()) return differ("sub key count");
  for (size_t i = 0; i < a.subKeys.size(); ++i) {
    if (!SameKey(a.subKeys[i], b.subKeys[i], why)) return false;
  }
  return true;
}

// Exact: every key, value and sub key in order. `why`, when given, names the first
// difference.
inline bool SameRecords(const std::deque<GMRegKeyRecord>& a, const std::deque<GMRegKeyRecord>& b,
                        std::string* why = nullptr) {
  if (a.size() != b.size()) {
    if (why != nullptr) *why = "key count";
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (!SameKey(a[i], b[i], why)) return false;
  }
  return true;
}

inline void AppendAsText(const GMRegKeyRecord& key, std::deque<GMRegKeyRecord>& out) {
  GMRegKeyRecord flat;
  flat.root = key.root;
  flat.path = key.path;
  flat.deleteMark = key.deleteMark;
  if (!key.deleteMark) {
    for (const GMRegValueRecord& value : key.values) {
      GMRegValueRecord kept;
      kept.name = value.name;
      kept.deleteMark = value.deleteMark;
      if (!value.deleteMark) {
        kept = value;
        std::vector<std::u16string> strings;
        for (const std::u16string& s : value.strings) {
          if (!s.empty()) strings.push_back(s);
        }
        kept.strings = strings;
      }
      flat.values.push_back(kept);
    }
  }
  out.push_back(flat);
  if (key.deleteMark) return;
  for (const GMRegKeyRecord& sub : key.subKeys) AppendAsText(sub, out);
}

// The records as registry text carries them: each sub key becomes a key of its own
// after its parent (none below a key to be deleted), a key to be deleted keeps no
// values, and a REG_MULTI_SZ keeps no empty strings.
inline std::deque<GMRegKeyRecord> AsText(const std::deque<GMRegKeyRecord>& keys) {
  std::deque<GMRegKeyRecord> out;
  for (const GMRegKeyRecord& key : keys) AppendAsText(key, out);
  return out;
}

// Registry text of `keys` into `text`; false when the writer refuses them.
inline bool WriteText(const std::deque<GMRegKeyRecord>& keys, GMBuffer<unsigned char>& text) {
  try {
    GMRegTextWriter writer(text);
    for (const GMRegKeyRecord& key : keys) writer.WriteKeyText(key);
  } catch (const std::invalid_argument&) {
    return false;
  }
  return true;
}

// For fuzz targets: a broken invariant prints what broke and aborts.
inline void AbortUnless(bool condition, const char* what, const std::string& why = std::string()) {
  if (condition) return;
  std::fprintf(stderr, "%s: %s\n", what, why.c_str());
  std::abort();
}

}  // namespace Zavro::test
