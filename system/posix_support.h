// Helpers shared by the *_posix.cpp services: system paths, errno and times.
// Only *_posix.cpp files include this header.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <string>

#include "system/file_types.h"

namespace Zavro {

// A path as the system takes it: UTF-8, with every backslash turned into a slash.
std::string NativePath(const std::u16string& path);
// A path the system gave back, in the form used inside the system (backslashes).
std::u16string FromNativePath(const std::string& path);

// The Win32 number that stands for an errno value.
uint32_t Win32ErrorFromErrno(int error);
// Records errno (or the given value) as the thread's last system error.
void SetLastErrorFromErrno(int error);
// Whether a system call that returns 0 on success succeeded; records errno when not.
bool Succeeded(int result);

FileTime FileTimeFromTimespec(const struct timespec& ts);
struct timespec TimespecFromFileTime(FileTime t);

// The statx fields TimesFromStatx reads.
constexpr unsigned kStatxTimes = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME;
// The three Windows times of a file. The creation time is the birth time where the
// file system records one and 0 (unknown) where it does not: no other time stands in
// for it. It cannot be set on this system.
void TimesFromStatx(const struct statx& st, FileTime& creation, FileTime& lastAccess, FileTime& lastWrite);

// The attributes a file with this status shows: no write permission for its owner is
// the read-only attribute; folders have the directory attribute, files the archive one.
uint32_t AttributesFromMode(mode_t mode);

// Reads the status of a path without following a final symbolic link; sets the last
// system error on failure.
bool StatPath(const std::u16string& path, struct stat& st);

}  // namespace Zavro
