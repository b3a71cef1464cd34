#include "archive/unpacker.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "archive/converters/converter_registry.h"
#include "archive/converters/lzma_converter.h"
#include "archive/gmz_format.h"
#include "archive/io/file.h"
#include "installer/error_message.h"
#include "system/path_utils.h"
#include "system/string_utils.h"
#include "system/system_error.h"
#include "system/volume.h"

namespace Zavro {

namespace {

// Folders deeper than this cannot be created on any system this extracts to; a
// deeper table is damaged, and refusing it keeps the recursion below bounded.
constexpr uint32_t kMaxDepth = 1024;

// The attribute bits a table may set on what it writes; the others are flags of the
// open call (delete on close, ...) that an archive has no business choosing.
constexpr uint32_t kFileAttributeMask = kFileAttributeReadonly | kFileAttributeHidden | kFileAttributeSystem |
                                        kFileAttributeArchive | kFileAttributeNormal | kFileAttributeTemporary |
                                        kFileAttributeNotContentIndexed;

const FileTime* TimeOrNull(const FileTime& t) { return t.value != 0 ? &t : nullptr; }

bool AtEnd(GMBaseFile& file) {
  uint64_t position = 0, size = 0;
  return file.GetPosition(position) && file.GetSize(size) && position >= size;
}

// Reads as much as asked unless the source ends; false only when a read fails.
bool ReadFully(GMBaseFile& file, unsigned char* buffer, uint32_t length, uint32_t& total) {
  total = 0;
  while (total < length) {
    uint32_t n = 0;
    if (!file.Read(buffer + total, length - total, n)) return n == 0 && AtEnd(file);
    if (n == 0) break;
    total += n;
  }
  return true;
}

// A name that could lead outside the folder it is extracted to, or that the system
// would cut short.
bool IsUnsafeName(const std::u16string& name) {
  if (name.empty() || name.find(u'\0') != std::u16string::npos) return true;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of(u"\\/", start);
    if (end == std::u16string::npos) end = name.size();
    const std::u16string part = name.substr(start, end - start);
    if (part == u"..") return true;
    start = end + 1;
  }
  return name == u".";
}

}  // namespace

// The bytes of one range of the archive, read across volumes in pieces of at most
// kReadChunk bytes.
class GMUnpacker::Input {
 public:
  Input(GMUnpacker& reader, std::vector<uint64_t> sizes) : reader_(reader), sizes_(std::move(sizes)) {}

  bool Start(uint64_t offset, uint64_t length) {
    remaining_ = length;
    position_ = offset;
    volume_ = 0;
    local_ = offset;
    while (volume_ < sizes_.size() && local_ >= sizes_[volume_] && !(local_ == sizes_[volume_] && length == 0)) {
      local_ -= sizes_[volume_];
      ++volume_;
    }
    if (length != 0 && volume_ >= sizes_.size()) return MissingVolume();
    return true;
  }

  // The next piece; `n` is 0 at the end of the range.
  bool Next(unsigned char* buffer, uint32_t& n, uint64_t& pieceOffset) {
    n = 0;
    pieceOffset = position_;
    if (remaining_ == 0) return true;
    while (volume_ < sizes_.size() && local_ >= sizes_[volume_]) {
      ++volume_;
      local_ = 0;
    }
    if (volume_ >= sizes_.size()) return MissingVolume();
    GMBaseFile& file = *reader_.volumes_[volume_];
    uint64_t at = 0;
    if (!file.GetPosition(at)) return ReadFailed();
    if (at != local_) {
      if (!file.Seek(static_cast<int64_t>(local_), kFileBegin, at)) return ReadFailed();
      if (at != local_) return reader_.DataError(position_);
    }
    const uint32_t want = static_cast<uint32_t>(
        std::min<uint64_t>({remaining_, sizes_[volume_] - local_, static_cast<uint64_t>(kReadChunk)}));
    uint32_t got = 0;
    if (!ReadFully(file, buffer, want, got)) return ReadFailed();
    // The volume is shorter than it said a moment ago.
    if (got == 0) return reader_.DataError(position_);
    n = got;
    local_ += got;
    position_ += got;
    remaining_ -= got;
    return true;
  }

  uint64_t Remaining() const { return remaining_; }

