// Conversion between UTF-16 and byte text in a Windows code page.
//
// Windows converts through WideCharToMultiByte / MultiByteToWideChar; POSIX through
// iconv with the same rules. The ANSI code page (CP_ACP, 0) is the system's on Windows;
// on POSIX it is 936 unless the environment variable GM_ACP names another number.
// Results end at the first NUL of the converted text. Conversions never throw: a
// failure is `ok` false with an empty result.
#pragma once

#include <cstdint>
#include <string>

namespace Zavro {

constexpr uint32_t kCodePageAnsi = 0;
constexpr uint32_t kCodePageUtf8 = 65001;

// The code page CP_ACP stands for.
uint32_t AnsiCodePage();

// `defaultChar` replaces units the code page cannot represent (0: the code page's
// own default). UTF-8 represents every character and takes none: there it is ignored,
// also when UTF-8 is the ANSI code page, and only invalid UTF-16 is replaced (by
// U+FFFD). `usedDefault` tells whether a replacement happened. Empty text gives `ok`
// false.
std::string WideToMultiByte(const std::u16string& text, uint32_t codePage, char defaultChar,
                            bool* usedDefault = nullptr, bool* ok = nullptr);

// `length` -1 converts up to the first NUL byte. A null `bytes` gives an empty text
// with `ok` true; no bytes to convert gives `ok` false.
std::u16string MultiByteToWide(const char* bytes, int length, uint32_t codePage,
                               bool* ok = nullptr);

// Convenience forms. The replacement character is '_' (none for UTF-8).
std::string ToAnsi(const std::u16string& text);
std::string ToCodePage(const std::u16string& text, uint32_t codePage);
std::string ToUtf8(const std::u16string& text);
std::u16string FromAnsi(const char* bytes);
std::u16string FromAnsi(const std::string& bytes);
std::u16string FromCodePage(const std::string& bytes, uint32_t codePage);

}  // namespace Zavro
