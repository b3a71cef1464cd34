#include "archive/packer.h"

#include <zlib.h>

#include <algorithm>

#include "archive/converters/converter_registry.h"
#include "archive/converters/lzma_converter.h"
#include "archive/gmz_format.h"
#include "archive/io/file.h"
#include "system/directory_listing.h"
#include "system/path_text.h"
#include "system/file_system.h"
#include "system/system_error.h"
#include "system/string_utils.h"

namespace Zavro {

namespace {

// Passes everything on to the archive's output and keeps the CRC-32 of the bytes
// written through it: the streams, which go out once and in order.
class CrcOutput : public GMBaseFile {
 public:
  explicit CrcOutput(GMBaseFile& output) : output_(output) {}
  bool Read(void* buffer, uint32_t length, uint32_t& bytesRead) override {
    return output_.Read(buffer, length, bytesRead);
  }
  bool Write(const void* buffer, uint32_t length, uint32_t& bytesWritten) override {
    const bool ok = output_.Write(buffer, length, bytesWritten);
    crc_ = crc32_z(crc_, static_cast<const unsigned char*>(buffer), bytesWritten);
    return ok;
  }
  bool Close() override { return output_.Close(); }
  bool GetPosition(uint64_t& position) override { return output_.GetPosition(position); }
  bool GetSize(uint64_t& size) override { return output_.GetSize(size); }
  bool Seek(int64_t distance, uint32_t origin, uint64_t& newPosition) override {
    return output_.Seek(distance, origin, newPosition);
  }
  bool SetTimes(FileTime creation, FileTime lastAccess, FileTime lastWrite) override {
    return output_.SetTimes(creation, lastAccess, lastWrite);
  }
  unsigned long Crc() const { return crc_; }

 private:
  GMBaseFile& output_;
  uLong crc_ = crc32_z(0, nullptr, 0);
};

constexpr uint32_t kChunkSize = 1048576;
constexpr uint32_t kSourceShare = kFileShareRead | kFileShareWrite;

double Percent(uint64_t part, uint64_t whole) {
  return whole == 0 ? 100.0 : static_cast<double>(part) * 100.0 / static_cast<double>(whole);
}

bool OpenSource(GMFile& file, const std::u16string& path) {
  return file.Open(path, kGenericRead, kSourceShare, kOpenExisting, kFileFlagBackupSemantics);
}

std::u16string ToText(uint64_t value) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return text;
}

}  // namespace

// The stream of one entry being written: its encoder, where it started and what has
// gone in and out so far.
struct GMPacker::StreamState {
  GMTocNode& entry;
  GMBaseFile& output;
  GMCompressConverter::Ptr encoder;
  uint64_t start = 0;
  uint64_t read = 0;
  uint64_t written = 0;
};

GMPacker::GMPacker() : default_method_(kMethodSolid), policy_(std::make_shared<GMPackerPolicy>()) {
  policy_->SetLevel(GMLzmaEncoder::kDefaultLevel);
}

GMPacker::~GMPacker() = default;

void GMPacker::SetLevel(int32_t level) {
  if (level != policy_->GetLevel()) encoders_.clear();
  policy_->SetLevel(level);
}

void GMPacker::SetPolicy(std::shared_ptr<GMPackerPolicy> policy) {
  // The level is the writer's: a new policy takes it over.
  if (!policy) policy = std::make_shared<GMPackerPolicy>();
  policy->SetLevel(policy_->GetLevel());
  policy_ = std::move(policy);
}

std::vector<GMPacker::NameProblem> GMPacker::FindNameProblems() const {
  std::vector<NameProblem> problems;
  std::vector<const GMTocNode*> folders{&root_};
  while (!folders.empty()) {
    const GMTocNode* folder = folders.back();
    folders.pop_back();
    std::map<std::u16string, const GMTocNode*> seen;
    for (const auto& child : folder->children) {
      if (child->IsInline() || child->IsMemory()) continue;
      if (!IsValidFileName(child->name)) problems.push_back({child.get(), nullptr});
      std::u16string key = child->name;
      ToLowerInPlace(key);
      auto [it, added] = seen.emplace(key, child.get());
      if (!added) problems.push_back({child.get(), it->second});
      if (child->IsDirectory()) folders.push_back(child.get());
    }
  }
  return problems;
}

