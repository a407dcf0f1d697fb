// How long "Mod Database" takes to fill at start-up and a package takes to
// read, over a mods folder of many packages.
#include <benchmark/benchmark.h>

#include "installer/mod_database.h"
#include "installer/mod_package.h"
#include "tests/support/files.h"

namespace korva {
namespace {

const char kModfile[] =
    "name=Blue Runner\r\ndescription=Fast and light\r\ndescription=Second line\r\n"
    "dataname=BlueRunner\r\nhas_colldef=1\r\nhas_items=1\r\nhas_text=1\r\nhas_icon=1\r\n"
    "add_charslot=Pawniks\\BlueRunner=BlueRunner\r\nadd_animslot=Pawniks\\BlueRunA=BlueRunA\r\n"
    "add_faceslot=Pawniks\\BlueRunF=BlueRunF\r\nadd_icon=extra1.tga\r\n";

void BM_FillModList(benchmark::State& state) {
  TempFolder program;
  for (int i = 0; i < state.range(0); ++i) {
    WriteBytes(program / ("mods/package" + std::to_string(i) + "/modfile.ini"), kModfile);
  }
  ModList list;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FillModList(SystemPlatform(), program.path(), &list));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FillModList)->Arg(10)->Arg(200);

void BM_ReadModPackage(benchmark::State& state) {
  TempFolder program;
  WriteBytes(program / "mods/Hero/modfile.ini", kModfile);
  ModPackageInfo info;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReadModPackage(SystemPlatform(), program / "mods/Hero", &info));
  }
}
BENCHMARK(BM_ReadModPackage);

}  // namespace
}  // namespace korva
