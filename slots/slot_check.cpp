#include "slots/slot_check.h"

#include <algorithm>

#include "slots/slot_write.h"

namespace korva {

bool SlotCheck::ok() const {
  return misfits.empty() && std::none_of(shortOf.begin(), shortOf.end(), [](bool s) { return s; });
}

void CheckSlotRoom(SlotKind kind, const SlotTable& table, const std::vector<SlotRequest>& requests,
                   SlotCheck* check) {
  check->shortOf[static_cast<size_t>(kind)] = requests.size() > table.freeList.size();
  size_t placed = std::min(requests.size(), table.freeList.size());
  for (size_t j = 0; j < placed; ++j) {
    int index = table.freeList[j];
    const SlotEntry& entry = table.entries[static_cast<size_t>(index)];
    for (const std::string& problem :
         {SlotTextProblem(kind, index, "path", requests[j].path, entry.pathLength),
          SlotTextProblem(kind, index, "name", requests[j].name, entry.nameLength)}) {
      if (!problem.empty()) check->misfits.push_back(problem);
    }
  }
}

}  // namespace korva