void GMPacker::Cancel() {
  cancelled_.store(true);
  if (observer_) observer_->SetCancelled(true);
}

bool GMPacker::IsCancelled() const {
  return cancelled_.load() || (observer_ != nullptr && observer_->IsCancelled());
}

bool GMPacker::ReportError(ErrorKind kind, const std::u16string& path, uint32_t systemError) {
  last_error_ = ErrorInfo::File(kind, path, systemError);
  return observer_ != nullptr && observer_->OnError(last_error_);
}

bool GMPacker::ReportDataError(ErrorKind kind, uint32_t number1, uint32_t number2) {
  last_error_ = ErrorInfo::Data(kind, (uint64_t{number2} << 32) | number1);
  return observer_ != nullptr && observer_->OnError(last_error_);
}

void GMPacker::ResetScan() {
  root_.ClearChildren();
  totals_ = GMProgressTotals();
  cancelled_.store(false);
  if (observer_) observer_->SetCancelled(false);
  last_solid_ = nullptr;
  solid_total_ = 0;
  solid_members_.clear();
  skipped_.clear();
  last_error_ = ErrorInfo();
  last_error_text_.clear();
}

bool GMPacker::SetSource(const std::u16string& folder, bool includeFolderItself) {
  if (!PathExists(folder)) {
    ReportError(kErrorFileRead, folder, LastSystemError());
    SetErrorText(u"source not found: " + folder);
    return false;
  }
  ResetScan();
  if (!includeFolderItself) return AddFolderContents(root_, folder);

  if (!IsDirectory(folder)) {
    ReportError(kErrorFileRead, folder, kErrorDirectory);
    SetErrorText(u"not a folder: " + folder);
    return false;
  }
  std::u16string trimmed = folder;
  NormalizePath(trimmed, PathUnquote | PathRemoveSlash);
  const size_t cut = trimmed.find_last_of(u"\\/");
  if (cut == std::u16string::npos || cut + 1 >= trimmed.size()) {
    ReportError(kErrorFileRead, folder, kErrorInvalidName);
    SetErrorText(u"the folder has no name to keep: " + folder);
    return false;
  }
  auto entry = std::make_shared<GMTocNode>(kTocDirectory);
  entry->name = trimmed.substr(cut + 1);
  entry->path = trimmed;
  entry->attributes = GetPathAttributes(trimmed) & kStoredAttributeMask;
  GMFile handle;
  if (handle.Open(trimmed, kGenericRead, kSourceShare, kOpenExisting, kFileFlagBackupSemantics)) {
    handle.GetTimes(entry->creationTime, entry->lastAccessTime, entry->lastWriteTime);
  }
  GMTocNode& added = root_.AddChild(std::move(entry));
  return AddFolderContents(added, trimmed);
}

