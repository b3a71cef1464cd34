#include "system/directory_listing.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>

#include "system/encoding.h"
#include "system/posix_support.h"
#include "system/system_error.h"

namespace Zavro {

namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

bool ListDirectory(const std::u16string& folder, std::vector<DirectoryItem>& items) {
  items.clear();
  std::unique_ptr<DIR, DirCloser> dir(opendir(NativePath(folder).c_str()));
  if (!dir) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  const int fd = dirfd(dir.get());
  for (;;) {
    errno = 0;
    struct dirent* entry = readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) {
        SetLastErrorFromErrno(errno);
        return false;
      }
      break;
    }
    const std::string native = entry->d_name;
    if (native == "." || native == "..") continue;
    struct stat link;
    if (fstatat(fd, entry->d_name, &link, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    struct stat st = link;
    if (S_ISLNK(link.st_mode) && fstatat(fd, entry->d_name, &st, 0) != 0) continue;  // dangling link
    // Pipes, sockets and devices are no files to pack: reading one could block or
    // never end.
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) continue;
    DirectoryItem item;
    item.name = FromNativePath(native);
    item.attributes = AttributesFromMode(st.st_mode);
    if (S_ISLNK(link.st_mode) && S_ISDIR(st.st_mode)) item.attributes |= kFileAttributeReparsePoint;
    // The change time is no creation time; the modification time stands in for it.
    item.creationTime = FileTimeFromTimespec(st.st_mtim);
    item.lastAccessTime = FileTimeFromTimespec(st.st_atim);
    item.lastWriteTime = FileTimeFromTimespec(st.st_mtim);
    item.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    items.push_back(std::move(item));
  }
  SetLastSystemError(kErrorSuccess);
  return true;
}

}  // namespace Zavro
