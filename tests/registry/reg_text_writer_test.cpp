#include "registry/reg_text_writer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "archive/io/file.h"
#include "archive/io/memory_file.h"
#include "reg_round_trip.h"
#include "reg_test_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::Ascii;
using test::Buffer;
using test::String;
using test::ThrownText;
using test::Utf16Le;
using Keys = std::deque<GMRegKeyRecord>;

// "保存注册表值出错" and "写入文件出错" in code page 936.
const std::string kSaveValueFailed =
    "\xB1\xA3\xB4\xE6\xD7\xA2\xB2\xE1\xB1\xED\xD6\xB5\xB3\xF6\xB4\xED";
const std::string kWriteFileFailed = "\xD0\xB4\xC8\xEB\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED";

GMRegKeyRecord Key(const std::u16string& name) {
  GMRegKeyRecord key;
  EXPECT_TRUE(key.ParseKeyName(name));
  return key;
}

GMRegValueRecord Value(const std::u16string& name, uint32_t type) {
  GMRegValueRecord value;
  value.name = name;
  value.type = type;
  return value;
}

// Registry text of `keys` as UTF-16 bytes, header included.
std::string TextOf(const Keys& keys) {
  GMBuffer<unsigned char> buffer;
  EXPECT_TRUE(test::WriteText(keys, buffer));
  return String(buffer);
}

std::string Lines(const std::u16string& lines) {
  return Utf16Le(u"Windows Registry Editor Version 5.00\r\n" + lines);
}

std::u16string ValueText(const GMRegValueRecord& value) {
  std::u16string text;
  EXPECT_TRUE(GMRegTextWriter::ValueText(value, text));
  return text;
}

TEST(RegTextWriter, HeaderLines) {
  GMBuffer<unsigned char> wide(100);
  GMRegTextWriter{wide};
  EXPECT_EQ(String(wide), Lines(u""));

  GMBuffer<unsigned char> ansi;
  GMRegTextWriter{ansi, false, kRegHeaderRegedit4};
  EXPECT_EQ(String(ansi), "REGEDIT4\r\n");
}

TEST(RegTextWriter, LineWriterTargets) {
  GMBuffer<unsigned char> buffer(64);
  GMTextLineWriter wide(buffer, true);
  EXPECT_EQ(buffer.Capacity(), 2u);  // just the byte-order mark
  wide.WriteLine(u"ab", false);
  EXPECT_EQ(buffer.Capacity(), 9u);  // 1.5 times the 6 bytes needed
  wide.WriteLine(u"", true);
  EXPECT_EQ(String(buffer), std::string("\xFF\xFE"
                                        "a\0b\0\r\0\n\0",
                                        10));

  GMBuffer<unsigned char> ansiBuffer;
  GMTextLineWriter ansi(ansiBuffer, false);
  ansi.WriteLine(u"a\u0E01b", true);  // a character no ANSI code page here has
  EXPECT_EQ(String(ansiBuffer), "a_b\r\n");

  CMemoryFile readOnly("", 0);
  EXPECT_EQ(ThrownText<std::runtime_error>([&] {
              GMTextLineWriter line(readOnly, false);
              line.WriteLine(u"x", false);
            }),
            kWriteFileFailed);

  test::ScratchDir dir;
  {
    GMFile file;
    ASSERT_TRUE(
        file.Open(dir.Join(u"out.reg"), kGenericWrite, 0, kCreateAlways, kFileAttributeNormal));
    GMRegTextWriter writer(file);
    writer.WriteKeyText(Key(u"HKCU\\F"));
  }
  EXPECT_EQ(test::ReadBytes(dir.fs_path() / "out.reg"), Lines(u"[HKEY_CURRENT_USER\\F]\r\n\r\n"));
}

TEST(RegTextWriter, KeyWithOneStringValue) {
  GMRegKeyRecord key = Key(u"HKCU\\Software\\A");
  GMRegValueRecord value = Value(u"n", kRegSz);
  value.text = u"v";
  key.values.push_back(value);
  const std::string text = TextOf({key});
  EXPECT_EQ(text, Lines(u"[HKEY_CURRENT_USER\\Software\\A]\r\n\"n\"=\"v\"\r\n\r\n"));

  Keys back = test::ParseBytes(text);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].FullKeyName(true), key.FullKeyName(true));
  ASSERT_EQ(back[0].values.size(), 1u);
  EXPECT_EQ(back[0].values[0].name, u"n");
  EXPECT_EQ(back[0].values[0].text, u"v");
}

