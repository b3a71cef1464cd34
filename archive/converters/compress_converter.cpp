#include "archive/converters/compress_converter.h"

#include <algorithm>
#include <cstring>

namespace Zavro {

uint32_t GMCompressConverter::GetFreeSpace() { return output_.Capacity() - pending_; }

bool GMCompressConverter::TakeOutput(void* destination, uint32_t maxLength) {
  if (destination == nullptr && maxLength != 0) return false;
  const uint32_t count = std::min(pending_, maxLength);
  if (count == 0) return true;
  std::memcpy(destination, output_.Data(), count);
  std::memmove(output_.Data(), output_.Data() + count, pending_ - count);
  pending_ -= count;
  return true;
}

const unsigned char* GMCompressConverter::GetOutput(uint32_t& length) {
  length = pending_;
  return output_.Data();
}

bool GMRawConverter::Process(const void* input, uint32_t inputLength, uint32_t& consumed, bool) {
  consumed = 0;
  if (!HasOutputBuffer()) return false;
  if (input == nullptr && inputLength != 0) return false;
  uint32_t free = 0;
  unsigned char* window = FreeWindow(free);
  const uint32_t count = std::min(inputLength, free);
  if (count != 0) std::memcpy(window, input, count);
  pending_ += count;
  consumed = count;
  return true;
}

bool GMRawConverter::Reset() {
  pending_ = 0;
  return HasOutputBuffer();
}

}  // namespace Zavro
