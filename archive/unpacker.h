// GMUnpacker opens a GMZ archive (from memory, from a disk file, or from a set of
// volumes NAME.part0, NAME.part1, ...), loads its table of contents and extracts the
// tree into a target folder: folders, files with their attributes and times, memory
// entries into their buffers, stand-alone streams and the one solid block.
//
// Every failure that depends on the outside world goes through one protocol: the
// system error is offered to ShouldIgnoreError with the path concerned; when declined,
// ReportError records the message (FormatErrorMessage) and returns the observer's
// verdict (stop, without an observer). An ignored or approved failure skips the step:
// the entry counts as done without being written whole. Archive damage and decoder
// failures are data errors and always stop. The table's sizes are not trusted: a
// stream that ends early, runs long, or stops without its end marker is a data error,
// never a short or overlong file. A false Extract leaves its message in
// GetLastErrorMessage, unless it was cancelled (IsCancelled).
//
// Hostile archives: an entry reaches the disk only under a name IsValidFilePath
// accepts, taken after its quotes are removed and MapTargetPath has had its say, so a
// relative name always stays below its folder (a refused name is kind 0x10000001 with
// error 123). Absolute names are written where they say unless SetAbsoluteNames(false).
// A file in the way is removed only once the entry's data has been found in the
// archive, and a solid member's file only when its bytes arrive. Memory entries hold
// at most kMaxMemoryEntrySize bytes together, the table at most what its source holds.
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
#include "archive/gmz_format.h"
#include "archive/io/base_file.h"
#include "archive/toc_node.h"
#include "system/error_info.h"

namespace Zavro {

class GMUnpacker {
 public:
  // Memory entries larger than this together make the table invalid.
  static constexpr uint64_t kMaxMemoryEntrySize = kMaxBlockSize;
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
  // An entry whose writing was skipped (a failure ignored or approved): what was written
  // of it, if anything, is not the whole entry.
  virtual void OnEntrySkipped(GMTocNode& entry) {}
  virtual bool CreateFolder(const std::u16string& path);
  virtual bool ShouldIgnoreError(uint32_t systemError, const std::u16string& path);
  virtual bool ReportError(ErrorKind kind, const std::u16string& path, uint32_t systemError);
  virtual bool ReportDataError(ErrorKind kind, uint32_t number1, uint32_t number2);
  // Where an entry's bytes go: by default a new disk file at `path` opened with
  // `disposition`. A tester returns a sink that only counts.
  virtual std::unique_ptr<GMBaseFile> OpenOutput(GMTocNode& entry, const std::u16string& path,
                                                 uint32_t disposition);
  // Whether a file is in the way of `path` (it is then removed first).
  virtual bool IsFileInTheWay(const std::u16string& path);
  // Gives a folder its attributes and times once its contents are written.
  virtual void FinishFolder(GMTocNode& entry);

  // The archive's checksum (gmz_format.h), after Open: none (an archive made before
  // packages were checked), or whether every byte before it still matches. Reads the
  // whole archive once; a mismatch is reported as damage at the archive's size
  // ("数据处理错误，偏移:N"), a read failure as such (and counts as damaged).
  enum class Checksum { kNone, kMatches, kDamaged };
  Checksum VerifyChecksum();
  // Whether the archive ends with a checksum, without reading the rest.
  bool HasChecksum();

  std::u16string GetLastErrorMessage() const { return last_error_message_; }
  const ErrorInfo& LastError() const { return last_error_; }
  void SetReplaceLockedFiles(bool replace) { replace_locked_ = replace; }
  // Deletes the file at `path` (read-only or not). A locked file, when locked files may
  // be replaced, is moved aside to a temporary name in its folder and deleted at the
  // next restart. An installer may keep the file aside instead, to put it back.
  virtual bool RemoveExisting(const std::u16string& path);

