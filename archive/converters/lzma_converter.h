// The "LZMA" method: LZMA1 streams that start with their 5 property bytes (lc/lp/pb,
// then the dictionary size) and end with the end-of-stream marker; no size field.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/converters/compress_converter.h"

namespace Zavro {

class GMLzmaEncoder : public GMCompressConverter {
 public:
  static constexpr uint32_t kOutputCapacity = 1048576;
  static constexpr int kDefaultLevel = 5;
  static constexpr int kOutOfRangeLevel = 7;
  static constexpr uint32_t kLargeDictionary = 1u << 26;
  static constexpr size_t kPropertiesSize = 5;

  // Why the last EncodeFile or EncodeFiles failed.
  enum class Failure { None, Read, Write, Cancelled, Memory, Other };

  // A null level means kDefaultLevel; a level outside 0 to 9 means kOutOfRangeLevel.
  // Levels 8 and 9 use a 64 MiB dictionary, lower levels the codec's default for them.
  explicit GMLzmaEncoder(const int32_t* level = nullptr);
  ~GMLzmaEncoder() override;

  uint32_t GetMethod() override { return 2; }
  // Takes all input; the stream is encoded by Finish, which then hands it out in
  // pieces as large as the free space.
  bool Process(const void* input, uint32_t inputLength, uint32_t& consumed, bool finish) override;
  bool Finish() override;
  // Puts the property bytes at the front of the output: every stream starts with them.
  bool Reset() override;
  // Writes the property bytes and the encoded contents of `source` (of all `sources`,
  // read one after another as one stream) to `target`. The sources are read until they
  // end; LastInputSizes() then tells how many bytes each one gave.
  bool EncodeFile(GMBaseFile& source, GMBaseFile& target, uint64_t& bytesWritten,
                  GMCompressProgress* progress, GMProgressTotals* totals) override;
  bool EncodeFiles(const std::vector<std::u16string>& sources, GMBaseFile& target,
                   uint64_t& bytesWritten, GMCompressProgress* progress,
                   GMProgressTotals* totals) override;

  const unsigned char* Properties() const { return properties_; }
  uint32_t DictionarySize() const;
  // About what the codec allocates for one stream: the match finder's window, hash
  // and binary tree, and its own tables.
  uint64_t MemoryNeeded() const;
  int Level() const { return level_; }

  Failure LastFailure() const { return failure_; }
  // The source that could not be read and the system error, after a Read or Write failure.
  const std::u16string& FailurePath() const { return failure_path_; }
  uint32_t FailureSystemError() const { return failure_error_; }
  const std::vector<uint64_t>& LastInputSizes() const { return input_sizes_; }

 private:
  struct Job;
  bool Encode(Job& job, GMBaseFile& target, uint64_t& bytesWritten);

  void* handle_ = nullptr;
  int level_;
  unsigned char properties_[kPropertiesSize] = {};
  bool valid_ = false;
  // Process/Finish: the input of the stream, then its encoded form being handed out.
  std::vector<unsigned char> input_;
  std::vector<unsigned char> encoded_;
  size_t encoded_taken_ = 0;
  bool encoded_ready_ = false;

  Failure failure_ = Failure::None;
  std::u16string failure_path_;
  uint32_t failure_error_ = 0;
  std::vector<uint64_t> input_sizes_;
};

class GMLzmaDecoder : public GMCompressConverter {
 public:
  static constexpr uint32_t kOutputCapacity = 1048576;
  static constexpr uint32_t kMinDictionary = 4096;
  // No writer of these archives uses more (they use 64 MiB): a stream that announces
  // a larger dictionary is damaged, whatever its size.
  static constexpr uint32_t kMaxDictionary = 1u << 28;

  GMLzmaDecoder();
  ~GMLzmaDecoder() override;

  uint32_t GetMethod() override { return 2; }
  // The first 5 bytes of a stream are its properties; a first byte above 224, or a
  // dictionary above kMaxDictionary, fails.
  bool Process(const void* input, uint32_t inputLength, uint32_t& consumed, bool finish) override;
  // Starts a new stream (the dictionary is kept for reuse when it fits).
  bool Reset() override;

  // The stream cannot produce more than `size` bytes: a dictionary larger than that is
  // never needed, so at most that much (and at least 4096 bytes) is allocated, however
  // large a dictionary the properties announce. Set before the first Process.
  void SetOutputLimit(uint64_t size) { output_limit_ = size; }
  // The end-of-stream marker has been decoded.
  bool IsFinished() const { return finished_; }
  bool IsStreamEnd() const override { return finished_; }

 private:
  struct State;
  bool Start();

  std::unique_ptr<State> state_;
  unsigned char header_[5] = {};
  uint32_t header_bytes_ = 0;
  bool started_ = false;
  bool finished_ = false;
  uint64_t output_limit_ = UINT64_MAX;
};

}  // namespace Zavro
