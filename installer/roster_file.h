// Roster files: which mod package each of the ten places holds, under a
// name, kept as plain text in the program folder's "rosters" folder
// (rosters/NAME.txt) for people to read, share and edit.
//
// The format: one line per place, "PLACE=PACKAGE", the place numbered 1 to
// 10 as "Game Chars" counts them, the package as its folder name under
// mods (never a path); "PLACE=" alone is an empty place. Every place has
// exactly one line. Blank lines and lines that begin with "#" are skipped;
// spaces around the number and the name are ignored. Written with CR LF
// line ends; LF alone is read as well.
//
//   # Korva Quorin ZID roster "weekend"
//   1=blue_runner
//   2=
//   ...
//   10=sister_imra
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace korva {

// The package folder name of each place (index 0: place 1); "" for empty.
struct Roster {
  std::array<std::string, 10> packages;
};

// The "rosters" folder in the user's folder (ProgramFolders::user_files),
// and the file of roster `name`.
std::string RosterFolder(const std::string& userFolder);
std::string RosterPath(const std::string& userFolder, const std::string& name);

// Why `name` cannot name a roster, as words that follow the name in a
// sentence ("holds a \"/\", ..."); "" when it can. A roster name is what an
// imported package's folder name may be: letters, digits, spaces and
// - _ . ( ), not beginning with a dot or a space nor ending with one, no
// device name of Windows, at most 100 bytes.
std::string WhyNotRosterName(const std::string& name);

// Why `name` cannot be a package folder name in a roster (a path, "." or
// "..", a name Windows cannot hold); "" when it can.
std::string WhyNotPackageName(const std::string& name);

// Reads the roster file `path` (at most 64 KiB). Fails with a sentence
// naming the file and, for a line that is not of the format, its number and
// what is wrong with it; a place without a line or with two is refused too.
Status ReadRoster(Platform& platform, const std::string& path, Roster* roster);
// The same for a roster file's bytes, such as a shared archive brings;
// `path` names it in the messages.
Status ParseRosterText(std::string_view bytes, const std::string& path, Roster* roster);
Status ParseRosterLines(const std::vector<std::string>& lines, const std::string& path, Roster* roster);

// Makes the roster file `path` hold exactly `bytes` (a shared roster's file
// as it came), atomically.
Status WriteRosterBytes(Platform& platform, const std::string& path, std::string_view bytes);

// The file's text for `roster` named `name` (LF line ends, as in memory).
std::string RosterText(const std::string& name, const Roster& roster);

// The names of the rosters in the user's folder (the files NAME.txt whose
// NAME is a roster name), in the folder's order. None when it is missing.
std::vector<std::string> ListRosterNames(Platform& platform, const std::string& userFolder);

}  // namespace korva
