// The program's file and the environment on POSIX, as their Windows twins behave; there
// are no special folders.
#include "system/known_folders.h"

#include <errno.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "system/encoding.h"
#include "system/posix_support.h"
#include "system/string_utils.h"
#include "system/system_error.h"

extern char** environ;

namespace Zavro {

namespace {

// Windows looks environment names up without regard to case.
bool LookUpEnvironment(const std::u16string& name, std::u16string& value) {
  if (name.empty() || name.find(u'=') != std::u16string::npos) return false;
  std::string wanted = ToUtf8(name);
  if (wanted.empty()) return false;
  if (const char* exact = getenv(wanted.c_str())) {
    value = FromCodePage(exact, kCodePageUtf8);
    return true;
  }
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr || equals == *entry) continue;
    std::u16string entryName = FromCodePage(std::string(*entry, static_cast<size_t>(equals - *entry)), kCodePageUtf8);
    if (CompareNoCase(entryName, name) == 0) {
      value = FromCodePage(equals + 1, kCodePageUtf8);
      return true;
    }
  }
  return false;
}

}  // namespace

std::u16string ModuleFilePath(const void* module) {
  if (module != nullptr) {
    SetLastSystemError(kErrorInvalidHandle);
    return std::u16string();
  }
  std::vector<char> buffer(512);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) {
      SetLastErrorFromErrno(errno);
      return std::u16string();
    }
    if (static_cast<size_t>(length) < buffer.size()) {
      return FromNativePath(std::string(buffer.data(), static_cast<size_t>(length)));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::u16string SpecialFolderPath(int csidl) {
  SetLastSystemError(kErrorFileNotFound);
  return std::u16string();
}

std::u16string ExpandEnvironment(const std::u16string& text) {
  if (text.empty() || text.find(u'%') == std::u16string::npos) return text;
  std::u16string result;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'%') {
      size_t next = text.find(u'%', i);
      if (next == std::u16string::npos) next = text.size();
      result.append(text, i, next - i);
      i = next;
      continue;
    }
    size_t close = text.find(u'%', i + 1);
    if (close == std::u16string::npos) {
      // An unfinished name is copied as it stands.
      result.append(text, i, std::u16string::npos);
      break;
    }
    std::u16string value;
    if (LookUpEnvironment(text.substr(i + 1, close - i - 1), value)) {
      result += value;
      i = close + 1;
    } else {
      // An unknown name stays as written, both marks included, as the system leaves it.
      result.append(text, i, close - i + 1);
      i = close + 1;
    }
  }
  return result;
}

}  // namespace Zavro
