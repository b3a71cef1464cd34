// The PE reader on arbitrary bytes: nothing read outside them, and an image it accepts,
// given a package, becomes an image it accepts again, whose "DATA" 105 is exactly that
// package, whose other resources keep their bytes, and whose checksum is right. What the
// output means is checked too: every other section maps the bytes it mapped; sections
// that did not overlap (in the file or in memory) do not; an image whose sections
// followed each other without gaps still does. Seeds: fuzz/seeds/pe_image_fuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/pe/pe_image.h"

namespace {

using Zavro::pe::Image;
using Zavro::pe::Resource;

using Zavro::pe::Section;

std::vector<unsigned char> BytesOf(const unsigned char* file, const Resource& r) {
  return std::vector<unsigned char>(file + r.fileOffset, file + r.fileOffset + r.size);
}

uint64_t Align(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }
uint32_t Mapped(const Section& s) { return s.virtualSize != 0 ? std::min(s.virtualSize, s.rawSize) : s.rawSize; }
uint64_t VirtualEnd(const Section& s, uint32_t alignment) {
  return Align(uint64_t{s.virtualAddress} + (s.virtualSize != 0 ? s.virtualSize : s.rawSize), alignment);
}

bool Overlap(uint64_t a, uint64_t aEnd, uint64_t b, uint64_t bEnd) { return a < bEnd && b < aEnd; }

bool SectionsOverlap(const Image& image) {
  for (size_t i = 0; i < image.sections.size(); ++i) {
    for (size_t j = i + 1; j < image.sections.size(); ++j) {
      const Section& a = image.sections[i];
      const Section& b = image.sections[j];
      if (Overlap(a.virtualAddress, VirtualEnd(a, image.sectionAlignment), b.virtualAddress,
                  VirtualEnd(b, image.sectionAlignment)) ||
          (a.rawSize != 0 && b.rawSize != 0 &&
           Overlap(a.rawOffset, uint64_t{a.rawOffset} + a.rawSize, b.rawOffset, uint64_t{b.rawOffset} + b.rawSize))) {
        return true;
      }
    }
  }
  return false;
}

// Sections in address order, each where the one before ends, the first after the headers.
bool Contiguous(const Image& image) {
  std::vector<Section> sorted = image.sections;
  std::sort(sorted.begin(), sorted.end(),
            [](const Section& a, const Section& b) { return a.virtualAddress < b.virtualAddress; });
  uint64_t next = Align(image.sizeOfHeaders, image.sectionAlignment);
  for (const Section& s : sorted) {
    if (s.virtualAddress != next) return false;
    next = VirtualEnd(s, image.sectionAlignment);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Zavro::pe;
  if (size > (1u << 18)) return 0;
  Image image;
  std::string error;
  if (!ReadImage(data, size, image, error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  // The package: the input's last bytes, so that its size varies too.
  const size_t packageSize = size % 61;
  const unsigned char* package = data + size - packageSize;
  std::vector<unsigned char> out;
  SfxLayout layout;
  if (!AssembleSfx(data, size, package, packageSize, out, error, &layout)) {
    if (error.empty()) std::abort();
    return 0;
  }
  Image again;
  if (!ReadImage(out.data(), out.size(), again, error)) std::abort();
  const Resource* stored = FindImageResource(again, PackageType(), PackageName());
  if (stored == nullptr || BytesOf(out.data(), *stored) != std::vector<unsigned char>(package, package + packageSize)) {
    std::abort();
  }
  for (const Resource& r : image.resources) {
    if (r.type == PackageType() && r.name == PackageName()) continue;
    const Resource* kept = FindImageResource(again, r.type, r.name);
    if (kept == nullptr) std::abort();
  }
  for (const Resource& r : again.resources) {
    if (r.type == PackageType() && r.name == PackageName()) continue;
    bool found = false;
    for (const Resource& before : image.resources) {
      found = found || (before.type == r.type && before.name == r.name && before.language == r.language &&
                        BytesOf(data, before) == BytesOf(out.data(), r));
    }
    if (!found) std::abort();
  }
  // Sections keep their places in the table; the one rewritten in place is the
  // resources'.
  for (size_t i = 0; i < image.sections.size(); ++i) {
    if (!layout.sectionAdded && static_cast<int>(i) == image.resourceSection) continue;
    const Section& was = image.sections[i];
    const Section& is = again.sections[i];
    const uint32_t n = Mapped(was);
    if (Mapped(is) != n || !std::equal(data + was.rawOffset, data + was.rawOffset + n, out.data() + is.rawOffset)) {
      std::abort();
    }
  }
  if (!SectionsOverlap(image) && SectionsOverlap(again)) std::abort();
  if (Contiguous(image) && !Contiguous(again)) std::abort();
  Checksum checksum;
  std::vector<unsigned char> zeroed = out;
  std::memset(zeroed.data() + layout.checksumOffset, 0, 4);
  checksum.Add(zeroed.data(), zeroed.size());
  if (checksum.Value() != again.checksum || again.certificateSize != 0) std::abort();
  return 0;
}
