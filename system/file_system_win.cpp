// The file system over Win32.
#include "system/file_system.h"

#include "system/path_text.h"

#include <climits>
#include <vector>

#include "system/change_seam.h"
#include "system/windows_support.h"


namespace Zavro {

namespace {

DWORD ReadAttributes(const std::u16string& path) {
  if (!CheckSystemPath(path)) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesW(W(path));
}

bool Exists(const std::u16string& path) { return ReadAttributes(path) != INVALID_FILE_ATTRIBUTES; }

std::u16string CurrentDirectory() {
  DWORD size = GetCurrentDirectoryW(0, nullptr);
  while (size != 0) {
    std::vector<wchar_t> buffer(size + 1);
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) break;
    if (length < buffer.size()) return U16(buffer.data(), length);
    // The folder changed in between and grew: ask again with the new size.
    size = length;
  }
  return std::u16string();
}

// The folder to move to when a folder to be removed is the current one: its parent,
// where a bare drive ("C:") or nothing ("\x" on the current drive) is completed to
// the root, since "C:" alone names the drive's current folder, the one being removed.
std::u16string ParentFolder(const std::u16string& folder) {
  std::u16string parent = DirectoryPart(folder);
  if (parent.empty() || parent.back() == u':') parent.push_back(u'\\');
  return parent;
}

// A link or junction in the tree: removed itself, whatever it points to.
bool RemoveLink(const std::u16string& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    SetFileAttributesW(W(path), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(W(path)) != FALSE;
  return DeleteFileW(W(path)) != FALSE;
}

// `dir` ends with a backslash.
uint64_t DeleteTreeBelow(const std::u16string& dir) {
  uint64_t count = 0;
  {
    WIN32_FIND_DATAW data;
    ScopedFindHandle find(FindFirstFileW(W(dir + u"*.*"), &data));
    if (find) {
      do {
        std::u16string name = U16(data.cFileName);
        DWORD attributes = data.dwFileAttributes;
        std::u16string full = dir + name;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
          if (name == u"." || name == u"..") continue;
          if (RemoveLink(full, attributes)) ++count;
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
          if (name == u"." || name == u"..") continue;
          count += DeleteTreeBelow(full + u"\\");
        } else {
          if (attributes & FILE_ATTRIBUTE_READONLY) {
            SetFileAttributesW(W(full), attributes & ~FILE_ATTRIBUTE_READONLY);
          }
          if (DeleteFileW(W(full))) ++count;
        }
      } while (FindNextFileW(find.Get(), &data));
    }
    // The enumeration is closed here: an open search keeps the folder from going away.
  }

  std::u16string d = dir;
  NormalizePath(d, PathRemoveSlash);

  // The process must not hold the folder as its current one, or it cannot be removed.
  std::u16string current = CurrentDirectory();
  NormalizePath(current, PathRemoveSlash);
  if (!current.empty() && current == d) SetCurrentDirectoryW(W(ParentFolder(d)));

  SetFileAttributesW(W(d), FILE_ATTRIBUTE_DIRECTORY);
  if (RemoveDirectoryW(W(d))) ++count;
  return count;
}

}  // namespace

uint32_t GetPathAttributes(const std::u16string& path) { return ReadAttributes(path); }

bool SetPathAttributes(const std::u16string& path, uint32_t attributes) {
  if (!CheckSystemPath(path)) return false;
  if (ChangeRefused()) return false;
  return SetFileAttributesW(W(path), attributes) != FALSE;
}

bool CreateDirectoryTree(const std::u16string& path) {
  if (!CheckSystemPath(path)) return false;
  if (ChangeRefused()) return false;
  // Failures on the way (a drive, the first parts of a share name) are expected and
  // show up in the outcome for the whole path.
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != u'\\' && path[i] != u'/') continue;
    std::u16string prefix = path.substr(0, i);
    if (!prefix.empty() && !Exists(prefix)) CreateDirectoryW(W(prefix), nullptr);
  }
  if (!Exists(path) && !CreateDirectoryW(W(path), nullptr)) return false;
  return IsDirectory(path);
}

bool DeleteFileForced(const std::u16string& path) {
  if (!CheckSystemPath(path)) return false;
  if (ChangeRefused()) return false;
  DWORD attributes = GetFileAttributesW(W(path));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(W(path), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  return DeleteFileW(W(path)) != FALSE;
}

uint64_t DeleteTree(const std::u16string& directory) {
  if (!CheckRemovableFolder(directory)) return 0;
  if (ChangeRefused()) return 0;
  std::u16string dir = directory;
  NormalizePath(dir, PathAddSlash);

  std::u16string d = dir;
  NormalizePath(d, PathRemoveSlash);
  DWORD attributes = GetFileAttributesW(W(d));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return RemoveLink(d, attributes) ? 1 : 0;
  }
  return DeleteTreeBelow(dir);
}

