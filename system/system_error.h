// The system error of a failed call.
//
// Services report failure by their result (false, an empty text, 0) and leave the
// Win32 error number of the failing system call behind. Read it with
// LastSystemError() right after the failing call, before any other call: on Windows
// it is the system's own last error, on POSIX a per-thread value that the failing
// service set from errno, translated to the Win32 number.
#pragma once

#include <cstdint>
#include <string>

namespace Zavro {

// Win32 error numbers, the same on every target.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorInvalidData = 13;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorWriteProtect = 19;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorSeek = 25;
constexpr uint32_t kErrorWriteFault = 29;
constexpr uint32_t kErrorReadFault = 30;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorLockViolation = 33;
constexpr uint32_t kErrorHandleEof = 38;
constexpr uint32_t kErrorHandleDiskFull = 39;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorBrokenPipe = 109;
constexpr uint32_t kErrorOpenFailed = 110;
constexpr uint32_t kErrorBufferOverflow = 111;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorNegativeSeek = 131;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorBusy = 170;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorFilenameExcedRange = 206;
constexpr uint32_t kErrorFileTooLarge = 223;
constexpr uint32_t kErrorDirectory = 267;
constexpr uint32_t kErrorNoUnicodeTranslation = 1113;
constexpr uint32_t kErrorCantResolveFilename = 1921;
constexpr uint32_t kErrorCancelled = 1223;
constexpr uint32_t kErrorNotAReparsePoint = 4390;

// The error left by the last failing call of this thread.
uint32_t LastSystemError();

// Sets the value LastSystemError() returns; services use it to report their own
// failures with a Win32 number (and callers to clear it).
void SetLastSystemError(uint32_t code);

// The system's text for an error number, without trailing line breaks: the
// FormatMessageW text on Windows, strerror of the matching errno on POSIX. Empty when
// the system has no text for it.
std::u16string SystemErrorMessage(uint32_t code);
// The same text exactly as the system gives it (on Windows with its closing line break).
std::u16string RawSystemErrorMessage(uint32_t code);

}  // namespace Zavro
