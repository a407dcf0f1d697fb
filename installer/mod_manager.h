// ModManager: the program's core. It owns the run-time state that the main
// window shows (game folder, program folder, mod list, slot tables, icon map),
// runs the start-up sequence and the user operations (install, delete,
// revert, adopting a game update), and reports through a View. The window and
// the command line are thin front ends over it.
//
// Every operation that changes the game folder runs under the operation
// journal: it completes, or the game is left as it was before it, even when
// the program is cut off half-way (the next start finishes the undo). And it
// never writes into a managed game file that has changed since the program
// last left it: the record of managed files is checked first.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "icons/icon_map.h"
#include "installer/mod_package.h"
#include "installer/selection_info.h"
#include "installer/store.h"
#include "installer/view.h"
#include "journal/game_lock.h"
#include "journal/journal.h"
#include "gamedata/managed_files.h"
#include "platform/platform.h"
#include "slots/slot_table.h"

namespace korva {

// The caption of the start-up's question whether to take changed game files
// as the new originals.
constexpr const char* kAdoptQuestionCaption = "Game files changed";
// The caption of the question whether to install an updated package's new
// version where the old one is installed.
constexpr const char* kUpdatedPackageCaption = "Mod package updated";
// The caption of the question whether to apply a roster just imported.
constexpr const char* kImportedRosterCaption = "Roster imported";
// The caption of the question whether to save a roster with the places
// whose package is not known left empty.
constexpr const char* kUnknownPlacesCaption = "Save roster";

// What an operation says when another copy of the program has reverted the
// game since this one started.
constexpr const char* kGameRevertedMessage =
    "The game is no longer prepared for mods: another copy of the program has reverted it since "
    "this one started. Nothing was changed. Start the program again to prepare the game.";

class ModManager {
 public:
  ModManager(Platform& platform, View& view);

  // Finds the game folder (config.ini, else asks the user) and runs the
  // start-up steps. False when the user chose no game folder: the window has
  // been asked to close and no step ran.
  bool StartUp();
  // What choosing a file in the "Point to KORVAQUORIN.exe" dialog does: its
  // folder becomes the game folder and config.ini is rewritten. False, and
  // said, when config.ini could not be written: the folder is then used for
  // this run (`forThisRun`), or nothing more is done with it.
  bool UseGameFolder(const std::string& folder, bool forThisRun = true);
  // The start-up steps, in their fixed order, without early exit: finishing
  // a cut-off operation, clearing what it left, unpacking, the check of the
  // managed files (asking to adopt a game update), the backups and prepared
  // files, the lists. False when a step reported a failure.
  bool RunStartUpSteps();

  // Shows the name and description of "Mod Database" row `row`.
  void ShowModInfo(int row);
  // What the files of row `modRow`'s package would cover if it were
  // installed now: game files, and other places' files (lines of text).
  std::string CoverInfo(int modRow);
  // What the window shows beside a selected "Mod Database" row or "Game
  // Chars" row: the package's name and icons, and what its files cover
  // (installer/selection_info.h). Empty for a row outside its list.
  SelectionInfo ModSelection(int modRow);
  SelectionInfo PlaceSelection(int placeRow);
  // The operations report what they did through the View and return true
  // only when they did everything asked of them; otherwise the game is as
  // it was before.
  //
  // "Add -->": installs the package of "Mod Database" row `modRow` into
  // "Game Chars" row `placeRow`; a row outside its list means no selection.
  bool InstallCharacter(int modRow, int placeRow);
  // Takes the character out of place `characterNumber` (1 to 10). With
  // `userRequest` its slots are released and "Char deleted." is shown.
  bool DeleteCharacter(int characterNumber, bool userRequest);
  // File > Revert: asks, restores every game file from its backup, closes.
  bool RevertGameFiles();
  // Takes the game's current versions of the managed files that changed
  // behind the program's back (an update, or a check of the game's files
  // that put them back) as the new originals, as one operation: their
  // backups are renewed, the game is prepared again, and every character is
  // installed again into its own place. Says which were, and which places
  // are left empty and why (a package that is gone or no longer fits).
  bool AdoptGameUpdate();

