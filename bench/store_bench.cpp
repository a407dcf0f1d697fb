// How the installed character store scales with the size of one folder: a
// package whose files tree holds N small files in a single folder is stored
// into the game folder (StoreModFiles) and taken out again
// (RemoveStoredFiles). Time should grow linearly with N. Run plainly on the
// system's platform, and under the operation journal as installation and
// deletion run it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "installer/store.h"
#include "journal/journal.h"
#include "tests/support/files.h"

namespace korva {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// On a file system that scans recently freed inodes when it allocates new
// ones (ext4 without a journal does, for 30 seconds), a store right after
// thousands of files were deleted measures the deletion. Waits until the
// last deletion is that old.
void WaitForDeletionsToAge(Clock::time_point lastDeletion) {
  std::this_thread::sleep_until(lastDeletion + std::chrono::seconds(31));
}

// Arguments: number of files in the one folder; 1 to run under the journal.
void BM_StoreAndRemoveOneFolder(benchmark::State& state) {
  static Clock::time_point lastDeletion;
  const int files = static_cast<int>(state.range(0));
  const bool journaled = state.range(1) != 0;
  TempFolder dir;
  const std::string package = dir / "mods/Many";
  for (int i = 0; i < files; ++i) {
    WriteBytes(package + "/files/chars/many/part" + std::to_string(i) + ".bin",
               std::string(512, static_cast<char>('a' + i % 26)));
  }
  const std::string game = dir / "game";
  std::filesystem::create_directories(game + "/chars");
  WriteBytes(game + "/KORVAQUORIN.exe", "exe");

  Journal journal(SystemPlatform());
  journal.SetGameFolder(game);
  Platform& platform = journaled ? static_cast<Platform&>(journal) : SystemPlatform();
  auto run = [&](const char* name, auto&& step) {
    if (journaled && !journal.Begin(name).ok()) state.SkipWithError("the journal cannot begin");
    StoreReport report = step();
    if (!report.failures.empty()) state.SkipWithError(report.failures[0].c_str());
    if (journaled && !journal.Commit().ok()) state.SkipWithError("the journal cannot commit");
  };

  double storeSeconds = 0, removeSeconds = 0;
  for (auto _ : state) {
    WaitForDeletionsToAge(lastDeletion);
    Clock::time_point start = Clock::now();
    run("installation", [&] { return StoreModFiles(platform, game, package, 0); });
    const double stored = Seconds(start);
    start = Clock::now();
    run("deletion", [&] { return RemoveStoredFiles(platform, game, 0); });
    const double removed = Seconds(start);
    storeSeconds += stored;
    removeSeconds += removed;
    state.SetIterationTime(stored + removed);
    lastDeletion = Clock::now();
    if (std::filesystem::exists(game + "/chars/many")) {
      state.SkipWithError("the stored files were not all removed");
    }
  }
  std::filesystem::remove_all(dir / "mods");
  lastDeletion = Clock::now();
  state.counters["store_s"] = benchmark::Counter(storeSeconds, benchmark::Counter::kAvgIterations);
  state.counters["remove_s"] =
      benchmark::Counter(removeSeconds, benchmark::Counter::kAvgIterations);
  state.counters["us_per_file"] = benchmark::Counter(
      (storeSeconds + removeSeconds) * 1e6 / files, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StoreAndRemoveOneFolder)
    ->ArgsProduct({{1000, 2000, 4000, 8000}, {0, 1}})
    ->ArgNames({"files", "journal"})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace korva
