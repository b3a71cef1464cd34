// One package, checked in: what `gmz` makes of a fixed folder, with every method. The
// Linux gmz and gmz.exe under Wine must both read it to the same entries and bytes, and
// both pack the same folder to the same archive (the times the file systems cannot
// keep alike, creation and last access, aside). GM_UPDATE_GOLDEN=1 writes it anew.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "archive/gmz_format.h"
#include "system/file_system.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::ReadBytes;
using test::WriteBytes;

const fs::path kGolden = fs::path(GM_TEST_DATA_DIR) / "golden.gmz";
constexpr uint64_t kWritten = 132223104000000000ULL;  // 2020-01-01 00:00:00 UTC
constexpr uint64_t kAccessed = kWritten + 864000000000ULL;

std::string Pattern(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) % 251);
  return bytes;
}

// The folder: text for the solid block, a log for zip, bytes to store, and a folder.
void MakeSource(const fs::path& src) {
  fs::create_directories(src / "bin");
  std::string text;
  for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + " of the client's notes\r\n";
  WriteBytes(src / "readme.txt", "read me first\r\n");
  WriteBytes(src / "bin" / "notes.log", text);
  WriteBytes(src / "bin" / "data.bin", Pattern(3000, 7));
  WriteBytes(src / "bin" / "big.txt", text + text);
  const FileTime accessed(kAccessed), written(kWritten);
  for (const char* path : {"readme.txt", "bin/notes.log", "bin/data.bin", "bin/big.txt", "bin"}) {
    ASSERT_TRUE(SetFileTimes(test::SysPath(src / path), nullptr, &accessed, &written)) << path;
  }
}

int Gmz(const test::ScratchDir& dir, const std::vector<std::string>& arguments) {
  return test::RunProgram(test::BuiltProgram("tools/gmz/gmz"), arguments, dir.fs_path() / "out.txt",
                          dir.fs_path() / "err.txt");
}

// The archive with the creation and access times of every entry cleared and the
// checksum left out: what both systems must write alike.
std::string Comparable(const std::string& archive) {
  GmzHeader header;
  uint32_t code = 0;
  if (archive.size() < kGmzHeaderSize + kGmzTrailerSize ||
      !ParseGmzHeader(reinterpret_cast<const unsigned char*>(archive.data()), header, code)) {
    return "<not an archive>";
  }
  GMTocNode root;
  if (!ParseToc(reinterpret_cast<const unsigned char*>(archive.data()) + kGmzHeaderSize, header.tocSize, root, code)) {
    return "<no table>";
  }
  std::vector<GMTocNode*> pending{&root};
  while (!pending.empty()) {
    GMTocNode* entry = pending.back();
    pending.pop_back();
    entry->creationTime = entry->lastAccessTime = FileTime();
    for (auto& child : entry->children) pending.push_back(child.get());
  }
  std::vector<unsigned char> table;
  if (!SerializeToc(root, table)) return "<table>";
  return archive.substr(0, kGmzHeaderSize) + std::string(table.begin(), table.end()) +
         archive.substr(kGmzHeaderSize + header.tocSize, archive.size() - kGmzTrailerSize - kGmzHeaderSize -
                                                             header.tocSize);
}

TEST(GmzGolden, TheSameFolderPacksTheSameArchive) {
  test::ScratchDir dir;
  MakeSource(dir.fs_path() / "src");
  const fs::path packed = dir.fs_path() / "p.gmz";
  ASSERT_EQ(Gmz(dir, {"pack", (dir.fs_path() / "src").u8string(), "-o", packed.u8string(), "--method-rule",
                      "zip=.log", "--method-rule", "store=.bin", "--meta", "gmfolder=Golden"}),
            0)
      << ReadBytes(dir.fs_path() / "err.txt");
  if (std::getenv("GM_UPDATE_GOLDEN") != nullptr) fs::copy_file(packed, kGolden, fs::copy_options::overwrite_existing);
  EXPECT_TRUE(Comparable(ReadBytes(packed)) == Comparable(ReadBytes(kGolden)));
}

TEST(GmzGolden, TheCheckedInArchiveReads) {
  test::ScratchDir dir;
  const fs::path golden = dir.fs_path() / "golden.gmz";  // a path the program under test can take
  fs::copy_file(kGolden, golden);
  ASSERT_EQ(Gmz(dir, {"list", golden.u8string(), "--json"}), 0) << ReadBytes(dir.fs_path() / "err.txt");
  const nlohmann::json list = nlohmann::json::parse(ReadBytes(dir.fs_path() / "out.txt"));
  EXPECT_EQ(list["checksum"], true);
  std::vector<std::string> entries;
  for (const auto& e : list["entries"]) {
    entries.push_back(e["path"].get<std::string>() + " " + e["type"].get<std::string>() +
                      (e.contains("method") ? " " + std::to_string(e["method"].get<int>()) : std::string()));
  }
  EXPECT_EQ(entries, (std::vector<std::string>{"bin directory 0", "bin\\big.txt file 3", "bin\\data.bin file 0",
                                               "bin\\notes.log file 1", "readme.txt file 3", "gmmeta inline"}));
  EXPECT_EQ(list["entries"][1]["modified"], kWritten);
  // The solid members show their own sizes; the block its total on its own.
  EXPECT_EQ(list["entries"][1]["member_size"], 25380);
  EXPECT_EQ(list["entries"][4]["member_size"], 15);
  EXPECT_EQ(list["solid_block"]["size"], 25395);
  EXPECT_EQ(list["solid_block"]["members"], 2);

  const fs::path out = dir.fs_path() / "out";
  ASSERT_EQ(Gmz(dir, {"extract", golden.u8string(), "-C", out.u8string()}), 0) << ReadBytes(dir.fs_path() / "err.txt");
  MakeSource(dir.fs_path() / "expected");
  for (const char* path : {"readme.txt", "bin/notes.log", "bin/data.bin", "bin/big.txt"}) {
    EXPECT_TRUE(ReadBytes(out / path) == ReadBytes(dir.fs_path() / "expected" / path)) << path;
  }
}

}  // namespace
}  // namespace Zavro
