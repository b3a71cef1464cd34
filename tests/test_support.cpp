#include "test_support.h"

#include "system/system_error.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>

namespace Zavro::test {

std::u16string SysPath(const fs::path& path) {
  std::u16string s = path.u16string();
  for (auto& c : s) {
    if (c == u'/') c = u'\\';
  }
  return s;
}

fs::path FsPath(const std::u16string& path) {
  std::u16string s = path;
  for (auto& c : s) {
    if (c == fs::path::preferred_separator || c == u'\\') c = static_cast<char16_t>(fs::path::preferred_separator);
  }
  return fs::path(s);
}

ScratchDir::ScratchDir() {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() /
                         ("gmtest-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a scratch folder");
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Tests leave read-only files behind; make everything writable before removing it.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::u16string ScratchDir::Join(const std::u16string& relative) const {
  return path() + u"\\" + relative;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Utf8(const std::u16string& text) { return fs::path(text).u8string(); }

std::u16string U(const char* utf8) {
  std::u16string out;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8);
  while (*p) {
    uint32_t cp;
    int extra;
    if (*p < 0x80) { cp = *p; extra = 0; }
    else if ((*p >> 5) == 6) { cp = *p & 0x1F; extra = 1; }
    else if ((*p >> 4) == 14) { cp = *p & 0x0F; extra = 2; }
    else { cp = *p & 0x07; extra = 3; }
    ++p;
    for (int i = 0; i < extra && *p; ++i, ++p) cp = (cp << 6) | (*p & 0x3F);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::u16string Decimal(uint64_t value) {
  std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

bool StartsWithText(const std::u16string& text, const std::u16string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::u16string SystemText(uint32_t code) { return RawSystemErrorMessage(code); }

}  // namespace Zavro::test
