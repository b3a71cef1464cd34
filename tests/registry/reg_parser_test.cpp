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

using test::ParseAnsi;
using test::ParseBytes;
using test::String;
using test::ThrownText;
using test::U;
using test::Utf16Le;
using Keys = std::deque<GMRegKeyRecord>;

constexpr const char* kWrongFormat = "Wrong file format";

// The one value of the one key of `body`.
GMRegValueRecord OnlyValue(const std::string& body) {
  Keys keys = ParseAnsi("[HKCU\\T]\r\n" + body + "\r\n");
  if (keys.size() != 1 || keys[0].values.size() != 1) {
    ADD_FAILURE() << "expected one value: " << body;
    return GMRegValueRecord();
  }
  return keys[0].values[0];
}

TEST(RegParserEncoding, AnsiUtf8AndUtf16WithMark) {
  const std::u16string body = U("[HKCU\\Software\\游戏]\r\n\"名称\"=\"客户端 ü\"\r\n");
  for (const std::string& bytes :
       {std::string("\xEF\xBB\xBF") + test::kVersion5Line +
            "[HKCU\\Software\\\xE6\xB8\xB8\xE6\x88\x8F]\r\n"
            "\"\xE5\x90\x8D\xE7\xA7\xB0\"=\"\xE5\xAE\xA2\xE6\x88\xB7\xE7\xAB\xAF \xC3\xBC\"\r\n",
        test::Version5Utf16(body)}) {
    Keys keys = ParseBytes(bytes);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].path, U("Software\\游戏"));
    ASSERT_EQ(keys[0].values.size(), 1u);
    EXPECT_EQ(keys[0].values[0].name, U("名称"));
    EXPECT_EQ(keys[0].values[0].text, U("客户端 ü"));
  }
  // ANSI bytes above 0x7F after the first byte are read in the ANSI code page.
  EXPECT_EQ(ParseAnsi("[HKCU\\A]\r\n\"n\"=\"\xC4\xE3\"\r\n")[0].values[0].text, FromAnsi("\xC4\xE3"));

  // UTF-16 drops an odd last byte and keeps a NUL inside the text.
  const std::string withNul = test::Version5Utf16(std::u16string(u"[HKCU\\A]\r\n\"n\"=\"a\0b\"\r\n", 21));
  EXPECT_EQ(ParseBytes(withNul + "X")[0].values[0].text, std::u16string(u"a\0b", 3));
}

TEST(RegParserEncoding, HeadersAndRefusedEncodings) {
  const struct {
    std::string bytes;
    size_t keys;
  } accepted[] = {
      {" \t REGEDIT4\r\n[HKLM\\A]\r\n", 1},
      // What follows the header on its line is the first line; a last line without
      // CR LF counts.
      {"Windows Registry Editor Version 5.00[HKCU\\First]\r\n[HKCU\\Second]", 2},
      {"REGEDIT4\n[HKCU\\A]\n\"a\"=\"b\"\n", 0},  // without CR LF there are no lines
  };
  for (const auto& c : accepted) EXPECT_EQ(ParseBytes(c.bytes).size(), c.keys) << c.bytes;

  const std::string refused[] = {
      "\xFE\xFF",                     // UTF-16BE
      std::string("\xFF\x00W\0", 4),  // half a mark
      "\xEF\xBBREGEDIT4\r\n",         // short UTF-8 mark
      "\x7FREGEDIT4\r\n",
      // UTF-16 without a mark reads as ANSI text and ends at its first NUL.
      Utf16Le(u"REGEDIT4").substr(2),
      "regedit4\r\n",
      "Windows Registry Editor Version 5\r\n",
      "\r\nREGEDIT4\r\n",  // CR LF is not a blank
      "",
      "\xFF\xFE",
  };
  for (const std::string& bytes : refused) {
    EXPECT_EQ(ThrownText<std::runtime_error>([&] { ParseBytes(bytes); }), kWrongFormat) << bytes;
  }
}

