// Registry key and value records: what the registry text, the record form and the
// apply engine exchange. Both are plain values, copied freely; they make no system
// call, so registry numbers are the Win32 ones as constants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/io/buffer.h"

namespace Zavro {

// Registry value types.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegDwordBigEndian = 5;
constexpr uint32_t kRegLink = 6;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;
// Not a registry type: the record form's mark of a value to be deleted.
constexpr uint32_t kRegDeletedValue = 255;

// Predefined root key handle values.
constexpr uint32_t kHKeyClassesRoot = 0x80000000;
constexpr uint32_t kHKeyCurrentUser = 0x80000001;
constexpr uint32_t kHKeyLocalMachine = 0x80000002;
constexpr uint32_t kHKeyUsers = 0x80000003;
constexpr uint32_t kHKeyPerformanceData = 0x80000004;
constexpr uint32_t kHKeyCurrentConfig = 0x80000005;
constexpr uint32_t kHKeyDynData = 0x80000006;

// The root names key texts may use. Order matters: by name the first entry whose name
// begins the text wins; by handle the first equal handle wins, so the long names are
// the ones written. HKEY_CLASSES_ROOT is deliberately absent.
struct RegRootName {
  uint32_t handle;
  const char16_t* name;
  size_t length;
};
extern const RegRootName kRegRootNames[8];

// The table name of a root handle; null for a handle the table does not have.
const char16_t* RegRootNameOf(uint32_t root);

// The text of the std::invalid_argument that the registry writers throw for a value
// they cannot write: "保存注册表值出错" in code page 936.
extern const char kRegSaveValueFailed[];

// Whether a value of this type keeps its data in a field of its own (text for 1 and 2,
// dword for 4 and 5, strings for 7, qword for 11) rather than in the bytes field.
bool HasOwnDataField(uint32_t type);

class GMRegValueRecord {
 public:
  // The registry data bytes of the value, as the registry stores them; only the field
  // that belongs to the type is read (text for 1 and 2, dword for 4 and 5, strings for
  // 7, qword for 11, bytes for every other type), and the bytes field for any type when
  // rawData is set.
  std::vector<unsigned char> GetData() const;

  // Sets the data from registry data bytes; the type must be set first, and GetData
  // then gives exactly these bytes. Type 255 sets the delete mark instead. Text (types
  // 1, 2) is appended without its terminating NUL unit; a multi-string drops a final
  // string that has no NUL after it. Bytes that the type's field cannot give back
  // exactly are kept raw (KeepRawData): text bytes without a final NUL unit or of odd
  // count, multi-string bytes such as a final string without its NUL, qword data of
  // other than 8 bytes. Fails, changing nothing, only for types 4 and 5 with other
  // than 4 bytes. A null `bytes` changes nothing and succeeds.
  bool SetRawData(const unsigned char* bytes, uint32_t count);

  // Makes the data exactly these bytes whatever the type: a copy goes into the bytes
  // field and rawData is set. For registry data that the type's own field cannot
  // hold, such as REG_DWORD data of other than 4 bytes, which the registry accepts.
  void KeepRawData(const unsigned char* bytes, uint32_t count);

  // The key the value was read from; only filled when reading the registry.
  std::u16string ownerKey;
  uint32_t type = kRegSz;
  // Empty for the key's default value.
  std::u16string name;
  uint32_t dword = 0;
  std::vector<std::u16string> strings;
  std::u16string text;
  uint64_t qword = 0;
  GMBuffer<unsigned char> bytes;
  bool deleteMark = false;
  // The data is the bytes field whatever the type (see KeepRawData).
  bool rawData = false;

 private:
  void CopyBytes(const unsigned char* bytes, uint32_t count);
};

class GMRegKeyRecord {
 public:
  // Sets mark, root and path from a key name such as "-HKCU\Software\X": a leading
  // "-" is the delete mark, then a root name of the table, either alone or followed by
  // a backslash and the path. False, with root and path unchanged, when no root name
  // matches ("HKCUx\Software" and "HKEY_CURRENT_USER_LOCAL_SETTINGS" name none).
  bool ParseKeyName(const std::u16string& text);

  // The root's long name, "\" and the path (none when the path is empty); "-" in
  // front when `withMark` and the delete mark are set. Empty for a root that the
  // table does not have.
  std::u16string FullKeyName(bool withMark) const;

  std::vector<GMRegValueRecord> values;
  std::vector<GMRegKeyRecord> subKeys;
  uint32_t root = kHKeyCurrentUser;
  // Below the root, without a leading backslash; empty for the root itself.
  std::u16string path;
  bool deleteMark = false;
};

}  // namespace Zavro
