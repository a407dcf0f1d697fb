// ModManager: the program's core. It owns the run-time state that the main
// window shows (game folder, program folder, mod list, slot tables, icon map),
// runs the start-up sequence and the three user operations (install, delete,
// revert), and reports through a View. The window and the command line are
// thin front ends over it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "icons/icon_map.h"
#include "installer/view.h"
#include "platform/platform.h"
#include "slots/slot_table.h"

namespace korva {

class ModManager {
 public:
  ModManager(Platform& platform, View& view);

  // Finds the game folder (config.ini, else asks the user) and runs the
  // start-up steps. False when the user chose no game folder: the window has
  // been asked to close and no step ran.
  bool StartUp();
  // What choosing a file in the "Point to KORVAQUORIN.exe" dialog does: its
  // folder becomes the game folder and config.ini is rewritten.
  void UseGameFolder(const std::string& folder);
  // The start-up steps, in their fixed order, without early exit.
  void RunStartUpSteps();

  // Shows the name and description of "Mod Database" row `row`.
  void ShowModInfo(int row);
  // The three operations report what they did through the View and return
  // true only when they did everything asked of them.
  //
  // "Add -->": installs the package of "Mod Database" row `modRow` into
  // "Game Chars" row `placeRow`; a row outside its list means no selection.
  bool InstallCharacter(int modRow, int placeRow);
  // Takes the character out of place `characterNumber` (1 to 10). With
  // `userRequest` its slots are released and "Char deleted." is shown.
  bool DeleteCharacter(int characterNumber, bool userRequest);
  // File > Revert: asks, restores every game file from its backup, closes.
  bool RevertGameFiles();
  // Imports mod archives and package folders into the program's mods folder
  // (see installer/import.h), asking before a package of the same folder
  // name is replaced; refills "Mod Database" and says in one message what
  // was imported and what was refused. `progress` (may be empty) hears how
  // far the work is (0 to 1) and what it does, and cancels it by returning
  // false. True when every source was imported in full.
  bool ImportMods(const std::vector<std::string>& sources,
                  const std::function<bool(double done, const std::string& doing)>& progress);

  // Character slots. Each keeps the kind's table in memory as its file now
  // holds it and shows the kind's free-count label; each returns what went
  // wrong, showing nothing else.
  // Reads the table of `kind` afresh.
  Status ScanSlots(SlotKind kind);
  // Reads the ten character records into the "Game Chars" rows.
  Status FillGameCharsList();
  // Writes `path` and `name` into the first free entry of `kind`.
  Status ClaimFreeSlot(SlotKind kind, const std::string& path, const std::string& name);
  // Writes the character record of `characterNumber` and refills "Game Chars".
  Status WriteCharacterRecord(int characterNumber, const std::string& dataName);
  // Gives place `characterSlotIndex`'s recorded slot entries their
  // placeholders back and deletes its slot usage file.
  Status ReleaseCharacterSlots(int characterSlotIndex);

  const std::string& game_folder() const { return game_folder_; }
  const std::string& program_folder() const { return program_folder_; }
  // The package folder of each "Mod Database" row, and how many rows there are.
  const std::vector<std::string>& mod_folder_list() const { return mod_folder_list_; }
  int mod_count() const { return mod_count_; }
  // Which character owns each mod icon cell (entry i: cell 260 + i).
  const IconMap& icon_map() const { return icon_map_; }
  const SlotTable& slot_table(SlotKind kind) const {
    return slot_tables_[static_cast<size_t>(kind)];
  }
  const SlotTables& slot_tables() const { return slot_tables_; }

 private:
  // Start-up step 1: unpacks the game's .dat archives.
  void UnpackGameArchives();
  // Start-up step 14: fills "Mod Database" and the mod folder list from the
  // packages under the program's mods folder.
  void FillModList();
  // Fills "Mod Database" afresh; returns the messages that FillModList shows.
  std::vector<std::string> RefillModList();
  // Start-up step 20: loads the icon map, creating its file from the data
  // folder's when the game has none.
  void ReadIconMap();

  // One message: `heading`, then each failure on a line of its own. Nothing
  // when the list is empty.
  void ReportFailures(const std::string& heading, const std::vector<Status>& failures);
  // One message for an operation that did not do everything: `heading`, the
  // steps that failed, and that the rest was done.
  void ReportIncomplete(const std::string& heading, const std::vector<std::string>& failures);
  // Gives place `n` (1 to 10) its placeholder back: record, collection
  // entry, marker blocks, icons, stored files and, with `releaseSlots`, its
  // slot entries; refills "Game Chars". Shows nothing; returns what failed.
  std::vector<std::string> EmptyPlace(int n, bool releaseSlots);

  Platform& platform_;
  View& view_;
  std::string game_folder_;
  std::string program_folder_;
  std::vector<std::string> mod_folder_list_;
  int mod_count_ = 0;
  IconMap icon_map_;
  SlotTables slot_tables_;
  std::vector<std::string> game_char_rows_;  // what "Game Chars" shows
};

}  // namespace korva
