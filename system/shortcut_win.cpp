#include "system/shortcut.h"

#include <vector>

#include "system/change_seam.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/known_folders.h"
#include "system/windows_support.h"
#include "system/string_utils.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace Zavro {

namespace {

// Owns one COM interface pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* operator->() const { return pointer_; }
  T* Get() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For a call that hands out a new reference.
  void** Out() {
    Reset();
    return reinterpret_cast<void**>(&pointer_);
  }
  void Reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  T* pointer_ = nullptr;
};

// The shell-link object and its file interface. A thread without COM gets it once.
bool CreateLinkObjects(ComPtr<IShellLinkW>& link, ComPtr<IPersistFile>& file) {
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out());
  if (result == CO_E_NOTINITIALIZED) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Out());
  }
  if (FAILED(result) || !link) return false;
  return SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Out())) && file;
}

// A text the link gives, taken only on S_OK.
template <typename Getter>
void TakeText(std::u16string& field, size_t units, Getter getter) {
  std::vector<wchar_t> buffer(units, L'\0');
  if (getter(buffer.data(), static_cast<int>(units)) == S_OK) field = U16(buffer.data());
}

bool ReadLink(const std::u16string& path, ShortcutInfo& info) {
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (!CreateLinkObjects(link, file) || FAILED(file->Load(W(path), STGM_READ | STGM_SHARE_DENY_READ))) return false;
  wchar_t target[MAX_PATH] = {};
  if (SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH))) info.target = U16(target);
  if (info.target.empty()) {
    // A link to a shell item without a file-system path: its display name.
    PIDLIST_ABSOLUTE item = nullptr;
    ComPtr<IShellFolder> desktop;
    if (SUCCEEDED(link->GetIDList(&item)) && item != nullptr &&
        SUCCEEDED(SHGetDesktopFolder(reinterpret_cast<IShellFolder**>(desktop.Out())))) {
      STRRET name{};
      wchar_t* text = nullptr;
      if (SUCCEEDED(desktop->GetDisplayNameOf(item, SHGDN_NORMAL, &name)) &&
          SUCCEEDED(StrRetToStrW(&name, item, &text))) {
        info.target = U16(text);
        CoTaskMemFree(text);
      }
    }
    CoTaskMemFree(item);
  }
  info.target = ExpandEnvironment(info.target);
  TakeText(info.workingDirectory, MAX_PATH, [&](wchar_t* b, int n) { return link->GetWorkingDirectory(b, n); });
  TakeText(info.arguments, 1024, [&](wchar_t* b, int n) { return link->GetArguments(b, n); });
  TakeText(info.description, 1024, [&](wchar_t* b, int n) { return link->GetDescription(b, n); });
  TakeText(info.iconPath, MAX_PATH, [&](wchar_t* b, int n) {
    int icon = 0;
    const HRESULT result = link->GetIconLocation(b, n, &icon);
    if (result == S_OK) info.iconIndex = icon;
    return result;
  });
  WORD hotkey = 0;
  if (SUCCEEDED(link->GetHotkey(&hotkey))) info.hotkey = hotkey;
  int show = 0;
  if (SUCCEEDED(link->GetShowCmd(&show))) info.showCommand = show;
  return !info.target.empty();
}

bool ReadUrl(const std::u16string& path, ShortcutInfo& info) {
  const std::u16string section = u"InternetShortcut";
  info.target = ReadIniString(path, section, u"URL", u"");
  const std::u16string index = ReadIniString(path, section, u"IconIndex", u"0");
  // The leading digits, as the profile gives them: "-1" and "abc" are 0.
  info.iconIndex = static_cast<int32_t>(ParseUnsigned(index));
  info.iconPath = ReadIniString(path, section, u"IconFile", u"");
  info.workingDirectory = ReadIniString(path, section, u"WorkingDirectory", u"");
  return !info.target.empty();
}

}  // namespace

std::u16string ReadIniString(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                             const std::u16string& fallback) {
  std::vector<wchar_t> buffer(4096, L'\0');
  const DWORD length =
      GetPrivateProfileStringW(W(section), W(key), W(fallback), buffer.data(), static_cast<DWORD>(buffer.size()),
                               W(file));
  return U16(buffer.data(), length);
}

bool WriteIniString(const std::u16string& file, const std::u16string& section, const std::u16string* key,
                    const std::u16string* value) {
  if (ChangeRefused()) return false;
  return WritePrivateProfileStringW(W(section), key != nullptr ? W(*key) : nullptr,
                                    key != nullptr && value != nullptr ? W(*value) : nullptr, W(file)) != FALSE;
}

bool ReadShortcut(const std::u16string& path, ShortcutInfo& info) {
  info.target.clear();
  if (!IsFile(path)) return false;
  std::u16string extension = ExtensionPart(path);
  ToLowerInPlace(extension);
  if (extension == u".url") return ReadUrl(path, info);
  if (extension == u".lnk") return ReadLink(path, info);
  return false;
}

bool CreateShellLink(const std::u16string& target, const std::u16string& arguments,
                     const std::u16string& description, const std::u16string& linkPath,
                     const std::u16string& iconPath, int32_t iconIndex, const std::u16string* workingDirectory) {
  if (target.empty() || linkPath.empty()) return false;
  std::u16string working;
  if (workingDirectory != nullptr) {
    working = *workingDirectory;
  } else if (!FullPathDirectory(target, working)) {
    return false;
  }
  std::u16string full;
  size_t split = 0;
  if (!FullPath(linkPath, full, split) || split >= full.size()) return false;
  const std::u16string fileName = full.substr(split);
  std::u16string folder;
  if (!FullPathDirectory(linkPath, folder)) return false;
  NormalizePath(folder, PathRemoveSlash);
  if (!PathExists(folder)) CreateDirectoryTree(folder);
  if (!IsDirectory(folder)) return false;
  std::u16string linkFile = folder + u"\\" + fileName;

  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (!CreateLinkObjects(link, file)) return false;
  link->SetPath(W(target));
  link->SetWorkingDirectory(W(working));
  if (!iconPath.empty()) {
    link->SetIconLocation(W(iconPath), 0);
  } else if (iconIndex >= 0) {
    link->SetIconLocation(W(target), iconIndex);
  }
  link->SetArguments(W(arguments));
  link->SetDescription(W(description));
  if (!EndsWithNoCase(linkFile, u".lnk")) linkFile += u".lnk";
  // The link in the way is replaced by the save (which a read-only, hidden or system
  // file would refuse), and stays when the save fails.
  const uint32_t attributes = GetPathAttributes(linkFile);
  const uint32_t refusing = kFileAttributeReadonly | kFileAttributeHidden | kFileAttributeSystem;
  if (attributes != kInvalidFileAttributes && (attributes & refusing) != 0) {
    SetPathAttributes(linkFile, attributes & ~refusing);
  }
  if (ChangeRefused()) return false;
  return SUCCEEDED(file->Save(W(linkFile), TRUE));
}

bool CreateShellLink(const ShortcutInfo& info, const std::u16string& linkPath) {
  return CreateShellLink(info.target, info.arguments, info.description, linkPath, info.iconPath, info.iconIndex,
                         &info.workingDirectory);
}

}  // namespace Zavro
