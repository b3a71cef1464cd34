// The disk path functions on POSIX, with the observable behaviour of their Windows
// twins: Windows paths go through NativePath, the read-only attribute is the missing
// owner write permission, and failures leave the Win32 number of errno behind.
#include "system/file_system.h"

#include "system/path_text.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "system/change_seam.h"
#include "system/encoding.h"
#include "system/posix_support.h"
#include "system/system_error.h"

namespace Zavro {

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// The attributes Windows shows for a status read without following a final link: a
// link is a reparse point, with the directory attribute when it leads to a folder.
uint32_t AttributesOf(const std::string& native, const struct stat& st) {
  if (!S_ISLNK(st.st_mode)) return AttributesFromMode(st.st_mode);
  struct stat target;
  bool folder = stat(native.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  return kFileAttributeReparsePoint | (folder ? kFileAttributeDirectory : kFileAttributeArchive);
}

uint32_t ReadAttributes(const std::u16string& path) {
  if (!CheckSystemPath(path)) return kInvalidFileAttributes;
  std::string native = NativePath(path);
  struct stat st;
  if (lstat(native.c_str(), &st) != 0) {
    SetLastErrorFromErrno(errno);
    return kInvalidFileAttributes;
  }
  return AttributesOf(native, st);
}

bool Exists(const std::u16string& path) { return ReadAttributes(path) != kInvalidFileAttributes; }

bool AddOwnerWrite(const std::string& native, mode_t mode) {
  if (mode & S_IWUSR) return true;
  return chmod(native.c_str(), (mode & 07777) | S_IWUSR) == 0;
}

// The current folder in system form; empty when it cannot be read.
std::u16string CurrentDirectory() {
  std::vector<char> buffer(512);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) return FromNativePath(buffer.data());
    if (errno != ERANGE) {
      SetLastErrorFromErrno(errno);
      return std::u16string();
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The folder to move to when a folder to be removed is the current one: its parent,
// where nothing ("\x" has no parent part) or a bare drive is completed to the root.
std::u16string ParentFolder(const std::u16string& folder) {
  std::u16string parent = DirectoryPart(folder);
  if (parent.empty() || parent.back() == u':') parent.push_back(u'\\');
  return parent;
}

// The names in a folder, in the order the system gives them; read completely before
// anything is removed, so removal cannot disturb the enumeration.
std::vector<std::string> FolderEntries(const std::string& native) {
  std::vector<std::string> names;
  DIR* folder = opendir(native.c_str());
  if (folder == nullptr) return names;
  while (const dirent* entry = readdir(folder)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names.emplace_back(entry->d_name);
  }
  closedir(folder);
  return names;
}

// Empties and removes a real folder (not a link to one). `folder` is its name in
// system form, compared with the current folder; `native` is the name the system
// takes, kept apart so that entry names that are not UTF-8 still reach the system as
// they are.
uint64_t DeleteTreeBelow(const std::u16string& folder, const std::string& native) {
  uint64_t count = 0;

  // Windows removes what is inside a read-only folder; here the folder itself must be
  // writable (and searchable) for that.
  struct stat st;
  if (lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
      (st.st_mode & S_IRWXU) != S_IRWXU) {
    chmod(native.c_str(), (st.st_mode & 07777) | S_IRWXU);
  }

  for (const std::string& name : FolderEntries(native)) {
    std::string entryNative = native + "/" + name;
    struct stat entry;
    if (lstat(entryNative.c_str(), &entry) != 0) continue;
    if (S_ISLNK(entry.st_mode)) {
      // Removed itself, never followed out of the tree.
      if (unlink(entryNative.c_str()) == 0) ++count;
    } else if (S_ISDIR(entry.st_mode)) {
      // A name without a system form can never be the current folder.
      std::u16string systemName = FromCodePage(name, kCodePageUtf8);
      count += DeleteTreeBelow(systemName.empty() ? std::u16string() : folder + u"\\" + systemName,
                               entryNative);
    } else {
      AddOwnerWrite(entryNative, entry.st_mode);
      if (unlink(entryNative.c_str()) == 0) ++count;
    }
  }

  // The process must not hold the folder as its current one.
  std::u16string current = CurrentDirectory();
  NormalizePath(current, PathRemoveSlash);
  if (!current.empty() && current == folder) {
    if (chdir(NativePath(ParentFolder(folder)).c_str()) != 0) SetLastErrorFromErrno(errno);
  }

  if (rmdir(native.c_str()) == 0) {
    ++count;
  } else {
    SetLastErrorFromErrno(errno);
  }
  return count;
}

// An absolute path with "." and ".." and repeated separators collapsed, in system
// form; a trailing separator stays.
std::u16string CollapsePath(const std::u16string& path) {
  std::vector<std::u16string> parts;
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && IsSeparator(path[i])) ++i;
    size_t start = i;
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    std::u16string part = path.substr(start, i - start);
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      // Above the root is the root.
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::u16string result;
  for (const auto& part : parts) result += u"\\" + part;
  if (result.empty() || IsSeparator(path.back())) result.push_back(u'\\');
  return result;
}

std::u16string HexUpper(uint32_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), u"0123456789ABCDEF"[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return digits;
}

}  // namespace

uint32_t GetPathAttributes(const std::u16string& path) { return ReadAttributes(path); }

bool SetPathAttributes(const std::u16string& path, uint32_t attributes) {
  if (!CheckSystemPath(path)) return false;
  if (ChangeRefused()) return false;
  std::string native = NativePath(path);
  struct stat st;
  if (stat(native.c_str(), &st) != 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  mode_t mode = st.st_mode & 07777;
  mode_t wanted = (attributes & kFileAttributeReadonly) ? (mode & ~kWriteBits) : (mode | S_IWUSR);
  return wanted == mode || Succeeded(chmod(native.c_str(), wanted));
}

bool CreateDirectoryTree(const std::u16string& path) {
  if (!CheckSystemPath(path)) return false;
  if (ChangeRefused()) return false;
  // Failures on the way show up in the outcome for the whole path.
  for (size_t i = 0; i < path.size(); ++i) {
    if (!IsSeparator(path[i])) continue;
    std::u16string prefix = path.substr(0, i);
    if (!prefix.empty() && !Exists(prefix)) mkdir(NativePath(prefix).c_str(), 0777);
  }
  if (!Exists(path) && mkdir(NativePath(path).c_str(), 0777) != 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  return IsDirectory(path);
}

bool DeleteFileForced(const std::u16string& path) {
  if (!CheckSystemPath(path)) return false;
  if (ChangeRefused()) return false;
  std::string native = NativePath(path);
  struct stat st;
  if (lstat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode)) AddOwnerWrite(native, st.st_mode);
  // Like DeleteFileW, a folder is not a file to delete.
  if (lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastSystemError(kErrorAccessDenied);
    return false;
  }
  return Succeeded(unlink(native.c_str()));
}

uint64_t DeleteTree(const std::u16string& directory) {
  if (!CheckRemovableFolder(directory)) return 0;
  if (ChangeRefused()) return 0;
  std::u16string d = directory;
  NormalizePath(d, PathRemoveSlash);
  std::string native = NativePath(d);
  struct stat st;
  if (lstat(native.c_str(), &st) != 0) {
    SetLastErrorFromErrno(errno);
    return 0;
  }
  if (S_ISLNK(st.st_mode)) return unlink(native.c_str()) == 0 ? 1 : 0;
  if (!S_ISDIR(st.st_mode)) {
    SetLastSystemError(kErrorDirectory);
    return 0;
  }
  return DeleteTreeBelow(d, native);
}

bool FullPath(const std::u16string& path, std::u16string& full, size_t& splitIndex) {
  full.clear();
  splitIndex = 0;
  if (!CheckSystemPath(path)) return false;
  std::u16string absolute = path;
  if (!IsSeparator(path.front())) {
    std::u16string current = CurrentDirectory();
    if (current.empty()) return false;
    absolute = current + u"\\" + path;
  }
  full = CollapsePath(absolute);
  splitIndex = full.rfind(u'\\') + 1;
  return true;
}

bool IsSamePath(const std::u16string& a, const std::u16string& b) { return a == b; }

bool TempFileName(const std::u16string& directory, const std::u16string& prefix, std::u16string& name) {
  name.clear();
  if (!CheckSystemPath(directory)) return false;
  if (ChangeRefused()) return false;
  std::u16string base = directory;
  if (base.back() != u'\\') base.push_back(u'\\');
  base += prefix.substr(0, std::min<size_t>(3, prefix.find(u'\0')));

  // Like the system, start from a clock-derived number and count up past names taken.
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint32_t start = static_cast<uint32_t>(now.tv_nsec / 1000 + now.tv_sec * 1000);
  for (uint32_t attempt = 0; attempt < 0x10000; ++attempt) {
    uint32_t unique = (start + attempt) & 0xFFFF;
    if (unique == 0) continue;
    std::u16string candidate = base + HexUpper(unique) + u".tmp";
    int fd = open(NativePath(candidate).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      name = candidate;
      return true;
    }
    if (errno != EEXIST) {
      SetLastErrorFromErrno(errno);
      return false;
    }
  }
  SetLastSystemError(kErrorFileExists);
  return false;
}

bool SetFileTimes(const std::u16string& path, const FileTime* creation, const FileTime* lastAccess,
                  const FileTime* lastWrite) {
  if (!CheckSystemPath(path)) return false;
  if (ChangeRefused()) return false;
  std::string native = NativePath(path);
  struct stat st;
  if (stat(native.c_str(), &st) != 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  // Windows opens the file for writing to stamp it, which a read-only file refuses.
  if (!S_ISDIR(st.st_mode) && (st.st_mode & S_IWUSR) == 0) {
    SetLastSystemError(kErrorAccessDenied);
    return false;
  }
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = times[0];
  if (lastAccess) times[0] = TimespecFromFileTime(*lastAccess);
  if (lastWrite) times[1] = TimespecFromFileTime(*lastWrite);
  return Succeeded(utimensat(AT_FDCWD, native.c_str(), times, 0));
}

bool CopyFilePath(const std::u16string& from, const std::u16string& to) {
  if (!CheckSystemPath(from) || !CheckSystemPath(to) || ChangeRefused()) return false;
  const int in = open(NativePath(from).c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (in < 0 || fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int error = in < 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : errno;
    if (in >= 0) close(in);
    SetLastErrorFromErrno(error);
    return false;
  }
  const std::string target = NativePath(to);
  const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    const int error = errno;
    close(in);
    SetLastErrorFromErrno(error);
    return false;
  }
  std::vector<char> buffer(1 << 16);
  int error = 0;
  for (;;) {
    const ssize_t got = read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got < 0) error = errno;
      break;
    }
    for (ssize_t done = 0; done < got && error == 0;) {
      const ssize_t put = write(out, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno != EINTR) error = errno;
      if (put > 0) done += put;
    }
    if (error != 0) break;
  }
  // The copy has the original's permissions, and so its read-only attribute.
  if (error == 0 && fchmod(out, st.st_mode & 07777) != 0) error = errno;
  if (close(out) != 0 && error == 0) error = errno;
  close(in);
  if (error != 0) {
    unlink(target.c_str());
    SetLastErrorFromErrno(error);
    return false;
  }
  return true;
}

bool ReplacePath(const std::u16string& from, const std::u16string& to) {
  if (!CheckSystemPath(from) || !CheckSystemPath(to)) return false;
  if (ChangeRefused()) return false;
  return Succeeded(rename(NativePath(from).c_str(), NativePath(to).c_str()));
}

bool IsSameFile(const std::u16string& a, const std::u16string& b) {
  struct stat first, second;
  return CheckSystemPath(a) && CheckSystemPath(b) && stat(NativePath(a).c_str(), &first) == 0 &&
         stat(NativePath(b).c_str(), &second) == 0 && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool OutputTarget(const std::u16string& path, std::u16string& target, bool& replaceable) {
  target = path;
  replaceable = true;
  if (!CheckSystemPath(path)) return false;
  const std::string native = NativePath(path);
  struct stat st;
  if (lstat(native.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    SetLastErrorFromErrno(errno);
    return false;
  }
  if (S_ISLNK(st.st_mode)) {
    char* resolved = realpath(native.c_str(), nullptr);
    if (resolved == nullptr || stat(resolved, &st) != 0) {
      SetLastErrorFromErrno(errno);
      free(resolved);
      return false;
    }
    target = FromNativePath(resolved);
    free(resolved);
  }
  replaceable = S_ISREG(st.st_mode);
  return true;
}

bool MovePath(const std::u16string& from, const std::u16string& to) {
  if (!CheckSystemPath(from) || !CheckSystemPath(to)) return false;
  if (ChangeRefused()) return false;
  const std::string target = NativePath(to);
  struct stat st;
  if (lstat(target.c_str(), &st) == 0) {
    SetLastSystemError(kErrorAlreadyExists);
    return false;
  }
  return Succeeded(rename(NativePath(from).c_str(), target.c_str()));
}

bool RemoveEmptyFolder(const std::u16string& path) {
  if (!CheckSystemPath(path)) return false;
  if (ChangeRefused()) return false;
  return Succeeded(rmdir(NativePath(path).c_str()));
}

bool DeleteAtRestart(const std::u16string&) {
  SetLastSystemError(kErrorNotSupported);
  return false;
}

}  // namespace Zavro
