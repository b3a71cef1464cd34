// The installer end to end under Wine: packages built here with the writer, made into
// setup.exe from setup-stub.exe (its resource "DATA" 105 added as `gmz sfx` adds it),
// and run as the player would run them: into the 32-bit
// program-files folder, with the registry, tasks and uninstall record.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "archive/gmz_format.h"
#include "archive/packer.h"
#include "archive/packer_policy.h"
#include "archive/unpacker.h"
#include "archive/io/memory_file.h"
#include "installer/folder_macros.h"
#include "installer/package_metadata.h"
#include "installer/setup_entry.h"
#include "installer/sfx_install.h"
#include "installer/uninstall_record.h"
#include "registry/reg_key.h"
#include "registry/reg_win_test_support.h"
#include "system/change_seam.h"
#include "system/client_window_support.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/special_folders.h"
#include "system/format.h"
#include "system/shortcut.h"
#include "system/system_error.h"
#include "system/windows_support.h"
#include "system/string_utils.h"
#include "test_support.h"
#include "tools/pe/pe_image.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using Bytes = std::vector<unsigned char>;
using test::ReadBytes;
using test::WriteBytes;

std::u16string Unique() {
  static int count = 0;
  return test::Decimal(GetCurrentProcessId()) + u"_" + test::Decimal(GetTickCount64() % 1000000) + u"_" +
         test::Decimal(++count);
}

std::string Narrow(const std::u16string& text) { return fs::path(text).u8string(); }

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
void PutText(Bytes& out, const std::u16string& text) {
  PutU32(out, static_cast<uint32_t>(text.size()));
  PutUnits(out, text);
}
void PutBlock(Bytes& out, const Bytes& block) {
  PutU32(out, static_cast<uint32_t>(block.size()));
  out.insert(out.end(), block.begin(), block.end());
}

