// A mod package: one folder under the program's "mods" folder whose
// modfile.ini names the character and lists what installing it needs (data
// name, which data files to insert, slots to claim, extra icons). This is the
// reader of modfile.ini's install keys and the safety check of a package's
// contents that installation runs before it changes anything.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "slots/slot_table.h"

namespace korva {

// What modfile.ini asks of an installation. Texts are bytes as in the file.
struct ModPackageInfo {
  std::string dataName;  // the last "dataname" value; empty if none
  bool hasColldef = false;
  bool hasItems = false;
  bool hasText = false;
  bool hasBolts = false;
  bool hasAbilities = false;
  bool hasIcon = false;
  // One entry per add_charslot / add_animslot / add_faceslot / add_miscslot
  // line, in file order.
  std::vector<SlotRequest> charSlots;
  std::vector<SlotRequest> animSlots;
  std::vector<SlotRequest> faceSlots;
  std::vector<SlotRequest> miscSlots;
  // One file name (relative to the package folder) per add_icon line.
  std::vector<std::string> extraIcons;
};

// The slot list of one kind: charSlots for C, animSlots for A, and so on.
const std::vector<SlotRequest>& SlotsOfKind(const ModPackageInfo& info, SlotKind kind);

// Reads packageFolder + "/modfile.ini" into `*info`. A flag is set by its key
// with any value; a slot line needs both a path and a name; lines with an
// unknown key (keys are case-sensitive) or without a value are ignored.
// On failure (the file cannot be read) `*info` is the empty record and the
// status says why.
Status ReadModPackage(Platform& platform, const std::string& packageFolder, ModPackageInfo* info);

// What in the package would make installing it unsafe: every add_icon value
// that is an absolute path (a leading "/" or "\", a drive letter such as
// "C:") or that climbs out of the package folder through "..". Each problem is
// one sentence naming the package folder and the value; empty when the
// package is fine. Touches no file.
std::vector<std::string> CheckModPackage(const std::string& packageFolder,
                                         const ModPackageInfo& info);

}  // namespace korva
