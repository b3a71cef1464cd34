#include "registry/reg_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reg_test_support.h"

namespace Zavro {
namespace {

using test::String;

// SetRawData on a fresh value of `type`.
GMRegValueRecord FromRaw(uint32_t type, const std::string& bytes, bool* ok = nullptr) {
  GMRegValueRecord value;
  value.type = type;
  const bool result =
      value.SetRawData(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
  if (ok != nullptr) *ok = result;
  return value;
}

// GetData reads the field of the value's type (the bytes field for data kept raw and
// for types without a field of their own); SetRawData fills it so that GetData gives
// back exactly the bytes it was given.
TEST(RegValueRecord, SetRawDataGivesGetDataTheSameBytes) {
  const struct {
    uint32_t type;
    std::string bytes;
    bool raw;  // not given back by the type's own field
  } cases[] = {
      {kRegSz, std::string("A\0\0\0\0\0", 6), false},
      {kRegExpandSz, std::string("A\0B\0\0\0", 6), false},
      {kRegSz, std::string("A\0B\0", 4), true},         // no terminator
      {kRegExpandSz, std::string("A\0B\0C", 5), true},  // odd count
      {kRegExpandSz, "", true},
      {kRegDword, std::string("\x0a\0\0\x80", 4), false},
      {kRegDwordBigEndian, std::string("\x0a\0\0\x80", 4), false},
      {kRegMultiSz, std::string("a\0\0\0\0\0b\0\0\0\0\0", 12), false},
      {kRegMultiSz, std::string("\0\0", 2), false},
      {kRegMultiSz, std::string("a\0\0\0b\0c\0", 8), true},  // a final string without NUL
      {kRegMultiSz, std::string("a\0\0\0", 4), true},        // no list terminator
      {kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08", false},
      {kRegQword, "\x01\x02", true},
      {0x4711, "xyz", false},
  };
  for (const auto& c : cases) {
    bool ok = false;
    const GMRegValueRecord value = FromRaw(c.type, c.bytes, &ok);
    EXPECT_TRUE(ok) << c.type << " " << c.bytes;
    EXPECT_EQ(value.rawData, c.raw) << c.type << " " << c.bytes;
    EXPECT_EQ(String(value.GetData()), c.bytes) << c.type;
  }
}

TEST(RegValueRecord, SetRawDataFillsTheTypesField) {
  // The text writer reads these fields, so their content counts, not only GetData.
  EXPECT_EQ(FromRaw(kRegSz, std::string("A\0\0\0\0\0", 6)).text, std::u16string(u"A\0", 2));
  EXPECT_EQ(FromRaw(kRegExpandSz, std::string("A\0B\0\0\0", 6)).text, u"AB");
  EXPECT_EQ(FromRaw(kRegDword, std::string("\x0a\0\0\x80", 4)).dword, 0x8000000Au);
  EXPECT_EQ(FromRaw(kRegDwordBigEndian, std::string("\x0a\0\0\x80", 4)).dword, 0x0A000080u);
  EXPECT_EQ(FromRaw(kRegMultiSz, std::string("a\0\0\0\0\0b\0\0\0\0\0", 12)).strings,
            (std::vector<std::u16string>{u"a", u"", u"b"}));
  EXPECT_EQ(FromRaw(kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08").qword, 0x0807060504030201u);

  // A number of other than 4 bytes fails and changes nothing.
  for (uint32_t type : {kRegDword, kRegDwordBigEndian}) {
    bool ok = true;
    const GMRegValueRecord value = FromRaw(type, "\x01\x02\x03\x04\x05", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(value.dword, 0u);
    EXPECT_FALSE(value.rawData);
    EXPECT_EQ(value.bytes.Length(), 0u);
  }
  GMRegValueRecord value = FromRaw(kRegDeletedValue, "ignored");
  EXPECT_TRUE(value.deleteMark);
  EXPECT_EQ(value.bytes.Length(), 0u);

  // Text is appended, not replaced; a null pointer changes nothing.
  value = FromRaw(kRegSz, std::string("x\0\0\0", 4));
  const unsigned char more[] = {'y', 0, 0, 0};
  EXPECT_TRUE(value.SetRawData(more, sizeof more));
  EXPECT_TRUE(value.SetRawData(nullptr, 4));
  EXPECT_EQ(value.text, u"xy");
}

TEST(RegKeyRecord, ParseKeyName) {
  const struct {
    const char16_t* text;
    uint32_t root;  // 0: no root of the table; root and path stay as they were
    const char16_t* path;
  } cases[] = {
      {u"HKEY_CURRENT_USER\\Software\\X", kHKeyCurrentUser, u"Software\\X"},
      {u"HKCU\\Software", kHKeyCurrentUser, u"Software"},
      {u"HKLM\\", kHKeyLocalMachine, u""},
      {u"HKEY_CURRENT_CONFIG", kHKeyCurrentConfig, u""},
      {u"-HKEY_LOCAL_MACHINE\\Software\\Old", kHKeyLocalMachine, u"Software\\Old"},
      {u"HKEY_CLASSES_ROOT\\.txt", 0, u""},
      {u"hkcu\\Software", 0, u""},
      {u"HKCUx\\Software", 0, u""},
      {u"HKEY_CURRENT_USER_LOCAL_SETTINGS\\X", 0, u""},
      {u"", 0, u""},
      {u"-", 0, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.text)));
    GMRegKeyRecord key;
    key.root = kHKeyUsers;
    key.path = u"kept";
    EXPECT_EQ(key.ParseKeyName(c.text), c.root != 0);
    EXPECT_EQ(key.root, c.root != 0 ? c.root : kHKeyUsers);
    EXPECT_EQ(key.path, c.root != 0 ? c.path : u"kept");
    if (c.root != 0) {
      EXPECT_EQ(key.deleteMark, c.text[0] == u'-');
    }
  }
}

}  // namespace
}  // namespace Zavro
