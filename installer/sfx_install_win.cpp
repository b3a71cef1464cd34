#include "installer/sfx_install.h"

#include <exception>

#include "archive/io/file.h"
#include "installer/task_list.h"
#include "installer/uninstall_record.h"
#include "registry/reg_parser.h"
#include "registry/reg_record_form.h"
#include "registry/reg_text_writer.h"
#include "system/encoding.h"
#include "system/error_info.h"
#include "system/os_version.h"
#include "system/path_utils.h"
#include "system/process.h"
#include "system/shortcut.h"
#include "system/string_utils.h"
#include "system/system_error.h"
#include "system/windows_support.h"

namespace Zavro {

namespace {

const char16_t kRegTextName[] = u"##reg##.reg";
const char16_t kRegRecordsName[] = u"##reg##.bin";
const char16_t kShortcutPlaceholder[] = u"Z:\\##install##";

// The folders an access-denied or sharing error may be ignored in: the system's own,
// which an install only adds to.
const char16_t* const kProtectedFolders[] = {
    u"windows",     u"fonts",       u"cookies",     u"all_users",        u"all_appdata", u"all_programs_menu",
    u"all_docs",    u"all_desktop", u"all_menu",    u"all_startup",      u"all_favorites", u"my_user",
    u"my_desktop",  u"my_menu",     u"my_programs_menu", u"my_startup"};

// The observer of the run, as a launch sees it.
class LaunchGate : public LaunchObserver {
 public:
  explicit LaunchGate(GMCompressProgress& progress) : progress_(progress) {}
  bool IsPaused() override { return progress_.IsPaused(); }
  void WaitWhilePaused() override { progress_.WaitWhilePaused(); }
  bool IsCancelled() override { return progress_.IsCancelled(); }

 private:
  GMCompressProgress& progress_;
};

ErrorInfo ExceptionRecord(const std::u16string& text) {
  ErrorInfo error;
  error.kind = kErrorException;
  error.text = text;
  return error;
}

// An exception's text: the task list's and the registry text's own words are Chinese
// kept in code page 936; other texts are in the ANSI code page.
std::u16string ExceptionText(const std::exception& e) {
  if (const auto* task = dynamic_cast<const GMTaskException*>(&e)) return task->Text();
  std::u16string text = FromCodePage(e.what(), 936);
  return text.empty() ? FromAnsi(e.what()) : text;
}

std::vector<unsigned char> BufferBytes(const GMBuffer<unsigned char>& buffer) {
  return std::vector<unsigned char>(buffer.Data(), buffer.Data() + buffer.Length());
}

uint64_t GetFileSizeOf(const std::u16string& path) {
  GMFile file;
  uint64_t size = 0;
  if (!file.Open(path, kGenericRead, kFileShareRead, kOpenExisting, kFileAttributeNormal) || !file.GetSize(size)) {
    return UINT64_MAX;
  }
  return size;
}

bool ReadWhole(const std::u16string& path, std::vector<unsigned char>& bytes) {
  GMFile file;
  uint64_t size = 0;
  if (!file.Open(path, kGenericRead, kFileShareRead, kOpenExisting, kFileAttributeNormal) || !file.GetSize(size) ||
      size > 0x7FFFFFFF) {
    return false;
  }
  bytes.resize(static_cast<size_t>(size));
  uint32_t done = 0;
  while (done < size) {
    uint32_t read = 0;
    if (!file.Read(bytes.data() + done, static_cast<uint32_t>(size) - done, read) || read == 0) return false;
    done += read;
  }
  return true;
}

}  // namespace

GMSfxInstall::GMSfxInstall(GMBaseFile* source, bool takeOwnership, uint32_t viewMode)
    : GMUnpacker(source, takeOwnership), view_mode_(viewMode) {
  SystemInfo system;
  if (!DescribeOperatingSystem(system) || !system.is64Bit) view_mode_ = 0;
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
    ReportRecord(ExceptionRecord(u"安装包元数据损坏"));
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
    ReportRecord(ExceptionRecord(ExceptionText(e)));
  } catch (...) {
    ReportRecord(ExceptionRecord(u""));
  }
  return Fail();
}

