#include "archive/converters/zip_converter.h"

#include <cstdlib>

namespace Zavro {

namespace {

voidpf ZAlloc(voidpf, uInt count, uInt size) { return std::calloc(count, size); }
void ZFree(voidpf, voidpf address) { std::free(address); }

int ClampLevel(const int32_t* level) {
  if (level == nullptr) return GMZipEncoder::kDefaultLevel;
  return (*level < 0 || *level > 9) ? 9 : *level;
}

}  // namespace

GMZipEncoder::GMZipEncoder(const int32_t* level, const ZipStreamCalls& calls)
    : GMCompressConverter(kOutputCapacity), level_(ClampLevel(level)), calls_(calls) {
  stream_.zalloc = ZAlloc;
  stream_.zfree = ZFree;
}

GMZipEncoder::~GMZipEncoder() {
  if (initialized_) calls_.end(&stream_);
  initialized_ = false;
}

bool GMZipEncoder::InitStream() {
  if (!HasOutputBuffer()) return false;
  if (initialized_) EndStream();
  initialized_ = calls_.init(&stream_, level_) == Z_OK;
  finished_ = false;
  pending_ = 0;
  return initialized_;
}

bool GMZipEncoder::Reset() {
  pending_ = 0;
  finished_ = false;
  if (initialized_) return calls_.reset(&stream_) == Z_OK;
  return InitStream();
}

bool GMZipEncoder::Step(const void* input, uint32_t inputLength, uint32_t& consumed, int flush, int& rc) {
  uint32_t free = 0;
  unsigned char* window = FreeWindow(free);
  stream_.next_in = static_cast<Bytef*>(const_cast<void*>(input));
  stream_.avail_in = inputLength;
  stream_.next_out = window;
  stream_.avail_out = free;
  rc = RunStream(flush);
  consumed = inputLength - stream_.avail_in;
  pending_ += free - stream_.avail_out;
  stream_.next_in = nullptr;
  stream_.avail_in = 0;
  return true;
}

bool GMZipEncoder::Process(const void* input, uint32_t inputLength, uint32_t& consumed, bool) {
  consumed = 0;
  if (input == nullptr && inputLength != 0) return false;
  if (!initialized_ && !InitStream()) return false;
  if (GetFreeSpace() == 0 || inputLength == 0) return true;
  int rc = Z_OK;
  Step(input, inputLength, consumed, Z_NO_FLUSH, rc);
  return rc == Z_OK || rc == Z_BUF_ERROR;
}

bool GMZipEncoder::Finish() {
  if (finished_) return true;
  if (!initialized_ && !InitStream()) return false;
  if (GetFreeSpace() == 0) return true;
  uint32_t consumed = 0;
  int rc = Z_OK;
  Step(nullptr, 0, consumed, Z_FINISH, rc);
  if (rc == Z_STREAM_END) {
    finished_ = true;
    return true;
  }
  return rc == Z_OK || rc == Z_BUF_ERROR;
}

}  // namespace Zavro
