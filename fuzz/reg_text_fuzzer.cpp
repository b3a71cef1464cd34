// Registry text in any encoding: parsing never crashes or hangs, and whatever parses
// and the writer accepts is written as text that parses back to the same records,
// alone and merged with itself.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>

#include "archive/io/buffer.h"
#include "registry/reg_parser.h"
#include "registry/reg_text_writer.h"
#include "fuzz/reg_round_trip.h"

namespace {

using namespace Zavro;
using test::AbortUnless;
using test::AsText;
using Keys = std::deque<GMRegKeyRecord>;

constexpr size_t kMaxInput = 64 * 1024;

Keys Parse(const GMBuffer<unsigned char>& bytes) {
  GMRegParser parser;
  parser.Parse(bytes);
  return std::move(parser.Keys());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > kMaxInput) return 0;
  GMBuffer<unsigned char> input(static_cast<uint32_t>(size));
  for (size_t i = 0; i < size; ++i) input.Data()[i] = data[i];
  input.SetLength(static_cast<uint32_t>(size));

  Keys keys;
  try {
    keys = Parse(input);
  } catch (const std::exception&) {
    return 0;
  }
  // Records that registry text cannot carry are refused, not written wrongly.
  GMBuffer<unsigned char> text;
  if (!test::WriteText(keys, text)) return 0;

  std::string why;
  Keys back;
  try {
    back = Parse(text);
  } catch (const std::exception& e) {
    AbortUnless(false, "written text does not parse", e.what());
  }
  AbortUnless(test::SameRecords(AsText(keys), AsText(back), &why),
              "written text parses to other records", why);

  GMBuffer<unsigned char> merged = input;
  MergeRegText(input, merged);
  Keys twice = AsText(keys);
  for (const GMRegKeyRecord& key : AsText(keys)) twice.push_back(key);
  AbortUnless(test::SameRecords(twice, AsText(Parse(merged)), &why),
              "merged text parses to other records", why);
  return 0;
}
