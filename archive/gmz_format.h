// The bytes of a GMZ archive: an 8-byte header ("GMZ", version, table-of-contents
// size), the table of contents (one root entry serialised in pre-order), the data
// region and, written since packages are checked, a 16-byte checksum trailer. The
// writer and the reader both go through these functions.
//
// The trailer: "GMZc", the CRC-32 (zlib's) of every byte before the trailer, and that
// byte count as a u64, which is also where the trailer starts. It sits after the data
// region, where a reader that does not know it never looks, and covers the header and
// the table of contents as well as the streams, which an entry inside the table could
// not without leaving itself out. A split archive carries it at the end of its last
// volume. An archive's last 16 bytes are its trailer when they begin with the mark and
// no entry's data reaches into them; a count that is not where the trailer sits then
// means bytes were added or lost.
//
// Integers are little-endian except a folder's child count (24-bit big-endian). Names
// are UTF-16LE without terminator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/toc_node.h"

namespace Zavro {

constexpr size_t kGmzHeaderSize = 8;
constexpr uint8_t kGmzVersion = 1;
// The largest block a reader sets memory aside for (50 MiB): a table of contents, the
// memory entries of an archive together, a block of an uninstall record.
constexpr uint32_t kMaxBlockSize = 50u << 20;
constexpr uint32_t kMaxTocSize = kMaxBlockSize;
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

constexpr size_t kGmzTrailerSize = 16;
void WriteGmzTrailer(uint32_t crc, uint64_t covered, unsigned char out[kGmzTrailerSize]);
// Whether `bytes` carry the trailer's mark; its CRC-32 and byte count when they do.
bool ParseGmzTrailer(const unsigned char bytes[kGmzTrailerSize], uint32_t& crc, uint64_t& covered);

// A split archive's volumes: BASE.part0, BASE.part1, ..., read back as one archive. The
// base of a name given as its first volume ("a.gmz.part0", in any case) is the name
// without ".part0"; any other name is its own base.
std::u16string VolumeName(const std::u16string& base, uint64_t index);
std::u16string VolumeBase(const std::u16string& name);

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
