// The file the archive classes read and write: a disk file (GMFile) or bytes in
// memory (CMemoryFile), with 64-bit positions.
#pragma once

#include <cstdint>

#include "system/file_types.h"

namespace Zavro {

class GMBaseFile {
 public:
  virtual ~GMBaseFile() = default;

  // Reads up to `length` bytes. A disk file succeeds with 0 bytes at its end; a
  // memory file fails there.
  virtual bool Read(void* buffer, uint32_t length, uint32_t& bytesRead) = 0;
  // Succeeds only when all `length` bytes were written; `bytesWritten` tells how many were.
  virtual bool Write(const void* buffer, uint32_t length, uint32_t& bytesWritten) = 0;
  virtual bool Close() = 0;
  virtual bool GetPosition(uint64_t& position) = 0;
  virtual bool GetSize(uint64_t& size) = 0;
  // `origin` is kFileBegin, kFileCurrent or kFileEnd.
  virtual bool Seek(int64_t distance, uint32_t origin, uint64_t& newPosition) = 0;
  // A zero time leaves that time unchanged.
  virtual bool SetTimes(FileTime creation, FileTime lastAccess, FileTime lastWrite) = 0;

 protected:
  GMBaseFile() = default;
  GMBaseFile(const GMBaseFile&) = default;
  GMBaseFile& operator=(const GMBaseFile&) = default;
};

}  // namespace Zavro
