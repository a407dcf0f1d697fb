// File > Revert: every game file the program changed goes back to its
// backup, every file it added goes, and each place's stored files are
// undone. A backup replaces its game file in one step, never by deleting the
// game file first.
#include "installer/revert.h"

#include "installer/mod_manager.h"
#include "installer/store.h"

namespace korva {

const std::vector<RevertStep>& RevertSteps() {
  static const std::vector<RevertStep> kSteps = {
      {"/Chars/charstxt.fpk", RevertAction::kRestore},
      {"/global/gameglobal.led", RevertAction::kRestore},
      {"/chars/quorin_pawnik.cpj", RevertAction::kRestore},
      {"/chars/mods_pawnik.cpj", RevertAction::kDelete},
      {"/chars/mods_faces.cpj", RevertAction::kDelete},
      {"/chars/mods_misc.cpj", RevertAction::kDelete},
      {"/stuff/icons/icontpage_nxg.tex", RevertAction::kRestore},
      {"/chars/collection.txt", RevertAction::kRestore},
      {"/levels/builder/builderdefault/playeritemtypes.txt", RevertAction::kRestore},
      {"/stuff/text/text.csv", RevertAction::kRestore},
      {"/stuff/bolttypes.txt", RevertAction::kRestore},
      {"/audio/samples_nxg.cfg", RevertAction::kRestore},
      {"/audio/restsfx_pc.pac", RevertAction::kRenameBack},
      {"/chars/abilities.txt", RevertAction::kRestore},
      {"/chars/abilities/mod_abilities.txt", RevertAction::kDelete},
  };
  return kSteps;
}

Status RevertGameFile(Platform& platform, const std::string& gameFolder, const RevertStep& step) {
  const std::string file = gameFolder + step.path;
  const std::string backup = file + "_bak";
  switch (step.action) {
    case RevertAction::kRestore:
      if (!platform.Exists(backup)) return Status::Ok();
      return platform.RenameOver(backup, file);
    case RevertAction::kRenameBack:
      if (!platform.Exists(backup)) return Status::Ok();
      // Put back by a check of the game's files or a patch: the game's
      // file stays, and the backup goes.
      if (platform.Exists(file)) return platform.Remove(backup);
      return platform.Rename(backup, file);
    case RevertAction::kDelete:
      if (!platform.Exists(file)) return Status::Ok();
      return platform.Remove(file);
  }
  return Status::Ok();
}

bool ModManager::RevertGameFiles() {
  if (!view_.AskYesNo("Are you sure you want to revert all changes?", "Are you sure?")) {
    return false;
  }
  GameHold hold(*this);
  if (!hold.held()) return false;
  Status reverted = RunOperation(
      "revert of the game's files", "The game could not be reverted.",
      [&]() -> Status {
        for (const RevertStep& step : RevertSteps()) {
          Status status = RevertGameFile(platform_, game_folder_, step);
          if (!status.ok()) return status;
        }
        for (int index = 0; index < kPlaceCount; ++index) {
          StoreReport store = RemoveStoredFiles(platform_, game_folder_, index, progress_);
          for (const std::string& backup : store.restored) view_.SetModDescription(backup);
          if (!store.failures.empty()) return Status::Error(store.failures.front());
        }
        return Status::Ok();
      },
      RecordRule::kCheckThenDrop);
  if (!reverted.ok()) {
    view_.ShowMessage(reverted.message());
    return false;
  }
  view_.ShowMessage("Reverse complete.");
  view_.CloseWindow();
  return true;
}

}  // namespace korva
