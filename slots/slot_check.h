// The check that installation makes before it changes anything: whether
// the free slot entries of each kind can take a package's paths and names.
// Claims of one kind take the free entries in table order, so the j-th
// pair of a kind goes into the j-th free entry of the last scan.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "slots/slot_table.h"

namespace korva {

struct SlotCheck {
  // By SlotKind: the package lists more pairs of the kind than it has free.
  std::array<bool, 4> shortOf{};
  // One sentence per text that cannot be written into the free entry it
  // would go to, naming the text and the field size.
  std::vector<std::string> misfits;

  bool ok() const;
};

// Adds to `*check` whether `table` (the last scan of `kind`) can take
// `requests`, the package's slots of that kind. Reads no file. Called once
// per kind.
void CheckSlotRoom(SlotKind kind, const SlotTable& table, const std::vector<SlotRequest>& requests,
                   SlotCheck* check);

// The tables as they would be after a release or a claim, worked out in
// memory for a check of several places at once: SimulateRelease gives the
// first entry holding exactly `slot`'s texts the kind's placeholder
// prefixes (as ReleaseSlot writes them), SimulateClaim writes `slot` into
// the first free entry (as ClaimFreeSlot does); either keeps the free list
// up to date and does nothing when no entry matches or none is free.
void SimulateRelease(SlotKind kind, const SlotRequest& slot, SlotTable* table);
void SimulateClaim(SlotKind kind, const SlotRequest& slot, SlotTable* table);

}  // namespace korva
