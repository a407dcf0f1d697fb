// How fast a downloaded mod archive is imported (check pass and write pass),
// and that it streams: a 50 MB zip of 500 files of data that does not
// compress, imported into an empty mods folder. The peak memory of the whole
// process is reported next to the archive's size; it must stay far below it.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <filesystem>

#include "installer/import.h"
#include "tests/support/files.h"
#include "tests/support/test_archives.h"

namespace korva {
namespace {

double PeakRssMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

// Argument: the number of files of 100 KiB (500 make the 50 MB archive).
void BM_ImportZip(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  constexpr size_t kFileSize = 100 * 1024;
  TempFolder dir;
  const std::string archive = dir / "Big Pack.zip";
  // Written one file at a time, so the archive never sits in memory here.
  WriteTestArchive(archive, "zip", files + 1, [](size_t i) {
    if (i == 0) return File("Big Pack/modfile.ini", "name=Big Pack\r\ndataname=BigPack\r\n");
    return File("Big Pack/files/chars/sub" + std::to_string(i % 10) + "/part" + std::to_string(i) +
                    ".tex",
                NoiseBytes(kFileSize, static_cast<uint32_t>(i)));
  });
  const uint64_t archiveBytes = std::filesystem::file_size(archive);
  const double rssBefore = PeakRssMiB();

  const std::string mods = dir / "mods";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(mods);
    state.ResumeTiming();
    ImportReport report = ImportMods(SystemPlatform(), mods, {archive}, {});
    if (report.imported.size() != 1) state.SkipWithError(ImportMessage(report).c_str());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * archiveBytes));
  state.counters["archive_MiB"] = static_cast<double>(archiveBytes) / (1024.0 * 1024.0);
  state.counters["peak_rss_MiB_before"] = rssBefore;
  state.counters["peak_rss_MiB"] = PeakRssMiB();
}
BENCHMARK(BM_ImportZip)->Arg(500)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace korva