 private:
  bool MissingVolume() {
    reader_.ReportError(kErrorFileRead, reader_.VolumeName(volume_), kErrorFileNotFound);
    return false;
  }
  bool ReadFailed() {
    const uint32_t error = LastSystemError();
    if (!reader_.ShouldIgnoreError(error, u"")) reader_.ReportError(kErrorFileRead, u"", error);
    // Even when ignored, the data is missing: the size checks report it.
    return false;
  }

  GMUnpacker& reader_;
  std::vector<uint64_t> sizes_;
  uint64_t remaining_ = 0;
  uint64_t position_ = 0;
  size_t volume_ = 0;
  uint64_t local_ = 0;
};

// Where a stream's output goes: a file (or sink) or a memory entry's buffer, never
// more than `limit` bytes.
class GMUnpacker::Output {
 public:
  Output(GMUnpacker& reader, GMTocNode& entry, GMBaseFile* file)
      : reader_(reader), entry_(entry), file_(file), limit_(entry.size) {}

  // False when the output is refused (reported); `abandoned` when a failed write was
  // ignored: the rest is dropped.
  bool Write(const unsigned char* data, uint32_t n) {
    if (n == 0) return true;
    if (n > limit_ - produced_) return false;
    produced_ += n;
    if (abandoned_) return true;
    if (file_ == nullptr) {
      GMBuffer<unsigned char>& buffer = entry_.buffer;
      std::memcpy(buffer.Data() + buffer.Length(), data, n);
      buffer.SetLength(buffer.Length() + n);
      return true;
    }
    uint32_t written = 0;
    if (file_->Write(data, n, written)) return true;
    const uint32_t error = LastSystemError();
    if (reader_.ShouldIgnoreError(error, u"")) {
      abandoned_ = true;
      return true;
    }
    write_failed_ = true;
    verdict_ = reader_.ReportError(kErrorFileWrite, entry_.path, error);
    return false;
  }

  uint64_t Produced() const { return produced_; }
  bool Abandoned() const { return abandoned_; }
  bool WriteFailed() const { return write_failed_; }
  bool Verdict() const { return verdict_; }

 private:
  GMUnpacker& reader_;
  GMTocNode& entry_;
  GMBaseFile* file_;
  uint64_t limit_;
  uint64_t produced_ = 0;
  bool abandoned_ = false;
  bool write_failed_ = false;
  bool verdict_ = false;
};

// Cuts the solid block's output into its member files, in table order: each member
// takes its size field's worth, the last one what is left of the block's total.
class GMUnpacker::SolidWriter {
 public:
  using Result = SinkResult;

  SolidWriter(GMUnpacker& reader, std::vector<GMTocNode*>& members, uint64_t total)
      : reader_(reader), members_(members), total_(total) {
    for (size_t i = 0; i + 1 < members_.size(); ++i) before_last_ += members_[i]->size;
  }

  bool Begin() { return Advance(); }
  void SetConsumed(uint64_t consumed) { consumed_ = consumed; }
  uint64_t Produced() const { return produced_; }

