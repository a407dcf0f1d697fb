// Import: mod packages from downloaded archives (zip, 7z, rar, tar with gzip,
// bzip2 or xz) and from package folders become package folders under the
// mods folder. A package is a folder of the source, or its top, that holds a
// modfile.ini, at most two folders down; each becomes one new folder under
// mods, named after that folder, or after the source itself for a package at
// its top.
//
// Nothing is written outside the mods folder, and nothing half-done is ever
// listed: every package is unpacked into a temporary folder under mods first
// and renamed into place only when every source has been unpacked in full.
//
// An archive with a shared roster's manifest at its top
// (installer/roster_share.h) is imported as one: its packages under the
// same rules, each checked against its fingerprint before anything is
// written, a package already in mods with the same files reused, and the
// roster saved in the rosters folder; all of it, or none of it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace korva {

// The limits of one source.
constexpr uint64_t kImportMaxBytes = 2ull * 1024 * 1024 * 1024;  // unpacked
constexpr uint64_t kImportMaxEntries = 100000;
// Unpacked bytes per compressed byte, for one entry and for a whole archive.
// Compressed sizes under kImportRatioFloor count as that much, since the
// archive reader works ahead by about that many bytes: so an entry is refused
// for its ratio from 1000 x 64 KiB = 64 MiB of unpacked bytes on.
constexpr uint64_t kImportMaxRatio = 1000;
constexpr uint64_t kImportRatioFloor = 64 * 1024;

struct ImportOptions {
  // Asked for each package whose folder name is taken under mods (names are
  // matched case-insensitively): true replaces what is there. Unset: nothing
  // is ever replaced.
  std::function<bool(const std::string& folderName, const std::string& source)> replace;
  // Asked when a roster archive's roster has the name of a roster that is
  // there already, with other lines: true replaces it. Unset: never.
  std::function<bool(const std::string& rosterName, const std::string& source)> replace_roster;
  // Where a roster archive's roster goes; "" for the "rosters" folder
  // beside the mods folder.
  std::string rosters_folder;
  // Called often while the work goes on with how much of it is done (0 to 1)
  // and what is being done; false cancels the whole import.
  std::function<bool(double done, const std::string& doing)> progress;
};

// Why a source, or one package of it, was not imported.
enum class ImportRule {
  kMissing,        // the source is neither a readable file nor a folder
  kInModsFolder,   // a folder that is in the mods folder already
  kNotArchive,     // not an archive of a format the program reads
  kUnreadable,     // a read error, or an archive cut short
  kAbsoluteName,   // an entry named from the root or a drive
  kClimbsOut,      // an entry with a ".." component
  kLink,           // a symbolic link
  kHardLink,       // a hard link
  kSpecialFile,    // a device, pipe or socket
  kBadName,        // a name that Windows cannot hold
  kSameName,       // two entries that are one file on Windows
  kEncrypted,      // an entry that needs a password
  kTooLarge,       // more than kImportMaxBytes unpacked
  kTooManyEntries, // more than kImportMaxEntries entries
  kRatio,          // unpacks to more than kImportMaxRatio times its size
  kNoModfile,      // no package in it
  kKept,           // a package of that folder name is there and was kept
  kNameTwice,      // two packages of this import would take one folder name
  kWriteFailed,    // the mods folder could not be written
  kBadManifest,    // a roster archive whose manifest, roster or entries are not of the format
  kMissingPackage, // a roster archive without a package its manifest names
  kFingerprint,    // a roster archive's package whose files do not match its fingerprint
};

struct ImportedPackage {
  std::string folder;  // the new folder's name under mods
  std::string source;  // the archive or folder it came from, as given
  bool replaced = false;
};

struct ImportRefusal {
  std::string source;
  ImportRule rule;
  std::string reason;  // a sentence without its full stop: entry "../x" climbs out with ".."
};

struct ImportedRoster {
  std::string name;
  std::string source;
  bool replaced = false;              // a roster of that name was there and was replaced
  std::vector<std::string> packages;  // its packages' folders, as its manifest lists them
  std::vector<std::string> reused;    // of them, those that mods held already with the same files
};

struct ImportReport {
  std::vector<ImportedPackage> imported;  // in the order they were found
  std::vector<ImportedRoster> rosters;
  std::vector<ImportRefusal> refused;
  bool cancelled = false;  // then nothing was imported
};

// Imports every source (archive file or folder) into `modsFolder`, creating
// it when it is missing. A source with any hostile entry or over a limit is
// refused whole; its other packages are still imported when only some of
// them are refused (a kept name, a name taken twice). Leftovers of an import
// that was cut off (the temporary folders) are cleaned up first. A cancelled
// or failed import leaves the mods folder as it was.
ImportReport ImportMods(Platform& platform, const std::string& modsFolder,
                        const std::vector<std::string>& sources, const ImportOptions& options);

// The one message that says what was imported and what was refused, and why.
std::string ImportMessage(const ImportReport& report);

// Cleans up after an import that was cut off: an old package that had been
// moved aside to be replaced goes back to its place when nothing took it,
// and every temporary folder of an import is removed.
void RemoveImportLeftovers(Platform& platform, const std::string& modsFolder);

// `name` made safe as a folder name on Windows and Linux: letters, digits,
// space and - _ . ( ) kept, any other character (a multibyte one counts
// once) made "_"; no leading or trailing dots and spaces; Windows device
// names (CON, NUL, COM1...) get a "_"; at most 100 bytes; "mod" when
// nothing is left.
std::string SafeFolderName(const std::string& name);

// The archive's file name without its folder and its archive extensions:
// "/d/Blue Runner.tar.gz" gives "Blue Runner".
std::string ArchiveStem(const std::string& path);

}  // namespace korva
