#include "system/system_error.h"

#include <errno.h>
#include <string.h>

#include "system/encoding.h"

namespace Zavro {

namespace {

thread_local uint32_t t_last_error = kErrorSuccess;

// The errno value that describes a Win32 error, for the system's message text.
int ErrnoFromWin32(uint32_t code) {
  switch (code) {
    case kErrorSuccess: return 0;
    case kErrorFileNotFound:
    case kErrorPathNotFound: return ENOENT;
    case kErrorTooManyOpenFiles: return EMFILE;
    case kErrorAccessDenied:
    case kErrorWriteProtect: return EACCES;
    case kErrorInvalidHandle: return EBADF;
    case kErrorNotEnoughMemory: return ENOMEM;
    case kErrorSharingViolation:
    case kErrorLockViolation:
    case kErrorBusy: return EBUSY;
    case kErrorHandleEof: return ENODATA;
    case kErrorNotSupported: return ENOTSUP;
    case kErrorFileExists:
    case kErrorAlreadyExists: return EEXIST;
    case kErrorInvalidParameter:
    case kErrorInvalidData: return EINVAL;
    case kErrorBrokenPipe: return EPIPE;
    case kErrorDiskFull:
    case kErrorHandleDiskFull: return ENOSPC;
    case kErrorInvalidName: return EINVAL;
    case kErrorNegativeSeek:
    case kErrorSeek: return ESPIPE;
    case kErrorDirNotEmpty: return ENOTEMPTY;
    case kErrorFilenameExcedRange: return ENAMETOOLONG;
    case kErrorDirectory: return ENOTDIR;
    case kErrorNoUnicodeTranslation: return EILSEQ;
    case kErrorCantResolveFilename: return ELOOP;
    case kErrorCancelled: return ECANCELED;
    case kErrorReadFault:
    case kErrorWriteFault: return EIO;
    case kErrorNotReady: return ENXIO;
    default: return -1;
  }
}

}  // namespace

uint32_t LastSystemError() { return t_last_error; }

void SetLastSystemError(uint32_t code) { t_last_error = code; }

std::u16string RawSystemErrorMessage(uint32_t code) { return SystemErrorMessage(code); }

std::u16string SystemErrorMessage(uint32_t code) {
  int error = ErrnoFromWin32(code);
  if (error < 0) return std::u16string();
  char buffer[256] = {};
  // The GNU strerror_r returns the text, which need not be the buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return FromCodePage(std::string(text ? text : ""), kCodePageUtf8);
}

}  // namespace Zavro
