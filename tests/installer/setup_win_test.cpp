// The installer end to end under Wine: packages built here with the writer, made into
// setup.exe from setup-stub.exe as `gmz sfx` makes it, and run as the player would run
// them: into the 32-bit program-files folder, with the registry, tasks and uninstall
// record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "archive/archive_test_support.h"
#include "archive/gmz_format.h"
#include "archive/packer_policy.h"
#include "archive/unpacker.h"
#include "installer/folder_macros.h"
#include "installer/install_test_support.h"
#include "installer/setup_entry.h"
#include "installer/uninstall_record.h"
#include "registry/reg_key.h"
#include "registry/reg_win_test_support.h"
#include "system/change_seam.h"
#include "system/client_window_support.h"
#include "system/file_system.h"
#include "system/format.h"
#include "system/path_text.h"
#include "system/shortcut.h"
#include "system/known_folders.h"
#include "system/string_utils.h"
#include "system/system_error.h"
#include "system/windows_support.h"
#include "test_support.h"
#include "tools/pe/pe_image.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using Bytes = std::vector<unsigned char>;
using Paths = std::vector<std::u16string>;
using test::ReadBytes;
using test::WriteBytes;

std::u16string Unique() {
  static int count = 0;
  return test::Decimal(GetCurrentProcessId()) + u"_" + test::Decimal(GetTickCount64() % 1000000) + u"_" +
         test::Decimal(++count);
}

std::string Narrow(const std::u16string& text) { return test::Utf8(text); }

// Little-endian bytes of the forms the installer writes, put together by hand.
void PutU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void PutUnits(Bytes& out, const std::u16string& text) {
  for (char16_t unit : text) {
    out.push_back(static_cast<unsigned char>(unit));
    out.push_back(static_cast<unsigned char>(unit >> 8));
  }
}

// One client package: programs, data, registry text, tasks, a shortcut and metadata.
struct Package {
  std::u16string folder;   // "gmfolder"
  std::u16string appData;  // the folder below the user's application data
  std::u16string regKey;   // below HKEY_CURRENT_USER
  std::u16string dir;      // the source folder
  std::string readme = "read me first\r\n";
  std::string data, tasks;
  Bytes regText, bytes;
};

Package MakePackage(const test::ScratchDir& scratch, const std::u16string& checkCode = u"0",
                    size_t dataSize = 300000, const std::u16string& extraRegistry = u"") {
  Package p;
  p.data = test::Noise(dataSize, 12345);  // the solid block is as long as the data
  const std::u16string unique = Unique();
  p.folder = p.appData = u"GmSetupTest" + unique;
  p.regKey = u"Software\\GmTest\\Setup" + unique;
  p.dir = scratch.Join(u"src" + unique);
  // Registry text in UTF-16 with its mark; the install folder in a REG_SZ and a
  // REG_EXPAND_SZ.
  std::u16string reg = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + p.regKey +
                       u"]\r\n\"Path\"=\"##install##\"\r\n\"Exe\"=hex(2):";
  for (char16_t unit : std::u16string(u"##install##\\bin\\game.exe")) {
    reg += FormatString(u"%02x,00,", static_cast<uint32_t>(unit));
  }
  reg += u"00,00\r\n" + extraRegistry;
  p.regText = {0xFF, 0xFE};
  PutUnits(p.regText, reg);
  p.tasks = "CreateShortCut \"##install##\\Game Link\" \"##install##\\bin\\game.exe\"\r\n"
            "ini WriteINIStr \"##install##\\game.ini\" Client Path \"##install##\"\r\n"
            "runcheck " + Narrow(checkCode) + " \"##install##\\bin\\game.exe\" 0\r\n"
            "start \"##install##\\bin\\game.exe\" 3\r\n";
  const fs::path src = test::FsPath(p.dir);
  test::WriteFiles(src, {{"##install##/bin/game.exe", ReadBytes(test::BuiltProgram("tests/gm_exit_with"))},
                         {"##install##/bin/data.bin", p.data},
                         {"##install##/readme.txt", p.readme},
                         {"##my_appdata##/" + Narrow(p.appData) + "/save.dat", "saved"},
                         {"##reg##.reg", std::string(p.regText.begin(), p.regText.end())},
                         {"##tasks##.txt", p.tasks}});
  SetPathAttributes(test::SysPath(src / "##install##" / "readme.txt"), kFileAttributeReadonly);
  // A shortcut written against the placeholder folder, as release engineers make them.
  EXPECT_TRUE(CreateShellLink(u"Z:\\##install##\\bin\\game.exe", u"-play", u"Play",
                              p.dir + u"\\##install##\\links\\Game.lnk", u"", 0, nullptr));
  const std::string bytes =
      test::PackFolder(src, MetadataPairs{{u"gmexe", u"##install##\\bin\\game.exe"}, {u"gmfolder", p.folder}});
  p.bytes.assign(bytes.begin(), bytes.end());
  return p;
}