// Bytes that do not compress, so the solid block is as long as the data.
std::string Noise(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 12345;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

// One client package: programs, data, registry text, tasks, a shortcut and metadata.
struct Package {
  std::u16string folder;    // "gmfolder"
  std::u16string appData;   // the folder below the user's application data
  std::u16string regKey;    // below HKEY_CURRENT_USER
  std::u16string dir;       // the source folder
  std::string readme = "read me first\r\n";
  std::string data;
  std::string tasks;
  Bytes regText;
  Bytes bytes;  // the package
};

std::string Ansi(const std::u16string& text) { return Narrow(text); }

Package MakePackage(const test::ScratchDir& scratch, const std::u16string& checkCode = u"0",
                    size_t dataSize = 300000, const std::u16string& extraRegistry = u"") {
  Package p;
  p.data = Noise(dataSize);
  const std::u16string unique = Unique();
  p.folder = u"GmSetupTest" + unique;
  p.appData = u"GmSetupTest" + unique;
  p.regKey = u"Software\\GmTest\\Setup" + unique;
  p.dir = scratch.Join(u"src" + unique);
  const fs::path src = test::FsPath(p.dir);
  fs::create_directories(src / "##install##" / "bin");
  fs::create_directories(src / "##install##" / "links");
  fs::create_directories(src / "##my_appdata##" / fs::path(p.appData));
  fs::copy_file(test::BuiltProgram("tests/gm_exit_with"), src / "##install##" / "bin" / "game.exe");
  WriteBytes(src / "##install##" / "bin" / "data.bin", p.data);
  WriteBytes(src / "##install##" / "readme.txt", p.readme);
  SetPathAttributes(test::SysPath(src / "##install##" / "readme.txt"), kFileAttributeReadonly);
  WriteBytes(src / "##my_appdata##" / fs::path(p.appData) / "save.dat", "saved");
  // A shortcut written against the placeholder folder, as release engineers make them.
  EXPECT_TRUE(CreateShellLink(u"Z:\\##install##\\bin\\game.exe", u"-play", u"Play", test::SysPath(src / "##install##" /
                                  "links" / "Game.lnk"), u"", 0, nullptr));
  // Registry text in UTF-16 with its mark; the install folder in a REG_SZ and a
  // REG_EXPAND_SZ.
  const std::u16string reg = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + p.regKey +
                             u"]\r\n\"Path\"=\"##install##\"\r\n\"Exe\"=hex(2):" + [] {
                               std::u16string items;
                               for (char16_t unit : std::u16string(u"##install##\\bin\\game.exe")) {
                                 items += FormatString(u"%02x,00,", static_cast<uint32_t>(unit));
                               }
                               return items + u"00,00";
                             }() + u"\r\n" + extraRegistry;
  p.regText = {0xFF, 0xFE};
  PutUnits(p.regText, reg);
  WriteBytes(src / "##reg##.reg", std::string(p.regText.begin(), p.regText.end()));
  p.tasks = "CreateShortCut \"##install##\\Game Link\" \"##install##\\bin\\game.exe\"\r\n"
            "ini WriteINIStr \"##install##\\game.ini\" Client Path \"##install##\"\r\n"
            "runcheck " + Ansi(checkCode) + " \"##install##\\bin\\game.exe\" 0\r\n"
            "start \"##install##\\bin\\game.exe\" 3\r\n";
  WriteBytes(src / "##tasks##.txt", p.tasks);

  GMPacker packer;
  EXPECT_TRUE(packer.SetSource(p.dir, false));
  const std::vector<unsigned char> meta =
      SerializeMetadata(MetadataPairs{{u"gmexe", u"##install##\\bin\\game.exe"}, {u"gmfolder", p.folder}});
  EXPECT_TRUE(packer.AddInlineEntry(packer.Root(), kMetadataEntryName, meta.data(), meta.size()));
  EXPECT_TRUE(packer.PackToFile(scratch.Join(u"p.gmz")));
  const std::string bytes = ReadBytes(scratch.fs_path() / "p.gmz");
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

// A package with "a.txt" in its install folder, "gmfolder" set to `folder`, and what
// `fill` adds to its source folder.
std::string SmallPackage(const test::ScratchDir& scratch, const std::u16string& folder,
                         const std::function<void(const fs::path&)>& fill = nullptr) {
  const fs::path src = scratch.fs_path() / ("src" + Narrow(Unique()));
  fs::create_directories(src / "##install##");
  WriteBytes(src / "##install##" / "a.txt", "a");
  if (fill) fill(src);
  GMPacker packer;
  EXPECT_TRUE(packer.SetSource(test::SysPath(src), false));
  const std::vector<unsigned char> meta = SerializeMetadata(MetadataPairs{{u"gmfolder", folder}});
  EXPECT_TRUE(packer.AddInlineEntry(packer.Root(), kMetadataEntryName, meta.data(), meta.size()));
  const std::u16string package = scratch.Join(u"p" + Unique() + u".gmz");
  EXPECT_TRUE(packer.PackToFile(package));
  return ReadBytes(test::FsPath(package));
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

std::u16string RegText(const std::u16string& key, const std::u16string& name) {
  GMRegKeyHandle handle;
  GMRegValueRecord value;
  if (!handle.OpenKey(RootKey(kHKeyCurrentUser), key, kKeyRead, false) || !handle.QueryValue(name, value)) {
    return u"<missing>";
  }
  if (value.type != kRegSz) return u"<type " + test::Decimal(value.type) + u">";
  if (!value.rawData) return value.text;
  // Text stored without its NUL comes back raw.
  const std::vector<unsigned char> bytes = value.GetData();
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
  return text;
}

TEST(SetupWin, InstallsEverything) {
  test::ScratchDir scratch;
  const Package p = MakePackage(scratch);
  Cleanup cleanup(p);
  const fs::path setup = MakeSetup(scratch, p.bytes);
  ASSERT_EQ(RunSetupProgram(scratch, setup), 0);

  const std::u16string install = JoinPath(ProgramFiles(), p.folder);
  const fs::path dir = test::FsPath(install);
  EXPECT_EQ(ReadBytes(dir / "bin" / "data.bin"), p.data);
  EXPECT_EQ(ReadBytes(dir / "readme.txt"), p.readme);
  EXPECT_NE(GetPathAttributes(JoinPath(install, u"readme.txt")) & kFileAttributeReadonly, 0u);
  const fs::path source = test::FsPath(p.dir) / "##install##";
  EXPECT_EQ(fs::last_write_time(dir / "bin" / "data.bin"), fs::last_write_time(source / "bin" / "data.bin"));
  EXPECT_EQ(fs::last_write_time(dir / "readme.txt"), fs::last_write_time(source / "readme.txt"));
  EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(AppDataPath(), p.appData + u"\\save.dat"))), "saved");
  EXPECT_FALSE(fs::exists(dir / "##reg##.reg"));
  EXPECT_FALSE(fs::exists(dir / "##tasks##.txt"));

  // Registry values with the install folder, REG_EXPAND_SZ made REG_SZ.
  EXPECT_EQ(RegText(p.regKey, u"Path"), install);
  EXPECT_EQ(RegText(p.regKey, u"Exe"), install + u"\\bin\\game.exe");
  // The package's shortcut points into the real folder; the task's shortcut too.
  ShortcutInfo link;
  ASSERT_TRUE(ReadShortcut(JoinPath(install, u"links\\Game.lnk"), link));
  EXPECT_EQ(link.target, install + u"\\bin\\game.exe");
  EXPECT_EQ(link.arguments, u"-play");
  ShortcutInfo taskLink;
  ASSERT_TRUE(ReadShortcut(JoinPath(install, u"Game Link.lnk"), taskLink));
  EXPECT_EQ(taskLink.target, install + u"\\bin\\game.exe");
  EXPECT_EQ(ReadIniString(JoinPath(install, u"game.ini"), u"Client", u"Path", u""), install);
  // The installer's name and the three numbers.
  EXPECT_EQ(RegText(u"Software\\Lunefa", u"SetupName"), u"setup.exe");
  for (const char16_t* program : kClientPrograms) {
    GMRegKeyHandle numbers;
    GMRegValueRecord number;
    ASSERT_TRUE(numbers.OpenKey(RootKey(kHKeyCurrentUser), ProgramNumbersKey(), kKeyRead, false));
    ASSERT_TRUE(numbers.QueryValue(program, number));
    EXPECT_EQ(number.dword, 11000u);
  }

  // The uninstall record, block by block.
  Bytes expected = {'G', 'M', 'U', 'T', 2};
  Bytes paths;
  const std::u16string appFolder = JoinPath(AppDataPath(), p.appData);
  for (const std::u16string& path :
       {std::u16string(), std::u16string(u"bin"), std::u16string(u"links"), appFolder, std::u16string(u"bin\\data.bin"),
        std::u16string(u"bin\\game.exe"), std::u16string(u"links\\Game.lnk"), std::u16string(u"readme.txt"),
        appFolder + u"\\save.dat", std::u16string(u"##tasks##.txt"), std::u16string(u"Game Link.lnk"),
        std::u16string(u"game.ini")}) {
    PutU32(paths, static_cast<uint32_t>(path.size() * 2));
    PutUnits(paths, path);
  }
  PutBlock(expected, paths);
  // The key the install made: deleted by its undo record.
  Bytes key;
  PutText(key, u"-HKEY_CURRENT_USER\\" + p.regKey);
  PutU32(key, 0);
  PutU32(key, 0);
  Bytes undo;
  PutU32(undo, 1);
  PutU32(undo, static_cast<uint32_t>(4 + key.size()));
  PutU32(undo, static_cast<uint32_t>(key.size()));
  undo.insert(undo.end(), key.begin(), key.end());
  PutBlock(expected, undo);
  Bytes tasks;
  const std::vector<std::u16string> lines = {u"CreateShortCut \"##install##\\Game Link\" \"##install##\\bin\\game.exe\"",
                                             u"ini WriteINIStr \"##install##\\game.ini\" Client Path \"##install##\"",
                                             u"runcheck 0 \"##install##\\bin\\game.exe\" 0",
                                             u"start \"##install##\\bin\\game.exe\" 3"};
  PutU32(tasks, static_cast<uint32_t>(lines.size()));
  for (const std::u16string& line : lines) PutText(tasks, line);
  PutBlock(expected, tasks);
  PutBlock(expected, p.regText);
  Bytes meta;
  PutU32(meta, 3);
  // The registry view the undo records belong to: the program's own.
  PutText(meta, u"##registry_view##");
  PutText(meta, sizeof(void*) == 4 ? u"32" : u"64");
  PutText(meta, u"gmexe");
  PutText(meta, u"##install##\\bin\\game.exe");
  PutText(meta, u"gmfolder");
  PutText(meta, p.folder);
  PutBlock(expected, meta);
  const std::string record = ReadBytes(dir / "RORarezoru.dat");
  EXPECT_EQ(Bytes(record.begin(), record.end()), expected);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Lunefa", L"SetupName");
}

