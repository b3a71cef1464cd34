// Tests against the registry itself (Windows only; Wine's registry in the test run):
// throwaway keys and an independent full read of a key, with the system's own calls.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro::test {

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};
using ScopedRegKey = ScopedHandle<RegKeyTraits>;

// A key below ROOT\Software\GmTest that no other run uses (not created here), deleted
// with everything in it at the end, and with it Software\GmTest once no run has a key
// there.
class ThrowawayKey {
 public:
  explicit ThrowawayKey(HKEY root = HKEY_CURRENT_USER) : root_(root) {
    static int count = 0;
    path_ = u"Software\\GmTest\\" + Decimal(GetCurrentProcessId()) + u"_" + Decimal(GetTickCount64()) + u"_" +
            Decimal(++count);
  }
  ~ThrowawayKey() {
    RegDeleteTreeW(root_, W(path_));
    RegDeleteKeyW(root_, W(path_));
    // Fails, as it should, while another run still has its key there.
    RegDeleteKeyW(root_, L"Software\\GmTest");
  }
  ThrowawayKey(const ThrowawayKey&) = delete;
  ThrowawayKey& operator=(const ThrowawayKey&) = delete;

  const std::u16string& path() const { return path_; }
  // The path of a key below it.
  std::u16string Below(const std::u16string& relative) const { return path_ + u"\\" + relative; }

 private:
  HKEY root_;
  std::u16string path_;
};

// A volatile key (kept in memory only) below a throwaway key of its own, where a lasting
// key cannot be created: the registry-write failure tests need. Its parents are created
// lasting first: a volatile key created with missing parents would make them volatile
// too, and every later test's keys below them would fail.
class VolatileKey {
 public:
  VolatileKey() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, W(parent_.path()), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) == ERROR_SUCCESS) {
      RegCloseKey(key);
    }
    if (RegCreateKeyExW(HKEY_CURRENT_USER, W(path()), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
      RegCloseKey(key);
    }
  }
  // Below HKEY_CURRENT_USER.
  std::u16string path() const { return parent_.Below(u"Volatile"); }

 private:
  ThrowawayKey parent_;
};

inline void DumpInto(HKEY key, const std::u16string& name, std::vector<std::u16string>& lines, REGSAM view) {
  static const char16_t kDigits[] = u"0123456789abcdef";
  DWORD subKeys = 0, longestSubKey = 0, values = 0, longestValue = 0, largestData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &longestSubKey, nullptr, &values, &longestValue,
                       &largestData, nullptr, nullptr) != ERROR_SUCCESS) {
    lines.push_back(name + u" <unreadable>");
    return;
  }
  std::vector<wchar_t> buffer(std::max(longestSubKey, longestValue) + 1);
  std::vector<BYTE> data(largestData + 1);
  for (DWORD i = 0; i < values; ++i) {
    DWORD length = static_cast<DWORD>(buffer.size()), size = static_cast<DWORD>(data.size()), type = 0;
    if (RegEnumValueW(key, i, buffer.data(), &length, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
      lines.push_back(name + u" <unreadable value>");
      continue;
    }
    std::u16string line = name + u" \"" + U16(buffer.data(), length) + u"\" " + Decimal(type) + u" ";
    for (DWORD b = 0; b < size; ++b) line += std::u16string{kDigits[data[b] >> 4], kDigits[data[b] & 15]};
    lines.push_back(line);
  }
  for (DWORD i = 0; i < subKeys; ++i) {
    DWORD length = static_cast<DWORD>(buffer.size());
    if (RegEnumKeyExW(key, i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      lines.push_back(name + u" <unreadable key>");
      continue;
    }
    const std::u16string child = name + u"\\" + U16(buffer.data(), length);
    lines.push_back(child);
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, buffer.data(), 0, KEY_READ | view, &sub) != ERROR_SUCCESS) {
      lines.push_back(child + u" <unreadable>");
      continue;
    }
    ScopedRegKey open(sub);
    DumpInto(sub, child, lines, view);
  }
}

// Everything below a key, one sorted line per key and per value (name, type, data in
// hexadecimal); "<missing>" when the key is not there. `view`: KEY_WOW64_32KEY or
// KEY_WOW64_64KEY for one registry view, 0 for the program's own.
inline std::string DumpKey(HKEY root, const std::u16string& path, REGSAM view = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, W(path), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return "<missing>";
  ScopedRegKey open(key);
  std::vector<std::u16string> lines;
  DumpInto(key, u"", lines, view);
  std::sort(lines.begin(), lines.end());
  std::u16string text;
  for (const std::u16string& line : lines) text += line + u"\n";
  return fs::path(text).u8string();
}

}  // namespace Zavro::test
