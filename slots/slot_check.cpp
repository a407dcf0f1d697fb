#include "slots/slot_check.h"

#include <algorithm>

#include "slots/slot_scan.h"
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

namespace {

void UpdateFreeList(SlotKind kind, SlotTable* table) {
  table->freeList.clear();
  for (size_t i = 0; i < table->entries.size(); ++i) {
    if (IsFreeSlot(kind, table->entries[i])) table->freeList.push_back(static_cast<int32_t>(i));
  }
  table->freeCount = static_cast<int32_t>(table->freeList.size());
}

// `text` with its first bytes replaced by `prefix`, as a field keeps what
// followed the bytes written over it.
std::string Overwritten(const std::string& text, const std::string& prefix) {
  return prefix + (text.size() > prefix.size() ? text.substr(prefix.size()) : "");
}

}  // namespace

void SimulateRelease(SlotKind kind, const SlotRequest& slot, SlotTable* table) {
  const SlotKindInfo& info = KindInfo(kind);
  for (SlotEntry& entry : table->entries) {
    if (entry.path != slot.path || entry.name != slot.name) continue;
    entry.path = Overwritten(entry.path, info.pathPrefix);
    entry.name = Overwritten(entry.name, info.namePrefix);
    break;
  }
  UpdateFreeList(kind, table);
}

void SimulateClaim(SlotKind kind, const SlotRequest& slot, SlotTable* table) {
  if (table->freeList.empty()) return;
  SlotEntry& entry = table->entries[static_cast<size_t>(table->freeList.front())];
  entry.path = slot.path;
  entry.name = slot.name;
  UpdateFreeList(kind, table);
}

}  // namespace korva
