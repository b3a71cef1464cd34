#include "registry/reg_parser.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "reg_test_support.h"
#include "system/encoding.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::Ascii;
using test::ParseAnsi;
using test::ParseBytes;
using test::String;
using test::ThrownText;
using test::U;
using test::Utf16Le;
using Keys = std::deque<GMRegKeyRecord>;
using Strings = std::vector<std::u16string>;

constexpr const char* kWrongFormat = "Wrong file format";
constexpr const char* kNoValueData = "Value data not found for founded value name";
constexpr const char* kKeysEmpty = "Keys list is empty";

std::string FormatError(const std::string& bytes) {
  return ThrownText<std::runtime_error>([&] { ParseBytes(bytes); });
}

std::string GrammarError(const std::string& body) {
  return ThrownText<GMRegTextException>([&] { ParseAnsi(body); });
}

// The one value of the one key of `body`.
GMRegValueRecord OnlyValue(const std::string& body) {
  Keys keys = ParseAnsi("[HKCU\\T]\r\n" + body + "\r\n");
  EXPECT_EQ(keys.size(), 1u);
  if (keys.empty() || keys[0].values.size() != 1) {
    ADD_FAILURE() << "expected one value";
    return GMRegValueRecord();
  }
  return keys[0].values[0];
}

GMRegValueRecord ValueOf(const std::string& data) { return OnlyValue("\"v\"=" + data); }

TEST(RegParserEncoding, AnsiUtf8AndUtf16WithMark) {
  Keys keys = ParseAnsi("[HKCU\\Software\\A]\r\n\"n\"=\"v\"\r\n");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].path, u"Software\\A");
  EXPECT_EQ(keys[0].values[0].text, u"v");

  const std::u16string body = U("[HKCU\\Software\\游戏]\r\n\"名称\"=\"客户端 ü\"\r\n");
  for (const std::string& bytes :
       {std::string("\xEF\xBB\xBF") + test::kVersion5Line +
            "[HKCU\\Software\\\xE6\xB8\xB8\xE6\x88\x8F]\r\n"
            "\"\xE5\x90\x8D\xE7\xA7\xB0\"=\"\xE5\xAE\xA2\xE6\x88\xB7\xE7\xAB\xAF \xC3\xBC\"\r\n",
        Utf16Le(Ascii(test::kVersion5Line) + body)}) {
    keys = ParseBytes(bytes);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].path, U("Software\\游戏"));
    ASSERT_EQ(keys[0].values.size(), 1u);
    EXPECT_EQ(keys[0].values[0].name, U("名称"));
    EXPECT_EQ(keys[0].values[0].text, U("客户端 ü"));
  }

  // ANSI bytes above 0x7F after the first byte are read in the ANSI code page.
  keys = ParseAnsi("[HKCU\\A]\r\n\"n\"=\"\xC4\xE3\"\r\n");
  EXPECT_EQ(keys[0].values[0].text, FromAnsi("\xC4\xE3"));
}

TEST(RegParserEncoding, Utf16OddByteAndEmbeddedNul) {
  const std::string bytes =
      Utf16Le(Ascii(test::kVersion5Line) + std::u16string(u"[HKCU\\A]\r\n\"n\"=\"a\0b\"\r\n", 21));
  Keys keys = ParseBytes(bytes + "X");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].values[0].text, std::u16string(u"a\0b", 3));
}

TEST(RegParserEncoding, RefusedMarksAndMissingHeaders) {
  EXPECT_EQ(FormatError("\xFE\xFF"), kWrongFormat);  // UTF-16BE
  EXPECT_EQ(FormatError(std::string("\xFE\xFF\0W", 4)), kWrongFormat);
  EXPECT_EQ(FormatError(std::string("\xFF\x00W\0", 4)), kWrongFormat);  // half a mark
  EXPECT_EQ(FormatError("\xEF\xBB"
                        "REGEDIT4\r\n"),
            kWrongFormat);  // short UTF-8 mark
  EXPECT_EQ(FormatError("\x7F"
                        "REGEDIT4\r\n"),
            kWrongFormat);
  EXPECT_EQ(FormatError("\x80"
                        "REGEDIT4\r\n"),
            kWrongFormat);
  // UTF-16 without a mark reads as ANSI text and ends at its first NUL.
  EXPECT_EQ(FormatError(std::string("R\0E\0G\0E\0D\0I\0T\0"
                                    "4\0",
                                    16)),
            kWrongFormat);
  EXPECT_EQ(FormatError(std::string("\0R\0E\0G\0E\0D\0I\0T\0"
                                    "4",
                                    16)),
            kWrongFormat);
  EXPECT_EQ(FormatError("regedit4\r\n"), kWrongFormat);
  EXPECT_EQ(FormatError("Windows Registry Editor Version 5\r\n"), kWrongFormat);
  EXPECT_EQ(FormatError("\r\nREGEDIT4\r\n"), kWrongFormat);  // CR LF is not a blank
  EXPECT_EQ(FormatError(""), kWrongFormat);
  EXPECT_EQ(FormatError("R"), kWrongFormat);
  EXPECT_EQ(FormatError("\xFF\xFE"), kWrongFormat);
  EXPECT_EQ(FormatError("\xEF\xBB\xBF"), kWrongFormat);
}

