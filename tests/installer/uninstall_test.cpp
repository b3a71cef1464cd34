// Uninstall on the real file system (natively, and again under Wine): records refused
// before anything is touched, and an uninstall failed at each of its changes in turn.
#include "installer/uninstall.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "archive/io/memory_file.h"
#include "installer/install_test_support.h"
#include "installer/sfx_install.h"
#include "system/change_seam.h"
#include "system/file_system.h"
#include "system/system_error.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::ReadBytes;
using test::WriteBytes;
using Tree = std::map<std::string, std::string>;

Tree Snapshot(const fs::path& root) {
  Tree tree;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    tree[item.path().lexically_relative(root).generic_u8string()] =
        item.is_directory() ? "<folder>" : ReadBytes(item.path());
  }
  return tree;
}

void WriteRecord(const fs::path& folder, const std::vector<std::u16string>& paths,
                 const MetadataMap& metadata = {}) {
  UninstallRecord record;
  record.paths = paths;
  record.metadata = metadata;
  const std::vector<unsigned char> bytes = SerializeUninstallRecord(record);
  WriteBytes(folder / "RORarezoru.dat", std::string(bytes.begin(), bytes.end()));
}

// A record is checked whole before anything is touched.
TEST(Uninstall, RecordsRefusedBeforeAnythingIsTouched) {
  test::ScratchDir scratch;
  const fs::path game = scratch.fs_path() / "Game";
  fs::create_directories(game);
  WriteBytes(game / "a.txt", "a");
  const std::u16string folder = test::SysPath(game);
  const FolderMacros macros({{u"windows", u"C:\\Windows"}, {u"my_appdata", u"C:\\Users\\me\\AppData"},
                             {u"system_driver", u"C:"}});
  UninstallPlan plan;
  ErrorInfo error;

  EXPECT_FALSE(PlanUninstall(folder, u"", macros, plan, error));
  EXPECT_EQ(error.kind, kErrorFileRead);
  EXPECT_EQ(error.word2, kErrorFileNotFound);
  WriteBytes(game / "RORarezoru.dat", "GMUT\x02 damaged");
  EXPECT_FALSE(PlanUninstall(folder, u"", macros, plan, error));
  EXPECT_EQ(error.word2, kErrorInvalidData);
  WriteRecord(game, {u"a.txt"}, {{kRegistryViewKey, u"16"}});
  EXPECT_FALSE(PlanUninstall(folder, u"", macros, plan, error));
  EXPECT_EQ(error.word2, kErrorInvalidData);

  for (const char16_t* hostile : {u"..\\Other", u"a\\.\\b", u"a<b", u"nul", u"C:\\", u"C:\\Windows",
                                  u"C:\\Users\\me\\AppData", u"C:\\Other\\x.dll", u"C:\\Windows\\..\\x.dll",
                                  u"\\\\server\\share\\x"}) {
    WriteRecord(game, {u"a.txt", hostile});
    EXPECT_FALSE(PlanUninstall(folder, u"", macros, plan, error)) << test::Utf8(hostile);
    EXPECT_EQ(error.kind, kErrorFileDelete);
    EXPECT_EQ(error.word2, kErrorInvalidName);
    EXPECT_EQ(error.text, hostile);
  }
  // Below the install folder or a system folder, written whole or relative: taken.
  WriteRecord(game, {u"", u"a.txt", u"C:\\Windows\\System32\\x.dll", u"C:\\Users\\me\\AppData\\Game\\save.dat",
                     u"C:\\Games", u"C:\\Games\\x.dll"});
  ASSERT_TRUE(PlanUninstall(folder, u"", macros, plan, error));
  EXPECT_EQ(plan.files, std::vector<std::u16string>{folder + u"\\a.txt"});
  EXPECT_EQ(plan.missing.size(), 4u);
  EXPECT_EQ(plan.view, u"32");
  EXPECT_EQ(ReadBytes(game / "a.txt"), "a");
  // No folder that holds a system's files is an install folder.
  WriteRecord(game, {u""});
  EXPECT_FALSE(PlanUninstall(u"C:\\Windows", u"", macros, plan, error));
  EXPECT_FALSE(PlanUninstall(u"C:\\", u"", macros, plan, error));
}

