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

GMRegValueRecord Value(uint32_t type) {
  GMRegValueRecord value;
  value.type = type;
  return value;
}

std::string DataOf(const GMRegValueRecord& value) { return String(value.GetData()); }

// SetRawData on a fresh value of `type`.
GMRegValueRecord FromRaw(uint32_t type, const std::string& bytes, bool* ok = nullptr) {
  GMRegValueRecord value = Value(type);
  const bool result = value.SetRawData(reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<uint32_t>(bytes.size()));
  if (ok != nullptr) *ok = result;
  return value;
}

TEST(RegValueRecord, NewValueIsAnEmptyString) {
  GMRegValueRecord value;
  EXPECT_EQ(value.type, kRegSz);
  EXPECT_TRUE(value.name.empty());
  EXPECT_FALSE(value.deleteMark);
  EXPECT_EQ(DataOf(value), std::string("\0\0", 2));
}

TEST(RegValueRecord, GetDataReadsOnlyTheFieldOfItsType) {
  GMRegValueRecord value;
  value.text = u"Ab";
  value.dword = 0x01020304;
  value.qword = 0x1122334455667788;
  value.strings = {u"x", u"", u"y"};
  value.bytes = Buffer("\x09\x08");

  value.type = kRegSz;
  EXPECT_EQ(DataOf(value), std::string("A\0b\0\0\0", 6));
  value.type = kRegExpandSz;
  EXPECT_EQ(DataOf(value), std::string("A\0b\0\0\0", 6));
  value.type = kRegDword;
  EXPECT_EQ(DataOf(value), "\x04\x03\x02\x01");
  value.type = kRegDwordBigEndian;
  EXPECT_EQ(DataOf(value), "\x01\x02\x03\x04");
  value.type = kRegMultiSz;
  EXPECT_EQ(DataOf(value), std::string("x\0\0\0\0\0y\0\0\0\0\0", 12));
  value.type = kRegQword;
  EXPECT_EQ(DataOf(value), "\x88\x77\x66\x55\x44\x33\x22\x11");
  for (uint32_t type : {kRegNone, kRegBinary, kRegLink, 8u, 12u, 0x12345u}) {
    value.type = type;
    EXPECT_EQ(DataOf(value), "\x09\x08") << type;
  }

  value.type = kRegMultiSz;
  value.strings.clear();
  EXPECT_EQ(DataOf(value), std::string("\0\0", 2));
}

TEST(RegValueRecord, SetRawDataText) {
  EXPECT_EQ(FromRaw(kRegSz, std::string("A\0B\0\0\0", 6)).text, u"AB");
  // The last unit is the terminator whatever it holds, and an odd byte is no unit.
  EXPECT_EQ(FromRaw(kRegExpandSz, std::string("A\0B\0C", 5)).text, u"A");
  EXPECT_EQ(FromRaw(kRegSz, std::string("A", 1)).text, u"");
  EXPECT_EQ(FromRaw(kRegSz, std::string("A\0\0\0\0\0", 6)).text, std::u16string(u"A\0", 2));

  GMRegValueRecord value = Value(kRegSz);
  value.text = u"x";
  const unsigned char more[] = {'y', 0, 0, 0};
  EXPECT_TRUE(value.SetRawData(more, sizeof more));
  EXPECT_EQ(value.text, u"xy");  // appended, not replaced
  EXPECT_TRUE(value.SetRawData(nullptr, 4));
  EXPECT_EQ(value.text, u"xy");
}

