// A read-only file over a private copy of some bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/io/base_file.h"

namespace Zavro {

class CMemoryFile : public GMBaseFile {
 public:
  explicit CMemoryFile(std::vector<unsigned char> bytes);
  CMemoryFile(const void* data, size_t size);

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

  const std::vector<unsigned char>& Bytes() const { return bytes_; }

 private:
  std::vector<unsigned char> bytes_;
  uint64_t position_ = 0;
};

}  // namespace Zavro
