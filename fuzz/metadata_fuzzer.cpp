// Serialised metadata on arbitrary bytes: no allocation beyond what the bytes hold,
// nothing taken when they are cut short, and what reads writes back as the bytes it
// came from.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "installer/package_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Zavro;
  if (size > (1u << 20)) return 0;
  MetadataPairs pairs;
  if (!ParseMetadata(data, size, pairs)) {
    if (!pairs.empty()) std::abort();
    return 0;
  }
  const std::vector<unsigned char> bytes = SerializeMetadata(pairs);
  if (bytes.size() > size || std::memcmp(bytes.data(), data, bytes.size()) != 0) std::abort();
  return 0;
}