TEST(RegValueRecord, SetRawDataNumbers) {
  bool ok = false;
  EXPECT_EQ(FromRaw(kRegDword, std::string("\x0a\x00\x00\x80", 4), &ok).dword, 0x8000000Au);
  EXPECT_TRUE(ok);
  EXPECT_EQ(FromRaw(kRegDwordBigEndian, std::string("\x0a\x00\x00\x80", 4), &ok).dword,
            0x0A000080u);
  EXPECT_TRUE(ok);
  for (uint32_t type : {kRegDword, kRegDwordBigEndian}) {
    EXPECT_EQ(FromRaw(type, "\x01\x02\x03", &ok).dword, 0u);
    EXPECT_FALSE(ok);
    FromRaw(type, "\x01\x02\x03\x04\x05", &ok);
    EXPECT_FALSE(ok);
  }
  EXPECT_EQ(FromRaw(kRegQword, "\x01\x02", &ok).qword, 0x0201u);
  EXPECT_TRUE(ok);
  EXPECT_EQ(FromRaw(kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08\xFF\xFF").qword,
            0x0807060504030201u);
}

TEST(RegValueRecord, SetRawDataMultiString) {
  // a NUL NUL b NUL NUL: the empty string in the middle stays, the last unit closes the list.
  EXPECT_EQ(FromRaw(kRegMultiSz, std::string("a\0\0\0\0\0b\0\0\0\0\0", 12)).strings,
            (std::vector<std::u16string>{u"a", u"", u"b"}));
  // A string without a NUL after it is dropped; the last unit is never a separator.
  EXPECT_EQ(FromRaw(kRegMultiSz, std::string("a\0\0\0b\0c\0", 8)).strings,
            (std::vector<std::u16string>{u"a"}));
  EXPECT_TRUE(FromRaw(kRegMultiSz, std::string("\0\0", 2)).strings.empty());
  EXPECT_EQ(FromRaw(kRegMultiSz, std::string("\0\0\0\0", 4)).strings,
            (std::vector<std::u16string>{u""}));

  GMRegValueRecord value = Value(kRegMultiSz);
  value.strings = {u"old"};
  const unsigned char empty[] = {0, 0};
  EXPECT_TRUE(value.SetRawData(empty, 2));
  EXPECT_TRUE(value.strings.empty());
}

TEST(RegValueRecord, SetRawDataBytesAndDeleteMark) {
  GMRegValueRecord value = FromRaw(kRegBinary, std::string("\x00\xFF\x10", 3));
  EXPECT_EQ(String(value.bytes), std::string("\x00\xFF\x10", 3));
  EXPECT_EQ(String(FromRaw(0x4711, "xyz").bytes), "xyz");

  value = FromRaw(kRegDeletedValue, "ignored");
  EXPECT_TRUE(value.deleteMark);
  EXPECT_EQ(value.type, kRegDeletedValue);
  EXPECT_EQ(value.bytes.Length(), 0u);
}

GMRegKeyRecord Key(const std::u16string& name, bool* ok = nullptr) {
  GMRegKeyRecord key;
  const bool result = key.ParseKeyName(name);
  if (ok != nullptr) *ok = result;
  return key;
}

TEST(RegKeyRecord, NewKeyIsTheCurrentUserRoot) {
  GMRegKeyRecord key;
  EXPECT_EQ(key.root, kHKeyCurrentUser);
  EXPECT_TRUE(key.path.empty());
  EXPECT_FALSE(key.deleteMark);
  EXPECT_EQ(key.FullKeyName(true), u"HKEY_CURRENT_USER");
}

TEST(RegKeyRecord, ParseKeyNameRootsAndPaths) {
  struct Case {
    const char16_t* text;
    uint32_t root;
    const char16_t* path;
  } cases[] = {
      {u"HKEY_CURRENT_USER\\Software\\X", kHKeyCurrentUser, u"Software\\X"},
      {u"HKCU\\Software", kHKeyCurrentUser, u"Software"},
      {u"HKEY_LOCAL_MACHINE", kHKeyLocalMachine, u""},
      {u"HKLM\\A", kHKeyLocalMachine, u"A"},
      {u"HKEY_USERS\\.DEFAULT", kHKeyUsers, u".DEFAULT"},
      {u"HKEY_CURRENT_CONFIG\\System", kHKeyCurrentConfig, u"System"},
      {u"HKEY_PERFORMANCE_DATA\\p", kHKeyPerformanceData, u"p"},
      {u"HKEY_DYN_DATA\\d", kHKeyDynData, u"d"},
      // The character after the root name is skipped whatever it is.
      {u"HKCUx\\Software", kHKeyCurrentUser, u"\\Software"},
      {u"HKLM\\", kHKeyLocalMachine, u""},
  };
  for (const Case& c : cases) {
    bool ok = false;
    GMRegKeyRecord key = Key(c.text, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(key.root, c.root);
    EXPECT_EQ(key.path, c.path);
    EXPECT_FALSE(key.deleteMark);
  }

  GMRegKeyRecord key = Key(u"-HKLM\\Software\\Old");
  EXPECT_TRUE(key.deleteMark);
  EXPECT_EQ(key.root, kHKeyLocalMachine);
  EXPECT_EQ(key.path, u"Software\\Old");
}

TEST(RegKeyRecord, ParseKeyNameUnknownRootsLeaveRootAndPath) {
  for (const char16_t* text : {u"HKEY_CLASSES_ROOT\\.txt", u"hkcu\\Software", u"HKC", u"", u"-"}) {
    GMRegKeyRecord key;
    key.root = kHKeyUsers;
    key.path = u"kept";
    EXPECT_FALSE(key.ParseKeyName(text));
    EXPECT_EQ(key.root, kHKeyUsers);
    EXPECT_EQ(key.path, u"kept");
  }
}

TEST(RegKeyRecord, FullKeyNameUsesTheLongNames) {
  GMRegKeyRecord key = Key(u"-HKCU\\Software\\X");
  EXPECT_EQ(key.FullKeyName(false), u"HKEY_CURRENT_USER\\Software\\X");
  EXPECT_EQ(key.FullKeyName(true), u"-HKEY_CURRENT_USER\\Software\\X");
  EXPECT_EQ(Key(u"HKLM").FullKeyName(true), u"HKEY_LOCAL_MACHINE");

  key.root = kHKeyClassesRoot;
  EXPECT_EQ(key.FullKeyName(true), u"");
  EXPECT_EQ(RegRootNameOf(kHKeyClassesRoot), nullptr);
  EXPECT_EQ(std::u16string(RegRootNameOf(kHKeyLocalMachine)), u"HKEY_LOCAL_MACHINE");
}

TEST(RegException, CarriesTheFailureByValue) {
  const GMRegException none;
  EXPECT_EQ(none.Code(), 0u);
  EXPECT_TRUE(none.Key().empty());
  EXPECT_FALSE(none.WriteFlag());

  GMRegException copy;
  try {
    throw GMRegException(5, true, u"HKEY_LOCAL_MACHINE\\Software\\X");
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Operate registry failed");
    copy = dynamic_cast<const GMRegException&>(e);
  }
  EXPECT_EQ(copy.Code(), 5u);
  EXPECT_TRUE(copy.WriteFlag());
  EXPECT_EQ(copy.Key(), u"HKEY_LOCAL_MACHINE\\Software\\X");
  EXPECT_TRUE(copy.SecondText().empty());
  EXPECT_EQ(copy.Number(), 0u);
  EXPECT_FALSE(copy.SpareFlag());
}

}  // namespace
}  // namespace Zavro
