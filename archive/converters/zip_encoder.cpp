// The deflate side of the "ZIP" method, apart, so that a program that only decodes links
// none of it.
#include "archive/converters/zip_converter.h"

namespace Zavro {

namespace {

const ZipStreamCalls kDeflate = {
    [](z_stream* stream, int level) { return deflateInit2(stream, level, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY); },
    deflate, deflateReset, deflateEnd};

}  // namespace

GMZipEncoder::GMZipEncoder(const int32_t* level) : GMZipEncoder(level, kDeflate) {}

}  // namespace Zavro
