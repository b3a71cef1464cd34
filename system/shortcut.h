// Shortcuts: reading ".lnk" (shell links) and ".url" (internet shortcuts) files, and
// writing shell links. Windows only (shortcut_win.cpp); nothing portable calls it.
//
// The calling thread gets COM initialised as a single-threaded apartment when it has
// not been (and keeps it).
#pragma once

#include <cstdint>
#include <string>

namespace Zavro {

struct ShortcutInfo {
  std::u16string target;  // the link's path (environment variables expanded), or the URL
  std::u16string arguments;
  std::u16string description;
  uint16_t hotkey = 0;
  std::u16string iconPath;
  int32_t iconIndex = 0;
  int32_t showCommand = 1;
  std::u16string workingDirectory;
};

// Reads a ".lnk" or ".url" file (by extension, without regard to case) into `info`,
// clearing its target first; the other fields keep their values unless the file gives
// them. True when a target was read. A file that is not a link or has no "URL" gives
// false; what was read before the failure stays in `info`.
bool ReadShortcut(const std::u16string& path, ShortcutInfo& info);

// Writes a shell link at `linkPath` (".lnk" is appended unless the name ends in it),
// creating its folder when missing and replacing an existing link. Without a working
// directory the target's folder is used. An icon file gets its first icon (the index
// is not used with it); without one the target's icon `iconIndex` is used, and none at
// all for a negative index.
bool CreateShellLink(const std::u16string& target, const std::u16string& arguments,
                     const std::u16string& description, const std::u16string& linkPath,
                     const std::u16string& iconPath, int32_t iconIndex, const std::u16string* workingDirectory);
bool CreateShellLink(const ShortcutInfo& info, const std::u16string& linkPath);

// Writes a profile (INI) value (WritePrivateProfileStringW); `value` null deletes the
// key, `key` null the whole section. One change of system/change_seam.h, as is the save
// of CreateShellLink.
bool WriteIniString(const std::u16string& file, const std::u16string& section, const std::u16string* key,
                    const std::u16string* value);
// A profile (INI) value, up to 4096 units; `fallback` when the key is absent.
std::u16string ReadIniString(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                             const std::u16string& fallback);

}  // namespace Zavro
