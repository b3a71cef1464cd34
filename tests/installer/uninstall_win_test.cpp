// The uninstaller end to end under Wine: a package that carries uninstall.exe and
// registers it with the system's list of programs, installed, then taken back by
// uninstall.exe /S and by gmz.exe uninstall, failed at each of its changes, and refused
// when its record is hostile.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "installer/folder_macros.h"
#include "installer/install_test_support.h"
#include "installer/setup_entry.h"
#include "installer/uninstall.h"
#include "installer/uninstall_entry.h"
#include "registry/reg_win_test_support.h"
#include "system/change_seam.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/known_folders.h"
#include "system/shortcut.h"
#include "system/system_error.h"
#include "system/windows_support.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::ReadBytes;
using test::WriteBytes;

std::string Narrow(const std::u16string& text) { return test::Utf8(text); }

class Quiet : public SetupMessages, public UninstallDialogs {
 public:
  void Show(const std::u16string& text, const std::u16string&) override { shown.push_back(text); }
  bool Ask(const std::u16string&, const std::u16string&) override { return false; }
  std::vector<std::u16string> shown;
};

// A client whose package carries the uninstaller and registers it, with files in the
// install folder and in a macro folder, a desktop shortcut and an INI file a task makes,
// and registry data that creates keys and changes a value that was there.
struct Client {
  Client() {
    const std::u16string unique = u"GmUninstall" + test::Decimal(GetCurrentProcessId()) + u"_" +
                                  test::Decimal(GetTickCount64() % 100000);
    folder = unique;
    key = u"Software\\GmTest\\" + unique;
    listKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + unique;
    FolderMacros macros;
    install = JoinPath(SpecialFolderPath(kCsidlProgramFilesX86), unique);
    appData = JoinPath(macros.LookupMacro(u"my_appdata"), unique);
    link = JoinPath(macros.LookupMacro(u"my_desktop"), unique + u".lnk");
  }
  ~Client() {
    DeleteTree(install);
    DeleteTree(appData);
    DeleteFileForced(link);
    RegDeleteTreeW(HKEY_CURRENT_USER, W(key));
    RegDeleteKeyW(HKEY_CURRENT_USER, W(key));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, W(listKey));
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, W(listKey));
  }

  std::string Package(const test::ScratchDir& scratch) const {
    const std::string list = "HKEY_LOCAL_MACHINE\\" + Narrow(listKey);
    const std::string reg =
        "REGEDIT4\r\n\r\n[" + list + "]\r\n\"DisplayName\"=\"Zavro game client\"\r\n"
        "\"DisplayIcon\"=\"##install##\\\\bin\\\\game.exe\"\r\n\"Publisher\"=\"Lunefa\"\r\n"
        "\"UninstallString\"=\"\\\"##install##\\\\uninstall.exe\\\"\"\r\n"
        "\"QuietUninstallString\"=\"\\\"##install##\\\\uninstall.exe\\\" /S\"\r\n"
        "[HKEY_CURRENT_USER\\" + Narrow(key) + "]\r\n\"v\"=\"new\"\r\n"
        "[HKEY_CURRENT_USER\\" + Narrow(key) + "\\Created]\r\n\"x\"=\"1\"\r\n";
    const std::string tasks = "CreateShortCut \"##my_desktop##\\" + Narrow(folder) +
                              "\" \"##install##\\bin\\game.exe\"\r\n"
                              "ini WriteINIStr \"##install##\\game.ini\" Client Path \"##install##\"\r\n";
    return test::PackFiles(scratch.fs_path() / "client",
                           {{"##install##/uninstall.exe", ReadBytes(test::BuiltProgram("tools/gmz/uninstall"))},
                            {"##install##/bin/game.exe", ReadBytes(test::BuiltProgram("tests/gm_exit_with"))},
                            {"##install##/readme.txt", "read me"},
                            {"##my_appdata##/" + Narrow(folder) + "/save.dat", "saved"},
                            {"##reg##.reg", reg},
                            {"##tasks##.txt", tasks}},
                           {{u"gmfolder", folder}});
  }

  // The files and registry an install and its uninstall touch.
  std::string Machine() const {
    return test::DumpKey(HKEY_CURRENT_USER, key) + "|" + test::DumpKey(HKEY_LOCAL_MACHINE, listKey) + "|" +
           (PathExists(link) ? "link" : "") + "|" + test::DumpFolders({test::FsPath(install), test::FsPath(appData)});
  }

  void Before() const {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, W(key), L"v", REG_SZ, L"old", 8), ERROR_SUCCESS);
  }

  std::u16string folder, key, listKey, install, appData, link;
};

int Gmz(const test::ScratchDir& dir, const std::vector<std::string>& arguments, std::string& output) {
  const int status = test::RunProgram(test::BuiltProgram("tools/gmz/gmz"), arguments, dir.fs_path() / "out.txt",
                                      dir.fs_path() / "err.txt");
  output = ReadBytes(dir.fs_path() / "out.txt") + ReadBytes(dir.fs_path() / "err.txt");
  return status;
}

// What the next restart does: the pending renames and deletions carried out.
void Restart() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  test::ScratchDir dir;
  ASSERT_EQ(test::RunProgram(fs::path(system) / "wineboot.exe", {"-r"}, dir.fs_path() / "o", dir.fs_path() / "e"), 0);
}

