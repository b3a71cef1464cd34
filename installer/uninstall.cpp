#include "installer/uninstall.h"

#include <algorithm>
#include <set>

#include "installer/install_journal.h"
#include "installer/registry_step.h"
#include "registry/reg_record_form.h"
#include "system/directory_listing.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/system_error.h"
#include "system/string_utils.h"

namespace Zavro {

namespace {

// Folded for comparisons as the file system makes them.
std::u16string Folded(const std::u16string& path) {
  std::u16string folded = path;
  ToLowerInPlace(folded);
  return folded;
}

bool IsBelow(const std::u16string& path, const std::u16string& folder) {
  return !folder.empty() && path.size() > folder.size() + 1 && CompareNoCaseN(path, folder, folder.size()) == 0 &&
         path[folder.size()] == u'\\';
}

size_t Depth(const std::u16string& path) { return static_cast<size_t>(std::count(path.begin(), path.end(), u'\\')); }

// Where a recorded path lies: relative ones below the install folder, the empty text
// the install folder itself. Empty for a path no install could have written. `onRoot`
// is set for a path that is only below a built-in folder that is a drive root
// ("##system_driver##"): such a path is taken when it lies in a folder the record lists.
std::u16string Resolve(const std::u16string& recorded, const std::u16string& folder, const FolderMacros& macros,
                       bool& onRoot) {
  onRoot = false;
  if (recorded.empty()) return folder;
  if (!IsValidFilePath(recorded)) return std::u16string();
  if (!IsAbsolutePath(recorded)) return JoinPath(folder, recorded);
  if (CompareNoCase(recorded, folder) == 0 || IsBelow(recorded, folder)) return recorded;
  bool belowSystemFolder = false;
  for (const auto& [name, builtIn] : macros.BuiltIn()) {
    if (builtIn.empty()) continue;
    if (CompareNoCase(recorded, builtIn) == 0) return std::u16string();
    if (IsVolumeRoot(builtIn)) {
      onRoot = onRoot || IsBelow(recorded, builtIn);
    } else {
      belowSystemFolder = belowSystemFolder || IsBelow(recorded, builtIn);
    }
  }
  if (belowSystemFolder) onRoot = false;
  return belowSystemFolder || onRoot ? recorded : std::u16string();
}

}  // namespace

bool PlanUninstall(const std::u16string& folder, const std::u16string& self, const FolderMacros& macros,
                   UninstallPlan& plan, ErrorInfo& error) {
  plan = UninstallPlan();
  plan.folder = folder;
  NormalizePath(plan.folder, PathBackslashes | PathRemoveSlash);
  plan.recordPath = JoinPath(plan.folder, kUninstallRecordName);
  // A drive root or a system folder is no install folder, whatever a record in it says.
  bool systemFolder = IsVolumeRoot(plan.folder);
  for (const auto& [name, builtIn] : macros.BuiltIn()) {
    systemFolder = systemFolder || (!builtIn.empty() && CompareNoCase(builtIn, plan.folder) == 0);
  }
  if (systemFolder) {
    error = ErrorInfo::File(kErrorFileDelete, plan.folder, kErrorInvalidName);
    return false;
  }
  UninstallRecord record;
  if (!IsFile(plan.recordPath)) {
    error = ErrorInfo::File(kErrorFileRead, plan.recordPath, kErrorFileNotFound);
    return false;
  }
  if (!ReadUninstallRecord(plan.recordPath, record) ||
      (!record.registryUndo.empty() && !ReadRecords(BufferOf(record.registryUndo), plan.registryUndo))) {
    error = ErrorInfo::File(kErrorFileRead, plan.recordPath, kErrorInvalidData);
    return false;
  }
  // The registry view the install wrote in; a record without the note comes from the
  // shipped 32-bit installer.
  const auto view = record.metadata.find(kRegistryViewKey);
  plan.view = view != record.metadata.end() ? view->second : u"32";
  if (plan.view == u"32") {
    plan.viewMode = 3;
  } else if (plan.view == u"64") {
    plan.viewMode = 1;
  } else if (plan.view == u"32+64") {
    plan.viewMode = 2;
  } else {
    error = ErrorInfo::File(kErrorFileRead, plan.recordPath, kErrorInvalidData);
    return false;
  }

  std::vector<std::u16string> resolved;
  std::vector<bool> onRoot;
  for (const std::u16string& recorded : record.paths) {
    bool root = false;
    resolved.push_back(Resolve(recorded, plan.folder, macros, root));
    onRoot.push_back(root);
  }
  std::vector<std::u16string> folders;
  std::set<std::u16string> seen;
  for (size_t i = 0; i < resolved.size(); ++i) {
    const std::u16string& path = resolved[i];
    bool refused = path.empty();
    if (!refused && onRoot[i]) {
      // A folder right below the drive root the install may have made (never a file
      // there); anything deeper only inside a folder the record lists.
      const bool top = DirectoryPart(path).size() <= 3;
      refused = top ? IsFile(path)
                    : std::none_of(resolved.begin(), resolved.end(), [&](const std::u16string& other) {
                        return !other.empty() && !IsVolumeRoot(other) && IsBelow(path, other);
                      });
    }
    if (refused) {
      error = ErrorInfo::File(kErrorFileDelete, record.paths[i], kErrorInvalidName);
      return false;
    }
    if (!seen.insert(Folded(path)).second || IsSamePath(path, plan.recordPath)) continue;
    if (IsDirectory(path)) {
      folders.push_back(path);
    } else if (PathExists(path)) {
      plan.files.push_back(path);
    } else {
      plan.missing.push_back(path);
    }
  }
  if (!self.empty() && IsBelow(self, plan.folder) && IsFile(self) && seen.insert(Folded(self)).second) {
    plan.files.push_back(self);
  }

  // Deepest first; of equal depth the newest first. A folder goes when all it holds goes.
  std::reverse(folders.begin(), folders.end());
  std::stable_sort(folders.begin(), folders.end(),
                   [](const std::u16string& a, const std::u16string& b) { return Depth(a) > Depth(b); });
  std::set<std::u16string> gone{Folded(plan.recordPath)};
  for (const std::u16string& file : plan.files) gone.insert(Folded(file));
  for (const std::u16string& path : folders) {
    std::vector<DirectoryItem> items;
    std::vector<SkippedItem> skipped;
    bool empties = ListDirectory(path, items, skipped) && skipped.empty();
    for (const DirectoryItem& item : items) empties = empties && gone.count(Folded(JoinPath(path, item.name))) != 0;
    if (empties) {
      gone.insert(Folded(path));
      plan.folders.push_back(path);
    } else {
      plan.kept.push_back(path);
    }
  }
  return true;
}

bool CarryOutUninstall(const UninstallPlan& plan, ErrorInfo& error) {
  InstallJournal journal;
  if (!ApplyRegistryStep(plan.registryUndo, plan.viewMode, false, true, journal, nullptr, error)) return false;
  std::vector<std::u16string> files = plan.files;
  files.push_back(plan.recordPath);
  for (const std::u16string& file : files) {
    if (!journal.MoveAside(file)) {
      error = ErrorInfo::File(kErrorFileDelete, file, LastSystemError());
      journal.Rollback();
      return false;
    }
  }
  journal.Commit();
  for (const std::u16string& folder : plan.folders) journal.RemoveFolder(folder);
  return true;
}

}  // namespace Zavro
