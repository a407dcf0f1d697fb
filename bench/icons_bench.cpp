// How long the icon page takes to change, on 1280 x 3584 pages: one page edit
// cycle (PasteIconCell) with our converter and with ImageMagick's convert
// doing both conversions, and each conversion alone, side by side: the two
// take turns, starting from the same page every time, so a busy machine
// slows both alike. Each of those benchmarks reports the medians of its
// runs as ours_ms and imagemagick_ms, and their ratio; its own time is ours.
// Two pages: the bench's own (drawn icons, encoded once) and one whose every
// block uses all four colours and all eight alpha values of its palette.
// Then a PlaceIcon onto a taken position (two cycles), and the converter's
// steps in this process. Cycles and conversions run in child processes, so
// the times are wall-clock times.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>

#include "icons/icon_map.h"
#include "icons/icon_page.h"
#include "platform/read_limits.h"
#include "tests/support/files.h"
#include "tests/support/icon_pictures.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

// ImageMagick 6.9 in the converter's place: it ignores a TGA's origin when
// reading (hence -auto-orient) and must be told the origin when writing;
// DXT1's 1-bit alpha it drops, so the page is written as DXT5.
const char kImageMagick[] = "/usr/bin/convert";
// The stand-in program's script (tests/support/stand_in.cpp) that runs it
// with the converter's arguments -file IN /out OUT.
const char kImageMagickConverter[] =
    "if-ends-with $4 .tga exec /usr/bin/convert $2 -orient TopLeft $4\n"
    "exec /usr/bin/convert $2 -auto-orient -define dds:compression=dxt5 -define dds:mipmaps=0 $4\n";

const char kPage[] = "stuff/icons/icontpage_nxg.tex";

enum class PageKind { kBench, kFullPalette };

const std::string& BenchPage() {
  static const std::string bytes = [] {
    std::string dds;
    EncodeDds(DrawIconPage(28, 260), &dds);
    return dds;
  }();
  return bytes;
}

// A DXT5 page of random blocks, each of which shows all four colours of its
// palette and all eight alpha codes (half in seven-step mode, half in
// five-step mode), twice each.
const std::string& FullPalettePage() {
  static const std::string bytes = [] {
    const int width = 1280, height = 3584;
    std::string dds(DdsFileSize(width, height, true), '\0');
    uint8_t* data = reinterpret_cast<uint8_t*>(&dds[0]);
    WriteDdsHeader(width, height, true, data);
    std::mt19937 random(2024);
    uint8_t* block = data + kDdsHeaderSize;
    for (size_t n = 0; n < (width / 4) * (height / 4); ++n, block += 16) {
      int a0 = 0, a1 = 0, c0 = 0, c1 = 0;
      while (a0 == a1) a0 = static_cast<int>(random() % 256), a1 = static_cast<int>(random() % 256);
      if ((a0 > a1) != (n % 2 == 0)) std::swap(a0, a1);
      while (c0 == c1) c0 = static_cast<int>(random() % 65536), c1 = static_cast<int>(random() % 65536);
      int alpha[16], colour[16];
      for (int i = 0; i < 16; ++i) alpha[i] = i % 8, colour[i] = i % 4;
      std::shuffle(alpha, alpha + 16, random);
      std::shuffle(colour, colour + 16, random);
      uint64_t packed = 0;
      for (int i = 0; i < 16; ++i) packed |= static_cast<uint64_t>(alpha[i]) << (3 * i);
      block[0] = static_cast<uint8_t>(a0);
      block[1] = static_cast<uint8_t>(a1);
      for (int k = 0; k < 6; ++k) block[2 + k] = static_cast<uint8_t>(packed >> (8 * k));
      block[8] = static_cast<uint8_t>(c0), block[9] = static_cast<uint8_t>(c0 >> 8);
      block[10] = static_cast<uint8_t>(c1), block[11] = static_cast<uint8_t>(c1 >> 8);
      for (int row = 0; row < 4; ++row) {
        const int* ix = colour + 4 * row;
        block[12 + row] = static_cast<uint8_t>(ix[0] | ix[1] << 2 | ix[2] << 4 | ix[3] << 6);
      }
    }
    return dds;
  }();
  return bytes;
}

