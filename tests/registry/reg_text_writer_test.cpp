#include "registry/reg_text_writer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "archive/io/memory_file.h"
#include "reg_test_support.h"

namespace Zavro {
namespace {

using test::Buffer;
using test::RawValue;
using test::String;
using test::ThrownText;
using test::Utf16Le;
using test::Value;
using test::Version5Utf16;

// "保存注册表值出错" and "写入文件出错" in code page 936.
const std::string kSaveValueFailed =
    "\xB1\xA3\xB4\xE6\xD7\xA2\xB2\xE1\xB1\xED\xD6\xB5\xB3\xF6\xB4\xED";
const std::string kWriteFileFailed = "\xD0\xB4\xC8\xEB\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED";

GMRegKeyRecord Key(const std::u16string& name) {
  GMRegKeyRecord key;
  EXPECT_TRUE(key.ParseKeyName(name));
  return key;
}

GMRegValueRecord Bytes(uint32_t type, const std::string& bytes) {
  GMRegValueRecord value = Value(type);
  value.bytes = Buffer(bytes);
  return value;
}

GMRegValueRecord Multi(const std::vector<std::u16string>& strings) {
  GMRegValueRecord value = Value(kRegMultiSz);
  value.strings = strings;
  return value;
}

TEST(RegTextWriter, AnsiTextAndWriteFailure) {
  GMBuffer<unsigned char> ansiBuffer;
  GMTextLineWriter ansi(ansiBuffer, false);
  ansi.WriteLine(u"a\u0E01b", true);  // a character no ANSI code page here has
  EXPECT_EQ(String(ansiBuffer), "a_b\r\n");
  GMBuffer<unsigned char> regedit4;
  GMRegTextWriter{regedit4, false, kRegHeaderRegedit4};
  EXPECT_EQ(String(regedit4), "REGEDIT4\r\n");

  CMemoryFile readOnly("", 0);
  EXPECT_EQ(ThrownText<std::runtime_error>([&] {
              GMTextLineWriter line(readOnly, false);
              line.WriteLine(u"x", false);
            }),
            kWriteFileFailed);
}

TEST(RegTextWriter, KeysValuesAndSubKeys) {
  GMRegKeyRecord key = Key(u"HKCU\\Software\\A");
  key.values.push_back(Value(kRegSz, u"n", u"v"));
  GMRegKeyRecord gone = Key(u"-HKLM\\Old");  // nothing below a key to delete is written
  gone.values.push_back(Value(kRegSz, u"x"));
  gone.subKeys.push_back(Key(u"HKLM\\Old\\Sub"));
  GMRegKeyRecord parent = Key(u"HKCU\\P");
  parent.values.push_back(Value(kRegDword));
  parent.values.back().deleteMark = true;
  parent.subKeys.push_back(Key(u"HKCU\\P\\C"));
  GMBuffer<unsigned char> text;
  GMRegTextWriter writer(text);
  for (const GMRegKeyRecord& record : {key, gone, parent}) writer.WriteKeyText(record);
  EXPECT_EQ(String(text), Version5Utf16(u"[HKEY_CURRENT_USER\\Software\\A]\r\n"
                                        u"\"n\"=\"v\"\r\n\r\n"
                                        u"[-HKEY_LOCAL_MACHINE\\Old]\r\n"
                                        u"[HKEY_CURRENT_USER\\P]\r\n@=-\r\n\r\n"
                                        u"[HKEY_CURRENT_USER\\P\\C]\r\n\r\n"));
}

// The escaping that the registry editor must agree with, and forms that the registry
// editor test (under Wine) does not import.
TEST(RegTextWriter, ValueTextOfEachType) {
  GMRegValueRecord deleted = Multi({u"a"});
  deleted.deleteMark = true;
  const struct {
    GMRegValueRecord value;
    const char16_t* text;  // null: the value has no text
  } cases[] = {
      {Bytes(kRegNone, "\x01\xAB"), u"hex(0):01,AB"},
      {Bytes(kRegBinary, "\x01\xAB"), u"hex:01,AB"},
      {Bytes(0x80000000, "\x01\xAB"), u"hex(2147483648):01,AB"},
      // As the registry editor reads it: \\ a backslash, \" a quote.
      {Value(kRegSz, u"", u"a\"b\\c\\\"d"), u"\"a\\\"b\\\\c\\\\\\\"d\""},
      {Value(kRegExpandSz), u"hex(2):00,00"},
      {Multi({u"", u"a", u""}), u"hex(7):61,00,00,00,00,00"},
      {Multi({}), u"hex(7):00,00"},
      {deleted, u"-"},
      // Data kept raw, in hex(N): forms that read back as the same bytes.
      {RawValue(kRegSz, ""), u"hex(1):"},
      {RawValue(kRegMultiSz, std::string("a\0", 2)), u"hex(07):61,00"},
      {RawValue(kRegBinary, "\x05"), u"hex:05"},
      {Value(kRegDwordBigEndian), nullptr},
      {RawValue(kRegDwordBigEndian, "\x01"), nullptr},
      {RawValue(kRegQword, "\x01"), nullptr},
  };
  for (const auto& c : cases) {
    std::u16string text;
    EXPECT_EQ(GMRegTextWriter::ValueText(c.value, text), c.text != nullptr) << c.value.type;
    if (c.text != nullptr) {
      EXPECT_EQ(text, c.text);
    }
  }
}

GMRegKeyRecord KeyWith(const GMRegValueRecord& value) {
  GMRegKeyRecord key = Key(u"HKCU\\K");
  key.values.push_back(value);
  return key;
}

TEST(RegTextWriter, RefusesWhatTextCannotCarry) {
  GMRegKeyRecord unknownRoot = Key(u"HKCU\\ok");
  unknownRoot.root = kHKeyClassesRoot;
  const GMRegKeyRecord refused[] = {
      KeyWith(Value(kRegDwordBigEndian)),
      KeyWith(Value(kRegDword, u"@")),
      KeyWith(Value(kRegDword, u"dir\\")),
      KeyWith(Value(kRegDword, u"a\r\nb")),
      KeyWith(Value(kRegSz, u"s", u"two\r\nlines")),
      KeyWith(Value(kRegSz, u"s", u"hex\\\r\n\r\nx")),  // an empty line would end the value
      KeyWith(Multi({std::u16string(u"a\0b", 3)})),
      KeyWith(RawValue(kRegQword, "\x01\x02")),
      Key(u"HKCU\\a\r\nb"),
      unknownRoot,
  };
  for (const GMRegKeyRecord& key : refused) {
    GMBuffer<unsigned char> buffer;
    GMRegTextWriter writer(buffer);
    EXPECT_EQ(ThrownText<std::invalid_argument>([&] { writer.WriteKeyText(key); }),
              kSaveValueFailed);
  }
}

TEST(RegMergeText, EmptySidesOrderAndErrors) {
  GMBuffer<unsigned char> target = Buffer("REGEDIT4\r\n[HKCU\\T]\r\n\"t\"=\"1\"\r\n");
  const GMBuffer<unsigned char> source =
      Buffer(Utf16Le(u"REGEDIT4\r\n[HKLM\\S]\r\n\"s\"=dword:2\r\n"));
  GMBuffer<unsigned char> unchanged = Buffer("anything");
  MergeRegText(GMBuffer<unsigned char>(), unchanged);
  EXPECT_EQ(String(unchanged), "anything");
  GMBuffer<unsigned char> empty;
  MergeRegText(source, empty);
  EXPECT_EQ(String(empty), String(source));

  // Parse errors propagate and leave the target as it was.
  EXPECT_EQ(ThrownText<std::runtime_error>([&] { MergeRegText(Buffer("\xFE\xFF"), target); }),
            "Wrong file format");
  EXPECT_EQ(ThrownText<GMRegTextException>(
                [&] { MergeRegText(Buffer("REGEDIT4\r\n\"v\"=\"x\"\r\n"), target); }),
            "Keys list is empty");
  EXPECT_EQ(String(target), "REGEDIT4\r\n[HKCU\\T]\r\n\"t\"=\"1\"\r\n");

  MergeRegText(source, target);
  EXPECT_EQ(String(target),
            Version5Utf16(u"[HKEY_CURRENT_USER\\T]\r\n\"t\"=\"1\"\r\n\r\n"
                          u"[HKEY_LOCAL_MACHINE\\S]\r\n\"s\"=dword:00000002\r\n\r\n"));
}

}  // namespace
}  // namespace Zavro
