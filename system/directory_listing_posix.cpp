#include "system/directory_listing.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>

#include "system/posix_support.h"
#include "system/system_error.h"

namespace Zavro {

namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

// Why an item of this type is no file or folder to list; false when it is one.
bool SkipReasonOf(mode_t mode, SkipReason& reason) {
  if (S_ISREG(mode) || S_ISDIR(mode)) return false;
  // Reading a pipe, a socket or a device could block or never end.
  reason = S_ISFIFO(mode) ? SkipReason::kPipe : S_ISSOCK(mode) ? SkipReason::kSocket : SkipReason::kDevice;
  return true;
}

}  // namespace

bool ListDirectory(const std::u16string& folder, std::vector<DirectoryItem>& items,
                   std::vector<SkippedItem>& skipped) {
  items.clear();
  skipped.clear();
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
    struct statx link;
    if (statx(fd, entry->d_name, AT_SYMLINK_NOFOLLOW, kStatxTimes, &link) != 0) continue;  // gone meanwhile
    const bool isLink = S_ISLNK(link.stx_mode);
    struct statx st = link;
    SkipReason reason;
    if (isLink && statx(fd, entry->d_name, 0, kStatxTimes, &st) != 0) {
      skipped.push_back({FromNativePath(native), SkipReason::kBrokenLink});
      continue;
    }
    if (isLink && S_ISDIR(st.stx_mode)) {
      skipped.push_back({FromNativePath(native), SkipReason::kFolderLink});
      continue;
    }
    if (SkipReasonOf(st.stx_mode, reason)) {
      skipped.push_back({FromNativePath(native), reason});
      continue;
    }
    DirectoryItem item;
    item.name = FromNativePath(native);
    item.attributes = AttributesFromMode(st.stx_mode);
    TimesFromStatx(st, item.creationTime, item.lastAccessTime, item.lastWriteTime);
    item.size = S_ISREG(st.stx_mode) ? st.stx_size : 0;
    items.push_back(std::move(item));
  }
  SetLastSystemError(kErrorSuccess);
  return true;
}

}  // namespace Zavro
