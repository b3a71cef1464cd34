// The archive header and table-of-contents parser on arbitrary bytes. Where a table
// parses, writing it again must give a table of the same size that parses to the same
// bytes once more.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/gmz_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Zavro;
  if (size > (1u << 20)) return 0;
  if (size >= kGmzHeaderSize) {
    GmzHeader header;
    uint32_t code = 0;
    if (ParseGmzHeader(data, header, code) && header.tocSize > size - kGmzHeaderSize) code = kTocErrorInvalid;
  }
  GMTocNode root;
  uint32_t code = 0;
  if (!ParseToc(data, size, root, code)) {
    if (code != kTocErrorInvalid || !root.children.empty()) std::abort();
    return 0;
  }
  std::vector<unsigned char> first;
  if (!SerializeToc(root, first) || first.size() != size) std::abort();
  GMTocNode again;
  std::vector<unsigned char> second;
  if (!ParseToc(first.data(), first.size(), again, code) || !SerializeToc(again, second) || second != first) {
    std::abort();
  }
  return 0;
}
