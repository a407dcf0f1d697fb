// A sample game for demonstrations and tests: a game folder in the game's own
// style (a placeholder KORVAQUORIN.exe and every game file the program reads,
// backs up or edits, text files with CR LF line ends) and a few mod packages
// that together use every feature of the package format.
// Files are built in memory as a map from relative path to bytes, so that
// variants (a packed game, a damaged one) are a matter of editing the map.
#pragma once

#include <map>
#include <string>

namespace korva {

using FileTree = std::map<std::string, std::string>;  // relative path -> bytes

// Every file of a freshly unpacked sample game, paths below the game folder
// ("chars/collection.txt"). The character folder is spelled "chars".
// Computed once per process.
const FileTree& SampleGameFiles();

// Writes a fresh sample game into `folder` (created when missing). Throws
// std::runtime_error naming a path that could not be written.
void MakeSampleGame(const std::string& folder);

// The sample mod packages, paths below the mods folder
// ("brakka_the_mender/modfile.ini").
const FileTree& SampleModFiles();

// Writes the sample mod packages into `modsFolder`, replacing earlier copies
// of their files and leaving other packages alone. Throws as above.
void MakeSampleMods(const std::string& modsFolder);

// The sample packages' folder names, in the order "Mod Database" lists them.
extern const char* const kSampleModFolders[4];

}  // namespace korva
