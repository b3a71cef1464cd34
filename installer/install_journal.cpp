#include "installer/install_journal.h"

#include <algorithm>
#include <chrono>

#include "system/directory_listing.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/format.h"
#include "system/system_error.h"

namespace Zavro {

namespace {

std::u16string FolderOf(const std::u16string& path) {
  const size_t last = path.rfind(u'\\');
  return last == std::u16string::npos ? std::u16string() : path.substr(0, last);
}

// What is left of a folder tree that could not be deleted now: its files, then its
// folders from the deepest up, at the next restart.
void DeleteRestAtRestart(const std::u16string& folder) {
  std::vector<DirectoryItem> items;
  std::vector<SkippedItem> skipped;
  if (ListDirectory(folder, items, skipped)) {
    for (const DirectoryItem& item : items) {
      const std::u16string path = JoinPath(folder, item.name);
      if ((item.attributes & kFileAttributeDirectory) != 0) {
        DeleteRestAtRestart(path);
      } else {
        DeleteAtRestart(path);
      }
    }
  }
  DeleteAtRestart(folder);
}

}  // namespace

std::vector<std::u16string> InstallJournal::MissingFolders(const std::u16string& path) {
  std::u16string folder = path;
  NormalizePath(folder, PathRemoveSlash);
  std::vector<std::u16string> missing;
  while (!folder.empty() && !IsVolumeRoot(folder) && !PathExists(folder)) {
    missing.insert(missing.begin(), folder);
    const std::u16string parent = FolderOf(folder);
    if (parent == folder) break;
    folder = parent;
  }
  return missing;
}

std::u16string InstallJournal::AsideName(const std::u16string& path) {
  const std::u16string folder = FolderOf(path);
  const uint32_t seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (;;) {
    const uint32_t unique = (seed + 0x9E3779B9u * ++names_) & 0xFFFFFF;
    const std::u16string name = FormatString(u"~gm%06X.tmp", unique);
    const std::u16string candidate = folder.empty() ? name : folder + u"\\" + name;
    if (!PathExists(candidate)) return candidate;
  }
}

bool InstallJournal::CreateFolder(const std::u16string& path, bool listed) {
  for (const std::u16string& folder : MissingFolders(path)) {
    changes_.emplace_back(Kind::Folder, folder);
    changes_.back().listed = listed;
    if (!CreateDirectoryTree(folder)) return false;
  }
  if (IsDirectory(path)) return true;
  SetLastSystemError(kErrorAlreadyExists);
  return false;
}

bool InstallJournal::AddFile(const std::u16string& path) {
  const std::u16string folder = FolderOf(path);
  if (!folder.empty() && !CreateFolder(folder)) return false;
  changes_.emplace_back(Kind::File, path);
  return true;
}

void InstallJournal::Expect(const std::u16string& path) {
  for (const std::u16string& folder : MissingFolders(FolderOf(path))) {
    changes_.emplace_back(Kind::Expected, folder);
  }
  if (!PathExists(path)) changes_.emplace_back(Kind::Expected, path);
}

void InstallJournal::List(const std::u16string& path) {
  for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) {
    if (it->kind == Kind::File && IsSamePath(it->path, path)) {
      it->listed = true;
      return;
    }
  }
}

bool InstallJournal::Aside(Kind kind, const std::u16string& path,
                           bool (*make)(const std::u16string& from, const std::u16string& to)) {
  changes_.emplace_back(kind, path, AsideName(path));
  if (!make(path, changes_.back().aside)) {
    const uint32_t error = LastSystemError();
    changes_.pop_back();
    SetLastSystemError(error);
    return false;
  }
  changes_.back().done = true;
  return true;
}

bool InstallJournal::MoveAside(const std::u16string& path) { return Aside(Kind::Aside, path, MovePath); }

bool InstallJournal::CopyAside(const std::u16string& path) { return Aside(Kind::Copy, path, CopyFilePath); }

bool InstallJournal::SetAttributes(const std::u16string& path, uint32_t attributes) {
  changes_.emplace_back(Kind::Attributes, path);
  changes_.back().attributes = GetPathAttributes(path);
  if (!SetPathAttributes(path, attributes)) {
    const uint32_t error = LastSystemError();
    changes_.pop_back();
    SetLastSystemError(error);
    return false;
  }
  changes_.back().done = true;
  return true;
}

