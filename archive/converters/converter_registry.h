// The method registry: 32 slots indexed by method number, each with an encoder factory,
// a decoder factory and a name. Slot 1 is "ZIP", slot 2 "LZMA"; the others are empty.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "archive/converters/compress_converter.h"

namespace Zavro {

using GMConverterFactory = GMCompressConverter::Ptr (*)(const int32_t* level);

struct GMConverterSlot {
  GMConverterFactory encoder = nullptr;
  GMConverterFactory decoder = nullptr;
  std::u16string name;  // at most 31 units
};

// The slot of a method below 32, or null.
const GMConverterSlot* ConverterSlot(uint32_t method);

// Method 0 is the stored converter, 3 (the solid block) decodes as 2; an empty slot or
// a method of 32 and above gives null. It needs none of the encoders
// (converter_decoders.cpp): a program that only decodes links no encoder.
GMCompressConverter::Ptr CreateDecoder(uint32_t method);
// Method 0 is the stored converter; an empty slot or a method of 32 and above gives
// null. A null level lets the encoder choose its default.
GMCompressConverter::Ptr CreateEncoder(uint32_t method, const int32_t* level);

// A new converter, or null when memory runs out.
template <typename T, typename... Args>
GMCompressConverter::Ptr MakeConverter(Args... args) {
  try {
    return std::make_shared<T>(args...);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace Zavro
