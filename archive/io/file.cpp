// The parts of GMFile that are the same on every system.
#include "archive/io/file.h"

#include "system/path_utils.h"

namespace Zavro {

bool GMFile::IsOpen() const { return handle_ != kClosed; }

bool GMFile::Open(const std::u16string& path, uint32_t access, uint32_t share, uint32_t disposition,
                  uint32_t flagsAndAttributes) {
  // A failed open leaves no file open, whatever the reason.
  Close();
  if (!CheckSystemPath(path)) return false;
  if (disposition == kCreateAlways && IsAbsoluteForCreation(path)) {
    const std::u16string parent = DirectoryPart(path);
    if (!parent.empty() && !IsDirectory(parent)) CreateDirectoryTree(parent);
  }
  return OpenHandle(path, access, share, disposition, flagsAndAttributes);
}

bool GMFile::GetPosition(uint64_t& position) { return Seek(0, kFileCurrent, position); }

void GMFile::Rewind() {
  uint64_t position = 0;
  Seek(0, kFileBegin, position);
}

}  // namespace Zavro
