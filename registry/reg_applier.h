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
// read (or that the record form cannot hold) is left as it is, and a key is deleted only
// when its whole tree could be copied first. Sub records must lie below their key, and
// roots must be the root table's (error 1010 otherwise): a record is never applied
// anywhere else.
//
// The keys the system itself keeps right below its roots are never deleted by a record
// that asks for it: a root itself; every key right below HKEY_LOCAL_MACHINE and
// HKEY_USERS (the hives); below the other roots AppEvents, Console, Control Panel,
// Environment, EUDC, Identities, Keyboard Layout, Network, Printers, Software, System and
// Volatile Environment (names compared without regard to case). Such a record fails the
// apply with error 5 and its key, unless tolerated. Any other key right below a root, a
// vendor's own, is deleted and restored like any other, and the applier's own undo
// records are never refused.
//
// View modes (they matter for HKEY_LOCAL_MACHINE\Software on a 64-bit system, whose
// 32-bit view is its Wow6432Node): 0 the program's own view (the 32-bit one for the
// shipped installer), 1 the 64-bit view, 2 both views, the 32-bit one first, each with
// undo records of its own, 3 the 32-bit view (what an uninstall of another bitness than
// its install needs). The rollback of Apply puts each change back in the view it
// was made in. Saved undo records do not say which view they came from: applied later,
// they go to the view of that apply. So an undo of mode 0 or 1 is exact when applied in
// the same mode as the records; an undo of mode 2 holds both views' records (the 64-bit
// view's first), and applied in one view it puts that view back only where both views
// held the same before.
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
  // Strict: every key that cannot be opened, created, read or deleted and every value
  // that cannot be written or deleted fails the apply (an install skips keys that deny
  // access and goes on past a single value; an uninstall must not).
  void SetStrict(bool strict) { strict_ = strict; }
  virtual ~GMRegApplier() = default;

  // Applies the records in order. False after a failure (LastError: the registry's
  // error, or error 8 when memory ran out, with the key being applied), once everything
  // applied has been taken back. Any other exception is rethrown once everything is
  // taken back. `tolerant` skips keys that cannot be opened or read instead of failing.
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
    uint32_t view;  // 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY
    bool saved;     // false: only for the rollback
  };
  GMRegKeyRecord& NewUndo(uint32_t view, bool saved);
  void ApplyInView(const GMRegKeyRecord& record, bool tolerant, uint32_t view);
  void WriteInView(const GMRegKeyRecord& record, bool tolerant, uint32_t view, bool strict);
  bool ReadInView(GMRegKeyRecord& record, bool tolerant, uint32_t view);

  std::deque<UndoEntry> undo_;
  GMRegException last_error_;
  std::u16string current_key_;
  uint32_t view_mode_;
  bool strict_ = false;
};

}  // namespace Zavro
