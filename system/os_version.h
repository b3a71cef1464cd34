// A one-line English description of the operating system, its family and whether it
// is 64-bit. The description is assembled from version numbers by a portable function;
// reading them from the system is Windows only (os_version_win.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace Zavro {

// osFamily values.
constexpr uint16_t kOsFamily9x = 1;
constexpr uint16_t kOsFamily2000 = 2;
constexpr uint16_t kOsFamilyXp = 4;
constexpr uint16_t kOsFamilyServer2003 = 8;  // 5.2: the Server 2003 family and XP x64
constexpr uint16_t kOsFamilyVista = 16;
constexpr uint16_t kOsFamily7 = 32;
constexpr uint16_t kOsFamily8 = 64;
constexpr uint16_t kOsFamily10 = 128;
constexpr uint16_t kOsFamily11 = 256;

struct SystemInfo {
  std::u16string osName;  // empty when the system is not supported
  uint16_t osFamily = 0;
  bool is64Bit = false;
};

// What the description is made of, as the system reports it.
struct OsVersionInputs {
  uint32_t platform = 0;  // 1 Windows 95/98/Me, 2 NT
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  std::u16string servicePack;
  uint32_t suiteMask = 0;
  uint32_t productType = 0;   // 1 workstation, 2 domain controller, 3 server
  uint32_t architecture = 0;  // 0 x86, 6 Itanium, 9 x64, 12 ARM64
  uint32_t product = 0;       // GetProductInfo's edition, Vista and later
  bool serverR2 = false;      // GetSystemMetrics(SM_SERVERR2), for 5.2
};

// Fills `info` from `inputs`: "Microsoft Windows 10 Professional Edition, 64-bit (build
// 19045)" and the like, never cut short. False, with an empty name and the flags
// untouched, for a platform other than 1 and 2, or NT before 5.0.
bool DescribeOperatingSystem(const OsVersionInputs& inputs, SystemInfo& info);
// The same for this system (Windows only).
bool DescribeOperatingSystem(SystemInfo& info);
// The numbers of this system as it is, not as the program's manifest would have it, and
// its own architecture, also for a 32-bit program on 64-bit Windows (Windows only).
// False when the version cannot be read.
bool ReadOsVersion(OsVersionInputs& inputs);

}  // namespace Zavro
