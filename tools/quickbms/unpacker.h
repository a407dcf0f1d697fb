// quickbms.exe: the unpacker of the game's packed .dat archives.
//
//   quickbms.exe SCRIPT ARCHIVE OUTPUT_FOLDER
//
// SCRIPT names the archive formats to accept ("format zip tar"). An archive is
// unpacked all or nothing: it is read twice, and the first pass checks every
// entry (its name, its kind, its data, and the place it would land) before
// the second one writes anything. One refused entry means nothing is written.
//
// Refused: absolute names, ".." components, links and hard links, devices,
// names Windows cannot hold (a component over 255 bytes, a reserved device
// name, a forbidden character, a trailing dot or space), two entries that
// are one file on Windows, a name that is a file in one entry and a folder in
// another, the manager's own files (its tool copies, records and journal),
// the archive itself, and any place that a link on disk leads outside the
// output folder or where the disk holds a file where a folder must go (or the
// reverse).
//
// Each file is first written under its name + "_temp" (cut short to a name
// that fits; a leftover of a cut-off run is removed first). Once every file
// is written, their bytes are flushed to disk together (one flush for all is
// far cheaper than one per file); only then is each renamed over its name,
// matched case-insensitively against what is on disk, and then every folder
// written into is flushed. So a power cut never leaves a file under its name
// without its bytes, only "_temp" files that the next run writes anew; and
// once the exit status is 0 the whole archive is on disk and may be deleted.
// A run that fails removes the temporary files it has not renamed yet.
//
// Standard output carries "progress DONE TOTAL" lines, each flushed: TOTAL is
// the archive file's size and DONE how much of it is read, from 0 to TOTAL
// (the two passes count half each); one at the start, then at most one every
// 50 ms, and one at the end.
//
// Exit status: 0 when every entry was written and flushed; 1 when the archive
// was refused, could not be read, or a write failed (one line on stderr per
// problem); 2 for wrong arguments, an unusable script or a missing output
// folder.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace korva {

// Runs the unpacker on `args` (argv[0] first) through `platform`; returns
// its exit status.
int RunUnpacker(Platform& platform, const std::vector<std::string>& args);

}  // namespace korva
