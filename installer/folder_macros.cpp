#include "installer/folder_macros.h"

#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "system/path_text.h"
#include "system/known_folders.h"
#include "system/string_utils.h"

namespace Zavro {

namespace {

constexpr uint32_t kFolderFlags = PathUnquote | PathRemoveSlash | PathBackslashes;

// Ids of folders the installer takes from the environment instead of the shell.
constexpr int kAllUsersProfile = 257;
constexpr int kHomeDrive = 258;

const std::vector<std::pair<const char16_t*, int>>& MacroTable() {
  static const std::vector<std::pair<const char16_t*, int>> table = {
      {u"program_files", 38},     {u"common_program_files", 43}, {u"system_driver", kHomeDrive},
      {u"windows", 36},           {u"fonts", 20},                {u"cookies", 33},
      {u"all_users", kAllUsersProfile}, {u"all_appdata", 35},   {u"all_programs_menu", 23},
      {u"all_docs", 46},          {u"all_desktop", 25},          {u"all_menu", 22},
      {u"all_startup", 24},       {u"all_favorites", 31},        {u"my_user", 40},
      {u"my_appdata", 26},        {u"my_desktop", 16},           {u"my_favorites", 6},
      {u"my_doc", 5},             {u"my_menu", 11},              {u"my_programs_menu", 2},
      {u"my_startup", 7},         {u"my_local_appdata", 28},
  };
  return table;
}

// The process-wide cache of special folders, refreshed by every new table.
std::map<int, std::u16string>& FolderCache() {
  static std::map<int, std::u16string> cache;
  return cache;
}

std::mutex& FolderCacheLock() {
  static std::mutex lock;
  return lock;
}

void RefreshFolderCache() {
  std::map<int, std::u16string>& cache = FolderCache();
  for (const auto& [name, id] : MacroTable()) {
    std::u16string folder;
    if (id == kAllUsersProfile || id == kHomeDrive) {
      const std::u16string variable = id == kAllUsersProfile ? u"%ALLUSERSPROFILE%" : u"%HOMEDRIVE%";
      folder = ExpandEnvironment(variable);
      // A variable that is not set comes back as written: that is no folder. A folder
      // whose name holds a '%' is one like any other.
      if (folder == variable) folder.clear();
    } else {
      folder = SpecialFolderPath(id);
    }
    NormalizePath(folder, kFolderFlags);
    cache[id] = folder;
  }
}

std::u16string Key(const std::u16string& name) {
  std::u16string key = name;
  ToLowerInPlace(key);
  return key;
}

}  // namespace

FolderMacros::FolderMacros() {
  std::lock_guard<std::mutex> lock(FolderCacheLock());
  RefreshFolderCache();
  for (const auto& [name, id] : MacroTable()) {
    std::u16string key = name;
    TrimWhitespace(key);
    built_in_[Key(key)] = FolderCache()[id];
  }
}

FolderMacros::FolderMacros(const std::map<std::u16string, std::u16string>& builtIn) {
  for (const auto& [name, folder] : builtIn) {
    std::u16string& slot = built_in_[Key(name)];
    slot = folder;
    NormalizePath(slot, kFolderFlags);
  }
}

void FolderMacros::DefineMacro(const std::u16string& name, const std::u16string& value) {
  if (name.empty()) return;
  std::u16string& slot = custom_[Key(name)];
  slot = value;
  NormalizePath(slot, kFolderFlags);
}

bool FolderMacros::IsMacroDefined(const std::u16string& name) const {
  const std::u16string key = Key(name);
  return custom_.count(key) != 0 || built_in_.count(key) != 0;
}

std::u16string FolderMacros::LookupMacro(const std::u16string& name) const {
  const std::u16string key = Key(name);
  auto custom = custom_.find(key);
  if (custom != custom_.end()) return custom->second;
  auto builtIn = built_in_.find(key);
  return builtIn != built_in_.end() ? builtIn->second : std::u16string();
}

std::u16string FolderMacros::ExpandMacros(const std::u16string& text) const {
  // Each unit of the result knows the macros whose values it came from. A token inside
  // its own macro's value (directly or through other values) is that macro referring
  // to itself, which would expand without end: it stays as it is, and when it comes
  // first the expansion stops there, as at an undefined name. A name that comes back
  // through another macro's value is expanded again.
  std::u16string result = text;
  std::vector<std::set<std::u16string>> sources(1);  // sources[0]: the text itself
  std::vector<size_t> source(result.size(), 0);
  auto sourcesOf = [&](size_t at, size_t length) {
    std::set<std::u16string> names;
    for (size_t i = at; i < at + length; ++i) names.insert(sources[source[i]].begin(), sources[source[i]].end());
    return names;
  };
  for (;;) {
    const size_t first = result.find(u"##");
    if (first == std::u16string::npos) return result;
    const size_t second = result.find(u"##", first + 2);
    if (second == std::u16string::npos) return result;
    const std::u16string token = result.substr(first, second + 2 - first);
    const std::u16string name = token.substr(2, token.size() - 4);
    if (!IsMacroDefined(name)) return result;
    const std::u16string key = Key(name);
    if (sourcesOf(first, token.size()).count(key) != 0) return result;

    // Every occurrence, found without regard to case, becomes the value.
    const std::u16string value = LookupMacro(name);
    std::u16string expanded;
    std::vector<size_t> expandedSource;
    size_t done = 0;
    for (size_t at = first; at != kNotFound; at = FindNoCase(result, token, done)) {
      expanded.append(result, done, at - done);
      expandedSource.insert(expandedSource.end(), source.begin() + done, source.begin() + at);
      std::set<std::u16string> names = sourcesOf(at, token.size());
      if (names.count(key) != 0) {
        expanded.append(result, at, token.size());
        expandedSource.insert(expandedSource.end(), source.begin() + at, source.begin() + at + token.size());
      } else {
        names.insert(key);
        sources.push_back(std::move(names));
        expanded += value;
        expandedSource.insert(expandedSource.end(), value.size(), sources.size() - 1);
      }
      done = at + token.size();
    }
    expanded.append(result, done, std::u16string::npos);
    expandedSource.insert(expandedSource.end(), source.begin() + done, source.end());
    result.swap(expanded);
    source.swap(expandedSource);
  }
}

bool ResolveInstallFolder(const std::u16string& targetRoot, const std::u16string& value, const FolderMacros& macros,
                          std::u16string& folder) {
  folder = targetRoot;
  if (folder.size() > 1 && folder.back() == u'\\') folder.pop_back();
  if (value.empty()) return true;
  std::u16string name = value;
  NormalizePath(name, PathRemoveSlash);
  folder = IsAbsolutePath(name) ? name : JoinPath(folder, name);
  if (name.empty() || IsVolumeRoot(folder) || !IsValidFilePath(name)) return false;
  for (const auto& [macro, builtIn] : macros.BuiltIn()) {
    if (!builtIn.empty() && CompareNoCase(builtIn, folder) == 0) return false;
  }
  return true;
}

}  // namespace Zavro
