// The main window: the two lists, the Add and Delete buttons, the mod name and
// description, the free-slot labels, the menus. It owns the core (ModManager)
// and is its View: handlers read a selection, call one core operation and
// show what it reports. Mod archives and package folders dropped anywhere on
// it are imported into "Mod Database".
//
// The lists take the room a larger window gains, and the window opens at
// the size and place it was closed at (app/window_place.h). A filter above
// "Mod Database" narrows its rows; the selected package's or place's icons
// (app/icon_strip.h) and a line on what its files cover are shown beside
// and under the description.
#pragma once

#include <wx/frame.h>
#include <wx/listbox.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/statusbr.h>
#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/progdlg.h>
#include <wx/stopwatch.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/windows_macros.h"

#include "app/icon_strip.h"
#include "installer/mod_manager.h"
#include "installer/view.h"
#include "platform/platform.h"

class KorvaQuorinZIDFrame : public wxFrame, public korva::View {
 public:
  explicit KorvaQuorinZIDFrame(wxWindow* parent, wxWindowID id = -1,
                               korva::Platform& platform = korva::SystemPlatform());
  ~KorvaQuorinZIDFrame() override;

  // Finds the game folder and runs the start-up steps (see ModManager).
  void StartUp();
  korva::ModManager& manager() { return *manager_; }
  // How long an operation runs before its progress dialog shows (about a
  // second; tests shorten it).
  void set_progress_delay_ms(long ms) { progress_delay_ms_ = ms; }
  // What a drop of files and folders on the window does: imports them under
  // the busy cursor, with a progress dialog (and its Cancel button) once the
  // work has taken a second, and shows what was imported and refused.
  void ImportDropped(const wxArrayString& paths);

  static const wxWindowID ID_PANEL1;
  static const wxWindowID ID_PANEL3;
  static const wxWindowID ID_STATICTEXT1;
  static const wxWindowID ID_LISTBOX1;
  static const wxWindowID ID_PANEL4;
  static const wxWindowID ID_BUTTON1;
  static const wxWindowID ID_BUTTON2;
  static const wxWindowID ID_PANEL5;
  static const wxWindowID ID_STATICTEXT2;
  static const wxWindowID ID_LISTBOX2;
  static const wxWindowID ID_PANEL2;
  static const wxWindowID ID_STATICTEXT3;
  static const wxWindowID ID_STATICTEXT4;
  static const wxWindowID ID_STATICTEXT5;
  static const wxWindowID ID_PANEL6;
  static const wxWindowID ID_STATICTEXT6;
  static const wxWindowID ID_STATICTEXT7;
  static const wxWindowID ID_STATICTEXT8;
  static const wxWindowID ID_STATICTEXT9;
  static const wxWindowID ID_STATICTEXT10;
  static const wxWindowID idMenuRevert;
  static const wxWindowID idMenuQuit;
  static const wxWindowID idMenuAbout;
  static const wxWindowID idMenuSaveRoster;
  static const wxWindowID idMenuDeleteRoster;
  static const wxWindowID idMenuShareRoster;
  // The Rosters menu's "Apply" submenu: one item per roster, by name.
  wxMenu* apply_roster_menu() const { return apply_roster_menu_; }
  static const wxWindowID ID_STATUSBAR1;
  static const wxWindowID idMenuImportMods;
  static const wxWindowID idMenuOpenModsFolder;
  static const wxWindowID idMenuOpenGameFolder;

  // Where the user's own files are: config.ini and the window's place
  // beside it, and the mod packages.
  std::string ConfigFolder() const;
  std::string ModsFolder() const;
  // The "Mod Database" row (as the core counts them) of row `listRow` of the
  // list as the filter shows it; -1 for none.
  int ModRowOf(int listRow) const;
  // The pictures of the selected package or place.
  IconStrip* icon_strip() const { return Pictures; }

 private:
  void OnModSelected(wxCommandEvent& event);
  void OnDelete(wxCommandEvent& event);
  void OnAdd(wxCommandEvent& event);
  void OnQuit(wxCommandEvent& event);
  void OnRevert(wxCommandEvent& event);
  void OnAbout(wxCommandEvent& event);
  void OnSaveRoster(wxCommandEvent& event);
  void OnApplyRoster(wxCommandEvent& event);
  void OnDeleteRoster(wxCommandEvent& event);
  void OnShareRoster(wxCommandEvent& event);
  // Fills the "Apply" submenu with the rosters of the program folder.
  void RefreshRosterMenu();