  Result Write(const unsigned char* data, uint32_t n) {
    if (n > total_ - produced_) return Result::TooMuch;
    while (n != 0) {
      if (index_ >= members_.size()) return Result::TooMuch;
      const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(n, left_));
      if (file_) {
        uint32_t written = 0;
        if (!file_->Write(data, take, written)) {
          const uint32_t error = LastSystemError();
          GMTocNode& member = *members_[index_];
          if (reader_.ShouldIgnoreError(error, member.path)) return Result::Abandoned;
          reader_.ReportError(kErrorFileWrite, member.path, error);
          return Result::Failed;
        }
      }
      data += take;
      n -= take;
      left_ -= take;
      produced_ += take;
      if (!Advance()) return Result::Failed;
    }
    return Result::Ok;
  }

  // Completes the members that need no more bytes (all of them, at the end).
  bool End() { return Advance() && index_ >= members_.size(); }

 private:
  // Closes the current member when it is complete and opens the next ones, completing
  // those of length 0 at once.
  bool Advance() {
    while (index_ < members_.size() && (!open_ || left_ == 0)) {
      if (open_) {
        if (!Complete()) return false;
        ++index_;
        if (index_ >= members_.size()) break;
      }
      if (!OpenMember()) return false;
    }
    return true;
  }

  bool OpenMember() {
    GMTocNode& member = *members_[index_];
    left_ = index_ + 1 == members_.size() ? total_ - before_last_ : member.size;
    file_.reset();
    open_ = true;
    if (reader_.IsFileInTheWay(member.path) && !reader_.RemoveExisting(member.path)) {
      const uint32_t error = LastSystemError();
      if (!reader_.ShouldIgnoreError(error, member.path) && !reader_.ReportError(kErrorFileDelete, member.path, error)) {
        return false;
      }
    } else {
      file_ = reader_.OpenOutput(member, member.path, kCreateAlways);
      if (!file_) {
        const uint32_t error = LastSystemError();
        if (!reader_.ShouldIgnoreError(error, member.path) &&
            !reader_.ReportError(kErrorFileCreate, member.path, error)) {
          return false;
        }
      }
    }
    reader_.OnEntryProgress(member, consumed_);
    if (reader_.observer_) reader_.observer_->OnEntryBegin(member);
    return true;
  }

  bool Complete() {
    GMTocNode& member = *members_[index_];
    if (file_) {
      file_->SetTimes(member.creationTime, member.lastAccessTime, member.lastWriteTime);
      const bool closed = file_->Close();
      const uint32_t error = LastSystemError();
      file_.reset();
      if (!closed && !reader_.ShouldIgnoreError(error, member.path) &&
          !reader_.ReportError(kErrorFileWrite, member.path, error)) {
        return false;
      }
    }
    open_ = false;
    reader_.OnEntryDone(member);
    if (reader_.observer_) reader_.observer_->OnEntryEnd(member);
    return true;
  }

  GMUnpacker& reader_;
  std::vector<GMTocNode*>& members_;
  uint64_t total_;
  uint64_t before_last_ = 0;
  uint64_t produced_ = 0;
  uint64_t consumed_ = 0;
  size_t index_ = 0;
  uint64_t left_ = 0;
  bool open_ = false;
  std::unique_ptr<GMBaseFile> file_;
};

GMUnpacker::GMUnpacker(GMBaseFile* source, bool takeOwnership) : source_(source), chunk_(kReadChunk) {
  if (source != nullptr && takeOwnership) owned_.emplace_back(source);
}

GMUnpacker::GMUnpacker(const std::u16string& archivePath) : archive_path_(archivePath), chunk_(kReadChunk) {}

GMUnpacker::~GMUnpacker() {
  volumes_.clear();
  decoders_.clear();
}

bool GMUnpacker::IsCancelled() const { return cancelled_.load(); }

void GMUnpacker::Cancel() {
  cancelled_.store(true);
  if (observer_) observer_->SetCancelled(true);
}

bool GMUnpacker::ShouldIgnoreError(uint32_t systemError, const std::u16string&) {
  return systemError == 0 || ignore_all_errors_;
}

bool GMUnpacker::ReportError(uint32_t kind, const std::u16string& path, uint32_t systemError) {
  last_error_ = ErrorInfo::File(kind, path, systemError);
  last_error_message_ = FormatErrorMessage(last_error_);
  return observer_ != nullptr && observer_->OnError(last_error_);
}

bool GMUnpacker::ReportDataError(uint32_t kind, uint32_t number1, uint32_t number2) {
  last_error_ = ErrorInfo::Numbers(kind, number1, number2);
  last_error_message_ = FormatErrorMessage(last_error_);
  return observer_ != nullptr && observer_->OnError(last_error_);
}

bool GMUnpacker::DataError(uint64_t offset) {
  ReportDataError(kErrorDecoder, static_cast<uint32_t>(offset), static_cast<uint32_t>(offset >> 32));
  return false;
}

std::u16string GMUnpacker::VolumeName(size_t index) const {
  return FormatString(u"%s%s%d", volume_base_, u".part", static_cast<int32_t>(index));
}

bool GMUnpacker::OpenVolume(const std::u16string& path, const std::u16string& reportedName) {
  auto file = std::make_shared<GMFile>();
  if (!file->Open(path, kGenericRead, kFileShareRead, kOpenExisting, kFileFlagSequentialScan)) {
    ReportError(kErrorFileRead, reportedName, LastSystemError());
    return false;
  }
  owned_.push_back(file);
  volumes_.push_back(file.get());
  return true;
}

