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

// Checks `needs` (by SlotKind: the package's (path, name) pairs) against the
// tables of the last scan. Reads no file.
SlotCheck CheckSlotRoom(const SlotTables& tables,
                        const std::array<std::vector<SlotPair>, 4>& needs);

}  // namespace korva
