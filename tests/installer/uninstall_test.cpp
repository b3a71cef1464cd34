// Uninstall on the real file system (natively, and again under Wine): records refused
// before anything is touched, and an uninstall failed at each of its changes in turn.
#include "installer/uninstall.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "installer/install_test_support.h"
#include "system/change_seam.h"
#include "system/file_system.h"
#include "system/system_error.h"
#include "test_support.h"

namespace Zavro {
namespace {

namespace fs = test::fs;
using test::Difference;
using test::Snapshot;
using test::Tree;

void WriteRecord(const fs::path& folder, const std::vector<std::u16string>& paths,
                 const MetadataMap& metadata = {}) {
  UninstallRecord record;
  record.paths = paths;
  record.metadata = metadata;
  const std::vector<unsigned char> bytes = SerializeUninstallRecord(record);
  test::WriteBytes(folder / "RORarezoru.dat", std::string(bytes.begin(), bytes.end()));
}

// A record is checked whole before anything is touched.
TEST(Uninstall, RecordsRefusedBeforeAnythingIsTouched) {
  test::ScratchDir scratch;
  const fs::path game = scratch.fs_path() / "Game";
  test::WriteFiles(game, {{"a.txt", "a"}});
  const std::u16string folder = test::SysPath(game);
  const FolderMacros macros({{u"windows", u"C:\\Windows"}, {u"my_appdata", u"C:\\Users\\me\\AppData"},
                             {u"system_driver", u"C:"}});
  UninstallPlan plan;
  ErrorInfo error;

  EXPECT_FALSE(PlanUninstall(folder, u"", macros, plan, error));
  EXPECT_EQ(error.kind, kErrorFileRead);
  EXPECT_EQ(error.word2, kErrorFileNotFound);
  test::WriteBytes(game / "RORarezoru.dat", "GMUT\x02 damaged");
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
  EXPECT_EQ(test::ReadBytes(game / "a.txt"), "a");
  // No folder that holds a system's files is an install folder.
  WriteRecord(game, {u""});
  EXPECT_FALSE(PlanUninstall(u"C:\\Windows", u"", macros, plan, error));
  EXPECT_FALSE(PlanUninstall(u"C:\\", u"", macros, plan, error));
}

// An install of files taken back: what the user added stays with its folders; failed at
// each of its changes, the uninstall leaves the install as it was.
TEST(Uninstall, AFailureAtAnyChangeLeavesTheInstallAsItWas) {
  test::ScratchDir scratch;
  const std::string package = test::PackFiles(
      scratch.fs_path() / "source",
      {{"##install##/bin/game.exe", "game"}, {"##install##/data/deep/level.dat", "level"},
       {"##install##/logs/first.log", "log"}},
      {{u"gmfolder", u"Game"}});
  const fs::path root = scratch.fs_path() / "Programs";
  fs::create_directories(root);
  const fs::path game = root / "Game";
  std::u16string message;
  auto install = [&] {
    ASSERT_TRUE(test::Install(package, test::SysPath(root), message)) << test::Utf8(message);
    // What the player changed and added since.
    test::WriteFiles(game, {{"bin/game.exe", "game, patched by the client"}, {"logs/mine.log", "the player's"}});
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
    Tree left = Snapshot(root);
    if (!uninstalled) {
      ASSERT_TRUE(failed);
      EXPECT_EQ(error.kind, kErrorFileDelete);
      ASSERT_TRUE(left == installed) << "change " << n << ":\n" << Difference(left, installed);
      continue;
    }
    // Only the player's file stays, with its folders; a deletion that failed after the
    // uninstall went through leaves what waits for the restart (which this system does
    // not have), with the folders that hold it.
    for (auto it = left.begin(); it != left.end();) {
      const bool waits = failed && (it->first.find("/~gm") != std::string::npos ||
                                    (it->second[0] == 'd' && it->first != "Game" && it->first != "Game/logs"));
      it = waits ? left.erase(it) : std::next(it);
    }
    const Tree kept = {{"Game", "dw "}, {"Game/logs", "dw "}, {"Game/logs/mine.log", "fw the player's"}};
    EXPECT_TRUE(left == kept) << "change " << n << ":\n" << Difference(left, kept);
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
  std::u16string message;
  for (const std::string name : {"base", "patch"}) {
    const std::string package =
        test::PackFiles(scratch.fs_path() / name, {{"##install##/" + name + "/a.txt", name}}, {{u"gmfolder", u"Game"}});
    ASSERT_TRUE(test::Install(package, test::SysPath(root), message, name == "patch")) << test::Utf8(message);
  }
  UninstallPlan plan;
  ErrorInfo error;
  ASSERT_TRUE(PlanUninstall(test::SysPath(root / "Game"), u"", FolderMacros(), plan, error));
  EXPECT_EQ(plan.files.size(), 2u);
  ASSERT_TRUE(CarryOutUninstall(plan, error));
  EXPECT_FALSE(fs::exists(root / "Game"));
}

}  // namespace
}  // namespace Zavro
