// The disk functions that need no system call of their own.
#include "system/file_system.h"

#include "system/path_text.h"
#include "system/system_error.h"

namespace Zavro {

bool CheckSystemPath(const std::u16string& path) {
  if (path.empty()) {
    SetLastSystemError(kErrorPathNotFound);
    return false;
  }
  // A NUL would silently cut the path short at the system boundary; in DeleteTree the
  // cut path could name a folder outside the one asked for.
  if (path.find(u'\0') != std::u16string::npos) {
    SetLastSystemError(kErrorInvalidName);
    return false;
  }
  return true;
}

bool CheckRemovableFolder(const std::u16string& folder) {
  if (!CheckSystemPath(folder)) return false;
  std::u16string full;
  size_t split = 0;
  if (IsVolumeRoot(folder) || (FullPath(folder, full, split) && IsVolumeRoot(full))) {
    SetLastSystemError(kErrorAccessDenied);
    return false;
  }
  return true;
}

namespace {

// The attributes the existence tests read: of the path without quotes and trailing
// separators.
uint32_t NormalizedAttributes(const std::u16string& path) {
  std::u16string p = path;
  NormalizePath(p, PathUnquote | PathRemoveSlash);
  return GetPathAttributes(p);
}

}  // namespace

bool PathExists(const std::u16string& path) { return NormalizedAttributes(path) != kInvalidFileAttributes; }

bool IsDirectory(const std::u16string& path) {
  const uint32_t attributes = NormalizedAttributes(path);
  return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) != 0;
}

bool IsFile(const std::u16string& path) {
  const uint32_t attributes = NormalizedAttributes(path);
  return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) == 0;
}

bool FullPathDirectory(const std::u16string& path, std::u16string& directory) {
  std::u16string full;
  size_t splitIndex = 0;
  directory.clear();
  if (!FullPath(path, full, splitIndex)) return false;
  directory = full.substr(0, splitIndex);
  return true;
}

}  // namespace Zavro
