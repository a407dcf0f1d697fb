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
  Status deleted = RunOperation(
      "deletion of the character in place " + std::to_string(characterNumber),
      "The character in place " + std::to_string(characterNumber) + " could not be deleted.",
      [&] {
        std::vector<std::string> restored;
        return EmptyPlace(characterNumber, userRequest, &restored);
      });
  if (!deleted.ok()) {
    view_.ShowMessage(deleted.message());
    return false;
  }
  if (userRequest) view_.ShowMessage("Char deleted.");
  return true;
}

Status ModManager::EmptyPlace(int n, bool releaseSlots, std::vector<std::string>* restored) {
  // The blocks carry the name the place shows: its "Game Chars" row without
  // the backslash that ends the record's first name field.
  std::string row = static_cast<size_t>(n - 1) < game_char_rows_.size() ? game_char_rows_[n - 1] : "";
  const std::string blockName = row.empty() ? row : row.substr(0, row.size() - 1);

  Status status = WritePlaceholderRecord(platform_, game_folder_, n);
  if (status.ok()) status = WriteCollectionEntry(platform_, game_folder_, n, true, false, "", "");
  for (int target : kBlockRemovalOrder) {
    if (!status.ok()) break;
    status = RemoveMarkerBlock(platform_, game_folder_, kMarkerBlockTargets[target].file, blockName);
  }
  if (status.ok()) {
    status = ReleaseCharacterIcons(platform_, game_folder_, program_folder_, &icon_map_, n);
  }
  if (status.ok()) status = WriteIconMap(platform_, game_folder_, icon_map_);
  if (status.ok()) status = korva::ReadIconMap(platform_, game_folder_, program_folder_, &icon_map_);
  if (!status.ok()) return status;

  StoreReport store = RemoveStoredFiles(platform_, game_folder_, n - 1);
  for (const std::string& backup : store.restored) {
    view_.SetModDescription(backup);
    restored->push_back(backup);
  }
  if (!store.failures.empty()) return Status::Error(store.failures.front());

  if (releaseSlots) {
    status = ReleaseCharacterSlots(n - 1);
    for (SlotKind kind : {SlotKind::C, SlotKind::A, SlotKind::M, SlotKind::F}) {
      if (status.ok()) status = ScanSlots(kind);
    }
    if (!status.ok()) return status;
  }
  return FillGameCharsList();
}

}  // namespace korva
