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

std::string GrammarError(const std::string& body) {
  return ThrownText<GMRegTextException>([&] { ParseAnsi(body); });
}

// The one value of the one key of `body`.
GMRegValueRecord OnlyValue(const std::string& body) {
  Keys keys = ParseAnsi("[HKCU\\T]\r\n" + body + "\r\n");
  if (keys.size() != 1 || keys[0].values.size() != 1) {
    ADD_FAILURE() << "expected one value: " << body;
    return GMRegValueRecord();
  }
  return keys[0].values[0];
}

GMRegValueRecord ValueOf(const std::string& data) { return OnlyValue("\"v\"=" + data); }

TEST(RegParserEncoding, AnsiUtf8AndUtf16WithMark) {
  const std::u16string body = U("[HKCU\\Software\\游戏]\r\n\"名称\"=\"客户端 ü\"\r\n");
  for (const std::string& bytes :
       {std::string("\xEF\xBB\xBF") + test::kVersion5Line +
            "[HKCU\\Software\\\xE6\xB8\xB8\xE6\x88\x8F]\r\n"
            "\"\xE5\x90\x8D\xE7\xA7\xB0\"=\"\xE5\xAE\xA2\xE6\x88\xB7\xE7\xAB\xAF \xC3\xBC\"\r\n",
        Utf16Le(Ascii(test::kVersion5Line) + body)}) {
    Keys keys = ParseBytes(bytes);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].path, U("Software\\游戏"));
    ASSERT_EQ(keys[0].values.size(), 1u);
    EXPECT_EQ(keys[0].values[0].name, U("名称"));
    EXPECT_EQ(keys[0].values[0].text, U("客户端 ü"));
  }
  // ANSI bytes above 0x7F after the first byte are read in the ANSI code page.
  EXPECT_EQ(ParseAnsi("[HKCU\\A]\r\n\"n\"=\"\xC4\xE3\"\r\n")[0].values[0].text,
            FromAnsi("\xC4\xE3"));

  // UTF-16 drops an odd last byte and keeps a NUL inside the text.
  const std::string withNul = Utf16Le(Ascii(test::kVersion5Line) +
                                      std::u16string(u"[HKCU\\A]\r\n\"n\"=\"a\0b\"\r\n", 21));
  EXPECT_EQ(ParseBytes(withNul + "X")[0].values[0].text, std::u16string(u"a\0b", 3));
}

