#include "system/directory_listing.h"

#include <gtest/gtest.h>

#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::ScratchDir;

TEST(DirectoryListingWinTest, LinksListAsTheirTargetsOrAreLeftOut) {
  ScratchDir dir;
  test::fs::create_directory(dir.fs_path() / "folder");
  test::WriteBytes(dir.fs_path() / "target.bin", "12345");
  constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  const bool made = CreateSymbolicLinkW(W(dir.Join(u"file-link")), W(dir.Join(u"target.bin")), kUnprivileged) &&
                    CreateSymbolicLinkW(W(dir.Join(u"broken")), W(dir.Join(u"missing.bin")), kUnprivileged) &&
                    CreateSymbolicLinkW(W(dir.Join(u"folder-link")), W(dir.Join(u"folder")),
                                        SYMBOLIC_LINK_FLAG_DIRECTORY | kUnprivileged);
  // Wine's CreateSymbolicLinkW reports success without making a link.
  if (!made || GetFileAttributesW(W(dir.Join(u"file-link"))) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "symbolic links cannot be made here";
  }

  std::vector<DirectoryItem> items;
  std::vector<SkippedItem> skipped;
  ASSERT_TRUE(ListDirectory(dir.path(), items, skipped));
  ASSERT_EQ(items.size(), 3u);  // folder, target.bin and file-link
  for (const DirectoryItem& item : items) {
    if (item.name != u"file-link") continue;
    EXPECT_EQ(item.size, 5u);
    EXPECT_EQ(item.attributes & kFileAttributeReparsePoint, 0u);
  }
  ASSERT_EQ(skipped.size(), 2u);
  for (const SkippedItem& item : skipped) {
    EXPECT_EQ(item.reason, item.name == u"broken" ? SkipReason::kBrokenLink : SkipReason::kFolderLink);
  }
}

}  // namespace
}  // namespace Zavro
