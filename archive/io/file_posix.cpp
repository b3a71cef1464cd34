#include "archive/io/file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "system/change_seam.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/posix_support.h"
#include "system/system_error.h"

// Share modes have no meaning here and are ignored; everything else follows the
// Windows call.

namespace Zavro {

namespace {

constexpr uint32_t kFileReadData = 0x1;
constexpr uint32_t kFileWriteData = 0x2;
constexpr uint32_t kFileAppendData = 0x4;
constexpr uint32_t kGenericAll = 0x10000000;

int Fd(intptr_t handle) { return static_cast<int>(handle); }

bool Fail(uint32_t error) {
  SetLastSystemError(error);
  return false;
}

bool FailErrno() {
  SetLastErrorFromErrno(errno);
  return false;
}

}  // namespace

GMFile::~GMFile() {
  if (IsOpen()) close(Fd(handle_));
}

// On this system a path rooted at a separator is absolute too.
bool GMFile::IsAbsoluteForCreation(const std::u16string& path) {
  return IsAbsolutePath(path) || (!path.empty() && (path[0] == u'\\' || path[0] == u'/'));
}

bool GMFile::OpenHandle(const std::u16string& path, uint32_t access, uint32_t share,
                        uint32_t disposition, uint32_t flagsAndAttributes) {
  const bool wantRead = (access & (kGenericRead | kGenericAll | kFileReadData)) != 0;
  const bool wantWrite =
      (access & (kGenericWrite | kGenericAll | kFileWriteData | kFileAppendData)) != 0;
  const bool readOnlyAttribute = (flagsAndAttributes & kFileAttributeReadonly) != 0;

  int flags = O_CLOEXEC;
  switch (disposition) {
    case kCreateNew: flags |= O_CREAT | O_EXCL; break;
    case kCreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case kOpenExisting: break;
    case kOpenAlways: flags |= O_CREAT; break;
    case kTruncateExisting:
      if (!wantWrite) return Fail(kErrorInvalidParameter);
      flags |= O_TRUNC;
      break;
    default: return Fail(kErrorInvalidParameter);
  }

  const std::string native = NativePath(path);
  struct stat st;
  const bool existed = stat(native.c_str(), &st) == 0;
  if (existed) {
    if (S_ISDIR(st.st_mode)) {
      // A folder opens only for its attributes and times, as on Windows.
      if ((flagsAndAttributes & kFileFlagBackupSemantics) == 0 || disposition == kCreateAlways ||
          disposition == kTruncateExisting) {
        return Fail(kErrorAccessDenied);
      }
      if (disposition == kCreateNew) return Fail(kErrorFileExists);
      int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (fd < 0) return FailErrno();
      handle_ = fd;
      return true;
    }
    if (disposition == kCreateNew) return Fail(kErrorFileExists);
    // The read-only attribute forbids writing whoever asks, the administrator included.
    const bool writes = wantWrite || disposition == kCreateAlways || disposition == kTruncateExisting;
    if (writes && (st.st_mode & S_IWUSR) == 0) return Fail(kErrorAccessDenied);
  }

  if (wantRead && wantWrite) {
    flags |= O_RDWR;
  } else if (wantWrite) {
    flags |= O_WRONLY;
  } else {
    flags |= O_RDONLY;
    // Truncation needs a writable descriptor even when the caller only reads.
    if (flags & O_TRUNC) flags = (flags & ~O_RDONLY) | O_RDWR;
  }
  mode_t mode = readOnlyAttribute ? 0444 : 0666;
  int fd = open(native.c_str(), flags, mode);
  if (fd < 0) {
    int error = errno;
    if (error == ENOENT && !IsDirectory(DirectoryPart(path)) && DirectoryPart(path) != path) {
      return Fail(kErrorPathNotFound);
    }
    SetLastErrorFromErrno(error);
    return false;
  }
  if (existed && disposition == kCreateAlways && readOnlyAttribute) fchmod(fd, st.st_mode & ~0222);
  handle_ = fd;
  // Like the system: opening an existing file with a creating disposition succeeds and
  // says so.
  SetLastSystemError(existed && (disposition == kCreateAlways || disposition == kOpenAlways)
                         ? kErrorAlreadyExists
                         : kErrorSuccess);
  return true;
}

bool GMFile::Read(void* buffer, uint32_t length, uint32_t& bytesRead) {
  if (buffer == nullptr) return Fail(kErrorInvalidParameter);
  if (!IsOpen()) return Fail(kErrorInvalidHandle);
  bytesRead = 0;
  auto* out = static_cast<unsigned char*>(buffer);
  uint32_t total = 0;
  while (total < length) {
    ssize_t n = read(Fd(handle_), out + total, length - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EISDIR) return Fail(kErrorInvalidFunction);
      return FailErrno();
    }
    if (n == 0) break;
    total += static_cast<uint32_t>(n);
  }
  bytesRead = total;
  return true;
}

