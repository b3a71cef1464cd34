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
// type name, and for vfat and msdos the name Windows gives, FatFileSystemName); a path
// none of whose ancestors exists gives true with volumeInfoValid false. False only
// when the root is not usable (an empty text) or the shell refuses it; `info` is then
// left as it was.
bool QueryVolume(const std::u16string& root, VolumeInfo& info);

// The root to ask QueryVolume about for a path. Windows: the root of its full path
// ("C:\" from "C:\x\y", "\\srv\share\" from "\\srv\share\x", the current folder's
// root for a relative path). POSIX: the path itself (QueryVolume finds the volume).
std::u16string VolumeRootOf(const std::u16string& path);

// The name Windows gives a FAT volume with this many data clusters: "FAT32" from 65525
// on, "FAT" (FAT12 and FAT16) below. The format fixes its type by that count, and a
// volume of fewer clusters is smaller than 4 GiB (clusters are at most 64 KiB).
std::u16string FatFileSystemName(uint64_t clusters);

}  // namespace Zavro
