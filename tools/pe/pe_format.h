// The fields of a PE image that the reader, the writer and the tests use, named as the
// PE/COFF format names them, by their offsets: from the start of the file (the MZ
// header), of the PE signature (the COFF file header follows it), of the optional
// header, of a section header and of the resource structures. All numbers are
// little-endian.
#pragma once

#include <cstdint>

namespace Zavro::pe::format {

inline uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline void Put16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}
inline void Put32(unsigned char* at, uint32_t value) {
  Put16(at, static_cast<uint16_t>(value));
  Put16(at + 2, static_cast<uint16_t>(value >> 16));
}

// The MZ header.
constexpr uint32_t kDosMagic = 0x00;      // "MZ"
constexpr uint32_t kDosNewHeader = 0x3C;  // e_lfanew: where the PE signature is
constexpr uint32_t kDosHeaderSize = 64;

// From the PE signature ("PE\0\0"): the COFF file header.
constexpr uint32_t kSignatureSize = 4;
constexpr uint32_t kMachine = 4;
constexpr uint32_t kNumberOfSections = 6;
constexpr uint32_t kPointerToSymbolTable = 12;
constexpr uint32_t kNumberOfSymbols = 16;
constexpr uint32_t kSizeOfOptionalHeader = 20;
constexpr uint32_t kCharacteristics = 22;
constexpr uint32_t kOptionalHeader = 24;
constexpr uint32_t kSymbolSize = 18;

// From the optional header.
constexpr uint32_t kMagic = 0;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kSizeOfInitializedData = 8;
constexpr uint32_t kAddressOfEntryPoint = 16;
// ImageBase: 4 bytes in PE32 (after BaseOfData), 8 in PE32+.
constexpr uint32_t ImageBase(bool pe32Plus) { return pe32Plus ? 24 : 28; }
constexpr uint32_t kSectionAlignment = 32;
constexpr uint32_t kFileAlignment = 36;
constexpr uint32_t kMajorSubsystemVersion = 48;
constexpr uint32_t kSizeOfImage = 56;
constexpr uint32_t kSizeOfHeaders = 60;
constexpr uint32_t kCheckSum = 64;
constexpr uint32_t kSubsystem = 68;
// The data directories (each an RVA and a size) follow NumberOfRvaAndSizes.
constexpr uint32_t DataDirectories(bool pe32Plus) { return pe32Plus ? 112 : 96; }
constexpr uint32_t NumberOfRvaAndSizes(bool pe32Plus) { return DataDirectories(pe32Plus) - 4; }
constexpr uint32_t kDataDirectorySize = 8;
constexpr uint32_t kMaxDataDirectories = 16;
constexpr uint32_t kDirectoryResource = 2;
constexpr uint32_t kDirectoryCertificate = 4;  // its "RVA" is a file offset
constexpr uint32_t kDirectoryBaseRelocation = 5;
// A block of base relocations: the page's RVA, then the block's size.
constexpr uint32_t kRelocationPage = 0;
constexpr uint32_t kRelocationBlockSize = 4;

// A section header.
constexpr uint32_t kSectionName = 0;
constexpr uint32_t kSectionNameSize = 8;
constexpr uint32_t kVirtualSize = 8;
constexpr uint32_t kVirtualAddress = 12;
constexpr uint32_t kSizeOfRawData = 16;
constexpr uint32_t kPointerToRawData = 20;
constexpr uint32_t kSectionCharacteristics = 36;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionInitializedData = 0x00000040;
constexpr uint32_t kSectionCode = 0x00000020;
constexpr uint32_t kSectionDiscardable = 0x02000000;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionRead = 0x40000000;
constexpr uint32_t kSectionWrite = 0x80000000;

// A resource directory: a 16-byte header, then its named entries and its numbered
// entries, 8 bytes each (a name or number, then the offset of a directory with the high
// bit set or of a data entry without it). Offsets count from the resource section's start.
constexpr uint32_t kNumberOfNamedEntries = 12;
constexpr uint32_t kNumberOfIdEntries = 14;
constexpr uint32_t kResourceDirectorySize = 16;
constexpr uint32_t kResourceEntrySize = 8;
constexpr uint32_t kResourceHighBit = 0x80000000u;
// A resource data entry.
constexpr uint32_t kDataRva = 0;
constexpr uint32_t kDataSize = 4;
constexpr uint32_t kDataCodePage = 8;
// A resource name: its length in units, then the UTF-16 units.
constexpr uint32_t kNameLength = 0;
constexpr uint32_t kNameUnits = 2;
constexpr uint32_t kResourceDataEntrySize = 16;

}  // namespace Zavro::pe::format
