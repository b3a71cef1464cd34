#include "installer/package_metadata.h"

#include "system/path_utils.h"
#include "system/shortcut.h"

namespace Zavro {

void ReadMetadataIni(const std::u16string& folder, MetadataMap& map) {
  const std::u16string path = JoinPath(folder, kMetadataIniName);
  for (const char16_t* key : kMetadataIniKeys) {
    const std::u16string value = ReadIniString(path, kMetadataEntryName, key, u"");
    if (!value.empty()) map[key] = value;
  }
}

}  // namespace Zavro