bool GMPacker::AddFolderContents(GMTocNode& parent, const std::u16string& folder) {
  if (observer_) observer_->WaitWhilePaused();
  if (IsCancelled()) return ReportCancel(0);
  std::vector<DirectoryItem> items;
  std::vector<SkippedItem> skipped;
  if (!ListDirectory(folder, items, skipped)) {
    ReportError(kErrorFileRead, folder, LastSystemError());
    SetErrorText(u"cannot read the folder " + folder);
    return false;
  }
  for (SkippedItem& item : skipped) skipped_.push_back({JoinPath(folder, item.name), item.reason});
  // Names in the order NTFS keeps them, whatever the file system: the same folder
  // makes the same archive everywhere.
  std::stable_sort(items.begin(), items.end(), [](const DirectoryItem& a, const DirectoryItem& b) {
    const int byCase = CompareNoCase(a.name, b.name);
    return byCase != 0 ? byCase < 0 : a.name < b.name;
  });
  for (DirectoryItem& item : items) {
    const bool isFolder = (item.attributes & kFileAttributeDirectory) != 0;
    auto entry = std::make_shared<GMTocNode>(isFolder ? kTocDirectory : kTocFile);
    entry->name = item.name;
    entry->path = JoinPath(folder, item.name);
    entry->attributes = item.attributes & kStoredAttributeMask;
    entry->creationTime = item.creationTime;
    entry->lastAccessTime = item.lastAccessTime;
    entry->lastWriteTime = item.lastWriteTime;
    if (!isFolder) {
      entry->size = item.size;
      entry->method = default_method_;
    }
    bool exclude = false;
    policy_->Decide(*entry, exclude);
    if (exclude) continue;
    if (isFolder && !AddFolderContents(*entry, entry->path)) return false;
    if (parent.children.size() >= kMaxChildren) {
      ReportError(kErrorFileRead, folder, kErrorInvalidParameter);
      SetErrorText(u"more than " + ToText(kMaxChildren) + u" items in one folder: " + folder);
      return false;
    }
    parent.AddChild(std::move(entry));
  }
  return true;
}

bool GMPacker::RemoveSource(const std::u16string& path) {
  std::vector<GMTocNode*> pending{&root_};
  while (!pending.empty()) {
    auto& children = pending.back()->children;
    pending.pop_back();
    for (auto it = children.begin(); it != children.end(); ++it) {
      if ((*it)->IsFile() && IsSamePath((*it)->path, path)) {
        children.erase(it);
        return true;
      }
      if ((*it)->IsDirectory()) pending.push_back(it->get());
    }
  }
  return false;
}

bool GMPacker::AddInlineEntry(GMTocNode& parent, const std::u16string& name, const void* data, size_t size) {
  if (size > kMaxInlineSize || (data == nullptr && size != 0)) return false;
  auto entry = std::make_shared<GMTocNode>(kTocInline);
  entry->name = name;
  entry->buffer.Resize(static_cast<uint32_t>(size));
  if (entry->buffer.Capacity() != size) return false;
  if (size != 0) std::copy_n(static_cast<const unsigned char*>(data), size, entry->buffer.Data());
  entry->buffer.SetLength(static_cast<uint32_t>(size));
  parent.AddChild(std::move(entry));
  return true;
}

GMTocNode* GMPacker::AddMemoryEntry(GMTocNode& parent, const std::u16string& name, const void* data, size_t size,
                                    uint32_t method) {
  if (size > kMaxMemoryEntrySize || (data == nullptr && size != 0)) return nullptr;
  auto entry = std::make_shared<GMTocNode>(kTocMemory);
  entry->name = name;
  entry->method = method == kMethodSolid ? kMethodLzma : method;
  const uint32_t length = static_cast<uint32_t>(size);
  entry->buffer.Resize(length);
  if (entry->buffer.Capacity() != length) return nullptr;
  if (length != 0) std::copy_n(static_cast<const unsigned char*>(data), length, entry->buffer.Data());
  entry->buffer.SetLength(length);
  entry->size = length;
  return &parent.AddChild(std::move(entry));
}

GMCompressConverter::Ptr GMPacker::GetEncoder(uint32_t method, const int32_t* level) {
  auto cached = encoders_.find(method);
  if (cached != encoders_.end()) return cached->second;
  GMCompressConverter::Ptr encoder;
  // The policy holds the level the encoders get.
  const int32_t policyLevel = policy_->GetLevel();
  if (level != nullptr) {
    encoder = CreateEncoder(method, level);
  } else if (method == kMethodZip) {
    encoder = CreateEncoder(kMethodZip, &policyLevel);
  } else if (method == kMethodLzma || method == kMethodSolid) {
    // One LZMA encoder serves both: it is large at high levels.
    auto lzma = encoders_.find(method == kMethodLzma ? kMethodSolid : kMethodLzma);
    encoder = lzma != encoders_.end() ? lzma->second : CreateEncoder(kMethodLzma, &policyLevel);
  } else {
    encoder = CreateEncoder(method, nullptr);
  }
  if (encoder) encoders_[method] = encoder;
  return encoder;
}

