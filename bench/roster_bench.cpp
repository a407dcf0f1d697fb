// Changing all ten places at once, on the sample game with twenty packages
// of two icons each (a main and an extra icon, a small files tree): roster
// "b" applied over roster "a" (one operation, one page edit cycle), against
// the same packages installed over the places one at a time with "Add -->"
// (one operation each, two to three page edit cycles each), and a single
// two-icon install into an empty place for scale. Then the page cycles
// alone: the one cycle that makes an apply's edits, against the two cycles
// of a single two-icon install. Cycles run the converter as a child
// process, so the times are wall-clock times.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <optional>

#include "icons/icon_map.h"
#include "icons/icon_page.h"
#include "installer/mod_manager.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/icon_pictures.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

// A program folder with twenty two-icon packages (a0..a9, b0..b9), rosters
// "a" and "b" naming them in places 1 to 10, and a sample game with roster
// "a" applied, kept to be copied afresh for each run.
class TenPlaces {
 public:
  TenPlaces() {
    MakeProgramFolderFor(program.path(), game.path());
    platform.set_program_folder(program.path());
    for (char set : {'a', 'b'}) {
      std::string roster;
      for (int i = 0; i < 10; ++i) {
        const std::string name = std::string(1, set) + std::to_string(i);
        const std::string p = program / ("mods/" + name);
        WriteBytes(p + "/modfile.ini", "name=Pack " + name + "\r\ndataname=" + name +
                                           "\r\nhas_icon=1\r\nadd_icon=extra.tga\r\n");
        WriteTgaFile(p + "/charicon.tga", DrawIcon(100 + 2 * (set - 'a') * 10 + 2 * i));
        WriteTgaFile(p + "/extra.tga", DrawIcon(101 + 2 * (set - 'a') * 10 + 2 * i));
        WriteBytes(p + "/files/chars/pawniks/" + name + "/body.mdl", std::string(64 * 1024, 'm'));
        roster += std::to_string(i + 1) + "=" + name + "\n";
      }
      WriteBytes(program / (std::string("rosters/") + set + ".txt"), roster);
    }
    MakeSampleGame(game.path());
    {
      ModManager manager(platform, view);
      manager.StartUp();
      SaveGame(saved / "fresh");
      ok = manager.ApplyRoster("a");
    }
    SaveGame(saved / "a");
  }

  void SaveGame(const std::string& to) {
    fs::remove_all(to);
    fs::copy(game.path(), to, fs::copy_options::recursive);
  }
  // The game as saved under `name`, and a program started on it.
  ModManager& Start(const std::string& name) {
    manager.reset();
    fs::remove_all(game.path());
    fs::copy(saved / name, game.path(), fs::copy_options::recursive);
    manager.emplace(platform, view);
    manager->StartUp();
    view.messages.clear();
    return *manager;
  }
  int Row(const std::string& folder) {
    const auto& folders = manager->mod_folder_list();
    for (size_t i = 0; i < folders.size(); ++i) {
      if (BaseName(folders[i]) == folder) return static_cast<int>(i);
    }
    return -1;
  }

  TempFolder program, game, saved;
  TestPlatform platform;
  RecordingView view;
  std::optional<ModManager> manager;
  bool ok = false;
};

TenPlaces& Places() {
  static TenPlaces places;
  return places;
}

