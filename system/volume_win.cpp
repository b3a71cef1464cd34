// Volume queries through the shell and the volume functions.
#include "system/volume.h"

#include "system/path_text.h"
#include "system/file_system.h"
#include "system/windows_support.h"

#include <shellapi.h>

namespace Zavro {

bool QueryVolume(const std::u16string& root, VolumeInfo& info) {
  if (root.empty() || root.find(u'\0') != std::u16string::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  // SHGFI_USEFILEATTRIBUTES lets the shell answer for a root that does not exist.
  SHFILEINFOW shell = {};
  if (SHGetFileInfoW(W(root), 0, &shell, sizeof shell,
                     SHGFI_USEFILEATTRIBUTES | SHGFI_DISPLAYNAME | SHGFI_TYPENAME) == 0) {
    return false;
  }
  info.displayName = U16(shell.szDisplayName);
  info.typeName = U16(shell.szTypeName);
  info.fileSystemName.clear();
  info.clusterSize = 0;
  info.totalBytes = 0;
  info.freeBytes = 0;
  info.volumeInfoValid = false;

  wchar_t label[MAX_PATH + 1] = {};
  wchar_t fileSystem[MAX_PATH + 1] = {};
  DWORD serial = 0, maxComponent = 0, flags = 0;
  if (!GetVolumeInformationW(W(root), label, MAX_PATH, &serial, &maxComponent, &flags, fileSystem,
                             MAX_PATH)) {
    return true;
  }
  info.fileSystemName = U16(fileSystem);
  info.volumeInfoValid = true;

  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (GetDiskFreeSpaceW(W(root), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) {
    // 32-bit products overflow on large volumes: multiply in 64 bits, clusters first.
    info.clusterSize = bytesPerSector * sectorsPerCluster;
    info.totalBytes = static_cast<uint64_t>(totalClusters) * bytesPerSector * sectorsPerCluster;
    info.freeBytes = static_cast<uint64_t>(freeClusters) * bytesPerSector * sectorsPerCluster;
  }
  return true;
}

std::u16string VolumeRootOf(const std::u16string& path) {
  if (path.empty()) return std::u16string();
  // A relative path lies on the volume of the current folder.
  std::u16string full;
  size_t split = 0;
  return PathRoot(FullPath(path, full, split) ? full : path);
}

}  // namespace Zavro