  void SetArchivePath(const std::u16string& path) { archive_path_ = path; }
  void SetObserver(GMCompressProgress* observer) { observer_ = observer; }
  void SetIgnoreAllErrors(bool ignore) { ignore_all_errors_ = ignore; }
  void SetAbsoluteNames(bool allowed) { absolute_names_ = allowed; }
  // Whether an entry name, as the reader joins it (without surrounding quotes), is an
  // absolute path.
  static bool IsAbsoluteName(const std::u16string& name);
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
  bool ReplaceLockedFiles() const { return replace_locked_; }
  bool IgnoresAllErrors() const { return ignore_all_errors_; }
  // The flag Cancel sets, for work of a subclass that waits (a started program).
  std::atomic<bool>* CancelFlag() { return &cancelled_; }
  void ClearCancelled() { cancelled_ = false; }
  // Records any error record as the last error, with its message, and returns the
  // observer's verdict (false without one), as ReportError does for file errors.
  bool ReportRecord(const ErrorInfo& error);

 private:
  // How one step of an extraction ended: written, skipped (a failure was ignored or
  // approved: the step counts as done), or failed (extraction stops).
  enum class Outcome { Done, Skipped, Failed };
  class Input;
  class Sink;
  class FileSink;
  class BufferSink;
  class SolidSink;

  // The error rules, one per kind of failure. Offer: a failure of the outside world,
  // offered to ShouldIgnoreError, reported when declined, the report's verdict deciding.
  // Refuse: reported, and the step fails whatever the verdict. DataFailure: damage at
  // an archive offset, always fails.
  Outcome Offer(ErrorKind kind, const std::u16string& path, uint32_t systemError);
  Outcome Refuse(ErrorKind kind, const std::u16string& path, uint32_t systemError);
  Outcome DataFailure(uint64_t offset);
  // Ends an entry: finished when done, progress to its end when skipped.
  bool Conclude(GMTocNode& entry, Outcome outcome);

  bool OpenVolume(const std::u16string& path, const std::u16string& reportedName);
  bool ValidateTree();
  bool CheckFat32();
  Outcome TargetPath(const std::u16string& folder, const std::u16string& name, std::u16string& path);
  bool ExtractChildren(GMTocNode& folder, const std::u16string& path);
  Outcome ExtractFolder(GMTocNode& entry);
  Outcome ExtractData(GMTocNode& entry);
  Outcome VolumeSizes(std::vector<uint64_t>& sizes);
  // The archive's trailer: kNone without one, kDamaged when it cannot be read or its
  // count is not where it sits (reported), kMatches when its CRC and count are read.
  Checksum ReadTrailer(std::vector<uint64_t>& sizes, uint32_t& crc, uint64_t& covered);
  Outcome PrepareDecoder(uint32_t method, uint64_t outputSize, GMCompressConverter::Ptr& decoder);
  // Decodes the located input through `decoder` into `sink`, which must receive exactly
  // `outputSize` bytes and the stream's own end.
  Outcome Pump(GMCompressConverter& decoder, Input& input, uint64_t outputSize, Sink& sink,
               const std::function<void(uint64_t)>& onInput);
  // The members of the solid block, in table order, with their folders made.
  Outcome PrepareSolidMembers(GMTocNode& folder, const std::u16string& folderPath, const GMTocNode& lastMember,
                              std::vector<GMTocNode*>& members);
  std::u16string VolumeName(size_t index) const;
  void FinishEntry(GMTocNode& entry);
  void FinishFolders();

  GMTocNode root_{kTocFile};
  uint8_t version_ = 1;
  uint32_t toc_size_ = 0;
  uint64_t archive_start_ = 0;
  // Where the table and every entry's data end: the trailer cannot start before.
  uint64_t data_end_ = 0;
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
  bool absolute_names_ = true;
  ErrorInfo last_error_;
  std::u16string last_error_message_;
  std::vector<unsigned char> chunk_;
};

}  // namespace Zavro
