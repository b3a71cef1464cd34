// The registry apply engine: writes key records into the registry, keeps for every
// applied record an undo record that puts back what it changed, and takes everything
// back when a record fails. Windows only (it works through reg_key.h).
//
// An undo record is an ordinary key record: applied with WriteKey it removes what the
// apply created (a key or value with the delete mark) and puts back what it overwrote or
// deleted (values with their former data, a deleted key with its whole former tree).
// Undo records are made before each change and grow with it, so even a record that
// fails half way is taken back: after a failed Apply the registry is as it was before
// it. Keys above a new key that its creation made are taken back by that rollback too,
// but are left out of the saved undo records, which therefore never delete more than
// the keys the records name.
//
// Nothing is changed that cannot be given back: a value whose former data cannot be
// read (or that the record form cannot hold) is left as it is, a key is deleted only
// when its whole tree could be copied first, and a root or a key right below one
// (HKEY_LOCAL_MACHINE\SOFTWARE, HKEY_USERS\<user>) is never deleted. Sub records must lie
// below their key, and roots must be the root table's (error 1010 otherwise): a record
// is never applied anywhere else.
//
// View modes: 0 the default registry view (what the installer uses), 1 the 64-bit view,
// 2 both, one after the other, each with undo records of its own. Undo records do not
// say which view they came from: the rollback of Apply puts each back in its view, while
// saved undo records applied later go to the view of that apply.
#pragma once

#include <cstdint>
#include <deque>

#include "archive/io/buffer.h"
#include "registry/reg_exception.h"
#include "registry/reg_records.h"

namespace Zavro {

class GMRegApplier {
 public:
  explicit GMRegApplier(uint32_t viewMode = 0) : view_mode_(viewMode) {}
  virtual ~GMRegApplier() = default;

  // Applies the records in order. False after a failure (LastError), once everything
  // applied has been taken back. `tolerant` skips keys that cannot be opened or read
  // instead of failing.
  bool Apply(const std::deque<GMRegKeyRecord>& records, bool tolerant);
  // Takes back what the last Apply did, last change first.
  void Rollback();
  // The undo records of the last Apply in the registry record form, in the order in
  // which they take it back: the last applied first.
  void SaveUndo(GMBuffer<unsigned char>& buffer) const;
  // The same records in apply order.
  std::deque<GMRegKeyRecord> UndoRecords() const;
  const GMRegException& LastError() const { return last_error_; }

  // One record in each view of `viewMode`, its undo records kept for Rollback and
  // SaveUndo. Throws GMRegException when a key cannot be opened or created (write flag
  // set) or read (write flag clear), unless `tolerant`; a key the probe cannot see, or
  // that denies access (error 5) when opened, is skipped.
  void ApplyKey(const GMRegKeyRecord& record, bool tolerant, uint32_t viewMode);
  // Writes a record without recording anything: creates its key (or deletes it with its
  // whole tree when it has the delete mark), writes and deletes its values, then its sub
  // records.
  void WriteKey(const GMRegKeyRecord& record, bool tolerant, uint32_t viewMode);
  // Appends the key's values and, recursively, its sub keys to `record`, from the first
  // view of `viewMode`. False when `tolerant` let something that could not be read be
  // left out.
  bool ReadKeyTree(GMRegKeyRecord& record, bool tolerant, uint32_t viewMode);

 protected:
  // Between the probe of a key and its opening (a place for tests to change the
  // registry in between).
  virtual void OnProbed(const GMRegKeyRecord&) {}

 private:
  struct UndoEntry {
    GMRegKeyRecord record;
    uint32_t view;  // 0 or KEY_WOW64_64KEY
    bool saved;     // false: only for the rollback
  };
  GMRegKeyRecord& NewUndo(uint32_t view, bool saved);
  void ApplyInView(const GMRegKeyRecord& record, bool tolerant, uint32_t view);
  void WriteInView(const GMRegKeyRecord& record, bool tolerant, uint32_t view);
  bool ReadInView(GMRegKeyRecord& record, bool tolerant, uint32_t view);

  std::deque<UndoEntry> undo_;
  GMRegException last_error_;
  uint32_t view_mode_;
};

}  // namespace Zavro
