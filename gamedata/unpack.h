// Unpacking the game's packed .dat archives, the first start-up step. Every
// archive lying directly in the game folder is unpacked into the game folder
// by the unpacker from the program's tools folder (copied into the game
// folder for the pass) and then deleted; an archive that could not be
// unpacked is kept, so the next start tries it again.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

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
  // Why the unpacker could not be put into the game folder; nothing was
  // unpacked or deleted.
  Status prepared;
  // Names of the archives unpacked and deleted, in listing order.
  std::vector<std::string> unpacked;
  // "name: reason" for each archive that could not be unpacked and is kept.
  std::vector<std::string> kept;
  // "name: reason" for each archive that was unpacked but could not be
  // deleted: the next start would unpack it again over the game's files.
  std::vector<std::string> not_deleted;
  // Whether the unpacker's copies were removed from the game folder.
  Status removed;
  // Whether the game folder was flushed to disk after the archives were
  // deleted.
  Status synced;
  // Whether the game folder could be listed.
  Status listed;
};

// True when `name`, an entry of the game folder, is named like an archive:
// longer than 3 characters and ending exactly in ".dat" or ".DAT".
bool IsArchiveName(const std::string& name);

// The whole pass. Looks at the entries directly in the game folder in listing
// order; an archive is a readable file (not a folder) with an archive name.
// At the first archive `beforeUnpacking` is called (to tell the user), then
// PrepareUnpacker; each archive is unpacked and, when that worked, deleted;
// at the end the unpacker's copies are removed and the game folder is
// flushed. An archive is deleted only after the unpacker ended with exit
// status 0, which it does once everything it wrote is on disk. Nothing
// happens, and `beforeUnpacking` is not called, when there is no archive.
UnpackReport UnpackGameArchives(Platform& platform, const std::string& gameFolder,
                                const std::string& programFolder,
                                const std::function<void()>& beforeUnpacking);

// Checks that tools/quickbms.exe and tools/vantrel.bms are in the program
// folder and makes their copies in the game folder afresh: whatever is
// already under a copy's name is removed first and never run. Fails, setting
// `*missing`, when either file is missing from the tools folder; fails
// without it when something in the way cannot be removed or a copy cannot
// be made.
Status PrepareUnpacker(Platform& platform, const std::string& gameFolder,
                       const std::string& programFolder, bool* missing);

// Runs the game folder's unpacker copy with (script, `archivePath`, game
// folder + "/") and waits for it. Fails when it cannot be started or ends
// with an exit status other than 0.
Status UnpackArchive(Platform& platform, const std::string& gameFolder,
                     const std::string& archivePath);

// Deletes the unpacker's two copies from the game folder; a copy that is not
// there is passed over. Both are tried; reports the first that could not be
// deleted.
Status RemoveUnpacker(Platform& platform, const std::string& gameFolder);

// The message that ends a pass that ran: "Initial unpacking finished.",
// followed by what went wrong, if anything, naming each archive that was kept
// or could not be deleted.
std::string UnpackFinishedMessage(const UnpackReport& report);

}  // namespace korva
