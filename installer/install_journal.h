// The journal of a run that changes the machine (an install, an uninstall): every change,
// recorded before it is made, in the order it is made. Rollback takes the changes back,
// newest first, and leaves the machine as the run found it; Commit makes them lasting.
// Nothing else keeps what a run changed.
//
// The changes:
// - a folder or file the run creates (CreateFolder; AddFile before the caller creates
//   the file; Expect before a change made elsewhere may create it): taken back by
//   removing it, a folder only once empty;
// - a file or folder moved aside in its own folder (MoveAside): one in the way of a new
//   file, or one a task deletes. Put back by Rollback, deleted by Commit;
// - a file copied aside before it is changed in place (CopyAside): the copy is put back
//   by Rollback, deleted by Commit;
// - a folder's attributes set (SetAttributes): the former ones come back;
// - a change made elsewhere that knows how to take itself back (Undoable): the
//   registry data applied.
//
// A change whose undo cannot be prepared is not made: the operations fail first, with
// the system error left for LastSystemError(). A file that cannot be deleted (a program
// that runs) is moved out of the way and deleted at the next restart, by Rollback and by
// Commit alike; neither ever fails.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Zavro {

class InstallJournal {
 public:
  // Creates `path` and every missing folder above it, each recorded before it is made.
  // Listed folders belong in the uninstall record's list.
  bool CreateFolder(const std::u16string& path, bool listed = true);
  // Before the caller creates a file at `path`: records it, and creates the missing
  // folders above it. The file is listed once List says so.
  bool AddFile(const std::u16string& path);
  // Before a change made elsewhere (a profile write, a shortcut) that may create `path`
  // and the missing folders above it: records them all, creating nothing. Those that
  // exist when the list is asked for are listed.
  void Expect(const std::u16string& path);
  // Puts a file this run created into the uninstall record's list.
  void List(const std::u16string& path);
  // Moves an existing file or folder aside, to a new name in its own folder.
  bool MoveAside(const std::u16string& path);
  // Copies an existing file aside before it is changed in place.
  bool CopyAside(const std::u16string& path);
  // Sets a folder's attributes, recording the former ones.
  bool SetAttributes(const std::u16string& path, uint32_t attributes);
  // A change already made that `undo` takes back.
  void Undoable(std::function<void()> undo);

  // Whether `path` is this run's already: created by it, or saved by it before a change.
  bool Holds(const std::u16string& path) const;
  // Whether `path` was created by this run.
  bool Created(const std::u16string& path) const;
  // Takes back every change made to the file at `path` (one written only in part) and
  // forgets them.
  void TakeBack(const std::u16string& path);
  // Takes every change back, newest first, and forgets them.
  void Rollback();
  // Makes every change lasting: what was moved or copied aside is deleted (at the next
  // restart when it cannot be deleted now). Forgets the changes.
  void Commit();
  // After Commit or Rollback: removes an empty folder now, or at the next restart when
  // all that is left in it waits for the restart. Never fails.
  void RemoveFolder(const std::u16string& path);
  // The listed folders and files, in the order they were recorded.
  std::vector<std::u16string> ListedPaths() const;
  bool Empty() const { return changes_.empty(); }

 private:
  enum class Kind { Folder, File, Expected, Aside, Copy, Attributes, Undo };
  struct Change {
    explicit Change(Kind k, std::u16string p = {}, std::u16string a = {})
        : kind(k), path(std::move(p)), aside(std::move(a)) {}
    Kind kind;
    std::u16string path;
    std::u16string aside;  // Aside, Copy: where the original went
    uint32_t attributes = 0;
    bool listed = false;
    bool done = false;  // the change was made (Aside, Copy, Attributes)
    std::function<void()> undo;
  };

  // The folders above and including `path` that do not exist, the topmost first.
  static std::vector<std::u16string> MissingFolders(const std::u16string& path);
  // A name that does not exist yet in the folder of `path`.
  std::u16string AsideName(const std::u16string& path);
  // Records an Aside or Copy change, then makes it with `make` (path, aside name); a
  // change that fails is forgotten, with the system's error kept.
  bool Aside(Kind kind, const std::u16string& path,
             bool (*make)(const std::u16string& from, const std::u16string& to));
  void Undo(Change& change);
  // Deletes a file or a folder tree now, or what is left of it at the next restart.
  void DeleteNowOrAtRestart(const std::u16string& path);

  std::vector<Change> changes_;
  // What the last Rollback or Commit left for the next restart to delete.
  std::vector<std::u16string> waiting_;
  uint32_t names_ = 0;
};

}  // namespace Zavro
