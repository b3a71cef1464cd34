#include "archive/io/memory_file.h"

#include <algorithm>
#include <cstring>

namespace Zavro {

CMemoryFile::CMemoryFile(std::vector<unsigned char> bytes)
    : bytes_(std::move(bytes)), data_(bytes_.data()), size_(bytes_.size()) {}

CMemoryFile::CMemoryFile(const void* data, size_t size)
    : bytes_(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + (data ? size : 0)),
      data_(bytes_.data()),
      size_(bytes_.size()) {}

std::unique_ptr<CMemoryFile> CMemoryFile::View(const void* data, size_t size) {
  std::unique_ptr<CMemoryFile> view(new CMemoryFile());
  view->data_ = static_cast<const unsigned char*>(data);
  view->size_ = data != nullptr ? size : 0;
  return view;
}

bool CMemoryFile::Read(void* buffer, uint32_t length, uint32_t& bytesRead) {
  bytesRead = 0;
  if (position_ >= size_) return false;
  if (buffer == nullptr) return false;
  uint64_t count = std::min<uint64_t>(length, size_ - position_);
  if (count != 0) std::memcpy(buffer, data_ + position_, static_cast<size_t>(count));
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
  size = size_;
  return true;
}

bool CMemoryFile::Seek(int64_t distance, uint32_t origin, uint64_t& newPosition) {
  uint64_t base;
  switch (origin) {
    case kFileBegin: base = 0; break;
    case kFileCurrent: base = position_; break;
    case kFileEnd: base = size_; break;
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
    if (forward > size_ - std::min<uint64_t>(base, size_)) return false;
    target = base + forward;
  }
  if (target > size_) return false;
  position_ = target;
  newPosition = target;
  return true;
}

bool CMemoryFile::SetTimes(FileTime, FileTime, FileTime) { return false; }

}  // namespace Zavro
