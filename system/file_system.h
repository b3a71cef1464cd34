// The file system: files and folders on disk, by UTF-16 Windows paths (path_text.h).
//
// These functions call the system; on POSIX every backslash becomes
// a slash on the way in and paths the system returns come back with backslashes.
// None of them throws: failure is false, an empty text or a smaller count, with the
// system error left for LastSystemError(). Each call that changes the disk is one
// change of system/change_seam.h.
#pragma once

#include <cstdint>
#include <string>

#include "system/file_types.h"

namespace Zavro {

// False, with error 3 (empty) or 123 (holds a NUL), for a path the system cannot take.
bool CheckSystemPath(const std::u16string& path);
// CheckSystemPath, and false with error 5 for the root of a volume, as written or made
// full (".." in the root folder): a folder never to be removed as a whole.
bool CheckRemovableFolder(const std::u16string& folder);
bool PathExists(const std::u16string& path);
bool IsDirectory(const std::u16string& path);
bool IsFile(const std::u16string& path);
// The attributes of a path, kInvalidFileAttributes when it does not exist.
uint32_t GetPathAttributes(const std::u16string& path);
// Sets the read-only, hidden, system and archive attributes (on POSIX only read-only
// means anything: it removes the write permissions).
bool SetPathAttributes(const std::u16string& path, uint32_t attributes);
bool CreateDirectoryTree(const std::u16string& path);
bool DeleteFileForced(const std::u16string& path);
// Removes a folder with everything below it and returns how many files and folders
// were removed. A symbolic link or junction inside is removed itself, never followed.
// The root of a volume is refused (CheckRemovableFolder): nothing is removed.
uint64_t DeleteTree(const std::u16string& directory);
bool FullPath(const std::u16string& path, std::u16string& full, size_t& splitIndex);
bool FullPathDirectory(const std::u16string& path, std::u16string& directory);
// Whether two full paths name the same file by their text, as the system compares
// names: exactly on POSIX, without regard to case on Windows.
bool IsSamePath(const std::u16string& a, const std::u16string& b);
// Creates a new empty file with a unique name in `directory` and returns its name.
bool TempFileName(const std::u16string& directory, const std::u16string& prefix,
                  std::u16string& name);
// Removes a folder that is empty (RemoveDirectoryW); fails for one that is not.
bool RemoveEmptyFolder(const std::u16string& path);
// Renames a file (MoveFileW); fails when `to` exists.
bool MovePath(const std::u16string& from, const std::u16string& to);
// Copies a file, its bytes and attributes, to `to`, which must not exist (CopyFileW
// failing when it does). A copy that fails half way is removed.
bool CopyFilePath(const std::u16string& from, const std::u16string& to);
// Renames a file over `to`, which may exist (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING; rename on POSIX): `to` names a whole file at every moment.
bool ReplacePath(const std::u16string& from, const std::u16string& to);
// Whether two paths name one existing file (the same volume and file number), whatever
// links or spellings lead to it.
bool IsSameFile(const std::u16string& a, const std::u16string& b);
// Where writing `path` lands: the path itself or, for a link, the file it finally
// points to (`target`). `replaceable` is false when that is something other than a
// regular file or nothing at all (a device, a pipe, a folder): such a thing is written
// as it is, never replaced by a file.
bool OutputTarget(const std::u16string& path, std::u16string& target, bool& replaceable);
// Has the system delete a file at the next restart (MoveFileExW with
// MOVEFILE_DELAY_UNTIL_REBOOT). POSIX has no such thing: it fails with error 50, and
// never needs it, as an open file can be deleted there.
bool DeleteAtRestart(const std::u16string& path);
// Null leaves that time as it is. On POSIX the creation time is the birth time where
// the file system records one (0 where it does not, in the listing and GMFile::GetTimes
// alike); it cannot be set and is ignored here.
bool SetFileTimes(const std::u16string& path, const FileTime* creation,
                  const FileTime* lastAccess, const FileTime* lastWrite);

}  // namespace Zavro
