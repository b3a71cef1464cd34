// The writer on POSIX: links, pipes and sockets in the source; times and attributes as
// this system gives them.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "archive/io/file.h"
#include "archive/packer.h"
#include "system/file_system.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::ScratchDir;
using test::WriteBytes;

// The entry of the scanned tree with this name, directly below `parent`.
const GMTocNode* Child(const GMTocNode& parent, const std::u16string& name) {
  for (const auto& child : parent.children) {
    if (child->name == name) return child.get();
  }
  return nullptr;
}

TEST(GMPackerPosix, LinksToFilesArePackedWhatCannotBeIsNamed) {
  ScratchDir dir;
  const test::fs::path src = dir.fs_path() / "src";
  test::fs::create_directories(src / "sub");
  WriteBytes(src / "a.txt", "abc");
  WriteBytes(src / "sub" / "b.txt", "b");
  test::fs::create_symlink("a.txt", src / "link.txt");
  test::fs::create_directory_symlink("..", src / "sub" / "up");
  test::fs::create_symlink("missing", src / "broken");
  ASSERT_EQ(mkfifo((src / "pipe").c_str(), 0600), 0);
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = (src / "sock").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  GMPacker packer;
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  ASSERT_TRUE(packer.PackToFile(dir.Join(u"out.gmz")));
  close(listener);

  const GMTocNode& root = packer.Root();
  ASSERT_EQ(root.children.size(), 3u);
  const GMTocNode* link = Child(root, u"link.txt");
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->size, 3u);
  EXPECT_EQ(link->attributes, kFileAttributeArchive);
  ASSERT_NE(Child(root, u"sub"), nullptr);
  EXPECT_EQ(Child(root, u"sub")->children.size(), 1u);

  std::vector<std::pair<std::u16string, SkipReason>> skipped;
  for (const SkippedItem& item : packer.Skipped()) skipped.emplace_back(item.name, item.reason);
  std::sort(skipped.begin(), skipped.end());
  EXPECT_EQ(skipped, (std::vector<std::pair<std::u16string, SkipReason>>{
                         {dir.Join(u"src\\broken"), SkipReason::kBrokenLink},
                         {dir.Join(u"src\\pipe"), SkipReason::kPipe},
                         {dir.Join(u"src\\sock"), SkipReason::kSocket},
                         {dir.Join(u"src\\sub\\up"), SkipReason::kFolderLink},
                     }));
}

TEST(GMPackerPosix, OneCreationTimeAndTheStoredAttributes) {
  ScratchDir dir;
  const test::fs::path src = dir.fs_path() / "src";
  test::fs::create_directory(src);
  WriteBytes(src / "a.txt", "abc");
  // 2001-09-09: long before the file was made.
  const FileTime written((1000000000ULL + kFileTimeUnixEpochSeconds) * kFileTimeTicksPerSecond);
  ASSERT_TRUE(SetFileTimes(dir.Join(u"src\\a.txt"), nullptr, nullptr, &written));
  test::fs::create_directory_symlink(src, dir.fs_path() / "src-link");

  // The source folder given through a link: its entry keeps the folder bit alone.
  GMPacker packer;
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src-link"), true));
  ASSERT_EQ(packer.Root().children.size(), 1u);
  const GMTocNode& top = *packer.Root().children[0];
  EXPECT_EQ(top.attributes, kFileAttributeDirectory);

  // The creation time is the birth time (or 0), as the file itself gives it, never the
  // write time standing in for it.
  const GMTocNode* a = Child(top, u"a.txt");
  ASSERT_NE(a, nullptr);
  GMFile file;
  ASSERT_TRUE(file.Open(dir.Join(u"src\\a.txt"), kGenericRead, kFileShareRead, kOpenExisting, 0));
  FileTime creation, access, write;
  ASSERT_TRUE(file.GetTimes(creation, access, write));
  EXPECT_EQ(a->lastWriteTime, written);
  EXPECT_EQ(a->creationTime, creation);
  EXPECT_NE(a->creationTime, written);
}

TEST(GMPackerPosix, TheArchiveLeavesOutItselfByItsExactName) {
  ScratchDir dir;
  test::fs::create_directory(dir.fs_path() / "src");
  WriteBytes(dir.fs_path() / "src" / "A.gmz", "old archive");
  WriteBytes(dir.fs_path() / "src" / "a.gmz", "another file");
  GMPacker packer;
  ASSERT_TRUE(packer.SetSource(dir.Join(u"src"), false));
  EXPECT_TRUE(packer.RemoveSource(dir.Join(u"src\\A.gmz")));
  EXPECT_FALSE(packer.RemoveSource(dir.Join(u"src\\A.gmz")));
  ASSERT_EQ(packer.Root().children.size(), 1u);
  EXPECT_EQ(packer.Root().children[0]->name, u"a.gmz");
}

}  // namespace
}  // namespace Zavro
