// Unpacking the game's packed .dat archives, the first start-up step. Every
// archive lying directly in the game folder is unpacked into the game folder
// by the unpacker from the program's tools folder (copied into the game
// folder for the pass) and then deleted. The pass is part of the first
// start's one operation: when anything fails, all of it is undone and the
// archives stay for the next start.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "journal/journal.h"
#include "platform/platform.h"
#include "platform/progress.h"

namespace korva {

// What the user is told before the first archive is unpacked.
extern const char kUnpackingMessage[];
// What the user is told when tools/quickbms.exe or tools/vantrel.bms is missing.
extern const char kUnpackerMissingMessage[];

// What a pass did.
struct UnpackReport {
  // True when the game folder held an archive: the pass ran.
  bool archives_found = false;
  // True when the unpacker is missing from the tools folder: nothing was
  // unpacked or deleted, and the window is to close.
  bool unpacker_missing = false;
  // Names of the archives unpacked and deleted, in listing order.
  std::vector<std::string> unpacked;
  // The first failure (listing the folder, copying the unpacker, an
  // archive that cannot be unpacked, moved into place or deleted, removing
  // the unpacker's copies), or a cancel: the pass stopped there, and the
  // operation it ran in is to be undone as a whole.
  Status status;
};

// True when `name`, an entry of the game folder, is named like an archive:
// longer than 3 characters and ending exactly in ".dat" or ".DAT".
bool IsArchiveName(const std::string& name);

// The archives lying directly in the game folder, in listing order: readable
// files (not folders) with an archive name.
Status FindArchives(Platform& platform, const std::string& gameFolder,
                    std::vector<std::string>* names);

// The whole pass, as part of the operation open in `journal`. At the first
// archive `beforeUnpacking` is called (to tell the user), then
// PrepareUnpacker. Each archive is unpacked into a scratch folder of the
// journal's, its files are moved into the game folder, and it is deleted;
// at the end the unpacker's copies are removed. Any failure stops the pass
// and is returned in the report: the caller undoes the operation, so the
// game and its archives stay as they were. `progress` (may be null) hears
// the bytes of the archives read, and cancels.
UnpackReport UnpackGameArchives(Journal& journal, const std::string& gameFolder,
                                const std::string& programFolder,
                                const std::function<void()>& beforeUnpacking, Progress* progress);

// Checks that tools/quickbms.exe and tools/vantrel.bms are in the program
// folder and makes their copies in the game folder afresh: whatever is
// already under a copy's name is removed first and never run. Fails, setting
// `*missing`, when either file is missing from the tools folder; fails
// without it when something in the way cannot be removed or a copy cannot
// be made.
Status PrepareUnpacker(Platform& platform, const std::string& gameFolder,
                       const std::string& programFolder, bool* missing);

// Runs the game folder's unpacker copy with (script, `archivePath`,
// `outputFolder` + "/") and waits for it; `watch` (may be empty) gets what
// it prints. Fails when it cannot be started or ends with an exit status
// other than 0.
Status UnpackArchive(Platform& platform, const std::string& gameFolder,
                     const std::string& archivePath, const std::string& outputFolder,
                     const ProgramWatch& watch);

// Deletes the unpacker's two copies from the game folder; a copy that is not
// there is passed over. Both are tried; reports the first that could not be
// deleted.
Status RemoveUnpacker(Platform& platform, const std::string& gameFolder);

}  // namespace korva
