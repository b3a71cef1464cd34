#include "archive/archive_test_support.h"

#include <gtest/gtest.h>
#include <lzma/LzmaDec.h>
#include <lzma/LzmaEnc.h>
#include <zlib.h>

#include <cstdlib>

namespace Zavro::test {

namespace {

void* Alloc(void*, size_t n) { return std::malloc(n); }
void Free(void*, void* p) { std::free(p); }
ISzAlloc g_alloc = {Alloc, Free};

}  // namespace

std::string Text(size_t size, char seed) {
  std::string s;
  uint32_t x = static_cast<unsigned char>(seed);
  while (s.size() < size) {
    x = x * 1103515245 + 12345;
    s += std::string("row ") + seed + std::to_string((x >> 16) % 1000) + ";";
  }
  s.resize(size);
  return s;
}

std::string Deflate(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
            static_cast<uLong>(data.size()), 6);
  out.resize(size);
  return out;
}

std::string Inflate(const std::string& stream, size_t size) {
  std::string out(size, '\0');
  uLongf length = static_cast<uLongf>(size);
  if (uncompress(reinterpret_cast<Bytef*>(&out[0]), &length, reinterpret_cast<const Bytef*>(stream.data()),
                 static_cast<uLong>(stream.size())) != Z_OK) {
    return "<failed>";
  }
  out.resize(length);
  return out;
}

std::string Lzma(const std::string& data, bool endMark) {
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.dictSize = 1 << 20;
  props.writeEndMark = endMark;
  std::string out(data.size() + data.size() / 2 + 1024, '\0');
  SizeT outSize = out.size() - 5;
  SizeT propsSize = 5;
  EXPECT_EQ(LzmaEncode(reinterpret_cast<Byte*>(&out[5]), &outSize, reinterpret_cast<const Byte*>(data.data()),
                       data.size(), &props, reinterpret_cast<Byte*>(&out[0]), &propsSize, endMark, nullptr, &g_alloc,
                       &g_alloc),
            SZ_OK);
  out.resize(outSize + 5);
  return out;
}

std::string Unlzma(const std::string& stream, size_t size) {
  if (stream.size() < 5) return "<short>";
  std::string out(size + 1, '\0');
  SizeT outLength = out.size();
  SizeT inLength = stream.size() - 5;
  ELzmaStatus status;
  SRes rc = LzmaDecode(reinterpret_cast<Byte*>(&out[0]), &outLength,
                       reinterpret_cast<const Byte*>(stream.data()) + 5, &inLength,
                       reinterpret_cast<const Byte*>(stream.data()), 5, LZMA_FINISH_ANY, &status, &g_alloc);
  if (rc != SZ_OK || status != LZMA_STATUS_FINISHED_WITH_MARK || inLength != stream.size() - 5) return "<failed>";
  out.resize(outLength);
  return out;
}

}  // namespace Zavro::test
