#include <gmock/gmock.h>
#include <wx/app.h>
#include <wx/display.h>
#include <wx/sizer.h>

#include <filesystem>

#include "app/window_place.h"
#include "app/wx_text.h"
#include "sample/sample_game.h"
#include "tests/gui/gui_support.h"
#include "tests/support/system.h"

namespace {

using ::testing::AnyOf;
using ::testing::Eq;
using korva::ReadBytes;
using korva::Snapshot;
using korva::WriteBytes;

TEST_F(FrameTest, EveryControlHasItsTextSizeStyleAndParent) {
  MakeFrame();
  struct Control {
    const char* name;
    const char* parent;
    const char* text;
    wxSize size;
    long style;
  } controls[] = {
      {"ID_PANEL1", "wxID_ANY", "", wxDefaultSize, wxTAB_TRAVERSAL},
      {"ID_PANEL3", "ID_PANEL1", "", wxDefaultSize, wxTAB_TRAVERSAL},
      {"ID_STATICTEXT1", "ID_PANEL3", "Mod Database", wxDefaultSize, 0},
      {"ID_LISTBOX1", "ID_PANEL3", "", wxSize(132, 66), wxLB_SINGLE | wxLB_ALWAYS_SB},
      {"ID_PANEL4", "ID_PANEL1", "", wxDefaultSize, wxTAB_TRAVERSAL},
      {"ID_BUTTON1", "ID_PANEL4", "<-- Delete", wxDefaultSize, 0},
      {"ID_BUTTON2", "ID_PANEL4", "Add -->", wxDefaultSize, 0},
      {"ID_PANEL5", "ID_PANEL1", "", wxDefaultSize, wxTAB_TRAVERSAL},
      {"ID_STATICTEXT2", "ID_PANEL5", "Game Chars", wxDefaultSize, 0},
      {"ID_LISTBOX2", "ID_PANEL5", "", wxSize(132, 66), wxLB_SINGLE | wxLB_ALWAYS_SB},
      {"ID_PANEL2", "wxID_ANY", "", wxDefaultSize, wxTAB_TRAVERSAL},
      {"ID_STATICTEXT3", "ID_PANEL2", "Mod Name:", wxDefaultSize, 0},
      {"ID_STATICTEXT4", "ID_PANEL2", "Mod Description:", wxSize(383, 55), 0},
      {"ID_STATICTEXT5", "ID_PANEL2", "", wxDefaultSize, 0},
      {"ID_PANEL6", "wxID_ANY", "", wxDefaultSize, wxTAB_TRAVERSAL},
      {"ID_STATICTEXT6", "ID_PANEL6", "Additional Slots Available:", wxSize(273, 13), 0},
      {"ID_STATICTEXT7", "ID_PANEL6", "Label", wxSize(127, 13), 0},
      {"ID_STATICTEXT8", "ID_PANEL6", "Label", wxSize(123, 13), 0},
      {"ID_STATICTEXT9", "ID_PANEL6", "Label", wxSize(127, 13), 0},
      {"ID_STATICTEXT10", "ID_PANEL6", "M: ", wxSize(122, 13), 0},
  };
  for (const Control& c : controls) {
    wxWindow* window = Find<wxWindow>(c.name);
    ASSERT_NE(window, nullptr) << c.name;
    EXPECT_EQ(window->GetParent()->GetName(), c.parent) << c.name;
    if (dynamic_cast<wxPanel*>(window) != nullptr) {
      // A panel shows no text. GTK gives it no label; wxMSW keeps the
      // window's name as its hidden window title and returns that.
      EXPECT_THAT(window->GetLabel().ToStdString(), AnyOf(Eq(c.text), Eq(c.name))) << c.name;
    } else {
      EXPECT_EQ(window->GetLabel(), c.text) << c.name;
    }
    if (c.size != wxDefaultSize) EXPECT_EQ(window->GetMinSize(), window->FromDIP(c.size)) << c.name;
    EXPECT_EQ(window->GetWindowStyleFlag() & c.style, c.style) << c.name;
  }
  wxListBox* mods = Find<wxListBox>("ID_LISTBOX1");
  EXPECT_EQ(mods->GetCount(), 0u);
  EXPECT_FALSE(mods->HasFlag(wxLB_SORT));
  EXPECT_FALSE(mods->HasMultipleSelection());
  EXPECT_EQ(frame_->GetTitle(), "Korva Quorin ZID - v0.1.2");
  EXPECT_EQ(frame_->GetName(), "wxID_ANY");
  EXPECT_EQ(frame_->GetWindowStyleFlag() & wxDEFAULT_FRAME_STYLE, wxDEFAULT_FRAME_STYLE);
}

// The items of a sizer: window name (or "sizer"), proportion, flags, border.
std::vector<std::string> Items(wxSizer* sizer) {
  std::vector<std::string> items;
  for (wxSizerItem* item : sizer->GetChildren()) {
    std::string name = item->IsWindow() ? item->GetWindow()->GetName().ToStdString() : "sizer";
    items.push_back(name + " " + std::to_string(item->GetProportion()) + " " +
                    std::to_string(item->GetFlag()) + " " + std::to_string(item->GetBorder()));
  }
  return items;
}

TEST_F(FrameTest, SizersLayOutThePanelsInGrids) {
  MakeFrame();
  const std::string centred = " 1 " + std::to_string(0x9F0) + " 5";
  // The lists and what holds them take the room the window gains.
  const std::string grows = " 1 " + std::to_string(wxALL | wxEXPAND) + " 5";
  auto grid = [](wxSizer* sizer) { return dynamic_cast<wxGridSizer*>(sizer); };

  wxGridSizer* top = grid(frame_->GetSizer());
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->GetRows(), 3);
  EXPECT_EQ(top->GetCols(), 0);
  EXPECT_EQ(Items(top), (std::vector<std::string>{"ID_PANEL1" + grows, "ID_PANEL2" + centred,
                                                  "ID_PANEL6" + centred}));

