#include "registry/reg_key.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "gm_config.h"
#include "system/change_seam.h"
#include "system/windows_support.h"

namespace Zavro {

namespace {

HKEY H(RegKey key) { return static_cast<HKEY>(key); }

struct LibraryTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { FreeLibrary(h); }
};

struct KeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};

// A key path or value name the system would cut at a NUL names another key or value.
bool HasNul(const std::u16string& text) { return text.find(u'\0') != std::u16string::npos; }

struct PredefinedName {
  uint32_t root;
  const char16_t* name;
};
constexpr PredefinedName kPredefinedNames[] = {
    {kHKeyClassesRoot, u"HKEY_CLASSES_ROOT"},     {kHKeyCurrentUser, u"HKEY_CURRENT_USER"},
    {kHKeyLocalMachine, u"HKEY_LOCAL_MACHINE"},   {kHKeyUsers, u"HKEY_USERS"},
    {kHKeyPerformanceData, u"HKEY_PERFORMANCE_DATA"}, {kHKeyCurrentConfig, u"HKEY_CURRENT_CONFIG"},
    {kHKeyDynData, u"HKEY_DYN_DATA"},             {0x80000050, u"HKEY_PERFORMANCE_TEXT"},
};

// For text types the system adds a NUL unit to data whose last unit is not NUL when
// the unit after the data is one (reading past the data to find out): data given with
// a non-NUL unit after it is stored exactly as it is.
LONG SetExactValue(HKEY key, const std::u16string& name, uint32_t type, const unsigned char* data, size_t size) {
  std::vector<unsigned char> padded(data, data + size);
  padded.push_back(0xFF);
  padded.push_back(0xFF);
  return RegSetValueExW(key, W(name), 0, type, padded.data(), static_cast<DWORD>(size));
}

using ZwQueryKeyFunction = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
constexpr int kKeyNameInformation = 3;
constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023);

}  // namespace

RegKey RootKey(uint32_t root) {
  return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(root)));
}

std::u16string KeyNameFromHandle(RegKey key) {
  if (key == nullptr) return std::u16string();
  for (const PredefinedName& predefined : kPredefinedNames) {
    if (key == RootKey(predefined.root)) return predefined.name;
  }
  ScopedHandle<LibraryTraits> ntdll(LoadLibraryW(L"ntdll.dll"));
  if (!ntdll) return std::u16string();
  auto query = reinterpret_cast<ZwQueryKeyFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll.Get(), "ZwQueryKey")));
  if (query == nullptr) return std::u16string();
  ULONG length = 0;
  if (query(key, kKeyNameInformation, nullptr, 0, &length) != kStatusBufferTooSmall) return std::u16string();
  // KEY_NAME_INFORMATION: a 4-byte length in bytes, then the name's units.
  std::vector<unsigned char> buffer(length + 2);
  if (query(key, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &length) != 0 ||
      length < 4 || length > buffer.size()) {
    return std::u16string();
  }
  ULONG nameBytes = 0;
  memcpy(&nameBytes, buffer.data(), 4);
  nameBytes = std::min<ULONG>(nameBytes, length - 4);
  std::u16string name(nameBytes / 2, u'\0');
  memcpy(&name[0], buffer.data() + 4, name.size() * 2);
  return name;
}

bool GMRegKeyHandle::Fail(long code) {
  last_error_ = static_cast<uint32_t>(code);
  return false;
}

bool GMRegKeyHandle::OpenKey(RegKey parent, const std::u16string& subKey, uint32_t access, bool create) {
  Close();
  full_name_ = KeyNameFromHandle(parent) + u"\\" + subKey;
  if (HasNul(subKey)) return Fail(ERROR_INVALID_PARAMETER);
  HKEY key = nullptr;
  LONG code = RegOpenKeyExW(H(parent), W(subKey), 0, access, &key);
  if (code == ERROR_FILE_NOT_FOUND && create) {
    if (ChangeRefused()) return Fail(static_cast<long>(GetLastError()));
    // Created in the view it was looked for in.
    const REGSAM all = KEY_ALL_ACCESS | (access & (KEY_WOW64_64KEY | KEY_WOW64_32KEY));
    code = RegCreateKeyExW(H(parent), W(subKey), 0, nullptr, REG_OPTION_NON_VOLATILE, all, nullptr, &key,
                           nullptr);
  }
  if (code != ERROR_SUCCESS) return Fail(code);
  key_ = key;
  return true;
}

bool GMRegKeyHandle::SetValue(const std::u16string& name, const GMRegValueRecord& value) {
  if (HasNul(name)) return Fail(ERROR_INVALID_PARAMETER);
  if (ChangeRefused()) return Fail(static_cast<long>(GetLastError()));
  const std::vector<unsigned char> data = value.GetData();
  const LONG code = SetExactValue(H(key_), name, value.type, data.data(), data.size());
  return code == ERROR_SUCCESS || Fail(code);
}

bool GMRegKeyHandle::DeleteValue(const std::u16string& name) {
  if (HasNul(name)) return Fail(ERROR_INVALID_PARAMETER);
  if (ChangeRefused()) return Fail(static_cast<long>(GetLastError()));
  const LONG code = RegDeleteValueW(H(key_), W(name));
  if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) return Fail(code);
  last_error_ = 0;
  return true;
}

