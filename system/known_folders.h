// Where the system keeps things: the program's own file, the special folders (CSIDL)
// and the environment's %NAME% values.
#pragma once

#include <string>

namespace Zavro {

// Special-folder numbers (CSIDL) the system asks for.
constexpr int kCsidlAppData = 26;
constexpr int kCsidlProgramFilesX86 = 42;

// The full file name of a module (an HMODULE on Windows), of the program when null.
std::u16string ModuleFilePath(const void* module = nullptr);
// The folder of a CSIDL; empty when the system has none (always on POSIX).
std::u16string SpecialFolderPath(int csidl);
std::u16string AppDataPath();
// Expands %NAME% from the environment; unknown names stay as written.
std::u16string ExpandEnvironment(const std::u16string& text);

}  // namespace Zavro