void BM_ApplyRosterOfTenOverAnother(benchmark::State& state) {
  TenPlaces& places = Places();
  if (!places.ok) state.SkipWithError("roster a could not be applied");
  for (auto _ : state) {
    state.PauseTiming();
    ModManager& m = places.Start("a");
    places.platform.ClearCalls();
    state.ResumeTiming();
    if (!m.ApplyRoster("b")) {
      state.SkipWithError(places.view.messages.empty() ? "refused" : places.view.messages.back().c_str());
      break;
    }
    state.counters["page_cycles"] = places.platform.CountCalls(Op::RunProgram) / 2;
  }
}
BENCHMARK(BM_ApplyRosterOfTenOverAnother)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_TenSingleInstallsOverThePlaces(benchmark::State& state) {
  TenPlaces& places = Places();
  for (auto _ : state) {
    state.PauseTiming();
    ModManager& m = places.Start("a");
    places.platform.ClearCalls();
    state.ResumeTiming();
    for (int i = 0; i < 10; ++i) {
      if (!m.InstallCharacter(places.Row("b" + std::to_string(i)), i)) {
        state.SkipWithError(places.view.messages.back().c_str());
        break;
      }
    }
    state.counters["page_cycles"] = places.platform.CountCalls(Op::RunProgram) / 2;
  }
}
BENCHMARK(BM_TenSingleInstallsOverThePlaces)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_SingleTwoIconInstall(benchmark::State& state) {
  TenPlaces& places = Places();
  for (auto _ : state) {
    state.PauseTiming();
    ModManager& m = places.Start("fresh");
    places.platform.ClearCalls();
    state.ResumeTiming();
    if (!m.InstallCharacter(places.Row("b0"), 0)) {
      state.SkipWithError(places.view.messages.back().c_str());
      break;
    }
    state.counters["page_cycles"] = places.platform.CountCalls(Op::RunProgram) / 2;
  }
}
BENCHMARK(BM_SingleTwoIconInstall)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The page alone. An apply's edits: ten characters of two icons released,
// ten placed, planned on the map as the apply plans them, then made in one
// cycle. A single install's: its two icons placed, a cycle each.
void BM_PageCycleOfAnApply(benchmark::State& state) {
  TenPlaces& places = Places();
  TempFolder game;
  fs::create_directories(game / "chars");
  const std::string page = ReadBytes(places.saved / "a/stuff/icons/icontpage_nxg.tex");
  const std::string icon = places.program / "mods/b0/charicon.tga";
  for (auto _ : state) {
    state.PauseTiming();
    WriteBytes(game / "stuff/icons/icontpage_nxg.tex", page);
    IconMap map;
    for (int n = 1; n <= 10; ++n) map.entries.insert(map.entries.end(), {n, n});
    std::vector<CellEdit> edits;
    Status status;
    for (int n = 1; n <= 10 && status.ok(); ++n) {
      status = ReleaseCharacterIcons(SystemPlatform(), game.path(), places.program.path(), &map, n, &edits);
    }
    for (int n = 1; n <= 10 && status.ok(); ++n) {
      status = PlaceIcon(SystemPlatform(), game.path(), places.program.path(), &map, icon, n - 1, n, &edits);
      if (status.ok()) {
        status = PlaceIcon(SystemPlatform(), game.path(), places.program.path(), &map, icon, n, n, &edits);
      }
    }
    state.ResumeTiming();
    if (status.ok()) status = EditIconCells(SystemPlatform(), game.path(), places.program.path(), edits);
    if (!status.ok()) {
      state.SkipWithError(status.message().c_str());
      break;
    }
    state.counters["edits"] = static_cast<double>(edits.size());
  }
}
BENCHMARK(BM_PageCycleOfAnApply)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7)
    ->ReportAggregatesOnly(true);

void BM_PageCyclesOfASingleTwoIconInstall(benchmark::State& state) {
  TenPlaces& places = Places();
  TempFolder game;
  fs::create_directories(game / "chars");
  const std::string page = ReadBytes(places.saved / "fresh/stuff/icons/icontpage_nxg.tex");
  const std::string icon = places.program / "mods/b0/charicon.tga";
  for (auto _ : state) {
    state.PauseTiming();
    WriteBytes(game / "stuff/icons/icontpage_nxg.tex", page);
    IconMap map;
    map.entries.assign(20, 0);
    state.ResumeTiming();
    Status status = PlaceIcon(SystemPlatform(), game.path(), places.program.path(), &map, icon, 0, 1);
    if (status.ok()) status = PlaceIcon(SystemPlatform(), game.path(), places.program.path(), &map, icon, 1, 1);
    if (!status.ok()) {
      state.SkipWithError(status.message().c_str());
      break;
    }
  }
}
BENCHMARK(BM_PageCyclesOfASingleTwoIconInstall)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace korva