TEST(RegParserEncoding, HeadersAfterBlanks) {
  for (const char* header :
       {" \t REGEDIT4", "\tWindows Registry Editor Version 5.00", "REGEDIT4"}) {
    Keys keys = ParseBytes(std::string(header) + "\r\n[HKLM\\A]\r\n");
    ASSERT_EQ(keys.size(), 1u) << header;
    EXPECT_EQ(keys[0].root, kHKeyLocalMachine);
  }
  // What follows the header on its line is the first line.
  Keys keys = ParseBytes("REGEDIT4[HKCU\\First]\r\n[HKCU\\Second]");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].path, u"First");
  EXPECT_EQ(keys[1].path, u"Second");  // a last line without CR LF counts

  std::u16string text = u" \tREGEDIT4x";
  EXPECT_EQ(ReadRegHeader(text), kRegHeaderRegedit4);
  EXPECT_EQ(text, u"x");
  text = u"Windows Registry Editor Version 5.00\r\n";
  EXPECT_EQ(ReadRegHeader(text), kRegHeaderVersion5);
  EXPECT_EQ(text, u"\r\n");
  text = u"  REGEDIT 4";
  EXPECT_EQ(ReadRegHeader(text), 0u);
}

TEST(RegParserEncoding, TextWithoutCrLfHasNoKeys) {
  EXPECT_TRUE(ParseBytes("REGEDIT4\n[HKCU\\A]\n\"a\"=\"b\"\n").empty());
  EXPECT_TRUE(ParseBytes("REGEDIT4").empty());
  // A lone CR or LF is an ordinary character.
  Keys keys = ParseAnsi("[HKCU\\A]\r\n\"a\"=\"x\ny\rz\"\r\n");
  EXPECT_EQ(keys[0].values[0].text, u"x\ny\rz");
}

// Records what the tokenizer reports, as text.
class Recorder : public GMResultProcessor {
 public:
  void OnKey(const char16_t* b, const char16_t* e) override {
    events.push_back(u"key:" + std::u16string(b, e));
  }
  void OnValueName(const char16_t* b, const char16_t* e) override {
    events.push_back(u"name:" + std::u16string(b, e));
  }
  void OnValueData(const char16_t* b, const char16_t* e) override {
    events.push_back(u"data:" + std::u16string(b, e));
  }
  Strings events;
};

Strings Tokens(const std::u16string& text) {
  Recorder recorder;
  Tokenize(text, recorder);
  return recorder.events;
}

TEST(RegTokenize, LinesKeysAndValues) {
  EXPECT_EQ(Tokens(u"\r\n  \t[HKCU\\A]\r\n; comment\r\n\r\n\t\"a\" = \"b\"\r\nno "
                   u"equals\r\n[HKCU\\B] \r\n@=x"),
            (Strings{u"key:HKCU\\A", u"name:\"a\" ", u"data: \"b\"", u"name:@", u"data:x"}));
  // "=" inside quotes does not count; a quote after a backslash does not close them.
  EXPECT_EQ(Tokens(u"\r\n\"a=b\"=1\r\n\"c\\\"=d\"=2\r\n"),
            (Strings{u"name:\"a=b\"", u"data:1", u"name:\"c\\\"=d\"", u"data:2"}));
  EXPECT_EQ(Tokens(u"[HKCU\\A]"), Strings{});
  EXPECT_EQ(Tokens(u"[]\r\n[\r\n"), Strings{u"key:"});
}

