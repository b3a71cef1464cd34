// The demo client's program. "--version" prints a version and exits with 0 (the
// package's runcheck); otherwise it notes when and how it was started in "started.txt"
// beside itself (the package's start task) and exits.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wcscmp(argv[1], L"--version") == 0) {
    std::puts("demo client 1.0");
    return 0;
  }
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return 1;
  std::wstring note(self, length);
  note = note.substr(0, note.find_last_of(L'\\') + 1) + L"started.txt";
  FILE* file = _wfopen(note.c_str(), L"w");
  if (file == nullptr) return 1;
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::fprintf(file, "started %04u-%02u-%02u %02u:%02u:%02u with %d argument(s)\n", now.wYear, now.wMonth, now.wDay,
               now.wHour, now.wMinute, now.wSecond, argc - 1);
  std::fclose(file);
  return 0;
}
