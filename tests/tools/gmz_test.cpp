// gmz as a release engineer runs it: exit statuses, messages, JSON, and what it leaves
// on disk.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <set>

#include "archive/archive_test_support.h"
#include "installer/uninstall_record.h"
#include "test_support.h"
#include "tools/pe/pe_image.h"
#include "tools/pe_test_image.h"

namespace Zavro {
namespace {

using test::ReadBytes;
using test::WriteBytes;
namespace fs = test::fs;

struct Result {
  int status;
  std::string out;
  std::string err;
};

class GmzTest : public ::testing::Test {
 protected:
  GmzTest() { fs::create_directory(dir_.fs_path() / "io"); }

  Result Gmz(const std::vector<std::string>& arguments) {
    const fs::path out = dir_.fs_path() / "io" / "out", err = dir_.fs_path() / "io" / "err";
    const int status = test::RunProgram(test::BuiltProgram("tools/gmz/gmz"), arguments, out, err);
    return {status, ReadBytes(out), ReadBytes(err)};
  }
  fs::path Path(const char* relative) const { return dir_.fs_path() / relative; }
  std::string Arg(const char* relative) const { return Path(relative).u8string(); }
  // An archive of one file, `entry`, that holds "abc".
  void WriteOneFile(const char* name, const std::u16string& entry) {
    GMTocNode root(kTocDirectory);
    test::AddFile(root, entry, kTocFile, 3, 0, 0, 3);
    const std::vector<unsigned char> bytes = test::Assemble(root, "abc");
    WriteBytes(Path(name), std::string(bytes.begin(), bytes.end()));
  }