bool GMSfxInstall::InstallPatch(const std::u16string& targetRoot) {
  try {
    return InstallRun(targetRoot, true);
  } catch (const std::exception& e) {
    ReportRecord(ExceptionRecord(ExceptionText(e)));
  } catch (...) {
    ReportRecord(ExceptionRecord(u""));
  }
  return Fail();
}

bool GMSfxInstall::Fail() {
  Rollback();
  if (Observer()) Observer()->OnEnd(IsCancelled());
  return false;
}

void GMSfxInstall::Defer(const ErrorInfo& error) {
  if (!deferred_) deferred_ = std::make_unique<ErrorInfo>(error);
}

bool GMSfxInstall::InstallRun(const std::u16string& targetRoot, bool patch) {
  tasks_.clear();
  installed_.clear();
  earlier_paths_.clear();
  unfinished_.clear();
  replaced_.clear();
  task_files_.clear();
  registry_keys_.clear();
  registry_text_.clear();
  deferred_.reset();
  registry_applied_ = false;
  LoadPackageMetadata(Root(), metadata_);
  std::u16string name = GetMeta(u"gmfolder");
  NormalizePath(name, PathBackslashes);
  std::u16string folder;
  if (!ResolveInstallFolder(targetRoot, name, macros_, folder)) {
    ReportError(kErrorFileCreate, folder, kErrorInvalidName);
    return false;
  }
  applier_ = std::make_unique<GMRegApplier>(patch ? 0 : view_mode_);
  install_folder_ = folder;
  macros_.DefineMacro(u"install", folder);

  const bool extracted = GMUnpacker::Extract(folder);
  if (deferred_) ReportRecord(*deferred_);
  if (!extracted || deferred_ || IsCancelled()) return Fail();
  if (patch ? !RunTasks() || !ApplyRegistry() : !ApplyRegistry() || !RunTasks()) return Fail();
  GMBuffer<unsigned char> undo;
  applier_->SaveUndo(undo);
  registry_undo_ = BufferBytes(undo);
  if (patch) {
    UninstallRecord earlier;
    if (!ReadUninstallRecord(JoinPath(folder, kUninstallRecordName), earlier)) {
      ReportError(kErrorFileRead, JoinPath(folder, kUninstallRecordName), kErrorInvalidData);
      return Fail();
    }
    earlier_paths_ = earlier.paths;
    // The newer undo records first: they take back what came last.
    GMBuffer<unsigned char> merged;
    merged.Resize(static_cast<uint32_t>(earlier.registryUndo.size()));
    std::copy(earlier.registryUndo.begin(), earlier.registryUndo.end(), merged.Data());
    merged.SetLength(static_cast<uint32_t>(earlier.registryUndo.size()));
    MergeRegRecords(undo, merged);
    registry_undo_ = BufferBytes(merged);
    tasks_.insert(tasks_.begin(), earlier.tasks.begin(), earlier.tasks.end());
    GMBuffer<unsigned char> text;
    text.Resize(static_cast<uint32_t>(registry_text_.size()));
    std::copy(registry_text_.begin(), registry_text_.end(), text.Data());
    text.SetLength(static_cast<uint32_t>(registry_text_.size()));
    GMBuffer<unsigned char> earlierText;
    earlierText.Resize(static_cast<uint32_t>(earlier.registryText.size()));
    std::copy(earlier.registryText.begin(), earlier.registryText.end(), earlierText.Data());
    earlierText.SetLength(static_cast<uint32_t>(earlier.registryText.size()));
    MergeRegText(earlierText, text);
    registry_text_ = BufferBytes(text);
    for (const auto& [key, value] : earlier.metadata) {
      if (!value.empty()) metadata_[key] = value;
    }
  }
  // The earlier record comes back if this one cannot be written.
  const std::u16string recordPath = JoinPath(folder, kUninstallRecordName);
  BeforeChange(recordPath);
  SetLastSystemError(0);
  if (!WriteUninstallRecord(recordPath)) {
    // A record too large to read back is no system's error.
    const uint32_t error = LastSystemError();
    ReportError(kErrorFileWrite, recordPath, error != 0 ? error : kErrorInvalidData);
    return Fail();
  }
  task_files_.clear();
  FinishReplacedFiles();
  return true;
}

