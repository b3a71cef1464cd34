// A file on disk.
//
// Open takes the numbers of the Windows CreateFileW call (access, share mode,
// disposition, flags and attributes, see system/file_types.h) and behaves like it on
// every target: CREATE_ALWAYS truncates, OPEN_EXISTING fails with error 2 for a
// missing file, a file with the read-only attribute cannot be opened for writing
// (error 5), a folder cannot be opened without kFileFlagBackupSemantics. When the
// disposition is CREATE_ALWAYS and the path is absolute, missing parent folders are
// created first. A path the system cannot take (empty, or holding a NUL) fails with
// error 3 or 123. Failures leave the system error for LastSystemError().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/io/base_file.h"

namespace Zavro {

class GMFile : public GMBaseFile {
 public:
  GMFile() = default;
  ~GMFile() override;
  GMFile(const GMFile&) = delete;
  GMFile& operator=(const GMFile&) = delete;

  bool Open(const std::u16string& path, uint32_t access, uint32_t share, uint32_t disposition,
            uint32_t flagsAndAttributes);
  bool IsOpen() const;

  bool Read(void* buffer, uint32_t length, uint32_t& bytesRead) override;
  bool Write(const void* buffer, uint32_t length, uint32_t& bytesWritten) override;
  bool Close() override;
  bool GetPosition(uint64_t& position) override;
  bool GetSize(uint64_t& size) override;
  bool Seek(int64_t distance, uint32_t origin, uint64_t& newPosition) override;
  bool SetTimes(FileTime creation, FileTime lastAccess, FileTime lastWrite) override;

  // The creation time is 0 where the system does not record one (see SetFileTimes).
  bool GetTimes(FileTime& creation, FileTime& lastAccess, FileTime& lastWrite);
  void Rewind();

 private:
  // Whether CREATE_ALWAYS first makes the missing parent folders of `path`.
  static bool IsAbsoluteForCreation(const std::u16string& path);
  // Opens the system file once no file is open any more; `path` is as the caller gave
  // it, and the system can take it.
  bool OpenHandle(const std::u16string& path, uint32_t access, uint32_t share,
                  uint32_t disposition, uint32_t flagsAndAttributes);

  // A HANDLE on Windows, a file descriptor on POSIX; kClosed when no file is open.
  static constexpr intptr_t kClosed = -1;
  intptr_t handle_ = kClosed;
};

// Reads a whole file of at most `limit` bytes into `bytes`. False with the system error
// left when it cannot, with error 223 when the file is larger.
bool ReadWholeFile(const std::u16string& path, std::vector<unsigned char>& bytes, uint64_t limit);

}  // namespace Zavro
