// The LZMA encoder: apart from the decoder, so that a program that only decodes links
// none of it.
#include "archive/converters/lzma_converter.h"

#include <lzma/LzmaEnc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "archive/converters/compress_progress.h"
#include "archive/io/file.h"
#include "archive/io/memory_file.h"
#include "system/system_error.h"

namespace Zavro {

namespace {

void* SzAlloc(void*, size_t size) { return size == 0 ? nullptr : std::malloc(size); }
void SzFree(void*, void* address) { std::free(address); }
ISzAlloc g_alloc = {SzAlloc, SzFree};

constexpr uint32_t kReadChunk = 1 << 20;

double Percent(uint64_t part, uint64_t whole) {
  return whole == 0 ? 100.0 : static_cast<double>(part) * 100.0 / static_cast<double>(whole);
}

// Collects what it is given in a byte vector.
class MemorySink : public GMBaseFile {
 public:
  explicit MemorySink(std::vector<unsigned char>& bytes) : bytes_(bytes) {}
  bool Read(void*, uint32_t, uint32_t& bytesRead) override {
    bytesRead = 0;
    return false;
  }
  bool Write(const void* buffer, uint32_t length, uint32_t& bytesWritten) override {
    const auto* data = static_cast<const unsigned char*>(buffer);
    try {
      bytes_.insert(bytes_.end(), data, data + length);
    } catch (const std::bad_alloc&) {
      bytesWritten = 0;
      SetLastSystemError(kErrorNotEnoughMemory);
      return false;
    }
    bytesWritten = length;
    return true;
  }
  bool Close() override { return true; }
  bool GetPosition(uint64_t& position) override {
    position = bytes_.size();
    return true;
  }
  bool GetSize(uint64_t& size) override {
    size = bytes_.size();
    return true;
  }
  bool Seek(int64_t, uint32_t, uint64_t&) override { return false; }
  bool SetTimes(FileTime, FileTime, FileTime) override { return false; }

 private:
  std::vector<unsigned char>& bytes_;
};

}  // namespace

// One run of the stream encoder: where its input comes from, where its output goes and
// whom it tells of its progress.
struct GMLzmaEncoder::Job {
  // The codec calls back with a pointer to the interface; each interface sits at the
  // start of a small record that leads back to the job.
  struct In {
    ISeqInStream vt;
    Job* job;
  };
  struct Out {
    ISeqOutStream vt;
    Job* job;
  };
  struct Progress {
    ICompressProgress vt;
    Job* job;
  };
  In in{{[](void* p, void* buf, size_t* size) { return static_cast<In*>(p)->job->Read(buf, size); }}, this};
  Out out{{[](void* p, const void* buf, size_t size) { return static_cast<Out*>(p)->job->Write(buf, size); }},
          this};
  Progress progressVt{{[](void* p, UInt64 inSize, UInt64) { return static_cast<Progress*>(p)->job->Report(inSize); }},
                      this};

  GMLzmaEncoder* encoder = nullptr;
  GMBaseFile* single = nullptr;                        // EncodeFile's source
  const std::vector<std::u16string>* paths = nullptr;  // EncodeFiles' sources
  size_t next_path = 0;
  GMFile current;
  bool have_current = false;
  uint64_t current_size = 0;
  uint64_t current_read = 0;
  uint64_t read_before_current = 0;

  GMBaseFile* target = nullptr;
  uint64_t* written = nullptr;
  GMCompressProgress* progress = nullptr;
  GMProgressTotals* totals = nullptr;

  bool Fail(Failure failure, const std::u16string& path, uint32_t error) {
    encoder->failure_ = failure;
    encoder->failure_path_ = path;
    encoder->failure_error_ = error;
    return false;
  }

  // A memory file fails a read at its end where a disk file reads 0 bytes.
  static bool AtEnd(GMBaseFile& file) {
    uint64_t position = 0, size = 0;
    return file.GetPosition(position) && file.GetSize(size) && position >= size;
  }

  uint64_t TotalRead() const { return read_before_current + current_read; }