bool GMSfxInstall::TasksOnlyRun(const std::u16string& targetRoot) {
  tasks_.clear();
  installed_.clear();
  replaced_.clear();
  task_files_.clear();
  if (!ReadTaskFile(JoinPath(working_folder_, kTaskFileName), tasks_)) return false;
  InsertWorkingFolder(tasks_, working_folder_);
  macros_.DefineMacro(u"install", targetRoot);
  ClearCancelled();
  if (Observer()) Observer()->SetCancelled(false);
  if (RunTasks()) {
    task_files_.clear();
    FinishReplacedFiles();
    return true;
  }
  Rollback();
  if (Observer()) Observer()->OnEnd(IsCancelled());
  return false;
}

bool GMSfxInstall::ApplyRegistry() {
  registry_applied_ = true;
  bool applied = false;
  try {
    applied = applier_->Apply(registry_keys_, IgnoresAllErrors());
  } catch (...) {
    // Taken back by the applier; the run reports what was thrown.
    registry_applied_ = false;
    throw;
  }
  if (applied) return true;
  // The applier took back what it had applied.
  registry_applied_ = false;
  const GMRegException& failure = applier_->LastError();
  ErrorInfo error;
  error.kind = failure.WriteFlag() ? kErrorRegistryWrite : kErrorRegistryRead;
  error.text = failure.Key();
  error.text2 = failure.SecondText();
  error.word3 = failure.Number();
  error.word4 = failure.Code();
  ReportRecord(error);
  return false;
}

bool GMSfxInstall::RunTasks() { return Zavro::RunTasks(tasks_, *this); }

LaunchResult GMSfxInstall::Launch(const std::u16string& commandLine, bool wait, bool elevate, uint32_t& code) {
  std::unique_ptr<LaunchGate> gate;
  if (Observer()) gate = std::make_unique<LaunchGate>(*Observer());
  return LaunchProcess(ExpandMacros(commandLine), wait, elevate, code, CancelFlag(), gate.get());
}

void GMSfxInstall::ReportTaskFailure(const std::u16string& verb, const std::u16string& commandLine, uint32_t code) {
  ErrorInfo error;
  error.kind = kErrorTaskLine;
  error.text = verb;
  error.text2 = commandLine;
  error.word3 = code;
  ReportRecord(error);
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
    if (!ReadRecords(entry.buffer, keys)) Defer(ExceptionRecord(u"注册表数据损坏"));
    for (GMRegKeyRecord& key : keys) {
      ExpandRegistryMacros(key);
      registry_keys_.push_back(std::move(key));
    }
    return true;
  }
  if (entry.name == kRegTextName) {
    std::vector<unsigned char> bytes;
    if (inMemory) {
      bytes = BufferBytes(entry.buffer);
    } else if (!ReadWhole(entry.path, bytes)) {
      Defer(ErrorInfo::File(kErrorFileRead, entry.path, LastSystemError()));
    }
    if (!inMemory) DeleteFileForced(entry.path);
    registry_text_ = bytes;
    try {
      GMRegParser parser;
      parser.Parse(bytes.data(), bytes.size());
      for (GMRegKeyRecord& key : parser.Keys()) {
        ExpandRegistryMacros(key);
        registry_keys_.push_back(std::move(key));
      }
    } catch (const std::exception& e) {
      Defer(ExceptionRecord(ExceptionText(e)));
    }
    return true;
  }
  if (entry.name == kTaskFileName) {
    if (inMemory) {
      if (!ParseTaskList(entry.buffer.Data(), entry.buffer.Length(), tasks_)) {
        Defer(ExceptionRecord(u"任务列表损坏"));
      }
    } else {
      // An empty task list is no task list.
      if (GetFileSizeOf(entry.path) != 0 && !ReadTaskFile(entry.path, tasks_)) {
        Defer(ErrorInfo::File(kErrorFileRead, entry.path, kErrorInvalidData));
      }
      DeleteFileForced(entry.path);
    }
  }
  if (CompareNoCase(ExtensionPart(entry.name), u".lnk") == 0) FixShortcutFolder(entry.path);
  if (entry.IsFile()) {
    RecordPath(entry.path);
    for (auto it = unfinished_.rbegin(); it != unfinished_.rend(); ++it) {
      if (*it == entry.path) {
        unfinished_.erase(std::next(it).base());
        break;
      }
    }
    // The file it replaced may go once the run ends well.
    for (auto it = replaced_.rbegin(); it != replaced_.rend(); ++it) {
      if (it->original == entry.path) {
        it->completed = true;
        break;
      }
    }
  }
  return true;
}