// setup.exe: the stub with the package as its resource "DATA" 105, assembled as
// `gmz sfx` assembles it.
fs::path MakeSetup(const test::ScratchDir& scratch, const Bytes& package, const char* name = "setup.exe") {
  const fs::path setup = scratch.fs_path() / name;
  const std::string stub = ReadBytes(test::BuiltProgram("tools/gmz/setup-stub"));
  Bytes out;
  std::string error;
  EXPECT_TRUE(pe::AssembleSfx(reinterpret_cast<const unsigned char*>(stub.data()), stub.size(), package.data(),
                              package.size(), out, error))
      << error;
  WriteBytes(setup, std::string(out.begin(), out.end()));
  return setup;
}

int RunSetupProgram(const test::ScratchDir& scratch, const fs::path& setup) {
  return test::RunProgram(setup, {}, scratch.fs_path() / "out.txt", scratch.fs_path() / "err.txt");
}

class Messages : public SetupMessages {
 public:
  void Show(const std::u16string& text, const std::u16string& caption) override {
    shown.push_back(text);
    EXPECT_EQ(caption, u"安装错误");
  }
  std::vector<std::u16string> shown;
};

std::u16string ProgramFiles() { return SpecialFolderPath(kCsidlProgramFilesX86); }

// A package with "a.txt" in its install folder and `files` beside it, "gmfolder" set to
// `folder`.
std::string SmallPackage(const test::ScratchDir& scratch, const std::u16string& folder, test::Files files = {}) {
  files["##install##/a.txt"] = "a";
  return test::PackFiles(scratch.fs_path() / ("src" + Narrow(Unique())), files, MetadataPairs{{u"gmfolder", folder}});
}

// What a test installs goes at the end, whatever happened.
struct Cleanup {
  explicit Cleanup(const Package& p) : package(p) {}
  ~Cleanup() {
    DeleteTree(JoinPath(ProgramFiles(), package.folder));
    DeleteTree(JoinPath(AppDataPath(), package.appData));
    RegDeleteTreeW(HKEY_CURRENT_USER, W(package.regKey));
    RegDeleteKeyW(HKEY_CURRENT_USER, W(package.regKey));
  }
  const Package& package;
};

// The installer's name every run leaves goes at the end of each test.
class SetupWin : public ::testing::Test {
 protected:
  void TearDown() override { RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Lunefa", L"SetupName"); }
};

// A value below HKEY_CURRENT_USER as the system reads it: a REG_SZ's text, else its type.
std::u16string RegText(const std::u16string& key, const std::u16string& name) {
  wchar_t text[1024] = {};
  DWORD type = 0, size = sizeof text - sizeof text[0];
  if (RegGetValueW(HKEY_CURRENT_USER, W(key), W(name), RRF_RT_ANY | RRF_NOEXPAND, &type, text, &size) !=
      ERROR_SUCCESS) {
    return u"<missing>";
  }
  return type == REG_SZ ? U16(text) : u"<type " + test::Decimal(type) + u">";
}

// The names in a folder, sorted.
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(folder)) names.push_back(item.path().filename().u8string());
  std::sort(names.begin(), names.end());
  return names;
}

// Whether the system deletes `path` at the next restart (PendingFileRenameOperations).
bool ScheduledForRestart(const std::u16string& path) {
  GMRegKeyHandle session;
  GMRegValueRecord pending;
  if (!session.OpenKey(RootKey(kHKeyLocalMachine), u"System\\CurrentControlSet\\Control\\Session Manager", kKeyRead,
                       false) ||
      !session.QueryValue(u"PendingFileRenameOperations", pending)) {
    return false;
  }
  for (const std::u16string& item : pending.strings) {
    if (EndsWithNoCase(item, path)) return true;
  }
  return false;
}

