// GMPacker builds a GMZ archive from a folder on disk: it scans the folder into a tree
// of entries (a policy may leave entries out and choose their methods), writes the
// header, reserves the table of contents, writes every stand-alone stream in table
// order, then the one solid block with the data of every method-3 file, then the table
// itself, and last the checksum trailer over all of it.
//
// Folder items enter the tree sorted by name without regard to case (as NTFS lists
// them), so the same folder packs the same archive on every system. A link to a file
// is packed as that file; what an archive cannot hold (links to folders, broken links,
// pipes, sockets, devices) is left out of the scan and named in Skipped(). Entries keep
// only the attribute bits a reader applies (kStoredAttributeMask).
//
// A pack either succeeds or fails as a whole: an unreadable source, a failed write, a
// failed encoder, a source whose size changed since the scan, or a cancel fails it, and
// PackToFile then removes what it wrote. Failures are reported to the observer (when
// one is attached) and kept as the last error.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/converters/compress_converter.h"
#include "archive/converters/compress_progress.h"
#include "archive/gmz_format.h"
#include "archive/io/base_file.h"
#include "archive/packer_policy.h"
#include "archive/toc_node.h"
#include "system/error_info.h"
#include "system/directory_listing.h"

namespace Zavro {

class GMPacker {
 public:
  GMPacker();
  virtual ~GMPacker();
  GMPacker(const GMPacker&) = delete;
  GMPacker& operator=(const GMPacker&) = delete;

  // Scans `folder` (its contents under the root, or the folder itself as the one
  // top-level entry). Clears any earlier scan and the cancelled flag.
  virtual bool SetSource(const std::u16string& folder, bool includeFolderItself);
  // Writes the archive at the output's current position.
  virtual bool Pack(GMBaseFile& output);
  // Creates (replaces) the file at `path`, relative paths meaning the current folder,
  // and packs into it; removes it again when the pack fails.
  virtual bool PackToFile(const std::u16string& path);
  virtual bool AddFolderContents(GMTocNode& parent, const std::u16string& folder);
  // An encoder for a method, cached per method. Methods 2 and 3 share the LZMA encoder.
  virtual GMCompressConverter::Ptr GetEncoder(uint32_t method, const int32_t* level);
  // Records the error and returns the observer's verdict (false without an observer).
  virtual bool ReportError(ErrorKind kind, const std::u16string& path, uint32_t systemError);
  virtual bool ReportDataError(ErrorKind kind, uint32_t number1, uint32_t number2);

  void SetDefaultMethod(uint32_t method) { default_method_ = method; }
  uint32_t DefaultMethod() const { return default_method_; }
  void SetLevel(int32_t level);
  int32_t Level() const { return policy_->GetLevel(); }
  // The policy decides each entry and holds the level; null sets one that keeps
  // everything. A new policy takes the level over.
  void SetPolicy(std::shared_ptr<GMPackerPolicy> policy);
  void SetObserver(GMCompressProgress* observer) { observer_ = observer; }
  // May be called from another thread; the pack stops at its next check.
  void Cancel();
  bool IsCancelled() const;

  // Adds a named block of at most 4096 bytes kept in the table itself; false when larger.
  bool AddInlineEntry(GMTocNode& parent, const std::u16string& name, const void* data, size_t size);
  // Adds an entry whose data is given here instead of read from disk, at most
  // kMaxMemoryEntrySize bytes (readers refuse larger ones); null when larger or when
  // memory runs out. A solid method (3) stores it as a stand-alone LZMA stream (2):
  // only files join the solid block.
  static constexpr size_t kMaxMemoryEntrySize = kMaxBlockSize;
  GMTocNode* AddMemoryEntry(GMTocNode& parent, const std::u16string& name, const void* data, size_t size,
                            uint32_t method);

  // The items the last scan left out because an archive cannot hold them, each with
  // its source path; what the policy excludes is not among them.
  const std::vector<SkippedItem>& Skipped() const { return skipped_; }
  // Takes the file read from `path` (a full path) out of the scanned tree, so that an
  // archive written into the folder it packs does not hold itself. Paths compare as
  // the system compares file names (IsSamePath). False when no file has that path.
  bool RemoveSource(const std::u16string& path);

  GMTocNode& Root() { return root_; }
  // What in the scanned tree would not survive on Windows: a name a reader refuses to
  // create (`sameAs` null), or one that differs only in letter case from another in
  // its folder (`sameAs`; Windows would merge them). Inline and memory entries never
  // reach a disk and may be named freely.
  struct NameProblem {
    const GMTocNode* entry;
    const GMTocNode* sameAs;
  };
  std::vector<NameProblem> FindNameProblems() const;
  const ErrorInfo& LastError() const { return last_error_; }
  // An explanation of the last error for people (in English), naming the path concerned.
  const std::u16string& LastErrorText() const { return last_error_text_; }

 protected:
  bool WriteEntry(GMTocNode& entry, GMBaseFile& output, std::vector<std::u16string>& solidSources);

 private:
  struct StreamState;
  bool WriteStream(GMTocNode& entry, GMBaseFile& output, std::vector<std::u16string>& solidSources);
  bool WriteSolidBlock(GMBaseFile& output, const std::vector<std::u16string>& solidSources);
  // Appends the checksum trailer at `end`, from the CRC of the `dataSize` bytes of
  // streams (taken as they were written), the header's and the table's.
  bool WriteChecksum(GMBaseFile& output, const unsigned char* header, const std::vector<unsigned char>& toc,
                     unsigned long dataCrc, uint64_t dataSize, uint64_t end);
  bool Feed(StreamState& state, const unsigned char* data, uint32_t size);
  bool WritePending(StreamState& state);
  bool WriteAll(GMBaseFile& output, const void* data, uint32_t size);
  bool ReportEncoderFailure(const GMCompressConverter& encoder, uint64_t position);
  // A cancel ends the pack like an encoder failure, at the output position reached.
  bool ReportCancel(uint64_t position);
  void SetErrorText(std::u16string text) { last_error_text_ = std::move(text); }
  void Progress(uint64_t entryDone, uint64_t entrySize);
  void ResetScan();

  GMTocNode root_{kTocDirectory};
  uint32_t default_method_;
  std::shared_ptr<GMPackerPolicy> policy_;
  GMCompressProgress* observer_ = nullptr;
  GMProgressTotals totals_;
  std::atomic<bool> cancelled_{false};
  GMTocNode* last_solid_ = nullptr;
  uint64_t solid_total_ = 0;
  // Sizes the scan found for the solid members, in order, to check against what is read.
  std::vector<std::pair<GMTocNode*, uint64_t>> solid_members_;
  std::vector<SkippedItem> skipped_;
  std::map<uint32_t, GMCompressConverter::Ptr> encoders_;
  std::vector<unsigned char> chunk_;
  ErrorInfo last_error_;
  std::u16string last_error_text_;
};

}  // namespace Zavro