  test::ScratchDir dir_;
};

::testing::AssertionResult Has(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no \"" << part << "\" in: " << text;
}

// Exited with `status` and said `message` on its error output.
::testing::AssertionResult ExitsWith(const Result& r, int status, const std::string& message) {
  if (r.status != status) return ::testing::AssertionFailure() << "status " << r.status << ": " << r.err;
  return Has(r.err, message);
}

TEST_F(GmzTest, ExitStatuses) {
  WriteBytes(Path("not.gmz"), "not an archive");
  const struct {
    std::vector<std::string> arguments;
    int status;
  } cases[] = {
      {{}, 2},
      {{"frob"}, 2},
      {{"pack"}, 2},
      {{"pack", Arg("missing"), "-o", Arg("x.gmz"), "--level", "12"}, 2},
      {{"split", Arg("not.gmz"), "--size", "0"}, 2},
      {{"--version"}, 0},
      {{"pack", Arg("missing"), "-o", Arg("x.gmz")}, 1},
      {{"list", Arg("not.gmz")}, 1},
      {{"test", Arg("missing.gmz")}, 1},
      {{"extract", Arg("not.gmz"), "-C", Arg("out")}, 1},
      {{"reg", "parse", Arg("not.gmz")}, 1},
  };
  for (const auto& c : cases) {
    const Result result = Gmz(c.arguments);
    EXPECT_EQ(result.status, c.status) << result.err;
    if (c.status != 0) {
      EXPECT_FALSE(result.err.empty());  // a failure says why
    }
  }
  EXPECT_FALSE(fs::exists(Path("x.gmz")));
  EXPECT_FALSE(fs::exists(Path("out")));
}

TEST_F(GmzTest, PackListAndTest) {
  fs::create_directories(Path("src/bin"));
  WriteBytes(Path("src/readme.txt"), "hello\n");
  WriteBytes(Path("src/bin/data.txt"), test::Text(20000, 'd'));
  ASSERT_EQ(Gmz({"pack", Arg("src"), "-o", Arg("p.gmz"), "--meta", "gmfolder=Game", "--method-rule", "zip=txt"})
                .status,
            0);
  const Result list = Gmz({"list", Arg("p.gmz"), "--json"});
  ASSERT_EQ(list.status, 0) << list.err;
  const nlohmann::json json = nlohmann::json::parse(list.out);
  EXPECT_EQ(json["version"], 1);
  EXPECT_EQ(json["checksum"], true);
  const nlohmann::json& entries = json["entries"];
  ASSERT_EQ(entries.size(), 4u);
  // Folder items by name, then the metadata: the pairs' count, then UTF-16 key and value.
  EXPECT_EQ(entries[0]["path"], "bin");
  EXPECT_EQ(entries[0]["type"], "directory");
  EXPECT_EQ(entries[1]["path"], "bin\\data.txt");
  EXPECT_EQ(entries[1]["size"], 20000);
  EXPECT_EQ(entries[1]["method"], 1);
  EXPECT_EQ(entries[2]["path"], "readme.txt");
  EXPECT_EQ(entries[3]["path"], "gmmeta");
  EXPECT_EQ(entries[3]["type"], "inline");

  const Result tested = Gmz({"test", Arg("p.gmz")});
  EXPECT_EQ(tested.status, 0) << tested.err;
  EXPECT_TRUE(Has(tested.out, "ok, 2 files and 20006 bytes"));
}

TEST_F(GmzTest, DamageIsFoundBeforeAnythingIsWritten) {
  fs::create_directory(Path("src"));
  WriteBytes(Path("src/a.txt"), test::Text(20000, 'a'));
  WriteBytes(Path("src/b.bin"), test::Text(3000, 'b'));
  ASSERT_EQ(Gmz({"pack", Arg("src"), "-o", Arg("p.gmz"), "--method", "solid", "--method-rule", "store=bin"}).status,
            0);
  const nlohmann::json entries = nlohmann::json::parse(Gmz({"list", Arg("p.gmz"), "--json"}).out)["entries"];
  ASSERT_EQ(entries[1]["path"], "b.bin");
  ASSERT_EQ(entries[1]["method"], 0);
  const std::string sealed = ReadBytes(Path("p.gmz"));
  const size_t solid = entries[0]["offset"], stored = entries[1]["offset"];
  const size_t name = sealed.find(std::string("b\0.\0b\0i\0n\0", 10));
  ASSERT_NE(name, std::string::npos);
  auto changed = [&](size_t at) {
    std::string b = sealed;
    b[at] ^= 0x20;
    return b;
  };
  std::string inserted = sealed;
  inserted.insert(stored + 10, 1, 'x');
  const struct {
    const char* what;
    std::string bytes;
  } damaged[] = {
      {"stored file", changed(stored + 10)},
      {"solid block", changed(solid + 50)},
      {"table", changed(name)},
      {"byte inserted", inserted},
  };
  for (const auto& d : damaged) {
    SCOPED_TRACE(d.what);
    WriteBytes(Path("d.gmz"), d.bytes);
    for (const auto& arguments : {std::vector<std::string>{"test", Arg("d.gmz")},
                                  std::vector<std::string>{"extract", Arg("d.gmz"), "-C", Arg("out")}}) {
      EXPECT_TRUE(ExitsWith(Gmz(arguments), 1, "the package's checksum does not match"));
      EXPECT_FALSE(fs::exists(Path("out")));
    }
  }

  // Without its trailer the package is one made before packages were checked.
  WriteBytes(Path("old.gmz"), sealed.substr(0, sealed.size() - 16));
  EXPECT_TRUE(Has(Gmz({"list", Arg("old.gmz")}).out, "checksum: none"));
  Result result = Gmz({"test", Arg("old.gmz")});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(Has(result.out, "no checksum"));

  // Volumes carry it: the last one ends with it.
  ASSERT_EQ(Gmz({"split", Arg("p.gmz"), "--size", "4000", "-o", Arg("v")}).status, 0);
  result = Gmz({"test", Arg("v"), "--volumes"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(Has(result.out, "checksum matches"));
  std::string volume = ReadBytes(Path("v.part0"));
  volume[volume.size() - 1] ^= 1;
  WriteBytes(Path("v.part0"), volume);
  EXPECT_TRUE(ExitsWith(Gmz({"test", Arg("v"), "--volumes"}), 1, "the package's checksum does not match"));
}

TEST_F(GmzTest, RegParseJson) {
  WriteBytes(Path("a.reg"),
             "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Gm]\r\n\"n\"=dword:0000000a\r\n@=\"x\"\r\n"
             "[-HKLM\\Software\\Old]\r\n");
  const Result result = Gmz({"reg", "parse", Arg("a.reg"), "--json"});
  ASSERT_EQ(result.status, 0) << result.err;
  const nlohmann::json expected = nlohmann::json::parse(R"({"keys": [
      {"root": "HKEY_CURRENT_USER", "path": "Software\\Gm", "delete": false, "subkeys": [], "values": [
          {"name": "n", "type": 4, "delete": false, "data": "0a000000"},
          {"name": "", "type": 1, "delete": false, "data": "78000000"}]},
      {"root": "HKEY_LOCAL_MACHINE", "path": "Software\\Old", "delete": true, "subkeys": [], "values": []}]})");
  EXPECT_EQ(nlohmann::json::parse(result.out), expected);
}

TEST_F(GmzTest, ExtractRefusesWhatWouldLeaveTheFolder) {
  WriteOneFile("absolute.gmz", u"\"C:\\Windows\\x.dll\"");
  WriteOneFile("climbing.gmz", u"\"..\\evil.txt\"");
  WriteOneFile("good.gmz", u"a.txt");
  EXPECT_TRUE(ExitsWith(Gmz({"extract", Arg("absolute.gmz"), "-C", Arg("out")}), 1, "absolute entry name"));
  EXPECT_FALSE(fs::exists(Path("out")));
  EXPECT_TRUE(ExitsWith(Gmz({"extract", Arg("climbing.gmz"), "-C", Arg("out")}), 1, "evil.txt"));
  EXPECT_FALSE(fs::exists(Path("evil.txt")));
  EXPECT_TRUE(fs::is_empty(Path("out")));
  EXPECT_EQ(Gmz({"extract", Arg("good.gmz"), "-C", Arg("out")}).status, 0);
  EXPECT_EQ(ReadBytes(Path("out/a.txt")), "abc");
}

TEST_F(GmzTest, SplitNeverTouchesItsInput) {
  fs::create_directory(Path("src"));
  WriteBytes(Path("src/a.txt"), test::Text(30000, 'a'));
  ASSERT_EQ(Gmz({"pack", Arg("src"), "-o", Arg("v.part1"), "--method", "store"}).status, 0);
  const std::string archive = ReadBytes(Path("v.part1"));

  // Its second volume would be the archive itself.
  EXPECT_TRUE(
      ExitsWith(Gmz({"split", Arg("v.part1"), "--size", "10000", "-o", Arg("v")}), 1, "overwrite the archive itself"));
  EXPECT_EQ(ReadBytes(Path("v.part1")), archive);
  EXPECT_FALSE(fs::exists(Path("v.part0")));

  // One volume, and stale ones from an earlier split up to the archive itself.
  fs::rename(Path("v.part1"), Path("w.part3"));
  WriteBytes(Path("w.part1"), "stale");
  WriteBytes(Path("w.part2"), "stale");
  Result result = Gmz({"split", Arg("w.part3"), "--size", "100000", "-o", Arg("w")});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(Path("w.part0")), archive);
  EXPECT_FALSE(fs::exists(Path("w.part1")));
  EXPECT_FALSE(fs::exists(Path("w.part2")));
  EXPECT_EQ(ReadBytes(Path("w.part3")), archive);

