// Independent codecs for archive tests: streams are made and checked with zlib and the
// LZMA SDK's one-call functions, never with the library's own converters.
#pragma once

#include <cstddef>
#include <string>

namespace Zavro::test {

// Reproducible text-like bytes.
std::string Text(size_t size, char seed);
std::string Deflate(const std::string& data);
// "<failed>" when the stream is not a whole zlib stream of at most `size` bytes.
std::string Inflate(const std::string& stream, size_t size);
// A stream in the archive's LZMA form: 5 property bytes, then the data, with or
// without the end marker.
std::string Lzma(const std::string& data, bool endMark);
// "<failed>" unless the stream decodes to at most `size` bytes ending with its marker.
std::string Unlzma(const std::string& stream, size_t size);

}  // namespace Zavro::test