const std::string& PageBytes(PageKind page) {
  return page == PageKind::kBench ? BenchPage() : FullPalettePage();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs ours() and theirs() once each per iteration, in turns (ours first on
// even iterations), timing each; the iteration's time is ours.
template <typename Prepare, typename Ours, typename Theirs>
void SideBySide(benchmark::State& state, const Prepare& prepare, const Ours& ours,
                const Theirs& theirs) {
  std::vector<double> oursMs, theirsMs;
  int turn = 0;
  for (auto _ : state) {
    prepare();
    double took[2] = {0, 0};
    Status status;
    for (int k = 0; k < 2 && status.ok(); ++k) {
      bool oursNow = (k == 0) == (turn % 2 == 0);
      auto start = std::chrono::steady_clock::now();
      status = oursNow ? ours() : theirs();
      took[oursNow ? 0 : 1] =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (!status.ok()) {
        state.SkipWithError(((oursNow ? "ours: " : "ImageMagick: ") + status.message()).c_str());
      }
    }
    if (!status.ok()) break;
    ++turn;
    oursMs.push_back(took[0] * 1000);
    theirsMs.push_back(took[1] * 1000);
    state.SetIterationTime(took[0]);
  }
  double o = Median(oursMs), m = Median(theirsMs);
  state.counters["ours_ms"] = o;
  state.counters["imagemagick_ms"] = m;
  state.counters["ratio"] = o > 0 ? m / o : 0;
}

// A program run to its end; a failure unless it exits with 0.
Status Run(const std::vector<std::string>& argv) {
  int exitStatus = -1;
  Status status = SystemPlatform().RunProgram(argv, &exitStatus);
  if (status.ok() && exitStatus != 0) {
    status = Status::Error(argv[0] + " ended with exit status " + std::to_string(exitStatus));
  }
  return status;
}

std::string OurConverter() { return BuiltProgramFolder() + "/tools/crunch.exe"; }

void BM_PageEditCycle(benchmark::State& state, PageKind page) {
  TempFolder ourGame, theirGame, imageMagick, files;
  WriteStandIn(imageMagick / "tools/crunch.exe", kImageMagickConverter);
  WriteTgaFile(files / "icon.tga", DrawIcon(4242));
  const std::string icon = files / "icon.tga";
  SideBySide(
      state,
      [&] {
        WriteBytes(ourGame / kPage, PageBytes(page));
        WriteBytes(theirGame / kPage, PageBytes(page));
      },
      [&] { return PasteIconCell(SystemPlatform(), ourGame.path(), BuiltProgramFolder(), icon, 265); },
      [&] {
        return PasteIconCell(SystemPlatform(), theirGame.path(), imageMagick.path(), icon, 265);
      });
}
BENCHMARK_CAPTURE(BM_PageEditCycle, bench_page, PageKind::kBench)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);
BENCHMARK_CAPTURE(BM_PageEditCycle, full_palette_page, PageKind::kFullPalette)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);

void BM_ConvertDdsToTga(benchmark::State& state, PageKind page) {
  TempFolder dir;
  WriteBytes(dir / "page.dds", PageBytes(page));
  SideBySide(
      state, [&] { fs::remove(dir / "ours.tga"), fs::remove(dir / "theirs.tga"); },
      [&] { return Run({OurConverter(), "-file", dir / "page.dds", "/out", dir / "ours.tga"}); },
      [&] { return Run({kImageMagick, dir / "page.dds", "-orient", "TopLeft", dir / "theirs.tga"}); });
}
BENCHMARK_CAPTURE(BM_ConvertDdsToTga, bench_page, PageKind::kBench)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);
BENCHMARK_CAPTURE(BM_ConvertDdsToTga, full_palette_page, PageKind::kFullPalette)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);

