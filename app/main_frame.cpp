#include "app/main_frame.h"

#include <wx/display.h>
#include <wx/dnd.h>
#include <wx/filename.h>
#include <wx/choicdlg.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/settings.h>
#include <wx/stopwatch.h>
#include <wx/textdlg.h>
#include <wx/utils.h>

#include <algorithm>

#include "app/window_place.h"
#include "app/wx_text.h"

// Identifiers from the toolkit's allocator, taken once at program start.
const wxWindowID KorvaQuorinZIDFrame::ID_PANEL1 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_PANEL3 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_STATICTEXT1 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_LISTBOX1 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_PANEL4 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_BUTTON1 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_BUTTON2 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_PANEL5 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_STATICTEXT2 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_LISTBOX2 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_PANEL2 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_STATICTEXT3 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_STATICTEXT4 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_STATICTEXT5 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_PANEL6 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_STATICTEXT6 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_STATICTEXT7 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_STATICTEXT8 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_STATICTEXT9 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_STATICTEXT10 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::idMenuRevert = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::idMenuQuit = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::idMenuAbout = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::ID_STATUSBAR1 = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::idMenuSaveRoster = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::idMenuDeleteRoster = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::idMenuShareRoster = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::idMenuImportMods = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::idMenuOpenModsFolder = wxNewId();
const wxWindowID KorvaQuorinZIDFrame::idMenuOpenGameFolder = wxNewId();

BEGIN_EVENT_TABLE(KorvaQuorinZIDFrame, wxFrame)
END_EVENT_TABLE()

namespace {

constexpr int kItemFlags = wxALL | wxALIGN_CENTER_HORIZONTAL | wxALIGN_CENTER_VERTICAL;
// The lists, their panels and the filter take the room the window gains.
constexpr int kGrowFlags = wxALL | wxEXPAND;
// Where a long description or cover line wraps.
constexpr int kWrapWidth = 380;
constexpr int kBorder = 5;
// An import shows its progress once it has run this long, and updates the
// dialog at most this often.
constexpr long kProgressAfterMs = 1000;
constexpr long kProgressEveryMs = 50;

// Files and folders dropped on the window are imported once the drop is
// over, so the program they came from is not kept waiting.
class ImportDropTarget : public wxFileDropTarget {
 public:
  explicit ImportDropTarget(KorvaQuorinZIDFrame* frame) : frame_(frame) {}
  bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& paths) override {
    KorvaQuorinZIDFrame* frame = frame_;
    frame->CallAfter([frame, paths] { frame->ImportDropped(paths); });
    return true;
  }

 private:
  KorvaQuorinZIDFrame* frame_;
};

// Shows the normal cursor for as long as it lives, over any busy cursor that
// an operation holds, and gives the busy cursor back as many times as it was
// taken. (wx's own suspender needs the stored cursor, which not every port
// keeps.)
class NormalCursor {
 public:
  NormalCursor() {
    while (wxIsBusy()) {
      wxEndBusyCursor();
      ++depth_;
    }
  }
  ~NormalCursor() {
    for (int i = 0; i < depth_; ++i) wxBeginBusyCursor();
  }
  NormalCursor(const NormalCursor&) = delete;
  NormalCursor& operator=(const NormalCursor&) = delete;

 private:
  int depth_ = 0;
};

// Gives a panel its sizer, fits the sizer to the panel and takes the
// panel's size hints from it.
void UseSizer(wxPanel* panel, wxSizer* sizer) {
  panel->SetSizer(sizer);
  sizer->Fit(panel);
  sizer->SetSizeHints(panel);
}

}  // namespace