TEST(RegTextWriter, DeletedKeysAndSubKeys) {
  GMRegKeyRecord gone = Key(u"-HKLM\\Old");
  gone.values.push_back(Value(u"x", kRegSz));
  gone.subKeys.push_back(Key(u"HKLM\\Old\\Sub"));
  GMRegKeyRecord parent = Key(u"HKCU\\P");
  GMRegValueRecord removed = Value(u"", kRegDword);
  removed.deleteMark = true;
  parent.values.push_back(removed);
  parent.subKeys.push_back(Key(u"HKCU\\P\\C"));
  EXPECT_EQ(TextOf({gone, parent}), Lines(u"[-HKEY_LOCAL_MACHINE\\Old]\r\n"
                                          u"[HKEY_CURRENT_USER\\P]\r\n@=-\r\n\r\n"
                                          u"[HKEY_CURRENT_USER\\P\\C]\r\n\r\n"));
}

TEST(RegTextWriter, ValueTextOfEachType) {
  GMRegValueRecord value = Value(u"", kRegNone);
  value.bytes = Buffer("\x01\xAB");
  EXPECT_EQ(ValueText(value), u"hex(0):01,AB");
  value.type = kRegBinary;
  EXPECT_EQ(ValueText(value), u"hex:01,AB");
  value.type = kRegLink;
  EXPECT_EQ(ValueText(value), u"hex(6):01,AB");
  value.type = 0x80000000;
  EXPECT_EQ(ValueText(value), u"hex(2147483648):01,AB");
  value.bytes = GMBuffer<unsigned char>();
  EXPECT_EQ(ValueText(value), u"hex(2147483648):");

  value.type = kRegSz;
  value.text = u"a\"b\\c";
  EXPECT_EQ(ValueText(value), u"\"a\\\\\"b\\\\c\"");
  value.type = kRegExpandSz;
  value.text = u"A";
  EXPECT_EQ(ValueText(value), u"hex(2):41,00,00,00");
  value.text = u"";
  EXPECT_EQ(ValueText(value), u"hex(2):00,00");

  value.type = kRegDword;
  value.dword = 10;
  EXPECT_EQ(ValueText(value), u"dword:0000000A");
  value.type = kRegQword;
  value.qword = 0x0201;
  EXPECT_EQ(ValueText(value), u"hex(b):01,02,00,00,00,00,00,00");

  value.type = kRegMultiSz;
  value.strings = {u"a", u"b"};
  EXPECT_EQ(ValueText(value), u"hex(7):61,00,00,00,62,00,00,00,00,00");
  value.strings = {u"", u"a", u""};
  EXPECT_EQ(ValueText(value), u"hex(7):61,00,00,00,00,00");
  value.strings.clear();
  EXPECT_EQ(ValueText(value), u"hex(7):00,00");

  value.deleteMark = true;
  EXPECT_EQ(ValueText(value), u"-");
  value = Value(u"", kRegDwordBigEndian);
  std::u16string text;
  EXPECT_FALSE(GMRegTextWriter::ValueText(value, text));
}

TEST(RegTextWriter, RefusesWhatTextCannotCarry) {
  auto refusal = [](GMRegKeyRecord key) {
    GMBuffer<unsigned char> buffer;
    GMRegTextWriter writer(buffer);
    return ThrownText<std::invalid_argument>([&] { writer.WriteKeyText(key); });
  };
  auto withValue = [](GMRegValueRecord value) {
    GMRegKeyRecord key = Key(u"HKCU\\K");
    key.values.push_back(value);
    return key;
  };
  EXPECT_EQ(refusal(withValue(Value(u"be", kRegDwordBigEndian))), kSaveValueFailed);
  for (const std::u16string& name :
       {std::u16string(u"@"), std::u16string(u"dir\\"), std::u16string(u"a\r\nb")}) {
    EXPECT_EQ(refusal(withValue(Value(name, kRegDword))), kSaveValueFailed);
  }
  GMRegValueRecord text = Value(u"s", kRegSz);
  text.text = u"two\r\nlines";
  EXPECT_EQ(refusal(withValue(text)), kSaveValueFailed);
  text.text = u"hex\\\r\n\r\nx";  // an empty line would end the value
  EXPECT_EQ(refusal(withValue(text)), kSaveValueFailed);
  GMRegValueRecord multi = Value(u"m", kRegMultiSz);
  multi.strings = {std::u16string(u"a\0b", 3)};
  EXPECT_EQ(refusal(withValue(multi)), kSaveValueFailed);

  GMRegKeyRecord key = Key(u"HKCU\\a\r\nb");
  EXPECT_EQ(refusal(key), kSaveValueFailed);
  key.path = u"ok";
  key.root = kHKeyClassesRoot;
  EXPECT_EQ(refusal(key), kSaveValueFailed);
}

