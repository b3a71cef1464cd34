// gmz as a release engineer runs it: exit statuses, messages, JSON, and what it leaves
// on disk.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <set>

#include "archive/archive_test_support.h"
#include "installer/uninstall_record.h"
#include "test_support.h"
#include "tools/tools_test_support.h"

namespace Zavro {
namespace {

using test::ExitsWith;
using test::Prints;
using test::ReadBytes;
using test::WriteBytes;
namespace fs = test::fs;

class GmzTest : public ::testing::Test {
 protected:
  GmzTest() { fs::create_directory(dir_.fs_path() / "io"); }

  // Its output and error go to a folder of their own, so that a test can see every file
  // gmz leaves.
  test::GmzRun Gmz(const std::vector<std::string>& arguments) { return test::RunGmz(dir_.fs_path() / "io", arguments); }
  fs::path Path(const char* relative) const { return dir_.fs_path() / relative; }
  std::string Arg(const char* relative) const { return Path(relative).u8string(); }
  // gmz sfx of `stub` and `package` into `output`.
  std::vector<std::string> Sfx(const char* stub, const char* package, const char* output = "setup.exe") const {
    return {"sfx", "--stub", Arg(stub), "--package", Arg(package), "-o", Arg(output)};
  }
  void Write(const char* name, const std::vector<unsigned char>& bytes) {
    WriteBytes(Path(name), std::string(bytes.begin(), bytes.end()));
  }
  // An archive of one file, `entry`, that holds "abc".
  void WriteOneFile(const char* name, const std::u16string& entry) {
    GMTocNode root(kTocDirectory);
    test::AddFile(root, entry, kTocFile, 3, 0, 0, 3);
    Write(name, test::Assemble(root, "abc"));
  }

  test::ScratchDir dir_;
};

// A package damaged in a stored file, in the solid block, in its table or by a byte
// inserted: test and extract say so and write nothing.
TEST_F(GmzTest, DamageIsFoundBeforeAnythingIsWritten) {
  fs::create_directory(Path("src"));
  WriteBytes(Path("src/a.txt"), test::Text(20000, 'a'));
  WriteBytes(Path("src/b.bin"), test::Text(3000, 'b'));
  ASSERT_EQ(Gmz({"pack", Arg("src"), "-o", Arg("p.gmz"), "--method", "solid", "--method-rule", "store=bin"}).status, 0);
  EXPECT_TRUE(Prints(Gmz({"test", Arg("p.gmz")}), "ok, 2 files and 23000 bytes"));
  const nlohmann::json list = nlohmann::json::parse(Gmz({"list", Arg("p.gmz"), "--json"}).out);
  EXPECT_EQ(list["version"], 1);
  EXPECT_EQ(list["checksum"], true);
  const nlohmann::json& entries = list["entries"];
  ASSERT_EQ(entries[1]["path"], "b.bin");
  ASSERT_EQ(entries[1]["method"], 0);
  EXPECT_EQ(entries[1]["size"], 3000);
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
  EXPECT_TRUE(Prints(Gmz({"list", Arg("old.gmz")}), "checksum: none"));
  EXPECT_TRUE(Prints(Gmz({"test", Arg("old.gmz")}), "no checksum"));

  // Volumes carry it: the last one ends with it.
  ASSERT_EQ(Gmz({"split", Arg("p.gmz"), "--size", "4000", "-o", Arg("v")}).status, 0);
  EXPECT_TRUE(Prints(Gmz({"test", Arg("v"), "--volumes"}), "checksum matches"));
  std::string volume = ReadBytes(Path("v.part0"));
  volume[volume.size() - 1] ^= 1;
  WriteBytes(Path("v.part0"), volume);
  EXPECT_TRUE(ExitsWith(Gmz({"test", Arg("v"), "--volumes"}), 1, "the package's checksum does not match"));
}

TEST_F(GmzTest, SplitNeverTouchesItsInput) {
  fs::create_directory(Path("src"));
  WriteBytes(Path("src/a.txt"), test::Text(30000, 'a'));
  ASSERT_EQ(Gmz({"pack", Arg("src"), "-o", Arg("v.part1"), "--method", "store"}).status, 0);
  const std::string archive = ReadBytes(Path("v.part1"));

  // Its second volume would be the archive itself.
  EXPECT_TRUE(
      ExitsWith(Gmz({"split", Arg("v.part1"), "--size", "10000", "-o", Arg("v")}), 1, "overwrite the archive itself"));
  EXPECT_FALSE(fs::exists(Path("v.part0")));

  // One volume, and stale ones from an earlier split up to the archive itself.
  fs::rename(Path("v.part1"), Path("w.part3"));
  WriteBytes(Path("w.part1"), "stale");
  WriteBytes(Path("w.part2"), "stale");
  EXPECT_TRUE(ExitsWith(Gmz({"split", Arg("w.part3"), "--size", "100000", "-o", Arg("w")}), 0, ""));
  EXPECT_EQ(ReadBytes(Path("w.part0")), archive);
  EXPECT_FALSE(fs::exists(Path("w.part1")));
  EXPECT_FALSE(fs::exists(Path("w.part2")));
  EXPECT_EQ(ReadBytes(Path("w.part3")), archive);
}

// A registry text and an uninstall record, as JSON; a record cut short is refused.
TEST_F(GmzTest, RegParseAndRecordShow) {
  WriteBytes(Path("a.reg"),
             "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Gm]\r\n\"n\"=dword:0000000a\r\n@=\"x\"\r\n"
             "[-HKLM\\Software\\Old]\r\n");
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
  const struct {
    std::vector<std::string> arguments;
    const char* json;
  } cases[] = {
      {{"reg", "parse", Arg("a.reg"), "--json"}, R"({"keys": [
          {"root": "HKEY_CURRENT_USER", "path": "Software\\Gm", "delete": false, "subkeys": [], "values": [
              {"name": "n", "type": 4, "delete": false, "data": "0a000000"},
              {"name": "", "type": 1, "delete": false, "data": "78000000"}]},
          {"root": "HKEY_LOCAL_MACHINE", "path": "Software\\Old", "delete": true, "subkeys": [], "values": []}]})"},
      {{"record", "show", Arg("r.dat"), "--json"}, R"({"version": 2, "paths": ["", "bin\\a.dll"],
          "registry_undo": {"keys": [{"root": "HKEY_CURRENT_USER", "path": "S", "delete": false, "subkeys": [],
                                      "values": [{"name": "v", "type": 4, "delete": false, "data": "07000000"}]}]},
          "tasks": ["run x.exe"], "registry_text": "fffe", "metadata": {"gmfolder": "Game"}})"},
  };
  for (const auto& c : cases) {
    const test::GmzRun shown = Gmz(c.arguments);
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(nlohmann::json::parse(shown.out), nlohmann::json::parse(c.json));
  }
  EXPECT_EQ(Gmz({"record", "show", Arg("r.dat")}).status, 0);
  const std::string bytes = ReadBytes(Path("r.dat"));
  WriteBytes(Path("cut.dat"), bytes.substr(0, bytes.size() - 1));
  EXPECT_TRUE(ExitsWith(Gmz({"record", "show", Arg("cut.dat")}), 1, "not an uninstall record"));
}

