#include "installer/package_metadata.h"

namespace Zavro {

// Profile files are the Windows system's: elsewhere there are none to read.
void ReadMetadataIni(const std::u16string&, MetadataMap&) {}

}  // namespace Zavro
