// Helpers for tests of GMFile.
#pragma once

#include <cstdint>
#include <string>

#include "archive/io/file.h"

namespace Zavro::test {

// Up to `count` bytes from the file's position; "<failed>" when the read fails.
inline std::string ReadSome(GMFile& file, uint32_t count) {
  std::string bytes(count, '\0');
  uint32_t read = 0;
  if (!file.Read(&bytes[0], count, read)) return "<failed>";
  bytes.resize(read);
  return bytes;
}

}  // namespace Zavro::test