KorvaQuorinZIDFrame::KorvaQuorinZIDFrame(wxWindow* parent, wxWindowID id,
                                         korva::Platform& platform)
    : platform_(platform) {
  Create(parent, id, "Korva Quorin ZID - v0.1.2", wxDefaultPosition, wxDefaultSize,
         wxDEFAULT_FRAME_STYLE, "wxID_ANY");
  // The panels sit straight in the frame, which shows between them: in the
  // panels' colour on every system (Windows would give the frame its dark
  // workspace colour).
  SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
  // Grids as laid out at the fitted size; the first row, with the lists,
  // takes the height the window gains, and the lists take its width.
  wxFlexGridSizer* topSizer = new wxFlexGridSizer(3, 0, 0, 0);
  topSizer->AddGrowableRow(0);
  topSizer->AddGrowableCol(0);

  // The two lists with the buttons between them.
  Panel1 = new wxPanel(this, ID_PANEL1, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL,
                       "ID_PANEL1");
  wxFlexGridSizer* listsSizer = new wxFlexGridSizer(0, 3, 0, 0);
  listsSizer->AddGrowableRow(0);
  listsSizer->AddGrowableCol(0);
  listsSizer->AddGrowableCol(2);

  Panel3 = new wxPanel(Panel1, ID_PANEL3, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL,
                       "ID_PANEL3");
  // The heading, the filter over the list, the list.
  wxFlexGridSizer* modsSizer = new wxFlexGridSizer(3, 0, 0, 0);
  modsSizer->AddGrowableRow(2);
  modsSizer->AddGrowableCol(0);
  StaticText1 = new wxStaticText(Panel3, ID_STATICTEXT1, "Mod Database", wxDefaultPosition,
                                 wxDefaultSize, 0, "ID_STATICTEXT1");
  modsSizer->Add(StaticText1, 1, kItemFlags, kBorder);
  ModFilter = new wxTextCtrl(Panel3, wxID_ANY, wxEmptyString, wxDefaultPosition,
                             FromDIP(wxSize(132, -1)), 0, wxDefaultValidator, "mod_filter");
  ModFilter->SetHint("Filter");
  ModFilter->SetToolTip("Shows only the mods whose name or folder name holds this text. "
                        "Escape clears it.");
  modsSizer->Add(ModFilter, 1, wxLEFT | wxRIGHT | wxEXPAND, kBorder);
  ListBox1 = new wxListBox(Panel3, ID_LISTBOX1, wxDefaultPosition, FromDIP(wxSize(132, 66)), 0,
                           nullptr, wxLB_SINGLE | wxLB_ALWAYS_SB, wxDefaultValidator, "ID_LISTBOX1");
  modsSizer->Add(ListBox1, 1, kGrowFlags, kBorder);
  UseSizer(Panel3, modsSizer);
  listsSizer->Add(Panel3, 1, kGrowFlags, kBorder);

  Panel4 = new wxPanel(Panel1, ID_PANEL4, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL,
                       "ID_PANEL4");
  wxGridSizer* buttonsSizer = new wxGridSizer(2, 0, 5, 0);
  Button1 = new wxButton(Panel4, ID_BUTTON1, "<-- Delete", wxDefaultPosition, wxDefaultSize, 0,
                         wxDefaultValidator, "ID_BUTTON1");
  buttonsSizer->Add(Button1, 1, kItemFlags, kBorder);
  Button2 = new wxButton(Panel4, ID_BUTTON2, "Add -->", wxDefaultPosition, wxDefaultSize, 0,
                         wxDefaultValidator, "ID_BUTTON2");
  buttonsSizer->Add(Button2, 1, kItemFlags, kBorder);
  UseSizer(Panel4, buttonsSizer);
  listsSizer->Add(Panel4, 1, kItemFlags, kBorder);

  Panel5 = new wxPanel(Panel1, ID_PANEL5, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL,
                       "ID_PANEL5");
  wxFlexGridSizer* charsSizer = new wxFlexGridSizer(2, 0, 0, 0);
  charsSizer->AddGrowableRow(1);
  charsSizer->AddGrowableCol(0);
  StaticText2 = new wxStaticText(Panel5, ID_STATICTEXT2, "Game Chars", wxDefaultPosition,
                                 wxDefaultSize, 0, "ID_STATICTEXT2");
  charsSizer->Add(StaticText2, 1, kItemFlags, kBorder);
  ListBox2 = new wxListBox(Panel5, ID_LISTBOX2, wxDefaultPosition, FromDIP(wxSize(132, 66)), 0,
                           nullptr, wxLB_SINGLE | wxLB_ALWAYS_SB, wxDefaultValidator, "ID_LISTBOX2");
  charsSizer->Add(ListBox2, 1, kGrowFlags, kBorder);
  UseSizer(Panel5, charsSizer);
  listsSizer->Add(Panel5, 1, kGrowFlags, kBorder);

  UseSizer(Panel1, listsSizer);
  topSizer->Add(Panel1, 1, kGrowFlags, kBorder);

  // The selected mod's name and description and what its files cover;
  // beside them the pictures of the selected package or place.
  Panel2 = new wxPanel(this, ID_PANEL2, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL,
                       "ID_PANEL2");
  wxFlexGridSizer* infoSizer = new wxFlexGridSizer(4, 0, 0, 0);
  StaticText3 = new wxStaticText(Panel2, ID_STATICTEXT3, "Mod Name:", wxDefaultPosition,
                                 wxDefaultSize, 0, "ID_STATICTEXT3");
  infoSizer->Add(StaticText3, 1, wxALL | wxALIGN_CENTER_VERTICAL, kBorder);
  StaticText4 = new wxStaticText(Panel2, ID_STATICTEXT4, "Mod Description:", wxDefaultPosition,
                                 FromDIP(wxSize(383, 55)), 0, "ID_STATICTEXT4");
  infoSizer->Add(StaticText4, 1, kItemFlags, kBorder);
  StaticText5 = new wxStaticText(Panel2, ID_STATICTEXT5, wxEmptyString, wxDefaultPosition,
                                 wxDefaultSize, 0, "ID_STATICTEXT5");
  infoSizer->Add(StaticText5, 1, kItemFlags, kBorder);
  CoverLine = new wxStaticText(Panel2, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                               0, "cover_line");
  // Room for two lines; a longer text is cut (its tooltip has it all).
  CoverLine->SetMinSize(wxSize(FromDIP(kWrapWidth), 2 * CoverLine->GetCharHeight()));
  infoSizer->Add(CoverLine, 1, wxALL | wxALIGN_CENTER_VERTICAL, kBorder);
  wxBoxSizer* infoRow = new wxBoxSizer(wxHORIZONTAL);
  infoRow->Add(infoSizer, 0, wxALIGN_TOP);
  Pictures = new IconStrip(Panel2, platform);
  infoRow->Add(Pictures, 0, wxALL | wxALIGN_TOP, kBorder);
  UseSizer(Panel2, infoRow);
  topSizer->Add(Panel2, 1, kItemFlags, kBorder);

  // The free slots of each kind.
  Panel6 = new wxPanel(this, ID_PANEL6, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL,
                       "ID_PANEL6");
  wxGridSizer* slotsSizer = new wxGridSizer(2, 0, 0, 0);
  StaticText6 = new wxStaticText(Panel6, ID_STATICTEXT6, "Additional Slots Available:",
                                 wxDefaultPosition, FromDIP(wxSize(273, 13)), 0, "ID_STATICTEXT6");
  slotsSizer->Add(StaticText6, 1, kItemFlags, kBorder);
  wxFlexGridSizer* labelsSizer = new wxFlexGridSizer(2, 2, 0, 0);
  StaticText7 = new wxStaticText(Panel6, ID_STATICTEXT7, "Label", wxDefaultPosition,
                                 FromDIP(wxSize(127, 13)), 0, "ID_STATICTEXT7");
  labelsSizer->Add(StaticText7, 1, kItemFlags, kBorder);
  StaticText8 = new wxStaticText(Panel6, ID_STATICTEXT8, "Label", wxDefaultPosition,
                                 FromDIP(wxSize(123, 13)), 0, "ID_STATICTEXT8");
  labelsSizer->Add(StaticText8, 1, kItemFlags, kBorder);
  StaticText9 = new wxStaticText(Panel6, ID_STATICTEXT9, "Label", wxDefaultPosition,
                                 FromDIP(wxSize(127, 13)), 0, "ID_STATICTEXT9");
  labelsSizer->Add(StaticText9, 1, kItemFlags, kBorder);
  StaticText10 = new wxStaticText(Panel6, ID_STATICTEXT10, "M: ", wxDefaultPosition,
                                  FromDIP(wxSize(122, 13)), 0, "ID_STATICTEXT10");
  labelsSizer->Add(StaticText10, 1, kItemFlags, kBorder);
  slotsSizer->Add(labelsSizer, 1, kItemFlags, kBorder);
  UseSizer(Panel6, slotsSizer);
  topSizer->Add(Panel6, 1, kItemFlags, kBorder);
  SetSizer(topSizer);

  wxMenuBar* menuBar = new wxMenuBar();
  wxMenu* fileMenu = new wxMenu();
  fileMenu->Append(idMenuImportMods, ToWx("Import mods\u2026"),
                   "Import mod archives into Mod Database");
  fileMenu->Append(idMenuOpenModsFolder, "Open mods folder",
                   "Show the mods folder in the file manager");
  fileMenu->Append(idMenuOpenGameFolder, "Open game folder",
                   "Show the game folder in the file manager");
  fileMenu->AppendSeparator();
  fileMenu->Append(new wxMenuItem(fileMenu, idMenuRevert, "Revert", "Revert to original",
                                  wxITEM_NORMAL));
  fileMenu->Append(new wxMenuItem(fileMenu, idMenuQuit, "Quit\tAlt-F4", "Quit the application",
                                  wxITEM_NORMAL));
  menuBar->Append(fileMenu, "&File");
  // Rosters: which package each place holds, saved under a name.
  wxMenu* rostersMenu = new wxMenu();
  rostersMenu->Append(idMenuSaveRoster, "Save roster...",
                      "Save which mod package each place holds as a roster");
  apply_roster_menu_ = new wxMenu();
  rostersMenu->AppendSubMenu(apply_roster_menu_, "Apply",
                             "Make the places hold what a roster names");
  rostersMenu->Append(idMenuShareRoster, "Share roster...",
                      "Write a roster and its mod packages as one zip for another computer");
  rostersMenu->Append(idMenuDeleteRoster, "Delete roster...", "Delete a saved roster");
  menuBar->Append(rostersMenu, "&Rosters");
  wxMenu* helpMenu = new wxMenu();
  helpMenu->Append(new wxMenuItem(helpMenu, idMenuAbout, "About\tF1",
                                  "Show info about this application", wxITEM_NORMAL));
  menuBar->Append(helpMenu, "Help");
  SetMenuBar(menuBar);

  StatusBar1 = new wxStatusBar(this, ID_STATUSBAR1, 0, "ID_STATUSBAR1");
  const int widths[1] = {-1};
  const int styles[1] = {wxSB_NORMAL};
  StatusBar1->SetFieldsCount(1, widths);
  StatusBar1->SetStatusStyles(1, styles);
  SetStatusBar(StatusBar1);

  topSizer->Fit(this);
  topSizer->SetSizeHints(this);

  manager_ = std::make_unique<korva::ModManager>(platform, *this);
  RestoreWindowPlace();

  Bind(wxEVT_LISTBOX, &KorvaQuorinZIDFrame::OnModSelected, this, ID_LISTBOX1);
  Bind(wxEVT_BUTTON, &KorvaQuorinZIDFrame::OnDelete, this, ID_BUTTON1);
  Bind(wxEVT_BUTTON, &KorvaQuorinZIDFrame::OnAdd, this, ID_BUTTON2);
  Bind(wxEVT_MENU, &KorvaQuorinZIDFrame::OnQuit, this, idMenuQuit);
  Bind(wxEVT_MENU, &KorvaQuorinZIDFrame::OnRevert, this, idMenuRevert);
  Bind(wxEVT_MENU, &KorvaQuorinZIDFrame::OnAbout, this, idMenuAbout);
  Bind(wxEVT_MENU, &KorvaQuorinZIDFrame::OnSaveRoster, this, idMenuSaveRoster);
  Bind(wxEVT_MENU, &KorvaQuorinZIDFrame::OnDeleteRoster, this, idMenuDeleteRoster);
  Bind(wxEVT_MENU, &KorvaQuorinZIDFrame::OnShareRoster, this, idMenuShareRoster);
  RefreshRosterMenu();
  Bind(wxEVT_LISTBOX, &KorvaQuorinZIDFrame::OnPlaceSelected, this, ID_LISTBOX2);
  Bind(wxEVT_LISTBOX_DCLICK, &KorvaQuorinZIDFrame::OnModActivated, this, ID_LISTBOX1);
  ModFilter->Bind(wxEVT_TEXT, &KorvaQuorinZIDFrame::OnFilterText, this);
  ModFilter->Bind(wxEVT_CHAR_HOOK, &KorvaQuorinZIDFrame::OnFilterKey, this);
  ListBox1->Bind(wxEVT_CHAR_HOOK, &KorvaQuorinZIDFrame::OnModKey, this);
  ListBox2->Bind(wxEVT_CHAR_HOOK, &KorvaQuorinZIDFrame::OnPlaceKey, this);
  Bind(wxEVT_MENU, &KorvaQuorinZIDFrame::OnImportMods, this, idMenuImportMods);
  Bind(wxEVT_MENU, &KorvaQuorinZIDFrame::OnOpenModsFolder, this, idMenuOpenModsFolder);
  Bind(wxEVT_MENU, &KorvaQuorinZIDFrame::OnOpenGameFolder, this, idMenuOpenGameFolder);
  Bind(wxEVT_CLOSE_WINDOW, &KorvaQuorinZIDFrame::OnClose, this);
  Bind(wxEVT_SIZE, &KorvaQuorinZIDFrame::OnMoveOrSize, this);
  Bind(wxEVT_MOVE, &KorvaQuorinZIDFrame::OnMoveOrSize, this);

  // A drop anywhere on the window imports: on the frame, its panels and
  // the two lists.
  for (wxWindow* window : std::initializer_list<wxWindow*>{this, Panel1, Panel2, Panel3, Panel4,
                                                           Panel5, Panel6, ListBox1, ListBox2}) {
    window->SetDropTarget(new ImportDropTarget(this));
  }
}

