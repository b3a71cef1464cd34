// The parts of GMFile that are the same on every system.
#include "archive/io/file.h"

#include <algorithm>

#include "system/change_seam.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/system_error.h"

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
  // Creating or emptying a file is a change of the disk.
  if (disposition != kOpenExisting && ChangeRefused()) return false;
  return OpenHandle(path, access, share, disposition, flagsAndAttributes);
}

bool GMFile::GetPosition(uint64_t& position) { return Seek(0, kFileCurrent, position); }

void GMFile::Rewind() {
  uint64_t position = 0;
  Seek(0, kFileBegin, position);
}

bool ReadWholeFile(const std::u16string& path, std::vector<unsigned char>& bytes, uint64_t limit) {
  GMFile file;
  uint64_t size = 0;
  if (!file.Open(path, kGenericRead, kFileShareRead, kOpenExisting, 0) || !file.GetSize(size)) return false;
  if (size > limit) {
    SetLastSystemError(kErrorFileTooLarge);
    return false;
  }
  bytes.resize(static_cast<size_t>(size));
  for (uint64_t done = 0; done < size;) {
    uint32_t read = 0;
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(size - done, 1u << 30));
    if (!file.Read(bytes.data() + done, want, read)) return false;
    if (read == 0) {  // shorter than it was a moment ago
      SetLastSystemError(kErrorHandleEof);
      return false;
    }
    done += read;
  }
  return true;
}

}  // namespace Zavro