// The error `body` throws, if any, then each key it gives with its value names:
// "! error; HKEY_CURRENT_USER\A: [a] [b]; ".
std::string Outline(const std::string& body) {
  GMRegParser parser;
  std::string outline;
  try {
    parser.Parse(test::Buffer(test::kVersion5Line + body));
  } catch (const GMRegTextException& e) {
    outline = std::string("! ") + e.what() + "; ";
  }
  for (const GMRegKeyRecord& key : parser.Keys()) {
    outline += test::Utf8(key.FullKeyName(true)) + ":";
    for (const GMRegValueRecord& value : key.values) outline += " [" + test::Utf8(value.name) + "]";
    outline += "; ";
  }
  return outline;
}

TEST(RegParser, LinesKeysNamesAndGrammarErrors) {
  const struct {
    const char* body;
    const char* outline;
  } cases[] = {
      // Lines without "=" outside quotes are skipped, and so is "[...] " (no key line). A
      // key under a root the table does not have is dropped with its values. Keys are
      // named with the long root names.
      {"[HKEY_CLASSES_ROOT\\.gmz]\r\n\"a\"=\"1\"\r\n \t[HKCU\\Kept]\r\n; comment\r\n\r\nno equals\r\n\"b\"=\"2\"\r\n"
       "[HKLM]\r\n[HKCU\\NotAKey] \r\n\"e\"=\"5\"\r\n",
       "HKEY_CURRENT_USER\\Kept: [b]; HKEY_LOCAL_MACHINE: [e]; "},
      // "@" is the default value. "=" inside quotes does not count, and a quote after a
      // backslash does not close them. Blanks before "=" stay in the name, so its quotes
      // stay too.
      {"[HKCU\\T]\r\n@=\"x\"\r\n\"@\"=\"x\"\r\nplain=\"x\"\r\n\"a\\\\b\\\"c\"=\"x\"\r\n\"a=b\"=\"x\"\r\n"
       "\"c\\\"=d\"=\"x\"\r\n\"a\" = \"x\"\r\n",
       "HKEY_CURRENT_USER\\T: [] [] [plain] [a\\b\"c] [a=b] [c\"=d] [\"a\" ]; "},
      // A string line ending in a backslash leaves its name waiting for data: an error
      // before a key or a name, dropped at the end. Keys before an error stay.
      {"[HKCU\\A]\r\n\"s\"=\"x\\\r\n[HKCU\\B]\r\n",
       "! Value data not found for founded value name; HKEY_CURRENT_USER\\A:; "},
      {"[HKCU\\A]\r\n\"s\"=\"x\\\r\n\"t\"=\"y\"\r\n",
       "! Value data not found for founded value name; HKEY_CURRENT_USER\\A:; "},
      {"[HKCU\\A]\r\n\"a\"=\"1\"\r\n\"s\"=\"x\\\r\n; end\r\n", "HKEY_CURRENT_USER\\A: [a]; "},
      {"\"a\"=\"b\"\r\n[HKCU\\A]\r\n", "! Keys list is empty; "},
      // An unfinished hex value takes the key line that follows into its data.
      {"[HKCU\\A]\r\n\"b\"=hex:01,\\\r\n[HKCU\\B]\r\n\"c\"=\"x\"\r\n", "HKEY_CURRENT_USER\\A: [b] [c]; "},
  };
  for (const auto& c : cases) EXPECT_EQ(Outline(c.body), c.outline) << c.body;
}

// UTF-16LE bytes of `text` and a terminating NUL unit.
std::string Sz(const std::u16string& text) { return Utf16Le(text + std::u16string(1, u'\0')).substr(2); }

