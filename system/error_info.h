// The record of a failure the installer can explain: a kind whose top four bits name
// a category, and a payload of texts and numbers. Which fields hold what depends on the
// category; records are made and read through the named functions below, never by
// their words:
//   file      text = the path,         word2 = the system error
//   registry  text = the key,          text2 = a second text, word3 = a number,
//                                       word4 = the system error
//   data      word1, word2 = a 64-bit number (an offset or a code), low half first
//   task      text = the verb,         text2 = the command line, word3 = the exit code
//   exception text = the message
#pragma once

#include <cstdint>
#include <string>

namespace Zavro {

// An error kind: a type of its own, so that a kind and a system error (a plain number)
// cannot change places in a call.
enum class ErrorKind : uint32_t {};

constexpr uint32_t kErrorCategoryMask = 0xF0000000;
constexpr uint32_t kErrorCategoryFile = 0x10000000;
constexpr uint32_t kErrorCategoryRegistry = 0x20000000;
constexpr uint32_t kErrorCategoryData = 0x30000000;
constexpr uint32_t kErrorCategoryTask = 0x40000000;
constexpr uint32_t kErrorCategoryException = 0x50000000;

constexpr ErrorKind kErrorNone{0};
constexpr ErrorKind kErrorFileCreate{0x10000001};
constexpr ErrorKind kErrorFileRead{0x10000002};
constexpr ErrorKind kErrorFileWrite{0x10000003};
constexpr ErrorKind kErrorFileDelete{0x10000004};
constexpr ErrorKind kErrorFileExecute{0x10000005};
constexpr ErrorKind kErrorFileTooLargeForFat32{0x10000006};
constexpr ErrorKind kErrorRegistryWrite{0x20000001};
constexpr ErrorKind kErrorRegistryRead{0x20000002};
constexpr ErrorKind kErrorArchiveHeader{0x30000001};
constexpr ErrorKind kErrorEncoder{0x30000002};
constexpr ErrorKind kErrorDecoder{0x30000003};
constexpr ErrorKind kErrorTaskLine{0x40000001};
constexpr ErrorKind kErrorException{0x50000000};

struct ErrorInfo {
  ErrorKind kind = kErrorNone;
  std::u16string text;
  std::u16string text2;
  uint32_t word1 = 0;
  uint32_t word2 = 0;
  uint32_t word3 = 0;
  uint32_t word4 = 0;

  static ErrorInfo File(ErrorKind kind, std::u16string path, uint32_t systemError) {
    ErrorInfo info;
    info.kind = kind;
    info.text = std::move(path);
    info.word2 = systemError;
    return info;
  }
  static ErrorInfo Registry(ErrorKind kind, std::u16string key, std::u16string second, uint32_t number,
                            uint32_t systemError) {
    ErrorInfo info;
    info.kind = kind;
    info.text = std::move(key);
    info.text2 = std::move(second);
    info.word3 = number;
    info.word4 = systemError;
    return info;
  }
  // A data kind with one 64-bit number.
  static ErrorInfo Data(ErrorKind kind, uint64_t number) {
    ErrorInfo info;
    info.kind = kind;
    info.word1 = static_cast<uint32_t>(number);
    info.word2 = static_cast<uint32_t>(number >> 32);
    return info;
  }
  static ErrorInfo Task(std::u16string verb, std::u16string commandLine, uint32_t exitCode) {
    ErrorInfo info;
    info.kind = kErrorTaskLine;
    info.text = std::move(verb);
    info.text2 = std::move(commandLine);
    info.word3 = exitCode;
    return info;
  }
  static ErrorInfo Exception(std::u16string message) {
    ErrorInfo info;
    info.kind = kErrorException;
    info.text = std::move(message);
    return info;
  }

  bool IsSet() const { return kind != kErrorNone; }
  uint32_t Category() const { return static_cast<uint32_t>(kind) & kErrorCategoryMask; }
  // The system's error of a file or registry record; 0 for the other categories.
  uint32_t SystemError() const {
    return Category() == kErrorCategoryFile ? word2 : Category() == kErrorCategoryRegistry ? word4 : 0;
  }
  // A file record's path, a registry record's key, a task's verb, an exception's message.
  const std::u16string& Subject() const { return text; }
  // A task's command line, a registry record's second text.
  const std::u16string& Detail() const { return text2; }
  // A task's exit code, a registry record's number.
  uint32_t Number() const { return word3; }
  // A data record's number.
  uint64_t Value64() const { return (static_cast<uint64_t>(word2) << 32) | word1; }
};

}  // namespace Zavro
