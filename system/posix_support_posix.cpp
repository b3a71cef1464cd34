#include "system/posix_support.h"

#include <errno.h>

#include "system/encoding.h"
#include "system/system_error.h"

namespace Zavro {

std::string NativePath(const std::u16string& path) {
  std::string native = ToUtf8(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

std::u16string FromNativePath(const std::string& path) {
  std::u16string text = FromCodePage(path, kCodePageUtf8);
  for (char16_t& c : text) {
    if (c == u'/') c = u'\\';
  }
  return text;
}

uint32_t Win32ErrorFromErrno(int error) {
  switch (error) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EBUSY:
    case ETXTBSY: return kErrorSharingViolation;
    case EEXIST: return kErrorAlreadyExists;
    case EINVAL: return kErrorInvalidParameter;
    case EPIPE: return kErrorBrokenPipe;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kErrorDiskFull;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case ESPIPE: return kErrorSeek;
    case ELOOP: return kErrorCantResolveFilename;
    case EILSEQ: return kErrorNoUnicodeTranslation;
    case ECANCELED: return kErrorCancelled;
    case ENOTSUP: return kErrorNotSupported;
    case ENXIO:
    case ENODEV: return kErrorNotReady;
    case EIO: return kErrorReadFault;
    default: return kErrorInvalidFunction;
  }
}

void SetLastErrorFromErrno(int error) { SetLastSystemError(Win32ErrorFromErrno(error)); }

bool Succeeded(int result) {
  if (result == 0) return true;
  SetLastErrorFromErrno(errno);
  return false;
}

FileTime FileTimeFromTimespec(const struct timespec& ts) {
  int64_t seconds = static_cast<int64_t>(ts.tv_sec) + static_cast<int64_t>(kFileTimeUnixEpochSeconds);
  if (seconds < 0) return FileTime(0);
  return FileTime(static_cast<uint64_t>(seconds) * kFileTimeTicksPerSecond +
                  static_cast<uint64_t>(ts.tv_nsec) / 100);
}

struct timespec TimespecFromFileTime(FileTime t) {
  struct timespec ts;
  int64_t seconds = static_cast<int64_t>(t.value / kFileTimeTicksPerSecond) -
                    static_cast<int64_t>(kFileTimeUnixEpochSeconds);
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>((t.value % kFileTimeTicksPerSecond) * 100);
  return ts;
}

void TimesFromStatx(const struct statx& st, FileTime& creation, FileTime& lastAccess, FileTime& lastWrite) {
  auto toFileTime = [](const struct statx_timestamp& t) {
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(t.tv_sec);
    ts.tv_nsec = static_cast<long>(t.tv_nsec);
    return FileTimeFromTimespec(ts);
  };
  creation = (st.stx_mask & STATX_BTIME) ? toFileTime(st.stx_btime) : FileTime();
  lastAccess = toFileTime(st.stx_atime);
  lastWrite = toFileTime(st.stx_mtime);
}

uint32_t AttributesFromMode(mode_t mode) {
  uint32_t attributes = S_ISDIR(mode) ? kFileAttributeDirectory : kFileAttributeArchive;
  if ((mode & S_IWUSR) == 0) attributes |= kFileAttributeReadonly;
  if (S_ISLNK(mode)) attributes |= kFileAttributeReparsePoint;
  return attributes;
}

bool StatPath(const std::u16string& path, struct stat& st) {
  return Succeeded(lstat(NativePath(path).c_str(), &st));
}

}  // namespace Zavro
