// The bytes of a GMZ archive: an 8-byte header ("GMZ", version, table-of-contents
// size), the table of contents (one root entry serialised in pre-order) and the data
// region. The writer and the reader both go through these functions.
//
// Integers are little-endian except a folder's child count (24-bit big-endian). Names
// are UTF-16LE without terminator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/toc_node.h"

namespace Zavro {

constexpr size_t kGmzHeaderSize = 8;
constexpr uint8_t kGmzVersion = 1;
constexpr uint32_t kMaxTocSize = 52428800;
constexpr uint32_t kMaxInlineSize = 4096;
constexpr uint32_t kMaxChildren = 0xFFFFFF;
// Size of a folder, file or memory entry without its name, and of an inline entry
// without its name and data.
constexpr uint32_t kTocEntryFixedSize = 62;
constexpr uint32_t kTocInlineFixedSize = 12;

// Methods: stored, zlib ("ZIP"), LZMA, member of the solid block.
constexpr uint32_t kMethodStored = 0;
constexpr uint32_t kMethodZip = 1;
constexpr uint32_t kMethodLzma = 2;
constexpr uint32_t kMethodSolid = 3;
constexpr uint32_t kMethodSlots = 32;

// Codes of a damaged archive (the number of a header short by some bytes is the
// count that was read).
constexpr uint32_t kTocErrorSignature = 3;
constexpr uint32_t kTocErrorTooLarge = 4;
constexpr uint32_t kTocErrorInvalid = 8;

struct GmzHeader {
  uint8_t version = kGmzVersion;
  uint32_t tocSize = 0;
};

void WriteGmzHeader(const GmzHeader& header, unsigned char out[kGmzHeaderSize]);

// Checks the signature, the version (0 or 1) and the size limit. On failure `code`
// is kTocErrorSignature or kTocErrorTooLarge.
bool ParseGmzHeader(const unsigned char bytes[kGmzHeaderSize], GmzHeader& header, uint32_t& code);

// The serialised size of an entry with everything below it. Fails (returns false)
// when the total would not fit in 32 bits.
bool TocEntrySize(const GMTocNode& entry, uint64_t& size);

// Serialises `root` and everything below it. Fails when an entry breaks a limit of the
// format (more children than 24 bits hold, inline data over 4096 bytes, a name over
// 32 bits, an unknown type) or the table would exceed kMaxTocSize.
bool SerializeToc(const GMTocNode& root, std::vector<unsigned char>& out);

// Parses a table of exactly `size` bytes into `root` (its children, name, times...).
// Every length is checked against the bytes left before it is used; any damage gives
// false with `code` kTocErrorInvalid and leaves `root` without children.
bool ParseToc(const unsigned char* bytes, size_t size, GMTocNode& root, uint32_t& code);

}  // namespace Zavro
