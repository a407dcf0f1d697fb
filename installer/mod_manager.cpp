#include "installer/mod_manager.h"

#include <algorithm>

#include "gamedata/backups.h"
#include "gamedata/unpack.h"
#include "icons/icon_page.h"
#include "installer/config.h"
#include "installer/import.h"
#include "installer/mod_database.h"
#include "installer/roster_file.h"
#include "platform/file_names.h"
#include "slots/slot_scan.h"
#include "slots/slot_usage.h"
#include "slots/slot_write.h"
#include "textfiles/collection_list.h"

namespace korva {
namespace {

// What a cut-off run can leave in the game folder that no later step wants:
// the tools' working copies, the icon page's intermediates, and the
// temporary names of every file the program rewrites.
std::vector<std::string> LeftoverPaths() {
  std::vector<std::string> paths = {
      "/quickbms.exe", "/vantrel.bms", "/stuff/icons/crunch.exe",
      "/stuff/icons/icontpage_nxg.dds", "/stuff/icons/icontpage_nxg.tga",
      "/stuff/icons/icontpage_nxg_t.tga"};
  for (size_t i = 0, n = paths.size(); i < n; ++i) paths.push_back(paths[i] + "_temp");
  std::vector<std::string> rewritten = ManagedGameFiles();
  rewritten.push_back("/chars/iconmap");
  rewritten.push_back("/chars/mod_record");
  for (int i = 0; i < kPlaceCount; ++i) {
    rewritten.push_back("/chars/slots_char_" + std::to_string(i));
    rewritten.push_back("/chars/mod_char_" + std::to_string(i));
  }
  for (const std::string& path : rewritten) {
    paths.push_back(path + "_temp");
    paths.push_back(path + kBackupSuffix + "_temp");
  }
  return paths;
}

}  // namespace

ModManager::ModManager(Platform& platform, View& view)
    : journal_(platform), platform_(journal_), game_lock_(platform), view_(view),
      folders_(platform.Folders()), program_folder_(folders_.program) {}

bool ModManager::StartUp() {
  std::string folder;
  bool remembered = ReadConfig(platform_, folders_.settings, &folder);
  if (remembered) game_folder_ = folder;
  if (!remembered || !platform_.CanRead(game_folder_ + "/KORVAQUORIN.exe")) {
    // The dialog opens where the game is installed, when it is found.
    const std::vector<std::string> installs = FindGameInstalls();
    const std::string found = installs.empty() ? "" : ParentFolder(installs[0]);
    if (!view_.AskForGameFolder(found, found.empty() ? "" : "KORVAQUORIN.exe", &folder)) {
      view_.CloseWindow();
      return false;
    }
    UseGameFolder(folder);
  }
  RunStartUpSteps();
  OfferChangedPackages();  // packages changed since they were installed
  return true;
}

bool ModManager::UseGameFolder(const std::string& folder, bool forThisRun) {
  game_folder_ = folder;
  // A config.ini that names this very folder already is left as it is.
  std::string saved;
  if (ReadConfig(platform_, folders_.settings, &saved) && saved == folder) return true;
  Status written = WriteConfig(platform_, folders_.settings, game_folder_);
  if (!written.ok()) {
    view_.ShowMessage("The game folder could not be saved in config.ini (" + written.message() +
                      (forThisRun ? "). It is used for this run; the next start asks again."
                                  : "). Nothing was changed."));
  }
  return written.ok();
}

ModManager::GameHold::GameHold(ModManager& manager, bool reload) : manager_(manager) {
  const bool first = !manager.game_lock_.held();
  bool shown = false;
  Status taken = manager.game_lock_.Take(manager.game_folder_, 5000, [&] {
    shown = true;
    return manager.view_.ShowProgress(0, 0, kWaitingForLockText);
  });
  if (shown) manager.view_.EndProgress();
  if (!taken.ok()) {
    manager.view_.ShowMessage(taken.message());
    return;
  }
  if (first && reload) {
    if (!WasPrepared(manager.platform_, manager.game_folder_)) {
      manager.game_lock_.Give();
      manager.view_.ShowMessage(kGameRevertedMessage);
      return;
    }
    manager.ReloadGameState();
  }
  held_ = true;
}

ModManager::GameHold::~GameHold() {
  if (held_) manager_.game_lock_.Give();
}

bool ModManager::RunStartUpSteps() {
  journal_.SetGameFolder(game_folder_);
  // Nothing of the game is read or changed while another copy changes it.
  GameHold hold(*this, false);
  if (!hold.held()) {
    FillModList();
    return false;
  }
  bool ok = RecoverCutOffOperation();
  // 1 to 13 as one operation: the game's packed .dat archives unpacked
  // (never over a game prepared already), the backups and prepared files,
  // unless managed files changed behind the program's back and stay so.
  std::vector<std::string> archives;
  FindArchives(platform_, game_folder_, &archives);
  const bool prepared = WasPrepared(platform_, game_folder_);
  if (said_game_runs_) {
    ok = false;  // the window closes; nothing is changed
  } else if (!archives.empty() && prepared) {
    std::string names;
    for (const std::string& name : archives) names += "\n" + game_folder_ + "/" + name;
    view_.ShowMessage("The game folder holds packed game data files, but it has been prepared "
                      "for mods already, and unpacking them now would write over the prepared "
                      "files. They were left as they are:" + names +
                      "\nTo start afresh, use File > Revert, then start the program again.");
    if (CheckManagedFiles()) PrepareGameFiles(false);
    ok = false;
  } else if (!archives.empty()) {
    ok = PrepareGameFiles(true) && ok;
  } else {
    ok = CheckManagedFiles() && PrepareGameFiles(false) && ok;
  }
  FillModList();                     // 14: "Mod Database".
  ok = ReadCharacterTables() && ok;  // 15 to 19: "Game Chars" and the slot tables.
  ReadIconMap();                     // 20: the icon map.
  return ok;
}

bool ModManager::GameRunsAtStartUp() {
  if (!platform_.IsRunning(game_folder_ + "/KORVAQUORIN.exe")) return false;
  if (!said_game_runs_) {
    view_.ShowMessage(kGameRunningMessage);
    view_.CloseWindow();
    said_game_runs_ = true;
  }
  return true;
}

bool ModManager::RecoverCutOffOperation() {
  // Finishing a cut-off operation, or clearing what it left, changes the
  // game folder: never under a running game.
  bool leftovers = platform_.Exists(JournalPath(game_folder_)) ||
                   platform_.Exists(JournalFilesPath(game_folder_));
  for (const std::string& path : LeftoverPaths()) {
    leftovers = leftovers || platform_.Exists(game_folder_ + path);
  }
  if (leftovers && GameRunsAtStartUp()) return false;
  std::string operation;
  // The undo goes through the journal's guard, which keeps it in the game
  // folder, without being recorded itself.
  Status recovered = korva::RecoverCutOffOperation(platform_, game_folder_, &operation);
  if (!recovered.ok()) {
    view_.ShowMessage("The last " + (operation.empty() ? std::string("operation") : operation) +
                      " was cut off, and the game's files could not all be put back as they "
                      "were before it.\n" + recovered.message());
    return false;
  }
  if (!operation.empty()) {
    view_.ShowMessage("The last " + operation +
                      " was cut off; the game's files were put back as they were before it.");
  }
  // Only now, once the undo has used what it needed.
  std::vector<std::string> stuck;
  for (const std::string& path : LeftoverPaths()) {
    const std::string full = game_folder_ + path;
    if (!platform_.Exists(full) || platform_.IsFolder(full)) continue;
    Status removed = platform_.Remove(full);
    if (!removed.ok()) stuck.push_back(removed.message());
  }
  if (!stuck.empty()) {
    std::string text = "These files left by an earlier run could not be removed:";
    for (const std::string& line : stuck) text += "\n" + line;
    view_.ShowMessage(text);
  }
  return true;
}

namespace {

// The managed files that are not as the program left them: by the record,
// or, for a game prepared before the record existed, by their layout.
std::vector<ChangedFile> FindChangedFiles(Platform& platform, ManagedRecord& record,
                                          const std::string& game, const std::string& program) {
  if (record.exists()) return record.Changed(platform, game);
  if (WasPrepared(platform, game)) return CheckPreparedLayout(platform, game, program);
  return {};
}

std::string ChangedList(const std::string& game, const std::vector<ChangedFile>& files) {
  std::string text;
  for (const ChangedFile& file : files) text += "\n" + game + file.path + " (" + file.reason + ")";
  return text;
}

}  // namespace

bool ModManager::CheckManagedFiles() {
  changed_files_.clear();
  Status loaded = record_.Load(platform_, game_folder_);
  if (!loaded.ok()) {
    view_.ShowMessage("The record of the game files this program manages cannot be read (" +
                      loaded.message() + "), so the program does not change the game.");
    changed_files_.push_back({"/chars/mod_record", "cannot be read"});
    return false;
  }
  changed_files_ = FindChangedFiles(platform_, record_, game_folder_, program_folder_);
  // A moved file back under its own name with other bytes: a new version.
  for (const MovedFileBack& back : MovedFilesBack(platform_, game_folder_)) {
    if (!back.same) changed_files_.push_back({back.path, kChangedReason});
  }
  if (changed_files_.empty()) return true;
  const bool restores = std::all_of(changed_files_.begin(), changed_files_.end(),
                                    [](const ChangedFile& file) { return file.reason == kRestoredReason; });
  const std::string question =
      std::string(restores ? "A check of the game's files has put the game's own versions of "
                             "these files back, over what this program had made of them:"
                           : "These game files are no longer as this program left them; a game "
                             "update, a check of the game's files or another program has changed "
                             "them:") +
      ChangedList(game_folder_, changed_files_) +
      "\n\nTake the game's current files as the new originals? The program then keeps them as "
      "its backups, prepares the game again and installs the characters again, each into its "
      "own place.\nIf you answer No, nothing is changed, and the program changes none of the "
      "game's files until they are taken as the new originals.";
  if (!view_.AskYesNo(question, kAdoptQuestionCaption)) return false;
  return AdoptGameUpdate();
}

Status ModManager::PrepareSteps(std::vector<std::string>* notes, std::vector<std::string>* said) {
  if (progress_ != nullptr) progress_->Stage("Preparing the game's files", 0);
  // A moved file that a check of the game's files put back as the game
  // ships it goes aside again: its backup holds the very same bytes.
  for (const MovedFileBack& back : MovedFilesBack(platform_, game_folder_)) {
    if (!back.same) continue;
    Status removed = platform_.Remove(game_folder_ + back.path);
    if (!removed.ok()) return removed;
    said->push_back(game_folder_ + back.path + " was put back as the game ships it, by a check "
                    "of the game's files; it was moved aside again.");
  }
  // 2 to 12: the one-time backups and the prepared files. What was missing
  // is said; what failed undoes the whole preparation.
  std::vector<Status> missing;
  std::vector<Status> failures = BackUpGameFiles(platform_, game_folder_, program_folder_, &missing);
  if (!failures.empty()) {
    std::string text = "Not every game file could be backed up or prepared:";
    for (const Status& failure : failures) text += "\n" + failure.message();
    return Status::Error(text);
  }
  if (!missing.empty()) {
    std::string text = "Not every game file could be backed up or prepared:";
    for (const Status& note : missing) text += "\n" + note.message();
    notes->push_back(text);
  }
  // 13: the collection list's reserved places.
  Status prepared = PrepareCollectionList(platform_, game_folder_);
  if (!prepared.ok()) {
    const std::string text = "The game's collection list could not be given its ten places for "
                             "mod characters (" + prepared.message() + ").";
    if (platform_.Exists(game_folder_ + kCollectionList)) return Status::Error(text);
    notes->push_back(text + " The next start tries again.");
  }
  // The icon map file, made from the data folder's when missing.
  IconMap map;
  Status read = korva::ReadIconMap(platform_, game_folder_, program_folder_, &map);
  if (!read.ok() && platform_.CanRead(program_folder_ + "/data/iconmap")) return read;
  return Status::Ok();
}

bool ModManager::PrepareGameFiles(bool unpack) {
  bool missing = false;
  std::vector<std::string> notes, said;
  Status result = RunOperation(
      "preparation of the game's files at start-up",
      unpack ? "The game's packed data could not be unpacked and prepared for mods."
             : "The game's files could not be prepared for mods.",
      [&]() -> Status {
        if (unpack) {
          UnpackReport report = korva::UnpackGameArchives(
              journal_, game_folder_, program_folder_,
              [this] { view_.ShowMessage(kUnpackingMessage); }, progress_);
          missing = report.unpacker_missing;
          if (!report.status.ok()) return report.status;
        }
        notes.clear();
        said.clear();
        return PrepareSteps(&notes, &said);
      });
  if (missing) {
    // The window closes once the start-up steps are done.
    view_.ShowMessage(kUnpackerMissingMessage);
    view_.CloseWindow();
    return false;
  }
  if (result.cancelled()) {
    view_.ShowMessage("The first start was cancelled. The game's files" +
                      std::string(unpack ? " and its packed data files" : "") +
                      " are as they were; the next start begins again.");
    view_.CloseWindow();
    return false;
  }
  if (!result.ok() && result.message().find(kGameRunningMessage) != std::string::npos) {
    GameRunsAtStartUp();
    return false;
  }
  if (!result.ok()) {
    view_.ShowMessage(result.message() + "\nThe next start tries again from the beginning.");
    return false;
  }
  if (unpack) view_.ShowMessage("Initial unpacking finished.");
  for (const std::string& line : said) view_.ShowMessage(line);
  for (const std::string& note : notes) view_.ShowMessage(note);
  return notes.empty();
}

void ModManager::FillModList() {
  // The first start of a program whose mods folder is the user's own.
  if (folders_.apart && !platform_.Exists(folders_.mods())) {
    view_.ShowMessage(MakeModsFolder(platform_, folders_.mods()));
  }
  for (const std::string& message : RefillModList()) view_.ShowMessage(message);
}

std::vector<std::string> ModManager::RefillModList() {
  std::vector<std::string> messages;
  ModList list;
  Status filled = korva::FillModList(platform_, folders_.user_files, &list);
  mod_folder_list_ = list.folders;
  mod_count_ = static_cast<int>(list.folders.size());
  view_.SetModRows(list.names);
  if (!filled.ok()) {
    messages.push_back("The mod packages could not be listed (" + filled.message() +
                       "), so \"Mod Database\" is empty.");
  }
  if (!list.unreadable.empty()) {
    std::string text = "These mod packages are not in \"Mod Database\" because their "
                       "modfile.ini could not be read:";
    for (const std::string& path : list.unreadable) text += "\n" + path;
    messages.push_back(text);
  }
  return messages;
}

bool ModManager::ImportMods(const std::vector<std::string>& sources,
                            const std::function<bool(double, const std::string&)>& progress) {
  ImportOptions options;
  options.progress = progress;
  options.replace = [this](const std::string& folder, const std::string& source) {
    return view_.AskYesNo("The mods folder has a package \"" + folder + "\" already. Replace it "
                          "with the one from " + BaseName(source) + "?",
                          "Import");
  };
  options.replace_roster = [this](const std::string& name, const std::string& source) {
    return view_.AskYesNo("There is a roster \"" + name + "\" already. Replace it with the one from " +
                              BaseName(source) + "?",
                          "Import");
  };
  options.rosters_folder = folders_.rosters();
  // The mods and rosters folders only, outside any operation: straight to
  // the system, so the unpacked files are flushed together.
  ImportReport report = korva::ImportMods(journal_.base(), folders_.mods(), sources, options);
  std::string text = ImportMessage(report);
  for (const std::string& message : RefillModList()) text += "\n" + message;
  // The command line imports without a game: it says how to apply.
  for (const ImportedRoster& roster : report.rosters) {
    if (game_folder_.empty()) {
      const bool quote = roster.name.find(' ') != std::string::npos;
      text += "\nApply it with: korva-zid-cli roster apply " +
              (quote ? "\"" + roster.name + "\"" : roster.name);
    }
  }
  view_.ShowMessage(text);
  // A new version of an installed package: installed where the old one is?
  for (const ImportedPackage& imported : report.imported) {
    if (imported.replaced && !game_folder_.empty()) OfferReinstall(imported.folder);
  }
  for (const ImportedRoster& roster : report.rosters) {
    if (!game_folder_.empty() &&
        view_.AskYesNo("Apply the roster \"" + roster.name + "\" now? Each place that holds something "
                       "else is emptied and filled with the roster's package.",
                       kImportedRosterCaption)) {
      ApplyRoster(roster.name);
    }
  }
  return !report.cancelled && report.refused.empty();
}

bool ModManager::ReadCharacterTables() {
  // A table file that is missing shows as empty rows and "C: 0"; the steps
  // that put the files in place say why. One that is there but cannot be
  // read in full is said here.
  std::string unread;
  auto note = [&](const Status& status, const std::string& file) {
    if (!status.ok() && platform_.Exists(game_folder_ + file)) unread += "\n" + status.message();
  };
  note(FillGameCharsList(), kCharacterFile);
  for (SlotKind kind : {SlotKind::C, SlotKind::A, SlotKind::M, SlotKind::F}) {
    note(ScanSlots(kind), KindInfo(kind).file);
  }
  if (unread.empty()) return true;
  view_.ShowMessage("The character tables could not be read in full; what could not be read "
                    "shows as an empty \"Game Chars\" row or as a slot that is not free:" +
                    unread);
  return false;
}

void ModManager::ReadIconMap() {
  // A map that cannot be read is left empty without a word here: nothing is
  // lost by it, and placing an icon says why no cell is free.
  LoadIconMap(platform_, game_folder_, &icon_map_);
}

void ModManager::ShowModInfo(int row) {
  if (row < 0 || row >= mod_count_) return;
  ModInfoTexts texts;
  Status read = ReadModInfo(platform_, mod_folder_list_[row], &texts);
  view_.SetModName(texts.name);
  view_.SetModDescription(texts.description);
  if (!read.ok()) {
    view_.ShowMessage("The name and description of this mod package could not be read (" +
                      read.message() + "). It may have been moved or deleted since the start.");
  }
}

bool ModManager::IsChanged(const std::string& managedPath) const {
  return std::any_of(changed_files_.begin(), changed_files_.end(), [&](const ChangedFile& file) {
    return FoldedName(file.path) == FoldedName(managedPath);
  });
}

Status ModManager::ScanSlots(SlotKind kind) {
  SlotTable& table = slot_tables_[static_cast<size_t>(kind)];
  if (IsChanged(KindInfo(kind).file)) {
    // Not the program's file any more: its bytes mean nothing here.
    table = SlotTable();
    view_.SetSlotLabel(kind, std::string(KindInfo(kind).label) + "?");
    return Status::Ok();
  }
  Status status = korva::ScanSlots(platform_, game_folder_, kind, &table);
  view_.SetSlotLabel(kind, SlotLabel(kind, table));
  return status;
}

Status ModManager::FillGameCharsList() {
  std::vector<std::string> rows(kPlaceCount);
  Status status;
  if (!IsChanged(kCharacterFile)) status = korva::FillGameCharsList(platform_, game_folder_, &rows);
  game_char_rows_ = rows;
  view_.SetGameCharRows(rows);
  return status;
}

Status ModManager::ClaimFreeSlot(SlotKind kind, const std::string& path, const std::string& name) {
  SlotTable& table = slot_tables_[static_cast<size_t>(kind)];
  Status status = korva::ClaimFreeSlot(platform_, game_folder_, kind, path, name, &table);
  view_.SetSlotLabel(kind, SlotLabel(kind, table));
  return status;
}

Status ModManager::WriteCharacterRecord(int characterNumber, const std::string& dataName) {
  Status written = korva::WriteCharacterRecord(platform_, game_folder_, characterNumber, dataName);
  Status rows = FillGameCharsList();
  return written.ok() ? rows : written;
}

Status ModManager::ReleaseCharacterSlots(int characterSlotIndex) {
  Status status =
      korva::ReleaseCharacterSlots(platform_, game_folder_, characterSlotIndex, &slot_tables_);
  for (SlotKind kind : kAllSlotKinds) {
    view_.SetSlotLabel(kind, SlotLabel(kind, slot_tables_[static_cast<size_t>(kind)]));
  }
  return status;
}

Status ModManager::RunOperation(const std::string& name, const std::string& heading,
                                const std::function<Status()>& steps, RecordRule rule) {
  // The game may have been updated while the window was open.
  Status loaded = record_.Load(platform_, game_folder_);
  if (!loaded.ok()) {
    return Status::Error(heading + "\nThe record of the game files this program manages cannot "
                         "be read (" + loaded.message() + "). Nothing was changed.");
  }
  std::vector<ChangedFile> changed;
  if (rule != RecordRule::kTakeAll) {
    changed = FindChangedFiles(platform_, record_, game_folder_, program_folder_);
  }
  if (!changed.empty()) {
    return Status::Error(
        heading + "\nThese game files are no longer as this program left them; a game update, a "
        "check of the game's files or another program has changed them since:" +
        ChangedList(game_folder_, changed) +
        "\nNothing was changed. To go on, start the program again and answer Yes when it asks "
        "to take the game's current files as the new originals (on the command line: "
        "korva-zid-cli adopt-update --yes).");
  }

  // Long work says how far it is, and can be cancelled.
  Progress progress([this](uint64_t done, uint64_t total, const std::string& doing) {
    return view_.ShowProgress(done, total, doing);
  });
  progress_ = &progress;
  journal_.SetProgress(&progress);
  struct Ended {
    ModManager* manager;
    ~Ended() {
      manager->progress_ = nullptr;
      manager->journal_.SetProgress(nullptr);
      manager->view_.EndProgress();
    }
  } ended{this};

  Status done = journal_.Begin(name);
  // Lists written before the game folder moved are made its own.
  if (done.ok()) done = RewriteMovedStoreLists(platform_, game_folder_);
  if (done.ok()) done = steps();
  if (done.ok() && progress.cancelled()) done = Status::Cancelled();
  if (done.ok()) {
    // The record takes the new state of every managed file the operation
    // changed, and of those it holds nothing about yet, in the same
    // operation. A revert takes the record away with the backups.
    if (rule == RecordRule::kTakeAll) record_.Clear();
    std::vector<std::string> take;
    for (const std::string& path : ManagedGameFiles()) {
      const std::string full = FoldedName(game_folder_ + path);
      bool touched = std::any_of(journal_.changed().begin(), journal_.changed().end(),
                                 [&](const std::string& c) { return FoldedName(c) == full; });
      if (touched || !record_.Has(path)) take.push_back(path);
    }
    if (rule == RecordRule::kCheckThenDrop) {
      record_.Clear();
      if (platform_.Exists(RecordPath(game_folder_))) done = platform_.Remove(RecordPath(game_folder_));
    } else {
      done = record_.Take(platform_, game_folder_, take);
      // A folder with none of the game's files gets no record.
      if (done.ok() && !take.empty() &&
          (!record_.empty() || platform_.Exists(RecordPath(game_folder_)))) {
        done = record_.Save(platform_, game_folder_);
      }
    }
  }
  if (done.ok()) done = journal_.Commit();
  if (done.ok()) return done;

  Status undone = journal_.Rollback();
  ReloadGameState();
  if (done.cancelled() && undone.ok()) {
    return Status::Cancelled("Cancelled. The game was left as it was before.");
  }
  return Status::Error(heading + "\n" + done.message() + "\n" +
                       (undone.ok() ? "The game was left as it was before." : undone.message()));
}

void ModManager::ReloadGameState() {
  record_.Load(platform_, game_folder_);
  FillGameCharsList();
  for (SlotKind kind : kAllSlotKinds) ScanSlots(kind);
  LoadIconMap(platform_, game_folder_, &icon_map_);
}

void ModManager::ReportFailures(const std::string& heading, const std::vector<Status>& failures) {
  if (failures.empty()) return;
  std::string text = heading;
  for (const Status& failure : failures) text += "\n" + failure.message();
  view_.ShowMessage(text);
}

}  // namespace korva
