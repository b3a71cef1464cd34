#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "archive/converters/converter_registry.h"
#include "archive/converters/lzma_converter.h"
#include "archive/converters/zip_converter.h"
#include "archive/io/memory_file.h"

namespace Zavro {
namespace {

std::string Sample(size_t size) {
  std::string text;
  uint32_t x = 12345;
  while (text.size() < size) {
    x = x * 1103515245 + 12345;
    text += "entry " + std::to_string((x >> 16) % 97) + " of the sample; ";
  }
  text.resize(size);
  return text;
}

// Runs a converter over `input` in pieces of `step` bytes, draining after every call,
// then finishes it; fails the test on a failed call.
std::string Convert(GMCompressConverter& c, const std::string& input, size_t step, bool finishCalls) {
  std::string out;
  auto drain = [&] {
    uint32_t n = 0;
    const unsigned char* p = c.GetOutput(n);
    out.append(reinterpret_cast<const char*>(p), n);
    c.ClearOutput();
  };
  size_t offset = 0;
  while (offset < input.size()) {
    const uint32_t piece = static_cast<uint32_t>(std::min(step, input.size() - offset));
    uint32_t consumed = 0;
    const bool last = offset + piece == input.size();
    EXPECT_TRUE(c.Process(input.data() + offset, piece, consumed, last));
    offset += consumed;
    drain();
    if (consumed == 0 && c.GetPendingCount() == 0 && !last) {
      ADD_FAILURE() << "no progress";
      break;
    }
    if (consumed == 0 && last) break;
  }
  if (finishCalls) {
    for (int i = 0; i < 1000; ++i) {
      EXPECT_TRUE(c.Finish());
      const uint32_t produced = c.GetPendingCount();
      drain();
      if (produced == 0) break;
    }
  }
  return out;
}

// Compares without printing megabytes of text on a mismatch.
::testing::AssertionResult Same(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                       << ", first difference at " << at
                                       << (actual == "<failed>" ? " (the decoder failed)" : "");
}

std::string DecodeAll(uint32_t method, const std::string& stream, size_t step) {
  auto decoder = CreateDecoder(method);
  EXPECT_TRUE(decoder);
  EXPECT_TRUE(decoder->Reset());
  std::string out;
  size_t offset = 0;
  for (int guard = 0; guard < 10000000 && offset <= stream.size(); ++guard) {
    const uint32_t piece = static_cast<uint32_t>(std::min(step, stream.size() - offset));
    uint32_t consumed = 0;
    if (!decoder->Process(stream.data() + offset, piece, consumed, offset + piece == stream.size())) {
      return "<failed>";
    }
    offset += consumed;
    uint32_t n = 0;
    const unsigned char* p = decoder->GetOutput(n);
    out.append(reinterpret_cast<const char*>(p), n);
    decoder->ClearOutput();
    if (consumed == 0 && n == 0) break;
  }
  return out;
}

TEST(Registry, MethodsAndSlots) {
  EXPECT_EQ(ConverterSlot(1)->name, u"ZIP");
  EXPECT_EQ(ConverterSlot(2)->name, u"LZMA");
  EXPECT_EQ(ConverterSlot(32), nullptr);
  EXPECT_EQ(CreateDecoder(0)->GetMethod(), 0u);
  EXPECT_EQ(CreateDecoder(1)->GetMethod(), 1u);
  EXPECT_EQ(CreateDecoder(3)->GetMethod(), 2u);  // the solid block is an LZMA stream
  for (uint32_t m = 4; m <= 32; ++m) {
    EXPECT_EQ(CreateDecoder(m), nullptr) << m;
    EXPECT_EQ(CreateEncoder(m, nullptr), nullptr) << m;
  }
}

TEST(Converters, FullOutputBufferConsumesNothing) {
  GMRawConverter raw;
  std::string big(GMRawConverter::kOutputCapacity + 10, 'x');
  uint32_t consumed = 0;
  ASSERT_TRUE(raw.Process(big.data(), static_cast<uint32_t>(big.size()), consumed, false));
  EXPECT_EQ(consumed, GMRawConverter::kOutputCapacity);
  EXPECT_EQ(raw.GetFreeSpace(), 0u);
  ASSERT_TRUE(raw.Process(big.data(), 10, consumed, false));
  EXPECT_EQ(consumed, 0u);
  // TakeOutput moves the rest to the front.
  char first[4];
  ASSERT_TRUE(raw.TakeOutput(first, 4));
  EXPECT_EQ(raw.GetPendingCount(), GMRawConverter::kOutputCapacity - 4);
  EXPECT_EQ(raw.GetFreeSpace(), 4u);

  GMZipDecoder zip;
  const std::string stream = [] {
    std::string data(3000000, 'a');
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), 9);
    out.resize(size);
    return out;
  }();
  ASSERT_TRUE(zip.Reset());
  ASSERT_TRUE(zip.Process(stream.data(), static_cast<uint32_t>(stream.size()), consumed, false));
  EXPECT_EQ(zip.GetFreeSpace(), 0u);
  uint32_t more = 99;
  ASSERT_TRUE(zip.Process(stream.data() + consumed, static_cast<uint32_t>(stream.size() - consumed), more, false));
  EXPECT_EQ(more, 0u);
}

