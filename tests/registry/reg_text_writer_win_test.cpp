// Registry text from the writer, imported by the system's registry editor
// (regedit.exe /s): every value must land with exactly the data that the records give.
#include "registry/reg_text_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "reg_test_support.h"
#include "reg_win_test_support.h"
#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::RawValue;
using test::Value;

TEST(RegTextWriterWinTest, RegistryEditorImportsExactlyTheWrittenData) {
  test::ThrowawayKey throwaway;
  GMRegKeyRecord key = test::Key(u"HKCU\\" + throwaway.path());
  GMRegValueRecord multi = Value(kRegMultiSz, u"multi");
  multi.strings = {u"one \"1\"", u"C:\\two\\", u"3"};
  GMRegValueRecord dword = Value(kRegDword, u"dword");
  dword.dword = 0x8000000A;
  GMRegValueRecord qword = Value(kRegQword, u"qword");
  qword.qword = 0x0102030405060708;
  GMRegValueRecord binary = Value(kRegBinary, u"binary");
  binary.bytes = test::Buffer(std::string("\x00\xFF\x22\x5C", 4));
  key.values = {
      Value(kRegSz, u"", u"the default value"),
      Value(kRegSz, u"quotes", u"say \"hi\""),
      Value(kRegSz, u"backslashes", u"C:\\dir\\new\\"),
      Value(kRegSz, u"quote after backslash", u"a\\\"b\\\\\"c"),
      Value(kRegSz, u"only a quote", u"\""),
      Value(kRegSz, u"empty", u""),
      Value(kRegSz, u"name \"quoted\"", u"1"),
      Value(kRegSz, u"name\\with\\backslashes", u"2"),
      Value(kRegSz, u"name \\\" both", u"3"),
      Value(kRegExpandSz, u"expand", u"%SystemRoot%\\\"x\""),
      multi,
      dword,
      qword,
      binary,
      // Data kept raw reaches the registry as it is. Wine's editor, unlike the
      // system's, adds a NUL unit to hex(1):, hex(2): and hex(7): data whose last
      // whole unit is not NUL; these odd counts end in a NUL unit so that it does not.
      RawValue(kRegSz, std::string("A\0\0\0\0", 5), u"raw text"),
      RawValue(kRegExpandSz, std::string("%\0\0\0A", 5), u"raw expand"),
      RawValue(kRegDword, "\x01\x02", u"raw dword"),
  };

  test::ScratchDir dir;
  GMBuffer<unsigned char> text;
  GMRegTextWriter(text).WriteKeyText(key);
  test::WriteBytes(dir.fs_path() / "import.reg", test::String(text));
  wchar_t windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  ASSERT_EQ(test::RunProgram(test::fs::path(windows) / "regedit.exe", {"/s", (dir.fs_path() / "import.reg").u8string()},
                             dir.fs_path() / "out.txt", dir.fs_path() / "err.txt"),
            0);

  // Every value, and nothing else, as the registry holds it: its name, type and data.
  std::vector<std::string> lines;
  for (const GMRegValueRecord& value : key.values) {
    std::string line = " \"" + test::Utf8(value.name) + "\" " + std::to_string(value.type) + " ";
    for (unsigned char byte : value.GetData()) line += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
    lines.push_back(line + "\n");
  }
  std::sort(lines.begin(), lines.end());
  std::string expected;
  for (const std::string& line : lines) expected += line;
  EXPECT_EQ(test::DumpKey(HKEY_CURRENT_USER, throwaway.path()), expected);
}

}  // namespace
}  // namespace Zavro
