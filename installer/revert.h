// Putting the game back as it was before the program first changed it: the
// list of game files, in the order a revert handles them, and what it does
// with each.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace korva {

enum class RevertAction {
  kRestore,     // its backup (path + "_bak") replaces it, when there is one
  kRenameBack,  // it was moved to its backup name; the backup gets its name back
  kDelete,      // the program added it; it goes
};

struct RevertStep {
  const char* path;  // below the game folder
  RevertAction action;
};

// Every game file the program backs up or adds, in revert order.
const std::vector<RevertStep>& RevertSteps();

// Does one step. A missing backup or an already missing added file leaves
// nothing to do. On failure the game file and its backup are as they were.
Status RevertGameFile(Platform& platform, const std::string& gameFolder, const RevertStep& step);

}  // namespace korva