void GMSfxInstall::OnEntryProgress(GMTocNode& entry, uint64_t bytesDone) {
  GMUnpacker::OnEntryProgress(entry, bytesDone);
}

std::unique_ptr<GMBaseFile> GMSfxInstall::OpenOutput(GMTocNode& entry, const std::u16string& path,
                                                     uint32_t disposition) {
  // Folders the file's creation would make are this run's too.
  const std::u16string parent = DirectoryPart(path);
  if (!parent.empty() && !PathExists(parent)) CreateFolder(parent);
  std::unique_ptr<GMBaseFile> file = GMUnpacker::OpenOutput(entry, path, disposition);
  if (file) unfinished_.push_back(path);
  return file;
}

std::vector<std::u16string> GMSfxInstall::MissingFolders(const std::u16string& path) {
  std::u16string trimmed = path;
  NormalizePath(trimmed, PathRemoveSlash);
  std::vector<std::u16string> missing;
  for (std::u16string folder = trimmed; !folder.empty() && !PathExists(folder);) {
    missing.push_back(folder);
    const std::u16string parent = DirectoryPart(folder);
    if (parent == folder || parent.empty() || parent.back() == u':') break;
    folder = parent;
  }
  return std::vector<std::u16string>(missing.rbegin(), missing.rend());
}

