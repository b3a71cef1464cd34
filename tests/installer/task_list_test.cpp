#include "installer/task_list.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

using Bytes = std::vector<unsigned char>;
using Lines = std::vector<std::u16string>;

TEST(TaskList, TaskFiles) {
  const std::string text = "  run a.exe /s \r\n\r\n# note\r\nstart\tb.exe\rini x\n\n \t\r\nlast";
  const Lines expected = {u"run a.exe /s", u"# note", u"start\tb.exe", u"ini x", u"last"};
  Lines ansi, wide;
  ASSERT_TRUE(ParseTaskFile(reinterpret_cast<const unsigned char*>(text.data()), text.size(), ansi));
  Bytes utf16 = {0xFF, 0xFE};
  for (char c : text) utf16.insert(utf16.end(), {static_cast<unsigned char>(c), 0});
  ASSERT_TRUE(ParseTaskFile(utf16.data(), utf16.size(), wide));
  EXPECT_EQ(ansi, expected);
  EXPECT_EQ(wide, expected);
  // CR LF is one line end, as are CR and LF alone; blanks after the last line end make
  // one last, empty line.
  const struct {
    std::string text;
    Lines lines;
  } endings[] = {
      {"run a.exe\r\n", {u"run a.exe"}},
      {"run a.exe\r\nrun b.exe\r\n", {u"run a.exe", u"run b.exe"}},
      {"run a.exe\rrun b.exe\r", {u"run a.exe", u"run b.exe"}},
      {"run a.exe\r\n\r\n", {u"run a.exe", u""}},
      {"run a.exe\n \n", {u"run a.exe", u""}},
      {"run a.exe\r\r\n", {u"run a.exe", u""}},
  };
  for (const auto& ending : endings) {
    Lines lines;
    ASSERT_TRUE(ParseTaskFile(reinterpret_cast<const unsigned char*>(ending.text.data()), ending.text.size(), lines));
    EXPECT_EQ(lines, ending.lines) << ending.text;
  }

  const Bytes bigEndian = {0xFE, 0xFF, 0, 'r'};
  const Bytes tooLarge(kMaxTaskFileSize + 1, 'x');
  Lines refused;
  EXPECT_FALSE(ParseTaskFile(bigEndian.data(), bigEndian.size(), refused));
  EXPECT_FALSE(ParseTaskFile(tooLarge.data(), tooLarge.size(), refused));
  EXPECT_FALSE(ParseTaskFile(nullptr, 0, refused));
  EXPECT_TRUE(refused.empty());

  // From disk: the same bounds, and a missing file.
  test::ScratchDir dir;
  test::WriteBytes(dir.fs_path() / "t.txt", std::string(utf16.begin(), utf16.end()));
  test::WriteBytes(dir.fs_path() / "empty.txt", "");
  Lines read;
  ASSERT_TRUE(ReadTaskFile(dir.Join(u"t.txt"), read));
  EXPECT_EQ(read, expected);
  EXPECT_FALSE(ReadTaskFile(dir.Join(u"empty.txt"), read));
  EXPECT_FALSE(ReadTaskFile(dir.Join(u"missing.txt"), read));
  EXPECT_EQ(read.size(), expected.size());
}

TEST(TaskList, SerialisedFieldByField) {
  const Bytes bytes = {2, 0, 0, 0, 5, 0, 0, 0, 's', 0, 't', 0, 'a', 0, 'r', 0, 't', 0, 0, 0, 0, 0};
  EXPECT_EQ(SerializeTaskList({u"start", u""}), bytes);
  EXPECT_EQ(SerializeTaskList({}), (Bytes{0, 0, 0, 0}));
  Lines lines = {u"kept"};
  ASSERT_TRUE(ParseTaskList(bytes.data(), bytes.size(), lines));
  EXPECT_EQ(lines, (Lines{u"kept", u"start", u""}));
  // Shorter than its counts say: nothing is taken.
  for (size_t cut : {size_t{0}, size_t{4}, size_t{12}, bytes.size() - 1}) {
    Lines untouched = {u"kept"};
    EXPECT_FALSE(ParseTaskList(bytes.data(), cut, untouched)) << cut;
    EXPECT_EQ(untouched, Lines{u"kept"});
  }
}

TEST(TaskList, LinesAndTheTasksOnlyRewrite) {
  const struct {
    std::u16string line, verb, arguments;
  } splits[] = {
      {u"run a.exe  /s ", u"run", u"a.exe  /s "},
      {u"run", u"run", u""},
      {u"RUN x", u"RUN", u"x"},
      {u"", u"", u""},
  };
  for (const auto& s : splits) {
    std::u16string verb, arguments;
    SplitTaskLine(s.line, verb, arguments);
    EXPECT_EQ(verb, s.verb);
    EXPECT_EQ(arguments, s.arguments);
  }
  EXPECT_EQ(Unquote(u"\"a b\""), u"a b");
  EXPECT_EQ(Unquote(u"\"a"), u"\"a");

  Lines lines = {u"runcheck 0 setup.exe /s", u"run a.exe", u"runas b.exe", u"start c.exe", u"runcheck 3",
                 u"run"};
  InsertWorkingFolder(lines, u"C:\\Work");
  EXPECT_EQ(lines, (Lines{u"runcheck 0 C:\\Work\\setup.exe /s", u"run C:\\Work\\a.exe", u"runas C:\\Work\\b.exe",
                          u"start c.exe", u"C:\\Work\\runcheck 3", u"C:\\Work\\run"}));
}

TEST(TaskList, ArgumentsKeepTheirQuotes) {
  using Strings = std::vector<std::u16string>;
  auto Split = [](const std::u16string& line) {
    Strings list{u"stale"};
    SplitArguments(line, list);
    return list;
  };
  EXPECT_EQ(Split(u"run  \"C:\\A B\\x.exe\" /S"), (Strings{u"run", u"\"C:\\A B\\x.exe\"", u"/S"}));
  EXPECT_EQ(Split(u"\"a b\"c"), (Strings{u"\"a b\"", u"c"}));
  EXPECT_EQ(Split(u"x\"y z\""), (Strings{u"x\"y", u"z\""}));
  EXPECT_EQ(Split(u"\"unterminated x"), (Strings{u"\"unterminated x"}));
  EXPECT_EQ(Split(u"a\tb\r\n"), (Strings{u"a\tb\r\n"}));
  EXPECT_EQ(Split(u"   "), Strings{});
}

}  // namespace
}  // namespace Zavro
