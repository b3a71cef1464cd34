// For the tests of the tools: gmz run as a user runs it, and small PE images written
// field by field for the PE reader and gmz sfx.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace Zavro::test {

// gmz's exit status and what it wrote, standard output and error captured in `io`.
struct GmzRun {
  int status;
  std::string out;
  std::string err;
};
inline GmzRun RunGmz(const fs::path& io, const std::vector<std::string>& arguments) {
  const int status = RunProgram(BuiltProgram("tools/gmz/gmz"), arguments, io / "out.txt", io / "err.txt");
  return {status, ReadBytes(io / "out.txt"), ReadBytes(io / "err.txt")};
}

// Exited with `status` and wrote `part` on the output `text` of `r`.
inline ::testing::AssertionResult Says(const GmzRun& r, int status, const std::string& text, const std::string& part) {
  if (r.status != status) return ::testing::AssertionFailure() << "status " << r.status << ": " << r.err;
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no \"" << part << "\" in: " << text;
}
// Succeeded and printed `part`; exited with `status` and said `message` on its error output.
inline ::testing::AssertionResult Prints(const GmzRun& r, const std::string& part) { return Says(r, 0, r.out, part); }
inline ::testing::AssertionResult ExitsWith(const GmzRun& r, int status, const std::string& message) {
  return Says(r, status, r.err, message);
}

}  // namespace Zavro::test

namespace Zavro::pe {

struct TestImageShape {
  bool pe32Plus = false;
  bool resources = false;    // a .rsrc section with a manifest and an old "DATA" 105
  bool relocAfter = false;   // a .reloc section after .rsrc
  bool tableFull = false;    // the section table ends where the first section's data starts
  bool certificate = false;  // a certificate table at the end of the file
};

// Headers in 0x200 bytes (less with a full table), .text at 0x1000, .rsrc at 0x2000,
// .reloc at 0x3000; file alignment 0x200. The manifest (24, 1, language 0x409, code
// page 1252) is "<manifest/>\n"; the old "DATA" 105 (language 0x804) is "old package".
std::vector<unsigned char> MakeTestImage(const TestImageShape& shape);

}  // namespace Zavro::pe
