// How fast the first start unpacks the game's archives with our unpacker
// (check pass and write pass), for zip and tar, over many small files and a
// few large ones; and how the whole pass scales with the number of files in
// one folder, which must stay linear.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "gamedata/unpack.h"
#include "sample/archive_writer.h"
#include "tests/support/files.h"
#include "tests/support/test_archives.h"

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

// A pass as the first start runs it: in one operation under the journal.
UnpackReport UnpackPass(const std::string& game) {
  Journal journal(SystemPlatform());
  journal.SetGameFolder(game);
  UnpackReport report;
  report.status = journal.Begin("unpacking");
  if (report.status.ok()) report = UnpackGameArchives(journal, game, BuiltProgramFolder(), [] {}, nullptr);
  if (report.status.ok()) report.status = journal.Commit();
  return report;
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
    UnpackReport report = UnpackPass(game);
    if (report.unpacked.size() != 1 || !report.status.ok()) state.SkipWithError("the archive was not unpacked");
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

// Folders kept until the process ends. On a file system that scans recently
// freed inodes when it allocates new ones (ext4 without a journal does, for
// 30 seconds), a run right after thousands of files were deleted would
// measure that deletion; a first start follows no such deletion.
std::vector<std::unique_ptr<TempFolder>>& KeptUntilExit() {
  static std::vector<std::unique_ptr<TempFolder>> folders;
  return folders;
}

// Argument: the number of small files, all in the one folder chars/many. The
// whole pass: the unpacker copied into the game folder, run on the archive,
// the archive deleted.
void BM_UnpackOneFolder(benchmark::State& state) {
  const size_t files = static_cast<size_t>(state.range(0));
  TempFolder dir;
  WriteTestArchive(dir / "packed", "zip", files, [](size_t i) {
    return File("chars/many/part" + std::to_string(i) + ".bin",
                GameLikeBytes(1024, static_cast<unsigned>(i + 1)));
  });
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    KeptUntilExit().push_back(std::make_unique<TempFolder>());
    const std::string game = KeptUntilExit().back()->path();
    std::filesystem::copy_file(dir / "packed", game + "/data.dat");
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    UnpackReport report = UnpackPass(game);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (report.unpacked.size() != 1 || !report.status.ok()) state.SkipWithError("the archive was not unpacked");
  }
  state.counters["us_per_file"] =
      benchmark::Counter(seconds * 1e6 / static_cast<double>(files), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_UnpackOneFolder)
    ->Arg(2500)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Iterations(1)
    ->Repetitions(3)
    ->ComputeStatistics("min",
                        [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace korva
