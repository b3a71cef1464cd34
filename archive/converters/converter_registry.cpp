#include "archive/converters/converter_registry.h"

#include <array>

#include "archive/converters/lzma_converter.h"
#include "archive/converters/zip_converter.h"
#include "archive/gmz_format.h"

namespace Zavro {

namespace {

const std::array<GMConverterSlot, kMethodSlots>& Slots() {
  static const std::array<GMConverterSlot, kMethodSlots> slots = [] {
    std::array<GMConverterSlot, kMethodSlots> table;
    table[kMethodZip] = {[](const int32_t* level) { return MakeConverter<GMZipEncoder>(level); },
                         [](const int32_t*) { return CreateDecoder(kMethodZip); }, u"ZIP"};
    table[kMethodLzma] = {[](const int32_t* level) { return MakeConverter<GMLzmaEncoder>(level); },
                          [](const int32_t*) { return CreateDecoder(kMethodLzma); }, u"LZMA"};
    return table;
  }();
  return slots;
}

}  // namespace

const GMConverterSlot* ConverterSlot(uint32_t method) {
  if (method >= kMethodSlots) return nullptr;
  return &Slots()[method];
}

GMCompressConverter::Ptr CreateEncoder(uint32_t method, const int32_t* level) {
  if (method == kMethodStored) return MakeConverter<GMRawConverter>();
  const GMConverterSlot* slot = ConverterSlot(method);
  if (slot == nullptr || slot->encoder == nullptr) return nullptr;
  return slot->encoder(level);
}

}  // namespace Zavro