TEST(RegParserEncoding, RefusedMarksAndMissingHeaders) {
  const std::string refused[] = {
      "\xFE\xFF", std::string("\xFE\xFF\0W", 4),  // UTF-16BE
      std::string("\xFF\x00W\0", 4),               // half a mark
      "\xEF\xBBREGEDIT4\r\n",                     // short UTF-8 mark
      "\x7FREGEDIT4\r\n", "\x80REGEDIT4\r\n",
      // UTF-16 without a mark reads as ANSI text and ends at its first NUL.
      Utf16Le(u"REGEDIT4").substr(2), std::string(1, '\0') + Utf16Le(u"REGEDIT4").substr(2, 15),
      "regedit4\r\n", "Windows Registry Editor Version 5\r\n",
      "\r\nREGEDIT4\r\n",  // CR LF is not a blank
      "", "R", "\xFF\xFE", "\xEF\xBB\xBF",
  };
  for (const std::string& bytes : refused) {
    EXPECT_EQ(ThrownText<std::runtime_error>([&] { ParseBytes(bytes); }), kWrongFormat) << bytes;
  }
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

  // Without CR LF there are no lines; a lone CR or LF is an ordinary character.
  EXPECT_TRUE(ParseBytes("REGEDIT4\n[HKCU\\A]\n\"a\"=\"b\"\n").empty());
  EXPECT_TRUE(ParseBytes("REGEDIT4").empty());
  EXPECT_EQ(ParseAnsi("[HKCU\\A]\r\n\"a\"=\"x\ny\rz\"\r\n")[0].values[0].text, u"x\ny\rz");
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

TEST(RegTokenize, LinesKeysValuesAndContinuations) {
  const struct {
    const char16_t* text;
    Strings events;
  } cases[] = {
      {u"\r\n  \t[HKCU\\A]\r\n; comment\r\n\r\n\t\"a\" = \"b\"\r\nno equals\r\n[HKCU\\B] \r\n@=x",
       {u"key:HKCU\\A", u"name:\"a\" ", u"data: \"b\"", u"name:@", u"data:x"}},
      // "=" inside quotes does not count; a quote after a backslash does not close them.
      {u"\r\n\"a=b\"=1\r\n\"c\\\"=d\"=2\r\n",
       {u"name:\"a=b\"", u"data:1", u"name:\"c\\\"=d\"", u"data:2"}},
      {u"[HKCU\\A]", {}},
      {u"[]\r\n[\r\n", {u"key:"}},
      {u"\r\n\"a\"=hex:01,\\\r\n  02,\\\r\n\t03\r\n\"b\"=1\r\n",
       {u"name:\"a\"", u"data:hex:01,\\\r\n  02,\\\r\n\t03", u"name:\"b\"", u"data:1"}},
      {u"\r\n\"d\"=dword:\\\r\n0000000a\r\n", {u"name:\"d\"", u"data:dword:\\\r\n0000000a"}},
      // An empty line does not end in a backslash: it ends the value.
      {u"\r\n\"a\"=hex:01,\\\r\n\r\n02\r\n", {u"name:\"a\"", u"data:hex:01,\\\r\n"}},
      // Without hex or dword the name is left waiting and the next lines are read as usual.
      {u"\r\n\"s\"=\"x\\\r\n\"t\"=\"y\"\r\n", {u"name:\"s\"", u"name:\"t\"", u"data:\"y\""}},
      // A value still open at the end reports no data.
      {u"\r\n\"a\"=hex:01,\\\r\n02,\\", {u"name:\"a\""}},
  };
  for (const auto& c : cases) {
    Recorder recorder;
    Tokenize(c.text, recorder);
    EXPECT_EQ(recorder.events, c.events) << test::Narrow(c.text);
  }
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

TEST(RegParser, KeyLinesAndUnknownRoots) {
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

  // A key under a root the table does not have is dropped with its values, and so is
  // one whose name only begins with a root name.
  keys = ParseAnsi(
      "[HKEY_CLASSES_ROOT\\.gmz]\r\n\"a\"=\"1\"\r\n"
      "[HKCU\\Kept]\r\n\"b\"=\"2\"\r\n"
      "[hkcu\\Lower]\r\n\"c\"=\"3\"\r\n\"d\"=\"4\"\r\n"
      "[HKEY_CURRENT_USER_LOCAL_SETTINGS\\X]\r\n\"f\"=\"6\"\r\n"
      "[HKCUx\\Software]\r\n\"g\"=\"7\"\r\n"
      "[HKLM\\Also]\r\n\"e\"=\"5\"\r\n");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].FullKeyName(true), u"HKEY_CURRENT_USER\\Kept");
  ASSERT_EQ(keys[0].values.size(), 1u);
  EXPECT_EQ(keys[0].values[0].name, u"b");
  EXPECT_EQ(keys[1].FullKeyName(true), u"HKEY_LOCAL_MACHINE\\Also");
  ASSERT_EQ(keys[1].values.size(), 1u);
  EXPECT_EQ(keys[1].values[0].name, u"e");
}

TEST(RegParser, ValueNames) {
  const struct {
    const char* line;
    const char16_t* name;
  } cases[] = {
      {"@=\"x\"", u""},
      {"\"@\"=\"x\"", u""},
      {"plain=\"x\"", u"plain"},
      {"\"a\\\\b\\\"c\"=\"x\"", u"a\\b\"c"},
      {"\\@=\"x\"", u"\\@"},
      // Blanks before "=" stay in the name, so its quotes stay too.
      {"\"a\" = \"x\"", u"\"a\" "},
  };
  for (const auto& c : cases) EXPECT_EQ(OnlyValue(c.line).name, c.name) << c.line;
}

// UTF-16LE bytes of `text` and a terminating NUL unit.
std::string Sz(const std::u16string& text) {
  return Utf16Le(text + std::u16string(1, u'\0')).substr(2);
}

