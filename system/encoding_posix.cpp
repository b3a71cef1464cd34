#include "system/encoding.h"

#include <errno.h>
#include <iconv.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>

#include "system/system_error.h"

namespace Zavro {

namespace {

constexpr uint32_t kDefaultAnsiCodePage = 936;

// The iconv name of a Windows code page; empty when there is none.
std::string IconvName(uint32_t codePage) {
  switch (codePage) {
    case kCodePageUtf8: return "UTF-8";
    case 65000: return "UTF-7";
    case 1200:
    case 1201: return std::string();  // UTF-16 is not a byte code page here
    case 20127: return "ASCII";
    case 20936: return "GB2312";
    case 54936: return "GB18030";
    case 950: return "BIG5";
    case 51932: return "EUC-JP";
    case 51949: return "EUC-KR";
    default: break;
  }
  if (codePage >= 28591 && codePage <= 28606) return "ISO-8859-" + std::to_string(codePage - 28590);
  return "CP" + std::to_string(codePage);
}

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvPtr = std::unique_ptr<void, IconvCloser>;

// iconv descriptors are costly to open and paths are converted often: each thread
// keeps one per code page and direction, reset to the initial state before each use.
iconv_t Converter(uint32_t codePage, bool toWide) {
  thread_local std::map<std::pair<uint32_t, bool>, IconvPtr> cache;
  auto key = std::make_pair(codePage, toWide);
  auto it = cache.find(key);
  if (it == cache.end()) {
    std::string name = IconvName(codePage);
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    if (!name.empty()) {
      cd = toWide ? iconv_open("UTF-16LE", name.c_str()) : iconv_open(name.c_str(), "UTF-16LE");
    }
    if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
    it = cache.emplace(key, IconvPtr(cd)).first;
  }
  iconv_t cd = static_cast<iconv_t>(it->second.get());
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  return cd;
}

uint32_t ResolveCodePage(uint32_t codePage) {
  return codePage == kCodePageAnsi ? AnsiCodePage() : codePage;
}

// Length of the invalid UTF-8 sequence at `p` that stands for one replacement
// character: the lead byte and the continuation bytes that could still have followed
// it (the maximal subpart, as the system counts it).
size_t InvalidUtf8Length(const unsigned char* p, size_t left) {
  unsigned char lead = p[0];
  size_t need;
  unsigned char lo = 0x80, hi = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return 1;
  }
  size_t n = 1;
  while (n <= need && n < left) {
    unsigned char c = p[n];
    if (c < lo || c > hi) break;
    lo = 0x80;
    hi = 0xBF;
    ++n;
  }
  return n;
}

// Runs iconv over the whole input, growing the output; `onInvalid` is called at an
// input position iconv cannot convert and returns how many input bytes to skip after
// appending its replacement to the output.
template <typename OnInvalid>
bool RunIconv(iconv_t cd, const char* in, size_t inLeft, std::string& out, OnInvalid onInvalid) {
  out.assign(inLeft * 2 + 16, '\0');
  size_t used = 0;
  char* inPtr = const_cast<char*>(in);
  for (;;) {
    char* outPtr = &out[used];
    size_t outLeft = out.size() - used;
    size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    int error = errno;
    used = out.size() - outLeft;
    if (rc != static_cast<size_t>(-1)) {
      if (inLeft == 0) {
        // Flush the shift state of stateful code pages.
        outPtr = &out[used];
        outLeft = out.size() - used;
        if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
          out.resize(out.size() * 2);
          continue;
        }
        used = out.size() - outLeft;
        break;
      }
      continue;
    }
    if (error == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    if (error != EILSEQ && error != EINVAL) return false;
    out.resize(used);
    size_t skip = onInvalid(inPtr, inLeft, out);
    if (skip > inLeft) skip = inLeft;
    inPtr += skip;
    inLeft -= skip;
    used = out.size();
    out.resize(used + inLeft * 2 + 16);
  }
  out.resize(used);
  return true;
}

}  // namespace