// The folders a program of the installer's own bitness gets: for the shipped 32-bit
// installer on a 64-bit system, "Program Files (x86)" for ##program_files##, and a file
// for ##windows##\System32 lands where the system redirects a 32-bit program's writes
// (SysWOW64). The uninstall record names the paths as the installer used them, so that
// an uninstall of the same bitness finds them again; a folder beside the install folder
// whose name starts with the install folder's is no part of it, and is named whole too.
TEST_F(SetupWin, MacroFoldersAsTheProgramSeesThem) {
  const bool wow64 = sizeof(void*) == 4;  // the test runs on a 64-bit system
  test::ScratchDir scratch;
  const std::u16string unique = u"GmFolders" + Unique();
  const std::u16string shared = unique + u"Shared";
  const std::u16string systemFile = unique + u".txt";
  // The install goes beside the application-data folder, named as it is but for its
  // last letter: "...\AppData\Roamin" beside "...\AppData\Roaming".
  const std::u16string appData = AppDataPath();
  const std::u16string install = appData.substr(0, appData.size() - 1);
  ASSERT_FALSE(PathExists(install));
  const std::string bytes = SmallPackage(scratch, FileNamePart(install),
                                         {{"##windows##/System32/" + Narrow(systemFile), "system"},
                                          {"##program_files##/" + Narrow(shared) + "/b.txt", "b"},
                                          {"##my_appdata##/" + Narrow(unique) + "/b.txt", "b"}});

  wchar_t buffer[MAX_PATH] = {};
  ASSERT_NE(GetWindowsDirectoryW(buffer, MAX_PATH), 0u);
  const std::u16string windows = U16(buffer);
  // The folders as the system itself names them, whatever this program's bitness.
  const std::u16string realSystem32 = JoinPath(windows, wow64 ? u"Sysnative" : u"System32");
  const std::u16string sysWow64 = JoinPath(windows, u"SysWOW64");
  const std::u16string programFiles = SpecialFolderPath(38);
  EXPECT_EQ(FileNamePart(ProgramFiles()), u"Program Files (x86)");
  EXPECT_EQ(FileNamePart(programFiles), wow64 ? u"Program Files (x86)" : u"Program Files");

  SetupOptions options;
  options.targetRoot = DirectoryPart(install);
  Messages messages;
  ASSERT_EQ(RunSetup(bytes.data(), bytes.size(), messages, options), 0);
  EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(wow64 ? sysWow64 : realSystem32, systemFile))), "system");
  EXPECT_FALSE(PathExists(JoinPath(wow64 ? realSystem32 : sysWow64, systemFile)));
  EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(programFiles, shared + u"\\b.txt"))), "b");
  if (wow64) {
    EXPECT_FALSE(PathExists(JoinPath(ExpandEnvironment(u"%ProgramW6432%"), shared)));
  }

  UninstallRecord record;
  ASSERT_TRUE(ReadUninstallRecord(JoinPath(install, u"RORarezoru.dat"), record));
  const std::u16string usedSystem32 = JoinPath(windows, u"System32");
  const std::u16string sibling = JoinPath(appData, unique);
  // In the order of the package's tree, which the test does not fix.
  auto folded = [](Paths paths) {
    for (std::u16string& path : paths) ToLowerInPlace(path);
    std::sort(paths.begin(), paths.end());
    return paths;
  };
  EXPECT_EQ(folded(record.paths),
            folded({u"", u"a.txt", JoinPath(programFiles, shared), JoinPath(programFiles, shared + u"\\b.txt"),
                    JoinPath(usedSystem32, systemFile), sibling, JoinPath(sibling, u"b.txt")}));
  DeleteTree(install);
  DeleteTree(sibling);
  DeleteTree(JoinPath(programFiles, shared));
  DeleteFileForced(JoinPath(usedSystem32, systemFile));
}

// "gmfolder" may name its folder through a built-in macro, or whole, or be empty for the
// target root itself; what no install may use is refused before anything is written.
TEST_F(SetupWin, InstallFolderFromTheMetadata) {
  test::ScratchDir scratch;
  const std::u16string unique = Unique();
  const std::u16string whole = JoinPath(test::SysPath(scratch.fs_path()), u"Whole\\Game");
  const std::u16string root = scratch.Join(u"Root");
  const FolderMacros macros;
  const struct {
    std::u16string value, targetRoot, install;
  } accepted[] = {
      {u"##program_files##\\GmPF" + unique, u"", macros.ExpandMacros(u"##program_files##\\GmPF" + unique)},
      {u"##my_doc##\\GmDoc" + unique, u"", macros.ExpandMacros(u"##my_doc##\\GmDoc" + unique)},
      {whole, u"", whole},
      {u"", root + u"\\", root},
  };
  for (const auto& c : accepted) {
    SCOPED_TRACE(Narrow(c.value));
    ASSERT_TRUE(IsAbsolutePath(c.install)) << Narrow(c.install);
    SetupOptions options;
    options.targetRoot = c.targetRoot;
    const std::string bytes = SmallPackage(scratch, c.value);
    Messages messages;
    EXPECT_EQ(RunSetup(bytes.data(), bytes.size(), messages, options), 0);
    EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(c.install, u"a.txt"))), "a");
    EXPECT_TRUE(PathExists(JoinPath(c.install, u"RORarezoru.dat")));
    DeleteTree(c.install);
  }
  // Refused with the folder it names and error 123; nothing is written.
  const std::u16string target = scratch.Join(u"Target");
  const struct {
    std::u16string value, folder;
  } refused[] = {
      {u"..\\Escape", JoinPath(target, u"..\\Escape")},
      {u"a\\.\\b", JoinPath(target, u"a\\.\\b")},
      {u"a<b", JoinPath(target, u"a<b")},
      {u"C:\\", u"C:"},
      {u"\\\\server\\share", u"\\\\server\\share"},
      {u"##windows##", macros.LookupMacro(u"windows")},
      {u"##program_files##", macros.LookupMacro(u"program_files")},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(Narrow(c.value));
    SetupOptions options;
    options.targetRoot = target;
    const std::string bytes = SmallPackage(scratch, c.value);
    Messages messages;
    EXPECT_EQ(RunSetup(bytes.data(), bytes.size(), messages, options), -1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(test::StartsWithText(messages.shown[0], u"安装失败:文件(" + c.folder + u")创建错误,错误码:123"))
        << Narrow(messages.shown[0]);
    EXPECT_FALSE(PathExists(target));
    EXPECT_FALSE(PathExists(scratch.Join(u"Escape")));
  }
}