TEST(RegTokenize, ContinuedHexDataSpansLines) {
  EXPECT_EQ(
      Tokens(u"\r\n\"a\"=hex:01,\\\r\n  02,\\\r\n\t03\r\n\"b\"=1\r\n"),
      (Strings{u"name:\"a\"", u"data:hex:01,\\\r\n  02,\\\r\n\t03", u"name:\"b\"", u"data:1"}));
  EXPECT_EQ(Tokens(u"\r\n\"d\"=dword:\\\r\n0000000a\r\n"),
            (Strings{u"name:\"d\"", u"data:dword:\\\r\n0000000a"}));
  // An empty line does not end in a backslash: it ends the value.
  EXPECT_EQ(Tokens(u"\r\n\"a\"=hex:01,\\\r\n\r\n02\r\n"),
            (Strings{u"name:\"a\"", u"data:hex:01,\\\r\n"}));
  // Without hex or dword the name is left waiting and the next lines are read as usual.
  EXPECT_EQ(Tokens(u"\r\n\"s\"=\"x\\\r\n\"t\"=\"y\"\r\n"),
            (Strings{u"name:\"s\"", u"name:\"t\"", u"data:\"y\""}));
  // A value still open at the end reports no data.
  EXPECT_EQ(Tokens(u"\r\n\"a\"=hex:01,\\\r\n02,\\"), (Strings{u"name:\"a\""}));
}

class RecordingObserver : public GMRegFileObserver {
 public:
  void OnKey(const char16_t* b, const char16_t* e) override {
    events.push_back(u"key:" + std::u16string(b, e));
  }
  void OnValue(const char16_t* nb, const char16_t* ne, const char16_t* db,
               const char16_t* de) override {
    events.push_back(std::u16string(nb, ne) + u"=" + std::u16string(db, de));
  }
  Strings events;
};

TEST(RegFileParser, PairsNamesWithDataAndRefusesOutOfTurn) {
  const std::u16string text = u"[K]nameData";
  const char16_t* p = text.data();
  RecordingObserver observer;
  GMRegFileParser parser(&observer);
  parser.OnKey(p + 1, p + 2);
  parser.OnValueName(p + 3, p + 7);
  EXPECT_EQ(ThrownText<GMRegTextException>([&] { parser.OnKey(p, p); }), kNoValueData);
  EXPECT_EQ(ThrownText<GMRegTextException>([&] { parser.OnValueName(p, p); }), kNoValueData);
  parser.OnValueData(p + 7, p + 11);
  EXPECT_EQ(ThrownText<GMRegTextException>([&] { parser.OnValueData(p, p); }), kNoValueData);
  EXPECT_EQ(observer.events, (Strings{u"key:K", u"name=Data"}));
}

TEST(RegParser, KeyLines) {
  Keys keys = ParseAnsi(
      "[HKCU\\Software\\A]\r\n"
      "  [HKEY_LOCAL_MACHINE]\r\n"
      "[-HKEY_USERS\\.DEFAULT\\Old]\r\n"
      "[HKCU\\Skipped] \r\n");
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].root, kHKeyCurrentUser);
  EXPECT_EQ(keys[0].path, u"Software\\A");
  EXPECT_EQ(keys[1].root, kHKeyLocalMachine);
  EXPECT_EQ(keys[1].path, u"");
  EXPECT_TRUE(keys[2].deleteMark);
  EXPECT_EQ(keys[2].root, kHKeyUsers);
  EXPECT_EQ(keys[2].path, u".DEFAULT\\Old");
}

TEST(RegParser, KeysUnderUnknownRootsAreDroppedWithTheirValues) {
  Keys keys = ParseAnsi(
      "[HKEY_CLASSES_ROOT\\.gmz]\r\n\"a\"=\"1\"\r\n"
      "[HKCU\\Kept]\r\n\"b\"=\"2\"\r\n"
      "[hkcu\\Lower]\r\n\"c\"=\"3\"\r\n\"d\"=\"4\"\r\n"
      "[HKLM\\Also]\r\n\"e\"=\"5\"\r\n");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].path, u"Kept");
  ASSERT_EQ(keys[0].values.size(), 1u);
  EXPECT_EQ(keys[0].values[0].name, u"b");
  EXPECT_EQ(keys[1].path, u"Also");
  ASSERT_EQ(keys[1].values.size(), 1u);
  EXPECT_EQ(keys[1].values[0].name, u"e");
}

