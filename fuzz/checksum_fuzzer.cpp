// The package check on arbitrary bytes. Beyond not crashing:
// - "matches" only when the last 16 bytes are the mark, the count of the bytes before
//   them and their CRC-32 (recomputed here with zlib's one-call function);
// - "damaged" always comes with the reader's message;
// - the same bytes sealed with a correct trailer match, and with any one byte before
//   the trailer changed (when they still open) are damaged.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/io/memory_file.h"
#include "archive/unpacker.h"

namespace {

using Zavro::GMUnpacker;
using Bytes = std::vector<unsigned char>;

uint64_t Le(const unsigned char* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return v;
}

uint32_t Crc(const unsigned char* data, size_t size) {
  return static_cast<uint32_t>(crc32(0, data, static_cast<uInt>(size)));
}

// The check's verdict on `bytes`, or -1 when they do not open.
int Verdict(const Bytes& bytes) {
  GMUnpacker reader(new Zavro::CMemoryFile(bytes.data(), bytes.size()), true);
  if (!reader.Open(false)) return -1;
  const GMUnpacker::Checksum result = reader.VerifyChecksum();
  if (result == GMUnpacker::Checksum::kDamaged && reader.GetLastErrorMessage().empty()) std::abort();
  if (reader.HasChecksum() != (result != GMUnpacker::Checksum::kNone)) std::abort();
  return static_cast<int>(result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const Bytes bytes(data, data + size);
  const int verdict = Verdict(bytes);
  if (verdict == static_cast<int>(GMUnpacker::Checksum::kMatches)) {
    const unsigned char* trailer = data + size - 16;
    if (std::memcmp(trailer, "GMZc", 4) != 0 || Le(trailer + 8, 8) != size - 16 ||
        Le(trailer + 4, 4) != Crc(data, size - 16)) {
      std::abort();
    }
  }
  if (verdict < 0) return 0;

  Bytes sealed = bytes;
  const uint32_t crc = Crc(data, size);
  sealed.insert(sealed.end(), {'G', 'M', 'Z', 'c'});
  for (int i = 0; i < 4; ++i) sealed.push_back(static_cast<unsigned char>(crc >> (8 * i)));
  for (int i = 0; i < 8; ++i) sealed.push_back(static_cast<unsigned char>(static_cast<uint64_t>(size) >> (8 * i)));
  if (Verdict(sealed) != static_cast<int>(GMUnpacker::Checksum::kMatches)) std::abort();
  if (size == 0) return 0;
  sealed[crc % size] ^= static_cast<unsigned char>(1 + crc % 255);
  const int changed = Verdict(sealed);
  if (changed >= 0 && changed != static_cast<int>(GMUnpacker::Checksum::kDamaged)) std::abort();
  return 0;
}
