// Packages for the installer's tests, made with the writer from a source folder, and
// the state of folders read back with the standard library.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "archive/packer.h"
#include "installer/package_metadata.h"
#include "test_support.h"

namespace Zavro::test {

// The package of the folder `src` with the metadata `meta`, written beside it as
// "`src`.gmz"; `configure` may set the writer's methods first.
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
