#include "registry/reg_records.h"

#include <gtest/gtest.h>

#include <exception>
#include <string>

#include "reg_test_support.h"
#include "registry/reg_exception.h"

namespace Zavro {
namespace {

using test::Buffer;
using test::String;
using Strings = std::vector<std::u16string>;

std::string DataOf(const GMRegValueRecord& value) { return String(value.GetData()); }

// SetRawData on a fresh value of `type`.
GMRegValueRecord FromRaw(uint32_t type, const std::string& bytes, bool* ok = nullptr) {
  GMRegValueRecord value;
  value.type = type;
  const bool result = value.SetRawData(reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<uint32_t>(bytes.size()));
  if (ok != nullptr) *ok = result;
  return value;
}

TEST(RegRecords, NewRecords) {
  GMRegValueRecord value;
  EXPECT_EQ(value.type, kRegSz);
  EXPECT_TRUE(value.name.empty());
  EXPECT_FALSE(value.deleteMark);
  EXPECT_EQ(DataOf(value), std::string("\0\0", 2));

  GMRegKeyRecord key;
  EXPECT_EQ(key.root, kHKeyCurrentUser);
  EXPECT_TRUE(key.path.empty());
  EXPECT_FALSE(key.deleteMark);
  EXPECT_EQ(key.FullKeyName(true), u"HKEY_CURRENT_USER");
}

TEST(RegValueRecord, GetDataReadsOnlyTheFieldOfItsType) {
  GMRegValueRecord value;
  value.text = u"Ab";
  value.dword = 0x01020304;
  value.qword = 0x1122334455667788;
  value.strings = {u"x", u"", u"y"};
  value.bytes = Buffer("\x09\x08");
  const struct {
    uint32_t type;
    std::string data;
  } cases[] = {
      {kRegSz, std::string("A\0b\0\0\0", 6)},
      {kRegExpandSz, std::string("A\0b\0\0\0", 6)},
      {kRegDword, "\x04\x03\x02\x01"},
      {kRegDwordBigEndian, "\x01\x02\x03\x04"},
      {kRegMultiSz, std::string("x\0\0\0\0\0y\0\0\0\0\0", 12)},
      {kRegQword, "\x88\x77\x66\x55\x44\x33\x22\x11"},
      {kRegNone, "\x09\x08"},
      {kRegBinary, "\x09\x08"},
      {kRegLink, "\x09\x08"},
      {0x12345, "\x09\x08"},
  };
  for (const auto& c : cases) {
    value.type = c.type;
    value.rawData = false;
    EXPECT_EQ(DataOf(value), c.data) << c.type;
    // Data kept raw is the bytes field, whatever the type.
    value.rawData = true;
    EXPECT_EQ(DataOf(value), "\x09\x08") << c.type;
  }
  value.rawData = false;
  value.type = kRegMultiSz;
  value.strings.clear();
  EXPECT_EQ(DataOf(value), std::string("\0\0", 2));
}

TEST(RegValueRecord, SetRawDataGivesGetDataTheSameBytes) {
  const struct {
    uint32_t type;
    std::string bytes;
    bool raw;  // not given back by the type's own field
  } cases[] = {
      {kRegSz, std::string("A\0B\0\0\0", 6), false},
      {kRegSz, std::string("A\0\0\0\0\0", 6), false},
      {kRegExpandSz, std::string("A\0B\0C", 5), true},  // odd count
      {kRegSz, std::string("A\0B\0", 4), true},         // no terminator
      {kRegSz, "A", true},
      {kRegExpandSz, "", true},
      {kRegDword, std::string("\x0a\x00\x00\x80", 4), false},
      {kRegDwordBigEndian, std::string("\x0a\x00\x00\x80", 4), false},
      {kRegMultiSz, std::string("a\0\0\0\0\0b\0\0\0\0\0", 12), false},
      {kRegMultiSz, std::string("\0\0", 2), false},
      {kRegMultiSz, std::string("\0\0\0\0", 4), false},
      {kRegMultiSz, std::string("a\0\0\0b\0c\0", 8), true},  // a final string without NUL
      {kRegMultiSz, std::string("a\0\0\0", 4), true},        // no list terminator
      {kRegMultiSz, "", true},
      {kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08", false},
      {kRegQword, "\x01\x02", true},
      {kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08\xFF\xFF", true},
      {kRegBinary, std::string("\x00\xFF\x10", 3), false},
      {0x4711, "xyz", false},
  };
  for (const auto& c : cases) {
    bool ok = false;
    const GMRegValueRecord value = FromRaw(c.type, c.bytes, &ok);
    EXPECT_TRUE(ok) << c.type << " " << c.bytes;
    EXPECT_EQ(value.rawData, c.raw) << c.type << " " << c.bytes;
    EXPECT_EQ(DataOf(value), c.bytes) << c.type;
    EXPECT_EQ(value.type, c.type);
    EXPECT_FALSE(value.deleteMark);
  }
}

TEST(RegValueRecord, SetRawDataFields) {
  EXPECT_EQ(FromRaw(kRegSz, std::string("A\0B\0\0\0", 6)).text, u"AB");
  EXPECT_EQ(FromRaw(kRegSz, std::string("A\0\0\0\0\0", 6)).text, std::u16string(u"A\0", 2));
  EXPECT_EQ(FromRaw(kRegDword, std::string("\x0a\x00\x00\x80", 4)).dword, 0x8000000Au);
  EXPECT_EQ(FromRaw(kRegDwordBigEndian, std::string("\x0a\x00\x00\x80", 4)).dword, 0x0A000080u);
  EXPECT_EQ(FromRaw(kRegMultiSz, std::string("a\0\0\0\0\0b\0\0\0\0\0", 12)).strings,
            (Strings{u"a", u"", u"b"}));
  EXPECT_EQ(FromRaw(kRegMultiSz, std::string("\0\0\0\0", 4)).strings, (Strings{u""}));
  EXPECT_TRUE(FromRaw(kRegMultiSz, std::string("\0\0", 2)).strings.empty());
  EXPECT_EQ(FromRaw(kRegMultiSz, std::string("a\0\0\0b\0c\0", 8)).strings, (Strings{u"a"}));
  EXPECT_EQ(FromRaw(kRegQword, "\x01\x02").qword, 0x0201u);
  EXPECT_EQ(FromRaw(kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08\xFF\xFF").qword,
            0x0807060504030201u);
  EXPECT_EQ(String(FromRaw(0x4711, "xyz").bytes), "xyz");

  // A number of other than 4 bytes fails and changes nothing.
  for (uint32_t type : {kRegDword, kRegDwordBigEndian}) {
    for (const char* bytes : {"\x01\x02\x03", "\x01\x02\x03\x04\x05"}) {
      bool ok = true;
      const GMRegValueRecord value = FromRaw(type, bytes, &ok);
      EXPECT_FALSE(ok);
      EXPECT_EQ(value.dword, 0u);
      EXPECT_FALSE(value.rawData);
      EXPECT_EQ(value.bytes.Length(), 0u);
    }
  }

  GMRegValueRecord value = FromRaw(kRegDeletedValue, "ignored");
  EXPECT_TRUE(value.deleteMark);
  EXPECT_EQ(value.type, kRegDeletedValue);
  EXPECT_EQ(value.bytes.Length(), 0u);

  // Text is appended, not replaced; a null pointer changes nothing.
  value = FromRaw(kRegSz, std::string("x\0\0\0", 4));
  const unsigned char more[] = {'y', 0, 0, 0};
  EXPECT_TRUE(value.SetRawData(more, sizeof more));
  EXPECT_TRUE(value.SetRawData(nullptr, 4));
  EXPECT_EQ(value.text, u"xy");
  // A multi-string is replaced.
  value = FromRaw(kRegMultiSz, std::string("o\0\0\0\0\0", 6));
  EXPECT_TRUE(value.SetRawData(more + 2, 2));
  EXPECT_TRUE(value.strings.empty());
}

TEST(RegKeyRecord, ParseKeyName) {
  const struct {
    const char16_t* text;
    bool ok;
    uint32_t root;
    const char16_t* path;
    bool deleteMark;
  } cases[] = {
      {u"HKEY_CURRENT_USER\\Software\\X", true, kHKeyCurrentUser, u"Software\\X", false},
      {u"HKCU\\Software", true, kHKeyCurrentUser, u"Software", false},
      {u"HKEY_LOCAL_MACHINE", true, kHKeyLocalMachine, u"", false},
      {u"HKLM\\A", true, kHKeyLocalMachine, u"A", false},
      {u"HKLM\\", true, kHKeyLocalMachine, u"", false},
      {u"HKEY_USERS\\.DEFAULT", true, kHKeyUsers, u".DEFAULT", false},
      {u"HKEY_CURRENT_CONFIG\\System", true, kHKeyCurrentConfig, u"System", false},
      {u"HKEY_PERFORMANCE_DATA\\p", true, kHKeyPerformanceData, u"p", false},
      {u"HKEY_DYN_DATA\\d", true, kHKeyDynData, u"d", false},
      {u"-HKLM\\Software\\Old", true, kHKeyLocalMachine, u"Software\\Old", true},
      // No root of the table: root and path stay as they were.
      {u"HKEY_CLASSES_ROOT\\.txt", false, kHKeyUsers, u"kept", false},
      {u"hkcu\\Software", false, kHKeyUsers, u"kept", false},
      {u"HKCUx\\Software", false, kHKeyUsers, u"kept", false},
      {u"HKEY_CURRENT_USER_LOCAL_SETTINGS\\X", false, kHKeyUsers, u"kept", false},
      {u"HKLMSoftware", false, kHKeyUsers, u"kept", false},
      {u"HKC", false, kHKeyUsers, u"kept", false},
      {u"", false, kHKeyUsers, u"kept", false},
      {u"-", false, kHKeyUsers, u"kept", true},
  };
  for (const auto& c : cases) {
    GMRegKeyRecord key;
    key.root = kHKeyUsers;
    key.path = u"kept";
    EXPECT_EQ(key.ParseKeyName(c.text), c.ok) << test::Narrow(c.text);
    EXPECT_EQ(key.root, c.root) << test::Narrow(c.text);
    EXPECT_EQ(key.path, c.path) << test::Narrow(c.text);
    EXPECT_EQ(key.deleteMark, c.deleteMark) << test::Narrow(c.text);
  }
}

TEST(RegKeyRecord, FullKeyNameUsesTheLongNames) {
  GMRegKeyRecord key;
  key.ParseKeyName(u"-HKCU\\Software\\X");
  EXPECT_EQ(key.FullKeyName(false), u"HKEY_CURRENT_USER\\Software\\X");
  EXPECT_EQ(key.FullKeyName(true), u"-HKEY_CURRENT_USER\\Software\\X");
  key.ParseKeyName(u"HKLM");
  EXPECT_EQ(key.FullKeyName(true), u"HKEY_LOCAL_MACHINE");

  key.root = kHKeyClassesRoot;
  EXPECT_EQ(key.FullKeyName(true), u"");
  EXPECT_EQ(RegRootNameOf(kHKeyClassesRoot), nullptr);
}

TEST(RegException, CarriesTheFailureByValue) {
  GMRegException copy;
  EXPECT_EQ(copy.Code(), 0u);
  try {
    throw GMRegException(5, true, u"HKEY_LOCAL_MACHINE\\Software\\X");
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Operate registry failed");
    copy = dynamic_cast<const GMRegException&>(e);
  }
  EXPECT_EQ(copy.Code(), 5u);
  EXPECT_TRUE(copy.WriteFlag());
  EXPECT_EQ(copy.Key(), u"HKEY_LOCAL_MACHINE\\Software\\X");
}

}  // namespace
}  // namespace Zavro
