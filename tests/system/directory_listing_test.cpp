#include "system/directory_listing.h"

#include <gtest/gtest.h>

namespace Zavro {
namespace {

TEST(DirectoryListingTest, ReparsePointsByTheirTag) {
  constexpr uint32_t kFolder = kFileAttributeDirectory | kFileAttributeReparsePoint;
  constexpr uint32_t kFile = kFileAttributeArchive | kFileAttributeReparsePoint;
  constexpr uint32_t kCloudPlaceholder = 0x9000001A, kDeduplicated = 0x80000013;
  const struct {
    uint32_t attributes;
    uint32_t tag;
    ReparseHandling handling;
  } cases[] = {
      {kFolder, kReparseTagSymlink, ReparseHandling::kFolderLink},
      {kFolder, kReparseTagMountPoint, ReparseHandling::kFolderLink},
      {kFolder, 0, ReparseHandling::kFolderLink},  // no tag given (Wine's links)
      {kFolder, kCloudPlaceholder, ReparseHandling::kAsItIs},
      {kFile, kReparseTagSymlink, ReparseHandling::kFollowLink},
      {kFile, kDeduplicated, ReparseHandling::kAsItIs},
      // Without the reparse-point attribute the tag means nothing.
      {kFileAttributeDirectory, kReparseTagSymlink, ReparseHandling::kAsItIs},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HandlingOfReparsePoint(c.attributes, c.tag), c.handling) << std::hex << c.attributes << " " << c.tag;
  }
}

}  // namespace
}  // namespace Zavro