uint32_t AnsiCodePage() {
  const char* value = std::getenv("GM_ACP");
  if (value != nullptr && *value != '\0') {
    char* end = nullptr;
    unsigned long number = std::strtoul(value, &end, 10);
    if (end != nullptr && *end == '\0' && number > 0 && number < 65536) {
      return static_cast<uint32_t>(number);
    }
  }
  return kDefaultAnsiCodePage;
}

std::string WideToMultiByte(const std::u16string& text, uint32_t codePage, char defaultChar,
                            bool* usedDefault, bool* ok) {
  if (usedDefault) *usedDefault = false;
  if (ok) *ok = true;
  auto fail = [&](uint32_t error) {
    SetLastSystemError(error);
    if (ok) *ok = false;
    return std::string();
  };
  codePage = ResolveCodePage(codePage);
  const bool utf8 = codePage == kCodePageUtf8;
  // Like the system: no text to convert is an invalid call.
  if (text.empty()) return fail(kErrorInvalidParameter);
  iconv_t cd = Converter(codePage, false);
  if (cd == reinterpret_cast<iconv_t>(-1)) return fail(kErrorInvalidParameter);

  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  bool replaced = false;
  std::string out;
  bool converted = RunIconv(cd, bytes.data(), bytes.size(), out,
                            [&](const char*, size_t, std::string& sink) -> size_t {
    // Byte code pages map unit by unit, so each half of a surrogate pair gets its own
    // replacement; for UTF-8 only a lone surrogate comes here.
    if (utf8) {
      sink += "\xEF\xBF\xBD";  // invalid UTF-16 becomes U+FFFD
    } else {
      sink.push_back(defaultChar != '\0' ? defaultChar : '?');
      replaced = true;
    }
    return 2;
  });
  if (!converted || out.empty()) return fail(kErrorNoUnicodeTranslation);
  if (usedDefault) *usedDefault = replaced;
  return std::string(out.c_str());
}

std::u16string MultiByteToWide(const char* bytes, int length, uint32_t codePage, bool* ok) {
  if (ok) *ok = true;
  if (bytes == nullptr) return std::u16string();
  auto fail = [&](uint32_t error) {
    SetLastSystemError(error);
    if (ok) *ok = false;
    return std::u16string();
  };
  size_t size = length < 0 ? strnlen(bytes, std::numeric_limits<int>::max())
                           : static_cast<size_t>(length);
  codePage = ResolveCodePage(codePage);
  if (size == 0) return fail(kErrorInvalidParameter);
  iconv_t cd = Converter(codePage, true);
  if (cd == reinterpret_cast<iconv_t>(-1)) return fail(kErrorInvalidParameter);

  const bool utf8 = codePage == kCodePageUtf8;
  std::string out;
  bool converted = RunIconv(cd, bytes, size, out,
                            [&](const char* at, size_t left, std::string& sink) -> size_t {
    auto p = reinterpret_cast<const unsigned char*>(at);
    char16_t replacement = utf8 ? u'\xFFFD' : u'?';
    size_t skip = utf8 ? InvalidUtf8Length(p, left) : 1;
    // Windows-1252 maps its five unassigned bytes to the C1 controls of the same value.
    if (codePage == 1252 && (p[0] == 0x81 || p[0] == 0x8D || p[0] == 0x8F || p[0] == 0x90 ||
                             p[0] == 0x9D)) {
      replacement = p[0];
    }
    sink.push_back(static_cast<char>(replacement & 0xFF));
    sink.push_back(static_cast<char>(replacement >> 8));
    return skip;
  });
  if (!converted || out.size() < 2) return fail(kErrorNoUnicodeTranslation);
  std::u16string text;
  text.reserve(out.size() / 2);
  for (size_t i = 0; i + 1 < out.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(out[i]) |
                                          (static_cast<unsigned char>(out[i + 1]) << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

}  // namespace Zavro