TEST_F(GmzTest, SfxAssemblesAndRefuses) {
  Write("stub.exe", pe::MakeTestImage({false, true}));
  Write("signed.exe", pe::MakeTestImage({true, true, false, false, true}));
  fs::create_directory(Path("folder"));
  WriteBytes(Path("folder/a.txt"), "alpha");
  ASSERT_EQ(Gmz({"pack", Arg("folder"), "-o", Arg("p.gmz")}).status, 0);
  WriteBytes(Path("not.gmz"), "not an archive");

  ASSERT_TRUE(Prints(Gmz(Sfx("stub.exe", "p.gmz")), "x86 installer"));
  test::GmzRun r = Gmz({"sfx", "--info", Arg("setup.exe")});
  const std::string shown[] = {
      "PE32 image for x86", "(correct)", "type \"DATA\", name 105, language 0x0804",
      "type 24, name 1, language 0x0409: 12 bytes",
      "package: " + std::to_string(fs::file_size(Path("p.gmz"))) + " bytes, 1 entry, checksum matches"};
  for (const std::string& part : shown) EXPECT_TRUE(Prints(r, part));
  // The package damaged, and an installer whose package was damaged after it was made.
  const std::string package = ReadBytes(Path("p.gmz"));
  std::string bad = package, installer = ReadBytes(Path("setup.exe"));
  bad[package.size() / 2] ^= 1;
  WriteBytes(Path("bad.gmz"), bad);
  const size_t at = installer.find(package);
  ASSERT_NE(at, std::string::npos);
  WriteBytes(Path("damaged-setup.exe"), installer.replace(at, package.size(), bad));
  r = Gmz({"sfx", "--info", Arg("damaged-setup.exe")});
  EXPECT_TRUE(test::Says(r, 1, r.out, "the package's checksum does not match"));

  // A signature is removed, and said to be.
  EXPECT_TRUE(ExitsWith(Gmz(Sfx("signed.exe", "p.gmz", "signed-setup.exe")), 0, "signature"));
  EXPECT_TRUE(Prints(Gmz({"sfx", "--info", Arg("signed-setup.exe")}), "signature: none"));

  // Refusals, of sfx and of every other command: the exit status, a message, the
  // installer already there as it was, and nothing else left; names that would leave the
  // folder extract nothing, in it or outside.
  WriteOneFile("absolute.gmz", u"\"C:\\Windows\\x.dll\"");
  WriteOneFile("climbing.gmz", u"\"..\\evil.txt\"");
  fs::create_directory(Path("empty"));
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
    const char* message = "";
  } refusals[] = {
      {Sfx("not.gmz", "p.gmz"), 1, "not a PE image"},
      {Sfx("stub.exe", "not.gmz"), 1, "is not a package the installer can read"},
      {Sfx("stub.exe", "bad.gmz"), 1, "the package's checksum does not match"},
      {Sfx("missing.exe", "p.gmz"), 1, "cannot read"},
      {Sfx("stub.exe", "setup.exe"), 1, "would overwrite the package"},
      {{"sfx", "--info", Arg("not.gmz")}, 1, "not a PE image"},
      {{"sfx", "--stub", Arg("stub.exe")}, 2, "give --package and -o (and --stub), or --info"},
      // The build tree has no share/gmz beside the program.
      {{"sfx", "--package", Arg("p.gmz"), "-o", Arg("setup.exe")}, 1, "no installer stub is installed beside gmz"},
      {{"sfx", "--info", Arg("setup.exe"), "--stub", Arg("stub.exe")}, 2, "excludes"},
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
      {{"extract", Arg("absolute.gmz"), "-C", Arg("out")}, 1, "absolute entry name"},
      {{"extract", Arg("climbing.gmz"), "-C", Arg("empty")}, 1, "evil.txt"},
  };
  for (const auto& c : refusals) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    const test::GmzRun result = Gmz(c.arguments);
    EXPECT_TRUE(ExitsWith(result, c.status, c.message));
    EXPECT_TRUE(c.status == 0 || !result.err.empty());  // a failure says why
    EXPECT_EQ(ReadBytes(Path("setup.exe")), before);
  }
  EXPECT_EQ(names(), files);
  EXPECT_TRUE(fs::is_empty(Path("empty")));
}

}  // namespace
}  // namespace Zavro
