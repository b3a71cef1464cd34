#include "system/os_version.h"

#include <gtest/gtest.h>

namespace Zavro {
namespace {

TEST(DescribeOperatingSystem, FromVersionNumbers) {
  OsVersionInputs win10{2, 10, 0, 19045, u"", 0x100, 1, 9, 48};
  OsVersionInputs win11{2, 10, 0, 22631, u"", 0x300, 1, 9, 101};
  OsVersionInputs win7{2, 6, 1, 7601, u"Service Pack 1", 0x100, 1, 0, 1};
  OsVersionInputs win81{2, 6, 3, 9600, u"", 0x100, 1, 9, 150};
  OsVersionInputs arm{2, 10, 0, 22621, u"", 0x100, 1, 12, 48};
  OsVersionInputs server2003{2, 5, 2, 3790, u"Service Pack 2", 0x2, 3, 9, 0, true};
  OsVersionInputs xp64{2, 5, 2, 3790, u"Service Pack 2", 0x100, 1, 9};
  OsVersionInputs win98{1, 4, 10, 2222, u" A "};
  OsVersionInputs unknown{2, 12, 0, 30000, u"", 0, 1, 9, 200};
  const struct {
    OsVersionInputs inputs;
    const char16_t* name;
    uint16_t family;
    bool is64Bit;
  } cases[] = {
      {win10, u"Microsoft Windows 10 Professional Edition, 64-bit (build 19045)", kOsFamily10, true},
      {win11, u"Microsoft Windows 11 Home Edition, 64-bit (build 22631)", kOsFamily11, true},
      {win7, u"Microsoft Windows 7 Ultimate Edition, 32-bit Service Pack 1 (build 7601)", kOsFamily7, false},
      {win81, u"Microsoft Windows 8.1 , 64-bit (build 9600)", kOsFamily8, true},
      {arm, u"Microsoft Windows 11 Professional Edition (build 22621)", kOsFamily11, false},
      {server2003, u"Microsoft Windows Server 2003 R2, Enterprise x64 Edition Service Pack 2 (build 3790)",
       kOsFamilyServer2003, true},
      {xp64, u"Microsoft Windows XP Professional x64 Edition Service Pack 2 (build 3790)", kOsFamilyServer2003, true},
      {win98, u"Microsoft Windows 98 ", kOsFamily9x, false},
      {unknown, u"Microsoft Windows 12 Unknown, 64-bit (build 30000)", 0, true},
  };
  SystemInfo info;  // one record for all: nothing of an earlier call stays
  for (const auto& c : cases) {
    ASSERT_TRUE(DescribeOperatingSystem(c.inputs, info));
    EXPECT_EQ(info.osName, c.name);
    EXPECT_EQ(info.osFamily, c.family);
    EXPECT_EQ(info.is64Bit, c.is64Bit);
  }
  // The text is never cut, however long the service pack's text.
  OsVersionInputs longPack = win7;
  longPack.servicePack = std::u16string(300, u'x');
  ASSERT_TRUE(DescribeOperatingSystem(longPack, info));
  EXPECT_EQ(info.osName, u"Microsoft Windows 7 Ultimate Edition, 32-bit " + longPack.servicePack + u" (build 7601)");
  // NT before 5.0 and unknown platforms are not described.
  for (const OsVersionInputs& refused :
       {OsVersionInputs{2, 4, 0, 1381, u""}, OsVersionInputs{3, 10, 0, 0, u""}, OsVersionInputs()}) {
    SystemInfo untouched;
    untouched.osName = u"stale";
    untouched.osFamily = 7;
    EXPECT_FALSE(DescribeOperatingSystem(refused, untouched));
    EXPECT_EQ(untouched.osName, u"");
    EXPECT_EQ(untouched.osFamily, 7);
  }
}

}  // namespace
}  // namespace Zavro
