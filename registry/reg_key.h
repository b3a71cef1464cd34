// The registry access layer: the one way the apply engine and the installer reach the
// Windows registry. Windows only (reg_key_win.cpp); nothing portable calls it.
//
// Keys are opaque here. A record's 32-bit root value becomes a key with RootKey, by
// sign extension, so 0x80000001 is HKEY_CURRENT_USER on 64-bit builds too. Failures are
// false results with the system's error code in the key object's LastError(); nothing
// throws. Creating a key, setting or deleting a value and deleting a tree are each one
// change of system/change_seam.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "registry/reg_records.h"

namespace Zavro {

// Access rights and view flags (the Win32 values).
constexpr uint32_t kKeyQueryValue = 0x1;
constexpr uint32_t kKeySetValue = 0x2;
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyWrite = 0x20006;
constexpr uint32_t kKeyReadWrite = kKeyRead | kKeyWrite;
constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr uint32_t kKeyWow64_64Key = 0x100;
constexpr uint32_t kKeyWow64_32Key = 0x200;

// An open key or a predefined root (an HKEY).
using RegKey = void*;

RegKey RootKey(uint32_t root);

// The name of a key: the fixed name of a predefined root (HKEY_CLASSES_ROOT to
// HKEY_DYN_DATA and HKEY_PERFORMANCE_TEXT), empty for null, and for any other key its
// kernel path as the system reports it (such as "\REGISTRY\USER\S-1-5-21-...\Software").
std::u16string KeyNameFromHandle(RegKey key);

// One open key, owned: closed by Close and by the destructor.
class GMRegKeyHandle {
 public:
  GMRegKeyHandle() = default;
  ~GMRegKeyHandle() { Close(); }
  GMRegKeyHandle(const GMRegKeyHandle&) = delete;
  GMRegKeyHandle& operator=(const GMRegKeyHandle&) = delete;

  // Opens `subKey` below `parent` with `access`; with `create`, a missing key is created
  // with all access, in the view `access` names (KEY_WOW64_64KEY or KEY_WOW64_32KEY).
  bool OpenKey(RegKey parent, const std::u16string& subKey, uint32_t access, bool create);
  // Writes the value's type and exactly its GetData bytes (the system adds no NUL to
  // text data that lacks one).
  bool SetValue(const std::u16string& name, const GMRegValueRecord& value);
  // A value that is not there counts as deleted.
  bool DeleteValue(const std::u16string& name);
  // Fills `value` with the name, type and data of a value, and the key's full name as
  // its owner key. Data its type's field cannot give back exactly, and a value of type
  // 255, are kept raw (GMRegValueRecord::KeepRawData): a backup always holds the
  // registry's bytes, never a delete mark.
  bool QueryValue(const std::u16string& name, GMRegValueRecord& value);
  // The names of the sub keys and of the values. Access denied to the key's information
  // leaves both lists as they were and counts as success; a name that cannot be read
  // fails it (a backup must not miss one).
  bool EnumKey(std::vector<std::u16string>& subKeyNames, std::vector<std::u16string>& valueNames);
  void Close();

  RegKey Key() const { return key_; }
  // The parent's name, a backslash and the sub key, as given to OpenKey.
  const std::u16string& FullName() const { return full_name_; }
  uint32_t LastError() const { return last_error_; }

 private:
  bool Fail(long code);

  std::u16string full_name_;
  RegKey key_ = nullptr;
  uint32_t last_error_ = 0;
};

// Whether a key exists, probed with KEY_READ in the view `viewFlag` (0 or
// kKeyWow64_64Key): 0 when it does, 2 when it does not, any other error code when it
// cannot be told.
uint32_t ProbeKey(uint32_t root, const std::u16string& path, uint32_t viewFlag = 0);

// Deletes a key with its values and all its sub keys, in the view `viewFlag` (0 or
// kKeyWow64_64Key). A root itself (empty path) is never deleted: false with error 87.
// A key that is not there counts as deleted.
bool DeleteKeyTree(uint32_t root, const std::u16string& path, uint32_t viewFlag, uint32_t& error);

// Writes `text` as a REG_SZ of exactly its units, without a terminating NUL, creating
// the key when missing; the key is opened with KEY_WRITE and `extraAccess`.
bool SetStringValue(uint32_t root, const std::u16string& subKey, const std::u16string& name,
                    const std::u16string& text, uint32_t extraAccess);

// The key below HKEY_CURRENT_USER that holds the installer's per-program numbers: a
// build constant (GM_PROGRAM_NUMBERS_KEY), two pieces of at most 42 units each.
std::u16string ProgramNumbersKey();
// Makes the REG_DWORD `name` of ProgramNumbersKey hold `number`, writing only when it
// is missing or differs. Failures are not reported.
void SetDwordIfDifferent(const std::u16string& name, uint32_t number);

}  // namespace Zavro
