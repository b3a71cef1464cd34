#include "system/volume.h"

namespace Zavro {

std::u16string FatFileSystemName(uint64_t clusters) {
  constexpr uint64_t kFirstFat32Count = 65525;
  return clusters >= kFirstFat32Count ? u"FAT32" : u"FAT";
}

}  // namespace Zavro
