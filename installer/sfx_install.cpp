#include "installer/sfx_install.h"

#include <exception>

#include "archive/io/file.h"
#include "installer/registry_step.h"
#include "installer/task_list.h"
#include "installer/uninstall_record.h"
#include "registry/reg_parser.h"
#include "registry/reg_record_form.h"
#include "registry/reg_text_writer.h"
#include "system/encoding.h"
#include "system/error_info.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/process.h"
#include "system/shortcut.h"
#include "system/system_error.h"
#include "system/string_utils.h"

namespace Zavro {

namespace {

const char16_t kRegTextName[] = u"##reg##.reg";
const char16_t kRegRecordsName[] = u"##reg##.bin";

// The folders an access-denied or sharing error may be ignored in: the system's own,
// which an install only adds to.
const char16_t* const kProtectedFolders[] = {
    u"windows",     u"fonts",       u"cookies",     u"all_users",        u"all_appdata", u"all_programs_menu",
    u"all_docs",    u"all_desktop", u"all_menu",    u"all_startup",      u"all_favorites", u"my_user",
    u"my_desktop",  u"my_menu",     u"my_programs_menu", u"my_startup"};

// An exception's text: the task list's and the registry text's own words are Chinese
// kept in code page 936; other texts are in the ANSI code page.
std::u16string ExceptionText(const std::exception& e) {
  if (const auto* task = dynamic_cast<const GMTaskException*>(&e)) return task->Text();
  std::u16string text = FromCodePage(e.what(), 936);
  return text.empty() ? FromAnsi(e.what()) : text;
}

}  // namespace

bool GMSfxInstall::ApplyRegistry(uint32_t viewMode) {
  ErrorInfo error;
  if (ApplyRegistryStep(registry_keys_, viewMode, IgnoresAllErrors(), false, journal_, &registry_undo_, error)) {
    return true;
  }
  ReportRecord(error);
  return false;
}

GMSfxInstall::GMSfxInstall(GMBaseFile* source, bool takeOwnership, uint32_t viewMode)
    : GMUnpacker(source, takeOwnership), view_mode_(viewMode) {
  if (!SystemIs64Bit()) view_mode_ = 0;
}

GMSfxInstall::~GMSfxInstall() = default;

bool GMSfxInstall::Open(bool multiVolume) {
  ReadMetadataIni(working_folder_, metadata_);
  if (!GMUnpacker::Open(multiVolume)) return false;
  if (Root().children.empty()) {
    ReportDataError(kErrorArchiveHeader, 8, 0);
    return false;
  }
  if (!LoadPackageMetadata(Root(), metadata_)) {
    ReportRecord(ErrorInfo::Exception(u"安装包元数据损坏"));
    return false;
  }
  return true;
}

bool GMSfxInstall::Extract(const std::u16string& targetRoot) {
  try {
    if (run_mode_ == 0) return InstallRun(targetRoot, false);
    if (run_mode_ == 1) return TasksOnlyRun(targetRoot);
    return false;
  } catch (const std::exception& e) {
    ReportRecord(ErrorInfo::Exception(ExceptionText(e)));
  } catch (...) {
    ReportRecord(ErrorInfo::Exception(u""));
  }
  return Fail();
}

bool GMSfxInstall::InstallPatch(const std::u16string& targetRoot) {
  try {
    return InstallRun(targetRoot, true);
  } catch (const std::exception& e) {
    ReportRecord(ErrorInfo::Exception(ExceptionText(e)));
  } catch (...) {
    ReportRecord(ErrorInfo::Exception(u""));
  }
  return Fail();
}

bool GMSfxInstall::Fail() {
  journal_.Rollback();
  if (Observer()) Observer()->OnEnd(IsCancelled());
  return false;
}

void GMSfxInstall::Defer(const ErrorInfo& error) {
  if (!deferred_) deferred_ = std::make_unique<ErrorInfo>(error);
}

bool GMSfxInstall::InstallRun(const std::u16string& targetRoot, bool patch) {
  // Whatever an earlier run left unfinished is not this run's to take back.
  journal_ = InstallJournal();
  tasks_.clear();
  registry_keys_.clear();
  registry_text_.clear();
  registry_undo_.clear();
  deferred_.reset();
  LoadPackageMetadata(Root(), metadata_);
  std::u16string name = GetMeta(u"gmfolder");
  NormalizePath(name, PathBackslashes);
  std::u16string folder;
  if (!ResolveInstallFolder(targetRoot, name, macros_, folder)) {
    ReportError(kErrorFileCreate, folder, kErrorInvalidName);
    return false;
  }
  install_folder_ = folder;
  macros_.DefineMacro(u"install", folder);

  const bool extracted = GMUnpacker::Extract(folder);
  if (deferred_) ReportRecord(*deferred_);
  if (!extracted || deferred_ || IsCancelled()) return Fail();
  const uint32_t viewMode = patch ? 0 : view_mode_;
  if (!patch) {
    // The record is written before any program starts, so that a run that cannot write
    // it fails while nothing runs; once programs have started, it no longer fails the run.
    if (!ApplyRegistry(viewMode) || !WriteRecord({}, viewMode) || !RunTasks()) return Fail();
    WriteRecord({}, viewMode);
    journal_.Commit();
    return true;
  }
  if (!RunTasks() || !ApplyRegistry(viewMode)) return Fail();
  UninstallRecord earlier;
  const std::u16string recordPath = JoinPath(folder, kUninstallRecordName);
  if (!ReadUninstallRecord(recordPath, earlier)) {
    ReportError(kErrorFileRead, recordPath, kErrorInvalidData);
    return Fail();
  }
  // The newer undo records first: they take back what came last.
  GMBuffer<unsigned char> merged = BufferOf(earlier.registryUndo);
  MergeRegRecords(BufferOf(registry_undo_), merged);
  registry_undo_ = BytesOf(merged);
  tasks_.insert(tasks_.begin(), earlier.tasks.begin(), earlier.tasks.end());
  GMBuffer<unsigned char> text = BufferOf(registry_text_);
  MergeRegText(BufferOf(earlier.registryText), text);
  registry_text_ = BytesOf(text);
  for (const auto& [key, value] : earlier.metadata) {
    if (!value.empty()) metadata_[key] = value;
  }
  if (!WriteRecord(earlier.paths, viewMode)) return Fail();
  journal_.Commit();
  return true;
}

bool GMSfxInstall::TasksOnlyRun(const std::u16string& targetRoot) {
  journal_ = InstallJournal();
  tasks_.clear();
  if (!ReadTaskFile(JoinPath(working_folder_, kTaskFileName), tasks_)) return false;
  InsertWorkingFolder(tasks_, working_folder_);
  macros_.DefineMacro(u"install", targetRoot);
  ClearCancelled();
  if (Observer()) Observer()->SetCancelled(false);
  if (!RunTasks()) return Fail();
  journal_.Commit();
  return true;
}

bool GMSfxInstall::RunTasks() { return Zavro::RunTasks(tasks_, *this); }

std::u16string GMSfxInstall::RecordedForm(const std::u16string& path) const {
  const size_t length = install_folder_.size();
  // Below the install folder only when a separator follows it (or nothing).
  if (length != 0 && path.size() >= length && CompareNoCase(path.substr(0, length), install_folder_) == 0 &&
      (path.size() == length || path[length] == u'\\' || path[length] == u'/')) {
    return path.size() == length ? std::u16string() : path.substr(length + 1);
  }
  return path;
}

std::vector<std::u16string> GMSfxInstall::InstalledPaths() const {
  std::vector<std::u16string> paths;
  for (const std::u16string& path : journal_.ListedPaths()) paths.push_back(RecordedForm(path));
  return paths;
}

bool GMSfxInstall::WriteRecord(const std::vector<std::u16string>& earlierPaths, uint32_t viewMode) {
  UninstallRecord record;
  record.paths = InstalledPaths();
  record.paths.insert(record.paths.end(), earlierPaths.begin(), earlierPaths.end());
  record.registryUndo = registry_undo_;
  record.tasks = tasks_;
  record.registryText = registry_text_;
  record.metadata = metadata_;
  record.metadata[kRegistryViewKey] = ViewModeName(viewMode);
  const std::u16string path = JoinPath(install_folder_, kUninstallRecordName);
  const std::u16string fresh = path + u".new";
  auto failed = [&](uint32_t error) {
    // A record too large to read back is no system's error.
    ReportError(kErrorFileWrite, path, error != 0 ? error : kErrorInvalidData);
    return false;
  };
  SetLastSystemError(0);
  if (!journal_.Created(fresh) && !journal_.AddFile(fresh)) return failed(LastSystemError());
  if (!WriteUninstallRecord(fresh, record)) {
    const uint32_t error = LastSystemError();
    DeleteFileForced(fresh);
    return failed(error);
  }
  // An earlier install's record comes back if this run fails.
  if (!journal_.Holds(path) && PathExists(path) && !journal_.MoveAside(path)) return failed(LastSystemError());
  if (!journal_.Created(path) && !journal_.AddFile(path)) return failed(LastSystemError());
  if (!ReplacePath(fresh, path)) {
    const uint32_t error = LastSystemError();
    DeleteFileForced(fresh);
    return failed(error);
  }
  return true;
}

bool GMSfxInstall::BeforeChange(const std::u16string& file) {
  // A name without a folder is the system's business (a profile in the Windows folder),
  // and a file this run made or saved already is the run's own.
  if (!IsAbsolutePath(file) || journal_.Holds(file)) return true;
  if (!PathExists(file)) {
    journal_.Expect(file);
    return true;
  }
  if (journal_.CopyAside(file)) return true;
  ReportError(kErrorFileWrite, file, LastSystemError());
  return false;
}

bool GMSfxInstall::WriteProfile(const std::u16string& file, const std::u16string& section, const std::u16string* key,
                                const std::u16string* value) {
  if (!BeforeChange(file)) return false;
  // The system's refusal is silent, as every failed profile write of a task.
  WriteProfileValue(file, section, key, value);
  return true;
}

bool GMSfxInstall::CreateShortcut(const ShortcutInfo& info, const std::u16string& file) {
  if (!BeforeChange(file)) return false;
  WriteShellLink(info, file);
  return true;
}

void GMSfxInstall::DeletePath(const std::u16string& path) {
  if (!PathExists(path)) return;
  // This run's own needs no undo. What an earlier install or the user had is moved
  // aside until the run ends well; where it cannot be, it stays.
  if (journal_.Created(path)) {
    TaskHost::DeletePath(path);
  } else {
    journal_.MoveAside(path);
  }
}

LaunchResult GMSfxInstall::Launch(const std::u16string& commandLine, bool wait, bool elevate, uint32_t& code) {
  return StartProgram(ExpandMacros(commandLine), wait, elevate, code);
}

void GMSfxInstall::ReportTaskFailure(const std::u16string& verb, const std::u16string& commandLine, uint32_t code) {
  ReportRecord(ErrorInfo::Task(verb, commandLine, code));
}

void GMSfxInstall::OnTaskProgress(size_t done, size_t total) {
  if (run_mode_ == 1 && Observer() && total != 0) {
    Observer()->OnProgress(static_cast<double>(done) * 100.0 / static_cast<double>(total), 0);
  }
}

bool GMSfxInstall::MapTargetPath(GMTocNode& entry, std::u16string& path, std::u16string& name, bool& handled) {
  handled = false;
  entry.path = JoinPath(path, name);
  if (entry.Parent() != &Root() || name.size() < 5 || name.compare(0, 2, u"##") != 0 ||
      name.compare(name.size() - 2, 2, u"##") != 0) {
    return true;
  }
  const std::u16string macro = name.substr(2, name.size() - 4);
  if (!macros_.IsMacroDefined(macro)) return true;
  const std::u16string value = macros_.LookupMacro(macro);
  if (value.empty()) return true;
  path = DirectoryPart(value);
  name = FileNamePart(value);
  return true;
}

bool GMSfxInstall::OnEntryDone(GMTocNode& entry) {
  const bool inMemory = entry.IsMemory() || entry.IsInline();
  if (entry.name == kRegRecordsName && inMemory) {
    std::deque<GMRegKeyRecord> keys;
    // A damaged record would leave registry data out unnoticed: the install fails.
    if (!ReadRecords(entry.buffer, keys)) Defer(ErrorInfo::Exception(u"注册表数据损坏"));
    for (GMRegKeyRecord& key : keys) {
      ExpandRegistryMacros(key);
      registry_keys_.push_back(std::move(key));
    }
    return true;
  }
  if (entry.name == kRegTextName) {
    std::vector<unsigned char> bytes;
    if (inMemory) {
      bytes = BytesOf(entry.buffer);
    } else {
      if (!ReadWholeFile(entry.path, bytes, kMaxRecordBlock)) {
        Defer(ErrorInfo::File(kErrorFileRead, entry.path, LastSystemError()));
      }
      DeleteFileForced(entry.path);
    }
    registry_text_ = bytes;
    try {
      GMRegParser parser;
      parser.Parse(bytes.data(), bytes.size());
      for (GMRegKeyRecord& key : parser.Keys()) {
        ExpandRegistryMacros(key);
        registry_keys_.push_back(std::move(key));
      }
    } catch (const std::exception& e) {
      Defer(ErrorInfo::Exception(ExceptionText(e)));
    }
    return true;
  }
  if (entry.name == kTaskFileName) {
    if (inMemory) {
      if (!ParseTaskList(entry.buffer.Data(), entry.buffer.Length(), tasks_)) {
        Defer(ErrorInfo::Exception(u"任务列表损坏"));
      }
    } else {
      // An empty task list is no task list.
      if (entry.size != 0 && !ReadTaskFile(entry.path, tasks_)) {
        Defer(ErrorInfo::File(kErrorFileRead, entry.path, kErrorInvalidData));
      }
      DeleteFileForced(entry.path);
    }
  }
  if (CompareNoCase(ExtensionPart(entry.name), u".lnk") == 0) FixShortcutFolder(entry.path);
  if (entry.IsFile()) journal_.List(entry.path);
  return true;
}

void GMSfxInstall::OnEntrySkipped(GMTocNode& entry) {
  if (entry.IsFile()) journal_.TakeBack(entry.path);
}

void GMSfxInstall::OnEntryProgress(GMTocNode& entry, uint64_t bytesDone) {
  GMUnpacker::OnEntryProgress(entry, bytesDone);
}

std::unique_ptr<GMBaseFile> GMSfxInstall::OpenOutput(GMTocNode& entry, const std::u16string& path,
                                                     uint32_t disposition) {
  if (!journal_.AddFile(path)) return nullptr;
  return GMUnpacker::OpenOutput(entry, path, disposition);
}

bool GMSfxInstall::CreateFolder(const std::u16string& path) { return journal_.CreateFolder(path); }

void GMSfxInstall::FinishFolder(GMTocNode& entry) {
  if (journal_.Created(entry.path)) {
    GMUnpacker::FinishFolder(entry);
    return;
  }
  const uint32_t attributes = (entry.attributes & kStoredAttributeMask) | kFileAttributeDirectory;
  if (GetPathAttributes(entry.path) != attributes) journal_.SetAttributes(entry.path, attributes);
}

bool GMSfxInstall::ShouldIgnoreError(uint32_t systemError, const std::u16string& path) {
  if (IgnoresAllErrors()) return true;
  if (systemError != kErrorAccessDenied && systemError != kErrorSharingViolation) return false;
  for (const char16_t* name : kProtectedFolders) {
    const std::u16string folder = macros_.BuiltIn().count(name) != 0 ? macros_.BuiltIn().at(name)
                                                                      : macros_.LookupMacro(name);
    // A folder the system does not have is no prefix of anything, and a folder is the
    // prefix of what lies in it, not of its siblings ("C:\Windows2").
    if (!folder.empty() && path.compare(0, folder.size(), folder) == 0 &&
        (path.size() == folder.size() || path[folder.size()] == u'\\' || path[folder.size()] == u'/')) {
      return true;
    }
  }
  return false;
}

bool GMSfxInstall::RemoveExisting(const std::u16string& path) { return journal_.MoveAside(path); }

void GMSfxInstall::ExpandRegistryMacros(GMRegKeyRecord& key) {
  key.path = ExpandMacros(key.path);
  for (GMRegValueRecord& value : key.values) {
    value.name = ExpandMacros(value.name);
    if (value.type == kRegSz || value.type == kRegExpandSz) {
      value.text = ExpandMacros(value.text);
      value.type = kRegSz;
    }
  }
  for (GMRegKeyRecord& sub : key.subKeys) ExpandRegistryMacros(sub);
}

}  // namespace Zavro