// A folder beside the install folder whose name starts with the install folder's is no
// part of it: the uninstall record names it whole.
TEST(SetupWin, ASiblingFolderIsRecordedWhole) {
  test::ScratchDir scratch;
  // The install goes beside the application-data folder, named as it is but for its
  // last letter: "...\AppData\Roamin" beside "...\AppData\Roaming".
  const std::u16string appData = AppDataPath();
  const std::u16string install = appData.substr(0, appData.size() - 1);
  const std::u16string unique = u"GmSibling" + Unique();
  ASSERT_FALSE(PathExists(install));
  const std::string bytes = SmallPackage(scratch, FileNamePart(install), [&](const fs::path& src) {
    fs::create_directories(src / "##my_appdata##" / fs::path(unique));
    WriteBytes(src / "##my_appdata##" / fs::path(unique) / "b.txt", "b");
  });
  SetupOptions options;
  options.targetRoot = DirectoryPart(install);
  Messages messages;
  EXPECT_EQ(RunSetup(bytes.data(), bytes.size(), messages, options), 0);
  UninstallRecord record;
  EXPECT_TRUE(ReadUninstallRecord(JoinPath(install, u"RORarezoru.dat"), record));
  const std::u16string sibling = JoinPath(appData, unique);
  EXPECT_EQ(record.paths,
            (std::vector<std::u16string>{u"", sibling, u"a.txt", JoinPath(sibling, u"b.txt")}));
  DeleteTree(install);
  DeleteTree(sibling);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Lunefa", L"SetupName");
}

// The folders a program of the installer's own bitness gets: for the shipped 32-bit
// installer on a 64-bit system, "Program Files (x86)" for ##program_files##, and a file
// for ##windows##\System32 lands where the system redirects a 32-bit program's writes
// (SysWOW64). The uninstall record names the paths as the installer used them, so that
// an uninstall of the same bitness finds them again.
TEST(SetupWin, MacroFoldersAsTheProgramSeesThem) {
  const bool wow64 = sizeof(void*) == 4;  // the test runs on a 64-bit system
  test::ScratchDir scratch;
  const std::u16string unique = u"GmFolders" + Unique();
  const std::u16string shared = unique + u"Shared";
  const std::string bytes = SmallPackage(scratch, unique, [&](const fs::path& src) {
    fs::create_directories(src / "##windows##" / "System32");
    fs::create_directories(src / "##program_files##" / fs::path(shared));
    WriteBytes(src / "##windows##" / "System32" / fs::path(unique + u".txt"), "system");
    WriteBytes(src / "##program_files##" / fs::path(shared) / "b.txt", "b");
  });

  wchar_t buffer[MAX_PATH] = {};
  ASSERT_NE(GetWindowsDirectoryW(buffer, MAX_PATH), 0u);
  const std::u16string windows = U16(buffer);
  // The folders as the system itself names them, whatever this program's bitness.
  const std::u16string realSystem32 = JoinPath(windows, wow64 ? u"Sysnative" : u"System32");
  const std::u16string sysWow64 = JoinPath(windows, u"SysWOW64");
  const std::u16string programFiles64 = ExpandEnvironment(u"%ProgramW6432%");
  const std::u16string programFiles = SpecialFolderPath(38);
  EXPECT_EQ(FileNamePart(ProgramFiles()), u"Program Files (x86)");
  EXPECT_EQ(FileNamePart(programFiles), wow64 ? u"Program Files (x86)" : u"Program Files");

  Messages messages;
  ASSERT_EQ(RunSetup(bytes.data(), bytes.size(), messages), 0);
  const std::u16string install = JoinPath(ProgramFiles(), unique);
  const std::u16string systemFile = unique + u".txt";
  EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(wow64 ? sysWow64 : realSystem32, systemFile))), "system");
  EXPECT_FALSE(PathExists(JoinPath(wow64 ? realSystem32 : sysWow64, systemFile)));
  EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(programFiles, shared + u"\\b.txt"))), "b");
  if (wow64) {
    EXPECT_FALSE(PathExists(JoinPath(programFiles64, shared)));
  }

  UninstallRecord record;
  ASSERT_TRUE(ReadUninstallRecord(JoinPath(install, u"RORarezoru.dat"), record));
  const std::u16string usedSystem32 = JoinPath(windows, u"System32");
  const std::vector<std::u16string> expected = {
      u"", JoinPath(programFiles, shared), u"a.txt", JoinPath(usedSystem32, systemFile),
      JoinPath(programFiles, shared + u"\\b.txt")};
  // In the order of the package's tree, which the test does not fix.
  auto folded = [](std::vector<std::u16string> paths) {
    for (std::u16string& path : paths) ToLowerInPlace(path);
    std::sort(paths.begin(), paths.end());
    return paths;
  };
  EXPECT_EQ(folded(record.paths), folded(expected));
  DeleteTree(install);
  DeleteTree(JoinPath(programFiles, shared));
  DeleteFileForced(JoinPath(usedSystem32, systemFile));
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Lunefa", L"SetupName");
}

