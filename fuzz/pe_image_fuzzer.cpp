// The PE reader on arbitrary bytes: nothing read outside them, and an image it accepts,
// given a package, becomes an image it accepts again, whose "DATA" 105 is exactly that
// package, whose other resources keep their bytes, and whose checksum is right.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/pe/pe_image.h"

namespace {

using Zavro::pe::Image;
using Zavro::pe::Resource;

std::vector<unsigned char> BytesOf(const unsigned char* file, const Resource& r) {
  return std::vector<unsigned char>(file + r.fileOffset, file + r.fileOffset + r.size);
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
  Checksum checksum;
  std::vector<unsigned char> zeroed = out;
  std::memset(zeroed.data() + layout.checksumOffset, 0, 4);
  checksum.Add(zeroed.data(), zeroed.size());
  if (checksum.Value() != again.checksum || again.certificateSize != 0) std::abort();
  return 0;
}
