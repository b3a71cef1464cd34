// A read-only file over a private copy of some bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "archive/io/base_file.h"

namespace Zavro {

class CMemoryFile : public GMBaseFile {
 public:
  explicit CMemoryFile(std::vector<unsigned char> bytes);
  CMemoryFile(const void* data, size_t size);
  // Reads `size` bytes at `data` in place, without a copy; they must outlive the file
  // (the installer's package, in its own locked resource).
  static std::unique_ptr<CMemoryFile> View(const void* data, size_t size);
  CMemoryFile(const CMemoryFile&) = delete;
  CMemoryFile& operator=(const CMemoryFile&) = delete;

  // Fails with 0 bytes read at or beyond the end.
  bool Read(void* buffer, uint32_t length, uint32_t& bytesRead) override;
  // Never writes: fails with 0 bytes written.
  bool Write(const void* buffer, uint32_t length, uint32_t& bytesWritten) override;
  // Fails and changes nothing.
  bool Close() override;
  bool GetPosition(uint64_t& position) override;
  bool GetSize(uint64_t& size) override;
  // A target before 0 or beyond the size fails; the size itself is allowed.
  bool Seek(int64_t distance, uint32_t origin, uint64_t& newPosition) override;
  // Fails and changes nothing.
  bool SetTimes(FileTime creation, FileTime lastAccess, FileTime lastWrite) override;

  const unsigned char* Data() const { return data_; }
  size_t Size() const { return size_; }

 private:
  CMemoryFile() = default;

  std::vector<unsigned char> bytes_;  // the copy, unless the file is a view
  const unsigned char* data_ = nullptr;
  size_t size_ = 0;
  uint64_t position_ = 0;
};

}  // namespace Zavro
