// "Add -->": putting a package's character into a place. Everything that
// could make the package unfit is checked before anything is changed, so a
// refused package leaves the place as it was.
#include "installer/mod_manager.h"
#include "installer/mod_package.h"
#include "installer/store.h"
#include "slots/slot_check.h"
#include "slots/slot_usage.h"
#include "textfiles/collection_list.h"
#include "textfiles/marker_blocks.h"

namespace korva {
namespace {

constexpr const char* kCannotInstall = "Character cannot install.";

bool FlagOf(const ModPackageInfo& info, const char* key) {
  if (key == nullptr) return true;
  const std::string flag = key;
  if (flag == "has_items") return info.hasItems;
  if (flag == "has_text") return info.hasText;
  if (flag == "has_bolts") return info.hasBolts;
  if (flag == "has_abilities") return info.hasAbilities;
  return false;
}

// "Delete several chars to free 1 C Slots, 1 M Slots.": the kinds that are
// short, in the order C, A, F, M; the number is always 1.
std::string ShortageText(const SlotCheck& check) {
  std::string text = "Delete several chars to free ";
  bool first = true;
  for (SlotKind kind : kAllSlotKinds) {
    if (!check.shortOf[static_cast<size_t>(kind)]) continue;
    if (!first) text += ", ";
    text += std::string("1 ") + KindInfo(kind).label[0] + " Slots";
    first = false;
  }
  return text + ".";
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "\n" + line;
  return text;
}

}  // namespace

bool ModManager::InstallCharacter(int modRow, int placeRow) {
  bool modChosen = modRow >= 0 && modRow < mod_count_;
  bool placeChosen = placeRow >= 0 && placeRow < kPlaceCount;
  if (!modChosen || !placeChosen) {
    view_.ShowMessage(!modChosen && !placeChosen ? "Please select mod and char slot."
                      : !modChosen              ? "No mod has been selected."
                                                : "No slot has been selected.");
    return false;
  }
  const int i = placeRow;
  const int n = i + 1;
  const std::string& package = mod_folder_list_[modRow];

  // Read and check the package before the place is touched.
  ModPackageInfo info;
  Status read = ReadModPackage(platform_, package, &info);
  if (!read.ok()) {
    view_.ShowMessage(std::string(kCannotInstall) + " The mod package \"" + package +
                      "\" cannot be read (" + read.message() + ").");
    return false;
  }
  std::vector<std::string> problems = CheckModPackage(package, info);
  if (!problems.empty()) {
    view_.ShowMessage(kCannotInstall + Lines(problems));
    return false;
  }
  SlotCheck slots;
  for (SlotKind kind : kAllSlotKinds) {
    CheckSlotRoom(kind, slot_tables_[static_cast<size_t>(kind)], SlotsOfKind(info, kind), &slots);
  }
  bool short_ = false;
  for (bool shortOf : slots.shortOf) short_ = short_ || shortOf;
  if (short_) {
    view_.ShowMessage(std::string(kCannotInstall) + " Not enough additional slots.\n" +
                      ShortageText(slots));
    return false;
  }
  if (!slots.misfits.empty()) {
    view_.ShowMessage(std::string(kCannotInstall) + " The mod package \"" + package +
                      "\" has slot texts that do not fit the game's slot fields:" +
                      Lines(slots.misfits));
    return false;
  }

  std::vector<std::string> failures = EmptyPlace(n, false);
  auto note = [&failures](const Status& status) {
    if (!status.ok()) failures.push_back(status.message());
  };
  note(WriteCollectionEntry(platform_, game_folder_, n, false, info.hasColldef,
                            package + "/colldef.ini", info.dataName));
  for (const MarkerBlockTarget& target : kMarkerBlockTargets) {
    if (!FlagOf(info, target.packageFlag)) continue;
    note(AppendMarkerBlock(platform_, game_folder_, target, package + "/" + target.dataFile,
                           info.dataName));
  }
  for (SlotKind kind : kAllSlotKinds) {
    for (const SlotRequest& slot : SlotsOfKind(info, kind)) {
      Status claimed = ClaimFreeSlot(kind, slot.path, slot.name);
      note(claimed);
      if (claimed.ok()) note(RecordSlotUse(platform_, game_folder_, i, slot.path, slot.name, kind));
    }
  }
  note(WriteCharacterRecord(n, info.dataName));

  StoreReport store = StoreModFiles(platform_, game_folder_, package, i);
  failures.insert(failures.end(), store.failures.begin(), store.failures.end());

  const std::string icon =
      info.hasIcon ? package + "/charicon.tga" : program_folder_ + "/data/charicon.tga";
  Status placed = PlaceIcon(platform_, game_folder_, program_folder_, &icon_map_, icon, i, n);
  note(placed);
  for (size_t k = 0; placed.ok() && k < info.extraIcons.size(); ++k) {
    note(PlaceIcon(platform_, game_folder_, program_folder_, &icon_map_,
                   package + "/" + info.extraIcons[k], n + static_cast<int>(k), n));
  }

  if (!failures.empty()) {
    failures.insert(failures.end(), store.skipped.begin(), store.skipped.end());
    ReportIncomplete("The character could not be installed completely into place " +
                         std::to_string(n) + ".",
                     failures);
    return false;
  }
  std::string message = "Char enabled.";
  if (!store.skipped.empty()) {
    message += "\nThese files of the package were skipped:" + Lines(store.skipped);
  }
  view_.ShowMessage(message);
  return true;
}

}  // namespace korva
