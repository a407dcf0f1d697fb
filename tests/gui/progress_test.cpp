// A long first start, on a packed game of 256 MB: the window keeps its
// events flowing throughout, a progress dialog shows once it has taken a
// second, and its Cancel undoes the whole first start.
#include <wx/progdlg.h>
#include <wx/timer.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>

#include "gamedata/unpack.h"
#include "sample/packed_game.h"
#include "tests/gui/gui_support.h"
#include "tests/support/test_archives.h"

namespace {

namespace fs = std::filesystem;
using korva::ReadBytes;
using korva::Snapshot;
using korva::SnapshotDiff;

// Turns of the event loop, seen by a timer that asks to run every 20 ms:
// the longest time between two of its runs is the longest the loop waited.
// With `cancel`, it presses Cancel on the progress dialog once it shows.
class LoopWatch : public wxTimer {
 public:
  explicit LoopWatch(bool cancel) : cancel_(cancel) { Start(20); }
  void Notify() override {
    const auto now = std::chrono::steady_clock::now();
    if (seen_) {
      longest_ = std::max<long>(
          longest_, static_cast<long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(now - last_).count()));
    }
    seen_ = true;
    last_ = now;
    for (wxWindow* window : wxTopLevelWindows) {
      auto* dialog = dynamic_cast<wxGenericProgressDialog*>(window);
      if (dialog == nullptr || !dialog->IsShown()) continue;
      dialog_ = true;
      if (cancel_) {
        wxCommandEvent press(wxEVT_BUTTON, wxID_CANCEL);
        dialog->GetEventHandler()->ProcessEvent(press);
      }
    }
  }
  long longest() const { return longest_; }
  bool dialog() const { return dialog_; }

 private:
  bool cancel_;
  bool seen_ = false;
  bool dialog_ = false;
  long longest_ = 0;
  std::chrono::steady_clock::time_point last_;
};

class FirstStartProgressTest : public FrameTest {
 protected:
  FirstStartProgressTest() {
    fs::remove_all(game.path());
    korva::MakePackedSampleGame(game.path());
    // 64 files of 4 MiB, in an archive of the game's own.
    korva::WriteTestArchive(game / "big.dat", "tar", 64, [](size_t i) {
      return korva::File("big/part" + std::to_string(i) + ".bin",
                         std::string(4 << 20, static_cast<char>('a' + i % 26)));
    });
    WriteConfig("KorvaPath=" + game.path() + "\r\n");
  }
};

TEST_F(FirstStartProgressTest, TheWindowStaysAliveAndCancelUndoesTheFirstStart) {
  const auto before = Snapshot(game.path());
  {
    LoopWatch watch(true);
    ShownMessage unpacking, cancelled;
    // The dialog shows at once: on a fast disk the work may take less than
    // the second after which it shows otherwise.
    MakeFrame()->set_progress_delay_ms(0);
    wxTEST_DIALOG(frame_->StartUp(), ExpectMessage(&unpacking), ExpectMessage(&cancelled));
    EXPECT_EQ(unpacking.text, korva::kUnpackingMessage);
    EXPECT_EQ(cancelled.text.rfind("The first start was cancelled.", 0), 0u) << cancelled.text;
    EXPECT_TRUE(watch.dialog());
  }
  EXPECT_TRUE(WindowClosed());
  DestroyFrame();
  EXPECT_EQ(SnapshotDiff(before, Snapshot(game.path())), "");

  LoopWatch watch(false);
  ShownMessage unpacking, finished;
  MakeFrame()->set_progress_delay_ms(0);
  wxTEST_DIALOG(frame_->StartUp(), ExpectMessage(&unpacking), ExpectMessage(&finished));
  EXPECT_EQ(finished.text, "Initial unpacking finished.");
  EXPECT_TRUE(watch.dialog());
  EXPECT_LT(watch.longest(), 250);
  std::cout << "[ loop     ] longest wait of the first start: " << watch.longest() << " ms\n";
  EXPECT_EQ(ReadBytes(game / "big/part63.bin"), std::string(4 << 20, 'a' + 63 % 26));
}

}  // namespace