void InstallJournal::Undoable(std::function<void()> undo) {
  changes_.emplace_back(Kind::Undo);
  changes_.back().undo = std::move(undo);
}

bool InstallJournal::Holds(const std::u16string& path) const {
  for (const Change& change : changes_) {
    if (change.kind != Kind::Attributes && change.kind != Kind::Undo && IsSamePath(change.path, path)) return true;
  }
  return false;
}

bool InstallJournal::Created(const std::u16string& path) const {
  for (const Change& change : changes_) {
    const bool creation = change.kind == Kind::Folder || change.kind == Kind::File || change.kind == Kind::Expected;
    if (creation && IsSamePath(change.path, path)) return true;
  }
  return false;
}

void InstallJournal::Undo(Change& change) {
  // Removes what the run put at `path`: a file that cannot be deleted (a program that
  // runs) goes out of the way, to be deleted at the next restart with its folder.
  auto removeFile = [this](const std::u16string& path) {
    if (!IsFile(path) || DeleteFileForced(path)) return;
    const std::u16string out = AsideName(path);
    if (MovePath(path, out) && DeleteAtRestart(out)) waiting_.push_back(out);
  };
  switch (change.kind) {
    case Kind::Folder:
    case Kind::File:
    case Kind::Expected:
      if (IsDirectory(change.path)) {
        RemoveFolder(change.path);
      } else {
        removeFile(change.path);
      }
      break;
    case Kind::Aside:
      if (!change.done) break;
      if (IsDirectory(change.path)) {
        DeleteTree(change.path);
      } else {
        removeFile(change.path);
      }
      MovePath(change.aside, change.path);
      break;
    case Kind::Copy:
      if (change.done) ReplacePath(change.aside, change.path);
      break;
    case Kind::Attributes:
      if (change.done) SetPathAttributes(change.path, change.attributes);
      break;
    case Kind::Undo:
      if (change.undo) change.undo();
      break;
  }
}

void InstallJournal::TakeBack(const std::u16string& path) {
  for (size_t i = changes_.size(); i-- > 0;) {
    Change& change = changes_[i];
    if ((change.kind == Kind::File || change.kind == Kind::Aside) && IsSamePath(change.path, path)) {
      Undo(change);
      changes_.erase(changes_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

void InstallJournal::RemoveFolder(const std::u16string& path) {
  if (!IsDirectory(path) || RemoveEmptyFolder(path)) return;
  // When all that is left in it waits for the restart, it goes then too.
  std::vector<DirectoryItem> items;
  std::vector<SkippedItem> skipped;
  if (!ListDirectory(path, items, skipped) || !skipped.empty() || items.empty()) return;
  for (const DirectoryItem& item : items) {
    const std::u16string inside = JoinPath(path, item.name);
    auto waiting = [&](const std::u16string& w) { return IsSamePath(w, inside); };
    if (std::none_of(waiting_.begin(), waiting_.end(), waiting)) return;
  }
  if (DeleteAtRestart(path)) waiting_.push_back(path);
}

void InstallJournal::Rollback() {
  waiting_.clear();
  for (auto it = changes_.rbegin(); it != changes_.rend(); ++it) Undo(*it);
  changes_.clear();
}

void InstallJournal::DeleteNowOrAtRestart(const std::u16string& path) {
  if (IsDirectory(path)) {
    DeleteTree(path);
    if (PathExists(path)) {
      DeleteRestAtRestart(path);
      waiting_.push_back(path);
    }
  } else if (PathExists(path) && !DeleteFileForced(path) && DeleteAtRestart(path)) {
    waiting_.push_back(path);
  }
}

void InstallJournal::Commit() {
  waiting_.clear();
  for (const Change& change : changes_) {
    if ((change.kind == Kind::Aside || change.kind == Kind::Copy) && change.done) DeleteNowOrAtRestart(change.aside);
  }
  changes_.clear();
}

std::vector<std::u16string> InstallJournal::ListedPaths() const {
  std::vector<std::u16string> paths;
  for (const Change& change : changes_) {
    const bool listed = (change.kind == Kind::Folder || change.kind == Kind::File) ? change.listed
                        : change.kind == Kind::Expected                           ? PathExists(change.path)
                                                                                  : false;
    if (listed) paths.push_back(change.path);
  }
  return paths;
}

}  // namespace Zavro