void GMPacker::Progress(uint64_t entryDone, uint64_t entrySize) {
  if (observer_ == nullptr) return;
  observer_->OnProgress(Percent(totals_.done + entryDone, totals_.total), Percent(entryDone, entrySize));
  observer_->WaitWhilePaused();
  observer_->Throttle();
}

bool GMPacker::WriteAll(GMBaseFile& output, const void* data, uint32_t size) {
  uint32_t written = 0;
  if (size == 0 || output.Write(data, size, written)) return true;
  ReportError(kErrorFileWrite, u"", LastSystemError());
  SetErrorText(u"cannot write the archive");
  return false;
}

bool GMPacker::WritePending(StreamState& state) {
  uint32_t length = 0;
  const unsigned char* data = state.encoder->GetOutput(length);
  if (!WriteAll(state.output, data, length)) return false;
  state.written += length;
  state.encoder->ClearOutput();
  return true;
}

bool GMPacker::Feed(StreamState& state, const unsigned char* data, uint32_t size) {
  if (state.entry.method == kMethodStored) {
    if (!WriteAll(state.output, data, size)) return false;
    state.written += size;
    return true;
  }
  uint32_t offset = 0;
  do {
    uint32_t consumed = 0;
    if (!state.encoder->Process(data + offset, size - offset, consumed, false)) {
      ReportEncoderFailure(*state.encoder, state.start + state.written);
      return false;
    }
    offset += consumed;
    if (!WritePending(state)) return false;
  } while (offset < size);
  return true;
}

bool GMPacker::ReportCancel(uint64_t position) {
  ReportDataError(kErrorEncoder, static_cast<uint32_t>(position), static_cast<uint32_t>(position >> 32));
  SetErrorText(u"cancelled");
  return false;
}

bool GMPacker::ReportEncoderFailure(const GMCompressConverter& encoder, uint64_t position) {
  const auto* lzma = dynamic_cast<const GMLzmaEncoder*>(&encoder);
  if (lzma != nullptr) {
    switch (lzma->LastFailure()) {
      case GMLzmaEncoder::Failure::Read:
        ReportError(kErrorFileRead, lzma->FailurePath(), lzma->FailureSystemError());
        SetErrorText(u"cannot read " + lzma->FailurePath());
        return false;
      case GMLzmaEncoder::Failure::Write:
        ReportError(kErrorFileWrite, u"", lzma->FailureSystemError());
        SetErrorText(u"cannot write the archive");
        return false;
      case GMLzmaEncoder::Failure::Cancelled:
        return ReportCancel(position);
      case GMLzmaEncoder::Failure::Memory:
        ReportDataError(kErrorEncoder, static_cast<uint32_t>(position), static_cast<uint32_t>(position >> 32));
        SetErrorText(u"not enough memory for the LZMA encoder (its " + ToText(lzma->DictionarySize() >> 20) +
                     u" MiB dictionary needs about " + ToText(lzma->MemoryNeeded() >> 20) + u" MiB)");
        return false;
      default:
        break;
    }
  }
  ReportDataError(kErrorEncoder, static_cast<uint32_t>(position), static_cast<uint32_t>(position >> 32));
  SetErrorText(u"the encoder failed at archive offset " + ToText(position));
  return false;
}