bool GMUnpacker::Open(bool multiVolume) {
  if (opened_) return false;
  if (source_ != nullptr) {
    if (!LoadToc(*source_)) return false;
    volumes_.assign(1, source_);
    return true;
  }
  if (archive_path_.empty()) return false;
  volumes_.clear();
  if (!multiVolume) {
    if (!OpenVolume(archive_path_, u"")) return false;
    return LoadToc(*volumes_[0]);
  }
  volume_base_ = archive_path_;
  if (EndsWithNoCase(archive_path_, u".part0")) volume_base_ = archive_path_.substr(0, archive_path_.rfind(u'.'));
  for (size_t index = 0;; ++index) {
    const std::u16string name = VolumeName(index);
    if (!IsFile(name)) break;
    if (!OpenVolume(name, name)) return false;
  }
  if (volumes_.empty()) {
    // Nothing to read is no archive: say which volume is missing.
    ReportError(kErrorFileRead, VolumeName(0), kErrorFileNotFound);
    return false;
  }
  return LoadToc(*volumes_[0]);
}

bool GMUnpacker::LoadToc(GMBaseFile& source) {
  uint64_t size = 0;
  if (!source.GetSize(size)) {
    ReportError(kErrorFileRead, u"", LastSystemError());
    return false;
  }
  unsigned char header[kGmzHeaderSize];
  uint32_t read = 0;
  if (!ReadFully(source, header, kGmzHeaderSize, read) || read < kGmzHeaderSize) {
    ReportDataError(kErrorArchiveHeader, read, 0);
    return false;
  }
  GmzHeader parsed;
  uint32_t code = 0;
  if (!ParseGmzHeader(header, parsed, code)) {
    ReportDataError(kErrorArchiveHeader, code, 0);
    return false;
  }
  std::vector<unsigned char> toc(parsed.tocSize);
  if (!ReadFully(source, toc.data(), parsed.tocSize, read)) {
    ReportError(kErrorFileRead, u"", LastSystemError());
    return false;
  }
  if (read != parsed.tocSize || !ParseToc(toc.data(), toc.size(), root_, code) || !ValidateTree()) {
    root_.ClearChildren();
    ReportDataError(kErrorArchiveHeader, kTocErrorInvalid, 0);
    return false;
  }
  version_ = parsed.version;
  toc_size_ = parsed.tocSize;
  root_.type = kTocDirectory;
  opened_ = true;
  total_ = root_.TotalCompressedSize();
  done_ = 0;
  return true;
}

// What the format allows but no writer makes and no reader can honour: memory entries
// beyond kMaxMemoryEntrySize, a second solid block, solid members after the block's
// last member or without one, members larger together than their block, trees deeper
// than kMaxDepth.
bool GMUnpacker::ValidateTree() {
  const GMTocNode* last = nullptr;
  bool memberAfterLast = false;
  uint64_t memberSizes = 0;
  std::vector<std::pair<const GMTocNode*, uint32_t>> pending;
  for (auto it = root_.children.rbegin(); it != root_.children.rend(); ++it) pending.emplace_back(it->get(), 1);
  while (!pending.empty()) {
    auto [node, depth] = pending.back();
    pending.pop_back();
    if (depth > kMaxDepth) return false;
    if (node->IsMemory() && (node->size > kMaxMemoryEntrySize || node->method == kMethodSolid)) return false;
    if (node->IsNotDirectory() && !node->IsInline() && node->method == kMethodSolid) {
      if (last != nullptr) memberAfterLast = true;
      if (node->compressedSize != 0) {
        if (last != nullptr) return false;
        last = node;
      } else {
        memberSizes += node->size;
        if (memberSizes < node->size) return false;
      }
    }
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) pending.emplace_back(it->get(), depth + 1);
  }
  if (memberAfterLast) return false;
  if (last == nullptr) return memberSizes == 0;
  return memberSizes <= last->size;
}

GMCompressConverter::Ptr GMUnpacker::GetDecoder(uint32_t method) {
  // The solid block is an LZMA stream: one decoder (and one dictionary) serves both.
  if (method == kMethodSolid) method = kMethodLzma;
  auto cached = decoders_.find(method);
  if (cached != decoders_.end()) return cached->second;
  GMCompressConverter::Ptr decoder = CreateDecoder(method);
  if (decoder) decoders_[method] = decoder;
  return decoder;
}

