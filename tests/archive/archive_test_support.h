// Independent codecs for archive tests: streams are made and checked with zlib and the
// LZMA SDK's one-call functions, never with the library's own converters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/toc_node.h"

namespace Zavro::test {

// Reproducible text-like bytes, and bytes no codec can shrink.
std::string Text(size_t size, char seed);
std::string Noise(size_t size, uint32_t seed);
std::string Deflate(const std::string& data);
// "<failed>" when the stream is not a whole zlib stream of at most `size` bytes.
std::string Inflate(const std::string& stream, size_t size);
// A stream in the archive's LZMA form: 5 property bytes, then the data, with or
// without the end marker.
std::string Lzma(const std::string& data, bool endMark);
// "<failed>" unless the stream decodes to at most `size` bytes ending with its marker.
std::string Unlzma(const std::string& stream, size_t size);

// Hand-made archives: a tree built entry by entry, then its header and table with
// `data` right after them (the entries' data offsets count from the start of `data`).
GMTocNode& AddFile(GMTocNode& parent, const std::u16string& name, uint32_t type, uint64_t size, uint32_t method,
                   uint64_t offset, uint64_t compressed);
std::vector<unsigned char> Assemble(GMTocNode& root, const std::string& data);
// `bytes` with the checksum trailer appended by hand: "GMZc", the CRC-32 of every byte
// before it and their count, both little-endian.
std::vector<unsigned char> Sealed(std::vector<unsigned char> bytes);

}  // namespace Zavro::test