// "gmfolder" may name its folder through a built-in macro, or whole; what no install may
// use is refused before anything is written.
TEST(SetupWin, InstallFolderFromTheMetadata) {
  test::ScratchDir scratch;
  const std::u16string unique = Unique();
  const std::u16string whole = JoinPath(test::SysPath(scratch.fs_path()), u"Whole\\Game");
  for (const std::u16string& value :
       {u"##program_files##\\GmPF" + unique, u"##my_doc##\\GmDoc" + unique, whole}) {
    FolderMacros macros;
    const std::u16string install = macros.ExpandMacros(value);
    ASSERT_TRUE(IsAbsolutePath(install)) << Narrow(install);
    const std::string bytes = SmallPackage(scratch, value);
    Messages messages;
    EXPECT_EQ(RunSetup(bytes.data(), bytes.size(), messages), 0) << Narrow(value);
    EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(install, u"a.txt"))), "a") << Narrow(install);
    EXPECT_TRUE(PathExists(JoinPath(install, u"RORarezoru.dat")));
    DeleteTree(install);
  }
  // An empty value: the target root itself.
  {
    const std::u16string root = scratch.Join(u"Root");
    SetupOptions options;
    options.targetRoot = root + u"\\";
    const std::string bytes = SmallPackage(scratch, u"");
    Messages messages;
    EXPECT_EQ(RunSetup(bytes.data(), bytes.size(), messages, options), 0);
    EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(root, u"a.txt"))), "a");
  }
  // Refused with the folder it names and error 123; nothing is written.
  const std::u16string target = scratch.Join(u"Target");
  const struct {
    std::u16string value;
    std::u16string folder;
  } refused[] = {
      {u"..\\Escape", JoinPath(target, u"..\\Escape")},
      {u"a\\.\\b", JoinPath(target, u"a\\.\\b")},
      {u"a<b", JoinPath(target, u"a<b")},
      {u"C:\\", u"C:"},
      {u"\\\\server\\share", u"\\\\server\\share"},
      {u"##windows##", FolderMacros().LookupMacro(u"windows")},
      {u"##program_files##", FolderMacros().LookupMacro(u"program_files")},
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
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Lunefa", L"SetupName");
}