bool GMUnpacker::MapTargetPath(GMTocNode&, std::u16string&, std::u16string&, bool& handled) {
  handled = false;
  return true;
}

void GMUnpacker::OnEntryProgress(GMTocNode& entry, uint64_t bytesDone) {
  if (observer_ == nullptr) return;
  const double overall =
      total_ == 0 ? 100.0 : static_cast<double>(done_ + bytesDone) * 100.0 / static_cast<double>(total_);
  const double own = entry.compressedSize == 0
                         ? 100.0
                         : static_cast<double>(bytesDone) * 100.0 / static_cast<double>(entry.compressedSize);
  observer_->OnProgress(overall, own);
  observer_->WaitWhilePaused();
}

bool GMUnpacker::OnEntryDone(GMTocNode&) { return true; }

bool GMUnpacker::CreateFolder(const std::u16string& path) { return CreateDirectoryTree(path); }

std::unique_ptr<GMBaseFile> GMUnpacker::OpenOutput(GMTocNode& entry, const std::u16string& path,
                                                   uint32_t disposition) {
  auto file = std::make_unique<GMFile>();
  if (!file->Open(path, kGenericWrite, kFileShareRead, disposition,
                  (entry.attributes & kFileAttributeMask) | kFileFlagSequentialScan)) {
    return nullptr;
  }
  file->Rewind();
  return file;
}

bool GMUnpacker::IsFileInTheWay(const std::u16string& path) { return IsFile(path); }

void GMUnpacker::FinishFolder(GMTocNode& entry) {
  SetPathAttributes(entry.path, (entry.attributes & kFileAttributeMask) | kFileAttributeDirectory);
  SetFileTimes(entry.path, TimeOrNull(entry.creationTime), TimeOrNull(entry.lastAccessTime),
               TimeOrNull(entry.lastWriteTime));
}

void GMUnpacker::FinishFolders() {
  // Pre-order reversed: every folder after everything inside it, so a read-only
  // attribute or a time is set when nothing more is written below.
  std::vector<GMTocNode*> order;
  std::vector<GMTocNode*> pending{&root_};
  while (!pending.empty()) {
    GMTocNode* node = pending.back();
    pending.pop_back();
    if (node != &root_ && node->IsDirectory() && !node->path.empty()) order.push_back(node);
    for (auto& child : node->children) pending.push_back(child.get());
  }
  for (auto it = order.rbegin(); it != order.rend(); ++it) FinishFolder(**it);
}

void GMUnpacker::FinishEntry(GMTocNode& entry) {
  OnEntryDone(entry);
  done_ += entry.compressedSize;
  if (observer_) observer_->OnEntryEnd(entry);
}

bool GMUnpacker::RemoveExisting(const std::u16string& path) {
  if (DeleteFileForced(path)) return true;
  if (!replace_locked_) return false;
  const uint32_t deleteError = LastSystemError();
  std::u16string temporary;
  if (!TempFileName(DirectoryPart(path), FileNamePart(path), temporary)) {
    SetLastSystemError(deleteError);
    return false;
  }
  DeleteFileForced(temporary);
  if (!MovePath(path, temporary)) return false;
  DeleteAtRestart(temporary);
  return true;
}

bool GMUnpacker::CheckName(const GMTocNode& entry, const std::u16string& path) {
  if (!IsUnsafeName(entry.name)) return true;
  ReportError(kErrorFileCreate, path, kErrorInvalidName);
  return false;
}

bool GMUnpacker::CheckFat32() {
  uint64_t largest = 0;
  std::vector<const GMTocNode*> pending{&root_};
  while (!pending.empty() && largest < (1ULL << 32)) {
    const GMTocNode* node = pending.back();
    pending.pop_back();
    if (node->IsNotDirectory()) largest = std::max(largest, node->size);
    for (const auto& child : node->children) pending.push_back(child.get());
  }
  if (largest < 0xFFFFFFFFULL || target_root_.empty()) return true;
  VolumeInfo info;
  if (QueryVolume(VolumeRootOf(target_root_), info) && info.fileSystemName == u"FAT32") {
    ReportError(kErrorFileTooLargeForFat32, u"", kErrorDiskFull);
    return false;
  }
  return true;
}

