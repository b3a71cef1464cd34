#include "installer/folder_macros.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace Zavro {
namespace {

TEST(FolderMacros, NamesIgnoreCaseAndCustomHidesBuiltIn) {
  FolderMacros macros;
  EXPECT_TRUE(macros.IsMacroDefined(u"MY_DOC"));
  EXPECT_FALSE(macros.IsMacroDefined(u"install"));
  macros.DefineMacro(u"Install", u"\"C:\\Game\\\"");
  macros.DefineMacro(u"", u"ignored");
  EXPECT_EQ(macros.LookupMacro(u"INSTALL"), u"C:\\Game");
  EXPECT_EQ(macros.ExpandMacros(u"##install##\\bin"), u"C:\\Game\\bin");

  macros.DefineMacro(u"windows", u"D:/Win/");
  EXPECT_EQ(macros.LookupMacro(u"windows"), u"D:\\Win");
  EXPECT_EQ(macros.ExpandMacros(u"##Windows##\\x"), u"D:\\Win\\x");
  EXPECT_EQ(macros.LookupMacro(u"nosuch"), u"");
}

TEST(FolderMacros, Expansion) {
  FolderMacros macros;
  macros.DefineMacro(u"my_doc", u"C:\\Docs");
  EXPECT_EQ(macros.ExpandMacros(u"##my_doc##\\a;##nosuch##\\b;##MY_DOC##\\c"), u"C:\\Docs\\a;##nosuch##\\b;C:\\Docs\\c");
  EXPECT_EQ(macros.ExpandMacros(u"a##b"), u"a##b");
  EXPECT_EQ(macros.ExpandMacros(u"####x"), u"####x");  // the empty name is undefined
  macros.DefineMacro(u"a", u"1");
  // A name may come back through another value and is expanded again...
  macros.DefineMacro(u"install", u"##my_doc##\\Game");
  EXPECT_EQ(macros.ExpandMacros(u"##my_doc##\\a;##install##"), u"C:\\Docs\\a;C:\\Docs\\Game");
  // ...but a value that brings back its own token, directly or through another value,
  // stops instead of expanding without end.
  macros.DefineMacro(u"install", u"C:\\##install##\\x");
  EXPECT_EQ(macros.ExpandMacros(u"##install##\\y;##a##"), u"C:\\##install##\\x\\y;##a##");
  macros.DefineMacro(u"a", u"<##b##>");
  macros.DefineMacro(u"b", u"(##A##)");
  EXPECT_EQ(macros.ExpandMacros(u"##a##"), u"<(##A##)>");
}

TEST(FolderMacros, FoldersFromTheEnvironment) {
  // A folder may hold a '%'; only a variable that is not set gives no folder.
  test::ScopedEnv allUsers("ALLUSERSPROFILE", u"C:\\100%\\All");
  test::ScopedEnv homeDrive("HOMEDRIVE", nullptr);
  FolderMacros macros;
  EXPECT_EQ(macros.LookupMacro(u"all_users"), u"C:\\100%\\All");
  EXPECT_EQ(macros.LookupMacro(u"system_driver"), u"");
}

// The folder "gmfolder" names: macros are expanded before, so an absolute value is one a
// macro gave as often as one written out.
TEST(FolderMacros, InstallFolder) {
  const FolderMacros macros({{u"windows", u"C:\\Windows"}, {u"program_files", u"C:\\Program Files\\"},
                             {u"fonts", u""}});
  const struct {
    std::u16string value;
    std::u16string folder;  // empty: refused
  } cases[] = {
      {u"", u"C:\\PF86"},
      {u"Game", u"C:\\PF86\\Game"},
      {u"Vendor\\Game\\", u"C:\\PF86\\Vendor\\Game"},
      {u"C:\\Program Files\\Game", u"C:\\Program Files\\Game"},
      {u"D:\\Games\\Game", u"D:\\Games\\Game"},
      {u"\\\\server\\share\\Game", u"\\\\server\\share\\Game"},
      {u"C:\\Windows\\Game", u"C:\\Windows\\Game"},
      {u"..\\Game", u""},
      {u"Game\\..\\..", u""},
      {u"a\\.\\b", u""},
      {u"a<b", u""},
      {u"nul", u""},
      {u"C:Game", u""},
      {u"\\Game", u""},
      {u"\\", u""},
      {u"C:\\", u""},
      {u"D:", u""},
      {u"\\\\server\\share", u""},
      {u"C:\\windows", u""},
      {u"C:\\Program Files", u""},
  };
  for (const auto& c : cases) {
    std::u16string folder;
    const bool resolved = ResolveInstallFolder(u"C:\\PF86\\", c.value, macros, folder);
    EXPECT_EQ(resolved, !c.folder.empty()) << test::Utf8(c.value);
    EXPECT_EQ(resolved ? folder : u"", c.folder) << test::Utf8(c.value);
  }
}

}  // namespace
}  // namespace Zavro
