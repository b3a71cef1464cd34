#include "system/directory_listing.h"

#include "system/path_text.h"
#include "system/windows_support.h"

namespace Zavro {

namespace {

// Fills `item` from what a file link points to; false when the target is missing.
bool DescribeLinkTarget(const std::u16string& path, DirectoryItem& item) {
  // No access beyond the attributes: the target need not be readable to be listed.
  ScopedFileHandle target(CreateFileW(W(path), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!target || !GetFileInformationByHandle(target.Get(), &info)) return false;
  item.attributes = info.dwFileAttributes;
  item.creationTime = FromFILETIME(info.ftCreationTime);
  item.lastAccessTime = FromFILETIME(info.ftLastAccessTime);
  item.lastWriteTime = FromFILETIME(info.ftLastWriteTime);
  item.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return true;
}

}  // namespace

bool ListDirectory(const std::u16string& folder, std::vector<DirectoryItem>& items,
                   std::vector<SkippedItem>& skipped) {
  items.clear();
  skipped.clear();
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(FindFirstFileW(W(JoinPath(folder, u"*.*")), &data));
  if (!find) return false;
  do {
    std::u16string name = U16(data.cFileName);
    if (name == u"." || name == u"..") continue;
    DirectoryItem item;
    item.name = name;
    // The find data of a link describes the link itself (a file link has size 0).
    switch (HandlingOfReparsePoint(data.dwFileAttributes, data.dwReserved0)) {
      case ReparseHandling::kFolderLink:
        skipped.push_back({std::move(name), SkipReason::kFolderLink});
        continue;
      case ReparseHandling::kFollowLink:
        if (!DescribeLinkTarget(JoinPath(folder, name), item)) {
          skipped.push_back({std::move(name), SkipReason::kBrokenLink});
          continue;
        }
        if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) {
          skipped.push_back({std::move(name), SkipReason::kFolderLink});
          continue;
        }
        break;
      case ReparseHandling::kAsItIs:
        item.attributes = data.dwFileAttributes;
        item.creationTime = FromFILETIME(data.ftCreationTime);
        item.lastAccessTime = FromFILETIME(data.ftLastAccessTime);
        item.lastWriteTime = FromFILETIME(data.ftLastWriteTime);
        item.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        break;
    }
    items.push_back(std::move(item));
  } while (FindNextFileW(find.Get(), &data));
  if (GetLastError() != ERROR_NO_MORE_FILES) return false;
  SetLastError(NO_ERROR);
  return true;
}

}  // namespace Zavro
