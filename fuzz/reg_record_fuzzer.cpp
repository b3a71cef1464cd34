// The registry record form: reading never crashes or hangs; what reads is written
// back, reads again to the same records and is then written byte for byte the same;
// and where the text writer accepts the records, their text parses back to them as
// registry text carries them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <string>

#include "archive/io/buffer.h"
#include "registry/reg_parser.h"
#include "registry/reg_record_form.h"
#include "fuzz/reg_round_trip.h"

namespace {

using namespace Zavro;
using test::AbortUnless;
using test::AsText;
using Keys = std::deque<GMRegKeyRecord>;

constexpr size_t kMaxInput = 64 * 1024;

bool SameBytes(const GMBuffer<unsigned char>& a, const GMBuffer<unsigned char>& b) {
  return a.Length() == b.Length() && std::memcmp(a.Data(), b.Data(), a.Length()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  Keys keys;
  ReadRecords(data, size, keys);

  std::string why;
  GMBuffer<unsigned char> form;
  WriteRecords(keys, form);
  Keys again;
  AbortUnless(ReadRecords(form, again), "written records do not read");
  AbortUnless(test::SameRecords(keys, again, &why), "written records read as others", why);
  GMBuffer<unsigned char> formAgain;
  WriteRecords(again, formAgain);
  AbortUnless(SameBytes(form, formAgain), "records written twice differ");

  GMBuffer<unsigned char> text;
  if (!test::WriteText(keys, text)) return 0;
  GMRegParser parser;
  try {
    parser.Parse(text);
  } catch (const std::exception& e) {
    AbortUnless(false, "written text does not parse", e.what());
  }
  AbortUnless(test::SameRecords(AsText(keys), AsText(parser.Keys()), &why),
              "written text parses to other records", why);
  return 0;
}