bool GMSfxInstall::CreateFolder(const std::u16string& path) {
  // Every folder the creation makes, from the first missing one down, is this run's.
  for (const std::u16string& folder : MissingFolders(path)) RecordPath(folder);
  return GMUnpacker::CreateFolder(path);
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

bool GMSfxInstall::RemoveExisting(const std::u16string& path) {
  // Moved aside in its own folder, to come back if the run fails.
  return MoveAside(path, false, false);
}

bool GMSfxInstall::MoveAside(const std::u16string& path, bool folder, bool completed) {
  std::u16string aside;
  if (!TempFileName(DirectoryPart(path), FileNamePart(path), aside)) return false;
  DeleteFileForced(aside);
  if (!MovePath(path, aside)) return false;
  replaced_.push_back(Replaced{path, aside, folder, completed});
  return true;
}

void GMSfxInstall::PutBack(const std::u16string& original, const std::u16string& aside) {
  if (!PathExists(aside)) return;
  if (PathExists(original) && !DeleteFileForced(original)) {
    // A new program already running: out of the way, gone at the next restart.
    std::u16string blocked;
    if (TempFileName(DirectoryPart(original), FileNamePart(original), blocked)) {
      DeleteFileForced(blocked);
      if (MovePath(original, blocked)) DeleteAtRestart(blocked);
    }
  }
  MovePath(aside, original);
}

bool GMSfxInstall::IsThisRunsFile(const std::u16string& path) const {
  for (const std::u16string& recorded : installed_) {
    if (IsSamePath(FullPathOf(recorded), path)) return true;
  }
  for (const Replaced& replaced : replaced_) {
    if (IsSamePath(replaced.original, path)) return true;
  }
  for (const std::u16string& file : task_files_) {
    if (IsSamePath(file, path)) return true;
  }
  return false;
}

void GMSfxInstall::BeforeChange(const std::u16string& path) {
  // A name without a folder is the system's business (an INI file in the Windows
  // folder), and a file this run made or saved already is the run's own.
  if (!IsAbsolutePath(path) || IsThisRunsFile(path)) return;
  if (!PathExists(path)) {
    for (const std::u16string& folder : MissingFolders(DirectoryPart(path))) task_files_.push_back(folder);
    task_files_.push_back(path);
    return;
  }
  // Copied aside: the task changes the file in place.
  std::u16string aside;
  if (IsFile(path) && TempFileName(DirectoryPart(path), FileNamePart(path), aside)) {
    if (CopyFileW(W(path), W(aside), FALSE)) {
      replaced_.push_back(Replaced{path, aside, false, true});
    } else {
      DeleteFileForced(aside);
    }
  }
}

void GMSfxInstall::DeletePath(const std::u16string& path) {
  if (!PathExists(path)) return;
  // What an earlier install or the user had is moved aside until the run ends well.
  if (!IsAbsolutePath(path) || IsThisRunsFile(path) || !MoveAside(path, IsDirectory(path), true)) {
    TaskHost::DeletePath(path);
  }
}

void GMSfxInstall::FinishReplacedFiles() {
  for (const Replaced& replaced : replaced_) {
    if (!replaced.completed) {
      // Its replacement was skipped: the file comes back.
      PutBack(replaced.original, replaced.aside);
    } else if (replaced.folder) {
      DeleteTree(replaced.aside);
    } else if (!DeleteFileForced(replaced.aside) && ReplaceLockedFiles()) {
      // A program still running is deleted at the next restart.
      DeleteAtRestart(replaced.aside);
    }
  }
  replaced_.clear();
}

std::u16string GMSfxInstall::FullPathOf(const std::u16string& recorded) const {
  if (recorded.empty()) return install_folder_;
  return IsAbsolutePath(recorded) ? recorded : JoinPath(install_folder_, recorded);
}

void GMSfxInstall::Rollback() {
  if (registry_applied_ && applier_) {
    applier_->Rollback();
    registry_applied_ = false;
  }
  for (auto it = task_files_.rbegin(); it != task_files_.rend(); ++it) {
    if (IsDirectory(*it)) {
      RemoveEmptyFolder(*it);
    } else {
      DeleteFileForced(*it);
    }
  }
  for (auto it = unfinished_.rbegin(); it != unfinished_.rend(); ++it) DeleteFileForced(*it);
  for (auto it = installed_.rbegin(); it != installed_.rend(); ++it) {
    const std::u16string path = FullPathOf(*it);
    if (IsDirectory(path)) {
      RemoveEmptyFolder(path);
    } else if (PathExists(path)) {
      DeleteFileForced(path);
    }
  }
  for (auto it = replaced_.rbegin(); it != replaced_.rend(); ++it) PutBack(it->original, it->aside);
  replaced_.clear();
  installed_.clear();
  unfinished_.clear();
  task_files_.clear();
}

void GMSfxInstall::RecordPath(const std::u16string& path) {
  std::u16string recorded = path;
  const size_t length = install_folder_.size();
  // Below the install folder only when a separator follows it (or nothing).
  if (length != 0 && path.size() >= length && CompareNoCase(path.substr(0, length), install_folder_) == 0 &&
      (path.size() == length || path[length] == u'\\' || path[length] == u'/')) {
    recorded = path.substr(length);
    if (!recorded.empty()) recorded.erase(0, 1);
  }
  installed_.push_back(recorded);
}

void GMSfxInstall::FixShortcutFolder(const std::u16string& linkPath) {
  ShortcutInfo info;
  if (!ReadShortcut(linkPath, info)) return;
  bool changed = false;
  for (std::u16string* field : {&info.target, &info.workingDirectory, &info.iconPath}) {
    if (field->compare(0, 14, kShortcutPlaceholder) != 0) continue;
    ReplaceAll(*field, kShortcutPlaceholder, install_folder_.c_str());
    changed = true;
  }
  if (changed) CreateShellLink(info, linkPath);
}

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

bool GMSfxInstall::WriteUninstallRecord(const std::u16string& path) {
  UninstallRecord record;
  record.paths = installed_;
  record.paths.insert(record.paths.end(), earlier_paths_.begin(), earlier_paths_.end());
  record.registryUndo = registry_undo_;
  record.tasks = tasks_;
  record.registryText = registry_text_;
  record.metadata = metadata_;
  return Zavro::WriteUninstallRecord(path, record);
}

}  // namespace Zavro