TEST(RegParser, ValueNames) {
  EXPECT_EQ(OnlyValue("@=\"x\"").name, u"");
  EXPECT_EQ(OnlyValue("\"@\"=\"x\"").name, u"");
  EXPECT_EQ(OnlyValue("plain=\"x\"").name, u"plain");
  EXPECT_EQ(OnlyValue("\"a\\\\b\\\"c\"=\"x\"").name, u"a\\b\"c");
  EXPECT_EQ(OnlyValue("\\@=\"x\"").name, u"\\@");
  // Blanks before "=" stay in the name, so its quotes stay too; the data then starts
  // with a blank, matches no form and is an empty REG_SZ.
  GMRegValueRecord value = OnlyValue("\"a\" = \"x\"");
  EXPECT_EQ(value.name, u"\"a\" ");
  EXPECT_EQ(value.type, kRegSz);
  EXPECT_EQ(value.text, u"");
}

TEST(RegParser, StringAndDeleteForms) {
  GMRegValueRecord value = ValueOf("\"say \\\"hi\\\" C:\\\\dir\\\\\"");
  EXPECT_EQ(value.type, kRegSz);
  EXPECT_EQ(value.text, u"say \"hi\" C:\\dir\\");
  EXPECT_EQ(ValueOf("\"open").text, u"\"open");
  EXPECT_EQ(ValueOf("\"").text, u"");
  EXPECT_EQ(ValueOf("\"\"").text, u"");

  value = ValueOf("-");
  EXPECT_TRUE(value.deleteMark);
  EXPECT_EQ(value.type, kRegSz);
  EXPECT_FALSE(ValueOf("--").deleteMark);

  value = ValueOf("unknown");
  EXPECT_EQ(value.type, kRegSz);
  EXPECT_EQ(value.text, u"");
  GMRegValueRecord direct;
  EXPECT_FALSE(ParseValueText(u"Hex:01", direct));
  EXPECT_TRUE(ParseValueText(u"hex:01", direct));
}

TEST(RegParser, DwordAndQwordForms) {
  EXPECT_EQ(ValueOf("dword:0000000a").dword, 10u);
  EXPECT_EQ(ValueOf("dword:0000000a").type, kRegDword);
  EXPECT_EQ(ValueOf("dword:123456789").dword, 0x12345678u);
  EXPECT_EQ(ValueOf("dword:1234567g").dword, 0x1234567u);
  EXPECT_EQ(ValueOf("dword:0xFFFFFFFF").dword, 0xFFFFFFFFu);
  EXPECT_EQ(ValueOf("dword: 1").dword, 0u);  // the rest is not cleaned
  EXPECT_EQ(ValueOf("dword:").dword, 0u);

  GMRegValueRecord value = ValueOf("hex(b):01,02");
  EXPECT_EQ(value.type, kRegQword);
  EXPECT_EQ(value.qword, 0x0201u);
  // Items keep their full value and the ninth adds nothing.
  EXPECT_EQ(ValueOf("hex(b):100,01").qword, 0x0200u);
  EXPECT_EQ(ValueOf("hex(b):01,02,03,04,05,06,07,08,09").qword, 0x0807060504030201u);
}

TEST(RegParser, BinaryForms) {
  GMRegValueRecord value = ValueOf("hex:01,,ff,1ff,");
  EXPECT_EQ(value.type, kRegBinary);
  EXPECT_EQ(String(value.bytes), std::string("\x01\x00\xFF\xFF", 4));
  EXPECT_EQ(ValueOf("hex:").bytes.Length(), 0u);
  EXPECT_EQ(String(ValueOf("hex:,").bytes), std::string(1, '\0'));
  EXPECT_EQ(String(ValueOf("hex: 0 1 , 2").bytes), "\x01\x02");

  value = ValueOf("hex(0):01");
  EXPECT_EQ(value.type, kRegNone);
  EXPECT_EQ(String(value.bytes), "\x01");
  value = ValueOf("hex(20):ab,cd");
  EXPECT_EQ(value.type, 20u);
  EXPECT_EQ(String(value.GetData()), "\xAB\xCD");
  EXPECT_EQ(ValueOf("hex( 1 2 ):05").type, 12u);
  EXPECT_EQ(ValueOf("hex(4294967295):05").type, 0xFFFFFFFFu);
  EXPECT_EQ(ValueOf("hex(x):05").type, kRegNone);
  value = ValueOf("hex(3)");
  EXPECT_EQ(value.type, kRegBinary);
  EXPECT_EQ(value.bytes.Length(), 0u);
}

