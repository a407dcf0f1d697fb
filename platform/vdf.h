// Valve's KeyValues text format, the ".vdf" files in which Steam keeps its
// settings (steamapps/libraryfolders.vdf among them). Each entry is a key
// followed by a text value or by a section of entries in braces. Keys and
// values are quoted ("..." with the escapes \\ \" \n \t) or bare words, and
// "//" starts a comment that runs to the line's end. Pure code: nothing here
// touches a file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace korva {

struct VdfEntry {
  std::string key;
  std::string value;              // a text entry's value
  bool section = false;           // true for a section in braces
  std::vector<VdfEntry> entries;  // a section's entries, in the file's order
};

// Reads `text`, the contents of the file `name`, into its top-level entries.
// Fails, naming the file and the line, when the text is cut off, its braces
// do not pair up, a key has no value, or sections are nested deeper than 64.
Status ParseVdf(const std::string& name, std::string_view text, std::vector<VdfEntry>* entries);

// The library folders that Steam's libraryfolders.vdf `text` lists, in its
// order, as written there. Both of Steam's layouts are read:
//   "libraryfolders" { "0" { "path" "C:\\Steam" ... } "1" { ... } }
//   "LibraryFolders" { "TimeNextStatsReport" "..." "1" "D:\\SteamLibrary" }
// Fails when the text is not VDF or has no "libraryfolders" section.
Status SteamLibraryFolders(const std::string& name, std::string_view text,
                           std::vector<std::string>* folders);

}  // namespace korva