KorvaQuorinZIDFrame::~KorvaQuorinZIDFrame() = default;

void KorvaQuorinZIDFrame::StartUp() {
  manager_->StartUp();
  RefreshRosterMenu();
}

void KorvaQuorinZIDFrame::OnModSelected(wxCommandEvent&) {
  const int row = ModRowOf(ListBox1->GetSelection());
  manager_->ShowModInfo(row);
  if (row < 0) return;
  subject_ = Subject::kMod;
  subject_mod_ = manager_->mod_folder_list()[static_cast<size_t>(row)];
  ShowSelection();
}

void KorvaQuorinZIDFrame::OnDelete(wxCommandEvent&) {
  {
    wxBusyCursor busy;
    manager_->DeleteCharacter(ListBox2->GetSelection() + 1, true);
  }
  ShowSelection();
}

void KorvaQuorinZIDFrame::OnAdd(wxCommandEvent&) {
  {
    wxBusyCursor busy;
    manager_->InstallCharacter(ModRowOf(ListBox1->GetSelection()), ListBox2->GetSelection());
  }
  ShowSelection();
}

void KorvaQuorinZIDFrame::ImportDropped(const wxArrayString& paths) {
  std::vector<std::string> sources;
  for (const wxString& path : paths) sources.push_back(FromWx(path));
  wxBusyCursor busy;
  wxStopWatch watch;
  long shown_at = -kProgressEveryMs;
  auto progress = [this, &watch, &shown_at](double done, const std::string& doing) {
    const long now = watch.Time();
    if (now < kProgressAfterMs || now - shown_at < kProgressEveryMs) return true;
    shown_at = now;
    const int value = static_cast<int>(done * 1000);
    if (!import_progress_) {
      import_progress_ = std::make_unique<wxGenericProgressDialog>(
          "Import", ToWx(doing), 1000, this,
          wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_AUTO_HIDE | wxPD_ELAPSED_TIME);
    }
    return import_progress_->Update(std::min(value, 999), ToWx(doing));
  };
  manager_->ImportMods(sources, progress);
  import_progress_.reset();
  RefreshRosterMenu();  // a shared roster's archive brings a roster
  ShowSelection();
}

