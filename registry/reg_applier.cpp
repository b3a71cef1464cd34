#include "registry/reg_applier.h"

#include <new>
#include <set>
#include <vector>

#include "registry/reg_key.h"
#include "registry/reg_record_form.h"
#include "system/string_utils.h"
#include "system/format.h"
#include "system/system_error.h"

namespace Zavro {

namespace {

constexpr uint32_t kErrorBadKey = 1010;

// The view flags of a view mode: the program's own view, the 64-bit view, both views
// (the 32-bit one first) or the 32-bit view, whatever the program's own.
std::vector<uint32_t> Views(uint32_t viewMode) {
  switch (viewMode) {
    case 1:
      return {kKeyWow64_64Key};
    case 2:
      return {kKeyWow64_32Key, kKeyWow64_64Key};
    case 3:
      return {kKeyWow64_32Key};
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

// A sub record lies below its key, or its undo would not be in the key's.
void CheckBelow(const GMRegKeyRecord& parent, const GMRegKeyRecord& sub) {
  const std::u16string prefix = parent.path.empty() ? std::u16string() : parent.path + u"\\";
  if (sub.root != parent.root || sub.path.size() <= prefix.size() ||
      CompareNoCase(sub.path.substr(0, prefix.size()), prefix) != 0) {
    throw GMRegException(kErrorBadKey, true, KeyText(sub));
  }
}

// The record and every sub record below it, checked before anything is written.
void CheckTree(const GMRegKeyRecord& record) {
  CheckRoot(record);
  for (const GMRegKeyRecord& sub : record.subKeys) {
    CheckBelow(record, sub);
    CheckTree(sub);
  }
}

std::vector<std::u16string> Components(const std::u16string& path) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool IsSystemKey(uint32_t root, const std::u16string& path) {
  const std::vector<std::u16string> parts = Components(path);
  if (parts.empty()) return true;
  if (parts.size() > 1) return false;
  // Every key right below these roots is a hive.
  if (root == kHKeyLocalMachine || root == kHKeyUsers) return true;
  static const char16_t* const kSystemKeys[] = {
      u"AppEvents", u"Console", u"Control Panel", u"Environment", u"EUDC", u"Identities", u"Keyboard Layout",
      u"Network", u"Printers", u"Software", u"System", u"Volatile Environment"};
  for (const char16_t* name : kSystemKeys) {
    if (CompareNoCase(parts[0], name) == 0) return true;
  }
  return false;
}

// The first key of `path`, from the root down, that is not there: creating `path`
// creates it and everything below it.
std::u16string FirstMissingKey(uint32_t root, const std::u16string& path, uint32_t view) {
  for (size_t end = path.find(u'\\'); end != std::u16string::npos; end = path.find(u'\\', end + 1)) {
    if (end == 0 || path[end - 1] == u'\\') continue;
    const std::u16string prefix = path.substr(0, end);
    if (ProbeKey(root, prefix, view) == kErrorFileNotFound) return prefix;
  }
  return path;
}

// The path of an open key as the registry spells it: the last components of its kernel
// name, as many as `path` has.
std::u16string StoredPath(RegKey key, const std::u16string& path) {
  const std::vector<std::u16string> wanted = Components(path);
  const std::vector<std::u16string> kernel = Components(KeyNameFromHandle(key));
  if (wanted.empty() || kernel.size() < wanted.size()) return path;
  std::u16string stored;
  for (size_t i = kernel.size() - wanted.size(); i < kernel.size(); ++i) {
    if (CompareNoCase(kernel[i], wanted[i + wanted.size() - kernel.size()]) != 0) return path;
    stored += (stored.empty() ? u"" : u"\\") + kernel[i];
  }
  return stored;
}

// A name as the registry compares it, without regard to case.
std::u16string Folded(const std::u16string& name) {
  std::u16string folded = name;
  ToLowerInPlace(folded);
  return folded;
}

}  // namespace

bool GMRegApplier::Apply(const std::deque<GMRegKeyRecord>& records, bool tolerant) {
  undo_.clear();
  try {
    for (const GMRegKeyRecord& record : records) ApplyKey(record, tolerant, view_mode_);
    return true;
  } catch (const GMRegException& e) {
    last_error_ = e;
  } catch (const std::bad_alloc&) {
    last_error_ = GMRegException(kErrorNotEnoughMemory, true, current_key_);
  } catch (...) {
    Rollback();
    throw;
  }
  Rollback();
  return false;
}

void GMRegApplier::Rollback() {
  // Last change first: a value that two records changed gets its first state back, and
  // a key is deleted after what was written into it.
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
    try {
      WriteInView(it->record, false, it->view, false);
    } catch (...) {
      // Whatever cannot be taken back stays; the rest is still taken back.
    }
  }
}

void GMRegApplier::SaveUndo(GMBuffer<unsigned char>& buffer) const {
  std::deque<GMRegKeyRecord> records;
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
    if (it->saved) records.push_back(it->record);
  }
  WriteRecords(records, buffer);
}

std::deque<GMRegKeyRecord> GMRegApplier::UndoRecords() const {
  std::deque<GMRegKeyRecord> records;
  for (const UndoEntry& entry : undo_) {
    if (entry.saved) records.push_back(entry.record);
  }
  return records;
}

GMRegKeyRecord& GMRegApplier::NewUndo(uint32_t view, bool saved) {
  // A deque keeps references to its elements as it grows.
  undo_.push_back(UndoEntry{GMRegKeyRecord(), view, saved});
  return undo_.back().record;
}

void GMRegApplier::ApplyKey(const GMRegKeyRecord& record, bool tolerant, uint32_t viewMode) {
  CheckTree(record);
  for (uint32_t view : Views(viewMode)) ApplyInView(record, tolerant, view);
}

void GMRegApplier::WriteKey(const GMRegKeyRecord& record, bool tolerant, uint32_t viewMode) {
  CheckTree(record);
  for (uint32_t view : Views(viewMode)) WriteInView(record, tolerant, view, strict_);
}

bool GMRegApplier::ReadKeyTree(GMRegKeyRecord& record, bool tolerant, uint32_t viewMode) {
  return ReadInView(record, tolerant, Views(viewMode).front());
}

void GMRegApplier::ApplyInView(const GMRegKeyRecord& record, bool tolerant, uint32_t view) {
  current_key_ = KeyText(record);
  if (record.deleteMark && IsSystemKey(record.root, record.path)) {
    if (tolerant) return;
    throw GMRegException(kErrorAccessDenied, true, current_key_);
  }
  const uint32_t probe = ProbeKey(record.root, record.path, view);
  if (probe != kErrorSuccess && probe != kErrorFileNotFound) {
    if (strict_) throw GMRegException(probe, false, current_key_);
    return;
  }
  OnProbed(record);

  if (record.deleteMark) {
    if (probe != kErrorSuccess) return;
    GMRegKeyRecord copy;
    copy.root = record.root;
    try {
      GMRegKeyHandle key;
      if (key.OpenKey(RootKey(record.root), record.path, kKeyRead | view, false)) {
        copy.path = StoredPath(key.Key(), record.path);
      } else {
        copy.path = record.path;
      }
      // What the copy would miss would be lost for good: then the key stays.
      if (!ReadInView(copy, tolerant && !strict_, view)) return;
    } catch (const GMRegException& e) {
      // Gone meanwhile: deleted all the same.
      if (e.Code() == kErrorFileNotFound && ProbeKey(record.root, record.path, view) == kErrorFileNotFound) return;
      throw;
    }
    NewUndo(view, true) = std::move(copy);
    uint32_t error = 0;
    if (!DeleteKeyTree(record.root, record.path, view, error) && strict_) {
      throw GMRegException(error, true, current_key_);
    }
    return;
  }

  if (probe == kErrorFileNotFound) {
    // Marked before anything is written: a creation that fails half way is taken back
    // too, with the keys above that it made.
    const std::u16string first = FirstMissingKey(record.root, record.path, view);
    if (first != record.path) {
      GMRegKeyRecord& above = NewUndo(view, false);
      above.root = record.root;
      above.path = first;
      above.deleteMark = true;
    }
    GMRegKeyRecord& undo = NewUndo(view, true);
    undo.root = record.root;
    undo.path = record.path;
    undo.deleteMark = true;
    WriteInView(record, tolerant, view, strict_);
    return;
  }

  GMRegKeyHandle key;
  if (!key.OpenKey(RootKey(record.root), record.path, kKeyReadWrite | view, false)) {
    if ((key.LastError() == kErrorAccessDenied && !strict_) || tolerant) return;
    throw GMRegException(key.LastError(), true, KeyText(record));
  }
  std::vector<std::u16string> subKeyNames;
  std::vector<std::u16string> valueNames;
  if (!key.EnumKey(subKeyNames, valueNames) && !tolerant) {
    throw GMRegException(key.LastError(), false, KeyText(record));
  }
  GMRegKeyRecord& undo = NewUndo(view, true);
  undo.root = record.root;
  undo.path = record.path;
  std::set<std::u16string> backedUp;
  std::set<std::u16string> untouchable;
  for (const GMRegValueRecord& value : record.values) {
    const std::u16string folded = Folded(value.name);
    // The first state of each value, read before it changes: a value named twice keeps
    // its first state.
    if (backedUp.insert(folded).second) {
      GMRegValueRecord backup;
      const bool read = key.QueryValue(value.name, backup);
      if (read && RecordFormHolds(backup)) {
        // Put back under the name as the registry spells it.
        for (const std::u16string& stored : valueNames) {
          if (Folded(stored) == folded) backup.name = stored;
        }
      } else if (!read && key.LastError() == kErrorFileNotFound) {
        backup = GMRegValueRecord();
        backup.name = value.name;
        backup.deleteMark = true;
      } else {
        // A value that cannot be given back is left as it is.
        if (strict_) throw GMRegException(key.LastError(), false, current_key_);
        untouchable.insert(folded);
        continue;
      }
      undo.values.push_back(std::move(backup));
    }
    if (untouchable.count(folded) != 0) continue;
    // A single value that cannot be written or deleted does not stop the apply, unless
    // strict.
    const bool written = value.deleteMark ? key.DeleteValue(value.name) : key.SetValue(value.name, value);
    if (!written && strict_) throw GMRegException(key.LastError(), true, current_key_);
  }
  key.Close();
  // Each sub record with undo records of its own, after its key's.
  for (const GMRegKeyRecord& sub : record.subKeys) ApplyInView(sub, tolerant, view);
}

void GMRegApplier::WriteInView(const GMRegKeyRecord& record, bool tolerant, uint32_t view, bool strict) {
  if (record.deleteMark) {
    // The key goes with its values and its whole tree (a root itself never does).
    uint32_t error = 0;
    if (!DeleteKeyTree(record.root, record.path, view, error) && strict) {
      throw GMRegException(error, true, KeyText(record));
    }
    return;
  }
  GMRegKeyHandle key;
  if (!key.OpenKey(RootKey(record.root), record.path, kKeyReadWrite | view, true)) {
    if ((key.LastError() == kErrorAccessDenied && !strict) || tolerant) return;
    throw GMRegException(key.LastError(), true, KeyText(record));
  }
  for (const GMRegValueRecord& value : record.values) {
    const bool written = value.deleteMark ? key.DeleteValue(value.name) : key.SetValue(value.name, value);
    if (!written && strict) throw GMRegException(key.LastError(), true, KeyText(record));
  }
  key.Close();
  for (const GMRegKeyRecord& sub : record.subKeys) WriteInView(sub, tolerant, view, strict);
}

bool GMRegApplier::ReadInView(GMRegKeyRecord& record, bool tolerant, uint32_t view) {
  CheckRoot(record);
  GMRegKeyHandle key;
  std::vector<std::u16string> subKeyNames;
  std::vector<std::u16string> valueNames;
  if (!key.OpenKey(RootKey(record.root), record.path, kKeyRead | view, false) ||
      !key.EnumKey(subKeyNames, valueNames)) {
    if (tolerant) return false;
    throw GMRegException(key.LastError(), false, KeyText(record));
  }
  bool complete = true;
  for (const std::u16string& name : subKeyNames) {
    GMRegKeyRecord child;
    child.root = record.root;
    child.path = record.path.empty() || record.path.back() == u'\\' ? record.path + name
                                                                      : record.path + u"\\" + name;
    complete = ReadInView(child, tolerant, view) && complete;
    record.subKeys.push_back(std::move(child));
  }
  for (const std::u16string& name : valueNames) {
    GMRegValueRecord value;
    const bool read = key.QueryValue(name, value);
    if (read && RecordFormHolds(value)) {
      record.values.push_back(std::move(value));
      continue;
    }
    // Unreadable, or of a type the record form cannot hold.
    if (!tolerant) throw GMRegException(read ? kErrorInvalidData : key.LastError(), false, KeyText(record));
    complete = false;
  }
  return complete;
}

}  // namespace Zavro
