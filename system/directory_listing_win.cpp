#include "system/directory_listing.h"

#include "system/path_utils.h"
#include "system/windows_support.h"

namespace Zavro {

bool ListDirectory(const std::u16string& folder, std::vector<DirectoryItem>& items) {
  items.clear();
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(FindFirstFileW(W(JoinPath(folder, u"*.*")), &data));
  if (!find) return false;
  do {
    std::u16string name = U16(data.cFileName);
    if (name == u"." || name == u"..") continue;
    DirectoryItem item;
    item.name = std::move(name);
    item.attributes = data.dwFileAttributes;
    item.creationTime = FromFILETIME(data.ftCreationTime);
    item.lastAccessTime = FromFILETIME(data.ftLastAccessTime);
    item.lastWriteTime = FromFILETIME(data.ftLastWriteTime);
    item.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    items.push_back(std::move(item));
  } while (FindNextFileW(find.Get(), &data));
  if (GetLastError() != ERROR_NO_MORE_FILES) return false;
  SetLastError(NO_ERROR);
  return true;
}

}  // namespace Zavro