void KorvaQuorinZIDFrame::OnQuit(wxCommandEvent&) { Close(); }

void KorvaQuorinZIDFrame::OnRevert(wxCommandEvent&) {
  wxBusyCursor busy;
  manager_->RevertGameFiles();
}

void KorvaQuorinZIDFrame::OnSaveRoster(wxCommandEvent&) {
  manager_->AskAndSaveRoster();
  RefreshRosterMenu();
}

void KorvaQuorinZIDFrame::OnApplyRoster(wxCommandEvent& event) {
  auto item = roster_items_.find(event.GetId());
  if (item == roster_items_.end()) return;
  const std::string name = item->second;
  {
    wxBusyCursor busy;
    manager_->ApplyRoster(name);
  }
  ShowSelection();
}

void KorvaQuorinZIDFrame::OnDeleteRoster(wxCommandEvent&) {
  manager_->AskAndDeleteRoster();
  RefreshRosterMenu();
}

void KorvaQuorinZIDFrame::OnShareRoster(wxCommandEvent&) {
  wxBusyCursor busy;
  manager_->AskAndExportRoster();
}

void KorvaQuorinZIDFrame::RefreshRosterMenu() {
  for (const auto& [id, name] : roster_items_) {
    Unbind(wxEVT_MENU, &KorvaQuorinZIDFrame::OnApplyRoster, this, id);
  }
  roster_items_.clear();
  while (apply_roster_menu_->GetMenuItemCount() > 0) {
    apply_roster_menu_->Destroy(apply_roster_menu_->FindItemByPosition(0));
  }
  const std::vector<std::string> names = manager_->RosterNames();
  if (names.empty()) {
    apply_roster_menu_->Append(wxID_ANY, "(no rosters saved)")->Enable(false);
    return;
  }
  for (const std::string& name : names) {
    wxMenuItem* item = apply_roster_menu_->Append(wxID_ANY, ToWx(name), ToWx("Apply the roster \"" + name + "\""));
    roster_items_[item->GetId()] = name;
    Bind(wxEVT_MENU, &KorvaQuorinZIDFrame::OnApplyRoster, this, item->GetId());
  }
}

