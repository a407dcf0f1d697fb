// What asking whether the game runs costs: one look over every process of
// the system, for a game that does not run (the whole list is read).
#include <benchmark/benchmark.h>

#include "platform/platform.h"
#include "tests/support/files.h"

namespace korva {
namespace {

void BM_IsRunning(benchmark::State& state) {
  TempFolder game;
  WriteBytes(game / "KORVAQUORIN.exe", "exe");
  Platform& platform = SystemPlatform();
  for (auto _ : state) benchmark::DoNotOptimize(platform.IsRunning(game / "KORVAQUORIN.exe"));
}
BENCHMARK(BM_IsRunning)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korva
