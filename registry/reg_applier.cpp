#include "registry/reg_applier.h"

#include <vector>

#include "registry/reg_key.h"
#include "registry/reg_record_form.h"
#include "system/string_utils.h"
#include "system/system_error.h"

namespace Zavro {

namespace {

constexpr uint32_t kErrorBadKey = 1010;

// The view flags of a view mode's passes: the default view, the 64-bit view, or both.
std::vector<uint32_t> Views(uint32_t viewMode) {
  switch (viewMode) {
    case 1:
      return {kKeyWow64_64Key};
    case 2:
      return {0, kKeyWow64_64Key};
    default:
      return {0};
  }
}

std::u16string KeyText(const GMRegKeyRecord& record) {
  if (RegRootNameOf(record.root) != nullptr) return record.FullKeyName(false);
  return FormatString(u"0x%08X\\%s", record.root, record.path);
}

// Only the roots of the table are written to: any other value would be taken for a key
// it does not name.
void CheckRoot(const GMRegKeyRecord& record) {
  if (RegRootNameOf(record.root) == nullptr) throw GMRegException(kErrorBadKey, true, KeyText(record));
}

// Value names are compared as the registry compares them, without regard to case.
bool HasValue(const GMRegKeyRecord& record, const std::u16string& name) {
  for (const GMRegValueRecord& value : record.values) {
    if (CompareNoCase(value.name, name) == 0) return true;
  }
  return false;
}

// The first key of `path`, from the root down, that is not there: creating `path`
// creates it and everything below it, so deleting it takes the creation back whole.
std::u16string FirstMissingKey(uint32_t root, const std::u16string& path) {
  for (size_t end = path.find(u'\\'); end != std::u16string::npos; end = path.find(u'\\', end + 1)) {
    const std::u16string prefix = path.substr(0, end);
    if (prefix.empty() || prefix.back() == u'\\') continue;
    const uint32_t probe = ProbeKey(root, prefix);
    if (probe == kErrorFileNotFound) return prefix;
    if (probe != kErrorSuccess) break;
  }
  return path;
}

}  // namespace

bool GMRegApplier::Apply(const std::deque<GMRegKeyRecord>& records, bool tolerant) {
  undo_.clear();
  try {
    for (const GMRegKeyRecord& record : records) {
      // The undo record is in the list before anything changes, and grows with every
      // change: a record that fails half way is taken back too.
      undo_.emplace_back();
      ApplyKey(record, tolerant, view_mode_, undo_.back());
    }
    return true;
  } catch (const GMRegException& e) {
    last_error_ = e;
  } catch (...) {
    // Anything else (no memory) stops the apply alike; the last error stays as it was.
  }
  Rollback();
  return false;
}

void GMRegApplier::Rollback() {
  // Last applied first: a value that two records changed gets its first state back.
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
    try {
      WriteKey(*it, false, view_mode_);
    } catch (...) {
      // Whatever cannot be taken back stays; the rest is still taken back.
    }
  }
}

void GMRegApplier::SaveUndo(GMBuffer<unsigned char>& buffer) const {
  WriteRecords(std::deque<GMRegKeyRecord>(undo_.rbegin(), undo_.rend()), buffer);
}

