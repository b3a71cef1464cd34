// The decoders apart from the slot table: a program that only reads archives (the
// installer) links the decoders and none of the encoders.
#include "archive/converters/converter_registry.h"

#include "archive/converters/lzma_converter.h"
#include "archive/converters/zip_converter.h"
#include "archive/gmz_format.h"

namespace Zavro {

GMCompressConverter::Ptr CreateDecoder(uint32_t method) {
  switch (method) {
    case kMethodStored: return MakeConverter<GMRawConverter>();
    case kMethodZip: return MakeConverter<GMZipDecoder>();
    case kMethodLzma:
    case kMethodSolid: return MakeConverter<GMLzmaDecoder>();
    default: return nullptr;
  }
}

}  // namespace Zavro
