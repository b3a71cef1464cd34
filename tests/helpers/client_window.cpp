// Test helper: opens a top-level window of the class it is given, like a client of the
// installer. "client_window CLASS close CODE [LINGER [terminate-only]]" ends with CODE on
// WM_CLOSE, LINGER milliseconds after its window is gone; with "terminate-only" other
// processes may open it only to terminate it (not to wait for it). "client_window CLASS
// ignore" does not close.
#include "system/windows_support.h"

#include <aclapi.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool g_ignore_close = false;
int g_exit_code = 0;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    if (!g_ignore_close) DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(g_exit_code);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string name = argv[1];
  const std::wstring className(name.begin(), name.end());
  g_ignore_close = std::strcmp(argv[2], "ignore") == 0;
  g_exit_code = argc > 3 ? std::atoi(argv[3]) : 0;
  const int linger = argc > 4 ? std::atoi(argv[4]) : 0;
  if (argc > 5 && std::strcmp(argv[5], "terminate-only") == 0) {
    alignas(8) unsigned char buffer[128];
    ACL* acl = reinterpret_cast<ACL*>(buffer);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!InitializeAcl(acl, sizeof buffer, ACL_REVISION) ||
        !AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, PROCESS_TERMINATE, everyone) ||
        SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                        nullptr, nullptr, acl, nullptr) != ERROR_SUCCESS) {
      return 4;
    }
    FreeSid(everyone);
  }
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = className.c_str();
  if (!RegisterClassW(&windowClass)) return 3;
  if (!CreateWindowW(className.c_str(), L"client", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                     windowClass.hInstance, nullptr)) {
    return 3;
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  Sleep(static_cast<DWORD>(linger));
  return static_cast<int>(message.wParam);
}
