// Volume queries on POSIX: the mount table names the file system, statvfs gives the
// sizes. The folder need not exist; its nearest existing ancestor decides.
#include "system/volume.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/statvfs.h>

#include <fstream>
#include <sstream>

#include "system/encoding.h"
#include "system/posix_support.h"
#include "system/system_error.h"

namespace Zavro {

namespace {

// The canonical name of the nearest existing ancestor of `native` (the path itself
// included); false when none exists. A relative path's ancestors end at its first
// name: "D:/" on a system without such a folder has no volume.
bool NearestExistingAncestor(std::string native, std::string& canonical) {
  for (;;) {
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    if (native.empty()) return false;
    if (char* resolved = realpath(native.c_str(), nullptr)) {
      canonical = resolved;
      free(resolved);
      return true;
    }
    size_t slash = native.rfind('/');
    if (slash == std::string::npos || native == "/") return false;
    native.resize(slash == 0 ? 1 : slash);
  }
}

// The mount table writes space, tab, newline and backslash as three octal digits.
std::string DecodeMountField(const std::string& field) {
  auto octal = [&](size_t i, char high) { return field[i] >= '0' && field[i] <= high; };
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1, '3') && octal(i + 2, '7') &&
        octal(i + 3, '7')) {
      out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

bool IsBelow(const std::string& path, const std::string& mountPoint) {
  if (mountPoint == "/") return true;
  if (path.compare(0, mountPoint.size(), mountPoint) != 0) return false;
  return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

// The mount that holds `canonical`: the longest mount point above it, the last one
// listed when a point is mounted over.
bool FindMount(const std::string& canonical, std::string& mountPoint, std::string& type) {
  std::ifstream table("/proc/self/mounts");
  if (!table) return false;
  bool found = false;
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string device, point, fsType;
    if (!(fields >> device >> point >> fsType)) continue;
    point = DecodeMountField(point);
    if (!IsBelow(canonical, point)) continue;
    if (!found || point.size() >= mountPoint.size()) {
      mountPoint = point;
      type = DecodeMountField(fsType);
      found = true;
    }
  }
  return found;
}

bool IsFat(const std::string& type) { return type == "vfat" || type == "msdos"; }

}  // namespace

bool QueryVolume(const std::u16string& root, VolumeInfo& info) {
  if (root.empty() || root.find(u'\0') != std::u16string::npos) {
    SetLastSystemError(kErrorInvalidName);
    return false;
  }
  info = VolumeInfo();

  std::string canonical, mountPoint, type;
  if (!NearestExistingAncestor(NativePath(root), canonical)) {
    SetLastSystemError(kErrorPathNotFound);
    return true;
  }
  if (!FindMount(canonical, mountPoint, type)) {
    SetLastSystemError(kErrorNotReady);
    return true;
  }
  info.displayName = FromNativePath(mountPoint);
  info.typeName = FromCodePage(type, kCodePageUtf8);
  // A FAT volume whose size cannot be read is taken for FAT32, whose 4 GiB rule holds
  // for every FAT volume.
  info.fileSystemName = IsFat(type) ? u"FAT32" : info.typeName;
  info.volumeInfoValid = true;

  struct statvfs st;
  if (statvfs(canonical.c_str(), &st) != 0) {
    SetLastErrorFromErrno(errno);
    return true;
  }
  uint64_t unit = st.f_frsize != 0 ? st.f_frsize : st.f_bsize;
  info.clusterSize = static_cast<uint32_t>(unit);
  info.totalBytes = static_cast<uint64_t>(st.f_blocks) * unit;
  info.freeBytes = static_cast<uint64_t>(st.f_bavail) * unit;
  // The FAT driver counts its blocks in clusters, the data clusters of the volume: the
  // count the format tells FAT32 from FAT12 and FAT16 by.
  if (IsFat(type)) info.fileSystemName = FatFileSystemName(st.f_blocks);
  return true;
}

std::u16string VolumeRootOf(const std::u16string& path) { return path; }

}  // namespace Zavro
