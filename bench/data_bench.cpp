// The sample game that tests make over and over, the first start's backups
// on it, and the build's icon page.
#include <benchmark/benchmark.h>

#include "data/prepared_files.h"
#include "gamedata/backups.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"

namespace korva {
namespace {

void BM_MakeSampleGame(benchmark::State& state) {
  SampleGameFiles();  // built once per process, as in the tests
  for (auto _ : state) {
    state.PauseTiming();
    {
      TempFolder folder;
      state.ResumeTiming();
      MakeSampleGame(folder.path());
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_MakeSampleGame)->Unit(benchmark::kMillisecond);

void BM_FirstStartBackups(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    {
      TempFolder folder;
      MakeSampleGame(folder.path());
      state.ResumeTiming();
      benchmark::DoNotOptimize(BackUpGameFiles(SystemPlatform(), folder.path(), BuiltProgramFolder()));
      state.PauseTiming();
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FirstStartBackups)->Unit(benchmark::kMillisecond);

void BM_LaterStartBackups(benchmark::State& state) {
  TempFolder folder;
  MakeSampleGame(folder.path());
  BackUpGameFiles(SystemPlatform(), folder.path(), BuiltProgramFolder());
  for (auto _ : state) {
    benchmark::DoNotOptimize(BackUpGameFiles(SystemPlatform(), folder.path(), BuiltProgramFolder()));
  }
}
BENCHMARK(BM_LaterStartBackups)->Unit(benchmark::kMillisecond);

void BM_DrawIconPage(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(PreparedIconPageImage());
}
BENCHMARK(BM_DrawIconPage)->Unit(benchmark::kMillisecond);

void BM_EncodeIconPage(benchmark::State& state) {
  RgbaImage page = PreparedIconPageImage();
  for (auto _ : state) benchmark::DoNotOptimize(DdsBytes(page));
}
BENCHMARK(BM_EncodeIconPage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korva
