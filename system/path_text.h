// Paths as text: UTF-16 Windows paths, with backslashes, on every target. These follow
// Windows rules everywhere and make no system call.
#pragma once

#include <cstdint>
#include <string>

namespace Zavro {

enum NormalizeFlags : uint32_t {
  PathLower = 0x1,
  PathUpper = 0x2,
  PathUnquote = 0x4,
  PathAddSlash = 0x10,
  PathRemoveSlash = 0x20,
  PathBackslashes = 0x40000000,
};

void NormalizePath(std::u16string& path, uint32_t flags);
bool IsAbsolutePath(const std::u16string& path);
std::u16string JoinPath(const std::u16string& base, const std::u16string& relative);
std::u16string DirectoryPart(const std::u16string& path);
std::u16string FileNamePart(const std::u16string& path);
std::u16string ExtensionPart(const std::u16string& path);
// The root a path starts from, with backslashes and one trailing backslash: "C:\" (also
// for "C:x"), "\\srv\share\", "\\?\C:\", "\\?\UNC\srv\share\", or "\" for a path
// rooted at a separator; empty for a relative path.
std::u16string PathRoot(const std::u16string& path);
// Whether a path names the root itself ("C:", "\\srv\share\", "/", also "C:\a\.."),
// either separator.
bool IsVolumeRoot(const std::u16string& path);

// The names a file or folder may have on disk, on every system this extracts to: no
// control character and none of `"<>|?*:\/`, not empty, "." or "..", not ending in a
// dot or a space (Windows drops those, so ".. " would climb), and no device name
// (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9, LPT1-9, with or without an extension).
bool IsValidFileName(const std::u16string& name);
// A path whose every component is a valid file name, after an optional absolute start
// (`X:\` or `\\server\share\`, with either separator). A relative path therefore
// always stays below the folder it is joined to.
bool IsValidFilePath(const std::u16string& path);

}  // namespace Zavro