  wxGridSizer* lists = grid(Find<wxPanel>("ID_PANEL1")->GetSizer());
  EXPECT_EQ(lists->GetCols(), 3);
  EXPECT_EQ(Items(lists), (std::vector<std::string>{"ID_PANEL3" + grows, "ID_PANEL4" + centred,
                                                    "ID_PANEL5" + grows}));
  // The filter sits between the heading and the list.
  EXPECT_EQ(Items(Find<wxPanel>("ID_PANEL3")->GetSizer()),
            (std::vector<std::string>{"ID_STATICTEXT1" + centred,
                                      "mod_filter 1 " + std::to_string(wxLEFT | wxRIGHT | wxEXPAND) + " 5",
                                      "ID_LISTBOX1" + grows}));
  EXPECT_EQ(Items(Find<wxPanel>("ID_PANEL5")->GetSizer()),
            (std::vector<std::string>{"ID_STATICTEXT2" + centred, "ID_LISTBOX2" + grows}));

  wxGridSizer* buttons = grid(Find<wxPanel>("ID_PANEL4")->GetSizer());
  EXPECT_EQ(buttons->GetRows(), 2);
  EXPECT_EQ(buttons->GetVGap(), 5);
  EXPECT_EQ(Items(buttons),
            (std::vector<std::string>{"ID_BUTTON1" + centred, "ID_BUTTON2" + centred}));

  // The texts, then the pictures beside them.
  wxSizer* infoRow = Find<wxPanel>("ID_PANEL2")->GetSizer();
  wxFlexGridSizer* info = dynamic_cast<wxFlexGridSizer*>(infoRow->GetItem(size_t{0})->GetSizer());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->GetRows(), 4);
  const std::string left = " 1 " + std::to_string(0x8F0) + " 5";
  EXPECT_EQ(Items(info), (std::vector<std::string>{"ID_STATICTEXT3" + left, "ID_STATICTEXT4" + centred,
                                                   "ID_STATICTEXT5" + centred, "cover_line" + left}));
  EXPECT_EQ(infoRow->GetItem(1)->GetWindow(), frame_->icon_strip());

  wxSizer* slots = Find<wxPanel>("ID_PANEL6")->GetSizer();
  std::vector<std::string> slotItems = Items(slots);
  EXPECT_EQ(slotItems, (std::vector<std::string>{"ID_STATICTEXT6" + centred, "sizer" + centred}));
  wxFlexGridSizer* labels = dynamic_cast<wxFlexGridSizer*>(slots->GetItem(1)->GetSizer());
  ASSERT_NE(labels, nullptr);
  EXPECT_EQ(labels->GetRows(), 2);
  EXPECT_EQ(labels->GetCols(), 2);
  EXPECT_EQ(Items(labels),
            (std::vector<std::string>{"ID_STATICTEXT7" + centred, "ID_STATICTEXT8" + centred,
                                      "ID_STATICTEXT9" + centred, "ID_STATICTEXT10" + centred}));
}

