// The inflate side of the "ZIP" method.
#include "archive/converters/zip_converter.h"

namespace Zavro {

namespace {

const ZipStreamCalls kInflate = {[](z_stream* stream, int) { return inflateInit2(stream, MAX_WBITS); }, inflate,
                                 inflateReset, inflateEnd};

}  // namespace

GMZipDecoder::GMZipDecoder() : GMZipEncoder(nullptr, kInflate) {}

bool GMZipDecoder::Process(const void* input, uint32_t inputLength, uint32_t& consumed, bool) {
  consumed = 0;
  if (input == nullptr && inputLength != 0) return false;
  if (!initialized_ && !InitStream()) return false;
  if (GetFreeSpace() == 0 || finished_) return true;
  int rc = Z_OK;
  Step(input, inputLength, consumed, Z_NO_FLUSH, rc);
  if (rc == Z_STREAM_END) finished_ = true;
  // Z_BUF_ERROR only says no progress was possible (no input, or no room): not damage.
  return rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR;
}

}  // namespace Zavro
