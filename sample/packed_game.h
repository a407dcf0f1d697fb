// The sample game as a first start finds a packed game: KORVAQUORIN.exe loose
// and every other file of the sample game packed into a few .dat archives
// (zip, tar and gzip-compressed tar; one spelled .DAT) lying directly in the
// game folder.
#pragma once

#include <string>

namespace korva {

// Writes a fresh packed sample game into `folder` (created when missing).
// Throws std::runtime_error naming a path that could not be written.
void MakePackedSampleGame(const std::string& folder);

}  // namespace korva
