// The items of one folder, without "." and "..".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system/file_types.h"

namespace Zavro {

struct DirectoryItem {
  std::u16string name;
  uint32_t attributes = 0;  // a link carries kFileAttributeReparsePoint
  FileTime creationTime;
  FileTime lastAccessTime;
  FileTime lastWriteTime;
  uint64_t size = 0;
};

// Lists `folder` in the order the system gives. On POSIX a link to a file lists as that
// file; a link to a folder keeps the reparse-point attribute; pipes, sockets and
// devices are left out. Fails (with the system
// error) when the folder cannot be read.
bool ListDirectory(const std::u16string& folder, std::vector<DirectoryItem>& items);

}  // namespace Zavro
