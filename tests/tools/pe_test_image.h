// Small PE images written field by field, for the tests of the PE reader and of gmz sfx.
#pragma once

#include <vector>

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
