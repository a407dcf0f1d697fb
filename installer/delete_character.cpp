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
  GameHold hold(*this);
  if (!hold.held()) return false;
  StoreReport store;
  Status deleted = RunOperation(
      "deletion of the character in place " + std::to_string(characterNumber),
      "The character in place " + std::to_string(characterNumber) + " could not be deleted.",
      [&] { return EmptyPlace(characterNumber, userRequest, &store); });
  if (!deleted.ok()) {
    view_.ShowMessage(deleted.message());
    return false;
  }
  if (userRequest) view_.ShowMessage("Char deleted." + PlaceFilesText("It brings back", store.uncovered));
  return true;
}

Status ModManager::EmptyPlace(int n, bool releaseSlots, StoreReport* store) {
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
    status = ReleaseCharacterIcons(platform_, game_folder_, program_folder_, &icon_map_, n,
                                   icon_edits_);
  }
  if (status.ok()) status = WriteIconMap(platform_, game_folder_, icon_map_);
  if (status.ok()) status = korva::ReadIconMap(platform_, game_folder_, program_folder_, &icon_map_);
  if (!status.ok()) return status;

  *store = RemoveStoredFiles(platform_, game_folder_, n - 1, progress_);
  for (const std::string& backup : store->restored) view_.SetModDescription(backup);
  if (!store->failures.empty()) return Status::Error(store->failures.front());

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

namespace korva {
namespace {

// "a, b, c" with at most five of the paths (below the game folder), then
// "and N more".
std::string PathList(const std::vector<std::string>& paths) {
  constexpr size_t kNamed = 5;
  std::string text;
  for (size_t k = 0; k < paths.size() && k < kNamed; ++k) {
    text += (k > 0 ? ", " : "") + paths[k].substr(1);
  }
  if (paths.size() > kNamed) text += " and " + std::to_string(paths.size() - kNamed) + " more";
  return text;
}

std::string Files(size_t count) { return std::to_string(count) + (count == 1 ? " file" : " files"); }

}  // namespace

std::string ModManager::PlaceFilesText(const std::string& verb,
                                       const std::vector<PlaceFiles>& places) const {
  std::string text;
  for (const PlaceFiles& files : places) {
    text += "\n" + (verb.empty() ? "" : verb + " ") + Files(files.paths.size()) + " of " +
            PlaceName(files.place) + ": " + PathList(files.paths) + ".";
  }
  return text;
}

std::string ModManager::PlaceName(int place) const {
  std::string name = static_cast<size_t>(place) < game_char_rows_.size() ? game_char_rows_[place] : "";
  if (!name.empty() && name.back() == '\\') name.pop_back();
  const std::string number = "place " + std::to_string(place + 1);
  return name.empty() ? number : name + " (" + number + ")";
}

std::string ModManager::CoverInfo(int modRow) {
  if (modRow < 0 || modRow >= mod_count_) return "";
  return CoverText(PreviewCovers(platform_, game_folder_, mod_folder_list_[modRow], -1));
}

std::string ModManager::CoverText(const CoverPreview& preview) const {
  if (preview.game_files.empty() && preview.places.empty()) {
    return "Installed now, its files would cover no game file and no other place's file.";
  }
  std::string text = "Installed now, its files would cover:";
  if (!preview.game_files.empty()) {
    text += "\n" + Files(preview.game_files.size()) + " of the game: " +
            PathList(preview.game_files) + ".";
  }
  text += PlaceFilesText("", preview.places);
  return text;
}

}  // namespace korva