TEST_F(FrameTest, MenusStatusBarAndFittedSize) {
  MakeFrame();
  wxMenuBar* bar = frame_->GetMenuBar();
  ASSERT_EQ(bar->GetMenuCount(), 3u);
  EXPECT_EQ(bar->GetMenuLabel(0), "&File");
  EXPECT_EQ(bar->GetMenuLabel(1), "&Rosters");
  EXPECT_EQ(bar->GetMenuLabel(2), "Help");
  struct Item {
    wxWindowID id;
    const char* label;
    const char* help;
  } items[] = {
      {KorvaQuorinZIDFrame::idMenuRevert, "Revert", "Revert to original"},
      {KorvaQuorinZIDFrame::idMenuQuit, "Quit\tAlt-F4", "Quit the application"},
      {KorvaQuorinZIDFrame::idMenuAbout, "About\tF1", "Show info about this application"},
      {KorvaQuorinZIDFrame::idMenuSaveRoster, "Save roster...",
       "Save which mod package each place holds as a roster"},
      {KorvaQuorinZIDFrame::idMenuDeleteRoster, "Delete roster...", "Delete a saved roster"},
      {KorvaQuorinZIDFrame::idMenuShareRoster, "Share roster...",
       "Write a roster and its mod packages as one zip for another computer"},
      {KorvaQuorinZIDFrame::idMenuImportMods, "Import mods\xe2\x80\xa6",
       "Import mod archives into Mod Database"},
      {KorvaQuorinZIDFrame::idMenuOpenModsFolder, "Open mods folder",
       "Show the mods folder in the file manager"},
      {KorvaQuorinZIDFrame::idMenuOpenGameFolder, "Open game folder",
       "Show the game folder in the file manager"},
  };
  for (const Item& item : items) {
    wxMenuItem* menuItem = bar->FindItem(item.id);
    ASSERT_NE(menuItem, nullptr) << item.label;
    EXPECT_EQ(menuItem->GetItemLabel(), wxString::FromUTF8(item.label));
    EXPECT_EQ(menuItem->GetHelp(), item.help);
    EXPECT_EQ(menuItem->GetKind(), wxITEM_NORMAL);
  }
  // The File menu: the mods and folders, then Revert and Quit.
  std::vector<wxWindowID> file;
  for (wxMenuItem* item : bar->GetMenu(0)->GetMenuItems()) file.push_back(item->GetId());
  EXPECT_EQ(file, (std::vector<wxWindowID>{KorvaQuorinZIDFrame::idMenuImportMods,
                                           KorvaQuorinZIDFrame::idMenuOpenModsFolder,
                                           KorvaQuorinZIDFrame::idMenuOpenGameFolder, wxID_SEPARATOR,
                                           KorvaQuorinZIDFrame::idMenuRevert,
                                           KorvaQuorinZIDFrame::idMenuQuit}));

  wxStatusBar* status = frame_->GetStatusBar();
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->GetName(), "ID_STATUSBAR1");
  EXPECT_EQ(status->GetFieldsCount(), 1);
  EXPECT_EQ(status->GetStatusWidth(0), -1);
  EXPECT_EQ(status->GetStatusStyle(0), wxSB_NORMAL);
  EXPECT_EQ(status->GetStatusText(0), "");

  // The window opens at the smallest size that holds the layout.
  EXPECT_EQ(frame_->GetSize(), frame_->GetMinSize());
}

