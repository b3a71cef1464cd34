#include "archive/archive_test_support.h"

#include <gtest/gtest.h>
#include <lzma/LzmaDec.h>
#include <lzma/LzmaEnc.h>
#include <zlib.h>

#include <cstdlib>

#include "archive/gmz_format.h"

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

std::string Noise(size_t size, uint32_t seed) {
  std::string s;
  for (uint32_t x = seed; s.size() < size;) {
    x = x * 1103515245 + 12345;
    s.push_back(static_cast<char>(x >> 24));
  }
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

GMTocNode& AddFile(GMTocNode& parent, const std::u16string& name, uint32_t type, uint64_t size, uint32_t method,
                   uint64_t offset, uint64_t compressed) {
  auto e = std::make_shared<GMTocNode>(type);
  e->name = name;
  e->size = size;
  e->method = method;
  e->dataOffset = offset;
  e->compressedSize = compressed;
  e->attributes = type == kTocDirectory ? kFileAttributeDirectory : kFileAttributeArchive;
  return parent.AddChild(e);
}

std::vector<unsigned char> Assemble(GMTocNode& root, const std::string& data) {
  uint64_t tocSize = 0;
  EXPECT_TRUE(TocEntrySize(root, tocSize));
  std::vector<GMTocNode*> pending{&root};
  while (!pending.empty()) {
    GMTocNode* n = pending.back();
    pending.pop_back();
    if (n->IsFile() || n->IsMemory()) n->dataOffset += kGmzHeaderSize + tocSize;
    for (auto& c : n->children) pending.push_back(c.get());
  }
  std::vector<unsigned char> out(kGmzHeaderSize);
  WriteGmzHeader(GmzHeader{1, static_cast<uint32_t>(tocSize)}, out.data());
  std::vector<unsigned char> toc;
  EXPECT_TRUE(SerializeToc(root, toc));
  out.insert(out.end(), toc.begin(), toc.end());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::vector<unsigned char> Sealed(std::vector<unsigned char> bytes) {
  const uint32_t crc = static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
  const uint64_t count = bytes.size();
  bytes.insert(bytes.end(), {'G', 'M', 'Z', 'c'});
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(crc >> (8 * i)));
  for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<unsigned char>(count >> (8 * i)));
  return bytes;
}

}  // namespace Zavro::test
