// Mod archives and package folders dropped on the window: the drop target
// of every part of the window, the new rows of "Mod Database", the one
// message, the question before a package is replaced, the busy cursor and
// the progress dialog with its Cancel button.
#include <wx/app.h>
#include <wx/dnd.h>
#include <wx/listbox.h>
#include <wx/progdlg.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/gui/gui_support.h"
#include "tests/support/test_archives.h"

namespace {

using korva::File;
using korva::Snapshot;
using korva::Status;

// Counts file changes made with and without the busy cursor, and can make
// every read of an archive slow.
class WatchedPlatform : public korva::TestPlatform {
 public:
  explicit WatchedPlatform(korva::Platform& base) : TestPlatform(base) {
    OnChange([this](korva::Op, const std::string&) { ++(wxIsBusy() ? busy_changes : idle_changes); });
  }
  Status ReadAt(const std::string& path, uint64_t offset, size_t size, std::string* bytes) override {
    if (slow_reads_ms > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(slow_reads_ms));
      if (on_slow_read) on_slow_read();
    }
    return TestPlatform::ReadAt(path, offset, size, bytes);
  }
  int busy_changes = 0;
  int idle_changes = 0;
  int slow_reads_ms = 0;
  std::function<void()> on_slow_read;
};

wxArrayString Paths(std::initializer_list<std::string> paths) {
  wxArrayString array;
  for (const std::string& path : paths) array.Add(path);
  return array;
}

class ImportWindowTest : public FrameTest {
 protected:
  ImportWindowTest() {
    std::filesystem::remove_all(program / "mods");
    korva::WriteBytes(program / "mods/Zulu/modfile.ini", "name=Zulu Guard\r\n");
    korva::WriteBytes(program / "mods/Alpha/modfile.ini", "name=Alpha Scout\r\n");
  }
  ~ImportWindowTest() override { DestroyFrame(); }  // before `watch` goes

  void Start() {
    WriteConfig("KorvaPath=" + game.path() + "\r\n");
    frame_ = new KorvaQuorinZIDFrame(nullptr, -1, watch);
    frame_->Show();
    frame_->StartUp();
    watch.busy_changes = watch.idle_changes = 0;
  }
  std::string Archive(const std::string& name, const std::vector<korva::TestEntry>& entries,
                      const std::string& format = "zip") {
    korva::WriteTestArchive(work / name, format, entries);
    return work / name;
  }
  std::vector<std::string> ModRows() {
    std::vector<std::string> rows;
    wxListBox* box = Find<wxListBox>("ID_LISTBOX1");
    for (unsigned i = 0; i < box->GetCount(); ++i) rows.push_back(box->GetString(i).ToStdString());
    return rows;
  }

  korva::TempFolder work;
  WatchedPlatform watch{platform};
};

TEST_F(ImportWindowTest, ADroppedArchiveAddsItsRowsInListOrderAndSaysSoOnce) {
  Start();
  const std::string archive =
      Archive("runners.7z", {File("Runners/Mid/modfile.ini", "name=Mid Runner\r\n"),
                             File("Runners/Beta/modfile.ini", "name=Beta Runner\r\n")}, "7z");
  const std::string evil = Archive("evil.zip", {File("Pack/modfile.ini", "name=Evil\r\n"),
                                                File("/etc/evil", "x")});
  ShownMessage shown;
  wxTEST_DIALOG(frame_->ImportDropped(Paths({archive, evil})), ExpectMessage(&shown));
  EXPECT_EQ(shown.text,
            "Imported into \"Mod Database\":\n- Beta, from runners.7z\n- Mid, from runners.7z\n"
            "Refused:\n- evil.zip: entry \"/etc/evil\" has an absolute name.");
  EXPECT_EQ(shown.caption, wxMessageBoxCaptionStr);
  EXPECT_EQ(shown.style & (wxOK | wxCENTRE | wxCANCEL | wxYES_NO), wxOK | wxCENTRE);
  EXPECT_EQ(ModRows(), (std::vector<std::string>{"Alpha Scout", "Beta Runner", "Mid Runner", "Zulu Guard"}));
  EXPECT_GT(watch.busy_changes, 0);
  EXPECT_EQ(watch.idle_changes, 0);

  // The new row is a package like the others.
  SelectRow("ID_LISTBOX1", 2);
  EXPECT_EQ(Find<wxStaticText>("ID_STATICTEXT3")->GetLabel(), "Mod Name: Mid Runner");
}