// What only Windows has in the picture, failed at every change: registry values changed,
// a key created right below a root, a tree deleted, a profile file and a shortcut that
// tasks change, files in macro folders, a program that runs. After each failure the
// files and the registry are as they were.
TEST(SetupWin, AFailureAtAnyChangeLeavesTheMachineAsItWas) {
  test::ScratchDir scratch;
  const std::u16string unique = u"GmJournal" + Unique();
  const std::u16string key = u"Software\\GmTest\\" + unique;
  const std::u16string top = unique + u"Top";
  FolderMacros macros;
  const std::u16string appData = JoinPath(macros.LookupMacro(u"my_appdata"), unique);
  const std::u16string desktopLink = JoinPath(macros.LookupMacro(u"my_desktop"), unique + u".lnk");
  const std::u16string install = JoinPath(ProgramFiles(), unique);

  // What the machine holds before.
  HKEY created = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, W(key + u"\\Tree\\A"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                            nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(created, L"x", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1"), 4);
  RegCloseKey(created);
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, W(key), L"v", REG_SZ, L"old", 8), ERROR_SUCCESS);
  fs::create_directories(test::FsPath(appData) / "old");
  WriteBytes(test::FsPath(appData) / "config.ini", "[S]\r\nk=old\r\n");
  WriteBytes(test::FsPath(appData) / "old" / "a.txt", "a");
  ASSERT_TRUE(CreateShellLink(u"C:\\old.exe", u"", u"", desktopLink, u"", 0, nullptr));

  const std::string bytes = SmallPackage(scratch, unique, [&](const fs::path& src) {
    fs::create_directories(src / "##install##" / "bin");
    fs::copy_file(test::BuiltProgram("tests/gm_exit_with"), src / "##install##" / "bin" / "game.exe");
    fs::create_directories(src / "##my_appdata##" / fs::path(unique));
    WriteBytes(src / "##my_appdata##" / fs::path(unique) / "save.dat", "saved");
    WriteBytes(src / "##reg##.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + Narrow(key) + "]\r\n\"v\"=\"new\"\r\n"
                                    "[-HKEY_CURRENT_USER\\" + Narrow(key) + "\\Tree]\r\n"
                                    "[HKEY_CURRENT_USER\\" + Narrow(top) + "]\r\n\"Path\"=\"##install##\"\r\n");
    WriteBytes(src / "##tasks##.txt",
               "ini WriteINIStr \"##my_appdata##\\" + Narrow(unique) + "\\config.ini\" S k new\r\n"
               "ini WriteINIStr \"##install##\\game.ini\" Client Path \"##install##\"\r\n"
               "CreateShortCut \"##my_desktop##\\" + Narrow(unique) + "\" \"##install##\\bin\\game.exe\"\r\n"
               "DeleteFile \"##my_appdata##\\" + Narrow(unique) + "\\old\"\r\n"
               "runcheck 0 \"##install##\\bin\\game.exe\" 0\r\n");
  });
  auto machine = [&] {
    std::string state = test::DumpKey(HKEY_CURRENT_USER, key) + "|" + test::DumpKey(HKEY_CURRENT_USER, top) + "|" +
                        ReadBytes(test::FsPath(desktopLink)) + "|";
    for (const std::u16string& folder : {install, appData}) {
      if (!PathExists(folder)) continue;
      for (const auto& item : fs::recursive_directory_iterator(test::FsPath(folder))) {
        state += item.path().u8string() + (item.is_directory() ? "" : "=" + ReadBytes(item.path())) + "\n";
      }
    }
    return state;
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
    RegDeleteTreeW(HKEY_CURRENT_USER, W(top));
    RegDeleteKeyW(HKEY_CURRENT_USER, W(top));
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, W(key), L"v", REG_SZ, L"old", 8), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, W(key + u"\\Tree\\A"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &created, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(created, L"x", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1"), 4);
    RegCloseKey(created);
    DeleteTree(install);
    DeleteTree(appData);
    fs::create_directories(test::FsPath(appData) / "old");
    WriteBytes(test::FsPath(appData) / "config.ini", "[S]\r\nk=old\r\n");
    WriteBytes(test::FsPath(appData) / "old" / "a.txt", "a");
    ASSERT_TRUE(CreateShellLink(u"C:\\old.exe", u"", u"", desktopLink, u"", 0, nullptr));
    ASSERT_EQ(machine(), before);
  }
  std::printf("a failure at each of %u changes\n", static_cast<unsigned>(n - 1));
  // The run that went through changed everything it was asked to.
  EXPECT_EQ(RegText(key, u"v"), u"new");
  EXPECT_EQ(RegText(top, u"Path"), install);
  EXPECT_EQ(test::DumpKey(HKEY_CURRENT_USER, key + u"\\Tree"), "<missing>");
  EXPECT_EQ(ReadIniString(JoinPath(appData, u"config.ini"), u"S", u"k", u""), u"new");
  ShortcutInfo link;
  ASSERT_TRUE(ReadShortcut(desktopLink, link));
  EXPECT_EQ(link.target, JoinPath(install, u"bin\\game.exe"));
  EXPECT_FALSE(PathExists(JoinPath(appData, u"old")));
  UninstallRecord record;
  ASSERT_TRUE(ReadUninstallRecord(JoinPath(install, u"RORarezoru.dat"), record));
  EXPECT_NE(std::find(record.paths.begin(), record.paths.end(), u"game.ini"), record.paths.end());

  RegDeleteTreeW(HKEY_CURRENT_USER, W(top));
  RegDeleteKeyW(HKEY_CURRENT_USER, W(top));
  RegDeleteTreeW(HKEY_CURRENT_USER, W(key));
  RegDeleteKeyW(HKEY_CURRENT_USER, W(key));
  DeleteTree(install);
  DeleteTree(appData);
  DeleteFileForced(desktopLink);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Lunefa", L"SetupName");
}

// The installers the build makes around a package file.
TEST(SetupWin, BuiltInstallers) {
  test::ScratchDir scratch;
  const std::u16string install = JoinPath(ProgramFiles(), u"GmSetupHello");
  DeleteTree(install);
  EXPECT_EQ(RunSetupProgram(scratch, test::BuiltProgram("tests/gm_setup_hello")), 0);
  EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(install, u"hello.txt"))), "hello from the package\r\n");
  EXPECT_TRUE(fs::exists(test::FsPath(JoinPath(install, u"RORarezoru.dat"))));
  DeleteTree(install);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Lunefa", L"SetupName");
  // Without a package, or with an empty one, nothing happens and the program fails.
  EXPECT_EQ(RunSetupProgram(scratch, test::BuiltProgram("tests/gm_setup_empty")), -1);
  EXPECT_EQ(RunSetupProgram(scratch, test::BuiltProgram("tools/gmz/setup-stub")), -1);
}