TEST(Converters, LevelsOutOfRange) {
  const int32_t twelve = 12, eight = 8, three = 3;
  EXPECT_EQ(GMZipEncoder(&twelve).Level(), 9);
  EXPECT_EQ(GMZipEncoder().Level(), 5);
  EXPECT_EQ(GMLzmaEncoder(&twelve).Level(), 7);
  EXPECT_EQ(GMLzmaEncoder().Level(), 5);
  GMLzmaEncoder large(&eight);
  EXPECT_EQ(large.Properties()[0], 0x5D);
  EXPECT_EQ(large.DictionarySize(), 1u << 26);
  EXPECT_LT(GMLzmaEncoder(&three).DictionarySize(), 1u << 26);
}

TEST(Converters, ZipRoundTripInAnyPieces) {
  const std::string input = Sample(700000);
  const int32_t level = 6;
  GMZipEncoder encoder(&level);
  ASSERT_TRUE(encoder.Reset());
  const std::string stream = Convert(encoder, input, 65536, true);
  ASSERT_TRUE(encoder.IsFinished());
  // zlib itself reads it back.
  std::string check(input.size(), '\0');
  uLongf size = static_cast<uLongf>(check.size());
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(&check[0]), &size, reinterpret_cast<const Bytef*>(stream.data()),
                       static_cast<uLong>(stream.size())),
            Z_OK);
  EXPECT_TRUE(Same(check, input));
  EXPECT_TRUE(Same(DecodeAll(1, stream, 1), input));
  EXPECT_TRUE(Same(DecodeAll(1, stream, 100000), input));

  // An empty input still makes a whole stream: header, empty block, trailer.
  ASSERT_TRUE(encoder.Reset());
  EXPECT_EQ(Convert(encoder, "", 1, true).size(), 8u);
}

TEST(Converters, ZipCorruptionFails) {
  GMZipEncoder encoder;
  ASSERT_TRUE(encoder.Reset());
  std::string stream = Convert(encoder, Sample(10000), 10000, true);
  std::string badHeader = stream;
  badHeader[0] = 0x79;
  EXPECT_EQ(DecodeAll(1, badHeader, 4096), "<failed>");
  std::string badTrailer = stream;
  badTrailer.back() ^= 0x55;  // Adler-32 mismatch
  EXPECT_EQ(DecodeAll(1, badTrailer, 4096), "<failed>");
}

TEST(Converters, LzmaProcessStreamStartsWithProperties) {
  const std::string input = Sample(300000);
  const int32_t level = 9;
  GMLzmaEncoder encoder(&level);
  ASSERT_TRUE(encoder.Reset());
  const std::string stream = Convert(encoder, input, 7000, true);
  ASSERT_GT(stream.size(), 5u);
  EXPECT_EQ(static_cast<unsigned char>(stream[0]), 0x5D);
  EXPECT_EQ(stream.substr(1, 4), std::string("\x00\x00\x00\x04", 4));  // 64 MiB
  EXPECT_TRUE(Same(DecodeAll(2, stream, 1), input));
  EXPECT_TRUE(Same(DecodeAll(3, stream, 1 << 20), input));
}

