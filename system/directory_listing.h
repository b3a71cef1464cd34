// The items of one folder that an archive can hold, without "." and "..".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system/file_types.h"

namespace Zavro {

struct DirectoryItem {
  std::u16string name;
  uint32_t attributes = 0;
  FileTime creationTime;  // 0 where the system records none
  FileTime lastAccessTime;
  FileTime lastWriteTime;
  uint64_t size = 0;
};

// Why an item of a folder is not listed.
enum class SkipReason {
  kFolderLink,  // a symbolic link, junction or mount point to a folder
  kBrokenLink,  // a link whose target is missing
  kPipe,
  kSocket,
  kDevice,
};

struct SkippedItem {
  std::u16string name;
  SkipReason reason;
};

// The reason in a few words for people ("a link to a folder").
const char* SkipReasonText(SkipReason reason);

// Lists `folder` in the order the system gives: files and real folders. A link to a
// file lists as that file (its size, times and attributes); what could lead out of the
// tree, round in a circle or never end when read is left out and named in `skipped`:
// links to folders, junctions and mount points, broken links, pipes, sockets and
// devices. Other reparse points (cloud placeholders, deduplicated files) list as what
// they hold. Fails (with the system error) when the folder cannot be read.
bool ListDirectory(const std::u16string& folder, std::vector<DirectoryItem>& items,
                   std::vector<SkippedItem>& skipped);

// How a Windows listing treats an item from the attributes and the reparse tag of its
// find data: a folder that is a symbolic link or a mount point (or whose tag the system
// does not give) is left out, a file that is a symbolic link is followed to its target,
// and everything else, other reparse points included, is taken as it is.
enum class ReparseHandling { kAsItIs, kFollowLink, kFolderLink };
ReparseHandling HandlingOfReparsePoint(uint32_t attributes, uint32_t reparseTag);

}  // namespace Zavro
