// Uninstall: an install taken back from the uninstall record "RORarezoru.dat" it left in
// its install folder. An uninstall is a run of changes like an install, through the same
// journal: a failure puts back everything it removed.
//
// What it does, in this order: the record's registry undo records are applied (in the
// registry view the install noted, the 32-bit one for a record without the note); every
// file the record lists is moved aside, and the record itself; then the journal is
// committed: what was moved aside is deleted (at the next restart when in use), and
// the folders the record lists are removed, deepest first, once nothing is left in them
// (at the next restart when only what waits for it is). Files the install put there go
// even when changed since; what the user added stays, with the folders that hold it.
// Not taken back: INI entries a task wrote into files that existed before, DeleteFile
// tasks, programs a task ran, and the installer's "SetupName" and per-program numbers.
//
// The record is hostile until checked: it is refused, before anything is touched, when
// it cannot be read whole or lists a path an install could not have written (not the
// install folder or below it, nor below a built-in macro folder; a built-in macro folder
// itself; a "." or ".." component; a name Windows cannot hold). Below a built-in folder
// that is a drive root ("##system_driver##"), a file is taken only in a folder the
// record lists too: "C:\Games\x.dll" with "C:\Games", never "C:\Other\x.dll" alone.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "installer/folder_macros.h"
#include "installer/uninstall_record.h"
#include "registry/reg_records.h"
#include "system/error_info.h"

namespace Zavro {

struct UninstallPlan {
  std::u16string folder;      // the install folder, where the record lies
  std::u16string recordPath;  // the record itself
  // Files to remove, in the record's order: those that exist.
  std::vector<std::u16string> files;
  // Listed files that are not there any more (nothing to do).
  std::vector<std::u16string> missing;
  // Folders the record lists, deepest first: those that will be empty once the files go,
  // and those that keep what the user added.
  std::vector<std::u16string> folders;
  std::vector<std::u16string> kept;
  std::deque<GMRegKeyRecord> registryUndo;
  uint32_t viewMode = 3;  // the apply engine's view mode for the undo records
  std::u16string view;    // "32", "64" or "32+64"
};

// Reads the record in `folder` and works out what an uninstall does. `self`, when not
// empty, is the running uninstaller, removed with the rest when it lies in the install
// folder. False, with the error record (file read error with code 2 for a folder
// without a record, 13 for a damaged one; file delete error with code 123 and the path
// for a path no install could have written), before anything is touched.
bool PlanUninstall(const std::u16string& folder, const std::u16string& self, const FolderMacros& macros,
                   UninstallPlan& plan, ErrorInfo& error);

// Carries the plan out. False, with the error record, when a registry key cannot be
// written or a file cannot be moved: everything removed is then back.
bool CarryOutUninstall(const UninstallPlan& plan, ErrorInfo& error);

}  // namespace Zavro
