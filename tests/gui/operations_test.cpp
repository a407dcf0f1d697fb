// "Add -->", "<-- Delete" and File > Revert in the window, on a sample game
// with the sample mod packages ("Mod Database" rows: 0 Brakka, 1 Orvak,
// 2 Grunt, 3 Imra).
#include <gmock/gmock.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <functional>
#include <map>

#include "sample/sample_game.h"
#include "tests/gui/gui_support.h"

namespace {

using korva::Snapshot;
using korva::Status;

constexpr int kGrunt = 2;
constexpr int kImra = 3;

// Counts the changes made to files while the window shows the busy cursor
// and while it does not.
class BusyWatch : public korva::TestPlatform {
 public:
  explicit BusyWatch(korva::Platform& base) : TestPlatform(base) {
    OnChange([this](korva::Op, const std::string&) {
      ++(wxIsBusy() ? busy_changes : idle_changes);
    });
  }
  int busy_changes = 0;
  int idle_changes = 0;
  void Reset() { busy_changes = idle_changes = 0; }
};

class OperationsWindowTest : public FrameTest {
 protected:
  ~OperationsWindowTest() override { DestroyFrame(); }  // before `watch` goes

  // The window started on the game, watched from the end of start-up on.
  void Start() {
    WriteConfig("KorvaPath=" + game.path() + "\r\n");
    frame_ = new KorvaQuorinZIDFrame(nullptr, -1, watch);
    frame_->Show();
    frame_->StartUp();
    watch.Reset();
  }

  // Sets both selections as a user would; -1 leaves a list without one.
  void Select(int modRow, int placeRow) {
    Find<wxListBox>("ID_LISTBOX1")->SetSelection(wxNOT_FOUND);
    Find<wxListBox>("ID_LISTBOX2")->SetSelection(wxNOT_FOUND);
    if (modRow >= 0) SelectRow("ID_LISTBOX1", modRow);
    if (placeRow >= 0) SelectRow("ID_LISTBOX2", placeRow);
  }

  // Presses a button and returns the one message box it shows.
  ShownMessage Press(const std::string& button) {
    ShownMessage shown;
    wxTEST_DIALOG(Click(button), ExpectMessage(&shown));
    return shown;
  }

  std::vector<std::string> Rows(const std::string& list) {
    std::vector<std::string> rows;
    wxListBox* box = Find<wxListBox>(list);
    for (unsigned i = 0; i < box->GetCount(); ++i) rows.push_back(box->GetString(i).ToStdString());
    return rows;
  }
  // "Game Chars" of a game without mod characters, with `changed` rows.
  static std::vector<std::string> CharRows(const std::map<int, std::string>& changed = {}) {
    std::vector<std::string> rows;
    for (int i = 0; i < 10; ++i) {
      rows.push_back(i < 9 ? "Mod_Char_0" + std::to_string(i + 1) + "\\" : "Mod_Char_10\\");
    }
    for (const auto& [row, text] : changed) rows[row] = text;
    return rows;
  }
  // The slot labels in the order C, A, F, M.
  std::vector<std::string> Labels() {
    std::vector<std::string> labels;
    for (const char* name : {"ID_STATICTEXT8", "ID_STATICTEXT7", "ID_STATICTEXT9", "ID_STATICTEXT10"}) {
      labels.push_back(Find<wxStaticText>(name)->GetLabel().ToStdString());
    }
    return labels;
  }
  // Every text of the window's own controls: every static text and list
  // row, and the selection of "Mod Database".
  std::vector<std::string> Screen() {
    std::vector<std::string> screen = {frame_->GetTitle().ToStdString()};
    std::vector<wxWindow*> queue = {frame_};
    while (!queue.empty()) {
      wxWindow* window = queue.back();
      queue.pop_back();
      for (wxWindow* child : window->GetChildren()) queue.push_back(child);
      std::string name = window->GetName().ToStdString();
      if (name.rfind("ID_", 0) != 0) continue;
      if (auto* text = dynamic_cast<wxStaticText*>(window)) {
        screen.push_back(name + ": " + text->GetLabel().ToStdString());
      }
      if (auto* list = dynamic_cast<wxListBox*>(window)) {
        for (const std::string& row : Rows(name)) screen.push_back(name + " row: " + row);
      }
    }
    screen.push_back("selected mod " + std::to_string(Find<wxListBox>("ID_LISTBOX1")->GetSelection()));
    return screen;
  }