TEST_F(ImportWindowTest, EveryPartOfTheWindowTakesADropAndImportsIt) {
  Start();
  const std::string folder = work / "Dropped Folder";
  korva::WriteBytes(folder + "/modfile.ini", "name=From a folder\r\n");
  int n = 0;
  for (const char* name : {"wxID_ANY", "ID_PANEL1", "ID_PANEL2", "ID_PANEL6", "ID_LISTBOX1", "ID_LISTBOX2"}) {
    wxWindow* window = std::string(name) == "wxID_ANY" ? frame_ : Find<wxWindow>(name);
    auto* target = dynamic_cast<wxFileDropTarget*>(window->GetDropTarget());
    ASSERT_NE(target, nullptr) << name;
    const std::string archive = Archive("drop" + std::to_string(++n) + ".tar.gz",
                                        {File("modfile.ini", "name=Drop " + std::to_string(n) + "\r\n")},
                                        "tar.gz");
    wxArrayString paths;
    paths.Add(archive);
    EXPECT_TRUE(target->OnDropFiles(10, 10, paths));
    ShownMessage shown;
    wxTEST_DIALOG(wxTheApp->ProcessPendingEvents(), ExpectMessage(&shown));
    EXPECT_EQ(shown.text, "Imported into \"Mod Database\":\n- drop" + std::to_string(n) + ", from drop" +
                              std::to_string(n) + ".tar.gz")
        << name;
  }
  ShownMessage shown;
  wxTEST_DIALOG(frame_->ImportDropped(Paths({folder})), ExpectMessage(&shown));
  EXPECT_EQ(shown.text, "Imported into \"Mod Database\":\n- Dropped Folder, from Dropped Folder");
  EXPECT_EQ(ModRows().size(), 2u + n + 1);
}

TEST_F(ImportWindowTest, ReplacingAPackageIsAskedFirst) {
  Start();
  const std::string archive = Archive("zulu.zip", {File("Zulu/modfile.ini", "name=Zulu Two\r\n")});
  for (int answer : {wxID_NO, wxID_YES}) {
    ShownMessage question, shown;
    wxTEST_DIALOG(frame_->ImportDropped(Paths({archive})), ExpectMessage(&question, answer),
                  ExpectMessage(&shown));
    EXPECT_EQ(question.text,
              "The mods folder has a package \"Zulu\" already. Replace it with the one from zulu.zip?");
    EXPECT_EQ(question.caption, "Import");
    EXPECT_TRUE(question.style & wxNO_DEFAULT);
    if (answer == wxID_NO) {
      EXPECT_EQ(shown.text,
                "Nothing was imported.\nRefused:\n- zulu.zip: the package (from \"Zulu\") was not "
                "imported: the mods folder has a \"Zulu\" already, and it was kept.");
      EXPECT_EQ(ModRows(), (std::vector<std::string>{"Alpha Scout", "Zulu Guard"}));
    } else {
      EXPECT_EQ(shown.text,
                "Imported into \"Mod Database\":\n- Zulu, from zulu.zip (it replaced the package of "
                "that name)");
      EXPECT_EQ(ModRows(), (std::vector<std::string>{"Alpha Scout", "Zulu Two"}));
    }
  }
}

TEST_F(ImportWindowTest, ASlowImportShowsProgressAndCancelLeavesNothingBehind) {
  Start();
  std::vector<korva::TestEntry> entries = {File("Slow/modfile.ini", "name=Slow\r\n")};
  for (int i = 0; i < 4; ++i) {
    entries.push_back(File("Slow/files/" + std::to_string(i), korva::NoiseBytes(900 * 1024, i)));
  }
  const std::string archive = Archive("slow.zip", entries, "zip-store");
  const auto before = Snapshot(program / "mods");

  // Reads take 300 ms each; once the progress dialog is up, Cancel is pressed.
  bool dialogSeen = false;
  watch.slow_reads_ms = 300;
  watch.on_slow_read = [&] {
    for (wxWindow* window : wxTopLevelWindows) {
      auto* dialog = dynamic_cast<wxGenericProgressDialog*>(window);
      if (dialog == nullptr || !dialog->IsShown()) continue;
      dialogSeen = true;
      EXPECT_EQ(dialog->GetTitle(), "Import");
      wxWindow* cancel = dialog->FindWindow(wxID_CANCEL);
      ASSERT_NE(cancel, nullptr);
      wxCommandEvent click(wxEVT_BUTTON, wxID_CANCEL);
      click.SetEventObject(cancel);
      cancel->GetEventHandler()->ProcessEvent(click);
    }
  };
  ShownMessage shown;
  wxTEST_DIALOG(frame_->ImportDropped(Paths({archive})), ExpectMessage(&shown));
  watch.slow_reads_ms = 0;
  EXPECT_TRUE(dialogSeen);
  EXPECT_EQ(shown.text, "The import was cancelled. Nothing was imported.");
  EXPECT_EQ(Snapshot(program / "mods"), before);
  EXPECT_EQ(ModRows(), (std::vector<std::string>{"Alpha Scout", "Zulu Guard"}));
  for (wxWindow* window : wxTopLevelWindows) {
    EXPECT_EQ(dynamic_cast<wxGenericProgressDialog*>(window), nullptr) << "the progress dialog stays";
  }
}

}  // namespace