bool FullPath(const std::u16string& path, std::u16string& full, size_t& splitIndex) {
  full.clear();
  splitIndex = 0;
  if (!CheckSystemPath(path)) return false;
  std::vector<wchar_t> buffer(520);
  for (;;) {
    wchar_t* filePart = nullptr;
    DWORD length = GetFullPathNameW(W(path), static_cast<DWORD>(buffer.size()), buffer.data(), &filePart);
    if (length == 0) return false;
    if (length < buffer.size()) {
      full = U16(buffer.data(), length);
      splitIndex = filePart ? static_cast<size_t>(filePart - buffer.data()) : full.size();
      return true;
    }
    // Too small: the result is the size needed, terminator included.
    buffer.assign(static_cast<size_t>(length) + 1, 0);
  }
}

bool IsSamePath(const std::u16string& a, const std::u16string& b) {
  // The file systems' own comparison: each unit upper-cased on its own, no locale.
  if (a.size() > INT_MAX || b.size() > INT_MAX) return false;
  return CompareStringOrdinal(W(a), static_cast<int>(a.size()), W(b), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

bool TempFileName(const std::u16string& directory, const std::u16string& prefix, std::u16string& name) {
  name.clear();
  if (!CheckSystemPath(directory)) return false;
  if (ChangeRefused()) return false;
  wchar_t buffer[MAX_PATH + 2] = {};
  if (GetTempFileNameW(W(directory), W(prefix), 0, buffer) == 0) return false;
  name = U16(buffer);
  return true;
}

bool SetFileTimes(const std::u16string& path, const FileTime* creation, const FileTime* lastAccess,
                  const FileTime* lastWrite) {
  if (!CheckSystemPath(path)) return false;
  if (ChangeRefused()) return false;
  // Backup semantics let folders be opened, and stamped, too.
  ScopedFileHandle file(CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return false;
  FILETIME c{}, a{}, w{};
  if (creation) c = ToFILETIME(*creation);
  if (lastAccess) a = ToFILETIME(*lastAccess);
  if (lastWrite) w = ToFILETIME(*lastWrite);
  return SetFileTime(file.Get(), creation ? &c : nullptr, lastAccess ? &a : nullptr,
                     lastWrite ? &w : nullptr) != FALSE;
}

bool MovePath(const std::u16string& from, const std::u16string& to) {
  if (!CheckSystemPath(from) || !CheckSystemPath(to)) return false;
  if (ChangeRefused()) return false;
  return MoveFileW(W(from), W(to)) != FALSE;
}

bool CopyFilePath(const std::u16string& from, const std::u16string& to) {
  if (!CheckSystemPath(from) || !CheckSystemPath(to) || ChangeRefused()) return false;
  return CopyFileW(W(from), W(to), TRUE) != FALSE;
}

bool ReplacePath(const std::u16string& from, const std::u16string& to) {
  if (!CheckSystemPath(from) || !CheckSystemPath(to)) return false;
  if (ChangeRefused()) return false;
  return MoveFileExW(W(from), W(to), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool IsSameFile(const std::u16string& a, const std::u16string& b) {
  auto identify = [](const std::u16string& path, BY_HANDLE_FILE_INFORMATION& info) {
    if (!CheckSystemPath(path)) return false;
    HANDLE file = CreateFileW(W(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &info) != FALSE;
    CloseHandle(file);
    return known;
  };
  BY_HANDLE_FILE_INFORMATION first, second;
  return identify(a, first) && identify(b, second) && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

bool OutputTarget(const std::u16string& path, std::u16string& target, bool& replaceable) {
  target = path;
  replaceable = true;
  if (!CheckSystemPath(path)) return false;
  HANDLE file = CreateFileW(W(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  bool known = true;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    replaceable = false;
  } else if (!GetFileInformationByHandle(file, &info)) {
    known = false;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    replaceable = false;
  } else if ((GetFileAttributesW(W(path)) & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A link: the file it leads to, in the form the rest of the system takes.
    std::vector<wchar_t> final(MAX_PATH);
    for (;;) {
      const DWORD length = GetFinalPathNameByHandleW(file, final.data(), static_cast<DWORD>(final.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      if (length == 0) {
        known = false;
        break;
      }
      if (length < final.size()) {
        target = U16(final.data(), length);
        if (target.compare(0, 8, u"\\\\?\\UNC\\") == 0) {
          target = u"\\" + target.substr(7);
        } else if (target.compare(0, 4, u"\\\\?\\") == 0) {
          target = target.substr(4);
        }
        break;
      }
      final.resize(length + 1);
    }
  }
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!known) SetLastError(error);
  return known;
}

bool DeleteAtRestart(const std::u16string& path) {
  if (!CheckSystemPath(path)) return false;
  if (ChangeRefused()) return false;
  return MoveFileExW(W(path), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

bool RemoveEmptyFolder(const std::u16string& path) {
  if (!CheckSystemPath(path) || ChangeRefused()) return false;
  return RemoveDirectoryW(W(path)) != FALSE;
}

}  // namespace Zavro