bool GMPacker::Pack(GMBaseFile& output) {
  uint64_t start = 0;
  if (!output.GetPosition(start)) {
    ReportError(kErrorFileRead, u"", LastSystemError());
    SetErrorText(u"cannot read the position of the output");
    return false;
  }
  if (observer_) {
    observer_->OnBegin();
    totals_.total = root_.TotalSize();
    totals_.done = 0;
  }
  auto finish = [this](bool ok) {
    if (observer_) observer_->OnEnd(IsCancelled());
    return ok;
  };

  uint64_t tocSize = 0;
  if (!TocEntrySize(root_, tocSize) || tocSize > kMaxTocSize) {
    ReportDataError(kErrorArchiveHeader, kTocErrorTooLarge, 0);
    SetErrorText(u"the table of contents would exceed " + ToText(kMaxTocSize) + u" bytes");
    return finish(false);
  }
  unsigned char header[kGmzHeaderSize];
  WriteGmzHeader(GmzHeader{kGmzVersion, static_cast<uint32_t>(tocSize)}, header);
  uint64_t position = 0;
  if (!WriteAll(output, header, kGmzHeaderSize)) return finish(false);
  if (!output.Seek(static_cast<int64_t>(tocSize), kFileCurrent, position)) {
    ReportError(kErrorFileWrite, u"", LastSystemError());
    SetErrorText(u"cannot write the archive");
    return finish(false);
  }
  if (IsCancelled()) {
    ReportCancel(start);
    output.Close();
    return finish(false);
  }

  last_solid_ = nullptr;
  solid_total_ = 0;
  solid_members_.clear();
  chunk_.resize(kChunkSize);
  std::vector<std::u16string> solidSources;
  CrcOutput streams(output);
  if (!WriteEntry(root_, streams, solidSources)) return finish(false);
  if (!solidSources.empty() && !WriteSolidBlock(streams, solidSources)) return finish(false);

  std::vector<unsigned char> toc;
  uint64_t end = 0;
  if (!SerializeToc(root_, toc) || toc.size() != tocSize) {
    ReportDataError(kErrorArchiveHeader, kTocErrorInvalid, 0);
    SetErrorText(u"an entry does not fit the archive format");
    return finish(false);
  }
  // The last member carries the block's total in the table only; its own size is what
  // a later pack of the same tree checks the file against.
  if (last_solid_ != nullptr) last_solid_->size = solid_members_.back().second;
  const unsigned long dataCrc = streams.Crc();
  if (!output.GetPosition(end) || !output.Seek(static_cast<int64_t>(start + kGmzHeaderSize), kFileBegin, position) ||
      !WriteAll(output, toc.data(), static_cast<uint32_t>(toc.size())) ||
      !WriteChecksum(output, header, toc, dataCrc, end - start - kGmzHeaderSize - tocSize, end)) {
    if (!last_error_.IsSet()) ReportError(kErrorFileWrite, u"", LastSystemError());
    SetErrorText(u"cannot write the archive");
    return finish(false);
  }
  return finish(!IsCancelled());
}

bool GMPacker::WriteChecksum(GMBaseFile& output, const unsigned char* header, const std::vector<unsigned char>& toc,
                             unsigned long dataCrc, uint64_t dataSize, uint64_t end) {
  // The table went in after the streams: its CRC joins theirs instead of the archive
  // being read back.
  const uint64_t covered = kGmzHeaderSize + toc.size() + dataSize;
  uLong crc = crc32_z(crc32_z(0, header, kGmzHeaderSize), toc.data(), toc.size());
  // Joining shifts the first CRC by the second's length, in steps z_off_t can hold
  // (32 bits on Windows): joining a zero CRC is the shift alone.
  constexpr uint64_t kStep = uint64_t{1} << 30;
  for (; dataSize > kStep; dataSize -= kStep) crc = crc32_combine(crc, 0, static_cast<z_off_t>(kStep));
  crc = crc32_combine(crc, dataCrc, static_cast<z_off_t>(dataSize));
  unsigned char trailer[kGmzTrailerSize];
  WriteGmzTrailer(static_cast<uint32_t>(crc), covered, trailer);
  uint64_t position = 0;
  return output.Seek(static_cast<int64_t>(end), kFileBegin, position) && WriteAll(output, trailer, kGmzTrailerSize);
}