  // Rosters (installer/rosters.cpp): named lists of which package each
  // place holds, kept in the rosters folder (see installer/roster_file.h).
  // The names of the rosters there.
  std::vector<std::string> RosterNames();
  // The ten places as they are become roster `name` (replacing a roster of
  // that name). A place whose package the program does not know (filled by
  // an older version or by hand) refuses the save, naming it, unless
  // `skipUnknown` or the user's Yes to the question says to save it empty.
  bool SaveRoster(const std::string& name, bool skipUnknown);
  // Makes the places hold what roster `name` names, as one operation: each
  // place that differs is emptied ("<-- Delete"), then filled, in place
  // order; the others are not touched. Everything is checked first (the
  // packages, the slots they need once the emptied places' are free); a
  // refusal changes nothing and names the place, the package and why.
  bool ApplyRoster(const std::string& name);
  bool DeleteRoster(const std::string& name);
  // The window's "Save roster..." and "Delete roster...": ask for the name
  // or the roster (and to confirm) through the View, then as above.
  bool AskAndSaveRoster();
  bool AskAndDeleteRoster();
  // Shared rosters (installer/roster_share.h): roster `name` and every
  // package it names written as the zip `path` (an existing file replaced
  // only with `replace`), saying what was written or why not.
  bool ExportRoster(const std::string& name, const std::string& path, bool replace);
  // The window's "Share roster...": asks for the roster and, in a save
  // dialog, for the file, then as above.
  bool AskAndExportRoster();
  // Installs package `mod` (a package folder name) afresh in every place
  // that holds it, as one operation: each emptied, then filled. False when
  // no place holds it or it failed.
  bool ReinstallPackage(const std::string& mod);

  // The managed game files found changed at start-up (empty when none).
  const std::vector<ChangedFile>& changed_files() const { return changed_files_; }

  // Imports mod archives and package folders into the mods folder
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
  // Where config.ini, the mods folder and the rosters are.
  const ProgramFolders& folders() const { return folders_; }
  // The package folder of each "Mod Database" row, and how many rows there are.
  const std::vector<std::string>& mod_folder_list() const { return mod_folder_list_; }
  int mod_count() const { return mod_count_; }
  // Which character owns each mod icon cell (entry i: cell 260 + i).
  const IconMap& icon_map() const { return icon_map_; }
  const SlotTable& slot_table(SlotKind kind) const {
    return slot_tables_[static_cast<size_t>(kind)];
  }
  const SlotTables& slot_tables() const { return slot_tables_; }
  // The journal the operations run under.
  Journal& journal() { return journal_; }

 private:
  // Holds the game folder's lock while it lives: one copy of the program at
  // a time changes the game. Taking it first (not nested in another hold)
  // reads the places, slots and icon map again with `reload`, since another
  // copy may have changed them, and refuses a game that another copy has
  // reverted meanwhile; a copy that cannot get it has said why.
  class GameHold {
   public:
    explicit GameHold(ModManager& manager, bool reload = true);
    ~GameHold();
    GameHold(const GameHold&) = delete;
    GameHold& operator=(const GameHold&) = delete;
    bool held() const { return held_; }

   private:
    ModManager& manager_;
    bool held_ = false;
  };

  // Start-up: undoes an operation that was cut off, then removes what a
  // cut-off run leaves behind (temporary files, the page's intermediates,
  // the tools' working copies).
  bool RecoverCutOffOperation();
  // At start-up, before a step changes the game folder: when the game runs,
  // says so once and asks the window to close. True when it runs.
  bool GameRunsAtStartUp();

  // Compares the managed files with the record (making the record for a game
  // prepared before it existed) and, when some changed, asks whether to adopt
  // them. False when changed files stay.
  bool CheckManagedFiles();
  // Start-up steps 1 to 13 and the icon map file, as one operation: the
  // game's .dat archives unpacked (when `unpack`), the backups and prepared
  // files. It completes or is undone as a whole; the next start then tries
  // again from the beginning.
  bool PrepareGameFiles(bool unpack);
  // The steps of PrepareGameFiles after unpacking: returns what failed;
  // `notes` gets what was missing, and `said` what was put right, to be
  // said once they are done.
  Status PrepareSteps(std::vector<std::string>* notes, std::vector<std::string>* said);
  // Start-up step 14: fills "Mod Database" and the mod folder list from the
  // packages under the mods folder; the first start of a program whose
  // mods folder is the user's own makes it and says where it is.
  void FillModList();
  // Fills "Mod Database" afresh; returns the messages that FillModList shows.
  std::vector<std::string> RefillModList();
  // Start-up steps 15 to 19.
  bool ReadCharacterTables();
  // Start-up step 20: loads the icon map.
  void ReadIconMap();

  // Runs `steps` as one operation named `name` (such as "installation into
  // place 3") under the journal. Before anything is changed the managed
  // files are checked against the record; a changed one refuses the whole
  // operation. When the steps succeed the record is brought up to date as
  // `rule` says, in the same operation, and the operation commits. When a step fails, everything is
  // undone and the in-memory state read again. Returns the failure, already
  // worded for the user after `heading`, or Ok.
  enum class RecordRule {
    kCheckThenTake,  // refuse changed files; record what the operation changed
    kCheckThenDrop,  // refuse changed files; the record goes (a revert)
    kTakeAll,        // no check; record every managed file anew (adopting an update)
  };
  Status RunOperation(const std::string& name, const std::string& heading,
                      const std::function<Status()>& steps,
                      RecordRule rule = RecordRule::kCheckThenTake);
  // The first part of adopting: every place's layers taken out, the changed
  // files taken as backups, the game prepared again with every place empty.
  Status TakeGameFiles(const std::vector<ChangedFile>& changed);
  // Reads the slot tables, "Game Chars" and the icon map again from the
  // game folder, after an operation was undone.
  void ReloadGameState();

