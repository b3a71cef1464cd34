#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "archive/archive_test_support.h"
#include "archive/converters/converter_registry.h"
#include "archive/converters/lzma_converter.h"
#include "archive/converters/zip_converter.h"
#include "archive/io/file.h"
#include "archive/io/memory_file.h"
#include "test_support.h"

namespace Zavro {
namespace {

using test::Text;

// Runs a converter over `input` in pieces of `step` bytes, draining after every call,
// then finishes it; "<failed>" when a call fails.
std::string Convert(GMCompressConverter& c, const std::string& input, size_t step) {
  std::string out;
  auto drain = [&] {
    uint32_t n = 0;
    const unsigned char* p = c.GetOutput(n);
    out.append(reinterpret_cast<const char*>(p), n);
    c.ClearOutput();
    return n;
  };
  for (size_t offset = 0;;) {
    const uint32_t piece = static_cast<uint32_t>(std::min(step, input.size() - offset));
    uint32_t consumed = 0;
    if (!c.Process(input.data() + offset, piece, consumed, offset + piece == input.size())) return "<failed>";
    offset += consumed;
    if (drain() == 0 && consumed == 0) break;
  }
  do {
    if (!c.Finish()) return "<failed>";
  } while (drain() != 0);
  return out;
}

std::string Decode(uint32_t method, const std::string& stream, size_t step) {
  auto decoder = CreateDecoder(method);
  if (!decoder || !decoder->Reset()) return "<no decoder>";
  return Convert(*decoder, stream, step);
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

TEST(Converters, EncodersAndDecodersInAnyPieces) {
  const std::string input = Text(700000, 's');
  const int32_t outOfRange = 12;  // zlib must never be given it
  const int32_t nine = 9;         // a 64 MiB dictionary
  const struct {
    GMCompressConverter::Ptr encoder;
    size_t step;
    std::string (*independent)(const std::string& stream, size_t size);
    uint32_t method, otherMethod;  // the solid block's method decodes LZMA too
    std::string start;
  } cases[] = {
      {std::make_shared<GMZipEncoder>(&outOfRange), 65536, test::Inflate, 1, 1, "\x78"},
      {std::make_shared<GMLzmaEncoder>(&nine), 7000, test::Unlzma, 2, 3, std::string("\x5D\x00\x00\x00\x04", 5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    ASSERT_TRUE(c.encoder->Reset());
    const std::string stream = Convert(*c.encoder, input, c.step);
    EXPECT_EQ(stream.substr(0, c.start.size()), c.start);
    EXPECT_TRUE(Same(c.independent(stream, input.size()), input));
    EXPECT_TRUE(Same(Decode(c.method, stream, 1), input));
    EXPECT_TRUE(Same(Decode(c.otherMethod, stream, 1 << 20), input));
    // An empty input still makes a whole stream.
    ASSERT_TRUE(c.encoder->Reset());
    EXPECT_EQ(c.independent(Convert(*c.encoder, "", 1), 0), "");
  }
}

TEST(Converters, DecodersRefuseDamage) {
  const std::string input = Text(3000, 's');
  const std::string zip = test::Deflate(input), lzma = test::Lzma(input, true);
  auto with = [](std::string stream, size_t at, std::initializer_list<unsigned char> bytes) {
    for (unsigned char b : bytes) stream[at++] = static_cast<char>(b);
    return stream;
  };
  EXPECT_EQ(Decode(1, with(zip, 0, {0x79}), 4096), "<failed>");
  std::string badAdler = zip;
  badAdler.back() ^= 0x55;
  EXPECT_EQ(Decode(1, badAdler, 4096), "<failed>");
  EXPECT_EQ(Decode(2, with(lzma, 0, {225}), 4096), "<failed>");
  // A dictionary announced below 4096 bytes is decoded with 4096; one above 256 MiB is
  // damage, never an allocation.
  EXPECT_TRUE(Same(Decode(2, with(lzma, 1, {16, 0, 0, 0}), 4096), input));
  EXPECT_EQ(Decode(2, with(lzma, 1, {1, 0, 0, 0x10}), 4096), "<failed>");

  // Two calls without draining leave both outputs pending, in order.
  auto decoder = CreateDecoder(2);
  ASSERT_TRUE(decoder->Reset());
  uint32_t a = 0, b = 0;
  const uint32_t half = static_cast<uint32_t>(lzma.size() / 2);
  ASSERT_TRUE(decoder->Process(lzma.data(), half, a, false));
  const uint32_t firstOutput = decoder->GetPendingCount();
  ASSERT_TRUE(decoder->Process(lzma.data() + a, static_cast<uint32_t>(lzma.size() - a), b, true));
  uint32_t n = 0;
  const unsigned char* out = decoder->GetOutput(n);
  EXPECT_GT(n, firstOutput);
  EXPECT_TRUE(Same(std::string(reinterpret_cast<const char*>(out), n), input));
  EXPECT_TRUE(decoder->IsStreamEnd());
}

TEST(Converters, LzmaEncodeFileAndFiles) {
  // A memory source fails its read at the end, where a disk file reads 0 bytes.
  const std::string input = Text(2500000, 's');
  CMemoryFile source(input.data(), input.size());
  test::ScratchDir dir;
  GMFile target;
  ASSERT_TRUE(target.Open(dir.Join(u"s.lzma"), kGenericWrite, 0, kCreateAlways, 0));
  GMLzmaEncoder encoder;
  uint64_t written = 0;
  ASSERT_TRUE(encoder.EncodeFile(source, target, written, nullptr, nullptr));
  target.Close();
  const std::string stream = test::ReadBytes(dir.fs_path() / "s.lzma");
  EXPECT_EQ(written, stream.size());
  ASSERT_EQ(encoder.LastInputSizes().size(), 1u);
  EXPECT_EQ(encoder.LastInputSizes()[0], input.size());
  EXPECT_TRUE(Same(Decode(2, stream, 300000), input));

  // A missing source ends the stream with a read failure naming it.
  ASSERT_TRUE(target.Open(dir.Join(u"t.lzma"), kGenericWrite, 0, kCreateAlways, 0));
  EXPECT_FALSE(encoder.EncodeFiles({u"no-such-file-1f2e"}, target, written, nullptr, nullptr));
  EXPECT_EQ(encoder.LastFailure(), GMLzmaEncoder::Failure::Read);
  EXPECT_EQ(encoder.FailurePath(), u"no-such-file-1f2e");
}

}  // namespace
}  // namespace Zavro
