// A cheap fingerprint of a mod package folder, so that a package changed
// since it was installed (a new version imported over it, a file edited by
// hand) is noticed without reading its files' contents.
#pragma once

#include <string>

#include "platform/platform.h"

namespace korva {

// XXH3 (64 bits, as 16 hexadecimal digits) over the relative path, size and
// time of last change of every file below `packageFolder`, in listing
// order; links are counted by name and not followed. No file's contents are
// read. It changes when a file is added, removed, renamed or written (its
// time of last change moves). "" for a folder that cannot be listed.
std::string PackageFingerprint(Platform& platform, const std::string& packageFolder);

}  // namespace korva