  bool OpenNext() {
    const std::u16string& path = (*paths)[next_path++];
    if (!current.Open(path, kGenericRead, kFileShareRead | kFileShareWrite, kOpenExisting,
                      kFileFlagBackupSemantics)) {
      return Fail(Failure::Read, path, LastSystemError());
    }
    have_current = true;
    current_size = 0;
    current.GetSize(current_size);
    current_read = 0;
    encoder->input_sizes_.push_back(0);
    if (progress) progress->OnSourceFile(path);
    return true;
  }

  // Reads the next piece of the continuous input: the single source, or the listed
  // files one after another.
  SRes Read(void* buf, size_t* size) {
    const uint32_t want = static_cast<uint32_t>(std::min<size_t>(*size, kReadChunk));
    *size = 0;
    if (want == 0) return SZ_OK;
    for (;;) {
      GMBaseFile* source = single;
      if (paths != nullptr) {
        if (!have_current) {
          if (next_path >= paths->size()) return SZ_OK;  // the end of the stream
          if (!OpenNext()) return SZ_ERROR_READ;
        }
        source = &current;
      } else if (encoder->input_sizes_.empty()) {
        encoder->input_sizes_.push_back(0);
      }
      uint32_t got = 0;
      if (!source->Read(buf, want, got) && !AtEnd(*source)) {
        const std::u16string path = paths ? (*paths)[next_path - 1] : std::u16string();
        Fail(Failure::Read, path, LastSystemError());
        return SZ_ERROR_READ;
      }
      encoder->input_sizes_.back() += got;
      current_read += got;
      if (got != 0) {
        *size = got;
        return SZ_OK;
      }
      if (paths == nullptr) return SZ_OK;
      // This file is done; go on with the next one.
      read_before_current += current_read;
      current.Close();
      have_current = false;
    }
  }

  size_t Write(const void* buf, size_t size) {
    size_t done = 0;
    while (done < size) {
      const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(size - done, 1u << 30));
      uint32_t n = 0;
      bool ok = target->Write(static_cast<const unsigned char*>(buf) + done, piece, n);
      done += n;
      *written += n;
      if (!ok) {
        const uint32_t error = LastSystemError();
        Fail(error == kErrorNotEnoughMemory ? Failure::Memory : Failure::Write, std::u16string(), error);
        return done;
      }
    }
    return done;
  }

  SRes Report(UInt64 inSize) {
    if (progress == nullptr) return SZ_OK;
    if (totals != nullptr) {
      progress->OnProgress(Percent(totals->done + inSize, totals->total), Percent(current_read, current_size));
    }
    if (progress->IsCancelled()) {
      Fail(Failure::Cancelled, std::u16string(), kErrorCancelled);
      return SZ_ERROR_PROGRESS;
    }
    progress->WaitWhilePaused();
    progress->Throttle();
    return SZ_OK;
  }
};

GMLzmaEncoder::GMLzmaEncoder(const int32_t* level) : GMCompressConverter(kOutputCapacity) {
  level_ = level == nullptr ? kDefaultLevel : ((*level < 0 || *level > 9) ? kOutOfRangeLevel : *level);
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = level_;
  if (level_ >= 8) props.dictSize = kLargeDictionary;
  props.writeEndMark = 1;
  props.numThreads = 1;
  handle_ = LzmaEnc_Create(&g_alloc);
  if (handle_ == nullptr) return;
  SizeT size = kPropertiesSize;
  valid_ = LzmaEnc_SetProps(handle_, &props) == SZ_OK &&
           LzmaEnc_WriteProperties(handle_, properties_, &size) == SZ_OK && size == kPropertiesSize;
}

GMLzmaEncoder::~GMLzmaEncoder() {
  if (handle_ != nullptr) LzmaEnc_Destroy(handle_, &g_alloc, &g_alloc);
}

uint32_t GMLzmaEncoder::DictionarySize() const {
  return static_cast<uint32_t>(properties_[1]) | (static_cast<uint32_t>(properties_[2]) << 8) |
         (static_cast<uint32_t>(properties_[3]) << 16) | (static_cast<uint32_t>(properties_[4]) << 24);
}

