// The text-only path functions: Windows path rules on every target, no system call.
#include "system/path_utils.h"

#include "system/string_utils.h"

namespace Zavro {

namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

void RemoveTrailingSeparators(std::u16string& path) {
  while (!path.empty() && IsSeparator(path.back())) path.pop_back();
}

}  // namespace

void NormalizePath(std::u16string& path, uint32_t flags) {
  if (flags & PathLower) {
    for (auto& c : path) c = FoldLower(c);
  }
  if (flags & PathUpper) {
    for (auto& c : path) c = FoldUpper(c);
  }
  if ((flags & PathUnquote) && path.size() >= 2 && path.front() == u'"' && path.back() == u'"') {
    path = path.substr(1, path.size() - 2);
  }
  if (flags & PathAddSlash) {
    RemoveTrailingSeparators(path);
    if (!path.empty()) path.push_back(u'\\');
  }
  if (flags & PathRemoveSlash) RemoveTrailingSeparators(path);
  if (flags & PathBackslashes) {
    for (auto& c : path) {
      if (c == u'/') c = u'\\';
    }
  }
}

bool IsAbsolutePath(const std::u16string& path) {
  if (path.size() < 2) return false;
  if (path[0] == u'\\' && path[1] == u'\\') return true;
  // A drive prefix: whatever unit stands before the colon.
  return path[1] == u':' && (path.size() == 2 || IsSeparator(path[2]));
}

std::u16string JoinPath(const std::u16string& base, const std::u16string& relative) {
  std::u16string r = relative;
  NormalizePath(r, PathUnquote);
  if (IsAbsolutePath(r)) return r;

  std::u16string b = base;
  NormalizePath(b, PathUnquote);
  NormalizePath(b, PathAddSlash);

  size_t start = 0;
  while (start < r.size() && IsSeparator(r[start])) ++start;
  r.erase(0, start);
  return b.empty() ? r : b + r;
}

std::u16string DirectoryPart(const std::u16string& path) {
  std::u16string p = path;
  NormalizePath(p, PathUnquote | PathRemoveSlash);
  // Only the backslash counts: a path with forward slashes is its own directory part.
  size_t last = p.rfind(u'\\');
  if (last == std::u16string::npos) return p;
  p.resize(last);
  return p;
}

std::u16string FileNamePart(const std::u16string& path) {
  size_t last = path.find_last_of(u"\\/");
  if (last == std::u16string::npos) return path;
  return path.substr(last + 1);
}

std::u16string ExtensionPart(const std::u16string& path) {
  size_t last = path.find_last_of(u"\\/");
  // The separator stays in the tail, so a dot in a folder name is never taken.
  std::u16string tail = last == std::u16string::npos ? path : path.substr(last);
  size_t dot = tail.rfind(u'.');
  if (dot == std::u16string::npos) return std::u16string();
  return tail.substr(dot);
}

}  // namespace Zavro
