// The "ZIP" method: zlib streams (2-byte header, deflate data, Adler-32 trailer, 32 KiB
// window).
#pragma once

#include <zlib.h>

#include "archive/converters/compress_converter.h"

namespace Zavro {

// The zlib calls of one direction of a stream.
struct ZipStreamCalls {
  int (*init)(z_stream* stream, int level);
  int (*run)(z_stream* stream, int flush);
  int (*reset)(z_stream* stream);
  int (*end)(z_stream* stream);
};

// The encoder's calls (deflate) are linked only into a program that makes an encoder
// (zip_encoder.cpp); the decoder's (inflate) only into one that makes a decoder.
class GMZipEncoder : public GMCompressConverter {
 public:
  static constexpr uint32_t kOutputCapacity = 524288;
  static constexpr int kDefaultLevel = 5;

  // A null level means kDefaultLevel; a level outside 0 to 9 means 9.
  explicit GMZipEncoder(const int32_t* level = nullptr);
  ~GMZipEncoder() override;

  uint32_t GetMethod() override { return 1; }
  bool Process(const void* input, uint32_t inputLength, uint32_t& consumed, bool finish) override;
  // Call until IsFinished(), draining the output in between.
  bool Finish() override;
  bool Reset() override;
  virtual bool InitStream();
  bool IsFinished() const { return finished_; }
  int Level() const { return level_; }

 protected:
  GMZipEncoder(const int32_t* level, const ZipStreamCalls& calls);
  // Runs the stream's deflate or inflate step on the free part of the output buffer.
  bool Step(const void* input, uint32_t inputLength, uint32_t& consumed, int flush, int& rc);
  virtual int RunStream(int flush) { return calls_.run(&stream_, flush); }
  virtual void EndStream() { calls_.end(&stream_); }

  z_stream stream_{};
  bool initialized_ = false;
  bool finished_ = false;
  int level_;

 private:
  const ZipStreamCalls& calls_;
};

class GMZipDecoder : public GMZipEncoder {
 public:
  GMZipDecoder();

  bool Process(const void* input, uint32_t inputLength, uint32_t& consumed, bool finish) override;
  bool Finish() override { return true; }
  bool IsStreamEnd() const override { return finished_; }
};

}  // namespace Zavro
