// The two codec libraries are built and linked for every target.
#include <gtest/gtest.h>

#include <zlib.h>

#include <lzma/LzmaDec.h>
#include <lzma/LzmaEnc.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string SampleText() {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i % 37) + " of the sample\n";
  return text;
}

void* SzAlloc(void*, size_t size) { return std::malloc(size); }
void SzFree(void*, void* address) { std::free(address); }
ISzAlloc kAlloc = {SzAlloc, SzFree};

TEST(CodecSmoke, ZlibRoundTrip) {
  const std::string input = SampleText();
  uLongf packedSize = compressBound(static_cast<uLong>(input.size()));
  std::vector<Bytef> packed(packedSize);
  ASSERT_EQ(compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(input.data()),
                      static_cast<uLong>(input.size()), 9),
            Z_OK);
  EXPECT_LT(packedSize, input.size() / 4);
  EXPECT_EQ(packed[0], 0x78);  // zlib wrapper, 32 KiB window

  std::vector<Bytef> output(input.size());
  uLongf outputSize = static_cast<uLongf>(output.size());
  ASSERT_EQ(uncompress(output.data(), &outputSize, packed.data(), packedSize), Z_OK);
  EXPECT_EQ(std::string(output.begin(), output.begin() + outputSize), input);
}

TEST(CodecSmoke, LzmaRoundTripWithEndMarker) {
  const std::string input = SampleText();
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = 9;
  props.dictSize = 1 << 20;
  props.writeEndMark = 1;
  props.numThreads = 1;

  std::vector<Byte> packed(input.size() + 1024);
  SizeT packedSize = packed.size();
  Byte header[LZMA_PROPS_SIZE];
  SizeT headerSize = LZMA_PROPS_SIZE;
  ASSERT_EQ(LzmaEncode(packed.data(), &packedSize, reinterpret_cast<const Byte*>(input.data()),
                       input.size(), &props, header, &headerSize, 1, nullptr, &kAlloc, &kAlloc),
            SZ_OK);
  ASSERT_EQ(headerSize, 5u);
  EXPECT_EQ(header[0], 0x5D);  // lc 3, lp 0, pb 2

  std::vector<Byte> output(input.size() + 16);
  SizeT outputSize = output.size();
  SizeT inputSize = packedSize;
  ELzmaStatus status;
  ASSERT_EQ(LzmaDecode(output.data(), &outputSize, packed.data(), &inputSize, header, headerSize,
                       LZMA_FINISH_END, &status, &kAlloc),
            SZ_OK);
  EXPECT_EQ(status, LZMA_STATUS_FINISHED_WITH_MARK);
  EXPECT_EQ(std::string(output.begin(), output.begin() + outputSize), input);
}

}  // namespace
