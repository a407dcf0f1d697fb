// "Add -->": putting a package's character into a place. Everything that
// could make the package unfit is checked before anything is changed, so a
// refused package leaves the place as it was; the changes themselves run as
// one operation, which completes or leaves the game as it was.
#include "icons/icon_page.h"
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

std::vector<std::string> ModManager::CheckPackageFiles(const std::string& packageFolder) {
  std::vector<std::string> problems;
  for (const std::string& relative : ListPackageFiles(platform_, packageFolder, nullptr)) {
    const char* what = IsProgramPath(relative)          ? "a file of this program's own"
                       : IsManagedOrBackupPath(relative) ? "a game file that this program manages"
                                                         : nullptr;
    if (what == nullptr) continue;
    problems.push_back("The mod package \"" + packageFolder + "\" holds the file \"files" +
                       relative + "\", which would replace " + what + " in the game folder (" +
                       game_folder_ + relative + "). A package may not bring that file.");
  }
  return problems;
}

std::string ModManager::CheckInstallable(const std::string& package, const SlotTables& tables,
                                         InstallPlan* plan) {
  plan->package = package;
  ModPackageInfo& info = plan->info;
  Status read = ReadModPackage(platform_, package, &info);
  if (!read.ok()) {
    return std::string(kCannotInstall) + " The mod package \"" + package + "\" cannot be read (" +
           read.message() + ").";
  }
  std::vector<std::string> problems = CheckModPackage(package, info);
  std::vector<std::string> planted = CheckPackageFiles(package);
  problems.insert(problems.end(), planted.begin(), planted.end());
  if (!problems.empty()) return kCannotInstall + Lines(problems);
  const std::vector<std::string> icons = IconPaths(package, info);
  plan->icon = icons.front();
  for (const std::string& path : icons) {
    Status usable = CheckIconImage(platform_, path);
    if (!usable.ok()) problems.push_back(usable.message());
  }
  if (!problems.empty()) {
    return std::string(kCannotInstall) + " The mod package \"" + package +
           "\" has icons that cannot be placed:" + Lines(problems);
  }
  SlotCheck slots;
  for (SlotKind kind : kAllSlotKinds) {
    CheckSlotRoom(kind, tables[static_cast<size_t>(kind)], SlotsOfKind(info, kind), &slots);
  }
  bool short_ = false;
  for (bool shortOf : slots.shortOf) short_ = short_ || shortOf;
  if (short_) {
    return std::string(kCannotInstall) + " Not enough additional slots.\n" + ShortageText(slots);
  }
  if (!slots.misfits.empty()) {
    return std::string(kCannotInstall) + " The mod package \"" + package +
           "\" has slot texts that do not fit the game's slot fields:" + Lines(slots.misfits);
  }
  return "";
}

Status ModManager::WithIconEditsGathered(const std::function<Status()>& steps) {
  std::vector<CellEdit> edits;
  icon_edits_ = &edits;
  Status status = steps();
  icon_edits_ = nullptr;
  if (!status.ok()) return status;
  return EditIconCells(platform_, game_folder_, program_folder_, edits);
}

bool ModManager::IsPackage(const std::string& folder) {
  return platform_.IsFolder(folder) && platform_.CanRead(folder + "/modfile.ini");
}

Status ModManager::InstallSteps(int n, const InstallPlan& plan, StoreReport* store) {
  const int i = n - 1;
  const std::string& package = plan.package;
  const ModPackageInfo& info = plan.info;
  StoreReport emptied;
  Status status = EmptyPlace(n, false, &emptied);
  if (!status.ok()) return status;
  status = WriteCollectionEntry(platform_, game_folder_, n, false, info.hasColldef,
                                package + "/colldef.ini", info.dataName);
  if (!status.ok()) return status;
  for (const MarkerBlockTarget& target : kMarkerBlockTargets) {
    if (!FlagOf(info, target.packageFlag)) continue;
    status = AppendMarkerBlock(platform_, game_folder_, target, package + "/" + target.dataFile,
                               info.dataName);
    if (!status.ok()) return status;
  }
  for (SlotKind kind : kAllSlotKinds) {
    for (const SlotRequest& slot : SlotsOfKind(info, kind)) {
      status = ClaimFreeSlot(kind, slot.path, slot.name);
      if (status.ok()) status = RecordSlotUse(platform_, game_folder_, i, slot.path, slot.name, kind);
      if (!status.ok()) return status;
    }
  }
  status = WriteCharacterRecord(n, info.dataName);
  if (!status.ok()) return status;

  *store = StoreModFiles(platform_, game_folder_, package, i, progress_);
  if (!store->failures.empty()) return Status::Error(store->failures.front());

  status = PlaceIcon(platform_, game_folder_, program_folder_, &icon_map_, plan.icon, i, n,
                     icon_edits_);
  for (size_t k = 0; status.ok() && k < info.extraIcons.size(); ++k) {
    status = PlaceIcon(platform_, game_folder_, program_folder_, &icon_map_,
                       package + "/" + info.extraIcons[k], n + static_cast<int>(k), n, icon_edits_);
  }
  return status;
}

bool ModManager::InstallCharacter(int modRow, int placeRow) {
  bool modChosen = modRow >= 0 && modRow < mod_count_;
  bool placeChosen = placeRow >= 0 && placeRow < kPlaceCount;
  if (!modChosen || !placeChosen) {
    view_.ShowMessage(!modChosen && !placeChosen ? "Please select mod and char slot."
                      : !modChosen              ? "No mod has been selected."
                                                : "No slot has been selected.");
    return false;
  }
  const int n = placeRow + 1;
  GameHold hold(*this);
  if (!hold.held()) return false;

  // Read and check the package before the place is touched.
  InstallPlan plan;
  const std::string refusal = CheckInstallable(mod_folder_list_[modRow], slot_tables_, &plan);
  if (!refusal.empty()) {
    view_.ShowMessage(refusal);
    return false;
  }

  StoreReport store;
  Status installed = RunOperation(
      "installation into place " + std::to_string(n),
      "The character could not be installed into place " + std::to_string(n) + ".",
      [&] { return InstallSteps(n, plan, &store); });
  if (!installed.ok()) {
    view_.ShowMessage(installed.message());
    return false;
  }
  std::string message = "Char enabled." + PlaceFilesText("It covers", store.covered);
  if (!store.skipped.empty()) {
    message += "\nThese files of the package were skipped:" + Lines(store.skipped);
  }
  view_.ShowMessage(message);
  return true;
}

}  // namespace korva
