// GMUnpacker opens a GMZ archive (from memory, from a disk file, or from a set of
// volumes NAME.part0, NAME.part1, ...), loads its table of contents and extracts the
// tree into a target folder: folders, files with their attributes and times, memory
// entries into their buffers, stand-alone streams and the one solid block.
//
// Every failure that depends on the outside world goes through one protocol: the
// system error is offered to ShouldIgnoreError; when declined, ReportError or
// ReportDataError records the message (FormatErrorMessage) and returns the observer's
// verdict (stop, without an observer). Archive damage and decoder failures are data
// errors. The table's sizes are not trusted: a stream that ends early, runs long, or
// stops without its end marker is a data error, never a short or overlong file.
//
// Entry names may be absolute paths; names that are "." or "..", contain a ".."
// component or a NUL are never written.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/converters/compress_converter.h"
#include "archive/converters/compress_progress.h"
#include "archive/io/base_file.h"
#include "archive/toc_node.h"
#include "installer/error_info.h"

namespace Zavro {

class GMUnpacker {
 public:
  // A memory entry larger than this makes the table invalid.
  static constexpr uint64_t kMaxMemoryEntrySize = 52428800;
  static constexpr uint32_t kReadChunk = 524288;

  // Reads from `source` (may be null: then Open uses the archive path). With
  // `takeOwnership` the reader deletes the source.
  GMUnpacker(GMBaseFile* source, bool takeOwnership);
  // Reads the disk archive at `archivePath`.
  explicit GMUnpacker(const std::u16string& archivePath);
  virtual ~GMUnpacker();
  GMUnpacker(const GMUnpacker&) = delete;
  GMUnpacker& operator=(const GMUnpacker&) = delete;

  virtual bool Open(bool multiVolume);
  virtual bool Extract(const std::u16string& targetFolder);
  virtual void Cancel();
  virtual bool ExtractEntry(GMTocNode& entry, const std::u16string& parentPath);
  virtual bool LoadToc(GMBaseFile& source);
  virtual GMCompressConverter::Ptr GetDecoder(uint32_t method);
  virtual bool ExtractSolidBlock(GMTocNode& lastMember, const std::u16string& parentPath);
  virtual bool MapTargetPath(GMTocNode& entry, std::u16string& path, std::u16string& name, bool& handled);
  virtual void OnEntryProgress(GMTocNode& entry, uint64_t bytesDone);
  virtual bool OnEntryDone(GMTocNode& entry);
  virtual bool CreateFolder(const std::u16string& path);
  virtual bool ShouldIgnoreError(uint32_t systemError, const std::u16string& path);
  virtual bool ReportError(uint32_t kind, const std::u16string& path, uint32_t systemError);
  virtual bool ReportDataError(uint32_t kind, uint32_t number1, uint32_t number2);
  // Where an entry's bytes go: by default a new disk file at `path` opened with
  // `disposition`. A tester returns a sink that only counts.
  virtual std::unique_ptr<GMBaseFile> OpenOutput(GMTocNode& entry, const std::u16string& path,
                                                 uint32_t disposition);
  // Whether a file is in the way of `path` (it is then removed first).
  virtual bool IsFileInTheWay(const std::u16string& path);
  // Gives a folder its attributes and times once its contents are written.
  virtual void FinishFolder(GMTocNode& entry);

  std::u16string GetLastErrorMessage() const { return last_error_message_; }
  const ErrorInfo& LastError() const { return last_error_; }
  void SetReplaceLockedFiles(bool replace) { replace_locked_ = replace; }
  // Deletes the file at `path` (read-only or not). A locked file, when locked files may
  // be replaced, is moved aside to a temporary name in its folder and deleted at the
  // next restart.
  bool RemoveExisting(const std::u16string& path);

  void SetArchivePath(const std::u16string& path) { archive_path_ = path; }
  void SetObserver(GMCompressProgress* observer) { observer_ = observer; }
  void SetIgnoreAllErrors(bool ignore) { ignore_all_errors_ = ignore; }
  bool IsCancelled() const;
  bool IsOpened() const { return opened_; }
  GMTocNode& Root() { return root_; }
  uint8_t Version() const { return version_; }
  uint32_t TocSize() const { return toc_size_; }
  size_t VolumeCount() const { return volumes_.size(); }
  const std::u16string& TargetRoot() const { return target_root_; }
  // Bytes of compressed input processed, and in all.
  uint64_t DoneBytes() const { return done_; }
  uint64_t TotalBytes() const { return total_; }

 protected:
  GMCompressProgress* Observer() const { return observer_; }

 private:
  class Input;
  class Output;
  class SolidWriter;
  enum class SinkResult { Ok, TooMuch, Failed, Abandoned };
  struct Span {
    const unsigned char* data;
    uint32_t size;
  };
  // Decodes the input range through `decoder`, handing every output to `sink`; false
  // on a failure (reported) or when the sink gave up (`abandoned`, not a failure).
  bool Pump(GMCompressConverter& decoder, Input& input, uint64_t streamEnd,
            const std::function<void(uint64_t)>& onInput, const std::function<SinkResult(Span)>& sink,
            bool& abandoned);
  bool OpenVolume(const std::u16string& path, const std::u16string& reportedName);
  bool ValidateTree();
  bool CheckFat32();
  bool ExtractChildren(GMTocNode& folder, const std::u16string& path);
  bool ExtractData(GMTocNode& entry);
  bool DecodeStream(GMTocNode& entry, Output& sink);
  bool PrepareSolidMembers(GMTocNode& folder, const std::u16string& parentPath,
                           std::vector<GMTocNode*>& members);
  bool CheckName(const GMTocNode& entry, const std::u16string& path);
  bool VolumeSizes(std::vector<uint64_t>& sizes, bool& ignored);
  std::u16string VolumeName(size_t index) const;
  bool DataError(uint64_t offset);
  void FinishEntry(GMTocNode& entry);
  void FinishFolders();

  GMTocNode root_{kTocFile};
  uint8_t version_ = 1;
  uint32_t toc_size_ = 0;
  std::vector<std::shared_ptr<GMBaseFile>> owned_;
  GMBaseFile* source_ = nullptr;
  std::vector<GMBaseFile*> volumes_;
  std::u16string archive_path_;
  std::u16string volume_base_;
  std::u16string target_root_;
  bool opened_ = false;
  std::map<uint32_t, GMCompressConverter::Ptr> decoders_;
  std::atomic<bool> cancelled_{false};
  GMCompressProgress* observer_ = nullptr;
  uint64_t total_ = 0;
  uint64_t done_ = 0;
  bool ignore_all_errors_ = false;
  bool replace_locked_ = false;
  ErrorInfo last_error_;
  std::u16string last_error_message_;
  std::vector<unsigned char> chunk_;
};

}  // namespace Zavro
