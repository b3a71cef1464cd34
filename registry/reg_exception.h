// The failure of a registry operation that stops applying registry data: which key,
// whether opening it for writing or reading it failed, and the system error code.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace Zavro {

class GMRegException : public std::exception {
 public:
  // Code 0, empty texts: no failure yet.
  GMRegException() = default;
  GMRegException(uint32_t code, bool writeFlag, std::u16string key)
      : key_(std::move(key)), writeFlag_(writeFlag), code_(code) {}

  // Always "Operate registry failed"; the details are in the fields.
  const char* what() const noexcept override;

  bool SpareFlag() const { return spareFlag_; }
  // The full name of the key (without delete mark) that was being applied.
  const std::u16string& Key() const { return key_; }
  const std::u16string& SecondText() const { return secondText_; }
  uint32_t Number() const { return number_; }
  // True: opening or creating the key failed; false: enumerating or reading it failed.
  bool WriteFlag() const { return writeFlag_; }
  // The Win32 error code of the failing call.
  uint32_t Code() const { return code_; }

 private:
  bool spareFlag_ = false;
  std::u16string key_;
  std::u16string secondText_;
  uint32_t number_ = 0;
  bool writeFlag_ = false;
  uint32_t code_ = 0;
};

}  // namespace Zavro
