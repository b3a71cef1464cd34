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
  GMBuffer<unsigned char> regedit4;
  GMRegTextWriter{regedit4, false, kRegHeaderRegedit4};
  EXPECT_EQ(String(regedit4), "REGEDIT4\r\n");

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

TEST(RegTextWriter, KeysValuesAndSubKeys) {
  GMRegKeyRecord key = Key(u"HKCU\\Software\\A");
  GMRegValueRecord value = Value(u"n", kRegSz);
  value.text = u"v";
  key.values.push_back(value);
  GMRegKeyRecord gone = Key(u"-HKLM\\Old");  // nothing below a key to delete is written
  gone.values.push_back(Value(u"x", kRegSz));
  gone.subKeys.push_back(Key(u"HKLM\\Old\\Sub"));
  GMRegKeyRecord parent = Key(u"HKCU\\P");
  GMRegValueRecord removed = Value(u"", kRegDword);
  removed.deleteMark = true;
  parent.values.push_back(removed);
  parent.subKeys.push_back(Key(u"HKCU\\P\\C"));
  EXPECT_EQ(TextOf({key, gone, parent}), Lines(u"[HKEY_CURRENT_USER\\Software\\A]\r\n"
                                               u"\"n\"=\"v\"\r\n\r\n"
                                               u"[-HKEY_LOCAL_MACHINE\\Old]\r\n"
                                               u"[HKEY_CURRENT_USER\\P]\r\n@=-\r\n\r\n"
                                               u"[HKEY_CURRENT_USER\\P\\C]\r\n\r\n"));
}

GMRegValueRecord Raw(uint32_t type, const std::string& bytes) {
  GMRegValueRecord value = Value(u"", type);
  value.KeepRawData(reinterpret_cast<const unsigned char*>(bytes.data()),
                    static_cast<uint32_t>(bytes.size()));
  return value;
}

TEST(RegTextWriter, ValueTextOfEachType) {
  GMRegValueRecord none = Value(u"", kRegNone);
  none.bytes = Buffer("\x01\xAB");
  GMRegValueRecord binary = none;
  binary.type = kRegBinary;
  GMRegValueRecord link = none;
  link.type = kRegLink;
  GMRegValueRecord high = none;
  high.type = 0x80000000;
  GMRegValueRecord highEmpty = Value(u"", 0x80000000);
  GMRegValueRecord quoted = Value(u"", kRegSz);
  quoted.text = u"a\"b\\c\\\"d";
  GMRegValueRecord expand = Value(u"", kRegExpandSz);
  expand.text = u"A";
  GMRegValueRecord emptyExpand = Value(u"", kRegExpandSz);
  GMRegValueRecord dword = Value(u"", kRegDword);
  dword.dword = 10;
  GMRegValueRecord qword = Value(u"", kRegQword);
  qword.qword = 0x0201;
  GMRegValueRecord multi = Value(u"", kRegMultiSz);
  multi.strings = {u"a", u"b"};
  GMRegValueRecord sparse = Value(u"", kRegMultiSz);
  sparse.strings = {u"", u"a", u""};
  GMRegValueRecord emptyMulti = Value(u"", kRegMultiSz);
  GMRegValueRecord deleted = multi;
  deleted.deleteMark = true;
  const struct {
    GMRegValueRecord value;
    const char16_t* text;
  } cases[] = {
      {none, u"hex(0):01,AB"},
      {binary, u"hex:01,AB"},
      {link, u"hex(6):01,AB"},
      {high, u"hex(2147483648):01,AB"},
      {highEmpty, u"hex(2147483648):"},
      // As the registry editor reads it: \\ a backslash, \" a quote.
      {quoted, u"\"a\\\"b\\\\c\\\\\\\"d\""},
      {expand, u"hex(2):41,00,00,00"},
      {emptyExpand, u"hex(2):00,00"},
      {dword, u"dword:0000000A"},
      {qword, u"hex(b):01,02,00,00,00,00,00,00"},
      {multi, u"hex(7):61,00,00,00,62,00,00,00,00,00"},
      {sparse, u"hex(7):61,00,00,00,00,00"},
      {emptyMulti, u"hex(7):00,00"},
      {deleted, u"-"},
      // Data kept raw, in hex(N): forms that read back as the same bytes.
      {Raw(kRegSz, std::string("A\0", 2)), u"hex(1):41,00"},
      {Raw(kRegSz, ""), u"hex(1):"},
      {Raw(kRegExpandSz, "A"), u"hex(02):41"},
      {Raw(kRegDword, "\x01\x02"), u"hex(4):01,02"},
      {Raw(kRegMultiSz, std::string("a\0", 2)), u"hex(07):61,00"},
      {Raw(kRegBinary, "\x05"), u"hex:05"},
  };
  for (const auto& c : cases) {
    std::u16string text;
    EXPECT_TRUE(GMRegTextWriter::ValueText(c.value, text)) << test::Narrow(c.text);
    EXPECT_EQ(text, c.text);
  }
  for (const GMRegValueRecord& value :
       {Value(u"", kRegDwordBigEndian), Raw(kRegDwordBigEndian, "\x01"), Raw(kRegQword, "\x01")}) {
    std::u16string text;
    EXPECT_FALSE(GMRegTextWriter::ValueText(value, text)) << value.type;
  }
}

GMRegKeyRecord KeyWith(const GMRegValueRecord& value) {
  GMRegKeyRecord key = Key(u"HKCU\\K");
  key.values.push_back(value);
  return key;
}

TEST(RegTextWriter, RefusesWhatTextCannotCarry) {
  GMRegValueRecord lines = Value(u"s", kRegSz);
  lines.text = u"two\r\nlines";
  GMRegValueRecord broken = Value(u"s", kRegSz);
  broken.text = u"hex\\\r\n\r\nx";  // an empty line would end the value
  GMRegValueRecord multi = Value(u"m", kRegMultiSz);
  multi.strings = {std::u16string(u"a\0b", 3)};
  GMRegKeyRecord unknownRoot = Key(u"HKCU\\ok");
  unknownRoot.root = kHKeyClassesRoot;
  const GMRegKeyRecord refused[] = {
      KeyWith(Value(u"be", kRegDwordBigEndian)),
      KeyWith(Value(u"@", kRegDword)),
      KeyWith(Value(u"dir\\", kRegDword)),
      KeyWith(Value(u"a\r\nb", kRegDword)),
      KeyWith(lines),
      KeyWith(broken),
      KeyWith(multi),
      KeyWith(Raw(kRegQword, "\x01\x02")),
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
  const struct {
    uint32_t type;
    std::string bytes;
  } raws[] = {{kRegSz, std::string("A\0", 2)},
              {kRegSz, ""},
              {kRegExpandSz, std::string("%\0A", 3)},
              {kRegDword, "\x01\x02"},
              {kRegMultiSz, std::string("a\0\0\0b\0", 6)}};
  for (const auto& raw : raws) {
    key.values.push_back(Raw(raw.type, raw.bytes));
    key.values.back().name = u"raw" + test::Ascii(std::to_string(key.values.size()));
  }

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
    EXPECT_EQ(got.rawData, want.rawData) << i;
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
