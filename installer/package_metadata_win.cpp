#include "installer/package_metadata.h"

#include "system/path_text.h"
#include "system/windows_support.h"

namespace Zavro {

void ReadMetadataIni(const std::u16string& folder, MetadataMap& map) {
  const std::u16string path = JoinPath(folder, kMetadataIniName);
  for (const char16_t* key : kMetadataIniKeys) {
    wchar_t value[512] = {};
    const DWORD length = GetPrivateProfileStringW(W(kMetadataEntryName), W(key), L"", value, 512, W(path));
    if (length != 0) map[key] = U16(value, length);
  }
}

}  // namespace Zavro