// What only Windows has in the picture, failed at every change: registry values changed,
// a key created right below a root, a tree deleted, a profile file and a shortcut that
// tasks change, files in macro folders, a program that runs. After each failure the
// files and the registry are as they were.
TEST_F(SetupWin, AFailureAtAnyChangeLeavesTheMachineAsItWas) {
  test::ScratchDir scratch;
  const std::u16string unique = u"GmJournal" + Unique();
  const std::u16string key = u"Software\\GmTest\\" + unique;
  const std::u16string top = unique + u"Top";
  const std::string name = Narrow(unique);
  FolderMacros macros;
  const std::u16string appData = JoinPath(macros.LookupMacro(u"my_appdata"), unique);
  const std::u16string desktopLink = JoinPath(macros.LookupMacro(u"my_desktop"), unique + u".lnk");
  const std::u16string install = JoinPath(ProgramFiles(), unique);

  // What the machine holds before.
  auto prepare = [&] {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, W(key + u"\\Tree\\A"), L"x", REG_SZ, L"1", 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, W(key), L"v", REG_SZ, L"old", 8), ERROR_SUCCESS);
    test::WriteFiles(test::FsPath(appData), {{"config.ini", "[S]\r\nk=old\r\n"}, {"old/a.txt", "a"}});
    ASSERT_TRUE(CreateShellLink(u"C:\\old.exe", u"", u"", desktopLink, u"", 0, nullptr));
  };
  // What the run made and the test's own, gone.
  auto clear = [&] {
    for (const std::u16string& created : {top, key}) {
      RegDeleteTreeW(HKEY_CURRENT_USER, W(created));
      RegDeleteKeyW(HKEY_CURRENT_USER, W(created));
    }
    DeleteTree(install);
    DeleteTree(appData);
    DeleteFileForced(desktopLink);
  };
  ASSERT_NO_FATAL_FAILURE(prepare());

  const std::string reg = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + Narrow(key) + "]\r\n\"v\"=\"new\"\r\n"
                          "[-HKEY_CURRENT_USER\\" + Narrow(key) + "\\Tree]\r\n"
                          "[HKEY_CURRENT_USER\\" + Narrow(top) + "]\r\n\"Path\"=\"##install##\"\r\n";
  const std::string tasks = "ini WriteINIStr \"##my_appdata##\\" + name + "\\config.ini\" S k new\r\n"
                            "ini WriteINIStr \"##install##\\game.ini\" Client Path \"##install##\"\r\n"
                            "CreateShortCut \"##my_desktop##\\" + name + "\" \"##install##\\bin\\game.exe\"\r\n"
                            "DeleteFile \"##my_appdata##\\" + name + "\\old\"\r\n"
                            "runcheck 0 \"##install##\\bin\\game.exe\" 0\r\n";
  const std::string bytes =
      SmallPackage(scratch, unique,
                   {{"##install##/bin/game.exe", ReadBytes(test::BuiltProgram("tests/gm_exit_with"))},
                    {"##my_appdata##/" + name + "/save.dat", "saved"},
                    {"##reg##.reg", reg},
                    {"##tasks##.txt", tasks}});
  auto machine = [&] {
    return test::DumpKey(HKEY_CURRENT_USER, key) + "|" + test::DumpKey(HKEY_CURRENT_USER, top) + "|" +
           ReadBytes(test::FsPath(desktopLink)) + "|" +
           test::DumpFolders({test::FsPath(install), test::FsPath(appData)});
  };
  const std::string before = machine();

  uint64_t n = 1;
  for (;; ++n) {
    FailNthChange(n, n % 2 == 1 ? kErrorWriteFault : kErrorDiskFull);
    Messages messages;
    const int result = RunSetup(bytes.data(), bytes.size(), messages);
    const bool failed = InjectedFailureHappened();
    FailNthChange(0, 0);
    if (!failed) {
      ASSERT_EQ(result, 0) << (messages.shown.empty() ? "" : Narrow(messages.shown[0]));
      break;
    }
    if (result != 0) {
      ASSERT_EQ(machine(), before) << "change " << n << ": " << Narrow(messages.shown[0]);
      continue;
    }
    // Survived (a time, a commit's deletion): back to the machine as it was.
    clear();
    prepare();
    ASSERT_EQ(machine(), before);
  }
  std::printf("a failure at each of %u changes\n", static_cast<unsigned>(n - 1));
  // The run that went through changed everything it was asked to.
  EXPECT_EQ(RegText(key, u"v"), u"new");
  EXPECT_EQ(RegText(top, u"Path"), install);
  EXPECT_EQ(test::DumpKey(HKEY_CURRENT_USER, key + u"\\Tree"), "<missing>");
  EXPECT_EQ(ReadIniString(JoinPath(appData, u"config.ini"), u"S", u"k", u""), u"new");
  ShortcutInfo link;
  EXPECT_TRUE(ReadShortcut(desktopLink, link));
  EXPECT_EQ(link.target, JoinPath(install, u"bin\\game.exe"));
  EXPECT_FALSE(PathExists(JoinPath(appData, u"old")));
  clear();
}