bool GMUnpacker::Extract(const std::u16string& targetFolder) {
  if (observer_) observer_->OnBegin();
  cancelled_.store(false);
  if (observer_) observer_->SetCancelled(false);
  auto end = [this](bool ok) {
    if (observer_) observer_->OnEnd(IsCancelled());
    return ok;
  };
  if (IsFile(targetFolder)) {
    ReportError(kErrorFileWrite, targetFolder, kErrorAlreadyExists);
    return end(false);
  }
  if (!PathExists(targetFolder) && !CreateFolder(targetFolder)) {
    ReportError(kErrorFileWrite, targetFolder, LastSystemError());
  }
  target_root_ = targetFolder;
  if (!opened_) return end(false);
  if (!CheckFat32()) return end(false);
  // Targets are worked out anew for every extraction.
  std::vector<GMTocNode*> pending{&root_};
  while (!pending.empty()) {
    GMTocNode* node = pending.back();
    pending.pop_back();
    node->path.clear();
    for (auto& child : node->children) pending.push_back(child.get());
  }
  if (!ExtractChildren(root_, target_root_)) return end(false);
  FinishFolders();
  return end(true);
}

bool GMUnpacker::ExtractChildren(GMTocNode& folder, const std::u16string& path) {
  for (auto& child : folder.children) {
    if (IsCancelled()) return &folder == &root_;
    bool ok = true;
    if (child->IsNotDirectory() && !child->IsInline() && child->method == kMethodSolid) {
      if (child->compressedSize != 0) ok = ExtractSolidBlock(*child, path);
    } else {
      ok = ExtractEntry(*child, path);
    }
    if (!ok) return false;
  }
  return true;
}

bool GMUnpacker::ExtractEntry(GMTocNode& entry, const std::u16string& parentPath) {
  std::u16string parent = parentPath;
  NormalizePath(parent, PathAddSlash);
  std::u16string path = parent;
  std::u16string name = entry.name;
  bool handled = false;
  MapTargetPath(entry, path, name, handled);
  if (!handled) {
    if (!CheckName(entry, JoinPath(parent, name))) return false;
    path = IsAbsolutePath(name) ? name : JoinPath(parent, name);
  }
  entry.path = path;
  entry.name = name;
  if (observer_) observer_->OnEntryBegin(entry);

  if (entry.IsDirectory()) {
    if (IsFileInTheWay(path)) {
      ReportError(kErrorFileCreate, path, kErrorAlreadyExists);
      return false;
    }
    if (!PathExists(path) && !CreateFolder(path)) {
      const uint32_t error = LastSystemError();
      if (!ShouldIgnoreError(error, path)) {
        ReportError(kErrorFileCreate, path, error);
        return false;
      }
      OnEntryProgress(entry, 0);
      FinishEntry(entry);
      return true;
    }
    OnEntryProgress(entry, 0);
    if (!ExtractChildren(entry, path)) return false;
    if (IsCancelled()) return false;
    FinishEntry(entry);
    return true;
  }
  OnEntryProgress(entry, 0);
  return ExtractData(entry);
}

bool GMUnpacker::VolumeSizes(std::vector<uint64_t>& sizes, bool& ignored) {
  ignored = false;
  sizes.clear();
  for (GMBaseFile* volume : volumes_) {
    uint64_t size = 0;
    if (!volume->GetSize(size)) {
      const uint32_t error = LastSystemError();
      if (ShouldIgnoreError(error, u"")) {
        ignored = true;
      } else {
        ReportError(kErrorFileRead, u"", error);
      }
      return false;
    }
    sizes.push_back(size);
  }
  return true;
}