  // A static text's label, lines wrapped to its width joined again.
  std::string Text(const std::string& name) {
    wxString label = Find<wxStaticText>(name)->GetLabel();
    label.Replace("\n", " ");
    return label.ToStdString();
  }
  // Sends a key as it reaches the control `name` first.
  void Key(const std::string& name, int key) {
    wxWindow* control = Find<wxWindow>(name);
    wxKeyEvent event(wxEVT_CHAR_HOOK);
    event.m_keyCode = key;
    event.SetEventObject(control);
    control->GetEventHandler()->ProcessEvent(event);
  }
  void DoubleClick(int modRow) {
    wxListBox* list = Find<wxListBox>("ID_LISTBOX1");
    wxCommandEvent event(wxEVT_LISTBOX_DCLICK, list->GetId());
    event.SetEventObject(list);
    event.SetInt(modRow);
    list->GetEventHandler()->ProcessEvent(event);
  }

  BusyWatch watch{platform};
};

// Every message box of these operations: no parent's caption, OK, centred,
// shown with the normal cursor (the busy one comes back after it: the
// operations' tests count the files changed while it is not up).
void ExpectBox(const ShownMessage& shown, const std::string& text) {
  EXPECT_EQ(shown.text, text);
  EXPECT_FALSE(shown.busy_cursor) << text;
  EXPECT_EQ(shown.caption, wxMessageBoxCaptionStr);
  EXPECT_EQ(shown.style & (wxOK | wxCENTRE | wxCANCEL | wxYES_NO), wxOK | wxCENTRE) << text;
}

TEST_F(OperationsWindowTest, AddSaysWhichSelectionIsMissingAndChangesNothing) {
  Start();
  struct Case {
    const char* name;
    int mod, place;
    const char* message;
  } cases[] = {
      {"nothing selected", -1, -1, "Please select mod and char slot."},
      {"only a place", -1, 4, "No mod has been selected."},
      {"only a mod", kGrunt, -1, "No slot has been selected."},
  };
  auto before = Snapshot(game.path());
  for (const Case& c : cases) {
    Select(c.mod, c.place);
    std::vector<std::string> screen = Screen();
    ShownMessage shown = Press("ID_BUTTON2");
    ExpectBox(shown, c.message);
    EXPECT_EQ(Screen(), screen) << c.name;
  }
  EXPECT_EQ(Snapshot(game.path()), before);
  EXPECT_EQ(watch.busy_changes + watch.idle_changes, 0);
}

TEST_F(OperationsWindowTest, AddInstallsIntoThePlaceAndShowsItsRowAndTheFreeSlots) {
  Start();
  EXPECT_EQ(Labels(), (std::vector<std::string>{"C: 10", "A: 10", "F: 10", "M: 10"}));
  Select(kImra, 4);
  ExpectBox(Press("ID_BUTTON2"), "Char enabled.");

  EXPECT_EQ(Rows("ID_LISTBOX2"), CharRows({{4, "Imra\\"}}));
  // Imra claims one C, one F and one M slot.
  EXPECT_EQ(Labels(), (std::vector<std::string>{"C: 9", "A: 10", "F: 9", "M: 9"}));
  EXPECT_EQ(Find<wxListBox>("ID_LISTBOX1")->GetSelection(), kImra);
  EXPECT_EQ(Find<wxStaticText>("ID_STATICTEXT3")->GetLabel(), "Mod Name: Sister Imra");
  EXPECT_FALSE(WindowClosed());
  // Every file was changed under the busy cursor.
  EXPECT_GT(watch.busy_changes, 0);
  EXPECT_EQ(watch.idle_changes, 0);
}

TEST_F(OperationsWindowTest, DeleteGivesTheSelectedPlaceItsPlaceholderBack) {
  Start();
  auto before = Snapshot(game.path());
  Select(kGrunt, 0);
  ExpectBox(Press("ID_BUTTON2"), "Char enabled.");
  ASSERT_EQ(Rows("ID_LISTBOX2"), CharRows({{0, "Grunt\\"}}));

  watch.Reset();
  Select(kGrunt, 0);
  ExpectBox(Press("ID_BUTTON1"), "Char deleted.");
  EXPECT_EQ(Rows("ID_LISTBOX2"), CharRows());
  EXPECT_EQ(Labels(), (std::vector<std::string>{"C: 10", "A: 10", "F: 10", "M: 10"}));
  EXPECT_GT(watch.busy_changes, 0);
  EXPECT_EQ(watch.idle_changes, 0);

  // Grunt's collection entry, sound block and store list are gone. The
  // record holds the deletion's own placeholder bytes and the icon page was
  // written anew, so those two are left out, and with them the record of
  // what the program left in its files.
  auto after = Snapshot(game.path());
  for (const char* rewritten :
       {"chars/quorin_pawnik.cpj", "stuff/icons/icontpage_nxg.tex", "chars/mod_record"}) {
    before.erase(rewritten);
    after.erase(rewritten);
  }
  EXPECT_EQ(after, before);
}

TEST_F(OperationsWindowTest, DeleteWithoutAPlaceSelectedChangesNothing) {
  Start();
  Select(kGrunt, -1);
  auto before = Snapshot(game.path());
  std::vector<std::string> screen = Screen();
  ExpectBox(Press("ID_BUTTON1"), "No slot has been selected.");
  EXPECT_EQ(Snapshot(game.path()), before);
  EXPECT_EQ(Screen(), screen);
  EXPECT_EQ(watch.busy_changes + watch.idle_changes, 0);
}

TEST_F(OperationsWindowTest, SelectingAGameCharsRowShowsOnlyItsCharacter) {
  Start();
  SelectRow("ID_LISTBOX1", kImra);
  auto before = Snapshot(game.path());
  std::vector<std::string> screen = Screen();
  for (int row = 0; row < 10; ++row) {
    SelectRow("ID_LISTBOX2", row);
    EXPECT_EQ(Screen(), screen) << row;
    EXPECT_EQ(Text("icon_caption"), "Place " + std::to_string(row + 1) + ": empty");
    EXPECT_EQ(wxWindow::FindWindowByName("icon_0", frame_), nullptr);
  }
  EXPECT_EQ(Snapshot(game.path()), before);
}

TEST_F(OperationsWindowTest, RevertAnsweredOtherThanYesChangesNothingAndTheWindowStays) {
  Start();
  auto before = Snapshot(game.path());
  std::vector<std::string> screen = Screen();
  for (int answer : {wxID_NO, wxID_CANCEL}) {
    ShownMessage question;
    wxTEST_DIALOG(Menu(KorvaQuorinZIDFrame::idMenuRevert), ExpectMessage(&question, answer));
    EXPECT_EQ(question.text, "Are you sure you want to revert all changes?");
    EXPECT_EQ(question.caption, "Are you sure?");
    const long asked = wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION;
    EXPECT_EQ(question.style & (asked | wxCANCEL | wxYES_DEFAULT), asked);
    EXPECT_FALSE(question.busy_cursor);
    EXPECT_FALSE(WindowClosed()) << answer;
    EXPECT_EQ(Screen(), screen) << answer;
  }
  EXPECT_EQ(Snapshot(game.path()), before);
  EXPECT_EQ(watch.busy_changes + watch.idle_changes, 0);
}

TEST_F(OperationsWindowTest, RevertAnsweredYesRestoresTheGameAndClosesTheWindow) {
  Start();
  ShownMessage question, done;
  wxTEST_DIALOG(Menu(KorvaQuorinZIDFrame::idMenuRevert), ExpectMessage(&question, wxID_YES),
                ExpectMessage(&done));
  EXPECT_FALSE(question.busy_cursor);
  ExpectBox(done, "Reverse complete.");
  EXPECT_TRUE(WindowClosed());
  EXPECT_GT(watch.busy_changes, 0);
  EXPECT_EQ(watch.idle_changes, 0);

  // Every file is the game's own again; only the icon map stays behind.
  std::map<std::string, std::string> files;
  for (const auto& [path, bytes] : Snapshot(game.path())) {
    if (bytes != "<folder>" && path != "chars/iconmap") files[path] = bytes;
  }
  EXPECT_EQ(files, korva::SampleGameFiles());
}

}  // namespace

