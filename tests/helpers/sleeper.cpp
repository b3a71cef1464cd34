// Test helper: sleeps the milliseconds it is given (for ever without an argument),
// then exits with code 4.
#include "system/windows_support.h"

#include <cstdlib>

int main(int argc, char** argv) {
  Sleep(argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : INFINITE);
  return 4;
}