bool GMPacker::WriteEntry(GMTocNode& entry, GMBaseFile& output, std::vector<std::u16string>& solidSources) {
  const bool reported = observer_ != nullptr && &entry != &root_;
  if (reported) {
    observer_->OnEntryBegin(entry);
    observer_->WaitWhilePaused();
  }
  if (entry.IsDirectory()) {
    for (auto& child : entry.children) {
      if (!WriteEntry(*child, output, solidSources)) return false;
      if (IsCancelled()) {
        return ReportCancel(0);
      }
    }
  } else if (!entry.IsInline() && !WriteStream(entry, output, solidSources)) {
    return false;
  }
  if (reported) {
    if (entry.method != kMethodSolid) totals_.done += entry.size;
    observer_->OnEntryEnd(entry);
  }
  return true;
}

bool GMPacker::WriteStream(GMTocNode& entry, GMBaseFile& output, std::vector<std::u16string>& solidSources) {
  StreamState state{entry, output, nullptr};
  if (!output.GetPosition(state.start)) {
    ReportError(kErrorFileRead, u"", LastSystemError());
    SetErrorText(u"cannot read the position of the output");
    return false;
  }
  state.encoder = GetEncoder(entry.method, nullptr);
  if (!state.encoder) {
    ReportDataError(kErrorEncoder, 0, 0);
    SetErrorText(u"no encoder for method " + ToText(entry.method) + u": " + entry.name);
    return false;
  }
  // Every entry starts its own stream, except the members of the solid block.
  if (!(entry.IsFile() && entry.method == kMethodSolid) && !state.encoder->Reset()) {
    ReportEncoderFailure(*state.encoder, state.start);
    return false;
  }
  const uint64_t scannedSize = entry.size;
  auto changedSize = [&](uint64_t found) {
    ReportError(kErrorFileRead, entry.path, kErrorInvalidData);
    SetErrorText(u"the file changed while it was packed (" + ToText(scannedSize) + u" bytes when scanned, " +
                 ToText(found) + u" now): " + entry.path);
    return false;
  };

  bool drain = true;
  if (entry.IsFile()) {
    GMFile source;
    if (!OpenSource(source, entry.path)) {
      ReportError(kErrorFileRead, entry.path, LastSystemError());
      SetErrorText(u"cannot open " + entry.path);
      return false;
    }
    uint64_t size = 0;
    if (!source.GetSize(size)) {
      ReportError(kErrorFileRead, entry.path, LastSystemError());
      SetErrorText(u"cannot read " + entry.path);
      return false;
    }
    if (size != scannedSize) return changedSize(size);
    if (entry.method == kMethodSolid) {
      solid_total_ += size;
      last_solid_ = &entry;
      solid_members_.emplace_back(&entry, size);
      solidSources.push_back(entry.path);
      entry.dataOffset = state.start;
      entry.compressedSize = 0;
      return true;
    }
    if (entry.method == kMethodLzma) {
      drain = false;
      if (size != 0) {
        auto* lzma = static_cast<GMLzmaEncoder*>(state.encoder.get());
        if (!lzma->EncodeFile(source, output, state.written, observer_, &totals_)) {
          return ReportEncoderFailure(*lzma, state.start + state.written);
        }
        state.read = lzma->LastInputSizes().empty() ? 0 : lzma->LastInputSizes().front();
      }
    } else {
      for (;;) {
        uint32_t got = 0;
        if (!source.Read(chunk_.data(), kChunkSize, got)) {
          ReportError(kErrorFileRead, entry.path, LastSystemError());
          SetErrorText(u"cannot read " + entry.path);
          return false;
        }
        if (got == 0) break;
        state.read += got;
        Progress(state.read, entry.size);
        if (!Feed(state, chunk_.data(), got)) return false;
        if (IsCancelled()) return ReportCancel(state.start + state.written);
      }
    }
    if (state.read != scannedSize) return changedSize(state.read);
  } else {
    // A memory entry: its buffer is the one chunk.
    Progress(0, entry.size);
    state.read = entry.buffer.Length();
    if (!Feed(state, entry.buffer.Data(), entry.buffer.Length())) return false;
  }

  if (drain && entry.method != kMethodStored) {
    uint32_t produced = 0;
    do {
      if (!state.encoder->Finish()) {
        ReportEncoderFailure(*state.encoder, state.start + state.written);
        return false;
      }
      produced = state.encoder->GetPendingCount();
      if (!WritePending(state)) return false;
    } while (produced != 0);
  }
  entry.dataOffset = state.start;
  entry.size = state.read;
  entry.compressedSize = state.written;
  entry.method = state.encoder->GetMethod();
  return true;
}

