// Changing all ten places at once, on the sample game with twenty packages
// of two icons each (a main and an extra icon, a small files tree): roster
// "b" applied over roster "a" (one operation, one page edit cycle), against
// the same packages installed over the places one at a time with "Add -->"
// (one operation each, two to three page edit cycles each), and a single
// two-icon install into an empty place for scale. Then the page cycles
// alone: the one cycle that makes an apply's edits, against the two cycles
// of a single two-icon install. Cycles run the converter as a child
// process, so the times are wall-clock times.
//
// Sharing a roster: its export as one zip and the zip's import into an
// empty program folder (every package checked against its fingerprint,
// then unpacked and flushed), for a roster of ten two-icon packages and for
// one of a single 256 MB package (64 files of 4 MiB that do not compress),
// against "zip -r" and "unzip" of the same folders, run as child processes.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "icons/icon_map.h"
#include "icons/icon_page.h"
#include "installer/import.h"
#include "installer/mod_manager.h"
#include "installer/roster_share.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/icon_pictures.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_archives.h"
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

// A program folder whose roster "share" names ten two-icon packages
// (argument 0), or one package of 256 MB (argument 256); the roster's zip,
// and folders to import and unpack it into.
class Shared {
 public:
  explicit Shared(int megabytes) {
    std::string roster;
    for (int i = 0; i < (megabytes == 0 ? 10 : 1); ++i) {
      const std::string name = "p" + std::to_string(i);
      const std::string p = program / ("mods/" + name);
      WriteBytes(p + "/modfile.ini", "name=Pack " + name + "\r\ndataname=" + name + "\r\nhas_icon=1\r\nadd_icon=extra.tga\r\n");
      WriteTgaFile(p + "/charicon.tga", DrawIcon(200 + 2 * i));
      WriteTgaFile(p + "/extra.tga", DrawIcon(201 + 2 * i));
      WriteBytes(p + "/files/chars/pawniks/" + name + "/body.mdl", std::string(64 * 1024, 'm'));
      for (int k = 0; k < megabytes / 4; ++k) {
        WriteBytes(p + "/files/textures/t" + std::to_string(k) + ".dds", NoiseBytes(4 << 20, static_cast<uint32_t>(k)));
      }
      roster += std::to_string(i + 1) + "=" + name + "\n";
      folders += " mods/" + name;
    }
    for (int i = megabytes == 0 ? 10 : 1; i < 10; ++i) roster += std::to_string(i + 1) + "=\n";
    WriteBytes(program / "rosters/share.txt", roster);
    RosterExport report;
    ok = ExportRoster(SystemPlatform(), program / "mods", program / "rosters", "share", zip, true, nullptr, &report).ok();
    bytes = report.bytes;
  }
  // Runs `command` through the shell in the program folder.
  bool Shell(const std::string& command) {
    int status = -1;
    return SystemPlatform().RunProgram({"/bin/sh", "-c", "cd '" + program.path() + "' && " + command}, &status).ok() &&
           status == 0;
  }

  TempFolder program, other, work;
  const std::string zip = work / "share.zip";
  std::string folders;  // " mods/p0 mods/p1 ..."
  uint64_t bytes = 0;
  bool ok = false;
};

Shared& SharedRoster(int megabytes) {
  static std::map<int, std::unique_ptr<Shared>> made;
  std::unique_ptr<Shared>& shared = made[megabytes];
  if (!shared) shared = std::make_unique<Shared>(megabytes);
  return *shared;
}

void BM_RosterExport(benchmark::State& state) {
  Shared& shared = SharedRoster(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    RosterExport report;
    Status status = ExportRoster(SystemPlatform(), shared.program / "mods", shared.program / "rosters", "share",
                                 shared.work / "out.zip", true, nullptr, &report);
    if (!status.ok()) state.SkipWithError(status.message().c_str());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * shared.bytes));
}

void BM_RosterZipDashR(benchmark::State& state) {
  Shared& shared = SharedRoster(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(shared.work / "zip-r.zip");
    state.ResumeTiming();
    if (!shared.Shell("zip -qr '" + shared.work / "zip-r.zip' rosters/share.txt" + shared.folders)) {
      state.SkipWithError("zip -r failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * shared.bytes));
}

void BM_RosterImport(benchmark::State& state) {
  Shared& shared = SharedRoster(static_cast<int>(state.range(0)));
  if (!shared.ok) state.SkipWithError("the roster could not be exported");
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(shared.other / "mods");
    fs::remove_all(shared.other / "rosters");
    state.ResumeTiming();
    ImportReport report = ImportMods(SystemPlatform(), shared.other / "mods", {shared.zip}, {});
    if (report.rosters.size() != 1) state.SkipWithError(ImportMessage(report).c_str());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * shared.bytes));
}

void BM_RosterUnzip(benchmark::State& state) {
  Shared& shared = SharedRoster(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(shared.other / "unzipped");
    state.ResumeTiming();
    if (!shared.Shell("unzip -qo '" + shared.zip + "' -d '" + shared.other / "unzipped'")) {
      state.SkipWithError("unzip failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * shared.bytes));
}

BENCHMARK(BM_RosterExport)->Arg(0)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RosterZipDashR)->Arg(0)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RosterImport)->Arg(0)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RosterUnzip)->Arg(0)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace korva
