// Big games and big packages, side by side with the shell doing the same
// copying: a package whose files tree is 1000 MiB in 4000 files installed,
// deleted and reverted, against "cp -r" and "rm -r", each followed by
// "sync"; a second package of the same paths installed over the first in
// another place and the lower one deleted; and a first start that unpacks
// such a tree, against "tar -x" and "sync". Each figure is one run's wall
// time (manual time), the setup before it not counted.
//
// Nothing is deleted while the bench runs but by the operations measured:
// every folder is kept until the process ends. On a file system that scans
// recently freed inodes when it makes new ones (ext4 without a journal does,
// for 30 seconds), a copy right after thousands of files were deleted is
// several times slower, and would measure that deletion. For the same
// reason the copying benches run before the deleting ones.
//
// Run on a disk, not in memory, with room for about 25 GB:
//   TMPDIR=/var/tmp build/bench/korva_bench --benchmark_filter=Tree
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "installer/store.h"
#include "journal/journal.h"
#include "sample/packed_game.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/test_archives.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

constexpr size_t kFiles = 4000;
constexpr size_t kFileBytes = 256 << 10;

// The bytes of file `i` of tree `seed`: different for every file and tree.
std::string TreeFile(size_t i, unsigned seed) {
  static const std::string block = [] {
    std::string bytes(kFileBytes, '\0');
    uint32_t x = 12345;
    for (char& c : bytes) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    return bytes;
  }();
  std::string bytes = block;
  const std::string tag = std::to_string(seed) + "/" + std::to_string(i) + "\n";
  bytes.replace(0, tag.size(), tag);
  return bytes;
}

std::string TreePath(size_t i) {
  return "big/d" + std::to_string(i % 40) + "/file" + std::to_string(i) + ".bin";
}

// A package under the program's mods folder whose files tree is the big one.
void MakeBigPackage(const std::string& program, const std::string& name, unsigned seed) {
  const std::string folder = program + "/mods/" + name;
  WriteBytes(folder + "/modfile.ini", "name=" + name + "\ndataname=" + name + "\n");
  for (size_t i = 0; i < kFiles; ++i) WriteBytes(folder + "/files/" + TreePath(i), TreeFile(i, seed));
}

