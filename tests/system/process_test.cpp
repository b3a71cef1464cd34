#include "system/process.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

TEST(SplitCommandLine, ProgramAndArguments) {
  const struct {
    std::u16string line, program, arguments;
  } cases[] = {
      {u"setup.exe /S", u"setup.exe", u"/S"},
      {u"cmd /c del x", u"cmd", u"/c del x"},
      {u"\"C:\\A B\\x.exe\" -q", u"C:\\A B\\x.exe", u"-q"},
      {u"\" C:\\x.exe \"  -q \t", u"C:\\x.exe", u"-q"},
      // Unquoted paths with spaces end at the first ".exe"; nothing is trimmed there.
      {u"C:\\Program Files\\App\\app.exe  -x", u"C:\\Program Files\\App\\app.exe", u" -x"},
      {u"C:\\Program Files\\App\\APP.EXE", u"C:\\Program Files\\App\\APP.EXE", u"<kept>"},
      {u"tool.bat", u"tool.bat", u"<kept>"},
      {u"tool.bat  a ", u"tool.bat", u"a"},
      // An open quote: the program is the whole line, the arguments stay as they were.
      {u"\"C:\\x.exe -q", u"\"C:\\x.exe -q", u"<kept>"},
      {u"", u"<kept>", u"<kept>"},
  };
  for (const auto& c : cases) {
    std::u16string program = u"<kept>", arguments = u"<kept>";
    SplitCommandLine(c.line, program, arguments);
    EXPECT_EQ(program, c.program) << test::Utf8(c.line);
    EXPECT_EQ(arguments, c.arguments);
  }
}

}  // namespace
}  // namespace Zavro
