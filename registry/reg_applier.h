// The registry apply engine: writes key records into the registry, keeps for every
// applied record an undo record that puts back what it changed, and takes everything
// back when a record fails. Windows only (it works through reg_key.h).
//
// An undo record is an ordinary key record: applied with WriteKey it removes what the
// apply created (a key or value with the delete mark) and puts back what it overwrote or
// deleted (values with their former data, a deleted key with its whole former tree).
// Undo records are built as the apply goes, so even a record that fails half way is
// taken back: after a failed Apply the registry is as it was before it, the undo
// records applied from the last to the first. A key the apply creates is taken back
// with the keys above it that its creation made.
//
// View modes: 0 the default registry view (what the installer uses), 1 the 64-bit view,
// 2 both. The record form does not say which view an undo record came from: the undo
// records of mode 1 hold the 64-bit view's former state and are to be applied in mode
// 1 again (the rollback of Apply does so); those of mode 2 hold the default view's former
// state, each value once, and the rollback writes it into both views, which restores
// the 64-bit view exactly only where the two views share their keys (everywhere but the
// redirected parts of HKEY_LOCAL_MACHINE\Software for a 32-bit program).
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
  // instead of failing. A key whose root is not one of the root table's fails with
  // error 1010 (ERROR_BADKEY): it is never applied under another root.
  bool Apply(const std::deque<GMRegKeyRecord>& records, bool tolerant);
  // Takes back what the last Apply did, last record first.
  void Rollback();
  // The undo records of the last Apply in the registry record form, in the order in
  // which they take it back: the last applied first.
  void SaveUndo(GMBuffer<unsigned char>& buffer) const;
  // The same records in apply order.
  const std::deque<GMRegKeyRecord>& UndoRecords() const { return undo_; }
  const GMRegException& LastError() const { return last_error_; }

  // One record, filling `undo` as it goes (a key the record deletes is read whole into
  // it first). Throws GMRegException when a key cannot be opened or created (write flag
  // set) or read (write flag clear), unless `tolerant`; a key the probe cannot see, or
  // that denies access (error 5) when opened, is skipped with an empty undo record.
  void ApplyKey(const GMRegKeyRecord& record, bool tolerant, uint32_t viewMode, GMRegKeyRecord& undo);
  // Writes a record without recording anything: creates its key, deletes it with its
  // whole tree when it has the delete mark, writes and deletes its values, then its sub
  // keys.
  void WriteKey(const GMRegKeyRecord& record, bool tolerant, uint32_t viewMode);
  // Appends the key's values and, recursively, its sub keys to `record`.
  void ReadKeyTree(GMRegKeyRecord& record, bool tolerant, uint32_t viewMode);

 protected:
  // Between the probe of a key and its opening (a place for tests to change the
  // registry in between).
  virtual void OnProbed(const GMRegKeyRecord&) {}

 private:
  std::deque<GMRegKeyRecord> undo_;
  GMRegException last_error_;
  uint32_t view_mode_;
};

}  // namespace Zavro
