#include "archive/unpacker.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>

#include <zlib.h>

#include "archive/converters/converter_registry.h"
#include "archive/converters/lzma_converter.h"
#include "archive/gmz_format.h"
#include "archive/io/file.h"
#include "system/error_message.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/format.h"
#include "system/system_error.h"
#include "system/volume.h"

namespace Zavro {

namespace {

// Folders deeper than this cannot be created on any system this extracts to; a
// deeper table is damaged, and refusing it keeps the recursion below bounded.
constexpr uint32_t kMaxDepth = 1024;

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

// A folder that MapTargetPath chose may be any folder of the machine, but never one
// reached by climbing out of another: no component of dots and spaces alone (Windows
// drops trailing dots and spaces, so ".. " and "..." are no better than "..").
bool Climbs(const std::u16string& path) {
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find_first_of(u"\\/", start);
    if (end == std::u16string::npos) end = path.size();
    const size_t other = path.find_first_not_of(u". ", start);
    if (end > start && (other == std::u16string::npos || other >= end)) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

// The bytes of one range of the archive, read across volumes in pieces of at most
// kReadChunk bytes.
class GMUnpacker::Input {
 public:
  Input(GMUnpacker& reader, std::vector<uint64_t> sizes) : reader_(reader), sizes_(std::move(sizes)) {}

  // Finds [offset, offset + length) in the volumes. A range they do not hold whole is
  // reported like a missing volume: the one that would have to follow the last.
  bool Locate(uint64_t offset, uint64_t length) {
    remaining_ = length;
    position_ = offset;
    end_ = offset + length;
    volume_ = 0;
    local_ = offset;
    if (length == 0) return true;
    uint64_t total = 0;
    for (uint64_t size : sizes_) total += size;
    if (offset >= total || length > total - offset) {
      reader_.Refuse(kErrorFileRead, reader_.VolumeName(sizes_.size()), kErrorFileNotFound);
      return false;
    }
    while (local_ >= sizes_[volume_]) local_ -= sizes_[volume_++];
    return true;
  }

  // The next piece; `n` is 0 at the end of the range.
  Outcome Next(unsigned char* buffer, uint32_t& n, uint64_t& pieceOffset) {
    n = 0;
    pieceOffset = position_;
    if (remaining_ == 0) return Outcome::Done;
    while (volume_ < sizes_.size() && local_ >= sizes_[volume_]) {
      ++volume_;
      local_ = 0;
    }
    if (volume_ >= sizes_.size()) return reader_.DataFailure(position_);
    GMBaseFile& file = *reader_.volumes_[volume_];
    uint64_t at = 0;
    if (!file.GetPosition(at)) return ReadFailed();
    if (at != local_) {
      if (!file.Seek(static_cast<int64_t>(local_), kFileBegin, at)) return ReadFailed();
      if (at != local_) return reader_.DataFailure(position_);
    }
    const uint32_t want = static_cast<uint32_t>(
        std::min<uint64_t>({remaining_, sizes_[volume_] - local_, static_cast<uint64_t>(kReadChunk)}));
    uint32_t got = 0;
    if (!ReadFully(file, buffer, want, got)) return ReadFailed();
    // The volume is shorter than it said a moment ago.
    if (got == 0) return reader_.DataFailure(position_);
    n = got;
    local_ += got;
    position_ += got;
    remaining_ -= got;
    return Outcome::Done;
  }

  uint64_t Remaining() const { return remaining_; }
  uint64_t End() const { return end_; }

 private:
  Outcome ReadFailed() { return reader_.Offer(kErrorFileRead, u"", LastSystemError()); }

  GMUnpacker& reader_;
  std::vector<uint64_t> sizes_;
  uint64_t remaining_ = 0;
  uint64_t position_ = 0;
  uint64_t end_ = 0;
  size_t volume_ = 0;
  uint64_t local_ = 0;
};

// Where a stream's output goes. Write takes the next bytes: Done to go on, Skipped
// when a failure was ignored or approved (the rest of the stream is dropped and counts
// as done), Failed to stop.
class GMUnpacker::Sink {
 public:
  virtual ~Sink() = default;
  virtual Outcome Write(const unsigned char* data, uint32_t n) = 0;
};

class GMUnpacker::FileSink : public Sink {
 public:
  FileSink(GMUnpacker& reader, GMBaseFile& file, const std::u16string& path)
      : reader_(reader), file_(file), path_(path) {}

  Outcome Write(const unsigned char* data, uint32_t n) override {
    uint32_t written = 0;
    if (file_.Write(data, n, written)) return Outcome::Done;
    return reader_.Offer(kErrorFileWrite, path_, LastSystemError());
  }

 private:
  GMUnpacker& reader_;
  GMBaseFile& file_;
  const std::u16string& path_;
};

// A memory entry's buffer, sized for the whole entry (the pump never delivers more).
class GMUnpacker::BufferSink : public Sink {
 public:
  explicit BufferSink(GMBuffer<unsigned char>& buffer) : buffer_(buffer) {}

  Outcome Write(const unsigned char* data, uint32_t n) override {
    std::memcpy(buffer_.Data() + buffer_.Length(), data, n);
    buffer_.SetLength(buffer_.Length() + n);
    return Outcome::Done;
  }

 private:
  GMBuffer<unsigned char>& buffer_;
};

// Cuts the solid block's output into its member files, in table order: each member
// takes its size field's worth, the last one what is left of the block's total. A
// member's file is created when its first byte arrives (an empty member once the bytes
// before it are written): nothing on disk changes before the block decodes. A member
// whose file cannot be replaced, created or written takes its bytes without writing
// them when that failure is ignored or approved; the others are still written.
class GMUnpacker::SolidSink : public Sink {
 public:
  SolidSink(GMUnpacker& reader, const std::vector<GMTocNode*>& members, uint64_t total)
      : reader_(reader), members_(members), total_(total) {
    for (size_t i = 0; i + 1 < members_.size(); ++i) before_last_ += members_[i]->size;
  }

  void SetConsumed(uint64_t consumed) { consumed_ = consumed; }

  Outcome Write(const unsigned char* data, uint32_t n) override {
    while (n != 0) {
      while (!open_) {
        if (index_ >= members_.size()) return reader_.DataFailure(0);
        if (!Start()) return Outcome::Failed;
        if (left_ == 0 && !Complete()) return Outcome::Failed;
      }
      const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(n, left_));
      if (file_) {
        uint32_t written = 0;
        if (!file_->Write(data, take, written)) {
          const Outcome outcome = reader_.Offer(kErrorFileWrite, Member().path, LastSystemError());
          if (outcome == Outcome::Failed) return outcome;
          file_.reset();
          skipped_ = true;
        }
      }
      data += take;
      n -= take;
      left_ -= take;
      if (left_ == 0 && !Complete()) return Outcome::Failed;
    }
    return Outcome::Done;
  }

  // After the block's last byte: the empty members at its end.
  Outcome End() {
    while (index_ < members_.size()) {
      if (!Start() || !Complete()) return Outcome::Failed;
    }
    return Outcome::Done;
  }

 private:
  GMTocNode& Member() const { return *members_[index_]; }

  bool Start() {
    GMTocNode& member = Member();
    left_ = index_ + 1 == members_.size() ? total_ - before_last_ : member.size;
    open_ = true;
    skipped_ = false;
    Outcome outcome = Outcome::Done;
    if (reader_.IsFileInTheWay(member.path) && !reader_.RemoveExisting(member.path)) {
      outcome = reader_.Offer(kErrorFileDelete, member.path, LastSystemError());
    } else if (!(file_ = reader_.OpenOutput(member, member.path, kCreateAlways))) {
      outcome = reader_.Offer(kErrorFileCreate, member.path, LastSystemError());
    }
    if (outcome == Outcome::Failed) return false;
    skipped_ = outcome == Outcome::Skipped;
    reader_.OnEntryProgress(member, consumed_);
    if (reader_.observer_) reader_.observer_->OnEntryBegin(member);
    return true;
  }

  bool Complete() {
    GMTocNode& member = Member();
    open_ = false;
    ++index_;
    if (file_) {
      file_->SetTimes(member.creationTime, member.lastAccessTime, member.lastWriteTime);
      const bool closed = file_->Close();
      const uint32_t error = LastSystemError();
      file_.reset();
      if (!closed) {
        const Outcome outcome = reader_.Offer(kErrorFileWrite, member.path, error);
        if (outcome == Outcome::Failed) return false;
        skipped_ = true;
      }
    }
    if (!skipped_) {
      reader_.OnEntryDone(member);
      if (reader_.observer_) reader_.observer_->OnEntryEnd(member);
    } else {
      reader_.OnEntrySkipped(member);
    }
    return true;
  }

  GMUnpacker& reader_;
  const std::vector<GMTocNode*>& members_;
  uint64_t total_;
  uint64_t before_last_ = 0;
  uint64_t consumed_ = 0;
  size_t index_ = 0;
  uint64_t left_ = 0;
  bool open_ = false;
  bool skipped_ = false;
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

bool GMUnpacker::IsAbsoluteName(const std::u16string& name) {
  std::u16string joined = name;
  NormalizePath(joined, PathUnquote);
  return IsAbsolutePath(joined);
}

bool GMUnpacker::ShouldIgnoreError(uint32_t systemError, const std::u16string&) {
  return systemError == 0 || ignore_all_errors_;
}

bool GMUnpacker::ReportError(ErrorKind kind, const std::u16string& path, uint32_t systemError) {
  return ReportRecord(ErrorInfo::File(kind, path, systemError));
}

bool GMUnpacker::ReportDataError(ErrorKind kind, uint32_t number1, uint32_t number2) {
  return ReportRecord(ErrorInfo::Data(kind, (uint64_t{number2} << 32) | number1));
}

bool GMUnpacker::ReportRecord(const ErrorInfo& error) {
  last_error_ = error;
  last_error_message_ = FormatErrorMessage(last_error_);
  return observer_ != nullptr && observer_->OnError(last_error_);
}

GMUnpacker::Outcome GMUnpacker::Offer(ErrorKind kind, const std::u16string& path, uint32_t systemError) {
  if (ShouldIgnoreError(systemError, path)) return Outcome::Skipped;
  return ReportError(kind, path, systemError) ? Outcome::Skipped : Outcome::Failed;
}

GMUnpacker::Outcome GMUnpacker::Refuse(ErrorKind kind, const std::u16string& path, uint32_t systemError) {
  ReportError(kind, path, systemError);
  return Outcome::Failed;
}

GMUnpacker::Outcome GMUnpacker::DataFailure(uint64_t offset) {
  ReportDataError(kErrorDecoder, static_cast<uint32_t>(offset), static_cast<uint32_t>(offset >> 32));
  return Outcome::Failed;
}

bool GMUnpacker::Conclude(GMTocNode& entry, Outcome outcome) {
  switch (outcome) {
    case Outcome::Done:
      FinishEntry(entry);
      return true;
    case Outcome::Skipped:
      OnEntrySkipped(entry);
      OnEntryProgress(entry, entry.compressedSize);
      return true;
    case Outcome::Failed:
      break;
  }
  return false;
}

std::u16string GMUnpacker::VolumeName(size_t index) const { return Zavro::VolumeName(volume_base_, index); }

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
  volume_base_ = VolumeBase(archive_path_);
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
  uint64_t size = 0, position = 0;
  if (!source.GetSize(size) || !source.GetPosition(position)) {
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
  // A table larger than what follows the header cannot be whole: it is refused before
  // any memory is set aside for it.
  const uint64_t tocStart = position + kGmzHeaderSize;
  bool valid = tocStart <= size && parsed.tocSize <= size - tocStart;
  try {
    if (valid) {
      std::vector<unsigned char> toc(parsed.tocSize);
      if (!ReadFully(source, toc.data(), parsed.tocSize, read)) {
        ReportError(kErrorFileRead, u"", LastSystemError());
        return false;
      }
      valid = read == parsed.tocSize && ParseToc(toc.data(), toc.size(), root_, code) && ValidateTree();
    }
  } catch (const std::bad_alloc&) {
    // A table of millions of tiny entries may not fit in memory: it is refused too.
    valid = false;
  }
  if (!valid) {
    root_.ClearChildren();
    ReportDataError(kErrorArchiveHeader, kTocErrorInvalid, 0);
    return false;
  }
  version_ = parsed.version;
  toc_size_ = parsed.tocSize;
  archive_start_ = position;
  data_end_ = std::max(tocStart + parsed.tocSize, root_.DataEnd());
  root_.type = kTocDirectory;
  opened_ = true;
  total_ = root_.TotalCompressedSize();
  done_ = 0;
  return true;
}

// What the format allows but no writer makes and no reader can honour: memory entries
// of more than kMaxMemoryEntrySize bytes together, a second solid block, solid members
// after the block's last member or without one, members larger together than their
// block, trees deeper than kMaxDepth.
bool GMUnpacker::ValidateTree() {
  if (!FindSolidBlock(root_).consistent) return false;
  uint64_t memorySizes = 0;
  std::vector<std::pair<const GMTocNode*, uint32_t>> pending;
  for (auto it = root_.children.rbegin(); it != root_.children.rend(); ++it) pending.emplace_back(it->get(), 1);
  while (!pending.empty()) {
    auto [node, depth] = pending.back();
    pending.pop_back();
    if (depth > kMaxDepth) return false;
    if (node->IsMemory()) {
      if (node->method == kMethodSolid || node->size > kMaxMemoryEntrySize - memorySizes) return false;
      memorySizes += node->size;
    }
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) pending.emplace_back(it->get(), depth + 1);
  }
  return true;
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
  const uint32_t attributes = entry.attributes & kStoredAttributeMask & ~kFileAttributeDirectory;
  if (!file->Open(path, kGenericWrite, kFileShareRead, disposition, attributes | kFileFlagSequentialScan)) {
    return nullptr;
  }
  file->Rewind();
  return file;
}

bool GMUnpacker::IsFileInTheWay(const std::u16string& path) { return IsFile(path); }

void GMUnpacker::FinishFolder(GMTocNode& entry) {
  SetPathAttributes(entry.path, (entry.attributes & kStoredAttributeMask) | kFileAttributeDirectory);
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
  // Without an opened archive the message of the failed Open stands.
  if (!opened_) return end(false);
  last_error_ = ErrorInfo();
  last_error_message_.clear();
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
    if (IsSolidMember(*child)) {
      // The block is decoded when the walk reaches its last member.
      if (child->compressedSize != 0) ok = ExtractSolidBlock(*child, path);
    } else {
      ok = ExtractEntry(*child, path);
    }
    if (!ok) return false;
  }
  return true;
}

GMUnpacker::Outcome GMUnpacker::TargetPath(const std::u16string& folder, const std::u16string& name,
                                           std::u16string& path) {
  // What is checked is what gets joined: the name without the quotes JoinPath drops.
  std::u16string joined = name;
  NormalizePath(joined, PathUnquote);
  const bool absolute = IsAbsolutePath(joined);
  path = absolute ? joined : JoinPath(folder, joined);
  if (IsValidFilePath(joined) && (!absolute || absolute_names_)) return Outcome::Done;
  return Refuse(kErrorFileCreate, path, kErrorInvalidName);
}

bool GMUnpacker::ExtractEntry(GMTocNode& entry, const std::u16string& parentPath) {
  std::u16string parent = parentPath;
  NormalizePath(parent, PathAddSlash);
  std::u16string folder = parent;
  std::u16string name = entry.name;
  bool handled = false;
  MapTargetPath(entry, folder, name, handled);
  std::u16string path;
  if (handled || folder != parent) {
    // The hook chose the folder (or the whole path) itself.
    if (Climbs(folder)) {
      Refuse(kErrorFileCreate, folder, kErrorInvalidName);
      return false;
    }
    if (handled) path = folder;
  }
  if (!handled && TargetPath(folder, name, path) != Outcome::Done) return false;
  entry.path = path;
  entry.name = name;
  if (observer_) observer_->OnEntryBegin(entry);
  if (entry.IsDirectory()) return Conclude(entry, ExtractFolder(entry));
  OnEntryProgress(entry, 0);
  return Conclude(entry, ExtractData(entry));
}

GMUnpacker::Outcome GMUnpacker::ExtractFolder(GMTocNode& entry) {
  if (IsFileInTheWay(entry.path)) return Offer(kErrorFileCreate, entry.path, kErrorAlreadyExists);
  if (!PathExists(entry.path) && !CreateFolder(entry.path)) {
    return Offer(kErrorFileCreate, entry.path, LastSystemError());
  }
  OnEntryProgress(entry, 0);
  if (!ExtractChildren(entry, entry.path) || IsCancelled()) return Outcome::Failed;
  return Outcome::Done;
}

GMUnpacker::Outcome GMUnpacker::VolumeSizes(std::vector<uint64_t>& sizes) {
  sizes.clear();
  for (GMBaseFile* volume : volumes_) {
    uint64_t size = 0;
    if (!volume->GetSize(size)) {
      const uint32_t error = LastSystemError();
      if (ShouldIgnoreError(error, u"")) return Outcome::Skipped;
      return Refuse(kErrorFileRead, u"", error);
    }
    sizes.push_back(size);
  }
  return Outcome::Done;
}

GMUnpacker::Checksum GMUnpacker::ReadTrailer(std::vector<uint64_t>& sizes, uint32_t& crc, uint64_t& covered) {
  if (!opened_) return Checksum::kNone;
  if (VolumeSizes(sizes) != Outcome::Done) return Checksum::kDamaged;
  uint64_t total = 0;
  for (uint64_t size : sizes) total += size;
  if (total - archive_start_ < kGmzHeaderSize + kGmzTrailerSize) return Checksum::kNone;
  Input input(*this, sizes);
  if (!input.Locate(total - kGmzTrailerSize, kGmzTrailerSize)) return Checksum::kDamaged;
  unsigned char trailer[kGmzTrailerSize];
  for (uint32_t filled = 0, got = 0; filled < kGmzTrailerSize; filled += got) {
    uint64_t at = 0;
    if (input.Next(chunk_.data(), got, at) != Outcome::Done || got == 0) return Checksum::kDamaged;
    got = std::min<uint32_t>(got, kGmzTrailerSize - filled);
    std::memcpy(trailer + filled, chunk_.data(), got);
  }
  if (!ParseGmzTrailer(trailer, crc, covered)) return Checksum::kNone;
  if (covered == total - kGmzTrailerSize - archive_start_) return Checksum::kMatches;
  // A count that is not where it sits: bytes were added or lost, unless an entry's data
  // reaches into these bytes (an archive made before packages were checked whose last
  // file ends like a trailer).
  if (total - kGmzTrailerSize < data_end_) return Checksum::kNone;
  DataFailure(total);
  return Checksum::kDamaged;
}

bool GMUnpacker::HasChecksum() {
  std::vector<uint64_t> sizes;
  uint32_t crc = 0;
  uint64_t covered = 0;
  return ReadTrailer(sizes, crc, covered) != Checksum::kNone;
}

GMUnpacker::Checksum GMUnpacker::VerifyChecksum() {
  last_error_ = ErrorInfo();
  last_error_message_.clear();
  std::vector<uint64_t> sizes;
  uint32_t expected = 0;
  uint64_t covered = 0;
  const Checksum found = ReadTrailer(sizes, expected, covered);
  if (found != Checksum::kMatches) return found;
  Input input(*this, std::move(sizes));
  if (!input.Locate(archive_start_, covered)) return Checksum::kDamaged;
  uLong crc = crc32_z(0, nullptr, 0);
  for (;;) {
    uint32_t n = 0;
    uint64_t at = 0;
    if (input.Next(chunk_.data(), n, at) != Outcome::Done) return Checksum::kDamaged;
    if (n == 0) break;
    crc = crc32_z(crc, chunk_.data(), n);
  }
  if (static_cast<uint32_t>(crc) == expected) return Checksum::kMatches;
  DataFailure(archive_start_ + covered + kGmzTrailerSize);
  return Checksum::kDamaged;
}

GMUnpacker::Outcome GMUnpacker::PrepareDecoder(uint32_t method, uint64_t outputSize,
                                               GMCompressConverter::Ptr& decoder) {
  decoder = GetDecoder(method);
  if (!decoder || !decoder->Reset()) return DataFailure(0);
  if (auto* lzma = dynamic_cast<GMLzmaDecoder*>(decoder.get())) lzma->SetOutputLimit(outputSize);
  return Outcome::Done;
}

GMUnpacker::Outcome GMUnpacker::ExtractData(GMTocNode& entry) {
  if (entry.IsInline()) return Outcome::Done;
  std::vector<uint64_t> sizes;
  Outcome outcome = VolumeSizes(sizes);
  if (outcome != Outcome::Done) return outcome;
  if (entry.method == kMethodStored && entry.compressedSize != entry.size) return DataFailure(entry.dataOffset);
  // The data is found before anything on disk changes.
  Input input(*this, std::move(sizes));
  if (!input.Locate(entry.dataOffset, entry.compressedSize)) return Outcome::Failed;
  GMCompressConverter::Ptr decoder;
  outcome = PrepareDecoder(entry.method, entry.size, decoder);
  if (outcome != Outcome::Done) return outcome;
  const bool empty = entry.size == 0 && entry.compressedSize == 0;
  auto progress = [&](uint64_t consumed) { OnEntryProgress(entry, consumed); };

  if (entry.IsMemory()) {
    entry.buffer.Resize(static_cast<uint32_t>(entry.size));
    entry.buffer.SetLength(0);
    if (entry.buffer.Capacity() != entry.size) return Refuse(kErrorFileRead, entry.path, kErrorNotEnoughMemory);
    BufferSink sink(entry.buffer);
    return empty ? Outcome::Done : Pump(*decoder, input, entry.size, sink, progress);
  }

  if (IsFileInTheWay(entry.path) && !RemoveExisting(entry.path)) {
    return Offer(kErrorFileDelete, entry.path, LastSystemError());
  }
  std::unique_ptr<GMBaseFile> file = OpenOutput(entry, entry.path, kCreateAlways);
  if (!file) return Offer(kErrorFileCreate, entry.path, LastSystemError());
  if (!empty) {
    FileSink sink(*this, *file, entry.path);
    outcome = Pump(*decoder, input, entry.size, sink, progress);
    if (outcome != Outcome::Done) return outcome;
  }
  file->SetTimes(entry.creationTime, entry.lastAccessTime, entry.lastWriteTime);
  if (!file->Close()) return Offer(kErrorFileWrite, entry.path, LastSystemError());
  return Outcome::Done;
}

GMUnpacker::Outcome GMUnpacker::Pump(GMCompressConverter& decoder, Input& input, uint64_t outputSize, Sink& sink,
                                     const std::function<void(uint64_t)>& onInput) {
  uint64_t produced = 0;
  // Hands the decoder's output on, never more than the stream may give.
  auto deliver = [&](uint64_t at) {
    uint32_t n = 0;
    const unsigned char* data = decoder.GetOutput(n);
    Outcome result = Outcome::Done;
    if (n > outputSize - produced) {
      result = DataFailure(at);
    } else if (n != 0) {
      result = sink.Write(data, n);
      produced += n;
    }
    decoder.ClearOutput();
    return result;
  };
  uint64_t consumedTotal = 0;
  for (;;) {
    uint32_t n = 0;
    uint64_t pieceOffset = 0;
    const Outcome read = input.Next(chunk_.data(), n, pieceOffset);
    if (read != Outcome::Done) return read;
    if (n == 0) break;
    if (IsCancelled()) return Outcome::Failed;
    consumedTotal += n;
    onInput(consumedTotal);
    uint32_t offset = 0;
    while (offset < n) {
      if (observer_) observer_->Throttle();
      uint32_t consumed = 0;
      if (!decoder.Process(chunk_.data() + offset, n - offset, consumed, input.Remaining() == 0)) {
        return DataFailure(pieceOffset + offset);
      }
      offset += consumed;
      const bool producedSome = decoder.GetPendingCount() != 0;
      const Outcome delivered = deliver(pieceOffset + offset);
      if (delivered != Outcome::Done) return delivered;
      // The stream ended before its input did: what follows is no part of it.
      if (consumed == 0 && !producedSome) break;
    }
  }
  // The decoder may hold output that needs no more input.
  for (int round = 0; round < 1 << 20; ++round) {
    uint32_t consumed = 0;
    if (!decoder.Process(nullptr, 0, consumed, true)) return DataFailure(input.End());
    if (decoder.GetPendingCount() == 0) break;
    const Outcome delivered = deliver(input.End());
    if (delivered != Outcome::Done) return delivered;
  }
  if (produced != outputSize || !decoder.IsStreamEnd()) return DataFailure(input.End());
  return Outcome::Done;
}

GMUnpacker::Outcome GMUnpacker::PrepareSolidMembers(GMTocNode& folder, const std::u16string& folderPath,
                                                    const GMTocNode& lastMember, std::vector<GMTocNode*>& members) {
  // Every member comes before the last one, so the walk ends there: the folders after it
  // are the extraction's to create, with their names mapped.
  for (auto& child : folder.children) {
    if (IsCancelled()) return Outcome::Failed;
    GMTocNode& entry = *child;
    if (entry.path.empty()) {
      std::u16string path;
      if (TargetPath(folderPath, entry.name, path) != Outcome::Done) return Outcome::Failed;
      entry.path = path;
    }
    if (entry.IsDirectory()) {
      // When ignored, the members below still take their share of the block.
      if (IsFileInTheWay(entry.path)) {
        if (Offer(kErrorFileCreate, entry.path, kErrorAlreadyExists) == Outcome::Failed) return Outcome::Failed;
      } else if (!PathExists(entry.path) && !CreateFolder(entry.path)) {
        if (Offer(kErrorFileCreate, entry.path, LastSystemError()) == Outcome::Failed) return Outcome::Failed;
      }
      if (PrepareSolidMembers(entry, entry.path, lastMember, members) == Outcome::Failed) return Outcome::Failed;
    } else if (IsSolidMember(entry)) {
      members.push_back(&entry);
    }
    if (!members.empty() && members.back() == &lastMember) break;
  }
  return Outcome::Done;
}

bool GMUnpacker::ExtractSolidBlock(GMTocNode& lastMember, const std::u16string&) {
  std::vector<GMTocNode*> members;
  if (PrepareSolidMembers(root_, target_root_, lastMember, members) == Outcome::Failed) return false;
  if (members.empty() || members.back() != &lastMember) {
    ReportDataError(kErrorArchiveHeader, kTocErrorInvalid, 0);
    return false;
  }
  std::vector<uint64_t> sizes;
  Outcome outcome = VolumeSizes(sizes);
  if (outcome != Outcome::Done) return outcome == Outcome::Skipped;
  // The block is found before any member's file is touched.
  Input input(*this, std::move(sizes));
  if (!input.Locate(lastMember.dataOffset, lastMember.compressedSize)) return false;
  const uint64_t total = lastMember.size;
  GMCompressConverter::Ptr decoder;
  if (PrepareDecoder(kMethodSolid, total, decoder) != Outcome::Done) return false;
  SolidSink sink(*this, members, total);
  uint64_t counted = 0;
  outcome = Pump(*decoder, input, total, sink, [&](uint64_t consumed) {
    sink.SetConsumed(consumed);
    done_ += consumed - counted;
    counted = consumed;
  });
  if (outcome == Outcome::Done) outcome = sink.End();
  return outcome != Outcome::Failed;
}

}  // namespace Zavro