TEST(RegTextWriter, WrittenTextParsesToTheSameRecords) {
  GMRegKeyRecord key = Key(u"HKLM\\Software\\Round \"trip\"");
  const std::u16string texts[] = {u"",
                                  u"plain",
                                  u"say \"hi\"",
                                  u"C:\\dir\\",
                                  u"\\\"",
                                  u"\"",
                                  u"a=b",
                                  u"\\\\server\\share",
                                  std::u16string(u"nul\0inside", 10),
                                  u"hex\\\r\n  continued\\\\\r\nend"};
  for (size_t i = 0; i < sizeof texts / sizeof texts[0]; ++i) {
    GMRegValueRecord value =
        Value(u"s" + std::u16string(1, static_cast<char16_t>(u'0' + i)), kRegSz);
    value.text = texts[i];
    key.values.push_back(value);
  }
  for (const char16_t* name : {u"", u"\"quoted\"", u"a=b", u"\\lead", u"x\\\"y"}) {
    GMRegValueRecord value = Value(name, kRegDword);
    value.dword = 0xFFFFFFFF;
    key.values.push_back(value);
  }
  GMRegValueRecord expand = Value(u"e", kRegExpandSz);
  expand.text = u"%SystemRoot%";
  GMRegValueRecord multi = Value(u"m", kRegMultiSz);
  multi.strings = {u"one", u"two"};
  GMRegValueRecord qword = Value(u"q", kRegQword);
  qword.qword = 0x8000000000000001;
  GMRegValueRecord other = Value(u"o", 0x80000001);
  other.bytes = Buffer(std::string("\x00\xFF", 2));
  GMRegValueRecord gone = Value(u"g", kRegSz);
  gone.deleteMark = true;
  key.values.insert(key.values.end(), {expand, multi, qword, other, gone});

  const Keys back = test::ParseBytes(TextOf({key, Key(u"-HKCU\\Gone")}));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].FullKeyName(true), key.FullKeyName(true));
  ASSERT_EQ(back[0].values.size(), key.values.size());
  for (size_t i = 0; i < key.values.size(); ++i) {
    const GMRegValueRecord& want = key.values[i];
    const GMRegValueRecord& got = back[0].values[i];
    EXPECT_EQ(got.name, want.name) << i;
    EXPECT_EQ(got.type, want.type) << i;
    EXPECT_EQ(got.deleteMark, want.deleteMark) << i;
    EXPECT_EQ(String(got.GetData()), String(want.GetData())) << i;
  }
  EXPECT_EQ(back[1].FullKeyName(true), u"-HKEY_CURRENT_USER\\Gone");
}

TEST(RegMergeText, EmptySidesAndOrder) {
  GMBuffer<unsigned char> target = Buffer("REGEDIT4\r\n[HKCU\\T]\r\n\"t\"=\"1\"\r\n");
  const GMBuffer<unsigned char> source =
      Buffer(Utf16Le(u"REGEDIT4\r\n[HKLM\\S]\r\n\"s\"=dword:2\r\n"));

  GMBuffer<unsigned char> unchanged = Buffer("anything");
  MergeRegText(GMBuffer<unsigned char>(), unchanged);
  EXPECT_EQ(String(unchanged), "anything");
  GMBuffer<unsigned char> empty;
  MergeRegText(source, empty);
  EXPECT_EQ(String(empty), String(source));

  MergeRegText(source, target);
  EXPECT_EQ(String(target), Lines(u"[HKEY_CURRENT_USER\\T]\r\n\"t\"=\"1\"\r\n\r\n"
                                  u"[HKEY_LOCAL_MACHINE\\S]\r\n\"s\"=dword:00000002\r\n\r\n"));
}

TEST(RegMergeText, ParseErrorsPropagate) {
  GMBuffer<unsigned char> target = Buffer("REGEDIT4\r\n[HKCU\\T]\r\n");
  const GMBuffer<unsigned char> bad = Buffer("\xFE\xFFREGEDIT4");
  EXPECT_EQ(ThrownText<std::runtime_error>([&] { MergeRegText(bad, target); }),
            "Wrong file format");
  EXPECT_EQ(String(target), "REGEDIT4\r\n[HKCU\\T]\r\n");
  const GMBuffer<unsigned char> orphan = Buffer("REGEDIT4\r\n\"v\"=\"x\"\r\n");
  EXPECT_EQ(ThrownText<GMRegTextException>([&] { MergeRegText(orphan, target); }),
            "Keys list is empty");
}

}  // namespace
}  // namespace Zavro
