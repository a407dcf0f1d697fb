// The installed character store: a package's `files` tree copied into the
// game folder, and for each place a store list file ("/chars/mod_char_" +
// index) that records what the copy added, moved aside and found, so that
// removing the character undoes exactly that.
//
// Store list file (CR LF lines): four sections, each a count line and that
// many full game paths: the tree's files, the tree's folders (walk order,
// breadth-first, names sorted), the game files moved aside to path + "_bak",
// and the tree's folders that existed before.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace korva {

// What a store or removal did besides its plain work.
struct StoreReport {
  // Package files not copied, with the reason, such as a game path that
  // already has a "_bak" file beside it: the game file and that "_bak" file
  // are left as they are and nothing is recorded for them.
  std::vector<std::string> skipped;
  // Steps that failed, as "path: reason".
  std::vector<std::string> failures;
  // Backups put back by a removal ("<game path>_bak", in order).
  std::vector<std::string> restored;
};

// "/chars/mod_char_" + index below the game folder.
std::string StoreListPath(const std::string& gameFolder, int index);

// The files of packageFolder + "/files", as paths relative to it ("/a/b.txt"),
// in the order a store copies them. Links are not followed; each one found
// is named in `*links`.
std::vector<std::string> ListPackageFiles(Platform& platform, const std::string& packageFolder,
                                          std::vector<std::string>* links);

// Copies packageFolder + "/files" into the game folder at the same relative
// paths, moving each game file it replaces to its name + "_bak", and writes
// the store list file of place `index` (also when there is no tree: four
// counts of 0). Links in the package are not followed.
StoreReport StoreModFiles(Platform& platform, const std::string& gameFolder,
                          const std::string& packageFolder, int index);

// Undoes place `index`'s store list: deletes the list, deletes the files it
// added, removes the folders it created once empty, and renames the moved-
// aside game files back. Nothing to do when there is no store list. Before
// anything is changed every listed path is checked: one that is not inside
// the game folder, or leads outside it through a link, is a failure and
// nothing is touched.
StoreReport RemoveStoredFiles(Platform& platform, const std::string& gameFolder, int index);

}  // namespace korva
