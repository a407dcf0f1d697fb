#include "installer/mod_manager.h"

#include "gamedata/backups.h"
#include "gamedata/unpack.h"
#include "installer/config.h"
#include "installer/import.h"
#include "installer/mod_database.h"
#include "slots/slot_scan.h"
#include "slots/slot_usage.h"
#include "slots/slot_write.h"
#include "textfiles/collection_list.h"

namespace korva {

ModManager::ModManager(Platform& platform, View& view)
    : platform_(platform), view_(view), program_folder_(platform.ProgramFolder()) {}

bool ModManager::StartUp() {
  std::string folder;
  bool remembered = ReadConfig(platform_, program_folder_, &folder);
  if (remembered) game_folder_ = folder;
  if (!remembered || !platform_.CanRead(game_folder_ + "/KORVAQUORIN.exe")) {
    if (!view_.AskForGameFolder(&folder)) {
      view_.CloseWindow();
      return false;
    }
    UseGameFolder(folder);
  }
  RunStartUpSteps();
  return true;
}

void ModManager::UseGameFolder(const std::string& folder) {
  game_folder_ = folder;
  Status written = WriteConfig(platform_, program_folder_, game_folder_);
  if (!written.ok()) {
    view_.ShowMessage("The game folder could not be saved in config.ini (" + written.message() +
                      "). It is used for this run; the next start asks again.");
  }
}

void ModManager::RunStartUpSteps() {
  UnpackGameArchives();  // 1: the game's packed .dat archives.
  // 2 to 12: the one-time backups and the prepared files.
  ReportFailures("Not every game file could be backed up or prepared:",
                 BackUpGameFiles(platform_, game_folder_, program_folder_));
  // 13: the collection list's reserved places.
  Status prepared = PrepareCollectionList(platform_, game_folder_);
  if (!prepared.ok()) {
    view_.ShowMessage("The game's collection list could not be given its ten places for mod "
                      "characters (" + prepared.message() + "). The next start tries again.");
  }
  FillModList();  // 14: "Mod Database".
  // 15: "Game Chars".
  // 16 to 19: the slot tables, kinds C, A, M, F.
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
  if (!unread.empty()) {
    view_.ShowMessage("The character tables could not be read in full; what could not be read "
                      "shows as an empty \"Game Chars\" row or as a slot that is not free:" +
                      unread);
  }
  ReadIconMap();  // 20: the icon map.
}

void ModManager::UnpackGameArchives() {
  UnpackReport report = korva::UnpackGameArchives(
      platform_, game_folder_, program_folder_, [this] { view_.ShowMessage(kUnpackingMessage); });
  if (report.unpacker_missing) {
    // The window closes once the start-up steps are done.
    view_.ShowMessage(kUnpackerMissingMessage);
    view_.CloseWindow();
  } else if (report.archives_found) {
    view_.ShowMessage(UnpackFinishedMessage(report));
  }
}

void ModManager::FillModList() {
  for (const std::string& message : RefillModList()) view_.ShowMessage(message);
}

std::vector<std::string> ModManager::RefillModList() {
  std::vector<std::string> messages;
  ModList list;
  Status filled = korva::FillModList(platform_, program_folder_, &list);
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
  ImportReport report = korva::ImportMods(platform_, program_folder_ + "/mods", sources, options);
  std::string text = ImportMessage(report);
  for (const std::string& message : RefillModList()) text += "\n" + message;
  view_.ShowMessage(text);
  return !report.cancelled && report.refused.empty();
}

void ModManager::ReadIconMap() {
  // A map that cannot be read is left empty without a word here: nothing is
  // lost by it, and placing an icon says why no cell is free.
  korva::ReadIconMap(platform_, game_folder_, program_folder_, &icon_map_);
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

Status ModManager::ScanSlots(SlotKind kind) {
  SlotTable& table = slot_tables_[static_cast<size_t>(kind)];
  Status status = korva::ScanSlots(platform_, game_folder_, kind, &table);
  view_.SetSlotLabel(kind, SlotLabel(kind, table));
  return status;
}

Status ModManager::FillGameCharsList() {
  std::vector<std::string> rows;
  Status status = korva::FillGameCharsList(platform_, game_folder_, &rows);
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

void ModManager::ReportFailures(const std::string& heading, const std::vector<Status>& failures) {
  if (failures.empty()) return;
  std::string text = heading;
  for (const Status& failure : failures) text += "\n" + failure.message();
  view_.ShowMessage(text);
}

void ModManager::ReportIncomplete(const std::string& heading,
                                  const std::vector<std::string>& failures) {
  std::string text = heading + " These steps did not work:";
  for (const std::string& failure : failures) text += "\n- " + failure;
  view_.ShowMessage(text + "\nEverything else was done.");
}

}  // namespace korva