void BM_ConvertTgaToDds(benchmark::State& state, PageKind page) {
  TempFolder dir;
  WriteBytes(dir / "page.dds", PageBytes(page));
  // The TGA as the cycle hands it over (FreeImage's layout, which ours
  // writes too).
  Status made = Run({OurConverter(), "-file", dir / "page.dds", "/out", dir / "page.tga"});
  if (!made.ok()) state.SkipWithError(made.message().c_str());
  SideBySide(
      state, [&] { fs::remove(dir / "ours.dds"), fs::remove(dir / "theirs.dds"); },
      [&] {
        return Run({OurConverter(), "-file", dir / "page.tga", "/out", dir / "ours.dds",
                    "/alphathreshold", "128", "/mipMode", "None"});
      },
      [&] {
        return Run({kImageMagick, dir / "page.tga", "-auto-orient", "-define",
                    "dds:compression=dxt5", "-define", "dds:mipmaps=0", dir / "theirs.dds"});
      });
}
BENCHMARK_CAPTURE(BM_ConvertTgaToDds, bench_page, PageKind::kBench)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);
BENCHMARK_CAPTURE(BM_ConvertTgaToDds, full_palette_page, PageKind::kFullPalette)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);

void BM_PlaceIconOntoATakenPosition(benchmark::State& state) {
  TempFolder game, files;
  WriteBytes(game / kPage, BenchPage());
  fs::create_directories(game / "chars");
  WriteTgaFile(files / "icon.tga", DrawIcon(4242));
  IconMap map;
  for (auto _ : state) {
    state.PauseTiming();
    map.entries.assign(20, 0);
    map.entries[0] = 1, map.entries[1] = 2;
    state.ResumeTiming();
    Status status = PlaceIcon(SystemPlatform(), game.path(), BuiltProgramFolder(), &map,
                              files / "icon.tga", 1, 1);
    if (!status.ok()) state.SkipWithError(status.message().c_str());
  }
}
BENCHMARK(BM_PlaceIconOntoATakenPosition)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7)
    ->ReportAggregatesOnly(true);

// The converter's steps, in this process.
void BM_DecodePage(benchmark::State& state) {
  RgbaImage page;
  for (auto _ : state) DecodeDds(BenchPage(), &page);
}
BENCHMARK(BM_DecodePage)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Encoding a decoded page (every block found exactly), by one thread and by
// two: state.range(0) is the page, state.range(1) the threads.
void BM_EncodeDecodedPage(benchmark::State& state) {
  RgbaImage page;
  DecodeDds(PageBytes(static_cast<PageKind>(state.range(0))), &page);
  std::string dds;
  CodecOptions options;
  options.threads = static_cast<int>(state.range(1));
  for (auto _ : state) EncodeDds(page, &dds, nullptr, options);
}
BENCHMARK(BM_EncodeDecodedPage)
    ->ArgNames({"full_palette", "threads"})
    ->Args({0, 1})->Args({0, 2})->Args({1, 1})->Args({1, 2})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);

// Drawn pictures need libsquish's fit for most blocks.
void BM_EncodeDrawnPage(benchmark::State& state) {
  RgbaImage page = DrawIconPage(28, 260);
  std::string dds;
  for (auto _ : state) EncodeDds(page, &dds);
}
BENCHMARK(BM_EncodeDrawnPage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)
    ->Repetitions(5)->ReportAggregatesOnly(true);

// The cycle's own image steps: load the page's TGA and save it again.
void BM_CycleLoadAndSavePage(benchmark::State& state) {
  TempFolder dir;
  WriteBytes(dir / "page.dds", BenchPage());
  Status made = Run({OurConverter(), "-file", dir / "page.dds", "/out", dir / "page.tga"});
  if (!made.ok()) state.SkipWithError(made.message().c_str());
  for (auto _ : state) {
    Image page = LoadImageFile(SystemPlatform(), dir / "page.tga", 0, kPageLimits);
    Status saved = SaveImageFile(SystemPlatform(), page.get(), dir / "saved.tga", 0);
    if (!saved.ok()) state.SkipWithError(saved.message().c_str());
  }
}
BENCHMARK(BM_CycleLoadAndSavePage)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
}  // namespace korva
