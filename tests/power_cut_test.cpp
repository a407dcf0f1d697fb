// The power-cut model of the tests (support/power_cut_platform.h): after a
// cut, the watched folder holds what a strict file system would still hold,
// as each platform call's contract says what it flushes.
#include "tests/support/power_cut_platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/support/files.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

using Files = std::map<std::string, std::string>;

std::function<Status(FileWriter&)> Bytes(const char* bytes) {
  return [bytes](FileWriter& out) { return out.Write(bytes); };
}

TEST(PowerCutModelTest, OnlyWhatWasFlushedLasts) {
  TempFolder dir;
  const std::string g = dir / "game", outside = dir / "outside";
  const std::string tool = outside + "/tool.exe";
  WriteBytes(outside + "/e.txt", "from outside");
  struct Case {
    const char* name;
    std::function<void(Platform& p, TestPlatform& below)> steps;
    Files changes;  // to the files before; "<gone>": removed
  } cases[] = {
      {"a file made and not flushed is lost",
       [&](Platform& p, TestPlatform&) { p.WriteNewFileUnflushed(g + "/n", Bytes("n")); }, {}},
      {"a flushed file whose folder was not flushed loses its name",
       [&](Platform& p, TestPlatform&) { p.WriteNewFile(g + "/n", Bytes("n")); }, {}},
      {"a flushed file in a flushed folder lasts",
       [&](Platform& p, TestPlatform&) {
         p.WriteNewFile(g + "/n", Bytes("n"));
         p.SyncFolder(g);
       },
       {{"n", "n"}}},
      {"a name flushed without its bytes comes back empty",
       [&](Platform& p, TestPlatform&) {
         p.WriteNewFileUnflushed(g + "/n", Bytes("n"));
         p.SyncFolder(g);
       },
       {{"n", ""}}},
      {"FlushFiles makes the bytes last",
       [&](Platform& p, TestPlatform&) {
         p.WriteNewFileUnflushed(g + "/n", Bytes("n"));
         p.FlushFiles({g + "/n"});
         p.SyncFolder(g);
       },
       {{"n", "n"}}},
      {"an append that makes a file keeps its bytes, not its name",
       [&](Platform& p, TestPlatform&) { p.AppendFile(g + "/n", "n"); }, {}},
      {"an edit in place lasts at once",
       [&](Platform& p, TestPlatform&) {
         p.WriteAt(g + "/a.txt", 0, "z");
         p.AppendFile(g + "/sub/B.TXT", "+");
       },
       {{"a.txt", "z"}, {"sub/b.txt", "b+"}}},
      {"a replaced file keeps its old bytes until its folder is flushed",
       [&](Platform& p, TestPlatform&) { p.ReplaceFile(g + "/a.txt", "new"); }, {}},
      {"a replaced file in a flushed folder has its new bytes",
       [&](Platform& p, TestPlatform&) {
         p.ReplaceFile(g + "/a.txt", "new");
         p.SyncFolder(g);
       },
       {{"a.txt", "new"}}},
      {"a rename not flushed comes back under the old name",
       [&](Platform& p, TestPlatform&) { p.Rename(g + "/a.txt", g + "/c.txt"); }, {}},
      {"a flushed rename lasts, with the file's bytes",
       [&](Platform& p, TestPlatform&) {
         p.Rename(g + "/a.txt", g + "/c.txt");
         p.RenameOver(g + "/c.txt", g + "/sub/b.txt");
         p.SyncFolder(g);
         p.SyncFolder(g + "/sub");
       },
       {{"a.txt", "<gone>"}, {"sub/b.txt", "a"}}},
      {"a rename with only its new folder flushed leaves the file at both names",
       [&](Platform& p, TestPlatform&) {
         p.Rename(g + "/sub/b.txt", g + "/c.txt");
         p.SyncFolder(g);
       },
       {{"c.txt", "b"}}},
      {"a file keeps its identity through a rename",
       [&](Platform& p, TestPlatform&) {
         p.WriteNewFileUnflushed(g + "/sub/n", Bytes("n"));
         p.Rename(g + "/sub/n", g + "/n");
         p.SyncFile(g + "/n");
         p.SyncFolder(g);
       },
       {{"n", "n"}}},
      {"a removal not flushed comes back",
       [&](Platform& p, TestPlatform&) {
         p.Remove(g + "/a.txt");
         p.RemoveEmptyFolder(g + "/empty");
       },
       {}},
      {"a flushed removal lasts",
       [&](Platform& p, TestPlatform&) {
         p.Remove(g + "/a.txt");
         p.RemoveEmptyFolder(g + "/empty");
         p.SyncFolder(g);
       },
       {{"a.txt", "<gone>"}, {"empty", "<gone>"}}},
      {"a copy lasts once its folder is flushed",
       [&](Platform& p, TestPlatform&) {
         p.CopyFile(outside + "/e.txt", g + "/sub/e.txt");
         p.SyncFolder(g + "/sub");
       },
       {{"sub/e.txt", "from outside"}}},
      {"a folder made lasts only once its parent is flushed",
       [&](Platform& p, TestPlatform&) {
         p.CreateFolder(g + "/m");
         p.WriteNewFile(g + "/m/x", Bytes("x"));
         p.SyncFolder(g + "/m");
       },
       {}},
      {"a folder made, with its parent flushed",
       [&](Platform& p, TestPlatform&) {
         p.CreateFolder(g + "/m");
         p.WriteNewFile(g + "/m/x", Bytes("x"));
         p.SyncFolder(g + "/m");
         p.SyncFolder(g);
       },
       {{"m", "<folder>"}, {"m/x", "x"}}},
      {"nothing lasts from the cut on, not even a flush",
       [&](Platform& p, TestPlatform& below) {
         below.CutPowerAt(2);
         p.WriteNewFile(g + "/n", Bytes("n"));
         p.Rename(g + "/a.txt", g + "/c.txt");
         p.SyncFolder(g);
       },
       {}},
      {"a program that ends with 0 leaves what it wrote",
       [&](Platform& p, TestPlatform&) {
         WriteStandIn(tool, "copy " + outside + "/e.txt " + g + "/sub/n\ncopy " + outside +
                                "/e.txt " + g + "/a.txt\n");
         int status = -1;
         p.RunProgram({tool}, &status);
       },
       {{"sub/n", "from outside"}, {"a.txt", "from outside"}}},
      {"a program that fails leaves nothing",
       [&](Platform& p, TestPlatform&) {
         WriteStandIn(tool, "copy " + outside + "/e.txt " + g + "/sub/n\ncopy " + outside +
                                "/e.txt " + g + "/a.txt\nexit 3\n");
         int status = -1;
         p.RunProgram({tool}, &status);
       },
       {}},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(std::filesystem::u8path(g));
    WriteBytes(g + "/a.txt", "a");
    WriteBytes(g + "/sub/b.txt", "b");
    std::filesystem::create_directories(std::filesystem::u8path(g + "/empty"));
    Files expected = Snapshot(g);
    for (const auto& [path, bytes] : c.changes) {
      if (bytes == "<gone>") {
        expected.erase(path);
      } else {
        expected[path] = bytes;
      }
    }
    TestPlatform below;
    PowerCutPlatform disk(below, g);
    c.steps(disk, below);
    disk.LoseWhatWasNotFlushed();
    EXPECT_EQ(Snapshot(g), expected) << c.name;
  }
}

}  // namespace
}  // namespace korva
