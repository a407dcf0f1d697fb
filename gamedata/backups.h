// The one-time backups of the game files, made at every start before anything
// is changed: each game file the program edits or replaces is kept under its
// name + "_bak" (made once, never overwritten), four are replaced by the data
// folder's prepared versions, three prepared files are added, and the
// abilities list is given a reference to the program's own abilities file.
// The table below is the one list of these files; a revert reads it too.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace korva {

// How a game file is treated at start-up, and so how a revert undoes it.
enum class GameFileKind {
  kCopy,             // a backup copy F + "_bak" is made; F stays
  kMove,             // F is moved to F + "_bak"; the game runs without it
  kMoveThenReplace,  // F is moved to F + "_bak"; the prepared version takes its place
  kAddIfAbsent,      // a prepared file of ours is added; no backup
  kModAbilities,     // our own abilities file, created empty and named in "/chars/abilities.txt"
};

struct GameFile {
  int step;              // the start-up step that prepares it (2 to 12)
  const char* path;      // below the game folder
  GameFileKind kind;
  const char* prepared;  // below the program folder, or nullptr
};

// Every game file of the start-up steps 2 to 12, in the order they run.
const std::vector<GameFile>& BackedUpGameFiles();

constexpr const char* kBackupSuffix = "_bak";
constexpr const char* kAbilitiesFile = "/chars/abilities.txt";
constexpr const char* kModAbilitiesFile = "/chars/abilities/mod_abilities.txt";
// What is appended to "/chars/abilities.txt" (text mode: each LF is stored as CR LF).
constexpr const char* kAbilitiesAddition =
    "//##mod\ntxt_file \"chars/abilities/mod_abilities.txt\"\n";

// Runs the start-up steps 2 to 12 in order, each one whatever became of the
// ones before. A step whose result already exists changes nothing, so a
// second start leaves every file as it is. Returns one Status per thing that
// could not be done (a backup not made, a prepared file missing, the
// abilities reference not added), each saying what was left as it was; an
// empty list when everything is in place.
//  - Copy: F + "_bak" is made from F unless it exists.
//  - Move: F is renamed to F + "_bak" unless that exists.
//  - Move, then replace: as Move, then the prepared version is copied to F
//    when F is missing. F is moved only when the prepared version can be
//    read, and is moved back when the prepared version cannot be copied, so
//    the game never ends up without the file.
//  - Add if absent: the prepared version is copied to F when F is missing.
//  - Abilities: when "mod_abilities.txt" is missing it is created empty and
//    the two lines of kAbilitiesAddition are appended to "abilities.txt" (on a
//    line of their own). Done only once "abilities.txt" has its backup, so
//    the game's list is never edited without one; if the lines cannot be
//    appended, the new empty file is removed again so the next start retries.
// Returns what failed. With `notes`, what was missing and so left undone
// (a game file not found, a prepared version that cannot be read) goes
// there instead: nothing failed to change for it.
std::vector<Status> BackUpGameFiles(Platform& platform, const std::string& gameFolder,
                                    const std::string& programFolder,
                                    std::vector<Status>* notes = nullptr);

// A moved game file (Move) that is back under its own name beside its
// backup, as a check of the game's files or a patch puts it back: `same`
// when it holds the backup's very bytes (a restore), otherwise it is the
// game's new version (an update).
struct MovedFileBack {
  std::string path;  // below the game folder
  bool same = false;
};
std::vector<MovedFileBack> MovedFilesBack(Platform& platform, const std::string& gameFolder);

}  // namespace korva
