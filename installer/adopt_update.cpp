// Taking the game's files as the new originals: when the game (an update,
// a check of its files) has put its own versions of managed files back,
// those become the originals the program keeps as backups, and the game is
// prepared again from them. The characters stay: in the same operation each
// place's layers are taken out (giving the game its own files back, so that
// nothing of a package is taken for the game's), the game is prepared again,
// and every character is installed again into its own place from its
// package, with one edit of the icon page for all. A place whose package is
// gone or no longer installs is left empty and named, with the reason.
#include <algorithm>

#include "gamedata/backups.h"
#include "icons/icon_page.h"
#include "installer/mod_database.h"
#include "installer/mod_manager.h"
#include "installer/store.h"
#include "platform/file_names.h"
#include "slots/slot_scan.h"
#include "slots/slot_usage.h"
#include "textfiles/collection_list.h"

namespace korva {

Status ModManager::TakeGameFiles(const std::vector<ChangedFile>& changed) {
  auto isChanged = [&changed](const std::string& path) {
    return std::any_of(changed.begin(), changed.end(), [&](const ChangedFile& file) {
      return FoldedName(file.path) == FoldedName(path);
    });
  };
  for (int i = 0; i < kPlaceCount; ++i) {
    StoreReport store = RemoveStoredFiles(platform_, game_folder_, i, progress_);
    if (!store.failures.empty()) return Status::Error(store.failures.front());
  }
  // Each managed file: a changed one becomes its own backup; then the file
  // the game runs on is made afresh from the backup or the prepared
  // version, as the first start makes it.
  auto fresh = [&](const std::string& path, const std::string& from) -> Status {
    if (platform_.Exists(path)) {
      Status removed = platform_.Remove(path);
      if (!removed.ok()) return removed;
    }
    return platform_.CopyFile(from, path);
  };
  std::vector<GameFile> files = BackedUpGameFiles();
  files.push_back({13, kCollectionList, GameFileKind::kCopy, nullptr});
  for (const GameFile& file : files) {
    const std::string path = game_folder_ + file.path;
    const std::string backup = path + kBackupSuffix;
    const bool adopt = isChanged(file.path) && platform_.Exists(path);
    Status status;
    switch (file.kind) {
      case GameFileKind::kMoveThenReplace:
        if (adopt) {
          status = platform_.RenameOver(path, backup);
        } else if (platform_.Exists(path)) {
          status = platform_.Remove(path);
        }
        if (status.ok()) status = platform_.CopyFile(program_folder_ + file.prepared, path);
        break;
      case GameFileKind::kAddIfAbsent:
        status = fresh(path, program_folder_ + file.prepared);
        break;
      case GameFileKind::kCopy:
        if (adopt) {
          status = fresh(backup, path);
        } else if (platform_.Exists(backup)) {
          status = fresh(path, backup);
        }
        break;
      case GameFileKind::kModAbilities:
        // Made again, with the reference to it, below.
        if (platform_.Exists(path)) status = platform_.Remove(path);
        break;
      case GameFileKind::kMove:
        // The game's new version is moved aside as its backup.
        if (adopt) status = platform_.RenameOver(path, backup);
        break;
    }
    if (!status.ok()) return status;
  }
  std::vector<Status> failures = BackUpGameFiles(platform_, game_folder_, program_folder_);
  if (!failures.empty()) return failures.front();
  Status status = PrepareCollectionList(platform_, game_folder_);
  if (!status.ok()) return status;

  // The places' own records go: every place is empty now.
  for (int i = 0; i < kPlaceCount && status.ok(); ++i) {
    const std::string record = SlotUsageFile(game_folder_, i);
    if (platform_.Exists(record)) status = platform_.Remove(record);
  }
  if (status.ok()) status = fresh(IconMapPath(game_folder_), program_folder_ + "/data/iconmap");
  return status;
}

bool ModManager::AdoptGameUpdate() {
  GameHold hold(*this, false);
  if (!hold.held()) return false;
  const std::vector<ChangedFile> changed = changed_files_;
  // What each place holds, and the names its character shows, read while
  // the character file is still the program's.
  auto holdings = PlaceHoldings();
  std::vector<std::string> rows(kPlaceCount);
  if (!IsChanged(kCharacterFile)) korva::FillGameCharsList(platform_, game_folder_, &rows);
  for (int i = 0; i < kPlaceCount; ++i) {
    // A place without a store list whose character cannot be read held
    // one when it claimed slots.
    if (holdings[i].unknown && rows[static_cast<size_t>(i)].empty()) {
      holdings[i].unknown = platform_.Exists(SlotUsageFile(game_folder_, i));
    }
  }
  std::array<std::string, kPlaceCount> names;
  for (int i = 0; i < kPlaceCount; ++i) {
    std::string name = rows[static_cast<size_t>(i)];
    if (!name.empty() && name.back() == '\\') name.pop_back();
    if (name == PlaceholderCharacterName(i + 1)) name.clear();
    if (name.empty() && !holdings[i].package.empty()) {
      ReadModListName(platform_, folders_.mods() + "/" + holdings[i].package + "/modfile.ini",
                      &name);
      if (name.empty()) name = holdings[i].package;
    }
    names[i] = "place " + std::to_string(i + 1) + (name.empty() ? "" : " (" + name + ")");
  }

  std::vector<std::string> installed, emptied;
  Status adopted = RunOperation(
      "adoption of the game's current files",
      "The game's current files could not be taken as the new originals.",
      [&]() -> Status {
        installed.clear();
        emptied.clear();
        Status status = TakeGameFiles(changed);
        if (!status.ok()) return status;
        // The prepared game is the program's again: its tables are read
        // afresh, and each place filled in place order.
        changed_files_.clear();
        status = FillGameCharsList();
        for (SlotKind kind : kAllSlotKinds) {
          if (status.ok()) status = ScanSlots(kind);
        }
        if (status.ok()) status = LoadIconMap(platform_, game_folder_, &icon_map_);
        if (!status.ok()) return status;
        return WithIconEditsGathered([&]() -> Status {
          for (int i = 0; i < kPlaceCount; ++i) {
            const PlaceHolding& holding = holdings[i];
            if (holding.unknown) {
              emptied.push_back(names[i] + ": the program does not know its mod package "
                                "(installed by an older version of the program, or by hand); "
                                "install it again with \"Add -->\".");
              continue;
            }
            if (holding.package.empty()) continue;
            const std::string folder = folders_.mods() + "/" + holding.package;
            if (!IsPackage(folder)) {
              emptied.push_back(names[i] + ": its mod package " + holding.package +
                                " is no longer in the mods folder (" + folder + ").");
              continue;
            }
            InstallPlan plan;
            const std::string refusal = CheckInstallable(folder, slot_tables_, &plan);
            if (!refusal.empty()) {
              emptied.push_back(names[i] + ": " + refusal);
              continue;
            }
            StoreReport store;
            Status installedOne = InstallSteps(i + 1, plan, &store);
            if (!installedOne.ok()) return installedOne;
            installed.push_back(names[i]);
          }
          return Status::Ok();
        });
      },
      RecordRule::kTakeAll);
  if (!adopted.ok()) {
    changed_files_ = changed;
    ReloadGameState();
    view_.ShowMessage(adopted.message());
    return false;
  }
  std::string message =
      "The game's current files are now the originals: the program keeps them as its backups "
      "and has prepared the game again.";
  if (!installed.empty()) {
    message += "\nThese characters were installed again, each into its own place:";
    for (const std::string& place : installed) message += "\n" + place;
  }
  if (!emptied.empty()) {
    message += "\nThese places are empty now:";
    for (const std::string& place : emptied) message += "\n" + place;
  }
  view_.ShowMessage(message);
  return true;
}

}  // namespace korva
