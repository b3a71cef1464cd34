// Windows program images (PE32 and PE32+) read and rewritten as plain bytes, on any
// system: the headers, the section table and the resource directory, and an installer
// assembled from its stub and a package ("DATA" 105 in a new resource section).
//
// Every field comes from a file nobody vouches for: nothing is read outside the bytes
// given, every offset is checked before it is followed, and a resource directory that
// points into itself is refused rather than walked for ever.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Zavro::pe {

// A resource's type, name or language level key: a number or a text.
struct ResourceId {
  bool isNumber = true;
  uint16_t number = 0;
  std::u16string text;

  static ResourceId Number(uint16_t n);
  static ResourceId Text(std::u16string t);
  bool operator==(const ResourceId& other) const;
  // The directory's order: texts before numbers, texts by their upper-case units,
  // numbers ascending.
  bool operator<(const ResourceId& other) const;
};

struct Resource {
  ResourceId type;
  ResourceId name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  uint32_t rva = 0;
  uint32_t size = 0;
  // Where the bytes are in the file.
  uint64_t fileOffset = 0;
};

struct Section {
  std::string name;
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawOffset = 0;
  uint32_t rawSize = 0;
  uint32_t characteristics = 0;
};

struct Image {
  bool pe32Plus = false;
  uint16_t machine = 0;
  uint16_t subsystem = 0;
  uint32_t checksum = 0;
  uint64_t fileSize = 0;
  uint32_t peOffset = 0;
  uint32_t optionalHeaderOffset = 0;
  uint32_t sectionTableOffset = 0;
  uint32_t fileAlignment = 0;
  uint32_t sectionAlignment = 0;
  uint32_t sizeOfImage = 0;
  uint32_t sizeOfHeaders = 0;
  uint32_t dataDirectoryCount = 0;
  uint32_t symbolTableOffset = 0;
  std::vector<Section> sections;
  // The section that holds the resource directory; -1 without resources.
  int resourceSection = -1;
  uint32_t resourceRva = 0;
  uint32_t resourceSize = 0;
  std::vector<Resource> resources;
  // The certificate table (a signature), by file offset; size 0 without one.
  uint32_t certificateOffset = 0;
  uint32_t certificateSize = 0;
};

// A section's or a resource's name as a terminal may show it: printable ASCII as it is,
// a backslash and every other byte or unit escaped (\x1b, \u4e2d).
std::string Printable(const std::string& name);
std::string Printable(const std::u16string& name);

// The machine's usual name ("x86", "x86-64", "ARM64", ...) or its number in hex.
std::string MachineName(uint16_t machine);

// Where the reader takes an image's bytes from: memory, or a file read by offset.
class ImageBytes {
 public:
  virtual ~ImageBytes() = default;
  virtual uint64_t Size() const = 0;
  // The `size` bytes at `offset`; false when they are not all there or cannot be read.
  virtual bool Read(uint64_t offset, size_t size, unsigned char* out) = 0;
};

// Real programs have a handful of resources; a tree of more is not one to read.
constexpr size_t kMaxResources = 4096;

// Reads an image's headers, sections and resources, and nothing else of it: the work
// and the memory are bounded by the headers and the resource tree, whatever the file's
// size. False with `error` (a sentence for the user) when the bytes are not a PE image
// or what was read is damaged.
bool ReadImage(ImageBytes& bytes, Image& image, std::string& error);
bool ReadImage(const unsigned char* data, size_t size, Image& image, std::string& error);

// The first resource of that type and name, whatever its language; null when there is none.
const Resource* FindImageResource(const Image& image, const ResourceId& type, const ResourceId& name);

// The installer's package: resource "DATA" 105.
ResourceId PackageType();
ResourceId PackageName();

// The loader maps no image of 2 GiB or more.
constexpr uint64_t kMaxImageSize = 0x80000000ull;

// An installer assembled from a stub and a package of `packageSize` bytes: `head`, then
// the package's bytes, then `tail`. The header checksum in `head` is left 0: add the
// three parts to a Checksum and put its value at `checksumOffset`.
struct SfxLayout {
  std::vector<unsigned char> head;
  uint64_t packageSize = 0;
  std::vector<unsigned char> tail;
  uint32_t checksumOffset = 0;
  // What the user should hear of.
  bool signatureRemoved = false;
  bool sectionAdded = false;
  size_t sectionsMoved = 0;  // rewritten in place, with these sections moved after it
  bool packageReplaced = false;
  uint64_t keptAfterSignature = 0;  // bytes that followed the signature, kept at the end
  bool is64 = false;
  uint16_t machine = 0;
  uint64_t imageSize = 0;  // SizeOfImage of the installer
};

// Lays out the stub with the package as "DATA" 105 (replacing one that is there, in its
// language; language 0 otherwise) and every other resource kept (sfx_layout.cpp). The
// new resource section takes the place of the stub's own when only sections that can
// move (its base relocations, which MinGW links after the resources) follow it: they go
// after the new section, with their directory. Else it is added after the last section,
// which needs room for one more entry in the section table; the stub's own stays, unused,
// as ".oldrsrc". The new section starts at a whole page of the file, so that the loader
// maps the package from the file. A signature is dropped, as it would no longer be valid.
bool LayOutSfx(const unsigned char* stub, size_t size, uint64_t packageSize, SfxLayout& layout,
               std::string& error);

// The header checksum: 16-bit one's complement sums of the file's words (the checksum
// field counted as 0), folded, plus the file's length. Bytes may come in any pieces.
class Checksum {
 public:
  void Add(const unsigned char* data, size_t size);
  uint32_t Value() const;

 private:
  uint64_t sum_ = 0;
  uint64_t length_ = 0;
};

// The whole installer in memory, with its checksum; false with `error` as LayOutSfx.
bool AssembleSfx(const unsigned char* stub, size_t stubSize, const unsigned char* package, size_t packageSize,
                 std::vector<unsigned char>& out, std::string& error, SfxLayout* layout = nullptr);

}  // namespace Zavro::pe
