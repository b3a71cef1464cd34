// Linked into the programs that ship (the installer, the uninstaller): an unhandled
// exception ends them at once. The runtime's own handler would print the exception's
// type, to a console these programs do not have, and bring its name demangler (about
// 46 KB) along.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