void GMRegApplier::ApplyKey(const GMRegKeyRecord& record, bool tolerant, uint32_t viewMode,
                            GMRegKeyRecord& undo) {
  CheckRoot(record);
  // The empty record: root HKEY_CURRENT_USER itself, nothing to write.
  undo = GMRegKeyRecord();
  const uint32_t probe = ProbeKey(record.root, record.path);
  if (probe != kErrorSuccess && probe != kErrorFileNotFound) return;
  OnProbed(record);
  const bool exists = probe == kErrorSuccess;
  const std::vector<uint32_t> views = Views(viewMode);

  if (record.deleteMark) {
    // A key that is not there needs no taking back; a root is never deleted.
    if (!exists || record.path.find_first_not_of(u'\\') == std::u16string::npos) return;
    undo.root = record.root;
    undo.path = record.path;
    ReadKeyTree(undo, tolerant, viewMode);
    for (uint32_t view : views) {
      uint32_t error = 0;
      DeleteKeyTree(record.root, record.path, view, error);
    }
    return;
  }
  if (!exists) {
    undo.root = record.root;
    // Marked before anything is written: a creation that fails half way is taken back
    // too.
    undo.path = FirstMissingKey(record.root, record.path);
    undo.deleteMark = true;
    WriteKey(record, tolerant, viewMode);
    return;
  }

  for (size_t pass = 0; pass < views.size(); ++pass) {
    GMRegKeyHandle key;
    if (!key.OpenKey(RootKey(record.root), record.path, kKeyReadWrite | views[pass], false)) {
      // Skipped; what an earlier pass changed stays recorded.
      if (key.LastError() == kErrorAccessDenied || tolerant) return;
      throw GMRegException(key.LastError(), true, KeyText(record));
    }
    if (pass == 0) {
      // Only now is there anything to take back.
      undo.root = record.root;
      undo.path = record.path;
      // Sub keys are applied once, in the record's view mode.
      for (const GMRegKeyRecord& sub : record.subKeys) {
        undo.subKeys.emplace_back();
        ApplyKey(sub, tolerant || viewMode != 0, viewMode, undo.subKeys.back());
      }
    }
    for (const GMRegValueRecord& value : record.values) {
      // The first state of each value, read before it changes: once per record, so a
      // value named twice (or seen again in the second view) keeps its first state.
      if (!HasValue(undo, value.name)) {
        GMRegValueRecord backup;
        backup.name = value.name;
        if (!key.QueryValue(value.name, backup)) {
          // A value that cannot be read cannot be given back: it is left as it is.
          if (key.LastError() != kErrorFileNotFound) continue;
          backup = GMRegValueRecord();
          backup.name = value.name;
          backup.deleteMark = true;
        }
        undo.values.push_back(std::move(backup));
      }
      // A single value that cannot be written or deleted does not stop the apply.
      if (value.deleteMark) {
        key.DeleteValue(value.name);
      } else {
        key.SetValue(value.name, value);
      }
    }
  }
}

void GMRegApplier::WriteKey(const GMRegKeyRecord& record, bool tolerant, uint32_t viewMode) {
  CheckRoot(record);
  const std::vector<uint32_t> views = Views(viewMode);
  for (size_t pass = 0; pass < views.size(); ++pass) {
    if (record.deleteMark) {
      // The key goes with its values and its whole tree; never a root itself.
      uint32_t error = 0;
      DeleteKeyTree(record.root, record.path, views[pass], error);
      continue;
    }
    GMRegKeyHandle key;
    if (!key.OpenKey(RootKey(record.root), record.path, kKeyReadWrite | views[pass], true)) {
      if (key.LastError() == kErrorAccessDenied || tolerant) return;
      throw GMRegException(key.LastError(), true, KeyText(record));
    }
    for (const GMRegValueRecord& value : record.values) {
      if (value.deleteMark) {
        key.DeleteValue(value.name);
      } else {
        key.SetValue(value.name, value);
      }
    }
    key.Close();
    if (pass == 0) {
      for (const GMRegKeyRecord& sub : record.subKeys) WriteKey(sub, tolerant, viewMode);
    }
  }
}

void GMRegApplier::ReadKeyTree(GMRegKeyRecord& record, bool tolerant, uint32_t viewMode) {
  CheckRoot(record);
  // One view: both would give each value twice.
  GMRegKeyHandle key;
  std::vector<std::u16string> subKeyNames;
  std::vector<std::u16string> valueNames;
  if (!key.OpenKey(RootKey(record.root), record.path, kKeyRead | Views(viewMode).front(), false) ||
      !key.EnumKey(subKeyNames, valueNames)) {
    if (tolerant) return;
    throw GMRegException(key.LastError(), false, KeyText(record));
  }
  for (const std::u16string& name : subKeyNames) {
    GMRegKeyRecord child;
    child.root = record.root;
    child.path = record.path.empty() || record.path.back() == u'\\' ? record.path + name
                                                                      : record.path + u"\\" + name;
    ReadKeyTree(child, tolerant, viewMode);
    record.subKeys.push_back(std::move(child));
  }
  for (const std::u16string& name : valueNames) {
    GMRegValueRecord value;
    if (key.QueryValue(name, value)) {
      record.values.push_back(std::move(value));
    } else if (!tolerant) {
      // A backup that misses a value would lose it for good.
      throw GMRegException(key.LastError(), false, KeyText(record));
    }
  }
}

}  // namespace Zavro
