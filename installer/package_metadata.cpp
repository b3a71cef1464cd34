#include "installer/package_metadata.h"

#include <iterator>

#include "archive/toc_node.h"
#include "installer/folder_macros.h"
#include "installer/serial_form.h"

namespace Zavro {

const char16_t* const kMetadataIniKeys[7] = {u"gmexe", u"gmver_patch_from", u"gmver_patch_to", u"gmargs",
                                             u"gmid",  u"gmviewname",       u"gmflags"};

std::vector<unsigned char> SerializeMetadata(const MetadataPairs& pairs) {
  std::vector<unsigned char> out;
  PutU32(out, static_cast<uint32_t>(pairs.size()));
  for (const auto& [key, value] : pairs) {
    PutText(out, key);
    PutText(out, value);
  }
  return out;
}

std::vector<unsigned char> SerializeMetadata(const MetadataMap& map) {
  return SerializeMetadata(MetadataPairs(map.begin(), map.end()));
}

bool ParseMetadata(const unsigned char* data, size_t size, MetadataPairs& pairs) {
  ByteReader in(data, size);
  uint32_t count = 0;
  // A pair takes at least its two lengths.
  if (!in.Count(count, 8)) return false;
  MetadataPairs read;
  for (uint32_t i = 0; i < count; ++i) {
    std::u16string key, value;
    if (!in.Text(key) || !in.Text(value)) return false;
    read.emplace_back(std::move(key), std::move(value));
  }
  pairs.insert(pairs.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
  return true;
}

bool MergeMetadata(const unsigned char* data, size_t size, MetadataMap& map) {
  MetadataPairs pairs;
  if (!ParseMetadata(data, size, pairs)) return false;
  for (auto& [key, value] : pairs) map.emplace(std::move(key), std::move(value));
  return true;
}

bool LoadPackageMetadata(const GMTocNode& root, MetadataMap& map) {
  bool ok = true;
  for (const auto& child : root.children) {
    if (child->name != kMetadataEntryName) continue;
    ok = MergeMetadata(child->buffer.Data(), child->buffer.Length(), map) && ok;
  }
  return ok;
}

std::u16string GetMeta(MetadataMap& map, const std::u16string& key, const FolderMacros& macros) {
  return macros.ExpandMacros(map[key]);
}

}  // namespace Zavro
