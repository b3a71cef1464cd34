// The program's file, the special folders and the environment, over Win32.
#include "system/known_folders.h"

#include <vector>

#include "system/windows_support.h"

#include <shlobj.h>

namespace Zavro {

std::u16string ModuleFilePath(const void* module) {
  HMODULE handle = module ? static_cast<HMODULE>(const_cast<void*>(module)) : GetModuleHandleW(nullptr);
  // A result that fills the buffer may be cut short: grow until it fits.
  for (DWORD size = MAX_PATH; size <= 0x10000; size *= 2) {
    std::vector<wchar_t> buffer(size + 2);
    DWORD length = GetModuleFileNameW(handle, buffer.data(), size);
    if (length == 0) return std::u16string();
    if (length < size) return U16(buffer.data(), length);
  }
  return std::u16string();
}

std::u16string SpecialFolderPath(int csidl) {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return std::u16string();
  return U16(buffer);
}

std::u16string ExpandEnvironment(const std::u16string& text) {
  if (text.empty() || text.find(u'%') == std::u16string::npos) return text;
  DWORD needed = ExpandEnvironmentStringsW(W(text), nullptr, 0);
  if (needed == 0) return text;
  std::vector<wchar_t> buffer(static_cast<size_t>(needed) + 2);
  DWORD length = ExpandEnvironmentStringsW(W(text), buffer.data(), needed + 1);
  if (length == 0 || length > needed) return text;
  return U16(buffer.data());
}

}  // namespace Zavro