bool GMFile::Write(const void* buffer, uint32_t length, uint32_t& bytesWritten) {
  bytesWritten = 0;
  if (buffer == nullptr) return Fail(kErrorInvalidParameter);
  if (!IsOpen()) return Fail(kErrorInvalidHandle);
  if (ChangeRefused()) return false;
  const auto* in = static_cast<const unsigned char*>(buffer);
  uint32_t total = 0;
  while (total < length) {
    ssize_t n = write(Fd(handle_), in + total, length - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      bytesWritten = total;
      SetLastErrorFromErrno(error == EBADF ? EACCES : error);
      return false;
    }
    total += static_cast<uint32_t>(n);
  }
  bytesWritten = total;
  return true;
}

bool GMFile::Close() {
  if (!IsOpen()) return true;
  // The descriptor is released even when close reports an error: never close it twice.
  int rc = close(Fd(handle_));
  handle_ = kClosed;
  if (rc != 0 && errno != EINTR) return FailErrno();
  return true;
}

bool GMFile::GetSize(uint64_t& size) {
  if (!IsOpen()) return Fail(kErrorInvalidHandle);
  struct stat st;
  if (fstat(Fd(handle_), &st) != 0) return FailErrno();
  size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  return true;
}

bool GMFile::Seek(int64_t distance, uint32_t origin, uint64_t& newPosition) {
  if (!IsOpen()) return Fail(kErrorInvalidHandle);
  int whence;
  switch (origin) {
    case kFileBegin: whence = SEEK_SET; break;
    case kFileCurrent: whence = SEEK_CUR; break;
    case kFileEnd: whence = SEEK_END; break;
    default: return Fail(kErrorInvalidParameter);
  }
  off_t result = lseek(Fd(handle_), static_cast<off_t>(distance), whence);
  if (result < 0) return errno == EINVAL ? Fail(kErrorNegativeSeek) : FailErrno();
  newPosition = static_cast<uint64_t>(result);
  return true;
}

bool GMFile::SetTimes(FileTime creation, FileTime lastAccess, FileTime lastWrite) {
  if (!IsOpen()) return Fail(kErrorInvalidHandle);
  if (ChangeRefused()) return false;
  struct timespec times[2];
  times[0] = TimespecFromFileTime(lastAccess);
  times[1] = TimespecFromFileTime(lastWrite);
  if (lastAccess.value == 0) times[0].tv_nsec = UTIME_OMIT;
  if (lastWrite.value == 0) times[1].tv_nsec = UTIME_OMIT;
  if (futimens(Fd(handle_), times) != 0) return FailErrno();
  return true;
}

bool GMFile::GetTimes(FileTime& creation, FileTime& lastAccess, FileTime& lastWrite) {
  if (!IsOpen()) return Fail(kErrorInvalidHandle);
  struct statx st;
  if (statx(Fd(handle_), "", AT_EMPTY_PATH, kStatxTimes, &st) != 0) return FailErrno();
  TimesFromStatx(st, creation, lastAccess, lastWrite);
  return true;
}

}  // namespace Zavro
