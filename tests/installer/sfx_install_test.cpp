// The install run on the real file system (natively, and again under Wine): an install
// over an earlier one made to fail at each of its changes in turn, the disk compared
// with how it was after every failure.
#include "installer/sfx_install.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "archive/io/file.h"
#include "archive/archive_test_support.h"
#include "installer/install_test_support.h"
#include "installer/uninstall_record.h"
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

TEST(SfxInstall, AFailureAtAnyChangeLeavesTheDiskAsItWas) {
  test::ScratchDir scratch;
  const fs::path root = scratch.fs_path() / "Programs";
  fs::create_directories(root);
  const fs::path game = root / "Game";
  const MetadataPairs meta = {{u"gmfolder", u"Game"}};

  // The earlier install, and what the user added to it since.
  const std::string earlier = test::PackFiles(scratch.fs_path() / "first",
                                              {{"##install##/bin/game.exe", "old game"},
                                               {"##install##/readme.txt", "old readme"},
                                               {"##install##/old/one.txt", "one"},
                                               {"##install##/old/sub/two.txt", "two"}},
                                              meta);
  std::u16string message;
  auto installEarlier = [&] {
    ASSERT_TRUE(test::Install(earlier, test::SysPath(root), message)) << test::Utf8(message);
    test::WriteFiles(game, {{"mine.txt", "the user's"}, {"old/mine.txt", "the user's too"}});
    SetPathAttributes(test::SysPath(game / "readme.txt"), kFileAttributeReadonly);
  };
  ASSERT_NO_FATAL_FAILURE(installEarlier());

  // The new package replaces files (one of them read-only, one in use), adds some in a
  // new folder, writes one large enough to take several writes, and deletes a folder.
  const std::string large = test::Noise(700 * 1024, 7);
  const std::string package = test::PackFiles(scratch.fs_path() / "second",
                                              {{"##install##/bin/game.exe", "new game"},
                                               {"##install##/readme.txt", "new readme"},
                                               {"##install##/data/large.bin", large},
                                               {"##install##/data/deep/small.txt", "small"},
                                               {"##tasks##.txt", "DeleteFile \"##install##\\old\"\r\n"}},
                                              meta);

  const Tree before = Snapshot(root);
  Tree expected = before;
  for (auto it = expected.begin(); it != expected.end();) {
    it = it->first.rfind("Game/old", 0) == 0 ? expected.erase(it) : std::next(it);
  }
  expected["Game/bin/game.exe"] = "fw new game";
  expected["Game/readme.txt"] = "fw new readme";
  expected["Game/data"] = "dw ";
  expected["Game/data/large.bin"] = "fw " + large;
  expected["Game/data/deep"] = "dw ";
  expected["Game/data/deep/small.txt"] = "fw small";
  expected.erase("Game/RORarezoru.dat");

  // The program is in use while each run goes on (and ends with it: on Windows a file
  // deleted while open goes when it is closed).
  GMFile inUse;
  auto run = [&](bool ignoreAllErrors) {
    EXPECT_TRUE(inUse.Open(test::SysPath(game / "bin" / "game.exe"), kGenericRead,
                           kFileShareRead | kFileShareDelete, kOpenExisting, 0));
    const bool installed = test::Install(package, test::SysPath(root), message, false, ignoreAllErrors);
    inUse.Close();
    return installed;
  };
  // Back to the earlier install, for the next run.
  auto restore = [&] {
    DeleteTree(test::SysPath(game));
    installEarlier();
    ASSERT_TRUE(Snapshot(root) == before);
  };
  uint64_t n = 1;
  uint64_t survived = 0;
  for (;; ++n) {
    // Errors no folder lets the run ignore.
    FailNthChange(n, n % 2 == 1 ? kErrorWriteFault : kErrorDiskFull);
    const bool installed = run(false);
    const bool failed = InjectedFailureHappened();
    FailNthChange(0, 0);
    Tree after = Snapshot(root);
    if (!installed) {
      ASSERT_TRUE(failed) << test::Utf8(message);
      ASSERT_TRUE(after == before) << "change " << n << " failed:\n" << Difference(after, before);
      continue;
    }
    // A run survives the failure of a change it can do without: deleting what it moved
    // aside (left for the next restart), moving aside what a task deletes (it stays),
    // deleting its task file, setting a time.
    const std::string record = after["Game/RORarezoru.dat"];
    after.erase("Game/RORarezoru.dat");
    for (auto it = after.begin(); it != after.end();) {
      const bool tolerated = failed && (it->first.find("/~gm") != std::string::npos ||
                                        (it->first.rfind("Game/old", 0) == 0 && before.count(it->first) != 0 &&
                                         before.at(it->first) == it->second) ||
                                        it->first == "Game/##tasks##.txt");
      it = tolerated ? after.erase(it) : std::next(it);
    }
    ASSERT_TRUE(after == expected) << "change " << n << ":\n" << Difference(after, expected);
    ASSERT_FALSE(record.empty());
    if (!failed) break;
    ++survived;
    restore();
  }
  EXPECT_GT(n, 20u);
  std::printf("a failure at each of %u changes; the run survived %u of them\n", static_cast<unsigned>(n - 1),
              static_cast<unsigned>(survived));
  // With every error of the extraction ignored (as in a protected folder), a run whose
  // change fails goes on, but no file is ever left half written: each is the package's
  // whole, or what was there before. (The record's failures still fail the run.)
  for (uint64_t m = 1; m < n; ++m) {
    restore();
    FailNthChange(m, kErrorAccessDenied);
    const bool installed = run(true);
    FailNthChange(0, 0);
    if (!installed) {
      ASSERT_TRUE(Snapshot(root) == before) << "change " << m << " failed";
      continue;
    }
    for (const auto& [name, value] : Snapshot(root)) {
      if (name.find("/~gm") != std::string::npos || name == "Game/RORarezoru.dat" || name == "Game/##tasks##.txt") continue;
      const bool whole = (expected.count(name) != 0 && expected.at(name) == value) ||
                         (before.count(name) != 0 && before.at(name) == value);
      ASSERT_TRUE(whole) << "change " << m << " left " << name << " neither old nor new";
    }
  }
  restore();
  ASSERT_TRUE(test::Install(package, test::SysPath(root), message));

  // The record lists what the run created, relative to the install folder.
  UninstallRecord record;
  ASSERT_TRUE(ReadUninstallRecord(test::SysPath(game / "RORarezoru.dat"), record));
  std::vector<std::u16string> paths = record.paths;
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::u16string>{u"##tasks##.txt", u"bin\\game.exe", u"data", u"data\\deep",
                                                u"data\\deep\\small.txt", u"data\\large.bin", u"readme.txt"}));
}

}  // namespace
}  // namespace Zavro
