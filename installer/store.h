// The installed character store: a package's `files` tree copied into the
// game folder, and for each place a store list file ("/chars/mod_char_" +
// index) that records what the copy added, moved aside and found, so that
// removing the character undoes exactly that.
//
// Several places may bring the same path. Each such path has a stack of
// layers: at the bottom the game's own file, if the game had one (moved to
// path + "_bak", or kept under "/chars/mod_layers/game" when the game ships a
// file of that "_bak" name itself), then each place that brought the path,
// in the order the places were filled. The game folder holds the top layer's
// bytes. A covered place's bytes are kept under "/chars/mod_layers/<index>"
// at the same relative path; a covered place without a kept copy has the
// same bytes as the layer right above it (equal files are shared, never
// copied twice). Removing a place takes only its own layers out: where it was
// on top the layer below comes back, where it was covered its kept copy goes.
//
// Store list file (CR LF lines): six sections, each a count line and that
// many lines: the tree's files (full game paths), the tree's folders (walk
// order, breadth-first, names sorted), the game files under its layers whose
// own bytes are under path + "_bak", the tree's folders the game had, the
// game files under its layers kept under "/chars/mod_layers/game", and the
// place's facts as key=value lines ("order=N": when it was filled;
// "package=NAME": the package's folder name under mods; "fingerprint=HEX":
// the package's PackageFingerprint when it was stored; "game=FOLDER": the
// game folder it was written under). A list of four sections, written
// before layers existed, is one layer that came before every other.
//
// The game folder may move (another library, another drive letter): a list
// written under another game folder is read as the same paths below the
// current one, that folder taken from its "game=" line or, in a list
// without one, found as the folder above its paths below which they are
// found again in the game.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/progress.h"

namespace korva {

// Paths that another place brought and an install covered, or that a
// removal gave back to another place.
struct PlaceFiles {
  int place = 0;                    // the place's index, 0 to 9
  std::vector<std::string> paths;   // below the game folder, "/a/b.txt"
};

// What a store or removal did besides its plain work.
struct StoreReport {
  // Package files not copied, with the reason, such as a file where the
  // game folder has a folder: nothing is recorded for them.
  std::vector<std::string> skipped;
  // Steps that failed, as "path: reason".
  std::vector<std::string> failures;
  // Backups put back by a removal ("<game path>_bak", in order).
  std::vector<std::string> restored;
  // An install: the other places' files it covered (equal bytes are not
  // counted). A removal: the other places' files that are on top again.
  std::vector<PlaceFiles> covered;
  std::vector<PlaceFiles> uncovered;
};

// "/chars/mod_char_" + index below the game folder.
std::string StoreListPath(const std::string& gameFolder, int index);
// Where the covered layers of place `index` are kept ("/chars/mod_layers/"
// + index), and the game's own files whose "_bak" name was taken
// ("/chars/mod_layers/game").
std::string KeptLayersPath(const std::string& gameFolder, int index);
std::string KeptGameFilesPath(const std::string& gameFolder);

// What the store list of place `index` says about the package it holds.
// An older list may know no package or no fingerprint (""); a place without
// a list is not `listed`. Fails when the list cannot be read.
struct PlaceRecord {
  bool listed = false;
  std::string package;      // the package's folder name under mods
  std::string fingerprint;  // its PackageFingerprint when it was stored
};
Status ReadPlaceRecord(Platform& platform, const std::string& gameFolder, int index,
                       PlaceRecord* record);

// The files of packageFolder + "/files", as paths relative to it ("/a/b.txt"),
// in the order a store copies them. Links are not followed; each one found
// is named in `*links`.
std::vector<std::string> ListPackageFiles(Platform& platform, const std::string& packageFolder,
                                          std::vector<std::string>* links);

// What installing the package now would put over: the game's own files it
// would move aside, and the files of places it would cover (by their
// current layers; equal bytes are not counted). `except` is a place to leave
// out (the place being filled, which is emptied first), or -1.
struct CoverPreview {
  std::vector<std::string> game_files;  // below the game folder
  std::vector<PlaceFiles> places;
};
CoverPreview PreviewCovers(Platform& platform, const std::string& gameFolder,
                           const std::string& packageFolder, int except);

// Which of place `index`'s files later places cover now, grouped by the
// place whose layer is on top (the bytes the game sees). A file whose bytes
// equal the top layer's is not counted. Empty when none are covered or
// the store lists cannot be read.
std::vector<PlaceFiles> CoveredByLaterPlaces(Platform& platform, const std::string& gameFolder,
                                             int index);

// Copies packageFolder + "/files" into the game folder at the same relative
// paths as the new top layer of each path, and writes the store list file of
// place `index`, which must be empty (also when there is no tree: the counts
// are 0). A game file it replaces is moved aside; another place's file is
// covered. Links in the package are not followed; a file where the game
// folder has a folder, and files below a folder where it has a file, are
// skipped and named.
// `progress` (may be null) hears how many bytes are copied, and cancels.
StoreReport StoreModFiles(Platform& platform, const std::string& gameFolder,
                          const std::string& packageFolder, int index,
                          Progress* progress = nullptr);

// Rewrites, in the format they are kept in, the store lists written under
// another game folder for the current one: done by the first operation
// after the game folder moved.
Status RewriteMovedStoreLists(Platform& platform, const std::string& gameFolder);

// Takes place `index`'s layers out as its store list says: deletes the list,
// gives each path it was on top of the layer below (another place's copy,
// the game's own file, or nothing), drops its covered copies, and removes
// the folders it created once empty and brought by no other place. Nothing
// to do when there is no store list. Before anything is changed every
// listed path is checked: one that is not inside the game folder, or leads
// outside it through a link, is a failure and nothing is touched.
StoreReport RemoveStoredFiles(Platform& platform, const std::string& gameFolder, int index,
                              Progress* progress = nullptr);

}  // namespace korva
