// Adopting a game update: when the game (an update, a check of its files) has
// put its own versions of managed files back, those become the originals the
// program keeps as backups, and the game is prepared again from them with
// every place empty. What installed characters left in the game's files goes
// with it, and so do the files their packages brought: each place's layers
// are taken out, giving the game its own files back, so that nothing of a
// package is taken for the game's.
#include "gamedata/backups.h"
#include "installer/mod_manager.h"
#include "installer/store.h"
#include "platform/file_names.h"
#include "slots/slot_scan.h"
#include "slots/slot_usage.h"
#include "textfiles/collection_list.h"

namespace korva {

bool ModManager::AdoptGameUpdate() {
  std::vector<ChangedFile> changed = changed_files_;
  auto isChanged = [&changed](const std::string& path) {
    for (const ChangedFile& file : changed) {
      if (FoldedName(file.path) == FoldedName(path)) return true;
    }
    return false;
  };
  // The places that held characters, named while the character file is
  // still the program's.
  std::vector<std::string> places;
  std::vector<std::string> rows(kPlaceCount);
  if (!isChanged(kCharacterFile)) korva::FillGameCharsList(platform_, game_folder_, &rows);
  for (int i = 0; i < kPlaceCount; ++i) {
    if (!platform_.Exists(StoreListPath(game_folder_, i)) &&
        !platform_.Exists(SlotUsageFile(game_folder_, i))) {
      continue;
    }
    std::string name = rows[static_cast<size_t>(i)];
    if (!name.empty() && name.back() == '\\') name.pop_back();
    places.push_back("place " + std::to_string(i + 1) + (name.empty() ? "" : " (" + name + ")"));
  }

  Status adopted = RunOperation(
      "adoption of the game's updated files",
      "The game's current files could not be taken as the new originals.",
      [&]() -> Status {
        for (int i = 0; i < kPlaceCount; ++i) {
          StoreReport store = RemoveStoredFiles(platform_, game_folder_, i, progress_);
          if (!store.failures.empty()) return Status::Error(store.failures.front());
        }
        // Each managed file: a changed one becomes its own backup; then the
        // file the game runs on is made afresh from the backup or the
        // prepared version, as the first start makes it.
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
      },
      RecordRule::kTakeAll);
  if (!adopted.ok()) {
    view_.ShowMessage(adopted.message());
    return false;
  }
  changed_files_.clear();
  ReloadGameState();
  std::string message =
      "The game's current files are now the originals: the program keeps them as its backups "
      "and has prepared the game again. All ten places are empty.";
  if (!places.empty()) {
    message += "\nThese places held characters, which have to be installed again:";
    for (const std::string& place : places) message += "\n" + place;
  }
  view_.ShowMessage(message);
  return true;
}

}  // namespace korva
