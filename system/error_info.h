// The record of a failure the installer can explain: a kind whose top four bits name
// a category, and a payload of texts and numbers (which fields a kind uses is listed
// with the kinds).
#pragma once

#include <cstdint>
#include <string>

namespace Zavro {

// Categories.
constexpr uint32_t kErrorCategoryMask = 0xF0000000;
constexpr uint32_t kErrorCategoryFile = 0x10000000;
constexpr uint32_t kErrorCategoryRegistry = 0x20000000;
constexpr uint32_t kErrorCategoryData = 0x30000000;
constexpr uint32_t kErrorCategoryTask = 0x40000000;
constexpr uint32_t kErrorCategoryException = 0x50000000;

// Kinds. File kinds carry a path and the system error; data kinds a 64-bit number.
constexpr uint32_t kErrorFileCreate = 0x10000001;
constexpr uint32_t kErrorFileRead = 0x10000002;
constexpr uint32_t kErrorFileWrite = 0x10000003;
constexpr uint32_t kErrorFileDelete = 0x10000004;
constexpr uint32_t kErrorFileExecute = 0x10000005;
constexpr uint32_t kErrorFileTooLargeForFat32 = 0x10000006;
constexpr uint32_t kErrorRegistryWrite = 0x20000001;
constexpr uint32_t kErrorRegistryRead = 0x20000002;
constexpr uint32_t kErrorArchiveHeader = 0x30000001;
constexpr uint32_t kErrorEncoder = 0x30000002;
constexpr uint32_t kErrorDecoder = 0x30000003;
constexpr uint32_t kErrorTaskLine = 0x40000001;
constexpr uint32_t kErrorException = 0x50000000;

struct ErrorInfo {
  uint32_t kind = 0;
  // Word 1 as a text (a path, a key, a verb or an exception message).
  std::u16string text;
  // Word 2 as a text (a second key text or a command line).
  std::u16string text2;
  // The numeric words.
  uint32_t word1 = 0;
  uint32_t word2 = 0;
  uint32_t word3 = 0;
  uint32_t word4 = 0;

  // A file kind: the path and the system error (word 2).
  static ErrorInfo File(uint32_t kind, std::u16string path, uint32_t systemError) {
    ErrorInfo info;
    info.kind = kind;
    info.text = std::move(path);
    info.word2 = systemError;
    return info;
  }
  // A kind with two numbers (words 1 and 2).
  static ErrorInfo Numbers(uint32_t kind, uint32_t number1, uint32_t number2) {
    ErrorInfo info;
    info.kind = kind;
    info.word1 = number1;
    info.word2 = number2;
    return info;
  }
  // A kind with one 64-bit number, low half in word 1.
  static ErrorInfo Number64(uint32_t kind, uint64_t number) {
    return Numbers(kind, static_cast<uint32_t>(number), static_cast<uint32_t>(number >> 32));
  }

  uint32_t Category() const { return kind & kErrorCategoryMask; }
  uint64_t Value64() const { return (static_cast<uint64_t>(word2) << 32) | word1; }
};

}  // namespace Zavro
