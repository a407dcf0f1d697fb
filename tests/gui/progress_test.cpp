// A long first start, on a packed game of 256 MB: the window keeps its
// events flowing throughout, a progress dialog shows once it has taken a
// second, and its Cancel undoes the whole first start.
#include <wx/progdlg.h>
#include <wx/timer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <filesystem>
#include <iostream>

#include "gamedata/unpack.h"
#include "sample/packed_game.h"
#include "tests/gui/gui_support.h"
#include "tests/support/test_archives.h"

#ifdef __WXMSW__
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;
using korva::ReadBytes;
using korva::Snapshot;
using korva::SnapshotDiff;

#ifdef __WXMSW__
// Whether the window answers, asked as Windows asks before it calls a
// window "Not Responding": another thread sends it a message and waits for
// the answer, which comes at the event loop's next turn. (A wx timer would
// not do: a progress dialog's own event handling on Windows drops timer
// messages.) With `cancel`, the thread also presses the progress dialog's
// Cancel button once the dialog shows.
class LoopWatch {
 public:
  explicit LoopWatch(bool cancel)
      : cancel_(cancel), window_(nullptr) {
    thread_ = std::thread([this] { Run(); });
  }
  ~LoopWatch() {
    stop_ = true;
    thread_.join();
  }
  void Watch(wxWindow* window) { window_ = static_cast<HWND>(window->GetHWND()); }
  long longest() const { return longest_; }
  bool dialog() const { return dialog_; }

 private:
  void Run() {
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      HWND window = window_;
      if (window == nullptr) continue;
      const auto asked = std::chrono::steady_clock::now();
      DWORD_PTR answer = 0;
      if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer)) continue;
      const long waited = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - asked).count());
      longest_ = std::max(longest_.load(), waited);
      // The progress dialog: a window titled as the program, not the main one.
      HWND progress = FindWindowW(nullptr, L"Korva Quorin ZID");
      if (progress == nullptr || !IsWindowVisible(progress)) continue;
      dialog_ = true;
      if (!cancel_) continue;
      HWND button = FindWindowExW(progress, nullptr, nullptr, L"Cancel");
      if (button != nullptr) PostMessageW(button, BM_CLICK, 0, 0);
    }
  }

  bool cancel_;
  std::atomic<HWND> window_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> dialog_{false};
  std::atomic<long> longest_{0};
  std::thread thread_;
};
#else
// Turns of the event loop, seen by a timer that asks to run every 20 ms:
// the longest time between two of its runs is the longest the loop waited.
// With `cancel`, it presses Cancel on the progress dialog once it shows.
class LoopWatch : public wxTimer {
 public:
  explicit LoopWatch(bool cancel) : cancel_(cancel) { Start(20); }
  void Watch(wxWindow*) {}
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
#endif

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
    watch.Watch(frame_);
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
  watch.Watch(frame_);
  wxTEST_DIALOG(frame_->StartUp(), ExpectMessage(&unpacking), ExpectMessage(&finished));
  EXPECT_EQ(finished.text, "Initial unpacking finished.");
  EXPECT_TRUE(watch.dialog());
  // The loop turns every ~100 ms; the bound leaves room for a loaded
  // machine, while a loop that waits out the 256 MB unpacking fails it.
  EXPECT_LT(watch.longest(), 1000);
  std::cout << "[ loop     ] longest wait of the first start: " << watch.longest() << " ms\n";
  EXPECT_EQ(ReadBytes(game / "big/part63.bin"), std::string(4 << 20, 'a' + 63 % 26));
}

}  // namespace
