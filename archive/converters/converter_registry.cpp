#include "archive/converters/converter_registry.h"

#include <array>
#include <new>

#include "archive/converters/lzma_converter.h"
#include "archive/converters/zip_converter.h"
#include "archive/gmz_format.h"

namespace Zavro {

namespace {

template <typename T, typename... Args>
GMCompressConverter::Ptr Make(Args... args) {
  try {
    return std::make_shared<T>(args...);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

const std::array<GMConverterSlot, kMethodSlots>& Slots() {
  static const std::array<GMConverterSlot, kMethodSlots> slots = [] {
    std::array<GMConverterSlot, kMethodSlots> table;
    table[kMethodZip] = {[](const int32_t* level) { return Make<GMZipEncoder>(level); },
                         [](const int32_t*) { return Make<GMZipDecoder>(); }, u"ZIP"};
    table[kMethodLzma] = {[](const int32_t* level) { return Make<GMLzmaEncoder>(level); },
                          [](const int32_t*) { return Make<GMLzmaDecoder>(); }, u"LZMA"};
    return table;
  }();
  return slots;
}

}  // namespace

const GMConverterSlot* ConverterSlot(uint32_t method) {
  if (method >= kMethodSlots) return nullptr;
  return &Slots()[method];
}

GMCompressConverter::Ptr CreateDecoder(uint32_t method) {
  if (method == kMethodStored) return Make<GMRawConverter>();
  if (method == kMethodSolid) method = kMethodLzma;
  const GMConverterSlot* slot = ConverterSlot(method);
  if (slot == nullptr || slot->decoder == nullptr) return nullptr;
  return slot->decoder(nullptr);
}

GMCompressConverter::Ptr CreateEncoder(uint32_t method, const int32_t* level) {
  if (method == kMethodStored) return Make<GMRawConverter>();
  const GMConverterSlot* slot = ConverterSlot(method);
  if (slot == nullptr || slot->encoder == nullptr) return nullptr;
  return slot->encoder(level);
}

}  // namespace Zavro
