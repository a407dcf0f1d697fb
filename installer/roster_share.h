// Shared rosters: one zip that carries a roster and every package it names,
// so that the same ten characters land byte for byte the same on another
// computer. The archive holds the roster file as "rosters/NAME.txt", each
// package folder as it stands in mods as "mods/FOLDER/...", and a manifest
// at its top, "korva-zid-roster.ini", that names the roster and each package
// with its ContentFingerprint:
//
//   # Korva Quorin ZID roster archive: ...
//   format=1
//   roster=weekend
//   package=0123456789abcdef blue_runner
//
// The import (installer/import.h) knows such an archive by its manifest.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/progress.h"

namespace korva {

// The manifest's name at the archive's top, and the format it is written in.
inline constexpr char kRosterManifestName[] = "korva-zid-roster.ini";
constexpr int kRosterArchiveFormat = 1;

struct RosterManifest {
  struct Package {
    std::string folder;       // its folder name under mods
    std::string fingerprint;  // its ContentFingerprint
  };
  std::string roster;  // the roster's name
  std::vector<Package> packages;
};

// The manifest's text (LF line ends).
std::string RosterManifestText(const RosterManifest& manifest);

// Reads a manifest's bytes (CR LF or LF). Fails, with words that follow
// "its manifest" in a sentence, for a format other than kRosterArchiveFormat,
// a line that is not of the format, a roster name that cannot name a roster
// (a path, a name with "/" or "\"), a package folder name that is a path or
// that Windows cannot hold, a package named twice, a fingerprint that is not
// 16 hexadecimal digits.
Status ParseRosterManifest(std::string_view bytes, RosterManifest* manifest);

// Why `folder` cannot be a package's folder in a shared roster ("" when it
// can): a roster package name that does not begin with a dot (the program's
// own temporary folders in mods do).
std::string WhyNotSharedPackageName(const std::string& folder);

// What an export wrote.
struct RosterExport {
  size_t packages = 0;
  uint64_t files = 0;
  uint64_t bytes = 0;          // the packages' files, unpacked
  uint64_t archive_bytes = 0;  // the zip's size
};

// Writes roster `name` of `rostersFolder` and every package it names from
// `modsFolder` as the zip `path`: written to path + "_temp" first, flushed
// and then renamed to `path`, so a failed or cancelled export leaves no
// half archive. An existing `path` is replaced only with `replace`. Fails
// with a sentence that says why: no such roster, a package missing or
// holding a link, more than another computer's import takes, a file that
// cannot be read or written. `progress` (may be null) hears the bytes packed
// and cancels (Status::Cancelled).
Status ExportRoster(Platform& platform, const std::string& modsFolder, const std::string& rostersFolder,
                    const std::string& name, const std::string& path, bool replace, Progress* progress,
                    RosterExport* report);

}  // namespace korva
