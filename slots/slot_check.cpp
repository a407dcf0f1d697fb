#include "slots/slot_check.h"

#include <algorithm>

#include "slots/slot_write.h"

namespace korva {

bool SlotCheck::ok() const {
  return misfits.empty() && std::none_of(shortOf.begin(), shortOf.end(), [](bool s) { return s; });
}

SlotCheck CheckSlotRoom(const SlotTables& tables,
                        const std::array<std::vector<SlotPair>, 4>& needs) {
  SlotCheck check;
  for (SlotKind kind : kAllSlotKinds) {
    size_t k = static_cast<size_t>(kind);
    const SlotTable& table = tables[k];
    check.shortOf[k] = needs[k].size() > static_cast<size_t>(table.freeCount);
    size_t placed = std::min(needs[k].size(), table.freeList.size());
    for (size_t j = 0; j < placed; ++j) {
      int index = table.freeList[j];
      const SlotEntry& entry = table.entries[static_cast<size_t>(index)];
      for (const std::string& problem :
           {SlotTextProblem(kind, index, "path", needs[k][j].first, entry.pathLength),
            SlotTextProblem(kind, index, "name", needs[k][j].second, entry.nameLength)}) {
        if (!problem.empty()) check.misfits.push_back(problem);
      }
    }
  }
  return check;
}

}  // namespace korva