TEST(Converters, LzmaEncodeFileAndFiles) {
  const std::string input = Sample(2500000);
  CMemoryFile source(input.data(), input.size());
  GMLzmaEncoder encoder;
  // A target that keeps what it is given.
  struct Sink : GMBaseFile {
    std::string data;
    bool Read(void*, uint32_t, uint32_t&) override { return false; }
    bool Write(const void* b, uint32_t n, uint32_t& w) override {
      data.append(static_cast<const char*>(b), n);
      w = n;
      return true;
    }
    bool Close() override { return true; }
    bool GetPosition(uint64_t& p) override { return p = data.size(), true; }
    bool GetSize(uint64_t& s) override { return s = data.size(), true; }
    bool Seek(int64_t, uint32_t, uint64_t&) override { return false; }
    bool SetTimes(FileTime, FileTime, FileTime) override { return false; }
  } sink;
  uint64_t written = 0;
  ASSERT_TRUE(encoder.EncodeFile(source, sink, written, nullptr, nullptr));
  EXPECT_EQ(written, sink.data.size());
  ASSERT_EQ(encoder.LastInputSizes().size(), 1u);
  EXPECT_EQ(encoder.LastInputSizes()[0], input.size());
  EXPECT_TRUE(Same(DecodeAll(2, sink.data, 300000), input));

  // A missing source ends the stream with a read failure naming it.
  sink.data.clear();
  written = 0;
  EXPECT_FALSE(encoder.EncodeFiles({u"no-such-file-1f2e"}, sink, written, nullptr, nullptr));
  EXPECT_EQ(encoder.LastFailure(), GMLzmaEncoder::Failure::Read);
  EXPECT_EQ(encoder.FailurePath(), u"no-such-file-1f2e");
}

TEST(Converters, LzmaDecoderProperties) {
  GMLzmaEncoder encoder;
  ASSERT_TRUE(encoder.Reset());
  const std::string input = Sample(3000);
  std::string stream = Convert(encoder, input, 3000, true);

  std::string bad = stream;
  bad[0] = static_cast<char>(225);
  EXPECT_EQ(DecodeAll(2, bad, 4096), "<failed>");

  // A dictionary announced below 4096 bytes is decoded with 4096.
  std::string tiny = stream;
  tiny[1] = 16;
  tiny[2] = tiny[3] = tiny[4] = 0;
  EXPECT_TRUE(Same(DecodeAll(2, tiny, 4096), input));

  // Two calls without draining leave both outputs pending, in order.
  auto decoder = CreateDecoder(2);
  ASSERT_TRUE(decoder->Reset());
  uint32_t a = 0, b = 0;
  const uint32_t half = static_cast<uint32_t>(stream.size() / 2);
  ASSERT_TRUE(decoder->Process(stream.data(), half, a, false));
  const uint32_t firstOutput = decoder->GetPendingCount();
  ASSERT_TRUE(decoder->Process(stream.data() + a, static_cast<uint32_t>(stream.size() - a), b, true));
  uint32_t n = 0;
  const unsigned char* out = decoder->GetOutput(n);
  EXPECT_GT(n, firstOutput);
  EXPECT_TRUE(Same(std::string(reinterpret_cast<const char*>(out), n), input));
  EXPECT_TRUE(static_cast<GMLzmaDecoder*>(decoder.get())->IsFinished());

  // A dictionary above 256 MiB is damage, never an allocation.
  std::string huge = stream;
  huge[1] = 1;
  huge[2] = huge[3] = 0;
  huge[4] = 0x10;
  EXPECT_EQ(DecodeAll(2, huge, 4096), "<failed>");
}

}  // namespace
}  // namespace Zavro