  result = Gmz({"split", Arg("w.part3"), "--size", "10000", "-o", Arg("x")});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::exists(Path("x.part3")));
  result = Gmz({"test", Arg("x"), "--volumes"});
  EXPECT_EQ(result.status, 0) << result.err;
}

TEST_F(GmzTest, RecordShow) {
  UninstallRecord record;
  record.paths = {u"", u"bin\\a.dll"};
  // The record form of one key: HKCU\S with a value "v" of type REG_DWORD.
  const std::string undo = std::string("\x01\0\0\0\x2c\0\0\0\x28\0\0\0\x06\0\0\0", 16) +
                           std::string("H\0K\0C\0U\0\\\0S\0", 12) + std::string("\0\0\0\0\x01\0\0\0", 8) +
                           std::string("\x01\0\0\0v\0\x04\0\x04\0\0\0\x07\0\0\0", 16);
  record.registryUndo.assign(undo.begin(), undo.end());
  record.tasks = {u"run x.exe"};
  record.registryText = {0xFF, 0xFE};
  record.metadata = {{u"gmfolder", u"Game"}};
  ASSERT_TRUE(WriteUninstallRecord(test::SysPath(Path("r.dat")), record));
  const Result shown = Gmz({"record", "show", Arg("r.dat"), "--json"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  const nlohmann::json expected = nlohmann::json::parse(R"({"version": 2, "paths": ["", "bin\\a.dll"],
      "registry_undo": {"keys": [{"root": "HKEY_CURRENT_USER", "path": "S", "delete": false, "subkeys": [],
                                  "values": [{"name": "v", "type": 4, "delete": false, "data": "07000000"}]}]},
      "tasks": ["run x.exe"], "registry_text": "fffe", "metadata": {"gmfolder": "Game"}})");
  EXPECT_EQ(nlohmann::json::parse(shown.out), expected);
  EXPECT_EQ(Gmz({"record", "show", Arg("r.dat")}).status, 0);

  const std::string bytes = ReadBytes(Path("r.dat"));
  WriteBytes(Path("cut.dat"), bytes.substr(0, bytes.size() - 1));
  EXPECT_TRUE(ExitsWith(Gmz({"record", "show", Arg("cut.dat")}), 1, "not an uninstall record"));
}

TEST_F(GmzTest, SfxAssemblesAndRefuses) {
  auto write = [&](const char* name, const std::vector<unsigned char>& bytes) {
    WriteBytes(Path(name), std::string(bytes.begin(), bytes.end()));
  };
  write("stub.exe", pe::MakeTestImage({false, true}));
  write("signed.exe", pe::MakeTestImage({true, true, false, false, true}));
  // Relocations without their directory cannot move: a section would be added.
  std::vector<unsigned char> full = pe::MakeTestImage({false, true, true, true});
  std::fill_n(full.begin() + 0x40 + 24 + 96 + 40, 8, 0);
  write("full.exe", full);
  fs::create_directory(Path("folder"));
  WriteBytes(Path("folder/a.txt"), "alpha");
  ASSERT_EQ(Gmz({"pack", Arg("folder"), "-o", Arg("p.gmz")}).status, 0);
  WriteBytes(Path("not.gmz"), "not an archive");

  Result r = Gmz({"sfx", "--stub", Arg("stub.exe"), "--package", Arg("p.gmz"), "-o", Arg("setup.exe")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "x86 installer"));
  r = Gmz({"sfx", "--info", Arg("setup.exe")});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string shown[] = {
      "PE32 image for x86", "(correct)", "type \"DATA\", name 105, language 0x0804",
      "type 24, name 1, language 0x0409: 12 bytes",
      "package: " + std::to_string(fs::file_size(Path("p.gmz"))) + " bytes, 1 entry, checksum matches"};
  for (const std::string& part : shown) EXPECT_TRUE(Has(r.out, part));
  // The package of an installer damaged after it was made.
  const std::string package = ReadBytes(Path("p.gmz"));
  std::string installer = ReadBytes(Path("setup.exe"));
  const size_t at = installer.find(package);
  ASSERT_NE(at, std::string::npos);
  installer[at + package.size() / 2] ^= 1;
  WriteBytes(Path("damaged-setup.exe"), installer);
  r = Gmz({"sfx", "--info", Arg("damaged-setup.exe")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Has(r.out, "the package's checksum does not match"));
  std::string bad = package;
  bad[package.size() / 2] ^= 1;
  WriteBytes(Path("bad.gmz"), bad);

  // A signature is removed, and said to be.
  r = Gmz({"sfx", "--stub", Arg("signed.exe"), "--package", Arg("p.gmz"), "-o", Arg("signed-setup.exe")});
  EXPECT_TRUE(ExitsWith(r, 0, "signature"));
  EXPECT_TRUE(Has(Gmz({"sfx", "--info", Arg("signed-setup.exe")}).out, "signature: none"));

  // Refusals: the installer already there stays as it was, and nothing else is left.
  const std::string before = ReadBytes(Path("setup.exe"));
  auto names = [&] {
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir_.fs_path())) found.insert(entry.path().filename().u8string());
    return found;
  };
  const std::set<std::string> files = names();
  const struct {
    std::vector<std::string> arguments;
    int status;
    const char* message;
  } refusals[] = {
      {{"sfx", "--stub", Arg("not.gmz"), "--package", Arg("p.gmz"), "-o", Arg("setup.exe")}, 1, "not a PE image"},
      {{"sfx", "--stub", Arg("stub.exe"), "--package", Arg("not.gmz"), "-o", Arg("setup.exe")}, 1,
       "is not a package the installer can read"},
      {{"sfx", "--stub", Arg("stub.exe"), "--package", Arg("bad.gmz"), "-o", Arg("setup.exe")}, 1,
       "the package's checksum does not match"},
      {{"sfx", "--stub", Arg("full.exe"), "--package", Arg("p.gmz"), "-o", Arg("setup.exe")}, 1, "no room"},
      {{"sfx", "--stub", Arg("missing.exe"), "--package", Arg("p.gmz"), "-o", Arg("setup.exe")}, 1, "cannot read"},
      {{"sfx", "--stub", Arg("stub.exe"), "--package", Arg("setup.exe"), "-o", Arg("setup.exe")}, 1,
       "would overwrite the package"},
      {{"sfx", "--info", Arg("not.gmz")}, 1, "not a PE image"},
      {{"sfx", "--stub", Arg("stub.exe")}, 2, "give --package and -o (and --stub), or --info"},
      // The build tree has no share/gmz beside the program.
      {{"sfx", "--package", Arg("p.gmz"), "-o", Arg("setup.exe")}, 1, "no installer stub is installed beside gmz"},
      {{"sfx", "--info", Arg("setup.exe"), "--stub", Arg("stub.exe")}, 2, "excludes"},
  };
  for (const auto& c : refusals) {
    SCOPED_TRACE(c.arguments[1] + " " + c.arguments[2]);
    EXPECT_TRUE(ExitsWith(Gmz(c.arguments), c.status, c.message));
    EXPECT_EQ(ReadBytes(Path("setup.exe")), before);
  }
  EXPECT_EQ(names(), files);
}

}  // namespace
}  // namespace Zavro