void KorvaQuorinZIDFrame::OnAbout(wxCommandEvent&) {
  wxMessageBox(
      "Korva Quorin Character Mod Manager - v0.1.2\n"
      "Made by the Korva Quorin ZID team, for everyone who plays Korva Quorin.",
      "Welcome to...", wxOK | wxCENTRE);
}

// Dialogs show the normal cursor while an operation holds the busy one.
void KorvaQuorinZIDFrame::ShowMessage(const std::string& text) {
  import_progress_.reset();  // the message ends an import's work
  // A message within an operation hides its progress until it goes on.
  operation_progress_.reset();
  NormalCursor normalCursor;
  wxMessageBox(ToWx(text), wxMessageBoxCaptionStr, wxOK | wxCENTRE);
}

bool KorvaQuorinZIDFrame::AskYesNo(const std::string& text, const std::string& caption) {
  NormalCursor normalCursor;
  wxMessageDialog dialog(nullptr, ToWx(text), ToWx(caption),
                         wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION);
  return dialog.ShowModal() == wxID_YES;
}

bool KorvaQuorinZIDFrame::AskForGameFolder(const std::string& defaultFolder,
                                           const std::string& defaultFile, std::string* folder) {
  wxFileDialog dialog(this, "Point to KORVAQUORIN.exe", ToWx(defaultFolder), ToWx(defaultFile),
                      "Exe (KORVAQUORIN.exe)|KORVAQUORIN.exe", wxFD_OPEN);
  if (dialog.ShowModal() != wxID_OK) return false;
  *folder = FromWx(dialog.GetDirectory());
  return true;
}

