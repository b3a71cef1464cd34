#include "archive/io/memory_file.h"

#include <algorithm>
#include <cstring>

namespace Zavro {

CMemoryFile::CMemoryFile(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}

CMemoryFile::CMemoryFile(const void* data, size_t size)
    : bytes_(static_cast<const unsigned char*>(data),
             static_cast<const unsigned char*>(data) + (data ? size : 0)) {}

bool CMemoryFile::Read(void* buffer, uint32_t length, uint32_t& bytesRead) {
  bytesRead = 0;
  if (position_ >= bytes_.size()) return false;
  if (buffer == nullptr) return false;
  uint64_t count = std::min<uint64_t>(length, bytes_.size() - position_);
  if (count != 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(count));
  position_ += count;
  bytesRead = static_cast<uint32_t>(count);
  return true;
}

bool CMemoryFile::Write(const void*, uint32_t, uint32_t& bytesWritten) {
  bytesWritten = 0;
  return false;
}

bool CMemoryFile::Close() { return false; }

bool CMemoryFile::GetPosition(uint64_t& position) {
  position = position_;
  return true;
}

bool CMemoryFile::GetSize(uint64_t& size) {
  size = bytes_.size();
  return true;
}

bool CMemoryFile::Seek(int64_t distance, uint32_t origin, uint64_t& newPosition) {
  uint64_t base;
  switch (origin) {
    case kFileBegin: base = 0; break;
    case kFileCurrent: base = position_; break;
    case kFileEnd: base = bytes_.size(); break;
    default: return false;
  }
  // Checked without overflow: the target must lie within [0, size].
  uint64_t target;
  if (distance < 0) {
    uint64_t back = static_cast<uint64_t>(-(distance + 1)) + 1;
    if (back > base) return false;
    target = base - back;
  } else {
    uint64_t forward = static_cast<uint64_t>(distance);
    if (forward > bytes_.size() - std::min<uint64_t>(base, bytes_.size())) return false;
    target = base + forward;
  }
  if (target > bytes_.size()) return false;
  position_ = target;
  newPosition = target;
  return true;
}

bool CMemoryFile::SetTimes(FileTime, FileTime, FileTime) { return false; }

}  // namespace Zavro
