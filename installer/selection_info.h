// What the main window shows beside a selected package or place: the
// package's name, its icons as an installation places them, and one line on
// what its files cover (with every path for a closer look).
#pragma once

#include <string>
#include <vector>

namespace korva {

// An icon file of a package. `problem` says why it is not read at all (an
// add_icon value that leads out of its package); empty when it may be read.
struct IconFile {
  std::string path;
  std::string problem;
};

struct SelectionInfo {
  // A package: its name. A place: "Place 3: Sister Imra", "Place 3: empty",
  // or what is known of a character whose package is not known or gone.
  std::string title;
  // Main icon first, then the extra icons in modfile.ini's order.
  std::vector<IconFile> icons;
  // A package: "Covers 3 files of Beta (place 6) and 1 game file" if
  // installed now. A place: which of its files later places cover ("Imra
  // (place 2): 1 of its files is covered by Copycat (place 6)").
  std::string covers;
  // The same with the paths, one sentence a line.
  std::string cover_details;
};

}  // namespace korva