uint64_t GMLzmaEncoder::MemoryNeeded() const {
  // The binary-tree match finder: the window, two links per position and a hash table
  // of about half the window's positions, 4 bytes each; then the codec's own tables.
  return uint64_t{DictionarySize()} * 11 + (4u << 20);
}

bool GMLzmaEncoder::Reset() {
  failure_ = Failure::None;
  pending_ = 0;
  input_.clear();
  encoded_.clear();
  encoded_taken_ = 0;
  encoded_ready_ = false;
  if (!valid_ || !HasOutputBuffer()) return false;
  std::memcpy(output_.Data(), properties_, kPropertiesSize);
  pending_ = kPropertiesSize;
  return true;
}

bool GMLzmaEncoder::Process(const void* input, uint32_t inputLength, uint32_t& consumed, bool) {
  consumed = 0;
  if (!valid_ || encoded_ready_) return false;
  if (input == nullptr && inputLength != 0) return false;
  const auto* bytes = static_cast<const unsigned char*>(input);
  try {
    input_.insert(input_.end(), bytes, bytes + inputLength);
  } catch (const std::bad_alloc&) {
    failure_ = Failure::Memory;
    failure_error_ = kErrorNotEnoughMemory;
    return false;
  }
  consumed = inputLength;
  return true;
}

bool GMLzmaEncoder::Finish() {
  if (!valid_) return false;
  if (!encoded_ready_) {
    // Through the stream interface, as for files: the codec's one-call memory form
    // switches its window to the caller's buffer and then loses the window it had.
    CMemoryFile source(input_.data(), input_.size());
    input_.clear();
    input_.shrink_to_fit();
    MemorySink sink(encoded_);
    Job job;
    job.single = &source;
    uint64_t written = 0;
    if (!Encode(job, sink, written)) return false;
    encoded_taken_ = kPropertiesSize;  // already at the front of the output
    encoded_ready_ = true;
  }
  uint32_t free = 0;
  unsigned char* window = FreeWindow(free);
  const size_t count = std::min<size_t>(free, encoded_.size() - encoded_taken_);
  if (count != 0) std::memcpy(window, encoded_.data() + encoded_taken_, count);
  encoded_taken_ += count;
  pending_ += static_cast<uint32_t>(count);
  return true;
}

bool GMLzmaEncoder::Encode(Job& job, GMBaseFile& target, uint64_t& bytesWritten) {
  failure_ = Failure::None;
  failure_path_.clear();
  failure_error_ = 0;
  input_sizes_.clear();
  if (!valid_) {
    failure_ = Failure::Other;
    return false;
  }
  job.encoder = this;
  job.target = &target;
  job.written = &bytesWritten;

  if (job.Write(properties_, kPropertiesSize) != kPropertiesSize) return false;
  SRes rc = LzmaEnc_Encode(handle_, &job.out.vt, &job.in.vt, job.progress ? &job.progressVt.vt : nullptr,
                           &g_alloc, &g_alloc);
  if (rc != SZ_OK) {
    if (failure_ == Failure::None) {
      failure_ = rc == SZ_ERROR_MEM ? Failure::Memory : Failure::Other;
      failure_error_ = rc == SZ_ERROR_MEM ? kErrorNotEnoughMemory : 0;
    }
    return false;
  }
  if (job.progress != nullptr) {
    const double overall = job.totals ? Percent(job.totals->done + job.TotalRead(), job.totals->total) : 100.0;
    job.progress->OnProgress(overall, 100.0);
  }
  return true;
}

bool GMLzmaEncoder::EncodeFile(GMBaseFile& source, GMBaseFile& target, uint64_t& bytesWritten,
                               GMCompressProgress* progress, GMProgressTotals* totals) {
  Job job;
  job.single = &source;
  source.GetSize(job.current_size);
  job.progress = progress;
  job.totals = totals;
  return Encode(job, target, bytesWritten);
}

bool GMLzmaEncoder::EncodeFiles(const std::vector<std::u16string>& sources, GMBaseFile& target,
                                uint64_t& bytesWritten, GMCompressProgress* progress,
                                GMProgressTotals* totals) {
  Job job;
  job.paths = &sources;
  job.progress = progress;
  job.totals = totals;
  return Encode(job, target, bytesWritten);
}

}  // namespace Zavro
