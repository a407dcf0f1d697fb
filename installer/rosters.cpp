// Rosters and reinstalling: the ten places saved under a name, a roster
// applied as one operation, a roster shared as one zip, and a package installed afresh where it is
// installed once it has changed (a new version imported over it, its
// folder edited by hand). Changing several places empties every place that
// changes, then fills them, in place order, exactly as "<-- Delete" and
// "Add -->" one after another would; the icon page is changed once.
#include <algorithm>

#include "installer/mod_database.h"
#include "installer/mod_manager.h"
#include "installer/package_fingerprint.h"
#include "installer/roster_file.h"
#include "installer/roster_share.h"
#include "platform/file_names.h"
#include "platform/read_limits.h"
#include "platform/text_file.h"
#include "slots/slot_check.h"
#include "slots/slot_usage.h"

namespace korva {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// "place 3", "place 3 and 7", "place 3, 5 and 7".
std::string PlacesText(const std::vector<int>& numbers) {
  std::string text = "place";
  for (size_t k = 0; k < numbers.size(); ++k) {
    text += (k == 0 ? " " : k + 1 == numbers.size() ? " and " : ", ") + std::to_string(numbers[k]);
  }
  return text;
}

std::string Capitalized(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string UnknownPlacesText(const std::vector<int>& unknown) {
  return "the program does not know which mod package is in " + PlacesText(unknown) +
         " (installed by an older version of the program, or by hand)";
}

}  // namespace

std::vector<std::string> ModManager::RosterNames() {
  return ListRosterNames(platform_, folders_.user_files);
}

std::array<ModManager::PlaceHolding, kPlaceCount> ModManager::PlaceHoldings() {
  std::array<PlaceHolding, kPlaceCount> holdings;
  for (int i = 0; i < kPlaceCount; ++i) {
    PlaceRecord record;
    Status read = ReadPlaceRecord(platform_, game_folder_, i, &record);
    if (read.ok() && record.listed) {
      holdings[i].package = record.package;
      holdings[i].unknown = record.package.empty();
    } else {
      // No list: empty, unless the place shows a character all the same.
      const std::string row = static_cast<size_t>(i) < game_char_rows_.size() ? game_char_rows_[i] : "";
      holdings[i].unknown = !read.ok() || row != PlaceholderCharacterName(i + 1) + "\\";
    }
  }
  return holdings;
}

bool ModManager::SaveRoster(const std::string& name, bool skipUnknown) {
  const std::string why = WhyNotRosterName(name);
  if (!why.empty()) {
    view_.ShowMessage("The roster was not saved: the name " + Quoted(name) + " " + why + ".");
    return false;
  }
  GameHold hold(*this);
  if (!hold.held()) return false;
  Roster roster;
  std::vector<int> unknown;
  const auto holdings = PlaceHoldings();
  for (int i = 0; i < kPlaceCount; ++i) {
    if (holdings[i].unknown) unknown.push_back(i + 1);
    roster.packages[i] = holdings[i].unknown ? "" : holdings[i].package;
  }
  if (!unknown.empty() && !skipUnknown) {
    view_.ShowMessage("The roster " + Quoted(name) + " was not saved: " + UnknownPlacesText(unknown) +
                      ". Install " + (unknown.size() == 1 ? "that character" : "those characters") +
                      " again with \"Add -->\", or save the roster with " +
                      (unknown.size() == 1 ? "that place" : "those places") +
                      " empty (on the command line: --skip-unknown).");
    return false;
  }
  const std::string path = RosterPath(folders_.user_files, name);
  const bool replaced = platform_.Exists(path);
  Status saved;
  if (!platform_.IsFolder(folders_.rosters())) {
    saved = MakeFolders(platform_, folders_.rosters());
  }
  if (saved.ok()) saved = ReplaceText(platform_, path, RosterText(name, roster));
  if (!saved.ok()) {
    view_.ShowMessage("The roster " + Quoted(name) + " could not be saved (" + saved.message() + ").");
    return false;
  }
  std::string text = "The roster " + Quoted(name) + " was saved in " + path +
                     (replaced ? ", in place of the roster of that name." : ".");
  if (!unknown.empty()) {
    text += "\n" + Capitalized(PlacesText(unknown)) + (unknown.size() == 1 ? " was" : " were") +
            " saved as empty, since " + UnknownPlacesText(unknown) + ".";
  }
  view_.ShowMessage(text);
  return true;
}

bool ModManager::DeleteRoster(const std::string& name) {
  const std::string why = WhyNotRosterName(name);
  const std::string path = RosterPath(folders_.user_files, name);
  if (!why.empty() || !platform_.Exists(path)) {
    view_.ShowMessage("There is no roster " + Quoted(name) + " (no file " + path + ").");
    return false;
  }
  Status removed = platform_.Remove(path);
  if (!removed.ok()) {
    view_.ShowMessage("The roster " + Quoted(name) + " could not be deleted (" + removed.message() + ").");
    return false;
  }
  view_.ShowMessage("The roster " + Quoted(name) + " was deleted.");
  return true;
}

bool ModManager::ApplyRoster(const std::string& name) {
  const std::string why = WhyNotRosterName(name);
  const std::string path = RosterPath(folders_.user_files, name);
  if (!why.empty() || !platform_.Exists(path)) {
    view_.ShowMessage("There is no roster " + Quoted(name) + " (no file " + path + ").");
    return false;
  }
  Roster roster;
  Status read = ReadRoster(platform_, path, &roster);
  if (!read.ok()) {
    view_.ShowMessage("The roster " + Quoted(name) + " was not applied; nothing was changed.\n" +
                      read.message());
    return false;
  }
  GameHold hold(*this);
  if (!hold.held()) return false;
  const auto holdings = PlaceHoldings();
  std::array<bool, kPlaceCount> change{};
  for (int i = 0; i < kPlaceCount; ++i) {
    change[i] = holdings[i].unknown ||
                FoldedName(holdings[i].package) != FoldedName(roster.packages[i]);
  }
  return ChangePlaces(roster.packages, change, "application of the roster " + Quoted(name),
                      "The roster " + Quoted(name) + " could not be applied.",
                      "The roster " + Quoted(name) + " was not applied; nothing was changed:",
                      "The roster " + Quoted(name) + " was applied.");
}

bool ModManager::ReinstallPackage(const std::string& mod) {
  GameHold hold(*this);
  if (!hold.held()) return false;
  const auto holdings = PlaceHoldings();
  std::array<std::string, kPlaceCount> packages;
  std::array<bool, kPlaceCount> change{};
  std::vector<int> places;
  for (int i = 0; i < kPlaceCount; ++i) {
    packages[i] = holdings[i].package;
    change[i] = !holdings[i].unknown && FoldedName(holdings[i].package) == FoldedName(mod);
    if (change[i]) places.push_back(i + 1);
  }
  if (places.empty()) {
    view_.ShowMessage("No place holds the mod package " + Quoted(mod) + "; nothing was installed.");
    return false;
  }
  std::string shown;
  ReadModListName(platform_, folders_.mods() + "/" + packages[places[0] - 1] + "/modfile.ini", &shown);
  if (shown.empty()) shown = mod;
  return ChangePlaces(packages, change, "reinstallation of " + shown + " in " + PlacesText(places),
                      "The new version of " + shown + " could not be installed in " +
                          PlacesText(places) + ".",
                      "The new version of " + shown + " was not installed; nothing was changed:",
                      "The new version of " + shown + " was installed.");
}

bool ModManager::ChangePlaces(const std::array<std::string, kPlaceCount>& packages,
                              const std::array<bool, kPlaceCount>& change, const std::string& name,
                              const std::string& failed, const std::string& refused,
                              const std::string& done) {
  std::vector<int> changed;
  for (int i = 0; i < kPlaceCount; ++i) {
    if (change[i]) changed.push_back(i + 1);
  }
  if (changed.empty()) {
    view_.ShowMessage(done + " Every place held what it names already; nothing was changed.");
    return true;
  }

  // Everything is checked before the first change: the packages as "Add -->"
  // checks them, against the slots as they will be once the changed places
  // are emptied and the packages before each have claimed theirs.
  SlotTables tables = slot_tables_;
  std::vector<std::string> problems;
  for (int n : changed) {
    std::vector<SlotUse> uses;
    Status read = ReadSlotUses(platform_, game_folder_, n - 1, &uses);
    if (!read.ok()) problems.push_back("Place " + std::to_string(n) + ": " + read.message());
    for (const SlotUse& use : uses) {
      SimulateRelease(use.kind, use.slot, &tables[static_cast<size_t>(use.kind)]);
    }
  }
  std::array<InstallPlan, kPlaceCount> plans;
  for (int n : changed) {
    const std::string& package = packages[n - 1];
    if (package.empty()) continue;
    const std::string folder = folders_.mods() + "/" + package;
    const std::string place = "Place " + std::to_string(n) + ", " + package + ": ";
    if (!IsPackage(folder)) {
      problems.push_back(place + "there is no such mod package (" + folder +
                         " is missing or holds no modfile.ini).");
      continue;
    }
    const std::string refusal = CheckInstallable(folder, tables, &plans[n - 1]);
    if (!refusal.empty()) problems.push_back(place + refusal);
    for (SlotKind kind : kAllSlotKinds) {
      for (const SlotRequest& slot : SlotsOfKind(plans[n - 1].info, kind)) {
        SimulateClaim(kind, slot, &tables[static_cast<size_t>(kind)]);
      }
    }
  }
  if (!problems.empty()) {
    std::string text = refused;
    for (const std::string& problem : problems) text += "\n" + problem;
    view_.ShowMessage(text);
    return false;
  }

  std::array<StoreReport, kPlaceCount> stores;
  Status result = RunOperation(name, failed, [&]() -> Status {
    return WithIconEditsGathered([&]() -> Status {
      for (int n : changed) {
        StoreReport emptied;
        Status status = EmptyPlace(n, true, &emptied);
        if (!status.ok()) return status;
      }
      for (int n : changed) {
        if (packages[n - 1].empty()) continue;
        Status status = InstallSteps(n, plans[n - 1], &stores[n - 1]);
        if (!status.ok()) return status;
      }
      return Status::Ok();
    });
  });
  if (!result.ok()) {
    view_.ShowMessage(result.message());
    return false;
  }
  std::string text = done;
  for (int n : changed) {
    std::string shown = packages[n - 1];
    if (!shown.empty()) {
      ReadModListName(platform_, plans[n - 1].package + "/modfile.ini", &shown);
      if (shown.empty()) shown = packages[n - 1];
    }
    text += "\nPlace " + std::to_string(n) + ": " + (shown.empty() ? "empty" : shown);
  }
  for (int n : changed) {
    for (const std::string& skipped : stores[n - 1].skipped) {
      text += "\nA file of " + packages[n - 1] + " was skipped: " + skipped;
    }
  }
  view_.ShowMessage(text);
  return true;
}

bool ModManager::AskAndSaveRoster() {
  std::string name;
  if (!view_.AskForText("Save the ten places as they are now as a roster named:", "Save roster",
                        &name)) {
    return false;
  }
  name = Trimmed(name);
  const std::string why = WhyNotRosterName(name);
  if (why.empty() && platform_.Exists(RosterPath(folders_.user_files, name)) &&
      !view_.AskYesNo("There is a roster " + Quoted(name) + " already. Replace it with the places "
                      "as they are now?", "Save roster")) {
    return false;
  }
  std::vector<int> unknown;
  const auto holdings = PlaceHoldings();
  for (int i = 0; i < kPlaceCount; ++i) {
    if (holdings[i].unknown) unknown.push_back(i + 1);
  }
  if (why.empty() && !unknown.empty()) {
    if (!view_.AskYesNo(Capitalized(UnknownPlacesText(unknown)) + ". Save the roster " + Quoted(name) + " with " +
                            (unknown.size() == 1 ? "that place" : "those places") + " empty?",
                        kUnknownPlacesCaption)) {
      return false;
    }
  }
  return SaveRoster(name, true);
}

bool ModManager::AskAndDeleteRoster() {
  const std::vector<std::string> names = RosterNames();
  if (names.empty()) {
    view_.ShowMessage("There are no rosters to delete (" + folders_.rosters() +
                      " holds none).");
    return false;
  }
  int chosen = -1;
  if (!view_.ChooseFromList("Which roster do you want to delete?", "Delete roster", names, &chosen) ||
      chosen < 0 || static_cast<size_t>(chosen) >= names.size()) {
    return false;
  }
  if (!view_.AskYesNo("Delete the roster " + Quoted(names[chosen]) + "? The places are not "
                      "changed; only the roster's file goes.", "Delete roster")) {
    return false;
  }
  return DeleteRoster(names[chosen]);
}

void ModManager::OfferReinstall(const std::string& folder) {
  std::vector<int> places;
  const auto holdings = PlaceHoldings();
  for (int i = 0; i < kPlaceCount; ++i) {
    if (!holdings[i].unknown && FoldedName(holdings[i].package) == FoldedName(folder)) {
      places.push_back(i + 1);
    }
  }
  if (places.empty()) return;
  std::string shown;
  ReadModListName(platform_, folders_.mods() + "/" + folder + "/modfile.ini", &shown);
  if (shown.empty()) shown = folder;
  if (view_.AskYesNo(shown + " was updated. Install the new version in " + PlacesText(places) + "?",
                     kUpdatedPackageCaption)) {
    ReinstallPackage(folder);
  }
}

void ModManager::OfferChangedPackages() {
  if (game_folder_.empty() || !changed_files_.empty()) return;
  std::vector<std::string> offered;
  for (int i = 0; i < kPlaceCount; ++i) {
    PlaceRecord record;
    if (!ReadPlaceRecord(platform_, game_folder_, i, &record).ok() || record.package.empty() ||
        record.fingerprint.empty()) {
      continue;
    }
    const std::string key = FoldedName(record.package);
    if (std::find(offered.begin(), offered.end(), key) != offered.end()) continue;
    const std::string now = PackageFingerprint(platform_, folders_.mods() + "/" + record.package);
    if (now.empty() || now == record.fingerprint) continue;
    offered.push_back(key);
    OfferReinstall(record.package);
  }
}

bool ModManager::ExportRoster(const std::string& name, const std::string& path, bool replace) {
  Progress progress([this](uint64_t done, uint64_t total, const std::string& doing) {
    return view_.ShowProgress(done, total, doing);
  });
  RosterExport report;
  Status status = korva::ExportRoster(platform_, folders_.mods(), folders_.rosters(),
                                      name, path, replace, &progress, &report);
  view_.EndProgress();
  if (!status.ok()) {
    view_.ShowMessage("The roster " + Quoted(name) + " was not shared; no archive was written.\n" +
                      (status.cancelled() ? "It was cancelled." : status.message()));
    return false;
  }
  const uint64_t size = report.archive_bytes;
  const std::string shown = size < kMiB ? std::to_string((size + kKiB - 1) / kKiB) + " KB"
                                        : std::to_string((size + kMiB / 2) / kMiB) + " MB";
  view_.ShowMessage("The roster " + Quoted(name) + " was shared as " + path + ": " +
                    std::to_string(report.packages) + (report.packages == 1 ? " package, " : " packages, ") +
                    shown + ". On another computer, drop it on the program's window (or: korva-zid-cli "
                    "import FILE) to import the roster and its packages.");
  return true;
}

bool ModManager::AskAndExportRoster() {
  const std::vector<std::string> names = RosterNames();
  if (names.empty()) {
    view_.ShowMessage("There are no rosters to share (" + folders_.rosters() +
                      " holds none). Save one first with \"Save roster...\".");
    return false;
  }
  int chosen = -1;
  if (!view_.ChooseFromList("Which roster do you want to share?", "Share roster", names, &chosen) ||
      chosen < 0 || static_cast<size_t>(chosen) >= names.size()) {
    return false;
  }
  std::string path;
  if (!view_.AskForSavePath("Share roster", names[chosen] + ".zip", &path)) return false;
  // The dialog has asked before a file of that name is replaced.
  return ExportRoster(names[chosen], path, true);
}

}  // namespace korva
