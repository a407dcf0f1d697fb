#include "slots/slot_table.h"

namespace korva {

const SlotKindInfo& KindInfo(SlotKind kind) {
  static const SlotKindInfo kKinds[] = {
      {SlotKind::C, "add_charslot", "/chars/quorin_pawnik.cpj", 75545, 0, "Pawniks\\CSlt", "CSlt", "C: "},
      {SlotKind::A, "add_animslot", "/chars/mods_pawnik.cpj", 2879, 9, "Pawniks\\ASlt", "ASlt", "A: "},
      {SlotKind::F, "add_faceslot", "/chars/mods_faces.cpj", 1854, 0, "Pawniks\\FSlt", "FSlt", "F: "},
      {SlotKind::M, "add_miscslot", "/chars/mods_misc.cpj", 1831, 9, "Pawniks\\MSlt", "MSlt", "M: "},
  };
  return kKinds[static_cast<int>(kind)];
}

std::string SlotLabel(SlotKind kind, const SlotTable& table) {
  return KindInfo(kind).label + std::to_string(table.freeCount);
}

std::string PlaceholderCharacterName(int characterNumber) {
  return characterNumber == 10 ? "Mod_Char_10" : "Mod_Char_0" + std::to_string(characterNumber);
}

}  // namespace korva