// The installers the build makes around a package file.
TEST_F(SetupWin, BuiltInstallers) {
  test::ScratchDir scratch;
  const std::u16string install = JoinPath(ProgramFiles(), u"GmSetupHello");
  DeleteTree(install);
  EXPECT_EQ(RunSetupProgram(scratch, test::BuiltProgram("tests/gm_setup_hello")), 0);
  EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(install, u"hello.txt"))), "hello from the package\r\n");
  EXPECT_TRUE(fs::exists(test::FsPath(JoinPath(install, u"RORarezoru.dat"))));
  DeleteTree(install);
  // Without a package, or with an empty one, nothing happens and the program fails.
  EXPECT_EQ(RunSetupProgram(scratch, test::BuiltProgram("tests/gm_setup_empty")), -1);
  EXPECT_EQ(RunSetupProgram(scratch, test::BuiltProgram("tools/gmz/setup-stub")), -1);
}

// A package of three kinds of bytes to damage: "a.txt" in the solid block, "b.bin"
// stored, and the table; and a registry value. Where each lies, from its table.
struct CheckedPackage {
  explicit CheckedPackage(const test::ScratchDir& scratch) {
    const fs::path src = scratch.fs_path() / ("src" + Narrow(Unique()));
    test::WriteFiles(src,
                     {{"##install##/a.txt", std::string(20000, 'a')},
                      {"##install##/b.bin", test::Noise(5000, 12345)},
                      {"##reg##.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + Narrow(key) + "]\r\n\"v\"=\"1\"\r\n"}});
    const std::string read = test::PackFolder(src, MetadataPairs{{u"gmfolder", folder}}, [](GMPacker& packer) {
      auto policy = std::make_shared<GMFilePolicy>();
      policy->AddMethodRule(kMethodStored, u".bin");
      packer.SetPolicy(policy);
      packer.SetDefaultMethod(kMethodSolid);
    });
    bytes.assign(read.begin(), read.end());

    GMUnpacker reader(test::SysPath(test::PackagePath(src)));
    EXPECT_TRUE(reader.Open(false));
    std::vector<const GMTocNode*> pending{&reader.Root()};
    while (!pending.empty()) {
      const GMTocNode* e = pending.back();
      pending.pop_back();
      if (e->name == u"b.bin") stored = e->dataOffset;
      if (e->method == kMethodSolid && e->compressedSize != 0) solid = e->dataOffset;
      for (const auto& c : e->children) pending.push_back(c.get());
    }
    const std::string name("b\0.\0b\0i\0n\0", 10);  // as the table holds it
    table = std::search(bytes.begin(), bytes.end(), name.begin(), name.end()) - bytes.begin();
    EXPECT_NE(stored * solid, 0u);
    EXPECT_LT(table, reader.TocSize() + 8u);
  }
  ~CheckedPackage() {
    DeleteTree(JoinPath(ProgramFiles(), folder));
    RegDeleteKeyW(HKEY_CURRENT_USER, W(key));
  }
  Bytes Damaged(size_t at) const {
    Bytes damaged = bytes;
    damaged[at] ^= 0x20;
    return damaged;
  }
  bool Installed() const { return fs::exists(test::FsPath(JoinPath(ProgramFiles(), folder))); }

  const std::u16string folder = u"GmSetupTest" + Unique();
  const std::u16string key = u"Software\\GmTest\\Setup" + folder;
  Bytes bytes;
  size_t stored = 0, solid = 0, table = 0;
};

TEST_F(SetupWin, ADamagedPackageChangesNothing) {
  test::ScratchDir scratch;
  CheckedPackage p(scratch);
  for (const auto& [what, at] : {std::pair<const char*, size_t>{"stored file", p.stored + 100},
                                 {"solid block", p.solid + 20},
                                 {"table", p.table}}) {
    SCOPED_TRACE(what);
    EXPECT_EQ(RunSetupProgram(scratch, MakeSetup(scratch, p.Damaged(at), "damaged.exe")), -1);
    EXPECT_FALSE(p.Installed());
    EXPECT_EQ(RegText(p.key, u"v"), u"<missing>");
  }
  // Undamaged it installs; so does the package as it was made before packages were
  // checked.
  EXPECT_EQ(RunSetupProgram(scratch, MakeSetup(scratch, p.bytes)), 0);
  EXPECT_EQ(RegText(p.key, u"v"), u"1");
  DeleteTree(JoinPath(ProgramFiles(), p.folder));
  const Bytes old(p.bytes.begin(), p.bytes.end() - kGmzTrailerSize);
  EXPECT_EQ(RunSetupProgram(scratch, MakeSetup(scratch, old, "old.exe")), 0);
  EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(ProgramFiles(), p.folder + u"\\a.txt"))), std::string(20000, 'a'));
}

