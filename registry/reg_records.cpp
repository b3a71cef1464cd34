#include "registry/reg_records.h"

#include <cstring>
#include <new>

namespace Zavro {

const char kRegSaveValueFailed[] =
    "\xB1\xA3\xB4\xE6\xD7\xA2\xB2\xE1\xB1\xED\xD6\xB5\xB3\xF6\xB4\xED";

const RegRootName kRegRootNames[8] = {
    {kHKeyCurrentUser, u"HKEY_CURRENT_USER", 17},
    {kHKeyCurrentUser, u"HKCU", 4},
    {kHKeyCurrentConfig, u"HKEY_CURRENT_CONFIG", 19},
    {kHKeyUsers, u"HKEY_USERS", 10},
    {kHKeyLocalMachine, u"HKEY_LOCAL_MACHINE", 18},
    {kHKeyLocalMachine, u"HKLM", 4},
    {kHKeyPerformanceData, u"HKEY_PERFORMANCE_DATA", 21},
    {kHKeyDynData, u"HKEY_DYN_DATA", 13},
};

const char16_t* RegRootNameOf(uint32_t root) {
  for (const RegRootName& entry : kRegRootNames) {
    if (entry.handle == root) return entry.name;
  }
  return nullptr;
}

namespace {

void AppendUnits(std::vector<unsigned char>& out, const std::u16string& text) {
  for (char16_t unit : text) {
    out.push_back(static_cast<unsigned char>(unit & 0xFF));
    out.push_back(static_cast<unsigned char>(unit >> 8));
  }
  out.push_back(0);
  out.push_back(0);
}

char16_t UnitAt(const unsigned char* bytes, uint32_t index) {
  return static_cast<char16_t>(bytes[2 * index] | bytes[2 * index + 1] << 8);
}

}  // namespace

std::vector<unsigned char> GMRegValueRecord::GetData() const {
  std::vector<unsigned char> out;
  if (rawData) {
    if (bytes.Length() != 0) out.assign(bytes.Data(), bytes.Data() + bytes.Length());
    return out;
  }
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
      AppendUnits(out, text);
      break;
    case kRegDword:
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(dword >> (8 * i)));
      break;
    case kRegDwordBigEndian:
      for (int i = 3; i >= 0; --i) out.push_back(static_cast<unsigned char>(dword >> (8 * i)));
      break;
    case kRegMultiSz:
      for (const std::u16string& s : strings) AppendUnits(out, s);
      out.push_back(0);
      out.push_back(0);
      break;
    case kRegQword:
      for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(qword >> (8 * i)));
      break;
    default:
      if (bytes.Length() != 0) out.assign(bytes.Data(), bytes.Data() + bytes.Length());
      break;
  }
  return out;
}

bool HasOwnDataField(uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegDword || type == kRegDwordBigEndian ||
         type == kRegMultiSz || type == kRegQword;
}

bool GMRegValueRecord::SetRawData(const unsigned char* data, uint32_t count) {
  if (data == nullptr) return true;
  const uint32_t units = count / 2;
  switch (type) {
    case kRegDeletedValue:
      deleteMark = true;
      return true;
    case kRegSz:
    case kRegExpandSz:
      // Only text followed by one NUL unit comes back from the text field.
      if (count % 2 != 0 || units == 0 || UnitAt(data, units - 1) != 0) {
        KeepRawData(data, count);
        return true;
      }
      for (uint32_t i = 0; i + 1 < units; ++i) text.push_back(UnitAt(data, i));
      rawData = false;
      return true;
    case kRegDword:
      if (count != 4) return false;
      dword = static_cast<uint32_t>(data[0] | data[1] << 8 | data[2] << 16) |
              static_cast<uint32_t>(data[3]) << 24;
      rawData = false;
      return true;
    case kRegDwordBigEndian:
      if (count != 4) return false;
      dword = static_cast<uint32_t>(data[3] | data[2] << 8 | data[1] << 16) |
              static_cast<uint32_t>(data[0]) << 24;
      rawData = false;
      return true;
    case kRegMultiSz: {
      strings.clear();
      rawData = false;
      std::u16string current;
      // The last unit is the list's terminator, never a separator.
      for (uint32_t i = 0; i + 1 < units; ++i) {
        const char16_t unit = UnitAt(data, i);
        if (unit == 0) {
          strings.push_back(current);
          current.clear();
        } else {
          current.push_back(unit);
        }
      }
      const std::vector<unsigned char> back = GetData();
      if (back.size() != count || std::memcmp(back.data(), data, count) != 0) {
        KeepRawData(data, count);
      }
      return true;
    }
    case kRegQword:
      qword = 0;
      for (uint32_t i = 0; i < count && i < 8; ++i) {
        qword |= static_cast<uint64_t>(data[i]) << (8 * i);
      }
      rawData = false;
      if (count != 8) KeepRawData(data, count);
      return true;
    default:
      CopyBytes(data, count);
      return true;
  }
}

void GMRegValueRecord::KeepRawData(const unsigned char* data, uint32_t count) {
  CopyBytes(data, count);
  rawData = true;
}

void GMRegValueRecord::CopyBytes(const unsigned char* data, uint32_t count) {
  bytes = GMBuffer<unsigned char>(count);
  if (bytes.Capacity() != count) throw std::bad_alloc();
  if (count != 0) std::memcpy(bytes.Data(), data, count);
  bytes.SetLength(count);
}

bool GMRegKeyRecord::ParseKeyName(const std::u16string& text) {
  deleteMark = !text.empty() && text[0] == u'-';
  const std::u16string name = deleteMark ? text.substr(1) : text;
  for (const RegRootName& entry : kRegRootNames) {
    if (name.compare(0, entry.length, entry.name) != 0) continue;
    // "HKCUx" or "HKEY_CURRENT_USER_LOCAL_SETTINGS" is another root, not HKCU.
    if (name.size() > entry.length && name[entry.length] != u'\\') continue;
    root = entry.handle;
    path = name.size() > entry.length + 1 ? name.substr(entry.length + 1) : std::u16string();
    return true;
  }
  return false;
}

std::u16string GMRegKeyRecord::FullKeyName(bool withMark) const {
  const char16_t* rootName = RegRootNameOf(root);
  if (rootName == nullptr) return std::u16string();
  std::u16string text = withMark && deleteMark ? u"-" : u"";
  text += rootName;
  if (!path.empty()) text += u"\\" + path;
  return text;
}

}  // namespace Zavro