bool GMUnpacker::ExtractData(GMTocNode& entry) {
  if (entry.IsInline()) {
    FinishEntry(entry);
    return true;
  }
  std::vector<uint64_t> sizes;
  bool ignored = false;
  if (!VolumeSizes(sizes, ignored)) return ignored;
  GMCompressConverter::Ptr decoder = GetDecoder(entry.method);
  if (!decoder) {
    ReportDataError(kErrorDecoder, 0, 0);
    return false;
  }
  if (volumes_.empty()) return false;

  if (entry.IsMemory()) {
    entry.buffer.Resize(static_cast<uint32_t>(entry.size));
    entry.buffer.SetLength(0);
    if (entry.buffer.Capacity() != entry.size) {
      ReportError(kErrorFileRead, entry.path, kErrorNotEnoughMemory);
      return false;
    }
    Output output(*this, entry, nullptr);
    if (!DecodeStream(entry, output)) return false;
    FinishEntry(entry);
    return true;
  }

  if (IsFileInTheWay(entry.path) && !RemoveExisting(entry.path)) {
    const uint32_t error = LastSystemError();
    if (ShouldIgnoreError(error, entry.path)) {
      OnEntryProgress(entry, entry.compressedSize);
      return true;
    }
    return ReportError(kErrorFileDelete, entry.path, error);
  }
  std::unique_ptr<GMBaseFile> file = OpenOutput(entry, entry.path, kCreateAlways);
  if (!file) {
    const uint32_t error = LastSystemError();
    if (ShouldIgnoreError(error, entry.path)) {
      OnEntryProgress(entry, entry.compressedSize);
      return true;
    }
    return ReportError(kErrorFileCreate, entry.path, error);
  }
  if (entry.size != 0 || entry.compressedSize != 0) {
    Output output(*this, entry, file.get());
    if (!DecodeStream(entry, output)) return output.WriteFailed() && output.Verdict();
    if (output.Abandoned()) return true;
  }
  file->SetTimes(entry.creationTime, entry.lastAccessTime, entry.lastWriteTime);
  if (!file->Close()) {
    const uint32_t error = LastSystemError();
    if (!ShouldIgnoreError(error, entry.path) && !ReportError(kErrorFileWrite, entry.path, error)) return false;
  }
  FinishEntry(entry);
  return true;
}

bool GMUnpacker::Pump(GMCompressConverter& decoder, Input& input, uint64_t streamEnd,
                      const std::function<void(uint64_t)>& onInput, const std::function<SinkResult(Span)>& sink,
                      bool& abandoned) {
  abandoned = false;
  // Hands the decoder's output on; false to stop (reported, unless the sink gave up).
  auto deliver = [&](uint64_t at) {
    uint32_t n = 0;
    const unsigned char* data = decoder.GetOutput(n);
    const SinkResult result = n != 0 ? sink(Span{data, n}) : SinkResult::Ok;
    decoder.ClearOutput();
    if (result == SinkResult::TooMuch) DataError(at);
    abandoned = result == SinkResult::Abandoned;
    return result == SinkResult::Ok;
  };
  uint64_t consumedTotal = 0;
  for (;;) {
    uint32_t n = 0;
    uint64_t pieceOffset = 0;
    if (!input.Next(chunk_.data(), n, pieceOffset)) return false;
    if (n == 0) break;
    if (IsCancelled()) return false;
    consumedTotal += n;
    onInput(consumedTotal);
    uint32_t offset = 0;
    while (offset < n) {
      if (observer_) observer_->Throttle();
      uint32_t consumed = 0;
      if (!decoder.Process(chunk_.data() + offset, n - offset, consumed, input.Remaining() == 0)) {
        return DataError(pieceOffset + offset);
      }
      offset += consumed;
      const bool produced = decoder.GetPendingCount() != 0;
      if (!deliver(pieceOffset + offset)) return abandoned;
      // The stream ended before its input did: what follows is no part of it.
      if (consumed == 0 && !produced) break;
    }
  }
  // The decoder may hold output that needs no more input.
  for (int round = 0; round < 1 << 20; ++round) {
    uint32_t consumed = 0;
    if (!decoder.Process(nullptr, 0, consumed, true)) return DataError(streamEnd);
    if (decoder.GetPendingCount() == 0) break;
    if (!deliver(streamEnd)) return abandoned;
  }
  return true;
}

