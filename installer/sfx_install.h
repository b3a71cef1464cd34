// The install run: the archive reader turned into an installer (Windows only). Its
// hooks map the package's top-level macro folders ("##install##", "##my_appdata##",
// ...) to folders of the machine, take "##reg##.reg" / "##reg##.bin" as registry data
// and "##tasks##.txt" as the task list instead of files, repair shortcuts that point
// into "Z:\##install##" and record everything the run creates. Extract then applies the
// registry data, runs the tasks and writes the uninstall record "RORarezoru.dat" into
// the install folder.
//
// A failed run leaves the machine as it found it: the files it installed and the
// folders it created go (a folder only once empty), files it replaced come back (they
// were moved aside in their folder, not copied), and the registry data it applied is
// taken back. After a successful run the replaced files are deleted (at the next
// restart when in use). Every failure with a known cause leaves its message in
// GetLastErrorMessage.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "archive/unpacker.h"
#include "installer/folder_macros.h"
#include "installer/package_metadata.h"
#include "installer/task_runner.h"
#include "registry/reg_applier.h"
#include "registry/reg_records.h"

namespace Zavro {

class GMSfxInstall : public GMUnpacker, public TaskHost {
 public:
  // `viewMode` is the registry applier's; it is 0 on a system that is not 64-bit.
  GMSfxInstall(GMBaseFile* source, bool takeOwnership, uint32_t viewMode);
  ~GMSfxInstall() override;

  // The metadata profile, the archive, then the package's metadata; false for an empty
  // archive or damaged metadata.
  bool Open(bool multiVolume) override;
  // Run mode 0: the install run into `targetRoot` joined with the metadata's "gmfolder".
  // Run mode 1: the tasks of the working folder's "##tasks##.txt".
  bool Extract(const std::u16string& targetRoot) override;
  bool MapTargetPath(GMTocNode& entry, std::u16string& path, std::u16string& name, bool& handled) override;
  void OnEntryProgress(GMTocNode& entry, uint64_t bytesDone) override;
  bool OnEntryDone(GMTocNode& entry) override;
  bool CreateFolder(const std::u16string& path) override;
  bool ShouldIgnoreError(uint32_t systemError, const std::u16string& path) override;
  bool RemoveExisting(const std::u16string& path) override;
  // Files are this run's from the moment they are created: a failed run removes the
  // ones it did not finish too.
  std::unique_ptr<GMBaseFile> OpenOutput(GMTocNode& entry, const std::u16string& path,
                                         uint32_t disposition) override;
  // The patch variant: tasks before registry data, and the uninstall record of the
  // earlier install merged into the new one.
  virtual bool InstallPatch(const std::u16string& targetRoot);

  // TaskHost.
  std::u16string ExpandMacros(const std::u16string& text) override { return macros_.ExpandMacros(text); }
  void RecordPath(const std::u16string& path) override;
  void BeforeChange(const std::u16string& path) override;
  void DeletePath(const std::u16string& path) override;
  LaunchResult Launch(const std::u16string& commandLine, bool wait, bool elevate, uint32_t& code) override;
  void ReportTaskFailure(const std::u16string& verb, const std::u16string& commandLine, uint32_t code) override;
  void OnTaskProgress(size_t done, size_t total) override;

  std::u16string GetMeta(const std::u16string& key) { return Zavro::GetMeta(metadata_, key, macros_); }
  bool RunTasks();
  void Rollback();
  // Rewrites a shortcut whose target, working folder or icon starts with
  // "Z:\##install##" for the install folder.
  void FixShortcutFolder(const std::u16string& linkPath);
  // Expands folder macros in the key paths, value names and text data of a record and
  // its sub keys; text values become REG_SZ.
  void ExpandRegistryMacros(GMRegKeyRecord& key);
  bool WriteUninstallRecord(const std::u16string& path);

  void SetRunMode(uint32_t mode) { run_mode_ = mode; }
  void SetWorkingFolder(const std::u16string& folder) { working_folder_ = folder; }
  FolderMacros& Macros() { return macros_; }
  const std::u16string& InstallFolder() const { return install_folder_; }
  const std::vector<std::u16string>& InstalledPaths() const { return installed_; }
  const std::vector<std::u16string>& Tasks() const { return tasks_; }
  const std::deque<GMRegKeyRecord>& RegistryKeys() const { return registry_keys_; }
  const MetadataMap& Metadata() const { return metadata_; }

 private:
  bool InstallRun(const std::u16string& targetRoot, bool patch);
  bool TasksOnlyRun(const std::u16string& targetRoot);
  bool ApplyRegistry();
  bool Fail();
  // A failure found inside a hook (whose result the reader ignores), reported when the
  // extraction ends.
  void Defer(const ErrorInfo& error);
  std::u16string FullPathOf(const std::u16string& recorded) const;
  void FinishReplacedFiles();
  bool IsThisRunsFile(const std::u16string& path) const;
  // Moves a file or folder aside in its own folder, to be put back by the rollback.
  bool MoveAside(const std::u16string& path, bool folder, bool completed);
  void PutBack(const std::u16string& original, const std::u16string& aside);
  // The folders above `path` that do not exist, the topmost first.
  static std::vector<std::u16string> MissingFolders(const std::u16string& path);

  FolderMacros macros_;
  std::u16string install_folder_;
  std::u16string working_folder_;
  std::vector<unsigned char> registry_undo_;
  std::vector<std::u16string> installed_;
  // A patch's uninstall record adds the earlier record's paths to this run's; only
  // this run's are taken back by a rollback.
  std::vector<std::u16string> earlier_paths_;
  // Files created and not yet finished.
  std::vector<std::u16string> unfinished_;
  std::vector<std::u16string> tasks_;
  std::vector<unsigned char> registry_text_;
  std::deque<GMRegKeyRecord> registry_keys_;
  MetadataMap metadata_;
  uint32_t run_mode_ = 0;
  uint32_t view_mode_;
  std::unique_ptr<GMRegApplier> applier_;
  bool registry_applied_ = false;
  // Files in the way of the package's (and files and folders a task changes or
  // deletes), moved or copied aside in their folder: put back by the rollback, deleted
  // after a successful run. One whose replacement was never finished (a skipped entry)
  // is put back then too.
  struct Replaced {
    std::u16string original;
    std::u16string aside;
    bool folder = false;
    bool completed = false;
  };
  std::vector<Replaced> replaced_;
  // Files and folders the tasks made that the uninstall record does not name (INI
  // files, a shortcut's folder): removed by the rollback, a folder only when empty.
  std::vector<std::u16string> task_files_;
  std::unique_ptr<ErrorInfo> deferred_;
};

}  // namespace Zavro