  // Selecting a "Game Chars" row shows that place's character.
  void OnPlaceSelected(wxCommandEvent& event);
  // Typing in the filter keeps the "Mod Database" rows whose name or folder
  // name holds the text, in any letter case.
  void OnFilterText(wxCommandEvent& event);
  void ApplyFilter();
  // Keys on the lists and the filter: Enter on a mod and a double click
  // press "Add -->", the Delete key on a place presses "<-- Delete",
  // Escape clears the filter.
  void OnModKey(wxKeyEvent& event);
  void OnPlaceKey(wxKeyEvent& event);
  void OnFilterKey(wxKeyEvent& event);
  void OnModActivated(wxCommandEvent& event);
  // Runs what a click on `button` runs.
  void Press(wxButton* button);
  // File > "Import mods…", "Open mods folder", "Open game folder".
  void OnImportMods(wxCommandEvent& event);
  void OnOpenModsFolder(wxCommandEvent& event);
  void OnOpenGameFolder(wxCommandEvent& event);
  void OpenFolder(const std::string& folder);
  // The pictures and cover line of the last selected package or place,
  // shown afresh (after an operation changed what they show).
  void ShowSelection();
  // The window's size and place: taken from the file at start, kept in it
  // at close; `normal_rect_` follows the window while it is neither
  // maximized nor minimized.
  void RestoreWindowPlace();
  void OnClose(wxCloseEvent& event);
  void OnMoveOrSize(wxEvent& event);

  // korva::View
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  bool AskForGameFolder(const std::string& defaultFolder, const std::string& defaultFile,
                        std::string* folder) override;
  bool AskForText(const std::string& text, const std::string& caption,
                  std::string* answer) override;
  bool ChooseFromList(const std::string& text, const std::string& caption,
                      const std::vector<std::string>& choices, int* chosen) override;
  bool AskForSavePath(const std::string& caption, const std::string& defaultName,
                      std::string* path) override;
  void SetModRows(const std::vector<std::string>& rows) override;
  void SetGameCharRows(const std::vector<std::string>& rows) override;
  void SetSlotLabel(korva::SlotKind kind, const std::string& text) override;
  void SetModName(const std::string& text) override;
  void SetModDescription(const std::string& text) override;
  void CloseWindow() override;
  // Long operations: the window keeps repainting (no input reaches it
  // meanwhile), and once an operation has taken a second a progress dialog
  // shows what it does, how far it is and the time left, with Cancel.
  bool ShowProgress(uint64_t done, uint64_t total, const std::string& doing) override;
  void EndProgress() override;

  wxPanel* Panel1;
  wxPanel* Panel2;
  wxPanel* Panel3;
  wxPanel* Panel4;
  wxPanel* Panel5;
  wxPanel* Panel6;
  wxStaticText* StaticText1;
  wxStaticText* StaticText2;
  wxStaticText* StaticText3;
  wxStaticText* StaticText4;
  wxStaticText* StaticText5;
  wxStaticText* StaticText6;
  wxStaticText* StaticText7;
  wxStaticText* StaticText8;
  wxStaticText* StaticText9;
  wxStaticText* StaticText10;
  wxListBox* ListBox1;
  wxListBox* ListBox2;
  wxButton* Button1;
  wxButton* Button2;
  wxStatusBar* StatusBar1;
  wxTextCtrl* ModFilter;
  wxStaticText* CoverLine;
  IconStrip* Pictures;

  korva::Platform& platform_;
  // "Mod Database" as the core lists it, and the row of each line the
  // filter shows.
  std::vector<wxString> mod_keys_;  // name and folder name, lower case
  std::vector<wxString> mod_rows_;
  std::vector<int> shown_mods_;
  // What the pictures show: the package (its folder) or the place last
  // selected.
  enum class Subject { kNone, kMod, kPlace };
  Subject subject_ = Subject::kNone;
  std::string subject_mod_;
  int subject_place_ = -1;
  wxRect normal_rect_;

  wxMenu* apply_roster_menu_ = nullptr;
  std::map<int, std::string> roster_items_;  // "Apply" item id to roster name

  std::unique_ptr<korva::ModManager> manager_;
  // Shown while an import that has run for a second goes on. wx's own
  // dialog on every system: Windows' native one would run on a thread of
  // its own, and the window does all its work on one.
  std::unique_ptr<wxGenericProgressDialog> import_progress_;
  // The same for an operation on the game: its dialog, how long it has run,
  // and an event loop of its own when it runs before the main one (the
  // first start).
  std::unique_ptr<wxGenericProgressDialog> operation_progress_;
  std::unique_ptr<wxStopWatch> operation_watch_;
  std::unique_ptr<wxEventLoopBase> operation_loop_;
  std::unique_ptr<wxEventLoopActivator> operation_loop_active_;
  long progress_delay_ms_ = 1000;

  DECLARE_EVENT_TABLE()
};
