#include "test_support.h"

#include <vector>

#include "system/windows_support.h"

namespace Zavro::test {

ScopedEnv::ScopedEnv(const char* name, const char16_t* value) : name_(name) {
  const std::u16string wide(name_.begin(), name_.end());
  const DWORD size = GetEnvironmentVariableW(W(wide), nullptr, 0);
  if (size != 0) {
    std::vector<wchar_t> buffer(size);
    saved_ = U16(buffer.data(), GetEnvironmentVariableW(W(wide), buffer.data(), size));
    had_ = true;
  }
  SetEnvironmentVariableW(W(wide), value != nullptr ? W(value) : nullptr);
}

ScopedEnv::~ScopedEnv() {
  const std::u16string wide(name_.begin(), name_.end());
  SetEnvironmentVariableW(W(wide), had_ ? W(saved_) : nullptr);
}

}  // namespace Zavro::test