// The damage is found before the client's windows are closed: a damaged installer
// leaves a running client alone, with the reader's message at the package's size.
TEST(DisplayWin, ADamagedInstallerLeavesTheClientRunning) {
  test::ScratchDir scratch;
  CheckedPackage p(scratch);
  test::ClientWindow client(ClientWindowClass(), u"close 0");
  ASSERT_NE(client.window(), nullptr);
  const Bytes damaged = p.Damaged(p.stored + 100);
  Messages shown;
  EXPECT_EQ(RunSetup(damaged.data(), damaged.size(), shown), -1);
  EXPECT_EQ(shown.shown, std::vector<std::u16string>{test::U(("安装失败:数据处理错误，偏移:" + std::to_string(damaged.size())).c_str())});
  EXPECT_FALSE(client.Ended());
  EXPECT_FALSE(p.Installed());
  Messages none;
  EXPECT_EQ(RunSetup(p.bytes.data(), p.bytes.size(), none), 0);
  EXPECT_TRUE(client.Ended());
}

// Failures the run finds itself: its one message, and nothing of the package on the
// machine.
TEST_F(SetupWin, FailuresLeaveTheMachineAsItWas) {
  test::ScratchDir scratch;
  Messages messages;
  EXPECT_EQ(RunSetup(nullptr, 0, messages), -1);
  EXPECT_EQ(messages.shown, std::vector<std::u16string>{u"读取安装包资源出错，请重新获取安装包。"});

  test::VolatileKey volatileKey;
  Package damaged = MakePackage(scratch, u"0", 4000000);
  Package lasting = MakePackage(scratch, u"0", 1000,
                                u"\r\n[HKEY_CURRENT_USER\\" + volatileKey.path() + u"\\Lasting]\r\n\"a\"=\"b\"\r\n");
  // A package made before packages were checked (no trailer), its solid block damaged
  // after some files were written: the reader's message, and nothing installed, the
  // file it was writing included.
  damaged.bytes.resize(damaged.bytes.size() - kGmzTrailerSize);
  for (size_t i = 3000000; i < 3001000; ++i) damaged.bytes[i] ^= 0x5A;
  const struct {
    const Package& p;
    std::u16string message;
  } cases[] = {
      {damaged, u"安装失败:数据处理错误，偏移:"},
      // A registry key that cannot be made (a lasting key below a volatile one): the key
      // named, the files taken back.
      {lasting, u"安装失败:注册表写入错误,key:HKEY_CURRENT_USER\\" + volatileKey.path()},
  };
  for (const auto& c : cases) {
    Cleanup cleanup(c.p);
    Messages shown;
    EXPECT_EQ(RunSetup(c.p.bytes.data(), c.p.bytes.size(), shown), -1);
    EXPECT_FALSE(fs::exists(test::FsPath(JoinPath(ProgramFiles(), c.p.folder))));
    EXPECT_FALSE(fs::exists(test::FsPath(JoinPath(AppDataPath(), c.p.appData))));
    EXPECT_EQ(RegText(c.p.regKey, u"Path"), u"<missing>");
    ASSERT_EQ(shown.shown.size(), 1u);
    EXPECT_TRUE(test::StartsWithText(shown.shown[0], c.message)) << Narrow(shown.shown[0]);
  }
}