bool KorvaQuorinZIDFrame::AskForText(const std::string& text, const std::string& caption,
                                     std::string* answer) {
  NormalCursor normalCursor;
  wxTextEntryDialog dialog(this, ToWx(text), ToWx(caption));
  if (dialog.ShowModal() != wxID_OK) return false;
  *answer = FromWx(dialog.GetValue());
  return true;
}

bool KorvaQuorinZIDFrame::ChooseFromList(const std::string& text, const std::string& caption,
                                         const std::vector<std::string>& choices, int* chosen) {
  NormalCursor normalCursor;
  wxArrayString items;
  for (const std::string& choice : choices) items.Add(ToWx(choice));
  wxSingleChoiceDialog dialog(this, ToWx(text), ToWx(caption), items);
  if (dialog.ShowModal() != wxID_OK) return false;
  *chosen = dialog.GetSelection();
  return true;
}

bool KorvaQuorinZIDFrame::AskForSavePath(const std::string& caption, const std::string& defaultName,
                                         std::string* path) {
  NormalCursor normalCursor;
  wxFileDialog dialog(this, ToWx(caption), wxEmptyString, ToWx(defaultName), "Zip archive (*.zip)|*.zip",
                      wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (dialog.ShowModal() != wxID_OK) return false;
  // GTK's GetPath is empty for a dialog answered by a test: then its folder
  // and name (which are not what the user typed in a real dialog).
  const wxString chosen = dialog.GetPath();
  *path = FromWx(!chosen.empty() ? chosen : wxFileName(dialog.GetDirectory(), dialog.GetFilename()).GetFullPath());
  return true;
}

void KorvaQuorinZIDFrame::SetModRows(const std::vector<std::string>& rows) {
  // The packages may have changed: their icons are read afresh.
  Pictures->Forget();
  const std::vector<std::string>& folders = manager_->mod_folder_list();
  mod_rows_.clear();
  mod_keys_.clear();
  for (size_t i = 0; i < rows.size(); ++i) {
    mod_rows_.push_back(ToWx(rows[i]));
    const std::string folder = i < folders.size() ? korva::BaseName(folders[i]) : "";
    mod_keys_.push_back((mod_rows_.back() + "\n" + ToWx(folder)).Lower());
  }
  // The list is filled anew, without a selection.
  ListBox1->SetSelection(wxNOT_FOUND);
  ApplyFilter();
}

void KorvaQuorinZIDFrame::SetGameCharRows(const std::vector<std::string>& rows) {
  ListBox2->Clear();
  for (const std::string& row : rows) ListBox2->Append(ToWx(row));
}

void KorvaQuorinZIDFrame::SetSlotLabel(korva::SlotKind kind, const std::string& text) {
  wxStaticText* labels[] = {StaticText8, StaticText7, StaticText9, StaticText10};
  labels[static_cast<int>(kind)]->SetLabelText(ToWx(text));
}

void KorvaQuorinZIDFrame::SetModName(const std::string& text) {
  StaticText3->SetLabelText(ToWx(text));
}

void KorvaQuorinZIDFrame::SetModDescription(const std::string& text) {
  StaticText4->SetLabelText(ToWx(text));
  StaticText4->Wrap(FromDIP(kWrapWidth));
}

void KorvaQuorinZIDFrame::CloseWindow() { Close(); }

namespace {

// "12 of 345 MB" (the total left out when it is not known).
wxString Megabytes(uint64_t done, uint64_t total) {
  const auto mb = [](uint64_t bytes) { return std::to_string((bytes + (1 << 19)) >> 20); };
  return ToWx(total > 0 ? mb(done) + " of " + mb(total) + " MB" : "");
}

}  // namespace

bool KorvaQuorinZIDFrame::ShowProgress(uint64_t done, uint64_t total, const std::string& doing) {
  if (!operation_watch_) {
    operation_watch_ = std::make_unique<wxStopWatch>();
    // The first start runs before the main event loop: it gets one of its
    // own, so the window repaints meanwhile.
    if (wxEventLoopBase::GetActive() == nullptr) {
      operation_loop_.reset(new wxEventLoop());
      operation_loop_active_ = std::make_unique<wxEventLoopActivator>(operation_loop_.get());
    }
  }
  const wxString text = ToWx(doing) + "\n" + Megabytes(done, total);
  if (!operation_progress_ && operation_watch_->Time() < progress_delay_ms_) {
    // Repaints and timers only: no click reaches the window while the
    // operation runs.
    wxEventLoopBase::GetActive()->YieldFor(wxEVT_CATEGORY_UI | wxEVT_CATEGORY_TIMER);
    return true;
  }
  if (!operation_progress_) {
    NormalCursor normalCursor;
    operation_progress_ = std::make_unique<wxGenericProgressDialog>(
        "Korva Quorin ZID", text, 1000, this,
        wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_ELAPSED_TIME | wxPD_REMAINING_TIME);
  }
  const int value = static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 1000);
  const bool goOn = total == 0 ? operation_progress_->Pulse(text)
                               : operation_progress_->Update(std::min(value, 999), text);
  // The dialog lets its own events through (on Windows not the timers');
  // the window's repaints and timers go on as well.
  wxEventLoopBase::GetActive()->YieldFor(wxEVT_CATEGORY_UI | wxEVT_CATEGORY_TIMER);
  return goOn;
}

