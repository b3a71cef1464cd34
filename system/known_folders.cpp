#include "system/known_folders.h"

namespace Zavro {

std::u16string AppDataPath() { return SpecialFolderPath(kCsidlAppData); }

}  // namespace Zavro