// In a prefix of its own: the restart ends every program of the prefix.
TEST(RestartWin, UninstallTakesTheInstallBack) {
  test::ScratchDir scratch;
  Client client;
  client.Before();
  const std::string before = client.Machine();
  const std::string package = client.Package(scratch);

  for (const bool throughGmz : {false, true}) {
    SCOPED_TRACE(throughGmz ? "gmz.exe uninstall" : "uninstall.exe /S");
    Quiet messages;
    ASSERT_EQ(RunSetup(package.data(), package.size(), messages), 0);
    ShortcutInfo shortcut;
    ASSERT_TRUE(ReadShortcut(client.link, shortcut));
    EXPECT_NE(test::DumpKey(HKEY_LOCAL_MACHINE, client.listKey), "<missing>");
    // What the player added, in a folder of their own.
    fs::create_directories(test::FsPath(client.install) / "logs");
    WriteBytes(test::FsPath(client.install) / "logs" / "mine.txt", "the player's");

    std::string output;
    ASSERT_EQ(Gmz(scratch, {"uninstall", Narrow(client.install), "--dry-run", "--json"}, output), 0) << output;
    const nlohmann::json plan = nlohmann::json::parse(output);
    EXPECT_EQ(plan["registry_view"], sizeof(void*) == 4 ? "32" : "64");
    std::vector<std::string> removed;
    for (const auto& path : plan["files"]) removed.push_back(path);
    for (const auto& path : plan["folders"]) removed.push_back(path);
    EXPECT_EQ(plan["kept_folders"], nlohmann::json::array({Narrow(client.install)}));

    if (throughGmz) {
      ASSERT_EQ(Gmz(scratch, {"uninstall", Narrow(client.install)}, output), 0) << output;
    } else {
      ASSERT_EQ(test::RunProgram(test::FsPath(JoinPath(client.install, u"uninstall.exe")), {"/S"},
                                 scratch.fs_path() / "o", scratch.fs_path() / "e"),
                0);
      Restart();
    }
    // Exactly what the dry run said went; the machine is as before but for the
    // player's file and its folders.
    for (const std::string& path : removed) EXPECT_FALSE(fs::exists(fs::u8path(path))) << path;
    size_t deleted = 0;
    for (const auto& change : plan["registry"]) {
      if (change["action"] != "delete") continue;
      const std::u16string name = test::U(change["key"].get<std::string>().c_str());
      const HKEY root = name.rfind(u"HKEY_LOCAL_MACHINE\\", 0) == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
      EXPECT_EQ(test::DumpKey(root, name.substr(name.find(u'\\') + 1)), "<missing>") << Narrow(name);
      ++deleted;
    }
    EXPECT_EQ(deleted, 2u);
    EXPECT_EQ(ReadBytes(test::FsPath(client.install) / "logs" / "mine.txt"), "the player's");
    DeleteTree(client.install);
    EXPECT_EQ(client.Machine(), before);
  }
}

// Failed at each of its changes, an uninstall leaves the install as it was.
TEST(UninstallWin, AFailureAtAnyChangeLeavesTheInstallAsItWas) {
  test::ScratchDir scratch;
  Client client;
  client.Before();
  const std::string package = client.Package(scratch);
  Quiet messages;
  ASSERT_EQ(RunSetup(package.data(), package.size(), messages), 0);
  const std::string installed = client.Machine();
  uint64_t n = 1;
  for (;; ++n) {
    FailNthChange(n, n % 2 == 1 ? kErrorAccessDenied : kErrorSharingViolation);
    Quiet dialogs;
    const int result = RunUninstall(client.install, u"", true, dialogs);
    const bool failed = InjectedFailureHappened();
    FailNthChange(0, 0);
    if (!failed) {
      EXPECT_EQ(result, 0);
      break;
    }
    if (result == 0) {
      // A deletion after the uninstall went through: what it left waits for the restart.
      DeleteTree(client.install);
      DeleteTree(client.appData);
      ASSERT_EQ(RunSetup(package.data(), package.size(), messages), 0);
      ASSERT_EQ(client.Machine(), installed);
      continue;
    }
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(test::StartsWithText(dialogs.shown[0], u"卸载失败:")) << Narrow(dialogs.shown[0]);
    ASSERT_EQ(client.Machine(), installed) << "change " << n << ": " << Narrow(dialogs.shown[0]);
  }
  std::printf("a failure at each of %u changes\n", static_cast<unsigned>(n - 1));
  EXPECT_GT(n, 10u);
}

// A hostile record is refused, with its message, before anything is touched.
TEST(UninstallWin, HostileRecordsAreRefused) {
  test::ScratchDir scratch;
  const fs::path game = scratch.fs_path() / "Game";
  UninstallRecord record;
  record.paths = {u"a.txt", u"C:\\Other\\kernel32.dll"};
  const std::vector<unsigned char> bytes = SerializeUninstallRecord(record);
  test::WriteFiles(game, {{"a.txt", "a"}, {"RORarezoru.dat", std::string(bytes.begin(), bytes.end())}});
  Quiet dialogs;
  EXPECT_EQ(RunUninstall(test::SysPath(game), u"", true, dialogs), -1);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0],
            u"卸载失败:文件(C:\\Other\\kernel32.dll)删除错误,错误码:123," + test::SystemText(123));
  std::string output;
  EXPECT_EQ(Gmz(scratch, {"uninstall", test::Utf8(test::SysPath(game))}, output), 1);
  EXPECT_NE(output.find("kernel32.dll"), std::string::npos) << output;
  EXPECT_EQ(ReadBytes(game / "a.txt"), "a");
  // Asked and answered no: nothing happens.
  EXPECT_EQ(RunUninstall(test::SysPath(game), u"", false, dialogs), 1);
}

}  // namespace
}  // namespace Zavro
