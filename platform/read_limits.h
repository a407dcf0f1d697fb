// How large each kind of file the program reads may be. Every read names its
// limit; a file over it is refused with a message instead of being read
// until memory runs out. The limits are generous for real files of each kind
// and are listed in the README.
#pragma once

#include <cstdint>

namespace korva {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = 1024 * kKiB;

// config.ini in the program folder: one line.
constexpr uint64_t kConfigFileLimit = 64 * kKiB;
// A package's modfile.ini.
constexpr uint64_t kModfileLimit = 1 * kMiB;
// A package's data files (colldef.ini, itemdata.ini, textdata.ini,
// boltdata.ini, sounddata.ini, abilitiesdata.ini).
constexpr uint64_t kPackageDataLimit = 16 * kMiB;
// The program's own record files in the game folder: the icon map, the slot
// usage files, the store lists, the record of managed files, the journal.
constexpr uint64_t kRecordFileLimit = 64 * kMiB;
// The game's character project files (.cpj).
constexpr uint64_t kProjectFileLimit = 16 * kMiB;
// The game's text files that the program edits, and the collection list.
constexpr uint64_t kGameTextLimit = 256 * kMiB;
// An icon image of a package, and the program's default icon.
constexpr uint64_t kIconFileLimit = 4 * kMiB;
// The icon page and its TGA image (1280 x 3584 at 32 bits is 18 MB).
constexpr uint64_t kIconPageLimit = 256 * kMiB;

// Steam's list of its library folders (steamapps/libraryfolders.vdf).
constexpr uint64_t kSteamLibraryListLimit = 1 * kMiB;

}  // namespace korva