// The stub as the linker made it: its checksum agrees with ours, and an installer
// assembled from it keeps its manifest and version information byte for byte.
TEST(SetupWin, AssembledFromTheStub) {
  const std::string text = ReadBytes(test::BuiltProgram("tools/gmz/setup-stub"));
  const Bytes stub(text.begin(), text.end());
  pe::Image image;
  std::string error;
  ASSERT_TRUE(pe::ReadImage(stub.data(), stub.size(), image, error)) << error;
  pe::Checksum checksum;
  checksum.Add(stub.data(), image.optionalHeaderOffset + 64);
  const unsigned char zero[4] = {};
  checksum.Add(zero, 4);
  checksum.Add(stub.data() + image.optionalHeaderOffset + 68, stub.size() - image.optionalHeaderOffset - 68);
  EXPECT_EQ(checksum.Value(), image.checksum);
  EXPECT_EQ(pe::FindImageResource(image, pe::PackageType(), pe::PackageName()), nullptr);

  test::ScratchDir scratch;
  const Bytes package = MakePackage(scratch, u"0", 1000).bytes;
  Bytes setup;
  ASSERT_TRUE(pe::AssembleSfx(stub.data(), stub.size(), package.data(), package.size(), setup, error)) << error;
  pe::Image assembled;
  ASSERT_TRUE(pe::ReadImage(setup.data(), setup.size(), assembled, error)) << error;
  auto bytesOf = [](const Bytes& file, const pe::Image& in, const pe::ResourceId& type, const pe::ResourceId& name) {
    const pe::Resource* r = pe::FindImageResource(in, type, name);
    return r == nullptr ? Bytes() : Bytes(file.begin() + r->fileOffset, file.begin() + r->fileOffset + r->size);
  };
  EXPECT_EQ(bytesOf(setup, assembled, pe::PackageType(), pe::PackageName()), package);
  for (uint16_t type : {16, 24}) {
    const Bytes kept = bytesOf(stub, image, pe::ResourceId::Number(type), pe::ResourceId::Number(1));
    EXPECT_FALSE(kept.empty()) << type;
    EXPECT_EQ(bytesOf(setup, assembled, pe::ResourceId::Number(type), pe::ResourceId::Number(1)), kept) << type;
  }
}

// A package of three kinds of bytes to damage: "a.txt" in the solid block, "b.bin"
// stored, and the table; and a registry value. Where each lies, from its table.
struct CheckedPackage {
  explicit CheckedPackage(const test::ScratchDir& scratch) {
    const fs::path src = scratch.fs_path() / ("src" + Narrow(Unique()));
    fs::create_directories(src / "##install##");
    WriteBytes(src / "##install##" / "a.txt", std::string(20000, 'a'));
    WriteBytes(src / "##install##" / "b.bin", Noise(5000));
    WriteBytes(src / "##reg##.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + Narrow(key) + "]\r\n\"v\"=\"1\"\r\n");
    GMPacker packer;
    auto policy = std::make_shared<GMFilePolicy>();
    policy->AddMethodRule(kMethodStored, u".bin");
    packer.SetPolicy(policy);
    packer.SetDefaultMethod(kMethodSolid);
    EXPECT_TRUE(packer.SetSource(test::SysPath(src), false));
    const std::vector<unsigned char> meta = SerializeMetadata(MetadataPairs{{u"gmfolder", folder}});
    EXPECT_TRUE(packer.AddInlineEntry(packer.Root(), kMetadataEntryName, meta.data(), meta.size()));
    const std::u16string path = scratch.Join(u"p" + Unique() + u".gmz");
    EXPECT_TRUE(packer.PackToFile(path));
    const std::string read = ReadBytes(test::FsPath(path));
    bytes.assign(read.begin(), read.end());

