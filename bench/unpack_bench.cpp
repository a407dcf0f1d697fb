// How fast the first start unpacks the game's archives with our unpacker
// (check pass and write pass), for zip and tar, over many small files and a
// few large ones.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "gamedata/unpack.h"
#include "sample/archive_writer.h"
#include "tests/support/files.h"

namespace korva {
namespace {

// Bytes that compress about as well as game data do.
std::string GameLikeBytes(size_t size, unsigned seed) {
  std::string bytes;
  bytes.reserve(size);
  for (unsigned x = seed; bytes.size() < size; x = x * 1103515245u + 12345u) {
    bytes += static_cast<char>((x >> 24) & 0x3f);
  }
  return bytes;
}

// Arguments: archive format (0 zip, 1 tar), number of files, file size.
void BM_UnpackGameArchives(benchmark::State& state) {
  const char* format = state.range(0) == 0 ? "zip" : "tar";
  int files = static_cast<int>(state.range(1));
  size_t size = static_cast<size_t>(state.range(2));
  TempFolder dir;
  std::vector<ArchiveEntry> entries;
  for (int i = 0; i < files; ++i) {
    entries.push_back({"chars/sub" + std::to_string(i % 10) + "/file" + std::to_string(i) + ".bin",
                       GameLikeBytes(size, static_cast<unsigned>(i + 1))});
  }
  WriteArchive(dir / "packed", format, entries);
  std::string game = dir / "game";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(game);
    std::filesystem::create_directories(game);
    std::filesystem::copy_file(dir / "packed", game + "/data.dat");
    state.ResumeTiming();
    UnpackReport report = UnpackGameArchives(SystemPlatform(), game, BuiltProgramFolder(), [] {});
    if (report.unpacked.size() != 1) state.SkipWithError("the archive was not unpacked");
  }
  state.SetBytesProcessed(state.iterations() * files * static_cast<int64_t>(size));
}
BENCHMARK(BM_UnpackGameArchives)
    ->Args({0, 1000, 4096})
    ->Args({1, 1000, 4096})
    ->Args({0, 8, 4 << 20})
    ->Args({1, 8, 4 << 20})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korva