bool GMRegKeyHandle::QueryValue(const std::u16string& name, GMRegValueRecord& value) {
  if (HasNul(name)) return Fail(ERROR_INVALID_PARAMETER);
  DWORD type = 0;
  DWORD size = 0;
  LONG code = RegQueryValueExW(H(key_), W(name), nullptr, &type, nullptr, &size);
  std::vector<unsigned char> data;
  // The value may grow between the two calls.
  for (int attempt = 0; code == ERROR_SUCCESS || code == ERROR_MORE_DATA; ++attempt) {
    if (attempt == 8) break;
    data.resize(size);
    code = RegQueryValueExW(H(key_), W(name), nullptr, &type, data.empty() ? nullptr : data.data(), &size);
    if (code == ERROR_SUCCESS) break;
  }
  if (code != ERROR_SUCCESS) return Fail(code);
  data.resize(size);
  value.type = type;
  value.name = name;
  value.ownerKey = full_name_;
  static const unsigned char kNone = 0;
  const unsigned char* bytes = data.empty() ? &kNone : data.data();
  // Type 255 would make SetRawData set the delete mark.
  if (type == kRegDeletedValue || !value.SetRawData(bytes, size)) value.KeepRawData(bytes, size);
  return true;
}

bool GMRegKeyHandle::EnumKey(std::vector<std::u16string>& subKeyNames, std::vector<std::u16string>& valueNames) {
  wchar_t className[260];
  DWORD classLength = 260;
  DWORD subKeys = 0, longestSubKey = 0, values = 0, longestValue = 0;
  LONG code = RegQueryInfoKeyW(H(key_), className, &classLength, nullptr, &subKeys, &longestSubKey, nullptr,
                               &values, &longestValue, nullptr, nullptr, nullptr);
  if (code == ERROR_ACCESS_DENIED) {
    last_error_ = static_cast<uint32_t>(code);
    return true;
  }
  if (code != ERROR_SUCCESS) return Fail(code);
  subKeyNames.clear();
  valueNames.clear();
  std::vector<wchar_t> name(std::max(longestSubKey, longestValue) + 1);
  // Fewer names than counted (some went meanwhile) is the end; any other failure means
  // a name that cannot be listed.
  for (DWORD i = 0; i < subKeys; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    code = RegEnumKeyExW(H(key_), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (code == ERROR_NO_MORE_ITEMS) break;
    if (code != ERROR_SUCCESS) return Fail(code);
    subKeyNames.push_back(U16(name.data(), length));
  }
  for (DWORD i = 0; i < values; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    code = RegEnumValueW(H(key_), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (code == ERROR_NO_MORE_ITEMS) break;
    if (code != ERROR_SUCCESS) return Fail(code);
    valueNames.push_back(U16(name.data(), length));
  }
  last_error_ = 0;
  return true;
}

void GMRegKeyHandle::Close() {
  if (key_ != nullptr) RegCloseKey(H(key_));
  key_ = nullptr;
  last_error_ = 0;
}

uint32_t ProbeKey(uint32_t root, const std::u16string& path, uint32_t viewFlag) {
  if (HasNul(path)) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  const LONG code = RegOpenKeyExW(H(RootKey(root)), W(path), 0, KEY_READ | viewFlag, &key);
  if (code == ERROR_SUCCESS) RegCloseKey(key);
  return static_cast<uint32_t>(code);
}

bool DeleteKeyTree(uint32_t root, const std::u16string& path, uint32_t viewFlag, uint32_t& error) {
  error = ERROR_SUCCESS;
  if (path.find_first_not_of(u"\\") == std::u16string::npos || HasNul(path)) {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }
  HKEY key = nullptr;
  LONG code = RegOpenKeyExW(H(RootKey(root)), W(path), 0,
                            DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | viewFlag, &key);
  if (code == ERROR_FILE_NOT_FOUND) return true;
  if (code == ERROR_SUCCESS && ChangeRefused()) {
    RegCloseKey(key);
    error = GetLastError();
    return false;
  }
  if (code == ERROR_SUCCESS) {
    ScopedHandle<KeyTraits> open(key);
    code = RegDeleteTreeW(key, nullptr);
  }
  if (code == ERROR_SUCCESS) code = RegDeleteKeyExW(H(RootKey(root)), W(path), viewFlag, 0);
  if (code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND) return true;
  error = static_cast<uint32_t>(code);
  return false;
}

bool SetStringValue(uint32_t root, const std::u16string& subKey, const std::u16string& name,
                    const std::u16string& text, uint32_t extraAccess) {
  GMRegKeyHandle key;
  if (HasNul(name) || !key.OpenKey(RootKey(root), subKey, KEY_WRITE | extraAccess, true)) return false;
  return SetExactValue(H(key.Key()), name, REG_SZ, reinterpret_cast<const unsigned char*>(text.data()),
                       text.size() * 2) == ERROR_SUCCESS;
}

std::u16string ProgramNumbersKey() { return GM_PROGRAM_NUMBERS_KEY; }

void SetDwordIfDifferent(const std::u16string& name, uint32_t number) {
  GMRegKeyHandle key;
  if (HasNul(name) ||
      !key.OpenKey(RootKey(kHKeyCurrentUser), ProgramNumbersKey(), KEY_QUERY_VALUE | KEY_SET_VALUE, true)) {
    return;
  }
  DWORD type = 0;
  DWORD stored = 0;
  DWORD size = sizeof stored;
  if (RegQueryValueExW(H(key.Key()), W(name), nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof stored && stored == number) {
    return;
  }
  DWORD value = number;
  RegSetValueExW(H(key.Key()), W(name), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace Zavro
