#include "system/os_version.h"

#include "system/format.h"

namespace Zavro {

namespace {

constexpr uint32_t kWorkstation = 1;
constexpr uint32_t kArchitectureX86 = 0;
constexpr uint32_t kArchitectureItanium = 6;
constexpr uint32_t kArchitectureX64 = 9;
constexpr uint32_t kSuiteEnterprise = 0x2;
constexpr uint32_t kSuiteDatacenter = 0x80;
constexpr uint32_t kSuitePersonal = 0x200;
constexpr uint32_t kSuiteBlade = 0x400;
constexpr uint32_t kSuiteStorageServer = 0x2000;
constexpr uint32_t kSuiteComputeServer = 0x4000;

struct Edition {
  uint32_t product;
  const char16_t* text;
};

// GetProductInfo's editions, as the description names them.
constexpr Edition kEditions[] = {
    {0, u"An unknown product"},
    {1, u"Ultimate Edition"},
    {2, u"Home Basic Edition"},
    {3, u"Home Premium Edition"},
    {4, u"Enterprise Edition"},
    {5, u"Home Basic Edition"},
    {6, u"Business Edition"},
    {7, u"Standard Edition"},
    {8, u"Datacenter Edition"},
    {9, u"Small Business Server"},
    {10, u"Enterprise Edition"},
    {11, u"Starter Edition"},
    {12, u"Datacenter Edition (core installation)"},
    {13, u"Standard Edition (core installation)"},
    {14, u"Enterprise Edition (core installation)"},
    {15, u"Enterprise Edition for Itanium-based Systems"},
    {16, u"Business N Edition"},
    {17, u"Web Server Edition"},
    {18, u"Cluster Server Edition"},
    {19, u"Windows Storage Server 2008 R2 Essentials"},
    {20, u"Storage Server Express"},
    {21, u"Storage Server Standard"},
    {22, u"Storage Server Workgroup"},
    {23, u"Storage Server Enterprise"},
    {24, u"Windows Server 2008 for Windows Essential Server Solutions"},
    {25, u"Small Business Server Premium Edition"},
    {26, u"Home Premium Edition"},
    {27, u"B Enterprise N Edition"},
    {28, u"C Ultimate N"},
    {29, u"D Web Server (core installation)"},
    {30, u"E Windows Essential Business Server Management Server"},
    {31, u"F Windows Essential Business Server Security Server"},
    {32, u"Windows Essential Business Server Messaging Server"},
    {33, u"Server Foundation"},
    {34, u"Windows Home Server 2011"},
    {35, u"Windows Server 2008 without Hyper-V for Windows Essential Server Solutions"},
    {36, u"Server Standard without Hyper-V"},
    {37, u"Datacenter Edition without Hyper-V (full installation)"},
    {38, u"Server Enterprise without Hyper-V (full installation)"},
    {39, u"Datacenter Edition without Hyper-V (core installation)"},
    {40, u"Server Standard without Hyper-V (core installation)"},
    {41, u"Server Enterprise without Hyper-V (core installation)"},
    {42, u"A Microsoft Hyper-V Server"},
    {43, u"B Storage Server Express (core installation)"},
    {44, u"C Storage Server Standard (core installation)"},
    {45, u"D Storage Server Workgroup (core installation)"},
    {46, u"E Storage Server Enterprise (core installation)"},
    {47, u"Starter Edition"},
    {48, u"Professional Edition"},
    {49, u"Professional Edition"},
    {50, u"Windows Small Business Server 2011 Essentials"},
    {51, u"Server For SB Solutions"},
    {52, u"Server Solutions Premium Edition"},
    {53, u"Server Solutions Premium Edition (core installation)"},
    {54, u"Server For SB Solutions EM"},
    {55, u"Server For SB Solutions EM"},
    {56, u"Windows MultiPoint Server"},
    {59, u"B Windows Essential Server Solution Management"},
    {60, u"C Windows Essential Server Solution Additional"},
    {61, u"D Windows Essential Server Solution Management SVC"},
    {62, u"E Windows Essential Server Solution Additional SVC"},
    {63, u"F Small Business Server Premium (core installation)"},
    {64, u"Cluster Server Hyper Core V Edition"},
    {66, u"Not supported"},
    {67, u"Home Basic Edition"},
    {68, u"Home Premium Edition"},
    {69, u"Professional Edition"},
    {70, u"Enterprise E Edition"},
    {71, u"Not supported"},
    {72, u"Enterprise Evaluation Edition"},
    {76, u"C Windows MultiPoint Server Standard (full installation)"},
    {77, u"D Windows MultiPoint Server Premium (full installation)"},
    {79, u"F Server Standard (evaluation installation)"},
    {80, u"Server Datacenter (evaluation installation)"},
    {84, u"Enterprise N Evaluation"},
    {95, u"F Storage Server Workgroup (evaluation installation)"},
    {96, u"Storage Server Standard (evaluation installation)"},
    {98, u"Home N Edition"},
    {99, u"Home China Edition"},
    {100, u"Home Single Language Edition"},
    {101, u"Home Edition"},
    {103, u"Professional with Media Center"},
    {104, u"Mobile"},
    {121, u"Education Edition"},
    {122, u"A Education N Edition"},
    {123, u"B IoT Core"},
    {125, u"D Enterprise 2015 LTSB"},
    {126, u"E Enterprise 2015 LTSB N"},
    {129, u"Enterprise 2015 LTSB Evaluation"},
    {130, u"Enterprise 2015 LTSB N Evaluation"},
    {131, u"IoT Core Commercial"},
    {133, u"Mobile Enterprise"},
    {161, u"A1 Pro for Workstations"},
    {162, u"A2 Pro for Workstations N"},
    {178, u"B2 S Edition"},
    {179, u"B3 S N Edition"},
};

const char16_t* EditionText(uint32_t product) {
  for (const Edition& edition : kEditions) {
    if (edition.product == product) return edition.text;
  }
  return nullptr;
}

// Vista and later: name, edition, architecture.
void DescribeModern(const OsVersionInputs& in, std::u16string& name, SystemInfo& info) {
  if (in.major == 6) {
    switch (in.minor) {
      case 0:
        name += in.productType == kWorkstation ? u"Windows Vista " : u"Windows Server 2008 ";
        info.osFamily = kOsFamilyVista;
        break;
      case 1:
        name += u"Windows 7 ";
        info.osFamily = kOsFamily7;
        break;
      case 2:
        name += u"Windows 8 ";
        info.osFamily = kOsFamily8;
        break;
      case 3:
        name += u"Windows 8.1 ";
        info.osFamily = kOsFamily8;
        break;
      default:
        name += FormatString(u"Windows %d ", 6);
        break;
    }
  } else if (in.major == 10) {
    const bool eleven = in.build >= 22000;
    name += eleven ? u"Windows 11 " : u"Windows 10 ";
    info.osFamily = eleven ? kOsFamily11 : kOsFamily10;
  } else {
    name += FormatString(u"Windows %d ", static_cast<int32_t>(in.major));
  }
  if (const char16_t* edition = EditionText(in.product)) {
    name += edition;
  } else if (info.osFamily != kOsFamily8) {
    name += u"Unknown";
  }
  if (in.architecture == kArchitectureX64) {
    name += u", 64-bit";
    info.is64Bit = true;
  } else if (in.architecture == kArchitectureX86) {
    name += u", 32-bit";
  }
}

// The Server 2003 family and XP x64.
void DescribeServer2003(const OsVersionInputs& in, std::u16string& name, SystemInfo& info) {
  info.osFamily = kOsFamilyServer2003;
  if (in.serverR2) {
    name += u"Windows Server 2003 R2, ";
  } else if (in.suiteMask == kSuiteStorageServer) {
    name += u"Windows Storage Server 2003, ";
  } else if (in.productType == kWorkstation && in.architecture == kArchitectureX64) {
    name += u"Windows XP Professional x64 Edition";
    info.is64Bit = true;
    return;
  } else {
    name += u"Windows Server 2003, ";
  }
  if (in.productType == kWorkstation) return;
  const uint32_t suite = in.suiteMask;
  if (in.architecture == kArchitectureItanium) {
    info.is64Bit = true;
    if (suite & kSuiteDatacenter) {
      name += u"Datacenter Edition for Itanium-based Systems";
    } else if (suite & kSuiteEnterprise) {
      name += u"Enterprise Edition for Itanium-based Systems";
    }
  } else if (in.architecture == kArchitectureX64) {
    info.is64Bit = true;
    name += (suite & kSuiteDatacenter)   ? u"Datacenter x64 Edition"
            : (suite & kSuiteEnterprise) ? u"Enterprise x64 Edition"
                                         : u"Standard x64 Edition";
  } else {
    name += (suite & kSuiteComputeServer) ? u"Compute Cluster Edition"
            : (suite & kSuiteDatacenter)  ? u"Datacenter Edition"
            : (suite & kSuiteEnterprise)  ? u"Enterprise Edition"
            : (suite & kSuiteBlade)       ? u"Web Edition"
                                          : u"Standard Edition";
  }
}

}  // namespace

bool DescribeOperatingSystem(const OsVersionInputs& in, SystemInfo& result) {
  if (in.platform != 1 && !(in.platform == 2 && in.major >= 5)) {
    result.osName.clear();
    return false;
  }
  SystemInfo info;
  std::u16string name = u"Microsoft ";
  if (in.platform == 1) {
    info.osFamily = kOsFamily9x;
    name += in.minor == 90 ? u"Windows Me " : in.minor == 10 ? u"Windows 98 " : u"Windows 95 ";
    info.osName = name;
    result = info;
    return true;
  }
  if (in.major >= 6) {
    DescribeModern(in, name, info);
  } else if (in.minor == 2) {
    DescribeServer2003(in, name, info);
  } else if (in.minor == 1) {
    info.osFamily = kOsFamilyXp;
    name += (in.suiteMask & kSuitePersonal) ? u"Windows XP Home Edition" : u"Windows XP Professional";
  } else if (in.minor == 0) {
    info.osFamily = kOsFamily2000;
    name += u"Windows 2000 ";
    name += in.productType == kWorkstation           ? u"Professional"
            : (in.suiteMask & kSuiteDatacenter) != 0 ? u"Datacenter Server"
            : (in.suiteMask & kSuiteEnterprise) != 0 ? u"Advanced Server"
                                                     : u"Server";
  }
  if (!in.servicePack.empty()) name += u" " + in.servicePack;
  name += FormatString(u" (build %d)", static_cast<int32_t>(in.build));
  info.osName = name;
  result = info;
  return true;
}

}  // namespace Zavro
