#include "archive/io/file.h"

#include "system/change_seam.h"
#include "system/path_text.h"
#include "system/windows_support.h"

namespace Zavro {

namespace {

HANDLE ToHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

GMFile::~GMFile() {
  if (IsOpen()) CloseHandle(ToHandle(handle_));
}

bool GMFile::IsAbsoluteForCreation(const std::u16string& path) { return IsAbsolutePath(path); }

bool GMFile::OpenHandle(const std::u16string& path, uint32_t access, uint32_t share,
                        uint32_t disposition, uint32_t flagsAndAttributes) {
  HANDLE h = CreateFileW(W(path), access, share, nullptr, disposition, flagsAndAttributes, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

bool GMFile::Read(void* buffer, uint32_t length, uint32_t& bytesRead) {
  if (buffer == nullptr || !IsOpen()) {
    SetLastError(buffer == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return false;
  }
  bytesRead = 0;
  DWORD read = 0;
  if (!ReadFile(ToHandle(handle_), buffer, length, &read, nullptr)) return false;
  bytesRead = read;
  return true;
}

bool GMFile::Write(const void* buffer, uint32_t length, uint32_t& bytesWritten) {
  bytesWritten = 0;
  if (buffer == nullptr || !IsOpen()) {
    SetLastError(buffer == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return false;
  }
  if (ChangeRefused()) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(ToHandle(handle_), buffer, length, &written, nullptr);
  bytesWritten = written;
  if (ok && written != length) SetLastError(ERROR_DISK_FULL);
  return ok && written == length;
}

bool GMFile::Close() {
  if (!IsOpen()) return true;
  if (!CloseHandle(ToHandle(handle_))) return false;
  handle_ = kClosed;
  return true;
}

bool GMFile::GetSize(uint64_t& size) {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = GetFileSize(ToHandle(handle_), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  size = (static_cast<uint64_t>(high) << 32) | low;
  return true;
}

bool GMFile::Seek(int64_t distance, uint32_t origin, uint64_t& newPosition) {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  LONG high = static_cast<LONG>(static_cast<uint64_t>(distance) >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(ToHandle(handle_), static_cast<LONG>(static_cast<uint32_t>(distance)),
                             &high, origin);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
  newPosition = (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
  return true;
}

bool GMFile::SetTimes(FileTime creation, FileTime lastAccess, FileTime lastWrite) {
  if (ChangeRefused()) return false;
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  FILETIME c = ToFILETIME(creation), a = ToFILETIME(lastAccess), w = ToFILETIME(lastWrite);
  // A zero time means "leave it": the system would otherwise stamp 1601.
  return SetFileTime(ToHandle(handle_), creation.value ? &c : nullptr,
                     lastAccess.value ? &a : nullptr, lastWrite.value ? &w : nullptr) != FALSE;
}

bool GMFile::GetTimes(FileTime& creation, FileTime& lastAccess, FileTime& lastWrite) {
  if (!IsOpen()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  FILETIME c, a, w;
  if (!GetFileTime(ToHandle(handle_), &c, &a, &w)) return false;
  creation = FromFILETIME(c);
  lastAccess = FromFILETIME(a);
  lastWrite = FromFILETIME(w);
  return true;
}


}  // namespace Zavro
