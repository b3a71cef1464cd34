// Packages for the installer's tests, made with the writer from a source folder, the
// install run on them, and the state of folders read back with the standard library.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/io/memory_file.h"
#include "archive/packer.h"
#include "installer/package_metadata.h"
#include "installer/sfx_install.h"
#include "test_support.h"

namespace Zavro::test {

// Files by their path below a folder ('/' between names), with their bytes.
using Files = std::map<std::string, std::string>;

// Writes each file, and the folders it needs, below `folder`.
inline void WriteFiles(const fs::path& folder, const Files& files) {
  for (const auto& [name, bytes] : files) {
    fs::create_directories((folder / fs::u8path(name)).parent_path());
    WriteBytes(folder / fs::u8path(name), bytes);
  }
}

// The package of the folder `src` with the metadata `meta`, written beside it as
// "`src`.gmz"; `configure` may set the writer's methods first. PackFiles writes `files`
// into `src` first.
inline fs::path PackagePath(const fs::path& src) {
  fs::path file = src;
  file += ".gmz";
  return file;
}
inline std::string PackFolder(const fs::path& src, const MetadataPairs& meta,
                              const std::function<void(GMPacker&)>& configure = nullptr) {
  GMPacker packer;
  if (configure) configure(packer);
  EXPECT_TRUE(packer.SetSource(SysPath(src), false));
  const std::vector<unsigned char> bytes = SerializeMetadata(meta);
  EXPECT_TRUE(packer.AddInlineEntry(packer.Root(), kMetadataEntryName, bytes.data(), bytes.size()));
  EXPECT_TRUE(packer.PackToFile(SysPath(PackagePath(src))));
  return ReadBytes(PackagePath(src));
}
inline std::string PackFiles(const fs::path& src, const Files& files, const MetadataPairs& meta) {
  WriteFiles(src, files);
  return PackFolder(src, meta);
}

// The install run on `package` into `root` as the installer sets it up (or its patch
// variant); `message` is the run's last error message.
inline bool Install(const std::string& package, const std::u16string& root, std::u16string& message,
                    bool patch = false, bool ignoreAllErrors = false) {
  const std::unique_ptr<CMemoryFile> file = CMemoryFile::View(package.data(), package.size());
  GMSfxInstall install(file.get(), false, 0);
  install.SetReplaceLockedFiles(true);
  install.SetIgnoreAllErrors(ignoreAllErrors);
  install.SetAbsoluteNames(false);
  const bool installed = install.Open(false) && (patch ? install.InstallPatch(root) : install.Extract(root));
  message = install.GetLastErrorMessage();
  return installed;
}

// Every folder and file below `root` by its path relative to `root` ('/' between
// names): "d" or "f", "r " when read-only or "w ", then a file's bytes.
using Tree = std::map<std::string, std::string>;
inline Tree Snapshot(const fs::path& root) {
  Tree tree;
  if (!fs::exists(root)) return tree;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const bool readOnly = (fs::status(item.path()).permissions() & fs::perms::owner_write) == fs::perms::none;
    tree[item.path().lexically_relative(root).generic_u8string()] =
        std::string(item.is_directory() ? "d" : "f") + (readOnly ? "r " : "w ") +
        (item.is_directory() ? "" : ReadBytes(item.path()));
  }
  return tree;
}

// Where two trees differ, for a failure message.
inline std::string Difference(const Tree& actual, const Tree& expected) {
  std::string text;
  for (const auto& [name, value] : actual) {
    auto other = expected.find(name);
    if (other == expected.end()) text += "  extra " + name + "\n";
    else if (other->second != value) text += "  changed " + name + "\n";
  }
  for (const auto& [name, value] : expected) {
    if (actual.count(name) == 0) text += "  missing " + name + "\n";
  }
  return text;
}

// Every folder and file below the folders that exist, a file with its bytes.
inline std::string DumpFolders(std::initializer_list<fs::path> folders) {
  std::string state;
  for (const fs::path& folder : folders) {
    if (!fs::exists(folder)) continue;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
      state += item.path().u8string() + (item.is_directory() ? "" : "=" + ReadBytes(item.path())) + "\n";
    }
  }
  return state;
}

}  // namespace Zavro::test
