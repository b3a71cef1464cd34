// A converter turns a stream of input bytes into a stream of output bytes through a
// bounded output buffer.
//
// Contract, for every converter:
// - Process(input, length, consumed, finish) takes as much input as it can and puts
//   what it produces after the pending output; `consumed` says how much input it took.
//   With a full output buffer it takes nothing and succeeds: drain and call again.
//   `finish` tells a decoder that this is the last input of the stream.
// - Finish() flushes the end of the stream into the output buffer (encoders). Call it
//   and drain the output until GetPendingCount() stays 0 after a Finish.
// - Output is drained with GetOutput/ClearOutput or TakeOutput.
// - Reset() prepares a new stream and drops pending output.
// - A false result means the stream is broken (corrupt input, an allocation failure);
//   the converter must be Reset before it is used again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/io/base_file.h"
#include "archive/io/buffer.h"

namespace Zavro {

class GMCompressProgress;
struct GMProgressTotals;

class GMCompressConverter {
 public:
  using Ptr = std::shared_ptr<GMCompressConverter>;

  virtual uint32_t GetMethod() = 0;
  virtual uint32_t GetFreeSpace();
  virtual bool Process(const void* input, uint32_t inputLength, uint32_t& consumed, bool finish) = 0;
  virtual bool Finish() { return true; }
  virtual uint32_t GetPendingCount() { return pending_; }
  virtual bool TakeOutput(void* destination, uint32_t maxLength);
  virtual const unsigned char* GetOutput(uint32_t& length);
  virtual void ClearOutput() { pending_ = 0; }
  virtual bool Reset() = 0;
  // Decoders: the stream's own end (end marker, trailer) has been decoded. A stream
  // that stops before it is damaged, whatever the sizes around it say.
  virtual bool IsStreamEnd() const { return true; }
  // Compress a whole file (several files as one stream) straight into `target`,
  // adding the bytes written to `bytesWritten`. Only the LZMA encoder can.
  virtual bool EncodeFile(GMBaseFile& source, GMBaseFile& target, uint64_t& bytesWritten,
                          GMCompressProgress* progress, GMProgressTotals* totals) {
    return false;
  }
  virtual bool EncodeFiles(const std::vector<std::u16string>& sources, GMBaseFile& target,
                           uint64_t& bytesWritten, GMCompressProgress* progress,
                           GMProgressTotals* totals) {
    return false;
  }
  virtual ~GMCompressConverter() = default;

 protected:
  explicit GMCompressConverter(uint32_t outputCapacity) : output_(outputCapacity) {}
  GMCompressConverter(const GMCompressConverter&) = delete;
  GMCompressConverter& operator=(const GMCompressConverter&) = delete;

  // The free part of the output buffer.
  unsigned char* FreeWindow(uint32_t& length) {
    length = GetFreeSpace();
    return output_.Data() + pending_;
  }
  bool HasOutputBuffer() const { return output_.Data() != nullptr; }

  GMBuffer<unsigned char> output_;
  uint32_t pending_ = 0;
};

// The stored method: a bounded copy.
class GMRawConverter : public GMCompressConverter {
 public:
  static constexpr uint32_t kOutputCapacity = 102400;
  GMRawConverter() : GMCompressConverter(kOutputCapacity) {}

  uint32_t GetMethod() override { return 0; }
  bool Process(const void* input, uint32_t inputLength, uint32_t& consumed, bool finish) override;
  bool Reset() override;
};

}  // namespace Zavro
