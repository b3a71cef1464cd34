// The installer's serialised forms (package metadata, task lists, the uninstall
// record): little-endian u32 numbers, and texts as a u32 length in UTF-16 units followed
// by that many UTF-16LE units, without terminators. They are read with ByteReader
// (U32, Text, Bytes, Count).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "system/byte_reader.h"

namespace Zavro {

void PutU32(std::vector<unsigned char>& out, uint32_t value);
void PutText(std::vector<unsigned char>& out, const std::u16string& text);
void PutBlock(std::vector<unsigned char>& out, const std::vector<unsigned char>& block);

}  // namespace Zavro