// An install of files taken back: what the user added stays with its folders; failed at
// each of its changes, the uninstall leaves the install as it was.
TEST(Uninstall, AFailureAtAnyChangeLeavesTheInstallAsItWas) {
  test::ScratchDir scratch;
  const fs::path source = scratch.fs_path() / "source";
  fs::create_directories(source / "##install##" / "bin");
  fs::create_directories(source / "##install##" / "data" / "deep");
  fs::create_directories(source / "##install##" / "logs");
  WriteBytes(source / "##install##" / "bin" / "game.exe", "game");
  WriteBytes(source / "##install##" / "data" / "deep" / "level.dat", "level");
  WriteBytes(source / "##install##" / "logs" / "first.log", "log");
  const std::string package = test::PackFolder(source, MetadataPairs{{u"gmfolder", u"Game"}});
  const fs::path root = scratch.fs_path() / "Programs";
  fs::create_directories(root);
  const fs::path game = root / "Game";
  auto install = [&] {
    const std::unique_ptr<CMemoryFile> file = CMemoryFile::View(package.data(), package.size());
    GMSfxInstall run(file.get(), false, 0);
    ASSERT_TRUE(run.Open(false));
    ASSERT_TRUE(run.Extract(test::SysPath(root)));
    // What the player changed and added since.
    WriteBytes(game / "bin" / "game.exe", "game, patched by the client");
    WriteBytes(game / "logs" / "mine.log", "the player's");
    SetPathAttributes(test::SysPath(game / "data" / "deep" / "level.dat"), kFileAttributeReadonly);
  };
  install();
  const Tree installed = Snapshot(root);
  const FolderMacros macros;

  uint64_t n = 1;
  for (;; ++n) {
    UninstallPlan plan;
    ErrorInfo error;
    ASSERT_TRUE(PlanUninstall(test::SysPath(game), u"", macros, plan, error));
    FailNthChange(n, n % 2 == 1 ? kErrorAccessDenied : kErrorSharingViolation);
    const bool uninstalled = CarryOutUninstall(plan, error);
    const bool failed = InjectedFailureHappened();
    FailNthChange(0, 0);
    if (!uninstalled) {
      ASSERT_TRUE(failed);
      EXPECT_EQ(error.kind, kErrorFileDelete);
      ASSERT_TRUE(Snapshot(root) == installed) << "change " << n;
      continue;
    }
    // Only the player's file stays, with its folders; a deletion that failed after the
    // uninstall went through waits for the restart, which this system does not have.
    Tree left = Snapshot(root);
    if (failed) {
      for (auto it = left.begin(); it != left.end();) {
        it = it->first.find("/~gm") != std::string::npos ? left.erase(it) : std::next(it);
      }
      // And the folders that held only those.
      for (auto it = left.rbegin(); it != left.rend();) {
        const std::string prefix = it->first + "/";
        auto next = left.upper_bound(prefix);
        const bool holds = next != left.end() && next->first.compare(0, prefix.size(), prefix) == 0;
        if (it->second == "<folder>" && !holds && it->first != "Game" && it->first != "Game/logs") {
          it = decltype(it)(left.erase(std::next(it).base()));
        } else {
          ++it;
        }
      }
    }
    EXPECT_TRUE(left == (Tree{{"Game", "<folder>"}, {"Game/logs", "<folder>"}, {"Game/logs/mine.log", "the player's"}}))
        << "change " << n;
    if (!failed) break;
    DeleteTree(test::SysPath(game));
    install();
    ASSERT_TRUE(Snapshot(root) == installed);
  }
  EXPECT_GT(n, 5u);
  std::printf("a failure at each of %u changes\n", static_cast<unsigned>(n - 1));
}

// A patch's record holds the earlier install's paths too: one uninstall takes both back.
TEST(Uninstall, APatchRecordTakesBothInstallsBack) {
  test::ScratchDir scratch;
  const fs::path root = scratch.fs_path() / "Programs";
  fs::create_directories(root);
  auto run = [&](const char* name, const char* file, bool patch) {
    const fs::path source = scratch.fs_path() / name;
    fs::create_directories(source / "##install##" / name);
    WriteBytes(source / "##install##" / name / file, name);
    const std::string package = test::PackFolder(source, MetadataPairs{{u"gmfolder", u"Game"}});
    const std::unique_ptr<CMemoryFile> memory = CMemoryFile::View(package.data(), package.size());
    GMSfxInstall install(memory.get(), false, 0);
    ASSERT_TRUE(install.Open(false));
    ASSERT_TRUE(patch ? install.InstallPatch(test::SysPath(root)) : install.Extract(test::SysPath(root)));
  };
  run("base", "a.txt", false);
  run("patch", "b.txt", true);
  UninstallPlan plan;
  ErrorInfo error;
  ASSERT_TRUE(PlanUninstall(test::SysPath(root / "Game"), u"", FolderMacros(), plan, error));
  EXPECT_EQ(plan.files.size(), 2u);
  ASSERT_TRUE(CarryOutUninstall(plan, error));
  EXPECT_FALSE(fs::exists(root / "Game"));
}

}  // namespace
}  // namespace Zavro