TEST(RegParser, DataForms) {
  const struct {
    const char* data;
    uint32_t type;
    std::string bytes;  // GetData
    bool raw;
  } cases[] = {
      {"\"say \\\"hi\\\" C:\\\\dir\\\\\"", kRegSz, Sz(u"say \"hi\" C:\\dir\\"), false},
      {"\"say \\\\\"hi\\\\\"\"", kRegSz, Sz(u"say \"hi\""), false},  // the older escape
      {"\"x\ny\rz\"", kRegSz, Sz(u"x\ny\rz"), false},                // lines end only at CR LF
      // Anything else, and data after a blank, is an empty REG_SZ.
      {" \"x\"", kRegSz, Sz(u""), false},

      {"dword:0000000a", kRegDword, std::string("\x0a\0\0\0", 4), false},
      {"dword: 1", kRegDword, std::string(4, '\0'), false},  // the rest is not cleaned
      {"dword:0000\\\r\n  000a", kRegDword, std::string("\x0a\0\0\0", 4), false},

      // Continued lines; a tab is not cleaned away and spoils the item it opens, and an
      // empty line (no backslash at its end) ends the value.
      {"hex:01,02,\\\r\n  03,04,\\\r\n  05", kRegBinary, "\x01\x02\x03\x04\x05", false},
      {"hex:01,02,\\\r\n\t03,04", kRegBinary, std::string("\x01\x02\x00\x04", 4), false},
      {"hex:01,\\\r\n\r\n02", kRegBinary, "\x01", false},

      // Items keep their full value and the ninth adds nothing.
      {"hex(b):100,01,02,03,04,05,06,07,08", kRegQword, std::string("\0\x02\x02\x03\x04\x05\x06\x07", 8), false},
      {"hex:01,,ff,1ff,", kRegBinary, std::string("\x01\x00\xFF\xFF", 4), false},
      {"hex: 0 1 , 2", kRegBinary, "\x01\x02", false},
      // The registry's terminating NUL is not part of the text; GetData adds it back.
      {"hex(2):41,00,00,00", kRegExpandSz, Sz(u"A"), false},
      // Empty strings are dropped, and so is a last string without a NUL after it.
      {"hex(7):61,00,00,00,00,00,62,00,00,00,00,00", kRegMultiSz, std::string("a\0\0\0b\0\0\0\0\0", 10), false},
      {"hex(7):61,00,00,00,62,00", kRegMultiSz, std::string("a\0\0\0\0\0", 6), false},

      // The generic form gives every type exactly the listed bytes (through SetRawData,
      // or kept raw where that refuses them), with a decimal type number.
      {"hex(4294967295):05", 0xFFFFFFFF, "\x05", false},
      {"hex(255):01", kRegDeletedValue, "\x01", false},  // a type, not a deletion
      {"hex(1):41,00", kRegSz, std::string("A\0", 2), true},
      {"hex(1):", kRegSz, "", true},
      {"hex(02):41,00", kRegExpandSz, std::string("A\0", 2), true},
      {"hex(07):61,00,00,00,62,00", kRegMultiSz, std::string("a\0\0\0b\0", 6), true},
      {"hex(11):01,02", kRegQword, "\x01\x02", true},
      {"hex(4):01,02", kRegDword, "\x01\x02", true},
      {"hex(5):", kRegDwordBigEndian, "", true},
  };
  for (const auto& c : cases) {
    const GMRegValueRecord value = OnlyValue(std::string("\"v\"=") + c.data);
    EXPECT_EQ(value.type, c.type) << c.data;
    EXPECT_EQ(String(value.GetData()), c.bytes) << c.data;
    EXPECT_EQ(value.rawData, c.raw) << c.data;
    EXPECT_FALSE(value.deleteMark) << c.data;
  }
  EXPECT_TRUE(OnlyValue("\"v\"=-").deleteMark);
}

TEST(RegParserLoadFile, ClientSampleAndRefusals) {
  GMRegParser parser;
  parser.LoadFile(test::SysPath(test::fs::path(GM_TEST_DATA_DIR) / "registry" / "client_utf16.reg"));
  const Keys& keys = parser.Keys();
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].FullKeyName(true), u"HKEY_CURRENT_USER\\Software\\Lunefa\\Client");
  const std::vector<GMRegValueRecord>& values = keys[0].values;
  ASSERT_EQ(values.size(), 6u);
  EXPECT_EQ(values[1].name, U("名称"));
  EXPECT_EQ(values[1].text, U("游戏客户端"));
  EXPECT_EQ(values[4].bytes.Length(), 24u);  // continued over two lines

  test::ScratchDir dir;
  test::WriteBytes(dir.fs_path() / "empty.reg", "");
  test::WriteBytes(dir.fs_path() / "bad.reg", "REGEDIT5\r\n");
  for (const std::u16string& path : {dir.Join(u"missing.reg"), dir.Join(u"empty.reg"), dir.path()}) {
    EXPECT_EQ(ThrownText<std::runtime_error>([&] { parser.LoadFile(path); }), "Load file failed");
  }
  EXPECT_EQ(ThrownText<std::runtime_error>([&] { parser.LoadFile(dir.Join(u"bad.reg")); }), kWrongFormat);
}

}  // namespace
}  // namespace Zavro
