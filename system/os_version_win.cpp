#include "system/os_version.h"

#include "system/windows_support.h"

namespace Zavro {

bool DescribeOperatingSystem(SystemInfo& info) {
  OsVersionInputs inputs;
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  // A failed call leaves zeros, which no platform has.
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
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
  return DescribeOperatingSystem(inputs, info);
}

}  // namespace Zavro
