// Test helper: sleeps the milliseconds it is given (for ever without an argument),
// then exits with code 4. A second argument names a mutex it holds while it lives.
#include "system/windows_support.h"

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc > 2) CreateMutexA(nullptr, TRUE, argv[2]);
  Sleep(argc > 1 && std::atoi(argv[1]) >= 0 ? static_cast<DWORD>(std::atoi(argv[1])) : INFINITE);
  return 4;
}
