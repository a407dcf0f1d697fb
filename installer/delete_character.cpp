// Taking a character out of its place: "<-- Delete", and the first step of
// every installation.
#include "installer/mod_manager.h"
#include "installer/store.h"
#include "slots/slot_write.h"
#include "textfiles/collection_list.h"
#include "textfiles/marker_blocks.h"

namespace korva {
namespace {

// The order in which a deletion removes the character's blocks: abilities
// first, then the other targets in the order installation appends them.
constexpr int kBlockRemovalOrder[] = {4, 0, 1, 2, 3};

}  // namespace

bool ModManager::DeleteCharacter(int characterNumber, bool userRequest) {
  if (characterNumber < 1 || characterNumber > kPlaceCount) {
    view_.ShowMessage("No slot has been selected.");
    return false;
  }
  std::vector<std::string> failures = EmptyPlace(characterNumber, userRequest);
  if (!userRequest) return failures.empty();
  if (failures.empty()) {
    view_.ShowMessage("Char deleted.");
    return true;
  }
  ReportIncomplete("The character in place " + std::to_string(characterNumber) +
                       " could not be deleted completely.",
                   failures);
  return false;
}

std::vector<std::string> ModManager::EmptyPlace(int n, bool releaseSlots) {
  std::vector<std::string> failures;
  auto note = [&failures](const Status& status) {
    if (!status.ok()) failures.push_back(status.message());
  };
  // The blocks carry the name the place shows: its "Game Chars" row without
  // the backslash that ends the record's first name field.
  std::string row = static_cast<size_t>(n - 1) < game_char_rows_.size() ? game_char_rows_[n - 1] : "";
  const std::string blockName = row.empty() ? row : row.substr(0, row.size() - 1);

  note(WritePlaceholderRecord(platform_, game_folder_, n));
  note(WriteCollectionEntry(platform_, game_folder_, n, true, false, "", ""));
  for (int target : kBlockRemovalOrder) {
    note(RemoveMarkerBlock(platform_, game_folder_, kMarkerBlockTargets[target].file, blockName));
  }

  note(ReleaseCharacterIcons(platform_, game_folder_, program_folder_, &icon_map_, n));
  note(WriteIconMap(platform_, game_folder_, icon_map_));
  note(korva::ReadIconMap(platform_, game_folder_, program_folder_, &icon_map_));

  StoreReport store = RemoveStoredFiles(platform_, game_folder_, n - 1);
  for (const std::string& backup : store.restored) view_.SetModDescription(backup);
  failures.insert(failures.end(), store.failures.begin(), store.failures.end());
  failures.insert(failures.end(), store.skipped.begin(), store.skipped.end());

  if (releaseSlots) {
    note(ReleaseCharacterSlots(n - 1));
    for (SlotKind kind : {SlotKind::C, SlotKind::A, SlotKind::M, SlotKind::F}) note(ScanSlots(kind));
  }
  note(FillGameCharsList());
  return failures;
}

}  // namespace korva