// An install of everything a package holds, made by setup.exe; over it, a package whose
// task fails leaves it whole, a patch merges its record into the earlier one's, and a
// program of it that runs is replaced.
TEST_F(SetupWin, OverAnEarlierInstall) {
  test::ScratchDir scratch;
  const Package p = MakePackage(scratch);
  Cleanup cleanup(p);
  ASSERT_EQ(RunSetupProgram(scratch, MakeSetup(scratch, p.bytes)), 0);

  const std::u16string install = JoinPath(ProgramFiles(), p.folder);
  const fs::path dir = test::FsPath(install);
  const fs::path source = test::FsPath(p.dir) / "##install##";
  EXPECT_EQ(ReadBytes(dir / "bin" / "data.bin"), p.data);
  EXPECT_EQ(ReadBytes(dir / "readme.txt"), p.readme);
  EXPECT_NE(GetPathAttributes(JoinPath(install, u"readme.txt")) & kFileAttributeReadonly, 0u);
  EXPECT_EQ(fs::last_write_time(dir / "bin" / "data.bin"), fs::last_write_time(source / "bin" / "data.bin"));
  EXPECT_EQ(fs::last_write_time(dir / "readme.txt"), fs::last_write_time(source / "readme.txt"));
  EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(AppDataPath(), p.appData + u"\\save.dat"))), "saved");
  EXPECT_FALSE(fs::exists(dir / "##reg##.reg"));
  EXPECT_FALSE(fs::exists(dir / "##tasks##.txt"));
  // A registry value with the install folder from UTF-16 text, REG_EXPAND_SZ made REG_SZ.
  EXPECT_EQ(RegText(p.regKey, u"Exe"), install + u"\\bin\\game.exe");
  // The package's shortcut points into the real folder.
  ShortcutInfo link;
  ASSERT_TRUE(ReadShortcut(JoinPath(install, u"links\\Game.lnk"), link));
  EXPECT_EQ(link.target, install + u"\\bin\\game.exe");
  EXPECT_EQ(link.arguments, u"-play");
  // The installer's name and the three numbers.
  EXPECT_EQ(RegText(u"Software\\Lunefa", u"SetupName"), u"setup.exe");
  for (const char16_t* program : kClientPrograms) {
    DWORD number = 0, size = sizeof number;
    EXPECT_EQ(
        RegGetValueW(HKEY_CURRENT_USER, W(ProgramNumbersKey()), W(program), RRF_RT_REG_DWORD, nullptr, &number, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(number, 11000u);
  }

  // The uninstall record (whose bytes uninstall_record_test.cpp reads field by field).
  UninstallRecord record;
  ASSERT_TRUE(ReadUninstallRecord(JoinPath(install, u"RORarezoru.dat"), record));
  const std::u16string appFolder = JoinPath(AppDataPath(), p.appData);
  EXPECT_EQ(record.paths,
            (Paths{u"", u"bin", u"links", appFolder, u"bin\\data.bin", u"bin\\game.exe", u"links\\Game.lnk",
                   u"readme.txt", appFolder + u"\\save.dat", u"##tasks##.txt", u"Game Link.lnk", u"game.ini"}));
  // The key the install made: deleted by its undo record (a key of no values and no sub
  // keys).
  const std::u16string deleted = u"-HKEY_CURRENT_USER\\" + p.regKey;
  Bytes undo;
  for (const size_t n : {size_t{1}, 16 + 2 * deleted.size(), 12 + 2 * deleted.size(), deleted.size()}) {
    PutU32(undo, static_cast<uint32_t>(n));
  }
  PutUnits(undo, deleted);
  undo.resize(undo.size() + 8);
  EXPECT_EQ(record.registryUndo, undo);
  EXPECT_EQ(record.tasks,
            (Paths{u"CreateShortCut \"##install##\\Game Link\" \"##install##\\bin\\game.exe\"",
                   u"ini WriteINIStr \"##install##\\game.ini\" Client Path \"##install##\"",
                   u"runcheck 0 \"##install##\\bin\\game.exe\" 0", u"start \"##install##\\bin\\game.exe\" 3"}));
  EXPECT_EQ(record.registryText, p.regText);
  // The registry view the undo records belong to is the program's own.
  EXPECT_EQ(record.metadata, (MetadataMap{{u"##registry_view##", sizeof(void*) == 4 ? u"32" : u"64"},
                                          {u"gmexe", u"##install##\\bin\\game.exe"},
                                          {u"gmfolder", p.folder}}));

  // A second package for the same folder whose task fails, after tasks that delete what
  // the earlier install has and put a new file where a deleted folder was: the command
  // line named, the second package's own data taken back, the first install whole.
  const std::string recordBytes = ReadBytes(dir / "RORarezoru.dat");
  test::ScratchDir second;
  Package failing = MakePackage(second, u"3");
  Cleanup cleanupSecond(failing);
  const fs::path src = test::FsPath(failing.dir);
  WriteBytes(src / "##install##" / "bin" / "data.bin", std::string(1000, 'n'));
  WriteBytes(src / "##tasks##.txt", "DeleteFile \"##install##\\links\"\r\nDeleteFile \"##install##\\readme.txt\"\r\n"
                                    "CreateShortCut \"##install##\\links\\After\" \"##install##\\bin\\game.exe\"\r\n" +
                                        failing.tasks);
  const std::string bytes = test::PackFolder(src, MetadataPairs{{u"gmfolder", p.folder}});
  Messages failed;
  EXPECT_EQ(RunSetup(bytes.data(), bytes.size(), failed), -1);
  EXPECT_EQ(failed.shown, Paths{u"安装失败:任务列表执行错误，命令行:\"##install##\\bin\\game.exe\" 0,错误码:0"});
  EXPECT_EQ(RegText(failing.regKey, u"Path"), u"<missing>");
  EXPECT_FALSE(fs::exists(test::FsPath(JoinPath(AppDataPath(), failing.appData))));
  EXPECT_EQ(ReadBytes(dir / "bin" / "data.bin"), p.data);
  EXPECT_EQ(ReadBytes(dir / "readme.txt"), p.readme);
  EXPECT_NE(GetPathAttributes(JoinPath(install, u"readme.txt")) & kFileAttributeReadonly, 0u);
  EXPECT_EQ(ReadBytes(dir / "RORarezoru.dat"), recordBytes);
  EXPECT_TRUE(fs::exists(dir / "Game Link.lnk"));
  // The deleted folder is back as it was, without what the failed run put in its place;
  // nothing was left aside.
  EXPECT_EQ(Names(dir / "links"), std::vector<std::string>{"Game.lnk"});
  EXPECT_EQ(Names(dir / "bin"), (std::vector<std::string>{"data.bin", "game.exe"}));

  // A patch: the new record holds the earlier one's paths and tasks after its own.
  const std::string patch =
      test::PackFiles(scratch.fs_path() / "patch",
                      {{"##install##/patch.txt", "patched"},
                       {"##tasks##.txt", "ini WriteINIStr \"##install##\\game.ini\" Client Patched 1\r\n"}},
                      {{u"gmfolder", p.folder}});
  std::u16string message;
  ASSERT_TRUE(test::Install(patch, ProgramFiles(), message, true)) << Narrow(message);
  EXPECT_EQ(ReadBytes(dir / "patch.txt"), "patched");
  EXPECT_EQ(ReadIniString(JoinPath(install, u"game.ini"), u"Client", u"Patched", u""), u"1");
  UninstallRecord merged;
  ASSERT_TRUE(ReadUninstallRecord(JoinPath(install, u"RORarezoru.dat"), merged));
  Paths paths = {u"patch.txt", u"##tasks##.txt"};
  paths.insert(paths.end(), record.paths.begin(), record.paths.end());
  EXPECT_EQ(merged.paths, paths);
  record.tasks.push_back(u"ini WriteINIStr \"##install##\\game.ini\" Client Patched 1");
  EXPECT_EQ(merged.tasks, record.tasks);
  EXPECT_EQ(merged.metadata, record.metadata);
  EXPECT_EQ(merged.registryUndo, record.registryUndo);

  // The installed program runs (suspended) while the first package installs again. A
  // running program cannot be deleted, only renamed: the new one is in place, the old
  // one waits aside for the next restart.
  std::u16string line = u"\"" + JoinPath(install, u"bin\\game.exe") + u"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, W(&line[0]), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                             &startup, &process));
  ScopedFileHandle running(process.hProcess);
  CloseHandle(process.hThread);
  ASSERT_FALSE(DeleteFileW(W(JoinPath(install, u"bin\\game.exe"))));
  Messages messages;
  EXPECT_EQ(RunSetup(p.bytes.data(), p.bytes.size(), messages), 0);
  EXPECT_EQ(fs::file_size(dir / "bin" / "game.exe"), fs::file_size(test::BuiltProgram("tests/gm_exit_with")));
  Paths aside;
  for (const auto& item : fs::directory_iterator(dir / "bin")) {
    if (item.path().extension() == ".tmp") aside.push_back(test::SysPath(item.path()));
  }
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_TRUE(ScheduledForRestart(aside[0])) << Narrow(aside[0]);
  TerminateProcess(running.Get(), 0);
  WaitForSingleObject(running.Get(), 5000);
}

// A program a failed run started is still running when the run takes its files back: it
// goes out of the way and is deleted at the next restart, with its folder.
TEST_F(SetupWin, AProgramTheFailedRunStartedGoesAtTheRestart) {
  test::ScratchDir scratch;
  const std::u16string unique = u"GmStarted" + Unique();
  const std::u16string install = JoinPath(ProgramFiles(), unique);
  const std::string mutex = Narrow(unique);
  const std::string bytes =
      SmallPackage(scratch, unique,
                   {{"##install##/bin/tool.exe", ReadBytes(test::BuiltProgram("tests/gm_sleeper"))},
                    {"##install##/bin/check.exe", ReadBytes(test::BuiltProgram("tests/gm_exit_with"))},
                    {"##tasks##.txt", "start \"##install##\\bin\\tool.exe\" 3000 " + mutex +
                                          "\r\nruncheck 3 \"##install##\\bin\\check.exe\" 0\r\n"}});
  Messages messages;
  EXPECT_EQ(RunSetup(bytes.data(), bytes.size(), messages), -1);
  // Started, it may not have reached its mutex yet on a busy machine.
  HANDLE running = nullptr;
  for (int i = 0; i < 100 && (running = OpenMutexA(SYNCHRONIZE, FALSE, mutex.c_str())) == nullptr; ++i) Sleep(100);
  ASSERT_NE(running, nullptr) << "the started program is still running";
  CloseHandle(running);
  EXPECT_FALSE(PathExists(JoinPath(install, u"bin\\tool.exe")));
  EXPECT_FALSE(PathExists(JoinPath(install, u"bin\\check.exe")));
  Paths left;
  for (const auto& item : fs::recursive_directory_iterator(test::FsPath(install))) {
    if (!item.is_directory()) left.push_back(test::SysPath(item.path()));
  }
  ASSERT_EQ(left.size(), 1u);
  EXPECT_TRUE(ScheduledForRestart(left[0])) << Narrow(left[0]);
  EXPECT_TRUE(ScheduledForRestart(JoinPath(install, u"bin")));
  EXPECT_TRUE(ScheduledForRestart(install));
  // Once the program ends, nothing of the run is left.
  for (int i = 0; i < 100 && (running = OpenMutexA(SYNCHRONIZE, FALSE, mutex.c_str())) != nullptr; ++i) {
    CloseHandle(running);
    Sleep(100);
  }
  DeleteTree(install);
}

}  // namespace
}  // namespace Zavro