namespace {

// The Rosters menu: a roster saved, the places changed, the roster applied
// from the "Apply" submenu, then deleted; the submenu follows.
TEST_F(OperationsWindowTest, ARosterSavedAndAppliedThroughTheMenu) {
  Start();
  auto applyItems = [this] {
    std::vector<std::string> labels;
    for (wxMenuItem* item : frame_->apply_roster_menu()->GetMenuItems()) {
      labels.push_back(item->GetItemLabelText().ToStdString() + (item->IsEnabled() ? "" : " (off)"));
    }
    return labels;
  };
  EXPECT_EQ(applyItems(), std::vector<std::string>{"(no rosters saved) (off)"});
  Select(kGrunt, 0);
  ExpectBox(Press("ID_BUTTON2"), "Char enabled.");

  std::string asked;
  ShownMessage saved;
  wxTEST_DIALOG(Menu(KorvaQuorinZIDFrame::idMenuSaveRoster), ExpectText("grunt first", &asked),
                ExpectMessage(&saved));
  EXPECT_EQ(asked, "Save roster");
  ExpectBox(saved, "The roster \"grunt first\" was saved in " + program / "rosters/grunt first.txt.");
  ASSERT_EQ(applyItems(), std::vector<std::string>{"grunt first"});

  Select(kGrunt, 0);
  ExpectBox(Press("ID_BUTTON1"), "Char deleted.");
  Select(kImra, 2);
  ExpectBox(Press("ID_BUTTON2"), "Char enabled.");
  watch.Reset();
  ShownMessage applied;
  wxTEST_DIALOG(Menu(frame_->apply_roster_menu()->FindItemByPosition(0)->GetId()),
                ExpectMessage(&applied));
  ExpectBox(applied, "The roster \"grunt first\" was applied.\nPlace 1: Plain Grunt\nPlace 3: empty");
  EXPECT_EQ(Rows("ID_LISTBOX2"), CharRows({{0, "Grunt\\"}}));
  EXPECT_EQ(Labels(), (std::vector<std::string>{"C: 10", "A: 10", "F: 10", "M: 10"}));
  EXPECT_GT(watch.busy_changes, 0);
  EXPECT_EQ(watch.idle_changes, 0);
  // Shared through the save dialog; dropped back on the window once it is
  // deleted, it comes back, and applying it is offered.
  const std::string zip = program / "grunt first.zip";
  ShownMessage shared;
  std::vector<std::string> choices;
  wxTEST_DIALOG(Menu(KorvaQuorinZIDFrame::idMenuShareRoster), ExpectChoice(0, &choices),
                wxExpectModal<wxFileDialog>(wxString::FromUTF8(zip)), ExpectMessage(&shared));
  EXPECT_EQ(shared.text.rfind("The roster \"grunt first\" was shared as " + zip + ": 1 package, ", 0), 0u) << shared.text;
  choices.clear();
  ShownMessage confirm, deleted;
  wxTEST_DIALOG(Menu(KorvaQuorinZIDFrame::idMenuDeleteRoster), ExpectChoice(0, &choices),
                ExpectMessage(&confirm, wxID_YES), ExpectMessage(&deleted));
  EXPECT_EQ(choices, std::vector<std::string>{"grunt first"});
  ExpectBox(deleted, "The roster \"grunt first\" was deleted.");
  EXPECT_EQ(applyItems(), std::vector<std::string>{"(no rosters saved) (off)"});
  ShownMessage imported, offer, reapplied;
  wxTEST_DIALOG(frame_->ImportDropped(wxArrayString(1, wxString::FromUTF8(zip))), ExpectMessage(&imported),
                ExpectMessage(&offer, wxID_YES), ExpectMessage(&reapplied));
  ExpectBox(imported, "The roster \"grunt first\" was imported from grunt first.zip, with 1 package. The mods "
                      "folder held plain_grunt already, with the same files.");
  EXPECT_EQ(offer.caption, korva::kImportedRosterCaption);
  ExpectBox(reapplied, "The roster \"grunt first\" was applied. Every place held what it names already; nothing "
                       "was changed.");
  EXPECT_EQ(applyItems(), std::vector<std::string>{"grunt first"});
}

}  // namespace

