#include <stdlib.h>

#include "test_support.h"

namespace Zavro::test {

namespace {

std::string Utf8(const std::u16string& text) {
  fs::path path(text);
  return path.u8string();
}

}  // namespace

ScopedEnv::ScopedEnv(const char* name, const char16_t* value) : name_(name) {
  if (const char* old = getenv(name)) {
    saved_ = U(old);
    had_ = true;
  }
  if (value != nullptr) {
    setenv(name, Utf8(value).c_str(), 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), Utf8(saved_).c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

}  // namespace Zavro::test