// Made larger, the window gives the room to the lists; closed and opened
// again, it has the size and place it had, kept beside config.ini. A place
// off every screen is not taken, nor a size below the fitted one.
TEST_F(FrameTest, TheListsGrowAndTheWindowKeepsItsSizeAndPlace) {
  WriteConfig("KorvaPath=" + game.path() + "\r\n");
  MakeFrame();
  const wxSize fitted = frame_->GetSize();
  const wxSize list = Find<wxWindow>("ID_LISTBOX1")->GetSize();
  const wxSize button = Find<wxWindow>("ID_BUTTON2")->GetSize();
  const wxRect larger(40, 30, fitted.x + 300, fitted.y + 200);
  frame_->SetSize(larger);
  wxYield();
  for (const char* name : {"ID_LISTBOX1", "ID_LISTBOX2"}) {
    const wxSize grown = Find<wxWindow>(name)->GetSize() - list;
    EXPECT_GE(grown.x, 100) << name;
    EXPECT_GE(grown.y, 180) << name;
  }
  EXPECT_EQ(Find<wxWindow>("ID_BUTTON2")->GetSize(), button);
  Menu(KorvaQuorinZIDFrame::idMenuQuit);
  DestroyFrame();
  EXPECT_EQ(ReadBytes(program / "config.ini"), "KorvaPath=" + game.path() + "\r\n");
  MakeFrame();
  EXPECT_EQ(frame_->GetRect(), larger);
  DestroyFrame();

  const std::string size = "width=" + std::to_string(fitted.x + 50) + "\r\nheight=" +
                           std::to_string(fitted.y + 60) + "\r\n";
  struct Case {
    const char* name;
    std::string file;
    wxSize size;
  } cases[] = {
      {"off every screen", "x=-90000\r\ny=70000\r\n" + size, fitted + wxSize(50, 60)},
      {"smaller than the layout", "x=10\r\ny=10\r\nwidth=20\r\nheight=20\r\n", fitted},
      {"larger than the screen", "x=0\r\ny=0\r\nwidth=90000\r\nheight=90000\r\n",
       wxDisplay(0u).GetClientArea().GetSize()},
      {"not numbers", "x=left\r\nwidth=wide\r\nheight=\r\n", fitted},
  };
  for (const Case& c : cases) {
    WriteBytes(program / "window.ini", c.file);
    MakeFrame();
    EXPECT_EQ(frame_->GetSize(), c.size) << c.name;
    EXPECT_TRUE(OnSomeScreen(frame_->GetRect())) << c.name;
    DestroyFrame();
  }
}

TEST_F(FrameTest, AboutBoxNamesTheProgramAndItsVersion) {
  MakeFrame();
  ShownMessage about;
  wxTEST_DIALOG(Menu(KorvaQuorinZIDFrame::idMenuAbout), ExpectMessage(&about));
  EXPECT_EQ(about.caption, "Welcome to...");
  EXPECT_EQ(about.text.substr(0, about.text.find('\n')),
            "Korva Quorin Character Mod Manager - v0.1.2");
  EXPECT_NE(about.text.find('\n'), std::string::npos);
  EXPECT_EQ(about.style & (wxOK | wxCENTRE), wxOK | wxCENTRE);
}

TEST_F(FrameTest, QuitClosesTheWindow) {
  MakeFrame();
  Menu(KorvaQuorinZIDFrame::idMenuQuit);
  EXPECT_TRUE(WindowClosed());
}

// config.ini: the first line's text after its first "=" is the game folder.

TEST_F(FrameTest, ConfigKeyIsNotCheckedAndLaterLinesAreIgnored) {
  WriteConfig("anything=" + game.path() + "\r\nKorvaPath=/nowhere\r\n");
  MakeFrame()->StartUp();  // no dialog expected
  EXPECT_EQ(frame_->manager().game_folder(), game.path());
  EXPECT_FALSE(WindowClosed());
  EXPECT_EQ(ReadBytes(program / "config.ini"), "anything=" + game.path() + "\r\nKorvaPath=/nowhere\r\n");
}

TEST_F(FrameTest, OnlyTheFirstEqualsSignSplitsTheLine) {
  korva::MakeSampleGame(game / "A=B");
  WriteConfig("KorvaPath=" + game.path() + "/A=B\r\n");
  MakeFrame()->StartUp();
  EXPECT_EQ(frame_->manager().game_folder(), game.path() + "/A=B");
}