void KorvaQuorinZIDFrame::EndProgress() {
  operation_progress_.reset();
  operation_watch_.reset();
  operation_loop_active_.reset();
  operation_loop_.reset();
}

// The user's own files: the one place each that says where they are.
std::string KorvaQuorinZIDFrame::ConfigFolder() const { return manager_->folders().settings; }

std::string KorvaQuorinZIDFrame::ModsFolder() const { return manager_->folders().mods(); }

int KorvaQuorinZIDFrame::ModRowOf(int listRow) const {
  if (listRow < 0 || static_cast<size_t>(listRow) >= shown_mods_.size()) return -1;
  return shown_mods_[static_cast<size_t>(listRow)];
}

void KorvaQuorinZIDFrame::OnFilterText(wxCommandEvent&) { ApplyFilter(); }

void KorvaQuorinZIDFrame::ApplyFilter() {
  const wxString text = ModFilter->GetValue().Lower();
  const int selected = ModRowOf(ListBox1->GetSelection());
  shown_mods_.clear();
  wxArrayString rows;
  int reselect = wxNOT_FOUND;
  for (size_t i = 0; i < mod_keys_.size(); ++i) {
    if (!text.empty() && mod_keys_[i].find(text) == wxString::npos) continue;
    if (static_cast<int>(i) == selected) reselect = static_cast<int>(shown_mods_.size());
    shown_mods_.push_back(static_cast<int>(i));
    rows.Add(mod_rows_[i]);
  }
  ListBox1->Set(rows);
  // The selected package stays selected while the filter shows it.
  if (reselect != wxNOT_FOUND) ListBox1->SetSelection(reselect);
}

void KorvaQuorinZIDFrame::Press(wxButton* button) {
  wxCommandEvent event(wxEVT_BUTTON, button->GetId());
  event.SetEventObject(button);
  button->GetEventHandler()->ProcessEvent(event);
}

void KorvaQuorinZIDFrame::OnModActivated(wxCommandEvent&) { Press(Button2); }

void KorvaQuorinZIDFrame::OnModKey(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  if ((key == WXK_RETURN || key == WXK_NUMPAD_ENTER) && event.GetModifiers() == wxMOD_NONE) {
    Press(Button2);
  } else if (key == WXK_ESCAPE && !ModFilter->IsEmpty()) {
    ModFilter->Clear();
  } else {
    event.Skip();
  }
}

void KorvaQuorinZIDFrame::OnPlaceKey(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  if ((key == WXK_DELETE || key == WXK_NUMPAD_DELETE) && event.GetModifiers() == wxMOD_NONE) {
    Press(Button1);
  } else {
    event.Skip();
  }
}

void KorvaQuorinZIDFrame::OnFilterKey(wxKeyEvent& event) {
  if (event.GetKeyCode() == WXK_ESCAPE && !ModFilter->IsEmpty()) {
    ModFilter->Clear();  // sends the text event, which shows every row
  } else if (event.GetKeyCode() == WXK_DOWN && ListBox1->GetCount() > 0) {
    // Down from the filter goes to the list.
    ListBox1->SetFocus();
    if (ListBox1->GetSelection() == wxNOT_FOUND) {
      ListBox1->SetSelection(0);
      wxCommandEvent selected(wxEVT_LISTBOX, ID_LISTBOX1);
      selected.SetEventObject(ListBox1);
      selected.SetInt(0);
      ListBox1->GetEventHandler()->ProcessEvent(selected);
    }
  } else {
    event.Skip();
  }
}

void KorvaQuorinZIDFrame::OnPlaceSelected(wxCommandEvent&) {
  const int place = ListBox2->GetSelection();
  if (place == wxNOT_FOUND) return;
  subject_ = Subject::kPlace;
  subject_place_ = place;
  ShowSelection();
}

