// The game's collection list "/chars/collection.txt": one "collect" line per
// character the game offers. Its end holds ten reserved places, one per
// "Game Chars" row: each is the place marker "//##" + the place's placeholder
// character name followed by one entry, the placeholder entry while the place
// is empty. Every change lands through an atomic replace of the whole file.
#pragma once

#include <string>

#include "platform/platform.h"

namespace korva {

constexpr const char* kCollectionList = "/chars/collection.txt";
// What an empty place holds.
constexpr const char* kPlaceholderEntry = "collect \"Halvek\" no_guns no_progress Do_Not_Show";

// The entry of a character without its own: collect "<dataName>" no_progress.
std::string DefaultCollectionEntry(const std::string& dataName);

// Gives the collection list its reserved section, once: the line "//##mod",
// the placeholder entry twice, then for each place 1 to 10 its marker and the
// placeholder entry, 23 lines with CR LF ends appended to the list as it is.
// Before that the list is copied to its backup, list + "_bak", unless a backup
// is there. A list that already has its section (a line containing "//##mod")
// is left alone.
// On failure (the list is missing or unreadable, the backup cannot be made,
// the list cannot be replaced) the list is left as it was.
Status PrepareCollectionList(Platform& platform, const std::string& gameFolder);

// Puts an entry into place `characterNumber` (1 to 10): the place's marker
// line and everything after it up to the next line containing "//##" become
// the marker and the entry. The entry is the placeholder entry when
// `placeholder` is set; else, when `useFile` is set, the bytes of `entryFile`
// up to its first NUL byte (its own line ends kept); else, or when that file
// is missing or holds no entry, DefaultCollectionEntry(dataName). Every line
// is written back with a CR LF line end.
// On failure (no such place, the list has no marker for it, the list or an
// existing entry file cannot be read, the list cannot be replaced) the list is
// left as it was.
Status WriteCollectionEntry(Platform& platform, const std::string& gameFolder, int characterNumber,
                            bool placeholder, bool useFile, const std::string& entryFile,
                            const std::string& dataName);

}  // namespace korva
