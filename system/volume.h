// What kind of volume a folder lies on.
//
// The archive reader asks before it writes large files: a FAT32 volume cannot hold a
// file of 4 GB or more.
#pragma once

#include <cstdint>
#include <string>

namespace Zavro {

struct VolumeInfo {
  std::u16string displayName;     // the shell's display name of the root
  std::u16string typeName;        // the shell's type name of the root
  std::u16string fileSystemName;  // "FAT32", "NTFS", ...; empty when unknown
  uint32_t clusterSize = 0;       // bytes per allocation unit
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;         // available to the caller
  bool volumeInfoValid = false;   // the file-system name could be read
};

// Windows: `root` is a volume root with its trailing backslash ("D:\"); it need not
// exist, and a root without a mounted volume gives true with volumeInfoValid false
// and all sizes 0. POSIX: `root` may be any folder; the volume is the one of its
// nearest existing ancestor (mount point as display name, the mount table's type as
// type name, "FAT32" for vfat and msdos); a path none of whose ancestors exists
// gives true with volumeInfoValid false. False only when the root is not usable (an
// empty text) or the shell refuses it; `info` is then left as it was.
bool QueryVolume(const std::u16string& root, VolumeInfo& info);

// The root to ask QueryVolume about for a path: its drive ("C:\" from "C:\x\y") on
// Windows, the path itself on POSIX (where QueryVolume finds the volume that holds it).
std::u16string VolumeRootOf(const std::u16string& path);

}  // namespace Zavro
