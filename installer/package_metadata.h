// The package metadata: key/value pairs from the package's inline entry "gmmeta" and an
// optional "##metadata##.ini", kept in one map ordered by the keys' UTF-16 units and
// copied into the uninstall record. Serialised as a u32 pair count, then for each pair
// the key and the value, each as a u32 length in UTF-16 units and that many UTF-16LE
// units (little-endian, no terminators, no padding).
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Zavro {

class FolderMacros;
class GMTocNode;

using MetadataPairs = std::vector<std::pair<std::u16string, std::u16string>>;
using MetadataMap = std::map<std::u16string, std::u16string>;

constexpr char16_t kMetadataEntryName[] = u"gmmeta";
constexpr char16_t kMetadataIniName[] = u"##metadata##.ini";

std::vector<unsigned char> SerializeMetadata(const MetadataPairs& pairs);
std::vector<unsigned char> SerializeMetadata(const MetadataMap& map);

// Reads serialised metadata. False when the bytes are shorter than their counts say:
// then nothing is taken. Bytes after the last pair are not looked at.
bool ParseMetadata(const unsigned char* data, size_t size, MetadataPairs& pairs);
// Adds the pairs whose keys the map does not hold yet (the first value of a key wins).
// False, adding nothing, for bytes ParseMetadata refuses.
bool MergeMetadata(const unsigned char* data, size_t size, MetadataMap& map);

// The pairs of every top-level entry named "gmmeta", in order. False when one of them
// is damaged (its pairs are not added; those of the others are).
bool LoadPackageMetadata(const GMTocNode& root, MetadataMap& map);

// A value with its folder macros expanded; a missing key is added with the empty value.
std::u16string GetMeta(MetadataMap& map, const std::u16string& key, const FolderMacros& macros);

// The keys "##metadata##.ini" may give, in the order they are read (section "gmmeta").
extern const char16_t* const kMetadataIniKeys[7];
// Windows: reads those keys, up to 511 units each, from `folder`\##metadata##.ini (with
// an empty folder the system looks for the bare name in the Windows folder); a
// non-empty value replaces the map's.
void ReadMetadataIni(const std::u16string& folder, MetadataMap& map);

}  // namespace Zavro
