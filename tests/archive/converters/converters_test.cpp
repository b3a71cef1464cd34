#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "archive/archive_test_support.h"
#include "archive/converters/converter_registry.h"
#include "archive/converters/lzma_converter.h"
#include "archive/converters/zip_converter.h"
#include "archive/io/memory_file.h"

namespace Zavro {
namespace {

using test::Text;

// Runs an encoder over `input` in pieces of `step` bytes, draining after every call,
// then finishes it; fails the test on a failed call.
std::string Convert(GMCompressConverter& c, const std::string& input, size_t step) {
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
  for (int i = 0; i < 1000; ++i) {
    EXPECT_TRUE(c.Finish());
    const uint32_t produced = c.GetPendingCount();
    drain();
    if (produced == 0) break;
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
  const std::string stream = test::Deflate(std::string(3000000, 'a'));
  ASSERT_TRUE(zip.Reset());
  ASSERT_TRUE(zip.Process(stream.data(), static_cast<uint32_t>(stream.size()), consumed, false));
  EXPECT_EQ(zip.GetFreeSpace(), 0u);
  uint32_t more = 99;
  ASSERT_TRUE(zip.Process(stream.data() + consumed, static_cast<uint32_t>(stream.size() - consumed), more, false));
  EXPECT_EQ(more, 0u);
}

TEST(Converters, ZipRoundTripInAnyPiecesAndCorruption) {
  const std::string input = Text(700000, 's');
  const int32_t level = 12;  // out of range: zlib must never be given it
  GMZipEncoder encoder(&level);
  ASSERT_TRUE(encoder.Reset());
  const std::string stream = Convert(encoder, input, 65536);
  ASSERT_TRUE(encoder.IsFinished());
  EXPECT_TRUE(Same(test::Inflate(stream, input.size()), input));
  EXPECT_TRUE(Same(DecodeAll(1, stream, 1), input));
  EXPECT_TRUE(Same(DecodeAll(1, stream, 100000), input));

  std::string badHeader = stream;
  badHeader[0] = 0x79;
  EXPECT_EQ(DecodeAll(1, badHeader, 4096), "<failed>");
  std::string badTrailer = stream;
  badTrailer.back() ^= 0x55;  // Adler-32 mismatch
  EXPECT_EQ(DecodeAll(1, badTrailer, 4096), "<failed>");

  // An empty input still makes a whole stream: header, empty block, trailer.
  ASSERT_TRUE(encoder.Reset());
  EXPECT_EQ(Convert(encoder, "", 1).size(), 8u);
}

TEST(Converters, LzmaProcessStreamStartsWithProperties) {
  const std::string input = Text(300000, 's');
  const int32_t level = 9;
  GMLzmaEncoder encoder(&level);
  ASSERT_TRUE(encoder.Reset());
  const std::string stream = Convert(encoder, input, 7000);
  ASSERT_GT(stream.size(), 5u);
  EXPECT_EQ(static_cast<unsigned char>(stream[0]), 0x5D);
  EXPECT_EQ(stream.substr(1, 4), std::string("\x00\x00\x00\x04", 4));  // 64 MiB
  EXPECT_TRUE(Same(DecodeAll(2, stream, 1), input));
  EXPECT_TRUE(Same(DecodeAll(3, stream, 1 << 20), input));
}

TEST(Converters, LzmaEncodeFileAndFiles) {
  const std::string input = Text(2500000, 's');
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
  const std::string input = Text(3000, 's');
  const std::string stream = Convert(encoder, input, 3000);
  auto with = [&](size_t at, std::initializer_list<unsigned char> bytes) {
    std::string changed = stream;
    for (unsigned char b : bytes) changed[at++] = static_cast<char>(b);
    return changed;
  };
  EXPECT_EQ(DecodeAll(2, with(0, {225}), 4096), "<failed>");
  // A dictionary announced below 4096 bytes is decoded with 4096; one above 256 MiB is
  // damage, never an allocation.
  EXPECT_TRUE(Same(DecodeAll(2, with(1, {16, 0, 0, 0}), 4096), input));
  EXPECT_EQ(DecodeAll(2, with(1, {1, 0, 0, 0x10}), 4096), "<failed>");

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
}

}  // namespace
}  // namespace Zavro
