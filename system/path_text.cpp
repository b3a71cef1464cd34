// The text-only path functions: Windows path rules on every target, no system call.
#include "system/path_text.h"

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

namespace {

// The end of the component that starts at `from`.
size_t ComponentEnd(const std::u16string& path, size_t from) {
  while (from < path.size() && !IsSeparator(path[from])) ++from;
  return from;
}

// The root at the start of a path, without the separator after it: a drive ("C:"), a
// share ("\\srv\share"), a device path ("\\?\C:", "\\?\UNC\srv\share"), or one
// separator; 0 for a relative path.
size_t RootLength(const std::u16string& path) {
  if (path.size() >= 2 && path[1] == u':') return 2;
  if (path.empty() || !IsSeparator(path[0])) return 0;
  if (path.size() < 2 || !IsSeparator(path[1])) return 1;
  size_t end = ComponentEnd(path, 2);
  size_t names = 1;  // the server
  const std::u16string first = path.substr(2, end - 2);
  if ((first == u"?" || first == u".") && end < path.size()) {
    end = ComponentEnd(path, end + 1);
    // "\\?\C:" and "\\?\Volume{...}" are whole; "\\?\UNC\" is followed by a share.
    if (CompareNoCase(path.substr(4, end - 4), u"UNC") != 0) return end;
    names = 0;
  }
  for (; names < 2 && end < path.size(); ++names) end = ComponentEnd(path, end + 1);
  return end;
}

}  // namespace

std::u16string PathRoot(const std::u16string& path) {
  std::u16string root = path.substr(0, RootLength(path));
  NormalizePath(root, PathBackslashes);
  if (!root.empty() && root.back() != u'\\') root.push_back(u'\\');
  return root;
}

bool IsVolumeRoot(const std::u16string& path) {
  size_t at = RootLength(path);
  if (at == 0) return false;
  // What follows the root must lead back to it: nothing, "." and "..".
  size_t depth = 0;
  while (at < path.size()) {
    const size_t end = ComponentEnd(path, at);
    const std::u16string name = path.substr(at, end - at);
    if (name == u"..") {
      if (depth > 0) --depth;
    } else if (!name.empty() && name != u".") {
      ++depth;
    }
    at = end + 1;
  }
  return depth == 0;
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

namespace {

bool IsDeviceName(const std::u16string& name) {
  // The system looks at the part before the first dot, without trailing spaces.
  std::u16string base = name.substr(0, name.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.pop_back();
  ToUpperInPlace(base);
  if (base == u"CON" || base == u"PRN" || base == u"AUX" || base == u"NUL" || base == u"CONIN$" ||
      base == u"CONOUT$") {
    return true;
  }
  if (base.size() != 4 || !(StartsWith(base, u"COM") || StartsWith(base, u"LPT"))) return false;
  const char16_t digit = base[3];
  // Superscript one, two and three count as digits here too.
  return (digit >= u'1' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
}

}  // namespace

bool IsValidFileName(const std::u16string& name) {
  if (name.empty() || name == u"." || name == u"..") return false;
  for (char16_t c : name) {
    if (c < 0x20 || c == u'"' || c == u'<' || c == u'>' || c == u'|' || c == u'?' || c == u'*' || c == u':' ||
        IsSeparator(c)) {
      return false;
    }
  }
  if (name.back() == u'.' || name.back() == u' ') return false;
  return !IsDeviceName(name);
}

bool IsValidFilePath(const std::u16string& path) {
  size_t start = 0;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // \\server\share\: both are names the rest is checked against too.
    start = 2;
  } else if (path.size() >= 3 && path[1] == u':' && IsSeparator(path[2])) {
    const char16_t drive = FoldUpper(path[0]);
    if (drive < u'A' || drive > u'Z') return false;
    start = 3;
  }
  if (start == path.size()) return false;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (!IsValidFileName(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace Zavro
