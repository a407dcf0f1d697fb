// A new user's install from the command line: korva-zid-cli, copied into a
// program folder of its own with the built data and tools, installs a
// package with a main icon and one extra icon (two page edit cycles) into a
// fresh sample game that set-game has just prepared. The time is the whole
// process's, from start to exit.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <optional>

#include "platform/platform.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/icon_pictures.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

Status RunCli(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {program + "/" + ExecutableName("korva-zid-cli")};
  argv.insert(argv.end(), args.begin(), args.end());
  const int exitStatus = RunCaptured(argv, "", program + "/cli.out", program + "/cli.out");
  Status status;
  if (exitStatus != 0) {
    status = Status::Error("korva-zid-cli " + args[0] + " ended with exit status " +
                           std::to_string(exitStatus));
  }
  return status;
}

void BM_CliInstallWithTwoIcons(benchmark::State& state) {
  TempFolder program;
  const std::string built = BuiltProgramFolder();
  fs::copy_file(built + "/" + ExecutableName("korva-zid-cli"), program / ExecutableName("korva-zid-cli"));
  for (const char* folder : {"data", "tools"}) {
    fs::copy(built + "/" + folder, program / folder, fs::copy_options::recursive);
  }
  MarkPortable(program.path());
  WriteBytes(program / "mods/two_icons/modfile.ini",
             "name=Two Icons\ndescription=A main icon and one extra icon.\ndataname=TwoIcons\n"
             "has_icon=1\nadd_icon=extra.tga\n");
  WriteTgaFile(program / "mods/two_icons/charicon.tga", DrawIcon(11));
  WriteTgaFile(program / "mods/two_icons/extra.tga", DrawIcon(12));
  std::optional<TempFolder> game;
  for (auto _ : state) {
    state.PauseTiming();
    game.reset();
    game.emplace();
    MakeSampleGame(game->path());
    Status status = RunCli(program.path(), {"set-game", *game / "KORVAQUORIN.exe"});
    state.ResumeTiming();
    if (status.ok()) status = RunCli(program.path(), {"install", "two_icons", "0"});
    if (!status.ok()) {
      state.SkipWithError(status.message().c_str());
      break;
    }
  }
}
BENCHMARK(BM_CliInstallWithTwoIcons)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace korva