  // One message: `heading`, then each failure on a line of its own. Nothing
  // when the list is empty.
  void ReportFailures(const std::string& heading, const std::vector<Status>& failures);
  // Gives place `n` (1 to 10) its placeholder back: record, collection
  // entry, marker blocks, icons, stored files and, with `releaseSlots`, its
  // slot entries; refills "Game Chars". Shows nothing; returns the first
  // failure. `store` gets what taking its files out did.
  Status EmptyPlace(int n, bool releaseSlots, StoreReport* store);
  // Sentences that name other places' files, one per place: `verb` ("It
  // covers"), the count, the place's character and place number, and at
  // most five of the paths. Each begins on a new line; "" for none.
  std::string PlaceFilesText(const std::string& verb, const std::vector<PlaceFiles>& places) const;
  // "Beta (place 6)", or "place 6" when "Game Chars" shows no name there.
  std::string PlaceName(int place) const;
  // CoverInfo's text for what a package's files would cover.
  std::string CoverText(const CoverPreview& preview) const;
  // The icons that installing `package` places, main icon first (the
  // program's default when the package has none).
  std::vector<std::string> IconPaths(const std::string& package, const ModPackageInfo& info) const;
  // The paths below the game folder that a package's files tree would write
  // into and that belong to the program or the game's managed files; each
  // as a sentence for the refusal message.
  std::vector<std::string> CheckPackageFiles(const std::string& packageFolder);
  bool IsChanged(const std::string& managedPath) const;

  // Rosters and reinstalling (installer/rosters.cpp).
  // A package read and checked for installing: what InstallSteps needs.
  struct InstallPlan {
    std::string package;  // the package folder
    ModPackageInfo info;
    std::string icon;     // the main icon's image
  };
  // Reads and checks `package` as "Add -->" does before anything changes,
  // against the slot `tables`. Returns the refusal message ("Character
  // cannot install. ..."), or "" with `*plan` filled.
  std::string CheckInstallable(const std::string& package, const SlotTables& tables,
                               InstallPlan* plan);
  // The steps of an installation into place `n` (1 to 10), inside an
  // operation: the place emptied (its slots kept), then the package's
  // collection entry, blocks, slots, record, files and icons.
  Status InstallSteps(int n, const InstallPlan& plan, StoreReport* store);
  // Runs `steps` with the icon page's edits gathered, then makes them in
  // one cycle of the page (when the steps succeeded).
  Status WithIconEditsGathered(const std::function<Status()>& steps);
  // Whether `folder` is a package folder that can be installed from: a
  // folder with a readable modfile.ini.
  bool IsPackage(const std::string& folder);
  // Which package each place holds, by its store list: the folder name, ""
  // for an empty place; `unknown` for a place holding a character whose
  // package is not recorded.
  struct PlaceHolding {
    std::string package;
    bool unknown = false;
  };
  std::array<PlaceHolding, kPlaceCount> PlaceHoldings();
  // Empties the places marked in `change` and fills each with its entry of
  // `packages` (a folder name under mods; "" leaves it empty), checked
  // first and run as one operation `name`; the icon page changes once.
  // Shows one message: what the check refused under `refused`, the
  // operation's failure under `failed`, or what was done under `done`.
  bool ChangePlaces(const std::array<std::string, kPlaceCount>& packages,
                    const std::array<bool, kPlaceCount>& change, const std::string& name,
                    const std::string& failed, const std::string& refused,
                    const std::string& done);
  // Asks whether to install the new version of package `folder` (a folder
  // name under mods) in the places that hold it, and does so on Yes.
  void OfferReinstall(const std::string& folder);
  // After the start-up: offers each installed package whose folder changed
  // since it was installed (its fingerprint differs from the recorded one).
  void OfferChangedPackages();
  // While set, icon page edits are gathered here instead of made one cycle
  // at a time.
  std::vector<CellEdit>* icon_edits_ = nullptr;

  Journal journal_;
  Platform& platform_;  // the journal, over the system's platform
  GameLock game_lock_;
  // How far the operation under way is; null between operations.
  Progress* progress_ = nullptr;
  bool said_game_runs_ = false;
  View& view_;
  std::string game_folder_;
  ProgramFolders folders_;
  std::string program_folder_;  // the program's own files (data/, tools/)
  std::vector<std::string> mod_folder_list_;
  int mod_count_ = 0;
  IconMap icon_map_;
  SlotTables slot_tables_;
  std::vector<std::string> game_char_rows_;  // what "Game Chars" shows
  ManagedRecord record_;
  std::vector<ChangedFile> changed_files_;
};

}  // namespace korva
