// The four kinds of slot in the game's character project files: C (character),
// A (animation), F (face) and M (misc). As a number: 0, 1, 2, 3.
#pragma once

namespace korva {

enum class SlotKind { C = 0, A = 1, F = 2, M = 3 };

constexpr SlotKind kAllSlotKinds[] = {SlotKind::C, SlotKind::A, SlotKind::F, SlotKind::M};

}  // namespace korva