void KorvaQuorinZIDFrame::ShowSelection() {
  if (IsBeingDeleted() || manager_->game_folder().empty()) return;
  korva::SelectionInfo shown;
  if (subject_ == Subject::kMod) {
    const std::vector<std::string>& folders = manager_->mod_folder_list();
    const auto found = std::find(folders.begin(), folders.end(), subject_mod_);
    // A package gone from the list shows nothing.
    if (found != folders.end()) shown = manager_->ModSelection(static_cast<int>(found - folders.begin()));
  } else if (subject_ == Subject::kPlace) {
    shown = manager_->PlaceSelection(subject_place_);
  }
  Pictures->ShowIcons(shown.title, shown.icons);
  CoverLine->SetLabelText(ToWx(shown.covers));
  CoverLine->Wrap(FromDIP(kWrapWidth));
  const wxString wrapped = CoverLine->GetLabel();
  const size_t secondEnd = wrapped.find('\n', wrapped.find('\n') + 1);
  if (wrapped.find('\n') != wxString::npos && secondEnd != wxString::npos) {
    CoverLine->SetLabelText(wrapped.Left(secondEnd) + wxString::FromUTF8("\xe2\x80\xa6"));
  }
  CoverLine->SetToolTip(ToWx(shown.cover_details));
  Panel2->Layout();
}

void KorvaQuorinZIDFrame::OnImportMods(wxCommandEvent&) {
  wxFileDialog dialog(this, "Import mods", wxEmptyString, wxEmptyString,
                      "Mod archives|*.zip;*.ZIP;*.7z;*.7Z;*.rar;*.RAR;*.tar.gz;*.tgz;*.tar.bz2;"
                      "*.tar.xz;*.TAR.GZ;*.TGZ;*.TAR.BZ2;*.TAR.XZ|All files|*",
                      wxFD_OPEN | wxFD_MULTIPLE | wxFD_FILE_MUST_EXIST);
  if (dialog.ShowModal() != wxID_OK) return;
  wxArrayString paths;
  dialog.GetPaths(paths);
  ImportDropped(paths);
}

void KorvaQuorinZIDFrame::OnOpenModsFolder(wxCommandEvent&) {
  const std::string mods = ModsFolder();
  // An empty mods folder is made, for packages to be put in.
  if (!platform_.IsFolder(mods)) {
    korva::Status made = platform_.CreateFolder(mods);
    if (!made.ok()) {
      ShowMessage("The mods folder " + mods + " could not be made (" + made.message() + ").");
      return;
    }
  }
  OpenFolder(mods);
}

void KorvaQuorinZIDFrame::OnOpenGameFolder(wxCommandEvent&) {
  if (manager_->game_folder().empty()) {
    ShowMessage("No game folder has been chosen yet.");
    return;
  }
  OpenFolder(manager_->game_folder());
}

void KorvaQuorinZIDFrame::OpenFolder(const std::string& folder) {
  const wxString path = wxFileName::DirName(ToWx(platform_.NativePath(folder))).GetFullPath();
  if (!wxLaunchDefaultApplication(path)) {
    ShowMessage("The folder " + folder + " could not be shown: no file manager could be started.");
  }
}

void KorvaQuorinZIDFrame::RestoreWindowPlace() {
  normal_rect_ = GetRect();
  WindowPlace place;
  if (!ReadWindowPlace(platform_, ConfigFolder(), &place)) return;
  // A place off every screen (a screen since removed) is not taken. The
  // size is at most the screen's, never less than the layout needs.
  const bool placed = OnSomeScreen(place.rect);
  const int screen = placed ? wxDisplay::GetFromPoint(place.rect.GetTopLeft() + wxPoint(20, 10)) : 0;
  const wxSize room = wxDisplay(screen == wxNOT_FOUND ? 0 : screen).GetClientArea().GetSize();
  const wxSize size(std::max(std::min(place.rect.width, room.x), GetMinSize().x),
                    std::max(std::min(place.rect.height, room.y), GetMinSize().y));
  if (placed) {
    SetSize(wxRect(place.rect.GetPosition(), size));
  } else {
    SetSize(size);
  }
  normal_rect_ = GetRect();
  if (place.maximized) Maximize();
}

void KorvaQuorinZIDFrame::OnMoveOrSize(wxEvent& event) {
  if (!IsMaximized() && !IsIconized() && !IsFullScreen()) normal_rect_ = GetRect();
  event.Skip();
}

void KorvaQuorinZIDFrame::OnClose(wxCloseEvent& event) {
  WindowPlace place;
  place.maximized = IsMaximized();
  place.rect = place.maximized || IsIconized() ? normal_rect_ : GetRect();
  // A window place that cannot be kept is no reason to trouble anyone at
  // close: the next start opens at the fitted size.
  WriteWindowPlace(platform_, ConfigFolder(), place);
  event.Skip();
}
