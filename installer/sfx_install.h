// The install run: the archive reader turned into an installer. Its hooks map the
// package's top-level macro folders ("##install##", "##my_appdata##", ...) to folders of
// the machine, take "##reg##.reg" / "##reg##.bin" as registry data and "##tasks##.txt"
// as the task list instead of files, repair shortcuts that point into "Z:\##install##"
// and hand every change they make to the run's journal. Extract then applies the
// registry data, writes the uninstall record "RORarezoru.dat" into the install folder,
// runs the tasks and writes the record again with what the tasks made.
//
// A failed run leaves the machine as it found it: the journal (install_journal.h) takes
// every change back, newest first. A successful run commits it: what was moved aside is
// deleted (at the next restart when in use). Every failure with a known cause leaves its
// message in GetLastErrorMessage.
//
// The decisions of the run are portable (sfx_install.cpp). What only Windows can do (the
// registry, shell links, profile files, processes, the system's bitness) is in
// sfx_install_win.cpp; on other systems (sfx_install_posix.cpp) registry data, links,
// profile writes and programs fail with error 50, so a package of files alone installs.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "archive/unpacker.h"
#include "installer/folder_macros.h"
#include "installer/install_journal.h"
#include "installer/package_metadata.h"
#include "installer/task_runner.h"
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
  // A file written only in part is taken back: removed, its original put back.
  void OnEntrySkipped(GMTocNode& entry) override;
  bool CreateFolder(const std::u16string& path) override;
  bool ShouldIgnoreError(uint32_t systemError, const std::u16string& path) override;
  // Moved aside in its own folder, to come back if the run fails.
  bool RemoveExisting(const std::u16string& path) override;
  // Files are this run's from the moment they are created.
  std::unique_ptr<GMBaseFile> OpenOutput(GMTocNode& entry, const std::u16string& path,
                                         uint32_t disposition) override;
  // A folder the run made gets its attributes and times; one that was there gets its
  // attributes only, and they come back if the run fails.
  void FinishFolder(GMTocNode& entry) override;
  // The patch variant: tasks before registry data, and the uninstall record of the
  // earlier install merged into the new one.
  virtual bool InstallPatch(const std::u16string& targetRoot);

  // TaskHost: each change recorded before it is made. A file a task changes is copied
  // aside first (the run fails when it cannot be), one it creates is listed in the
  // record, one it deletes is moved aside until the run ends well (and left where it is
  // when it cannot be).
  std::u16string ExpandMacros(const std::u16string& text) override { return macros_.ExpandMacros(text); }
  bool WriteProfile(const std::u16string& file, const std::u16string& section, const std::u16string* key,
                    const std::u16string* value) override;
  bool CreateShortcut(const ShortcutInfo& info, const std::u16string& file) override;
  void DeletePath(const std::u16string& path) override;
  LaunchResult Launch(const std::u16string& commandLine, bool wait, bool elevate, uint32_t& code) override;
  void ReportTaskFailure(const std::u16string& verb, const std::u16string& commandLine, uint32_t code) override;
  void OnTaskProgress(size_t done, size_t total) override;

  std::u16string GetMeta(const std::u16string& key) { return Zavro::GetMeta(metadata_, key, macros_); }
  bool RunTasks();
  void Rollback() { journal_.Rollback(); }
  // Rewrites a shortcut whose target, working folder or icon starts with
  // "Z:\##install##" for the install folder.
  void FixShortcutFolder(const std::u16string& linkPath);
  // Expands folder macros in the key paths, value names and text data of a record and
  // its sub keys; text values become REG_SZ.
  void ExpandRegistryMacros(GMRegKeyRecord& key);
  // The paths the record lists: what the run created, below the install folder relative
  // to it (the install folder itself as the empty text), elsewhere whole.
  std::vector<std::u16string> InstalledPaths() const;

  void SetRunMode(uint32_t mode) { run_mode_ = mode; }
  void SetWorkingFolder(const std::u16string& folder) { working_folder_ = folder; }
  FolderMacros& Macros() { return macros_; }
  const std::u16string& InstallFolder() const { return install_folder_; }
  const std::vector<std::u16string>& Tasks() const { return tasks_; }
  const std::deque<GMRegKeyRecord>& RegistryKeys() const { return registry_keys_; }
  const MetadataMap& Metadata() const { return metadata_; }

 private:
  bool InstallRun(const std::u16string& targetRoot, bool patch);
  bool TasksOnlyRun(const std::u16string& targetRoot);
  bool Fail();
  // A failure found inside a hook (whose result the reader ignores), reported when the
  // extraction ends.
  void Defer(const ErrorInfo& error);
  // Before a task changes or creates `file`: copied aside, or expected. False (reported)
  // when the copy cannot be made.
  bool BeforeChange(const std::u16string& file);
  // Writes the uninstall record into the install folder through a new file that
  // replaces it whole, with `earlierPaths` after this run's, and the registry view its
  // undo records belong to (`viewMode`) noted in its metadata.
  bool WriteRecord(const std::vector<std::u16string>& earlierPaths, uint32_t viewMode);
  std::u16string RecordedForm(const std::u16string& path) const;

  // Applies the registry key records in `viewMode`: false (reported) after a failure;
  // on success the journal can take it back, and `registry_undo_` holds the undo records.
  bool ApplyRegistry(uint32_t viewMode);
  // What only the system can do (sfx_install_win.cpp, sfx_install_posix.cpp).
  bool WriteProfileValue(const std::u16string& file, const std::u16string& section, const std::u16string* key,
                         const std::u16string* value);
  bool WriteShellLink(const ShortcutInfo& info, const std::u16string& file);
  LaunchResult StartProgram(const std::u16string& commandLine, bool wait, bool elevate, uint32_t& code);

  FolderMacros macros_;
  std::u16string install_folder_;
  std::u16string working_folder_;
  std::vector<unsigned char> registry_undo_;
  std::vector<std::u16string> tasks_;
  std::vector<unsigned char> registry_text_;
  std::deque<GMRegKeyRecord> registry_keys_;
  MetadataMap metadata_;
  uint32_t run_mode_ = 0;
  uint32_t view_mode_;
  InstallJournal journal_;
  std::unique_ptr<ErrorInfo> deferred_;
};

}  // namespace Zavro
