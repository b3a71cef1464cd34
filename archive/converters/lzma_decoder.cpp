// The LZMA decoder: apart from the encoder, so that a program that only decodes links
// none of the encoder.
#include "archive/converters/lzma_converter.h"

#include <lzma/LzmaDec.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace Zavro {

namespace {

void* SzAlloc(void*, size_t size) { return size == 0 ? nullptr : std::malloc(size); }
void SzFree(void*, void* address) { std::free(address); }
ISzAlloc g_alloc = {SzAlloc, SzFree};

}  // namespace

// The decoder's state: the codec's probability tables and our own dictionary buffer,
// which is kept across streams when it is large enough.
struct GMLzmaDecoder::State {
  CLzmaDec dec;
  bool probs = false;
  Byte* dictionary = nullptr;
  size_t dictionary_capacity = 0;

  State() { LzmaDec_Construct(&dec); }
  ~State() {
    if (probs) LzmaDec_FreeProbs(&dec, &g_alloc);
    std::free(dictionary);
  }
};

GMLzmaDecoder::GMLzmaDecoder() : GMCompressConverter(kOutputCapacity) {}

GMLzmaDecoder::~GMLzmaDecoder() = default;

bool GMLzmaDecoder::Reset() {
  pending_ = 0;
  header_bytes_ = 0;
  started_ = false;
  finished_ = false;
  return HasOutputBuffer();
}

bool GMLzmaDecoder::Start() {
  if (header_[0] >= 9 * 5 * 5) return false;
  uint64_t dictionary = static_cast<uint32_t>(header_[1]) | (static_cast<uint32_t>(header_[2]) << 8) |
                        (static_cast<uint32_t>(header_[3]) << 16) | (static_cast<uint32_t>(header_[4]) << 24);
  if (dictionary > kMaxDictionary) return false;
  dictionary = std::max<uint64_t>(std::min(dictionary, std::max<uint64_t>(output_limit_, 1)), kMinDictionary);
  if (dictionary > SIZE_MAX / 2) return false;
  if (!state_) {
    state_.reset(new (std::nothrow) State);
    if (!state_) return false;
  }
  State& s = *state_;
  if (LzmaDec_AllocateProbs(&s.dec, header_, 5, &g_alloc) != SZ_OK) {
    s.probs = false;
    return false;
  }
  s.probs = true;
  if (s.dictionary_capacity < dictionary) {
    std::free(s.dictionary);
    s.dictionary = static_cast<Byte*>(std::malloc(static_cast<size_t>(dictionary)));
    s.dictionary_capacity = s.dictionary ? static_cast<size_t>(dictionary) : 0;
    if (s.dictionary == nullptr) return false;
  }
  s.dec.dic = s.dictionary;
  s.dec.dicBufSize = static_cast<SizeT>(dictionary);
  // The codec checks match distances against the dictionary size of the properties;
  // with a smaller buffer that check must use the buffer's size, or a hostile stream
  // reads before it.
  s.dec.prop.dicSize = static_cast<UInt32>(dictionary);
  LzmaDec_Init(&s.dec);
  started_ = true;
  return true;
}

bool GMLzmaDecoder::Process(const void* input, uint32_t inputLength, uint32_t& consumed, bool) {
  consumed = 0;
  if (!HasOutputBuffer()) return false;
  if (input == nullptr && inputLength != 0) return false;
  // The codec copies from its input even when there is none to take.
  static const unsigned char kNoInput = 0;
  const auto* bytes = input != nullptr ? static_cast<const unsigned char*>(input) : &kNoInput;
  if (!started_) {
    const uint32_t take = std::min<uint32_t>(5 - header_bytes_, inputLength);
    std::memcpy(header_ + header_bytes_, bytes, take);
    header_bytes_ += take;
    consumed = take;
    if (header_bytes_ < 5) return true;
    if (!Start()) return false;
  }
  if (finished_) return true;
  uint32_t free = 0;
  unsigned char* window = FreeWindow(free);
  if (free == 0) return true;
  SizeT outLength = free;
  SizeT inLength = inputLength - consumed;
  ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
  // The end of a stream is its end marker, seen in the status. Asking the codec to
  // finish at the output limit would fail whenever the output buffer fills before the
  // last input is decoded, so `finish` asks nothing of it.
  SRes rc = LzmaDec_DecodeToBuf(&state_->dec, window, &outLength, bytes + consumed, &inLength,
                                LZMA_FINISH_ANY, &status);
  consumed += static_cast<uint32_t>(inLength);
  pending_ += static_cast<uint32_t>(outLength);
  if (rc != SZ_OK) return false;
  if (status == LZMA_STATUS_FINISHED_WITH_MARK) finished_ = true;
  return true;
}

}  // namespace Zavro
