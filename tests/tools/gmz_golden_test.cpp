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
#include "tools/tools_test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::ReadBytes;
using test::WriteBytes;

const fs::path kGolden = fs::path(GM_TEST_DATA_DIR) / "golden.gmz";
constexpr uint64_t kWritten = 132223104000000000ULL;  // 2020-01-01 00:00:00 UTC

// The folder: text for the solid block, a log for zip, bytes to store, and a folder.
void MakeSource(const fs::path& src) {
  fs::create_directories(src / "bin");
  std::string text, pattern(3000, '\0');
  for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + " of the client's notes\r\n";
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>((i * 131 + 7) % 251);
  WriteBytes(src / "readme.txt", "read me first\r\n");
  WriteBytes(src / "bin" / "notes.log", text);
  WriteBytes(src / "bin" / "data.bin", pattern);
  WriteBytes(src / "bin" / "big.txt", text + text);
  const FileTime accessed(kWritten + 864000000000ULL), written(kWritten);
  for (const char* path : {"readme.txt", "bin/notes.log", "bin/data.bin", "bin/big.txt", "bin"}) {
    ASSERT_TRUE(SetFileTimes(test::SysPath(src / path), nullptr, &accessed, &written)) << path;
  }
}

void ClearTimes(GMTocNode& entry) {
  entry.creationTime = entry.lastAccessTime = FileTime();
  for (auto& child : entry.children) ClearTimes(*child);
}

// The archive with the creation and access times of every entry cleared and the
// checksum left out: what both systems must write alike. Empty when it cannot be read.
std::string Comparable(const std::string& archive) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(archive.data());
  GmzHeader header;
  GMTocNode root;
  uint32_t code = 0;
  std::vector<unsigned char> table;
  if (archive.size() < kGmzHeaderSize + kGmzTrailerSize || !ParseGmzHeader(bytes, header, code) ||
      !ParseToc(bytes + kGmzHeaderSize, header.tocSize, root, code)) {
    return "";
  }
  ClearTimes(root);
  if (!SerializeToc(root, table)) return "";
  return archive.substr(0, kGmzHeaderSize) + std::string(table.begin(), table.end()) +
         archive.substr(kGmzHeaderSize + header.tocSize,
                        archive.size() - kGmzTrailerSize - kGmzHeaderSize - header.tocSize);
}

TEST(GmzGolden, TheSameFolderPacksTheSameArchive) {
  test::ScratchDir dir;
  const fs::path d = dir.fs_path();
  MakeSource(d / "src");
  const test::GmzRun packed =
      test::RunGmz(d, {"pack", (d / "src").u8string(), "-o", (d / "p.gmz").u8string(), "--method-rule", "zip=.log",
                       "--method-rule", "store=.bin", "--meta", "gmfolder=Golden"});
  ASSERT_EQ(packed.status, 0) << packed.err;
  if (std::getenv("GM_UPDATE_GOLDEN")) fs::copy_file(d / "p.gmz", kGolden, fs::copy_options::overwrite_existing);
  const std::string expected = Comparable(ReadBytes(kGolden));
  ASSERT_FALSE(expected.empty());
  EXPECT_TRUE(Comparable(ReadBytes(d / "p.gmz")) == expected);
}

TEST(GmzGolden, TheCheckedInArchiveReads) {
  test::ScratchDir dir;
  const fs::path d = dir.fs_path();
  fs::copy_file(kGolden, d / "golden.gmz");  // a path the program under test can take
  const test::GmzRun listed = test::RunGmz(d, {"list", (d / "golden.gmz").u8string(), "--json"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  const nlohmann::json list = nlohmann::json::parse(listed.out);
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

  const test::GmzRun extracted =
      test::RunGmz(d, {"extract", (d / "golden.gmz").u8string(), "-C", (d / "out").u8string()});
  ASSERT_EQ(extracted.status, 0) << extracted.err;
  MakeSource(d / "expected");
  for (const char* path : {"readme.txt", "bin/notes.log", "bin/data.bin", "bin/big.txt"}) {
    EXPECT_TRUE(ReadBytes(d / "out" / path) == ReadBytes(d / "expected" / path)) << path;
  }
}

}  // namespace
}  // namespace Zavro
