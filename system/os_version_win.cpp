#include "system/os_version.h"

#include "system/windows_support.h"

namespace Zavro {

namespace {

// The version as the system is, whatever the program's manifest says: GetVersionExW
// answers a program that does not name the running version in its manifest with an
// older one (Windows 8 for a program that does not know Windows 10); RtlGetVersion never
// does.
OSVERSIONINFOEXW SystemVersion() {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  auto rtl = reinterpret_cast<RtlGetVersionCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (rtl == nullptr || rtl(&version) != 0) {
    version = OSVERSIONINFOEXW{};
    version.dwOSVersionInfoSize = sizeof version;
    // A failed call leaves zeros, which no platform has.
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
  }
  return version;
}

}  // namespace

bool ReadOsVersion(OsVersionInputs& inputs) {
  const OSVERSIONINFOEXW version = SystemVersion();
  inputs = OsVersionInputs{};
  inputs.platform = version.dwPlatformId;
  inputs.major = version.dwMajorVersion;
  inputs.minor = version.dwMinorVersion;
  inputs.build = version.dwBuildNumber;
  inputs.servicePack = U16(version.szCSDVersion);
  inputs.suiteMask = version.wSuiteMask;
  inputs.productType = version.wProductType;

  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  using NativeInfo = void(WINAPI*)(SYSTEM_INFO*);
  using ProductInfo = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
  // The machine's own architecture: a 32-bit program on 64-bit Windows is told x86 by
  // GetSystemInfo.
  SYSTEM_INFO system{};
  auto native = reinterpret_cast<NativeInfo>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")));
  if (native != nullptr) {
    native(&system);
  } else {
    GetSystemInfo(&system);
  }
  inputs.architecture = system.wProcessorArchitecture;
  if (inputs.major >= 6) {
    auto product = reinterpret_cast<ProductInfo>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetProductInfo")));
    DWORD type = 0;
    if (product != nullptr) {
      product(version.dwMajorVersion, version.dwMinorVersion, version.wServicePackMajor, version.wServicePackMinor,
              &type);
    }
    inputs.product = type;
  }
  inputs.serverR2 = GetSystemMetrics(SM_SERVERR2) != 0;
  return inputs.platform != 0;
}

bool DescribeOperatingSystem(SystemInfo& info) {
  OsVersionInputs inputs;
  ReadOsVersion(inputs);
  return DescribeOperatingSystem(inputs, info);
}

}  // namespace Zavro
