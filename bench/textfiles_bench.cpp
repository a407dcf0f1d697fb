// One character's block appended to and removed from a game text file of a
// given number of lines, and one place's collection entry written: each is a
// whole-file atomic rewrite (read, rebuild, write the _temp, flush, rename).
#include <benchmark/benchmark.h>

#include "platform/platform.h"
#include "tests/support/files.h"
#include "textfiles/collection_list.h"
#include "textfiles/marker_blocks.h"

namespace korva {
namespace {

// A text file of `lines` lines of about 75 bytes, CR LF ended.
std::string GameText(int64_t lines) {
  std::string text;
  for (int64_t i = 0; i < lines; ++i) {
    text +=
        "txt_" + std::to_string(i) + ",\"A line of the game's own text table, kept as it is\"\r\n";
  }
  return text;
}

void BM_AppendAndRemoveBlock(benchmark::State& state, const MarkerBlockTarget& target) {
  TempFolder game;
  const std::string text = GameText(state.range(0));
  WriteBytes(game.path() + target.file, text);
  WriteBytes(game / "data.ini", GameText(20));
  Platform& platform = SystemPlatform();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        AppendMarkerBlock(platform, game.path(), target, game / "data.ini", "Hero"));
    benchmark::DoNotOptimize(RemoveMarkerBlock(platform, game.path(), target.file, "Hero"));
  }
  state.SetBytesProcessed(state.iterations() * 2 * static_cast<int64_t>(text.size()));
}
BENCHMARK_CAPTURE(BM_AppendAndRemoveBlock, text_csv, kMarkerBlockTargets[1])
    ->Arg(1000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AppendAndRemoveBlock, bolttypes, kMarkerBlockTargets[2])
    ->Arg(1000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond);

void BM_WriteCollectionEntry(benchmark::State& state) {
  TempFolder game;
  WriteBytes(game / "chars/collection.txt", GameText(200));
  Platform& platform = SystemPlatform();
  PrepareCollectionList(platform, game.path());
  bool placeholder = false;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        WriteCollectionEntry(platform, game.path(), 3, placeholder, false, "", "Hero"));
    placeholder = !placeholder;
  }
}
BENCHMARK(BM_WriteCollectionEntry)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korva