TEST_F(FrameTest, ChoosingTheExecutableWritesConfig) {
  struct Case {
    const char* name;
    std::string config;  // "" = no config.ini
  } cases[] = {
      {"no config.ini", ""},
      {"empty value", "KorvaPath=\r\n"},
      {"folder without the executable", "KorvaPath=/no/such/folder\r\n"},
      {"executable only on a later line", "x\r\nKorvaPath=" + game.path() + "\r\n"},
  };
  for (const Case& c : cases) {
    if (!c.config.empty()) WriteConfig(c.config);
    MakeFrame();
    wxTEST_DIALOG(frame_->StartUp(),
                  wxExpectModal<wxFileDialog>(game.path() + "/KORVAQUORIN.exe"));
    EXPECT_EQ(frame_->manager().game_folder(), game.path()) << c.name;
    EXPECT_EQ(ReadBytes(program / "config.ini"), "KorvaPath=" + game.path() + "\r\n") << c.name;
    EXPECT_FALSE(WindowClosed()) << c.name;
    DestroyFrame();
    std::filesystem::remove(program / "config.ini");
  }
}

TEST_F(FrameTest, AGameFolderNamedInAnyScriptIsKeptAsUtf8) {
  // Letters of an 8-bit code page and letters of none.
  const std::string folder =
      game.path() + "/Spiele/K\xc3\xb8rva Qu\xc3\xb6rin \xe3\x83\xa2\xe3\x83\x83\xe3\x83\x89";
  korva::MakeSampleGame(folder);
  MakeFrame();
  wxTEST_DIALOG(frame_->StartUp(),
                wxExpectModal<wxFileDialog>(wxString::FromUTF8(folder + "/KORVAQUORIN.exe")));
  EXPECT_EQ(frame_->manager().game_folder(), folder);
  EXPECT_EQ(ReadBytes(program / "config.ini"), "KorvaPath=" + folder + "\r\n");
  // The start-up read the game there: "Game Chars" holds its ten places.
  EXPECT_EQ(Find<wxListBox>("ID_LISTBOX2")->GetCount(), 10u);
  DestroyFrame();

  // The next start finds it again through config.ini, without a dialog.
  MakeFrame()->StartUp();
  EXPECT_EQ(frame_->manager().game_folder(), folder);
  EXPECT_FALSE(WindowClosed());
}

// Records the folder and file a file dialog opens with, and cancels it.
class ExpectFileDialogOpening : public wxExpectModalBase<wxFileDialog, ExpectFileDialogOpening> {
 public:
  ExpectFileDialogOpening(std::string* folder, std::string* file) : folder_(folder), file_(file) {}

 protected:
  int OnInvoked(wxFileDialog* dialog) const override {
    *folder_ = FromWx(dialog->GetDirectory());
    *file_ = FromWx(dialog->GetFilename());
    return wxID_CANCEL;
  }

 private:
  std::string* folder_;
  std::string* file_;
};

TEST_F(FrameTest, TheDialogOpensWhereTheGameIsInstalled) {
  korva::TempFolder elsewhere;
  korva::MadeUpInstallRecords records(elsewhere.path());
  const std::string installed = records.SteamFolder() + "/steamapps/common/Korva Quorin";
  WriteBytes(installed + "/KORVAQUORIN.exe", "");
  std::string folder, file;
  MakeFrame();
  wxTEST_DIALOG(frame_->StartUp(), ExpectFileDialogOpening(&folder, &file));
  EXPECT_EQ(folder, installed);
  EXPECT_EQ(file, "KORVAQUORIN.exe");
}

TEST_F(FrameTest, CancellingTheDialogClosesTheWindowAndTouchesNothing) {
  WriteConfig("KorvaPath=/no/such/folder\r\n");
  auto gameBefore = Snapshot(game.path());
  MakeFrame();
  wxTEST_DIALOG(frame_->StartUp(), wxExpectModal<wxFileDialog>("", wxID_CANCEL));
  EXPECT_TRUE(WindowClosed());
  EXPECT_EQ(Snapshot(game.path()), gameBefore);
  EXPECT_EQ(ReadBytes(program / "config.ini"), "KorvaPath=/no/such/folder\r\n");
}

}  // namespace
