// The record of what the program left in each game file it manages: the
// files it replaces with prepared versions, edits in place or rewrites. For
// each it keeps the size and a strong hash (XXH3, 128 bits) of the file as
// the program last left it, in game folder + "/chars/mod_record". Before an
// operation changes a managed file, the file must still be what the record
// says; one that a game update or the user has replaced is never written
// into. The time of last change is kept too, so that a file whose size and
// time are unchanged need not be read again.
//
// Record file (CR LF lines): one line per file, "path<TAB>size<TAB>time<TAB>hash",
// the path below the game folder as ManagedGameFiles spells it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace korva {

// Every game file the program manages, below the game folder, in the order
// start-up prepares them.
const std::vector<std::string>& ManagedGameFiles();

// Game folder + "/chars/mod_record".
std::string RecordPath(const std::string& gameFolder);

// A managed file that is not as the program left it.
struct ChangedFile {
  std::string path;    // below the game folder
  std::string reason;  // kChangedReason, kRestoredReason, or why its layout is not the prepared one
};
// Why a managed file is no longer as the program left it: other bytes (an
// update), or the very bytes of its backup (a check of the game's files
// put the game's own version back).
inline constexpr char kChangedReason[] = "changed";
inline constexpr char kRestoredReason[] = "put back as the game ships it";

// The hash of `bytes`, as 32 hexadecimal digits.
std::string ContentHash(std::string_view bytes);

class ManagedRecord {
 public:
  // Reads the record file of `gameFolder`. A missing file is an empty
  // record (`exists()` false); one that cannot be read is a failure.
  Status Load(Platform& platform, const std::string& gameFolder);
  bool exists() const { return exists_; }
  bool Has(const std::string& path) const { return entries_.count(path) != 0; }

  // The recorded files that are no longer as recorded, each with its reason.
  // A file whose size and
  // time match is taken as unchanged without being read; one whose content
  // still has the recorded hash is unchanged too (its new time is noted). A
  // missing file is dropped from the record: nothing is written into it, and
  // the next operation records what takes its place.
  std::vector<ChangedFile> Changed(Platform& platform, const std::string& gameFolder);

  // Takes the current state of each managed file in `paths` (below the game
  // folder) into the record; a missing file leaves the record. Does not
  // write the record file.
  Status Take(Platform& platform, const std::string& gameFolder,
              const std::vector<std::string>& paths);
  // Writes the record file in one step.
  Status Save(Platform& platform, const std::string& gameFolder) const;
  void Clear() { entries_.clear(); }
  bool empty() const { return entries_.empty(); }

 private:
  struct Entry {
    uint64_t size = 0;
    int64_t modified = 0;
    std::string hash;
  };
  bool exists_ = false;
  std::map<std::string, Entry> entries_;
};

// For a game folder that was prepared before the record existed: checks that
// each managed character project file holds the data folder's prepared file
// but for its slot and record fields, and that the icon page is a DDS of at
// least 1280 x 3584 pixels. Returns the files that fail, with the reason.
std::vector<ChangedFile> CheckPreparedLayout(Platform& platform, const std::string& gameFolder,
                                             const std::string& programFolder);

// True when `relative` (a path below the game folder such as
// "/chars/iconmap", matched case-insensitively) is one of the program's own
// paths there: the working copies of the converter and the unpacker, the
// icon page's intermediates, the icon map, the slot usage and store list
// files, the places' covered files, the record and the journal. Nothing a
// package or a game archive brings may land there.
bool IsProgramPath(const std::string& relative);
// True when `relative` is a managed game file (the icon page among them),
// the backup of any game file the program backs up, or the temporary name
// of either.
bool IsManagedOrBackupPath(const std::string& relative);

// True when the game folder shows that the program has prepared it before:
// the character file has its backup.
bool WasPrepared(Platform& platform, const std::string& gameFolder);

}  // namespace korva
