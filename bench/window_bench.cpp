// How fast the window opens over a mods folder of 500 packages, handles a
// keystroke in the filter over them, and decodes one package's icons for
// showing. Needs a display: xvfb-run -a build/bench/korva_window_bench
#include <benchmark/benchmark.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/modalhook.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <cstdio>
#include <filesystem>

#include "app/main_frame.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/icon_pictures.h"
#include "tests/support/test_platform.h"

namespace {

constexpr int kPackages = 500;

// A program folder with the built data and tools, `kPackages` packages with
// three icons each, and a sample game that a first start has prepared.
class Setting {
 public:
  Setting() {
    namespace fs = std::filesystem;
    for (const char* folder : {"data", "tools"}) {
      fs::copy(korva::BuiltProgramFolder() + "/" + folder, program / folder, fs::copy_options::recursive);
    }
    const char* names[] = {"Runner", "Brawler", "Lantern Keeper", "Shield Bearer", "Mender"};
    for (int i = 0; i < kPackages; ++i) {
      const std::string folder = program / ("mods/package_" + std::to_string(i));
      korva::WriteBytes(folder + "/modfile.ini",
                        "name=" + std::string(names[i % 5]) + " " + std::to_string(i) +
                            "\r\ndescription=A generated package\r\ndataname=Gen" +
                            std::to_string(i) + "\r\nhas_icon=1\r\nadd_icon=extra1.tga\r\n"
                            "add_icon=extra2.tga\r\n");
      for (const char* icon : {"/charicon.tga", "/extra1.tga", "/extra2.tga"}) {
        korva::WriteTgaFile(folder + icon, korva::DrawIcon(i));
      }
    }
    korva::MakeSampleGame(game.path());
    korva::WriteBytes(program / "config.ini", "KorvaPath=" + game.path() + "\r\n");
    platform.set_program_folder(program.path());
    delete Open();  // the first start prepares the game
  }

  // The window, shown and started, with its first paint done.
  KorvaQuorinZIDFrame* Open() {
    auto* frame = new KorvaQuorinZIDFrame(nullptr, -1, platform);
    frame->Show();
    frame->StartUp();
    wxTheApp->Yield(true);
    return frame;
  }

  korva::TempFolder program, game;
  korva::TestPlatform platform;
};

Setting& TheSetting() {
  static Setting setting;
  return setting;
}

// Every dialog is a failure of the setting: it is closed at once.
class NoDialogs : public wxModalDialogHook {
 public:
  int shown = 0;

 protected:
  int Enter(wxDialog*) override {
    ++shown;
    return wxID_CANCEL;
  }
  void Exit(wxDialog*) override {}
};
NoDialogs no_dialogs;

void BM_WindowStart(benchmark::State& state) {
  Setting& setting = TheSetting();
  for (auto _ : state) {
    KorvaQuorinZIDFrame* frame = setting.Open();
    state.PauseTiming();
    frame->Destroy();
    wxTheApp->Yield(true);
    state.ResumeTiming();
  }
  if (no_dialogs.shown > 0) state.SkipWithError("the start showed a dialog");
}
BENCHMARK(BM_WindowStart)->Unit(benchmark::kMillisecond)->UseRealTime();

// One letter typed into the filter (or taken back), the list shown anew.
void BM_FilterKeystroke(benchmark::State& state) {
  KorvaQuorinZIDFrame* frame = TheSetting().Open();
  auto* filter = dynamic_cast<wxTextCtrl*>(wxWindow::FindWindowByName("mod_filter", frame));
  const wxString typed = "runner 4";
  size_t length = 0;
  bool typing = true;
  for (auto _ : state) {
    length = typing ? length + 1 : length - 1;
    if (length == typed.size() || length == 0) typing = !typing;
    filter->SetValue(typed.Left(length));
    wxTheApp->Yield(true);
  }
  frame->Destroy();
  wxTheApp->Yield(true);
}
BENCHMARK(BM_FilterKeystroke)->Unit(benchmark::kMillisecond)->UseRealTime();

// A package's three icons decoded and scaled for their frames, as a first
// selection of it does.
void BM_IconDecode(benchmark::State& state) {
  Setting& setting = TheSetting();
  const std::string package = setting.program / "mods/package_7";
  for (auto _ : state) {
    for (const char* icon : {"/charicon.tga", "/extra1.tga", "/extra2.tga"}) {
      ShownIcon shown = DecodeIcon(setting.platform, package + icon);
      benchmark::DoNotOptimize(shown.image.Scale(64, 64, wxIMAGE_QUALITY_HIGH));
    }
  }
}
BENCHMARK(BM_IconDecode)->Unit(benchmark::kMillisecond);

class BenchApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  wxSetEnv("GTK_OVERLAY_SCROLLING", "0");
  wxApp::SetInstance(new BenchApp);
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    fprintf(stderr, "wx cannot start: is there an X display (DISPLAY)?\n");
    return 1;
  }
  no_dialogs.Register();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  no_dialogs.Unregister();
  wxEntryCleanup();
  return 0;
}