bool GMPacker::WriteSolidBlock(GMBaseFile& output, const std::vector<std::u16string>& solidSources) {
  GMCompressConverter::Ptr encoder = GetEncoder(kMethodLzma, nullptr);
  auto* lzma = dynamic_cast<GMLzmaEncoder*>(encoder.get());
  if (lzma == nullptr || !lzma->Reset()) {
    ReportDataError(kErrorEncoder, 0, 0);
    SetErrorText(u"no encoder for the solid block");
    return false;
  }
  uint64_t blockStart = 0;
  if (!output.GetPosition(blockStart)) {
    ReportError(kErrorFileRead, u"", LastSystemError());
    SetErrorText(u"cannot read the position of the output");
    return false;
  }
  uint64_t written = 0;
  if (!lzma->EncodeFiles(solidSources, output, written, observer_, &totals_)) {
    return ReportEncoderFailure(*lzma, blockStart + written);
  }
  // What each member gave must be what the table will say.
  const std::vector<uint64_t>& sizes = lzma->LastInputSizes();
  for (size_t i = 0; i < solid_members_.size(); ++i) {
    const uint64_t found = i < sizes.size() ? sizes[i] : 0;
    if (found != solid_members_[i].second) {
      GMTocNode& member = *solid_members_[i].first;
      ReportError(kErrorFileRead, member.path, kErrorInvalidData);
      SetErrorText(u"the file changed while it was packed (" + ToText(solid_members_[i].second) +
                   u" bytes when scanned, " + ToText(found) + u" now): " + member.path);
      return false;
    }
  }
  last_solid_->dataOffset = blockStart;
  last_solid_->compressedSize = written;
  last_solid_->size = solid_total_;
  totals_.done += solid_total_;
  return true;
}

bool GMPacker::PackToFile(const std::u16string& path) {
  std::u16string full;
  size_t split = 0;
  if (!FullPath(path, full, split)) {
    ReportError(kErrorFileCreate, path, LastSystemError());
    SetErrorText(u"cannot use the output path " + path);
    return false;
  }
  const std::u16string parent = DirectoryPart(full);
  if (!parent.empty() && !PathExists(parent)) CreateDirectoryTree(parent);
  bool packed = false;
  {
    GMFile output;
    if (!output.Open(full, kGenericWrite, kFileShareRead, kCreateAlways, kFileAttributeNormal)) {
      ReportError(kErrorFileCreate, full, LastSystemError());
      SetErrorText(u"cannot create " + full);
      return false;
    }
    packed = Pack(output);
    if (!output.Close() && packed) {
      ReportError(kErrorFileWrite, full, LastSystemError());
      SetErrorText(u"cannot write " + full);
      packed = false;
    }
  }
  if (!packed) DeleteFileForced(full);
  return packed;
}

}  // namespace Zavro
