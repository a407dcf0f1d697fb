// What knowing the true state of the game folder costs: an installation of a
// package with a main icon and one extra icon (two page edit cycles) with
// the operation journal recording and without it, side by side; the
// start-up on the sample game, whole and the part that checks the record of
// managed files; and what holding the game folder's lock adds to an
// operation.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "installer/mod_manager.h"
#include "journal/game_lock.h"
#include "gamedata/managed_files.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/icon_pictures.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

// A program folder with the built data and tools and one package, and a
// sample game prepared by a first start and saved, to start every run from.
class Setup {
 public:
  Setup() {
    CopyBuiltData(program.path());
    fs::copy(BuiltProgramFolder() + "/tools", program / "tools", fs::copy_options::recursive);
    WriteBytes(program / "mods/two_icons/modfile.ini",
               "name=Two Icons\ndataname=TwoIcons\nhas_icon=1\nadd_icon=extra.tga\n"
               "has_items=1\nadd_charslot=Pawniks\\TwoIcons=TwoIcons\n");
    WriteBytes(program / "mods/two_icons/itemdata.ini", "item_type \"two\"\r\n");
    WriteTgaFile(program / "mods/two_icons/charicon.tga", DrawIcon(11));
    WriteTgaFile(program / "mods/two_icons/extra.tga", DrawIcon(12));
    WriteBytes(program / "config.ini", "KorvaPath=" + game.path() + "\r\n");
    platform.set_program_folder(program.path());
    MakeSampleGame(game.path());
    RecordingView view;
    ModManager first(platform, view);
    first.StartUp();
    fs::copy(game.path(), saved / "game", fs::copy_options::recursive);
  }
  void Restore() {
    fs::remove_all(game.path());
    fs::copy(saved / "game", game.path(), fs::copy_options::recursive);
  }

  TempFolder program, game, saved;
  TestPlatform platform;
};

Setup& Shared() {
  static Setup setup;
  return setup;
}

// Argument: 1 with the journal recording, 0 without.
void BM_InstallWithTwoIcons(benchmark::State& state) {
  Setup& setup = Shared();
  for (auto _ : state) {
    state.PauseTiming();
    setup.Restore();
    RecordingView view;
    ModManager manager(setup.platform, view);
    manager.StartUp();
    manager.journal().SetRecording(state.range(0) == 1);
    state.ResumeTiming();
    if (!manager.InstallCharacter(0, 0)) {
      state.SkipWithError("the installation failed");
      break;
    }
  }
}
BENCHMARK(BM_InstallWithTwoIcons)
    ->ArgName("journal")->Arg(0)->Arg(1)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(11)
    ->ReportAggregatesOnly(true);

// The start-up on the prepared sample game, as every run of the program
// does it.
void BM_StartUpOnAPreparedGame(benchmark::State& state) {
  Setup& setup = Shared();
  setup.Restore();
  for (auto _ : state) {
    RecordingView view;
    ModManager manager(setup.platform, view);
    if (!manager.StartUp()) state.SkipWithError("the start-up failed");
  }
}
BENCHMARK(BM_StartUpOnAPreparedGame)->Unit(benchmark::kMillisecond)->UseRealTime();

// The record's part of it. Argument: 1 when every managed file's time of
// last change moved (a copy of the game, a restore), so that each is read
// and hashed again; 0 when they are as recorded.
void BM_CheckTheRecord(benchmark::State& state) {
  Setup& setup = Shared();
  setup.Restore();
  ManagedRecord record;
  record.Load(setup.platform, setup.game.path());
  for (auto _ : state) {
    if (state.range(0) == 1) {
      state.PauseTiming();
      for (const std::string& path : ManagedGameFiles()) {
        const std::string file = setup.game.path() + path;
        if (fs::exists(file)) fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(1));
      }
      record.Load(setup.platform, setup.game.path());
      state.ResumeTiming();
    }
    if (!record.Changed(setup.platform, setup.game.path()).empty()) {
      state.SkipWithError("the record does not match the game");
    }
  }
}
BENCHMARK(BM_CheckTheRecord)->ArgName("retimed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What an operation's hold of the game adds: the lock taken and given back,
// and (argument 1) the places, slots and icon map read again under it.
void BM_HoldTheGame(benchmark::State& state) {
  Setup& setup = Shared();
  setup.Restore();
  RecordingView view;
  ModManager manager(setup.platform, view);
  manager.StartUp();
  GameLock lock(setup.platform);
  IconMap map;
  for (auto _ : state) {
    if (!lock.Take(setup.game.path(), 0).ok()) state.SkipWithError("the lock is held");
    if (state.range(0) == 1) {
      manager.FillGameCharsList();
      for (SlotKind kind : kAllSlotKinds) manager.ScanSlots(kind);
      LoadIconMap(setup.platform, setup.game.path(), &map);
    }
    lock.Give();
  }
}
BENCHMARK(BM_HoldTheGame)->ArgName("read_again")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace korva
