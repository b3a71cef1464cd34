// The install run's own rules, on the install object itself (Windows only).
#include "installer/sfx_install.h"

#include <gtest/gtest.h>

#include "system/system_error.h"
#include "test_support.h"

namespace Zavro {
namespace {

// Every key path is expanded, whether its key holds values or only sub keys.
TEST(SfxInstallWin, RegistryMacrosInEveryKey) {
  GMSfxInstall install(nullptr, false, 0);
  install.Macros().DefineMacro(u"vendor", u"Zavro");
  GMRegKeyRecord key;
  key.path = u"Software\\##vendor##";
  GMRegKeyRecord sub;
  sub.path = u"Software\\##vendor##\\Game";
  GMRegValueRecord value;
  value.name = u"##vendor##";
  value.type = kRegExpandSz;
  value.text = u"##vendor##\\x";
  sub.values.push_back(value);
  GMRegKeyRecord empty;
  empty.path = u"Software\\##vendor##\\Game\\Empty";
  sub.subKeys.push_back(empty);
  key.subKeys.push_back(sub);
  install.ExpandRegistryMacros(key);
  EXPECT_EQ(key.path, u"Software\\Zavro");
  EXPECT_EQ(key.subKeys[0].path, u"Software\\Zavro\\Game");
  EXPECT_EQ(key.subKeys[0].values[0].name, u"Zavro");
  EXPECT_EQ(key.subKeys[0].values[0].text, u"Zavro\\x");
  EXPECT_EQ(key.subKeys[0].values[0].type, kRegSz);
  EXPECT_EQ(key.subKeys[0].subKeys[0].path, u"Software\\Zavro\\Game\\Empty");
}

// Access and sharing errors are ignored inside the system's folders, not beside them.
TEST(SfxInstallWin, ProtectedFolders) {
  GMSfxInstall install(nullptr, false, 0);
  const std::u16string windows = install.Macros().LookupMacro(u"windows");
  ASSERT_FALSE(windows.empty());
  EXPECT_TRUE(install.ShouldIgnoreError(kErrorAccessDenied, windows + u"\\System32\\a.dll"));
  EXPECT_TRUE(install.ShouldIgnoreError(kErrorSharingViolation, windows));
  EXPECT_FALSE(install.ShouldIgnoreError(kErrorAccessDenied, windows + u"2\\a.dll"));
  EXPECT_FALSE(install.ShouldIgnoreError(kErrorAccessDenied, windows + u".old"));
  EXPECT_FALSE(install.ShouldIgnoreError(kErrorDiskFull, windows + u"\\a.dll"));
}

}  // namespace
}  // namespace Zavro