    GMUnpacker reader(path);
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

TEST(SetupWin, ADamagedPackageChangesNothing) {
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

TEST(SetupWin, FailuresLeaveTheMachineAsItWas) {
  test::ScratchDir scratch;
  // No package at all: the first message, and nothing else happens.
  Messages messages;
  EXPECT_EQ(RunSetup(nullptr, 0, messages), -1);
  EXPECT_EQ(messages.shown, std::vector<std::u16string>{u"读取安装包资源出错，请重新获取安装包。"});

  // A package made before packages were checked (no trailer), its solid block damaged
  // after some files were written: the reader's message, and nothing installed, the
  // file it was writing included.
  {
    Package p = MakePackage(scratch, u"0", 4000000);
    Cleanup cleanup(p);
    Bytes damaged(p.bytes.begin(), p.bytes.end() - kGmzTrailerSize);
    for (size_t i = 3000000; i < 3001000; ++i) damaged[i] ^= 0x5A;
    Messages shown;
    EXPECT_EQ(RunSetup(damaged.data(), damaged.size(), shown), -1);
    ASSERT_EQ(shown.shown.size(), 1u);
    EXPECT_TRUE(test::StartsWithText(shown.shown[0], u"安装失败:数据处理错误，偏移:")) << Narrow(shown.shown[0]);
    EXPECT_FALSE(fs::exists(test::FsPath(JoinPath(ProgramFiles(), p.folder))));
    EXPECT_FALSE(fs::exists(test::FsPath(JoinPath(AppDataPath(), p.appData))));
    EXPECT_EQ(RegText(p.regKey, u"Path"), u"<missing>");
  }

  // A registry key that cannot be made (a lasting key below a volatile one): the key
  // named, the files taken back.
  {
    test::VolatileKey volatileHolder;
    const std::u16string volatileKey = volatileHolder.path();
    Package p = MakePackage(scratch, u"0", 1000,
                            u"\r\n[HKEY_CURRENT_USER\\" + volatileKey + u"\\Lasting]\r\n\"a\"=\"b\"\r\n");
    Cleanup cleanup(p);
    Messages shown;
    EXPECT_EQ(RunSetup(p.bytes.data(), p.bytes.size(), shown), -1);
    ASSERT_EQ(shown.shown.size(), 1u);
    EXPECT_TRUE(test::StartsWithText(shown.shown[0], u"安装失败:注册表写入错误,key:HKEY_CURRENT_USER\\" + volatileKey))
        << Narrow(shown.shown[0]);
    EXPECT_FALSE(fs::exists(test::FsPath(JoinPath(ProgramFiles(), p.folder))));
    EXPECT_FALSE(fs::exists(test::FsPath(JoinPath(AppDataPath(), p.appData))));
    EXPECT_EQ(RegText(p.regKey, u"Path"), u"<missing>");
  }

  // A task that fails: files and registry data taken back (a key right below the root
  // too), the command line named.
  {
    const std::u16string top = u"GmTestTop" + Unique();
    Package p = MakePackage(scratch, u"3", 300000, u"\r\n[HKEY_CURRENT_USER\\" + top + u"\\Game]\r\n\"v\"=\"1\"\r\n");
    Cleanup cleanup(p);
    Messages shown;
    EXPECT_EQ(RunSetup(p.bytes.data(), p.bytes.size(), shown), -1);
    ASSERT_EQ(shown.shown.size(), 1u);
    EXPECT_EQ(shown.shown[0], u"安装失败:任务列表执行错误，命令行:\"##install##\\bin\\game.exe\" 0,错误码:0");
    EXPECT_FALSE(fs::exists(test::FsPath(JoinPath(ProgramFiles(), p.folder))));
    EXPECT_FALSE(fs::exists(test::FsPath(JoinPath(AppDataPath(), p.appData))));
    EXPECT_EQ(RegText(p.regKey, u"Path"), u"<missing>");
    EXPECT_EQ(test::DumpKey(HKEY_CURRENT_USER, top), "<missing>");
  }
}

TEST(SetupWin, OverAnEarlierInstall) {
  test::ScratchDir scratch;
  Package first = MakePackage(scratch);
  Cleanup cleanup(first);
  Messages messages;
  ASSERT_EQ(RunSetup(first.bytes.data(), first.bytes.size(), messages), 0);
  const std::u16string install = JoinPath(ProgramFiles(), first.folder);
  const std::string record = ReadBytes(test::FsPath(JoinPath(install, u"RORarezoru.dat")));

  // A second package for the same folder whose task fails: the first install stays whole.
  test::ScratchDir second;
  Package failing = MakePackage(second, u"3");
  failing.data = std::string(1000, 'n');
  {
    const fs::path src = test::FsPath(failing.dir);
    WriteBytes(src / "##install##" / "bin" / "data.bin", failing.data);
    // Tasks that delete what the earlier install has, then put a new file where a deleted
    // folder was, before the one that fails.
    WriteBytes(src / "##tasks##.txt", "DeleteFile \"##install##\\links\"\r\nDeleteFile \"##install##\\readme.txt\"\r\n"
                                      "CreateShortCut \"##install##\\links\\After\" \"##install##\\bin\\game.exe\"\r\n" +
                                          failing.tasks);
    GMPacker packer;
    ASSERT_TRUE(packer.SetSource(failing.dir, false));
    const std::vector<unsigned char> meta = SerializeMetadata(MetadataPairs{{u"gmfolder", first.folder}});
    ASSERT_TRUE(packer.AddInlineEntry(packer.Root(), kMetadataEntryName, meta.data(), meta.size()));
    ASSERT_TRUE(packer.PackToFile(second.Join(u"p2.gmz")));
  }
  const std::string bytes = ReadBytes(second.fs_path() / "p2.gmz");
  EXPECT_EQ(RunSetup(bytes.data(), bytes.size(), messages), -1);
  const fs::path dir = test::FsPath(install);
  EXPECT_EQ(ReadBytes(dir / "bin" / "data.bin"), first.data);
  EXPECT_EQ(ReadBytes(dir / "readme.txt"), first.readme);
  EXPECT_NE(GetPathAttributes(JoinPath(install, u"readme.txt")) & kFileAttributeReadonly, 0u);
  EXPECT_EQ(ReadBytes(dir / "RORarezoru.dat"), record);
  EXPECT_TRUE(fs::exists(dir / "Game Link.lnk"));
  // The deleted folder is back as it was, without what the failed run put in its place.
  std::vector<std::string> links;
  for (const auto& item : fs::directory_iterator(dir / "links")) links.push_back(item.path().filename().u8string());
  EXPECT_EQ(links, std::vector<std::string>{"Game.lnk"});
  size_t entries = 0;
  for (const auto& item : fs::directory_iterator(dir / "bin")) {
    ++entries;
    EXPECT_NE(item.path().extension(), ".tmp");
  }
  EXPECT_EQ(entries, 2u);
  Cleanup cleanupSecond(failing);
}

// A patch over an install: its own tasks run before its registry data, and the new
// record holds the earlier one's paths and tasks after its own.
TEST(SetupWin, APatchMergesTheEarlierRecord) {
  test::ScratchDir scratch;
  Package p = MakePackage(scratch);
  Cleanup cleanup(p);
  Messages messages;
  ASSERT_EQ(RunSetup(p.bytes.data(), p.bytes.size(), messages), 0);
  const std::u16string install = JoinPath(ProgramFiles(), p.folder);
  UninstallRecord earlier;
  ASSERT_TRUE(ReadUninstallRecord(JoinPath(install, u"RORarezoru.dat"), earlier));

  const fs::path src = scratch.fs_path() / "patch";
  fs::create_directories(src / "##install##");
  WriteBytes(src / "##install##" / "patch.txt", "patched");
  WriteBytes(src / "##tasks##.txt", "ini WriteINIStr \"##install##\\game.ini\" Client Patched 1\r\n");
  GMPacker packer;
  ASSERT_TRUE(packer.SetSource(test::SysPath(src), false));
  const std::vector<unsigned char> meta = SerializeMetadata(MetadataPairs{{u"gmfolder", p.folder}});
  ASSERT_TRUE(packer.AddInlineEntry(packer.Root(), kMetadataEntryName, meta.data(), meta.size()));
  ASSERT_TRUE(packer.PackToFile(scratch.Join(u"patch.gmz")));
  const std::string bytes = ReadBytes(scratch.fs_path() / "patch.gmz");
  const std::unique_ptr<CMemoryFile> file = CMemoryFile::View(bytes.data(), bytes.size());
  GMSfxInstall patch(file.get(), false, 0);
  ASSERT_TRUE(patch.Open(false));
  ASSERT_TRUE(patch.InstallPatch(ProgramFiles())) << Narrow(patch.GetLastErrorMessage());

  EXPECT_EQ(ReadBytes(test::FsPath(JoinPath(install, u"patch.txt"))), "patched");
  EXPECT_EQ(ReadIniString(JoinPath(install, u"game.ini"), u"Client", u"Patched", u""), u"1");
  UninstallRecord merged;
  ASSERT_TRUE(ReadUninstallRecord(JoinPath(install, u"RORarezoru.dat"), merged));
  std::vector<std::u16string> paths = {u"patch.txt", u"##tasks##.txt"};
  paths.insert(paths.end(), earlier.paths.begin(), earlier.paths.end());
  EXPECT_EQ(merged.paths, paths);
  std::vector<std::u16string> tasks = earlier.tasks;
  tasks.insert(tasks.end(), {u"ini WriteINIStr \"##install##\\game.ini\" Client Patched 1"});
  EXPECT_EQ(merged.tasks, tasks);
  EXPECT_EQ(merged.metadata, earlier.metadata);
  EXPECT_EQ(merged.registryUndo, earlier.registryUndo);
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

// A program a failed run started is still running when the run takes its files back: it
// goes out of the way and is deleted at the next restart, with its folder.
TEST(SetupWin, AProgramTheFailedRunStartedGoesAtTheRestart) {
  test::ScratchDir scratch;
  const std::u16string unique = u"GmStarted" + Unique();
  const std::u16string install = JoinPath(ProgramFiles(), unique);
  const std::string mutex = Narrow(unique);
  const std::string bytes = SmallPackage(scratch, unique, [&](const fs::path& src) {
    fs::create_directories(src / "##install##" / "bin");
    fs::copy_file(test::BuiltProgram("tests/gm_sleeper"), src / "##install##" / "bin" / "tool.exe");
    fs::copy_file(test::BuiltProgram("tests/gm_exit_with"), src / "##install##" / "bin" / "check.exe");
    WriteBytes(src / "##tasks##.txt", "start \"##install##\\bin\\tool.exe\" 3000 " + mutex +
                                          "\r\nruncheck 3 \"##install##\\bin\\check.exe\" 0\r\n");
  });
  Messages messages;
  EXPECT_EQ(RunSetup(bytes.data(), bytes.size(), messages), -1);
  HANDLE running = OpenMutexA(SYNCHRONIZE, FALSE, mutex.c_str());
  ASSERT_NE(running, nullptr) << "the started program is still running";
  CloseHandle(running);
  EXPECT_FALSE(PathExists(JoinPath(install, u"bin\\tool.exe")));
  EXPECT_FALSE(PathExists(JoinPath(install, u"bin\\check.exe")));
  std::vector<std::u16string> left;
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

TEST(SetupWin, ARunningProgramIsReplaced) {
  test::ScratchDir scratch;
  Package p = MakePackage(scratch);
  Cleanup cleanup(p);
  Messages messages;
  ASSERT_EQ(RunSetup(p.bytes.data(), p.bytes.size(), messages), 0);
  const std::u16string install = JoinPath(ProgramFiles(), p.folder);
  // The installed program runs (suspended) while the same package installs again.
  std::u16string line = u"\"" + JoinPath(install, u"bin\\game.exe") + u"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, W(&line[0]), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                             &startup, &process));
  ScopedFileHandle running(process.hProcess);
  CloseHandle(process.hThread);
  // A running program cannot be deleted, only renamed.
  ASSERT_FALSE(DeleteFileW(W(JoinPath(install, u"bin\\game.exe"))));
  EXPECT_EQ(RunSetup(p.bytes.data(), p.bytes.size(), messages), 0);
  // The new program is in place; the old one waits aside for the next restart.
  EXPECT_EQ(fs::file_size(test::FsPath(JoinPath(install, u"bin\\game.exe"))),
            fs::file_size(test::BuiltProgram("tests/gm_exit_with")));
  std::vector<std::u16string> aside;
  for (const auto& item : fs::directory_iterator(test::FsPath(JoinPath(install, u"bin")))) {
    if (item.path().extension() == ".tmp") aside.push_back(test::SysPath(item.path()));
  }
  ASSERT_EQ(aside.size(), 1u);
  GMRegKeyHandle session;
  GMRegValueRecord pending;
  ASSERT_TRUE(session.OpenKey(RootKey(kHKeyLocalMachine), u"System\\CurrentControlSet\\Control\\Session Manager",
                              kKeyRead, false));
  EXPECT_TRUE(ScheduledForRestart(aside[0])) << Narrow(aside[0]);
  TerminateProcess(running.Get(), 0);
  WaitForSingleObject(running.Get(), 5000);
}

}  // namespace
}  // namespace Zavro