TEST(RegParser, GenericDwordFormsCarryTheirFourBytes) {
  GMRegValueRecord value = ValueOf("hex(4):01,02,03,04");
  EXPECT_EQ(value.type, kRegDword);
  EXPECT_EQ(value.dword, 0x04030201u);
  EXPECT_EQ(String(value.GetData()), "\x01\x02\x03\x04");
  value = ValueOf("hex(5):01,02,03,04");
  EXPECT_EQ(value.type, kRegDwordBigEndian);
  EXPECT_EQ(String(value.GetData()), "\x01\x02\x03\x04");
  // Other sizes have no number to give.
  value = ValueOf("hex(4):01,02");
  EXPECT_EQ(value.dword, 0u);
  EXPECT_EQ(String(value.bytes), "\x01\x02");
}

TEST(RegParser, ExpandStringAndMultiStringForms) {
  // The registry's terminating NUL is not part of the text; GetData adds it back.
  GMRegValueRecord value = ValueOf("hex(2):41,00,00,00");
  EXPECT_EQ(value.type, kRegExpandSz);
  EXPECT_EQ(value.text, u"A");
  EXPECT_EQ(String(value.GetData()), std::string("A\0\0\0", 4));
  EXPECT_EQ(ValueOf("hex(2):41,00,42,00").text, u"AB");
  EXPECT_EQ(ValueOf("hex(2):41,00,00,00,00,00").text, std::u16string(u"A\0", 2));
  EXPECT_EQ(ValueOf("hex(2):25,00,41,00,25").text, u"%A");

  value = ValueOf("hex(7):61,00,00,00,00,00,62,00,00,00,00,00");
  EXPECT_EQ(value.type, kRegMultiSz);
  EXPECT_EQ(value.strings, (Strings{u"a", u"b"}));
  EXPECT_EQ(value.text, std::u16string(u"a\0\0b\0\0", 6));
  EXPECT_EQ(ValueOf("hex(7):61,00,00,00,62,00").strings, (Strings{u"a"}));
  EXPECT_TRUE(ValueOf("hex(7):").strings.empty());
}

TEST(RegParser, ContinuationLines) {
  const std::string oneLine = "\"b\"=hex:01,02,03,04,05\r\n";
  const std::string spread = "\"b\"=hex:01,02,\\\r\n  03,04,\\\r\n  05\r\n";
  EXPECT_EQ(String(OnlyValue(oneLine).bytes), String(OnlyValue(spread).bytes));
  EXPECT_EQ(String(OnlyValue(spread).bytes), "\x01\x02\x03\x04\x05");
  // A tab is not cleaned away: it spoils the first item of each later line.
  EXPECT_EQ(String(OnlyValue("\"b\"=hex:01,02,\\\r\n\t03,04,\\\r\n\t05\r\n").bytes),
            std::string("\x01\x02\x00\x04\x00", 5));

  // An unfinished hex value takes the key line that follows into its data.
  Keys keys = ParseAnsi("[HKCU\\A]\r\n\"b\"=hex:01,\\\r\n[HKCU\\B]\r\n\"c\"=\"x\"\r\n");
  ASSERT_EQ(keys.size(), 1u);
  ASSERT_EQ(keys[0].values.size(), 2u);
  EXPECT_EQ(String(keys[0].values[0].bytes), std::string("\x01\x00", 2));
  EXPECT_EQ(keys[0].values[1].name, u"c");
}

