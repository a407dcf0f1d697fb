// The mod database: the packages the user can install, one per folder under
// the mods folder (ProgramFolders::mods) that holds a readable modfile.ini,
// listed under the text of the second piece of their modfile.ini's first
// line; and the name and description texts shown for the selected package.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace korva {

// The packages in folder listing order. Entry i of `folders` (the package
// folder's full path) belongs to entry i of `names` (its list text).
struct ModList {
  std::vector<std::string> folders;
  std::vector<std::string> names;
  // modfile.ini files that exist but could not be read; their packages are
  // not listed.
  std::vector<std::string> unreadable;
};

// The list text of one package: the second piece of the first line of
// `modfilePath`, whatever its key; empty when that line has fewer than two
// pieces. On failure (the file cannot be read) `*name` is empty.
Status ReadModListName(Platform& platform, const std::string& modfilePath, std::string* name);

// Lists the packages under userFolder + "/mods". Plain files and folders
// without a modfile.ini are left out. A missing mods folder gives an empty
// list and success. On failure (the mods folder exists but cannot be listed)
// the list is empty and the status says why.
Status FillModList(Platform& platform, const std::string& userFolder, ModList* list);

// What a start that finds no mods folder `mods` says: makes it, and the
// message says where it is and how packages get in; or, when it cannot be
// made, why.
std::string MakeModsFolder(Platform& platform, const std::string& mods);

// The texts shown for a selected package.
struct ModInfoTexts {
  std::string name;         // "Mod Name: " + the value of the last "name" line
  std::string description;  // "Mod Description: \n" + one line per "description" line
};

// Reads packageFolder + "/modfile.ini" into the texts shown on selection.
// Keys are matched case-sensitively; pieces after the second are not shown.
// On failure (the file cannot be read) the texts are the bare headings
// "Mod Name: " and "Mod Description: \n" and the status says why.
Status ReadModInfo(Platform& platform, const std::string& packageFolder, ModInfoTexts* texts);

}  // namespace korva
