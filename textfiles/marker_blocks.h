// Marker blocks: a character's lines in five of the game's text files. Each
// block is a marker line "//##" + block name followed by the lines of one of
// the package's data files; blocks are appended at the end of their file and
// the files themselves are the only record of them. Every change lands
// through an atomic replace of the whole file, so a failed or interrupted
// change leaves the file as it was.
#pragma once

#include <string>

#include "platform/platform.h"

namespace korva {

// One file that carries marker blocks, and the package data file that fills it.
struct MarkerBlockTarget {
  const char* file;         // below the game folder, "/stuff/bolttypes.txt"
  const char* dataFile;     // in the package folder, "boltdata.ini"
  const char* packageFlag;  // modfile.ini key that asks for the block; nullptr: always
  bool binary;              // written byte for byte; otherwise every LF is stored as CR LF
};

// The five targets, in the order installation appends to them.
constexpr MarkerBlockTarget kMarkerBlockTargets[] = {
    {"/levels/builder/builderdefault/playeritemtypes.txt", "itemdata.ini", "has_items", false},
    {"/stuff/text/text.csv", "textdata.ini", "has_text", true},
    {"/stuff/bolttypes.txt", "boltdata.ini", "has_bolts", false},
    {"/audio/samples_nxg.cfg", "sounddata.ini", nullptr, false},
    {"/chars/abilities/mod_abilities.txt", "abilitiesdata.ini", "has_abilities", false},
};

// Appends to gameFolder + target.file the block "//##" + blockName, the bytes
// of `dataFile` and, for a text target, one more line end; a text target
// stores every LF written (those of the data too) as CR LF, the binary target
// writes the marker with a bare LF and the data unchanged. The file is created
// when it is missing. A missing data file gives an empty block.
// On failure (the data file exists but cannot be read, or the game file cannot
// be read or replaced) the game file is left as it was.
Status AppendMarkerBlock(Platform& platform, const std::string& gameFolder,
                         const MarkerBlockTarget& target, const std::string& dataFile,
                         const std::string& blockName);

// Removes from gameFolder + file the first block whose marker line is exactly
// "//##" + blockName, or begins with it when blockName has the 14 bytes that
// a character record keeps of a longer data name. The block runs up to the
// next line that contains "//##", or to the end of the file. Every line that
// stays is written back with a CR LF line end, also when no block was found.
// A missing file stays missing and is no failure.
// On failure (the file cannot be read or replaced) it is left as it was.
Status RemoveMarkerBlock(Platform& platform, const std::string& gameFolder, const std::string& file,
                         const std::string& blockName);

// True when `line` is the marker line of `blockName` by the rule above.
bool IsMarkerOf(const std::string& line, const std::string& blockName);

}  // namespace korva
