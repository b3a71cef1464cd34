#include "system/directory_listing.h"

namespace Zavro {

const char* SkipReasonText(SkipReason reason) {
  switch (reason) {
    case SkipReason::kFolderLink: return "a link to a folder";
    case SkipReason::kBrokenLink: return "a link whose target is missing";
    case SkipReason::kPipe: return "a pipe";
    case SkipReason::kSocket: return "a socket";
    case SkipReason::kDevice: return "a device";
  }
  return "not a file";
}

ReparseHandling HandlingOfReparsePoint(uint32_t attributes, uint32_t reparseTag) {
  if ((attributes & kFileAttributeReparsePoint) == 0) return ReparseHandling::kAsItIs;
  // A tag of 0 is none at all: Wine gives it for its links.
  const bool link = reparseTag == kReparseTagSymlink || reparseTag == kReparseTagMountPoint || reparseTag == 0;
  if (!link) return ReparseHandling::kAsItIs;
  if (attributes & kFileAttributeDirectory) return ReparseHandling::kFolderLink;
  return ReparseHandling::kFollowLink;
}

}  // namespace Zavro