// A new folder that stays until the process ends.
TempFolder& KeptFolder() {
  static std::vector<std::unique_ptr<TempFolder>> folders;
  folders.push_back(std::make_unique<TempFolder>());
  return *folders.back();
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Shell(const std::string& command, benchmark::State& state) {
  if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
}

// A program folder of korva-zid-cli's own with the two big packages, made
// once for all runs: the operations run as a user runs them, each a
// process from start to exit.
struct Program {
  TempFolder folder;
  Program() {
    const std::string built = BuiltProgramFolder();
    fs::copy_file(built + "/" + ExecutableName("korva-zid-cli"), folder / ExecutableName("korva-zid-cli"));
    for (const char* sub : {"data", "tools"}) {
      fs::copy(built + "/" + sub, folder / sub, fs::copy_options::recursive);
    }
    MarkPortable(folder.path());
    MakeBigPackage(folder.path(), "big_a", 1);
    MakeBigPackage(folder.path(), "big_b", 2);
  }
  bool Run(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {folder / ExecutableName("korva-zid-cli")};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCaptured(argv, "", folder / "cli.out", folder / "cli.out") == 0;
  }
};
Program& TheProgram() {
  static Program program;
  return program;
}

// A sample game started by the program, with `installs` (package folder
// name, place row) done.
struct Game {
  TempFolder& folder = KeptFolder();
  bool ok = true;
  using Installs = std::vector<std::pair<std::string, std::string>>;
  explicit Game(const Installs& installs) {
    MakeSampleGame(folder.path());
    ok = TheProgram().Run({"set-game", folder / "KORVAQUORIN.exe"});
    for (const auto& [name, place] : installs) ok = ok && TheProgram().Run({"install", name, place});
    std::system("sync");
  }
};

void Report(benchmark::State& state, double seconds, bool ok) {
  if (!ok) state.SkipWithError("the operation failed");
  state.SetIterationTime(seconds);
  state.SetBytesProcessed(static_cast<int64_t>(kFiles * kFileBytes));
}

void BM_TreeCopyShell(benchmark::State& state) {
  const std::string source = TheProgram().folder / "mods/big_a/files";
  for (auto _ : state) {
    TempFolder& target = KeptFolder();
    std::system("sync");
    double s = Seconds([&] { Shell("cp -r '" + source + "' '" + target.path() + "/x' && sync", state); });
    Report(state, s, true);
  }
}

void BM_TreeRemoveShell(benchmark::State& state) {
  const std::string source = TheProgram().folder / "mods/big_a/files";
  for (auto _ : state) {
    TempFolder& target = KeptFolder();
    Shell("cp -r '" + source + "' '" + target.path() + "/x' && sync", state);
    double s = Seconds([&] { Shell("rm -r '" + target.path() + "/x' && sync", state); });
    Report(state, s, true);
  }
}

void BM_TreeInstall(benchmark::State& state) {
  for (auto _ : state) {
    Game game(Game::Installs{});
    bool ok = false;
    double s = Seconds([&] { ok = TheProgram().Run({"install", "big_a", "0"}); });
    Report(state, s, game.ok && ok);
  }
}

void BM_TreeDelete(benchmark::State& state) {
  for (auto _ : state) {
    Game game(Game::Installs{{"big_a", "0"}});
    bool ok = false;
    double s = Seconds([&] { ok = TheProgram().Run({"delete", "0"}); });
    Report(state, s, game.ok && ok);
  }
}

void BM_TreeRevert(benchmark::State& state) {
  for (auto _ : state) {
    Game game(Game::Installs{{"big_a", "0"}});
    bool ok = false;
    double s = Seconds([&] { ok = TheProgram().Run({"revert", "--yes"}); });
    Report(state, s, game.ok && ok);
  }
}

// Layers: big_b over big_a, then big_a (now covered) deleted.
void BM_TreeInstallOverAnotherPlace(benchmark::State& state) {
  for (auto _ : state) {
    Game game(Game::Installs{{"big_a", "0"}});
    bool ok = false;
    double s = Seconds([&] { ok = TheProgram().Run({"install", "big_b", "1"}); });
    Report(state, s, game.ok && ok);
  }
}

void BM_TreeDeleteTheCoveredPlace(benchmark::State& state) {
  for (auto _ : state) {
    Game game(Game::Installs{{"big_a", "0"}, {"big_b", "1"}});
    bool ok = false;
    double s = Seconds([&] { ok = TheProgram().Run({"delete", "0"}); });
    Report(state, s, game.ok && ok);
  }
}

// The store's part alone, in this process under the operation journal:
// the tree copied in as a place's layers, and taken out again.
void BM_TreeStoreCopyIn(benchmark::State& state) {
  for (auto _ : state) {
    Game game(Game::Installs{});
    Journal journal(SystemPlatform());
    journal.SetGameFolder(game.folder.path());
    bool ok = false;
    double s = Seconds([&] {
      ok = journal.Begin("store").ok() &&
           StoreModFiles(journal, game.folder.path(), TheProgram().folder / "mods/big_a", 0)
               .failures.empty() &&
           journal.Commit().ok();
    });
    Report(state, s, game.ok && ok);
  }
}

void BM_TreeStoreTakeOut(benchmark::State& state) {
  for (auto _ : state) {
    Game game(Game::Installs{{"big_a", "0"}});
    Journal journal(SystemPlatform());
    journal.SetGameFolder(game.folder.path());
    bool ok = false;
    double s = Seconds([&] {
      ok = journal.Begin("store").ok() &&
           RemoveStoredFiles(journal, game.folder.path(), 0).failures.empty() &&
           journal.Commit().ok();
    });
    Report(state, s, game.ok && ok);
  }
}

// The big tree packed as a game archive of the sample game's.
std::string& PackedTree() {
  static TempFolder folder;
  static std::string archive = [] {
    const std::string path = folder / "big.dat";
    WriteTestArchive(path, "tar", kFiles, [](size_t i) { return File(TreePath(i), TreeFile(i, 3)); });
    return path;
  }();
  return archive;
}

void BM_TreeUntarShell(benchmark::State& state) {
  const std::string archive = PackedTree();
  for (auto _ : state) {
    TempFolder& target = KeptFolder();
    std::system("sync");
    double s = Seconds([&] { Shell("tar -xf '" + archive + "' -C '" + target.path() + "' && sync", state); });
    Report(state, s, true);
  }
}

void BM_TreeFirstStart(benchmark::State& state) {
  const std::string archive = PackedTree();
  for (auto _ : state) {
    TempFolder& game = KeptFolder();
    MakePackedSampleGame(game.path());
    fs::copy_file(archive, game / "big.dat");
    std::system("sync");
    bool ok = false;
    double s = Seconds([&] { ok = TheProgram().Run({"set-game", game / "KORVAQUORIN.exe"}); });
    Report(state, s, ok && !FileExists(game / "big.dat"));
  }
}

#define TREE_BENCH(name) \
  BENCHMARK(name)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(2)

TREE_BENCH(BM_TreeCopyShell);
TREE_BENCH(BM_TreeInstall);
TREE_BENCH(BM_TreeStoreCopyIn);
TREE_BENCH(BM_TreeInstallOverAnotherPlace);
TREE_BENCH(BM_TreeUntarShell);
TREE_BENCH(BM_TreeFirstStart);
TREE_BENCH(BM_TreeRemoveShell);
TREE_BENCH(BM_TreeDelete);
TREE_BENCH(BM_TreeStoreTakeOut);
TREE_BENCH(BM_TreeDeleteTheCoveredPlace);
TREE_BENCH(BM_TreeRevert);

}  // namespace
}  // namespace korva