bool GMUnpacker::DecodeStream(GMTocNode& entry, Output& output) {
  std::vector<uint64_t> sizes;
  bool ignored = false;
  if (!VolumeSizes(sizes, ignored)) return false;
  if (entry.size == 0 && entry.compressedSize == 0) return true;
  if (entry.method == kMethodStored && entry.compressedSize != entry.size) return DataError(entry.dataOffset);
  GMCompressConverter::Ptr decoder = GetDecoder(entry.method);
  if (!decoder || !decoder->Reset()) {
    ReportDataError(kErrorDecoder, 0, 0);
    return false;
  }
  if (auto* lzma = dynamic_cast<GMLzmaDecoder*>(decoder.get())) lzma->SetOutputLimit(entry.size);
  Input input(*this, sizes);
  if (!input.Start(entry.dataOffset, entry.compressedSize)) return false;
  const uint64_t streamEnd = entry.dataOffset + entry.compressedSize;
  bool abandoned = false;
  const bool ok = Pump(
      *decoder, input, streamEnd, [&](uint64_t consumed) { OnEntryProgress(entry, consumed); },
      [&](Span out) {
        if (!output.Write(out.data, out.size)) return output.WriteFailed() ? SinkResult::Failed : SinkResult::TooMuch;
        return output.Abandoned() ? SinkResult::Abandoned : SinkResult::Ok;
      },
      abandoned);
  if (!ok) return false;
  if (abandoned) return true;
  if (output.Produced() != entry.size || !decoder->IsStreamEnd()) return DataError(streamEnd);
  return true;
}

bool GMUnpacker::PrepareSolidMembers(GMTocNode& folder, const std::u16string& parentPath,
                                     std::vector<GMTocNode*>& members) {
  for (auto& child : folder.children) {
    if (IsCancelled()) return false;
    GMTocNode& entry = *child;
    if (entry.path.empty()) {
      std::u16string parent = parentPath;
      NormalizePath(parent, PathAddSlash);
      const std::u16string path = IsAbsolutePath(entry.name) ? entry.name : JoinPath(parent, entry.name);
      if (!CheckName(entry, path)) return false;
      entry.path = path;
    }
    if (entry.IsDirectory()) {
      if (IsFileInTheWay(entry.path) || (!PathExists(entry.path) && !CreateFolder(entry.path))) {
        // When ignored, the members below still take their share of the block.
        if (!ShouldIgnoreError(kErrorAlreadyExists, entry.path)) {
          ReportError(kErrorFileCreate, entry.path, kErrorAlreadyExists);
          return false;
        }
      }
      if (!PrepareSolidMembers(entry, entry.path, members)) return false;
    } else if (!entry.IsInline() && entry.method == kMethodSolid) {
      members.push_back(&entry);
    }
  }
  return true;
}

bool GMUnpacker::ExtractSolidBlock(GMTocNode& lastMember, const std::u16string&) {
  std::vector<GMTocNode*> members;
  if (!PrepareSolidMembers(root_, target_root_, members)) return false;
  if (members.empty() || members.back() != &lastMember) {
    ReportDataError(kErrorArchiveHeader, kTocErrorInvalid, 0);
    return false;
  }
  GMCompressConverter::Ptr decoder = GetDecoder(kMethodSolid);
  if (!decoder || !decoder->Reset()) {
    ReportDataError(kErrorDecoder, 0, 0);
    return false;
  }
  const uint64_t total = lastMember.size;
  if (auto* lzma = dynamic_cast<GMLzmaDecoder*>(decoder.get())) lzma->SetOutputLimit(total);
  std::vector<uint64_t> sizes;
  bool ignored = false;
  if (!VolumeSizes(sizes, ignored)) return ignored;
  Input input(*this, sizes);
  if (!input.Start(lastMember.dataOffset, lastMember.compressedSize)) return false;
  const uint64_t streamEnd = lastMember.dataOffset + lastMember.compressedSize;

  SolidWriter writer(*this, members, total);
  if (!writer.Begin()) return false;
  uint64_t counted = 0;
  bool abandoned = false;
  const bool ok = Pump(
      *decoder, input, streamEnd,
      [&](uint64_t consumed) {
        writer.SetConsumed(consumed);
        done_ += consumed - counted;
        counted = consumed;
      },
      [&](Span out) { return writer.Write(out.data, out.size); }, abandoned);
  if (!ok) return false;
  if (abandoned) return true;
  if (writer.Produced() != total || !decoder->IsStreamEnd()) return DataError(streamEnd);
  return writer.End();
}

}  // namespace Zavro
