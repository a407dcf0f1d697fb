// How long the icon page takes to change, on the 1280 x 3584 page: one page
// edit cycle with our converter and with ImageMagick's convert doing both
// conversions, a PlaceIcon onto a taken position (two cycles), and the
// converter's own steps. Cycles run in child processes, so the times are
// wall-clock times.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "icons/icon_map.h"
#include "icons/icon_page.h"
#include "tests/support/files.h"
#include "tests/support/icon_pictures.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

// ImageMagick 6.9 in the converter's place: it ignores a TGA's origin when
// reading (hence -auto-orient) and must be told the origin when writing;
// DXT1's 1-bit alpha it drops, so the page is written as DXT5.
const char kImageMagickConverter[] =
    "#!/bin/sh\n"
    "in=$2 out=$4\n"
    "case \"$out\" in\n"
    "  *.tga) exec /usr/bin/convert \"$in\" -orient TopLeft \"$out\" ;;\n"
    "  *) exec /usr/bin/convert \"$in\" -auto-orient -define dds:compression=dxt5 "
    "-define dds:mipmaps=0 \"$out\" ;;\n"
    "esac\n";

const std::string& PageFile() {
  static const std::string bytes = [] {
    std::string dds;
    EncodeDds(DrawIconPage(28, 260), &dds);
    return dds;
  }();
  return bytes;
}

struct Setting {
  TempFolder game, files, imageMagick;
  Setting() {
    WriteBytes(game / "stuff/icons/icontpage_nxg.tex", PageFile());
    fs::create_directories(game / "chars");
    WriteTgaFile(files / "icon.tga", DrawIcon(4242));
    WriteBytes(imageMagick / "tools/crunch.exe", kImageMagickConverter);
    fs::permissions(imageMagick / "tools/crunch.exe", fs::perms::owner_all);
  }
};

void PasteCycle(benchmark::State& state, bool imageMagick) {
  Setting s;
  std::string program = imageMagick ? s.imageMagick.path() : BuiltProgramFolder();
  for (auto _ : state) {
    Status status = PasteIconCell(SystemPlatform(), s.game.path(), program, s.files / "icon.tga", 265);
    if (!status.ok()) state.SkipWithError(status.message().c_str());
  }
}

void BM_PageEditCycle_OurConverter(benchmark::State& state) { PasteCycle(state, false); }
void BM_PageEditCycle_ImageMagick(benchmark::State& state) { PasteCycle(state, true); }
BENCHMARK(BM_PageEditCycle_OurConverter)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PageEditCycle_ImageMagick)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7)
    ->ReportAggregatesOnly(true);

void BM_PlaceIconOntoATakenPosition(benchmark::State& state) {
  Setting s;
  IconMap map;
  for (auto _ : state) {
    state.PauseTiming();
    map.entries.assign(20, 0);
    map.entries[0] = 1, map.entries[1] = 2;
    state.ResumeTiming();
    Status status = PlaceIcon(SystemPlatform(), s.game.path(), BuiltProgramFolder(), &map,
                              s.files / "icon.tga", 1, 1);
    if (!status.ok()) state.SkipWithError(status.message().c_str());
  }
}
BENCHMARK(BM_PlaceIconOntoATakenPosition)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7)
    ->ReportAggregatesOnly(true);

// The converter's steps, in this process.
void BM_DecodePageDds(benchmark::State& state) {
  RgbaImage page;
  for (auto _ : state) DecodeDds(PageFile(), &page);
}
BENCHMARK(BM_DecodePageDds)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_EncodeDecodedPage(benchmark::State& state) {
  RgbaImage page;
  DecodeDds(PageFile(), &page);
  std::string dds;
  for (auto _ : state) EncodeDds(page, &dds);
}
BENCHMARK(BM_EncodeDecodedPage)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_EncodeDrawnPage(benchmark::State& state) {
  RgbaImage page = DrawIconPage(28, 260);
  std::string dds;
  for (auto _ : state) EncodeDds(page, &dds);
}
BENCHMARK(BM_EncodeDrawnPage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)
    ->Repetitions(5)->ReportAggregatesOnly(true);

void BM_PageTgaWriteAndRead(benchmark::State& state) {
  RgbaImage page, back;
  DecodeDds(PageFile(), &page);
  std::string tga;
  for (auto _ : state) {
    EncodeTga(page, &tga);
    DecodeImage(tga, &back);
  }
}
BENCHMARK(BM_PageTgaWriteAndRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace korva