TEST(RegParser, GrammarErrors) {
  // A string line ending in a backslash leaves its name waiting for data.
  EXPECT_EQ(GrammarError("[HKCU\\A]\r\n\"s\"=\"x\\\r\n[HKCU\\B]\r\n"), kNoValueData);
  EXPECT_EQ(GrammarError("[HKCU\\A]\r\n\"s\"=\"x\\\r\n\"t\"=\"y\"\r\n"), kNoValueData);
  EXPECT_EQ(GrammarError("\"a\"=\"b\"\r\n[HKCU\\A]\r\n"), kKeysEmpty);

  // A waiting name at the end is dropped; keys before an error stay.
  Keys keys = ParseAnsi("[HKCU\\A]\r\n\"a\"=\"1\"\r\n\"s\"=\"x\\\r\n; end\r\n");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].values.size(), 1u);
  GMRegParser parser;
  const std::string text =
      std::string(test::kVersion5Line) + "[HKCU\\A]\r\n\"s\"=\"x\\\r\n[HKCU\\B]\r\n";
  EXPECT_THROW(parser.Parse(reinterpret_cast<const unsigned char*>(text.data()), text.size()),
               GMRegTextException);
  EXPECT_EQ(parser.Keys().size(), 1u);

  // Values after a dropped key are dropped, not an error.
  EXPECT_TRUE(ParseAnsi("[HKEY_CLASSES_ROOT\\x]\r\n\"a\"=\"b\"\r\n").empty());
}

TEST(RegParser, SecondParseAppends) {
  GMRegParser parser;
  const std::string first = "REGEDIT4\r\n[HKCU\\A]\r\n";
  const std::string second = "REGEDIT4\r\n\"v\"=\"to A\"\r\n[HKCU\\B]\r\n";
  parser.Parse(test::Buffer(first));
  parser.Parse(test::Buffer(second));
  ASSERT_EQ(parser.Keys().size(), 2u);
  ASSERT_EQ(parser.Keys()[0].values.size(), 1u);
  EXPECT_EQ(parser.Keys()[0].values[0].text, u"to A");
}

TEST(RegParserLoadFile, ReadsWholeFilesAndRefusesOthers) {
  test::ScratchDir dir;
  GMRegParser parser;
  EXPECT_EQ(ThrownText<std::runtime_error>([&] { parser.LoadFile(dir.Join(u"missing.reg")); }),
            "Load file failed");
  test::WriteBytes(dir.fs_path() / "empty.reg", "");
  EXPECT_EQ(ThrownText<std::runtime_error>([&] { parser.LoadFile(dir.Join(u"empty.reg")); }),
            "Load file failed");
  EXPECT_EQ(ThrownText<std::runtime_error>([&] { parser.LoadFile(dir.path()); }),
            "Load file failed");
  test::WriteBytes(dir.fs_path() / "bad.reg", "REGEDIT5\r\n");
  EXPECT_EQ(ThrownText<std::runtime_error>([&] { parser.LoadFile(dir.Join(u"bad.reg")); }),
            kWrongFormat);

  test::WriteBytes(dir.fs_path() / "one.reg", "REGEDIT4\r\n[HKLM\\X]\r\n@=dword:1");
  parser.LoadFile(dir.Join(u"one.reg"));
  ASSERT_EQ(parser.Keys().size(), 1u);
  EXPECT_EQ(parser.Keys()[0].values[0].dword, 1u);
}

TEST(RegParserLoadFile, ClientSample) {
  GMRegParser parser;
  parser.LoadFile(
      test::SysPath(test::fs::path(GM_TEST_DATA_DIR) / "registry" / "client_utf16.reg"));
  const Keys& keys = parser.Keys();
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].FullKeyName(true), u"HKEY_CURRENT_USER\\Software\\Lunefa\\Client");
  const std::vector<GMRegValueRecord>& values = keys[0].values;
  ASSERT_EQ(values.size(), 6u);
  EXPECT_EQ(values[0].name, u"");
  EXPECT_EQ(values[0].text, u"##install##\\client.exe");
  EXPECT_EQ(values[1].name, U("名称"));
  EXPECT_EQ(values[1].text, U("游戏客户端"));
  EXPECT_EQ(values[2].dword, 11000u);
  EXPECT_EQ(values[3].strings, (Strings{u"a:", u"b"}));
  EXPECT_EQ(values[4].bytes.Length(), 24u);
  EXPECT_EQ(values[4].bytes.Data()[23], 0x17);
  EXPECT_TRUE(values[5].deleteMark);
  EXPECT_EQ(keys[1].FullKeyName(true), u"-HKEY_CURRENT_USER\\Software\\Lunefa\\Old");
  EXPECT_EQ(keys[2].root, kHKeyLocalMachine);
  EXPECT_EQ(keys[2].values[0].qword, 0x100000000u);
}

}  // namespace
}  // namespace Zavro