TEST(RegParser, DataForms) {
  const struct {
    const char* data;
    uint32_t type;
    std::string bytes;  // GetData
    bool raw;
  } cases[] = {
      {"\"say \\\"hi\\\" C:\\\\dir\\\\\"", kRegSz, Sz(u"say \"hi\" C:\\dir\\"), false},
      {"\"say \\\\\"hi\\\\\"\"", kRegSz, Sz(u"say \"hi\""), false},  // the older escape
      {"\"open", kRegSz, Sz(u"\"open"), false},
      {"\"", kRegSz, Sz(u""), false},
      {"\"\"", kRegSz, Sz(u""), false},
      // Anything else, and data after a blank, is an empty REG_SZ.
      {"unknown", kRegSz, Sz(u""), false},
      {" \"x\"", kRegSz, Sz(u""), false},
      {"--", kRegSz, Sz(u""), false},
      {"Hex:01", kRegSz, Sz(u""), false},

      {"dword:0000000a", kRegDword, std::string("\x0a\0\0\0", 4), false},
      {"dword:123456789", kRegDword, "\x78\x56\x34\x12", false},
      {"dword:1234567g", kRegDword, std::string("\x67\x45\x23\x01", 4), false},
      {"dword:0xFFFFFFFF", kRegDword, "\xFF\xFF\xFF\xFF", false},
      {"dword: 1", kRegDword, std::string(4, '\0'), false},  // the rest is not cleaned
      {"dword:", kRegDword, std::string(4, '\0'), false},
      {"dword:0000\\\r\n  000a", kRegDword, std::string("\x0a\0\0\0", 4), false},
      {"dword:\\\r\n0000000a", kRegDword, std::string("\x0a\0\0\0", 4), false},

      {"hex(b):01,02", kRegQword, std::string("\x01\x02\0\0\0\0\0\0", 8), false},
      // Items keep their full value and the ninth adds nothing.
      {"hex(b):100,01", kRegQword, std::string("\0\x02\0\0\0\0\0\0", 8), false},
      {"hex(b):01,02,03,04,05,06,07,08,09", kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08", false},

      {"hex:01,,ff,1ff,", kRegBinary, std::string("\x01\x00\xFF\xFF", 4), false},
      {"hex:", kRegBinary, "", false},
      {"hex:,", kRegBinary, std::string(1, '\0'), false},
      {"hex: 0 1 , 2", kRegBinary, "\x01\x02", false},
      {"hex(0):01", kRegNone, "\x01", false},
      {"hex(20):ab,cd", 20, "\xAB\xCD", false},
      {"hex( 1 2 ):05", 12, "\x05", false},
      {"hex(4294967295):05", 0xFFFFFFFF, "\x05", false},
      {"hex(x):05", kRegNone, "\x05", false},
      {"hex(3)", kRegBinary, "", false},
      // In text 255 is a type like any other, not a deletion.
      {"hex(255):01", kRegDeletedValue, "\x01", false},

      // The registry's terminating NUL is not part of the text; GetData adds it back.
      {"hex(2):41,00,00,00", kRegExpandSz, Sz(u"A"), false},
      {"hex(2):41,00,42,00", kRegExpandSz, Sz(u"AB"), false},
      {"hex(2):41,00,00,00,00,00", kRegExpandSz, Sz(std::u16string(u"A\0", 2)), false},
      {"hex(2):25,00,41,00,25", kRegExpandSz, Sz(u"%A"), false},
      // Empty strings are dropped, and so is a last string without a NUL after it.
      {"hex(7):61,00,00,00,00,00,62,00,00,00,00,00", kRegMultiSz,
       std::string("a\0\0\0b\0\0\0\0\0", 10), false},
      {"hex(7):61,00,00,00,62,00", kRegMultiSz, std::string("a\0\0\0\0\0", 6), false},
      {"hex(7):", kRegMultiSz, std::string(2, '\0'), false},

      // The generic form gives every type exactly the listed bytes.
      {"hex(1):41,00,00,00", kRegSz, std::string("A\0\0\0", 4), false},
      {"hex(1):41,00", kRegSz, std::string("A\0", 2), true},
      {"hex(1):41,00,42", kRegSz, std::string("A\0B", 3), true},
      {"hex(1):", kRegSz, "", true},
      {"hex(02):41,00", kRegExpandSz, std::string("A\0", 2), true},
      {"hex(07):61,00,00,00,00,00", kRegMultiSz, std::string("a\0\0\0\0\0", 6), false},
      {"hex(07):61,00,00,00,62,00", kRegMultiSz, std::string("a\0\0\0b\0", 6), true},
      {"hex(11):01,02,03,04,05,06,07,08", kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08", false},
      {"hex(11):01,02", kRegQword, "\x01\x02", true},
      {"hex(4):01,02,03,04", kRegDword, "\x01\x02\x03\x04", false},
      {"hex(5):01,02,03,04", kRegDwordBigEndian, "\x01\x02\x03\x04", false},
      {"hex(4):01,02", kRegDword, "\x01\x02", true},
      {"hex(5):", kRegDwordBigEndian, "", true},
  };
  for (const auto& c : cases) {
    const GMRegValueRecord value = ValueOf(c.data);
    EXPECT_EQ(value.type, c.type) << c.data;
    EXPECT_EQ(String(value.GetData()), c.bytes) << c.data;
    EXPECT_EQ(value.rawData, c.raw) << c.data;
    EXPECT_FALSE(value.deleteMark) << c.data;
  }

  GMRegValueRecord value = ValueOf("-");
  EXPECT_TRUE(value.deleteMark);
  EXPECT_EQ(value.type, kRegSz);
  EXPECT_EQ(ValueOf("hex(4):01,02,03,04").dword, 0x04030201u);
  EXPECT_EQ(ValueOf("hex(5):01,02,03,04").dword, 0x01020304u);
  EXPECT_EQ(ValueOf("hex(7):61,00,00,00,00,00,62,00,00,00").text,
            std::u16string(u"a\0\0b\0", 5));
  GMRegValueRecord direct;
  EXPECT_FALSE(ParseValueText(u"Hex:01", direct));
  EXPECT_TRUE(ParseValueText(u"hex:01", direct));
}

TEST(RegParser, ContinuationLines) {
  const std::string spread = "\"b\"=hex:01,02,\\\r\n  03,04,\\\r\n  05\r\n";
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

TEST(RegParser, GrammarErrorsAndAppending) {
  // A string line ending in a backslash leaves its name waiting for data.
  EXPECT_EQ(GrammarError("[HKCU\\A]\r\n\"s\"=\"x\\\r\n[HKCU\\B]\r\n"), kNoValueData);
  EXPECT_EQ(GrammarError("[HKCU\\A]\r\n\"s\"=\"x\\\r\n\"t\"=\"y\"\r\n"), kNoValueData);
  EXPECT_EQ(GrammarError("\"a\"=\"b\"\r\n[HKCU\\A]\r\n"), kKeysEmpty);

  // A waiting name at the end is dropped; keys before an error stay.
  Keys keys = ParseAnsi("[HKCU\\A]\r\n\"a\"=\"1\"\r\n\"s\"=\"x\\\r\n; end\r\n");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].values.size(), 1u);
  GMRegParser parser;
  EXPECT_THROW(parser.Parse(test::Buffer(std::string(test::kVersion5Line) +
                                         "[HKCU\\A]\r\n\"s\"=\"x\\\r\n[HKCU\\B]\r\n")),
               GMRegTextException);
  EXPECT_EQ(parser.Keys().size(), 1u);

  // Values after a dropped key are dropped, not an error.
  EXPECT_TRUE(ParseAnsi("[HKEY_CLASSES_ROOT\\x]\r\n\"a\"=\"b\"\r\n").empty());

  // A second parse appends, and its values may go to the key added last.
  GMRegParser twice;
  twice.Parse(test::Buffer("REGEDIT4\r\n[HKCU\\A]\r\n"));
  twice.Parse(test::Buffer("REGEDIT4\r\n\"v\"=\"to A\"\r\n[HKCU\\B]\r\n"));
  ASSERT_EQ(twice.Keys().size(), 2u);
  ASSERT_EQ(twice.Keys()[0].values.size(), 1u);
  EXPECT_EQ(twice.Keys()[0].values[0].text, u"to A");
}

TEST(RegParserLoadFile, ReadsWholeFilesAndRefusesOthers) {
  test::ScratchDir dir;
  GMRegParser parser;
  test::WriteBytes(dir.fs_path() / "empty.reg", "");
  test::WriteBytes(dir.fs_path() / "bad.reg", "REGEDIT5\r\n");
  const struct {
    std::u16string path;
    const char* error;
  } refused[] = {
      {dir.Join(u"missing.reg"), "Load file failed"},
      {dir.Join(u"empty.reg"), "Load file failed"},
      {dir.path(), "Load file failed"},
      {dir.Join(u"bad.reg"), kWrongFormat},
  };
  for (const auto& c : refused) {
    EXPECT_EQ(ThrownText<std::runtime_error>([&] { parser.LoadFile(c.path); }), c.error);
  }

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
