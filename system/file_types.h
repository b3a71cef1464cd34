// Numbers and small types of the Windows file system, the same on every target.
// The POSIX services translate permission bits and timespec values into them.
#pragma once

#include <cstdint>

namespace Zavro {

// FILETIME: 100-nanosecond intervals since 1601-01-01 UTC.
struct FileTime {
  uint64_t value = 0;

  constexpr FileTime() = default;
  constexpr explicit FileTime(uint64_t v) : value(v) {}
  constexpr uint32_t Low() const { return static_cast<uint32_t>(value); }
  constexpr uint32_t High() const { return static_cast<uint32_t>(value >> 32); }
  friend constexpr bool operator==(FileTime a, FileTime b) { return a.value == b.value; }
  friend constexpr bool operator!=(FileTime a, FileTime b) { return a.value != b.value; }
};

// Seconds between 1601-01-01 and 1970-01-01.
constexpr uint64_t kFileTimeUnixEpochSeconds = 11644473600ULL;
constexpr uint64_t kFileTimeTicksPerSecond = 10000000ULL;

// File attributes.
constexpr uint32_t kFileAttributeReadonly = 0x1;
constexpr uint32_t kFileAttributeHidden = 0x2;
constexpr uint32_t kFileAttributeSystem = 0x4;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeArchive = 0x20;
constexpr uint32_t kFileAttributeNormal = 0x80;
constexpr uint32_t kFileAttributeTemporary = 0x100;
constexpr uint32_t kFileAttributeReparsePoint = 0x400;
constexpr uint32_t kFileAttributeNotContentIndexed = 0x2000;
constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

// Reparse tags (the find data's dwReserved0) of links.
constexpr uint32_t kReparseTagMountPoint = 0xA0000003;  // junctions and mount points
constexpr uint32_t kReparseTagSymlink = 0xA000000C;

// The attribute bits an archive stores and a reader gives back to what it writes (the
// directory bit marks folders). The other bits of the word are states the system keeps
// itself (compressed, encrypted, sparse, reparse point, offline) or flags of an open
// call (delete on close, ...) that an archive has no business choosing.
constexpr uint32_t kStoredAttributeMask = kFileAttributeReadonly | kFileAttributeHidden | kFileAttributeSystem |
                                          kFileAttributeDirectory | kFileAttributeArchive | kFileAttributeNormal |
                                          kFileAttributeTemporary | kFileAttributeNotContentIndexed;

// Flags that share the flags-and-attributes word of an open.
constexpr uint32_t kFileFlagBackupSemantics = 0x02000000;
constexpr uint32_t kFileFlagSequentialScan = 0x08000000;

// Access rights.
constexpr uint32_t kGenericRead = 0x80000000;
constexpr uint32_t kGenericWrite = 0x40000000;

// Share modes.
constexpr uint32_t kFileShareRead = 0x1;
constexpr uint32_t kFileShareWrite = 0x2;
constexpr uint32_t kFileShareDelete = 0x4;

// Creation dispositions.
constexpr uint32_t kCreateNew = 1;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kOpenAlways = 4;
constexpr uint32_t kTruncateExisting = 5;

// Seek origins.
constexpr uint32_t kFileBegin = 0;
constexpr uint32_t kFileCurrent = 1;
constexpr uint32_t kFileEnd = 2;

}  // namespace Zavro
