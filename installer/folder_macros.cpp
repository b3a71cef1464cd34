#include "installer/folder_macros.h"

#include <mutex>
#include <utility>
#include <vector>

#include "system/path_utils.h"
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
    if (id == kAllUsersProfile) {
      folder = ExpandEnvironment(u"%ALLUSERSPROFILE%");
    } else if (id == kHomeDrive) {
      folder = ExpandEnvironment(u"%HOMEDRIVE%");
    } else {
      folder = SpecialFolderPath(id);
    }
    // A variable that is not set stays as written: that is no folder.
    if (folder.find(u'%') != std::u16string::npos) folder.clear();
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
  std::u16string result = text;
  // Each round replaces one name everywhere. A name comes back only through a value
  // that holds its own token; expanding a name a second time would never end.
  std::vector<std::u16string> expanded;
  for (;;) {
    const size_t first = result.find(u"##");
    if (first == std::u16string::npos) return result;
    const size_t second = result.find(u"##", first + 2);
    if (second == std::u16string::npos) return result;
    const std::u16string token = result.substr(first, second + 2 - first);
    const std::u16string name = token.substr(2, token.size() - 4);
    if (!IsMacroDefined(name)) return result;
    const std::u16string key = Key(name);
    for (const auto& done : expanded) {
      if (done == key) return result;
    }
    expanded.push_back(key);
    ReplaceAllNoCase(result, token.c_str(), LookupMacro(name).c_str());
  }
}

}  // namespace Zavro