namespace {

// The filter keeps the rows whose name or folder name holds its text, in
// any letter case; "Add -->" takes the package of the row selected in what
// it shows, and "<-- Delete" the place, as before.
TEST_F(OperationsWindowTest, TheFilterKeepsAddAndDeleteOnTheirRows) {
  Start();
  wxTextCtrl* filter = Find<wxTextCtrl>("mod_filter");
  struct Case {
    const char* text;
    std::vector<std::string> rows;
  } cases[] = {
      {"IMRA", {"Sister Imra"}},
      {"plain_g", {"Plain Grunt"}},  // the folder's name
      {"er", {"Brakka the Mender", "Sister Imra"}},  // "sister_imra"
      {"nothing like it", {}},
      {"", {"Brakka the Mender", "Orvak and the Shieldwall", "Plain Grunt", "Sister Imra"}},
  };
  for (const Case& c : cases) {
    filter->SetValue(c.text);
    EXPECT_EQ(Rows("ID_LISTBOX1"), c.rows) << c.text;
  }
  filter->SetValue("imra");
  Select(0, 4);
  EXPECT_EQ(Text("ID_STATICTEXT3"), "Mod Name: Sister Imra");
  ExpectBox(Press("ID_BUTTON2"), "Char enabled.");
  EXPECT_EQ(Rows("ID_LISTBOX2"), CharRows({{4, "Imra\\"}}));
  // The filter changes nothing in "Game Chars".
  filter->SetValue("grunt");
  Select(0, 4);
  ExpectBox(Press("ID_BUTTON1"), "Char deleted.");
  EXPECT_EQ(Rows("ID_LISTBOX2"), CharRows());
  Key("mod_filter", WXK_ESCAPE);
  EXPECT_EQ(filter->GetValue(), "");
  EXPECT_EQ(Rows("ID_LISTBOX1").size(), 4u);
}

// Enter on a mod and a double click do what "Add -->" does, the Delete key
// on a place what "<-- Delete" does: the same refusals and messages.
TEST_F(OperationsWindowTest, KeysAndDoubleClickRunTheButtonsHandlers) {
  Start();
  struct Case {
    const char* name;
    int mod, place;
    std::function<void()> act;
    const char* message;
    std::map<int, std::string> rows;  // "Game Chars" afterwards
  } cases[] = {
      {"Enter, nothing selected", -1, -1, [&] { Key("ID_LISTBOX1", WXK_RETURN); },
       "Please select mod and char slot.", {}},
      {"double click, no place", kGrunt, -1, [&] { DoubleClick(kGrunt); }, "No slot has been selected.", {}},
      {"Delete key, no place", -1, -1, [&] { Key("ID_LISTBOX2", WXK_DELETE); }, "No slot has been selected.", {}},
      {"Enter", kGrunt, 2, [&] { Key("ID_LISTBOX1", WXK_NUMPAD_ENTER); }, "Char enabled.", {{2, "Grunt\\"}}},
      {"double click", kImra, 7, [&] { DoubleClick(kImra); }, "Char enabled.", {{2, "Grunt\\"}, {7, "Imra\\"}}},
      {"Delete key", -1, 2, [&] { Key("ID_LISTBOX2", WXK_DELETE); }, "Char deleted.", {{7, "Imra\\"}}},
  };
  for (const Case& c : cases) {
    Select(c.mod, c.place);
    ShownMessage shown;
    wxTEST_DIALOG(c.act(), ExpectMessage(&shown));
    ExpectBox(shown, c.message);
    EXPECT_EQ(Rows("ID_LISTBOX2"), CharRows(c.rows)) << c.name;
  }
  // Other keys are the lists' own.
  Select(kGrunt, 3);
  auto before = Snapshot(game.path());
  for (int key : {int{WXK_DELETE}, int{'a'}}) Key("ID_LISTBOX1", key);
  for (int key : {int{WXK_RETURN}, int{WXK_BACK}}) Key("ID_LISTBOX2", key);
  EXPECT_EQ(Snapshot(game.path()), before);
}

// What a package's files would cover if installed now, and which of a
// place's files later places cover, under the description; a place shows
// its character's pictures and its package's name.
TEST_F(OperationsWindowTest, ThePicturesAndCoverLineOfAPackageAndAPlace) {
  constexpr int kCopycat = 4;
  korva::WriteBytes(program / "mods/zz_copycat/modfile.ini", "name=Copycat\r\ndataname=Copycat\r\n");
  korva::WriteBytes(program / "mods/zz_copycat/files/chars/pawniks/imra/imra_body.mdl", "other body");
  korva::WriteBytes(program / "mods/zz_copycat/files/chars/pawniks/korva/korva_body.mdl", "other");
  Start();
  Select(kImra, 1);
  ExpectBox(Press("ID_BUTTON2"), "Char enabled.");
  SelectRow("ID_LISTBOX1", kCopycat);
  EXPECT_EQ(Text("cover_line"), "Covers 1 file of Imra (place 2) and 1 game file");
  EXPECT_THAT(Find<wxWindow>("cover_line")->GetToolTipText().ToStdString(),
              ::testing::HasSubstr("chars/pawniks/imra/imra_body.mdl"));
  EXPECT_EQ(Text("icon_caption"), "Copycat");
  Select(kCopycat, 5);
  ShownMessage shown;
  wxTEST_DIALOG(Click("ID_BUTTON2"), ExpectMessage(&shown));
  EXPECT_THAT(shown.text, ::testing::StartsWith("Char enabled."));
  SelectRow("ID_LISTBOX2", 1);
  EXPECT_EQ(Text("icon_caption"), "Place 2: Sister Imra");
  EXPECT_EQ(Text("cover_line"), "Imra (place 2): 1 of its files is covered by Copycat (place 6)");
  EXPECT_FALSE(Find<IconFrame>("icon_0")->broken());
  SelectRow("ID_LISTBOX2", 5);
  EXPECT_EQ(Text("cover_line"), "Copycat (place 6): none of its files is covered by a later place");
}

}  // namespace
