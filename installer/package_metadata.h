// The package metadata: key/value pairs kept in the package's inline entry "gmmeta"
// (and later in the uninstall record), serialised as a u32 pair count, then for each
// pair the key and the value, each as a u32 length in UTF-16 units and that many
// UTF-16LE units. Little-endian, no terminators, no padding.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace Zavro {

using MetadataPairs = std::vector<std::pair<std::u16string, std::u16string>>;

constexpr char16_t kMetadataEntryName[] = u"gmmeta";

std::vector<unsigned char> SerializeMetadata(const MetadataPairs& pairs);

}  // namespace Zavro
