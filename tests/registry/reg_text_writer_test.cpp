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
using test::Key;
using test::RawValue;
using test::String;
using test::ThrownText;
using test::Value;
using test::Version5Utf16;

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

  // "写入文件出错" in code page 936.
  CMemoryFile readOnly("", 0);
  EXPECT_EQ(ThrownText<std::runtime_error>([&] { GMTextLineWriter(readOnly, false).WriteLine(u"x", false); }),
            "\xD0\xB4\xC8\xEB\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED");
}

TEST(RegTextWriter, KeysValuesAndSubKeys) {
  // Nothing below a key to delete is written.
  GMRegKeyRecord gone = Key(u"-HKLM\\Old", {Value(kRegSz, u"x")});
  gone.subKeys.push_back(Key(u"HKLM\\Old\\Sub"));
  GMRegKeyRecord parent = Key(u"HKCU\\P", {Value(kRegDword)});
  parent.values.back().deleteMark = true;
  parent.subKeys.push_back(Key(u"HKCU\\P\\C"));
  GMBuffer<unsigned char> text;
  GMRegTextWriter writer(text);
  for (const GMRegKeyRecord& record : {Key(u"HKCU\\Software\\A", {Value(kRegSz, u"n", u"v")}), gone, parent}) {
    writer.WriteKeyText(record);
  }
  EXPECT_EQ(String(text), Version5Utf16(u"[HKEY_CURRENT_USER\\Software\\A]\r\n\"n\"=\"v\"\r\n\r\n"
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
    const char16_t* text;
  } cases[] = {
      {RawValue(kRegNone, "\x01\xAB"), u"hex(0):01,AB"},
      {RawValue(kRegBinary, "\x01\xAB"), u"hex:01,AB"},
      {RawValue(0x80000000, "\x01\xAB"), u"hex(2147483648):01,AB"},
      // As the registry editor reads it: \\ a backslash, \" a quote.
      {Value(kRegSz, u"", u"a\"b\\c\\\"d"), u"\"a\\\"b\\\\c\\\\\\\"d\""},
      {Value(kRegExpandSz), u"hex(2):00,00"},
      {Multi({u"", u"a", u""}), u"hex(7):61,00,00,00,00,00"},
      {Multi({}), u"hex(7):00,00"},
      {deleted, u"-"},
      // Data kept raw, in hex(N): forms that read back as the same bytes.
      {RawValue(kRegSz, ""), u"hex(1):"},
      {RawValue(kRegMultiSz, std::string("a\0", 2)), u"hex(07):61,00"},
  };
  for (const auto& c : cases) {
    std::u16string text;
    EXPECT_TRUE(GMRegTextWriter::ValueText(c.value, text)) << c.value.type;
    EXPECT_EQ(text, c.text);
  }
}

TEST(RegTextWriter, RefusesWhatTextCannotCarry) {
  GMRegKeyRecord unknownRoot = Key(u"HKCU\\ok");
  unknownRoot.root = kHKeyClassesRoot;
  const GMRegKeyRecord refused[] = {
      Key(u"HKCU\\K", {Value(kRegDwordBigEndian)}),
      Key(u"HKCU\\K", {RawValue(kRegDwordBigEndian, "\x01")}),
      Key(u"HKCU\\K", {RawValue(kRegQword, "\x01\x02")}),
      Key(u"HKCU\\K", {Value(kRegDword, u"@")}),
      Key(u"HKCU\\K", {Value(kRegDword, u"dir\\")}),
      Key(u"HKCU\\K", {Value(kRegDword, u"a\r\nb")}),
      Key(u"HKCU\\K", {Value(kRegSz, u"s", u"two\r\nlines")}),
      Key(u"HKCU\\K", {Value(kRegSz, u"s", u"hex\\\r\n\r\nx")}),  // an empty line would end the value
      Key(u"HKCU\\K", {Multi({std::u16string(u"a\0b", 3)})}),
      Key(u"HKCU\\a\r\nb"),
      unknownRoot,
  };
  for (const GMRegKeyRecord& key : refused) {
    GMBuffer<unsigned char> buffer;
    EXPECT_EQ(ThrownText<std::invalid_argument>([&] { GMRegTextWriter(buffer).WriteKeyText(key); }),
              kRegSaveValueFailed);
  }
}

TEST(RegMergeText, EmptySidesOrderAndErrors) {
  const std::string targetText = "REGEDIT4\r\n[HKCU\\T]\r\n\"t\"=\"1\"\r\n";
  GMBuffer<unsigned char> target = Buffer(targetText);
  const GMBuffer<unsigned char> source = Buffer(test::Utf16Le(u"REGEDIT4\r\n[HKLM\\S]\r\n\"s\"=dword:2\r\n"));
  GMBuffer<unsigned char> unchanged = Buffer("anything");
  MergeRegText(GMBuffer<unsigned char>(), unchanged);
  EXPECT_EQ(String(unchanged), "anything");
  GMBuffer<unsigned char> empty;
  MergeRegText(source, empty);
  EXPECT_EQ(String(empty), String(source));

  // Parse errors propagate and leave the target as it was.
  EXPECT_EQ(ThrownText<std::runtime_error>([&] { MergeRegText(Buffer("\xFE\xFF"), target); }), "Wrong file format");
  EXPECT_EQ(ThrownText<GMRegTextException>([&] { MergeRegText(Buffer("REGEDIT4\r\n\"v\"=\"x\"\r\n"), target); }),
            "Keys list is empty");
  EXPECT_EQ(String(target), targetText);

  MergeRegText(source, target);
  EXPECT_EQ(String(target), Version5Utf16(u"[HKEY_CURRENT_USER\\T]\r\n\"t\"=\"1\"\r\n\r\n"
                                          u"[HKEY_LOCAL_MACHINE\\S]\r\n\"s\"=dword:00000002\r\n\r\n"));
}

}  // namespace
}  // namespace Zavro
