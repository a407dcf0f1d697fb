#include "installer/store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <set>

#include "installer/package_fingerprint.h"
#include "tests/support/files.h"
#include "tests/support/system.h"
#include "tests/support/test_platform.h"

namespace fs = std::filesystem;

namespace korva {
namespace {

class StoreTest : public ::testing::Test {
 protected:
  StoreTest() { std::filesystem::create_directory(game / "chars"); }
  std::string G() const { return game.path(); }
  std::string List(int index) { return ReadBytes(StoreListPath(G(), index)); }
  // The place facts that end every list the store writes now.
  std::string Facts(int order = 1) {
    return "0\r\n4\r\norder=" + std::to_string(order) + "\r\npackage=" + BaseName(package.path()) +
           "\r\nfingerprint=" + PackageFingerprint(platform, package.path()) + "\r\ngame=" + G() +
           "\r\n";
  }

  TempFolder game;
  TempFolder package;
  TestPlatform platform;
};

TEST_F(StoreTest, RecordsAddedAndReplacedFilesAndPutsThemBack) {
  WriteBytes(game / "a.txt", "game's a");
  WriteBytes(package / "files/a.txt", "mod's a");
  WriteBytes(package / "files/sub/b.txt", "mod's b");

  StoreReport stored = StoreModFiles(platform, G(), package.path(), 3);
  EXPECT_TRUE(stored.failures.empty());
  EXPECT_TRUE(stored.skipped.empty());
  EXPECT_EQ(List(3), "2\r\n" + G() + "/a.txt\r\n" + G() + "/sub/b.txt\r\n1\r\n" + G() +
                         "/sub\r\n1\r\n" + G() + "/a.txt\r\n0\r\n" + Facts());
  EXPECT_EQ(ReadBytes(game / "a.txt"), "mod's a");
  EXPECT_EQ(ReadBytes(game / "a.txt_bak"), "game's a");
  EXPECT_EQ(ReadBytes(game / "sub/b.txt"), "mod's b");

  StoreReport removed = RemoveStoredFiles(platform, G(), 3);
  EXPECT_TRUE(removed.failures.empty());
  EXPECT_EQ(removed.restored, std::vector<std::string>{G() + "/a.txt_bak"});
  EXPECT_EQ(Snapshot(G()), (std::map<std::string, std::string>{
                               {"a.txt", "game's a"}, {"chars", "<folder>"}}));
}

// A covered game file keeps the game's spelling, also through a removal;
// the package's folders that differ only in letter case are one.
TEST_F(StoreTest, NamesKeepTheGamesSpellingAndFoldersInOtherCaseAreOne) {
  WriteBytes(game / "chars/common/hands.tex", "game's hands");
  WriteBytes(package / "files/Chars/COMMON/HANDS.tex", "mod's hands");
  WriteBytes(package / "files/twins/a.txt", "a");
  WriteBytes(package / "files/Twins/b.txt", "b");
  WriteBytes(package / "files/Twins/A.TXT", "other a");
  // Where names differ only in case (not on Windows), the package has two.
  const bool twoFolders = !FileExists(package / "files/TWINS/b.txt");

  StoreReport stored = StoreModFiles(platform, G(), package.path(), 0);
  EXPECT_TRUE(stored.failures.empty()) << stored.failures.front();
  ASSERT_EQ(stored.skipped.size(), twoFolders ? 1u : 0u);
  if (twoFolders) {
    EXPECT_NE(stored.skipped[0].find("another file of this name in other letter case"), std::string::npos);
  }
  auto files = Snapshot(G());
  EXPECT_EQ(files["chars/common/hands.tex"], "mod's hands");
  EXPECT_EQ(files["chars/common/hands.tex_bak"], "game's hands");
  EXPECT_EQ(files.count("twins/b.txt") + files.count("Twins/b.txt"), 1u);

  EXPECT_TRUE(RemoveStoredFiles(platform, G(), 0).failures.empty());
  EXPECT_EQ(Snapshot(G()), (std::map<std::string, std::string>{
                               {"chars", "<folder>"}, {"chars/common", "<folder>"},
                               {"chars/common/hands.tex", "game's hands"}}));
}

// The game moved to another folder or drive: a list names the old folder's
// paths, with the line that says which folder or from before it had one.
TEST_F(StoreTest, ListsWrittenUnderAnotherGameFolderAreReadInThisOne) {
  const std::string old = "Q:/Games/Korva Quorin";
  for (const std::string facts : {"1\r\ngame=" + old + "\r\n", std::string("0\r\n")}) {
    WriteBytes(game / "chars/common/hands.tex", "mod's hands");
    WriteBytes(game / "chars/common/hands.tex_bak", "game's hands");
    WriteBytes(game / "chars/common/new.tex", "mod's new");
    WriteBytes(StoreListPath(G(), 2), "2\r\n" + old + "/chars/common/hands.tex\r\n" + old +
                                          "/chars/common/new.tex\r\n1\r\n" + old + "/chars/common\r\n1\r\n" +
                                          old + "/chars/common/hands.tex\r\n1\r\n" + old +
                                          "/chars/common\r\n0\r\n" + facts);
    ASSERT_TRUE(RewriteMovedStoreLists(platform, G()).ok());
    EXPECT_NE(List(2).find("\r\n" + G() + "/chars/common/new.tex\r\n"), std::string::npos) << List(2);
    EXPECT_EQ(List(2).find(old), std::string::npos) << List(2);
    EXPECT_TRUE(RemoveStoredFiles(platform, G(), 2).failures.empty());
    EXPECT_EQ(Snapshot(G()), (std::map<std::string, std::string>{
                                 {"chars", "<folder>"}, {"chars/common", "<folder>"},
                                 {"chars/common/hands.tex", "game's hands"}}));
  }
}

TEST_F(StoreTest, FoldersAreRemovedDeepestFirstAndOnlyWhenCreatedAndEmpty) {
  WriteBytes(package / "files/x/y/f", "1");
  WriteBytes(package / "files/chars/g", "2");
  WriteBytes(package / "files/full/h", "3");
  WriteBytes(game / "chars/own", "game");
  StoreModFiles(platform, G(), package.path(), 0);
  EXPECT_EQ(List(0), "3\r\n" + G() + "/chars/g\r\n" + G() + "/full/h\r\n" + G() +
                         "/x/y/f\r\n4\r\n" + G() + "/chars\r\n" + G() + "/full\r\n" + G() +
                         "/x\r\n" + G() + "/x/y\r\n0\r\n1\r\n" + G() + "/chars\r\n" + Facts());
  WriteBytes(game / "full/added later", "user's");

  platform.ClearCalls();
  RemoveStoredFiles(platform, G(), 0);
  std::vector<std::string> removals;
  for (const std::string& call : platform.calls()) {
    if (call.rfind("RemoveEmptyFolder", 0) == 0) removals.push_back(call.substr(call.find(' ') + 1));
  }
  // "full" holds a file of the user's now: it is not even tried.
  EXPECT_EQ(removals, (std::vector<std::string>{G() + "/x/y", G() + "/x"}));
  EXPECT_EQ(Snapshot(G()), (std::map<std::string, std::string>{{"chars", "<folder>"},
                                                               {"chars/own", "game"},
                                                               {"full", "<folder>"},
                                                               {"full/added later", "user's"}}));
}

TEST_F(StoreTest, APackageWithoutFilesStillGetsAList) {
  StoreModFiles(platform, G(), package.path(), 9);
  EXPECT_EQ(List(9), "0\r\n0\r\n0\r\n0\r\n" + Facts());
  StoreReport removed = RemoveStoredFiles(platform, G(), 9);
  EXPECT_TRUE(removed.failures.empty());
  EXPECT_EQ(Snapshot(G()), (std::map<std::string, std::string>{{"chars", "<folder>"}}));
  // A place without a list: nothing to do, nothing to report.
  StoreReport nothing = RemoveStoredFiles(platform, G(), 9);
  EXPECT_TRUE(nothing.failures.empty() && nothing.skipped.empty() && nothing.restored.empty());
}

// A game file whose "_bak" name the game itself uses is still replaced: its
// own bytes are kept under the program's name and come back; the game's
// "_bak" file is never touched.
// The place's record names the package and its fingerprint as stored; the
// fingerprint moves with any change of the package's files, and only then.
TEST_F(StoreTest, ThePlaceRecordKnowsThePackageAndItsFingerprint) {
  WriteBytes(package / "modfile.ini", "name=P\r\n");
  WriteBytes(package / "files/a.txt", "a");
  PlaceRecord record;
  ASSERT_TRUE(ReadPlaceRecord(platform, G(), 4, &record).ok());
  EXPECT_FALSE(record.listed);
  ASSERT_TRUE(StoreModFiles(platform, G(), package.path(), 4).failures.empty());
  ASSERT_TRUE(ReadPlaceRecord(platform, G(), 4, &record).ok());
  EXPECT_TRUE(record.listed);
  EXPECT_EQ(record.package, BaseName(package.path()));
  EXPECT_EQ(record.fingerprint, PackageFingerprint(platform, package.path()));
  EXPECT_EQ(record.fingerprint.size(), 16u);

  const std::string stored = record.fingerprint;
  const std::function<void()> changes[] = {
      [&] {  // the same size, written a second later
        const auto written = fs::last_write_time(package / "files/a.txt");
        WriteBytes(package / "files/a.txt", "b");
        fs::last_write_time(package / "files/a.txt", written + std::chrono::seconds(1));
      },
      [&] { WriteBytes(package / "files/new.txt", ""); },
      [&] { fs::rename(package / "files/new.txt", package / "files/other.txt"); },
      [&] { fs::remove(package / "files/a.txt"); },
  };
  std::set<std::string> seen = {stored};
  for (const auto& change : changes) {
    change();
    EXPECT_TRUE(seen.insert(PackageFingerprint(platform, package.path())).second);
  }
  EXPECT_EQ(PackageFingerprint(platform, package.path()), PackageFingerprint(platform, package.path()));
  EXPECT_EQ(PackageFingerprint(platform, game / "missing"), "");
}

TEST_F(StoreTest, AGameFileWithABackupBesideItIsKeptUnderTheProgramsName) {
  WriteBytes(game / "stuff/readme.txt", "game's readme");
  WriteBytes(game / "stuff/readme.txt_bak", "an older readme");
  WriteBytes(package / "files/stuff/readme.txt", "package's");
  auto before = Snapshot(G());

  StoreReport stored = StoreModFiles(platform, G(), package.path(), 1);
  EXPECT_TRUE(stored.skipped.empty() && stored.failures.empty());
  EXPECT_EQ(ReadBytes(game / "stuff/readme.txt"), "package's");
  EXPECT_EQ(ReadBytes(game / "stuff/readme.txt_bak"), "an older readme");
  EXPECT_EQ(ReadBytes(KeptGameFilesPath(G()) + "/stuff/readme.txt"), "game's readme");
  RemoveStoredFiles(platform, G(), 1);
  EXPECT_EQ(Snapshot(G()), before);
}

// A failed step stops the store at once; the operation's journal undoes
// what was done before it.
TEST_F(StoreTest, AFailedCopyStopsAndIsNamed) {
  WriteBytes(game / "a.txt", "game's a");
  WriteBytes(package / "files/a.txt", "mod's a");
  platform.Fail(Op::CopyFile, "a.txt");
  StoreReport stored = StoreModFiles(platform, G(), package.path(), 2);
  ASSERT_EQ(stored.failures.size(), 1u);
  EXPECT_NE(stored.failures[0].find("a.txt"), std::string::npos);
  EXPECT_FALSE(FileExists(StoreListPath(G(), 2)));
}

TEST_F(StoreTest, LinksInAPackageAreNotFollowed) {
  WriteBytes(package / "files/real.txt", "r");
  TempFolder elsewhere;
  WriteBytes(elsewhere / "secret", "not the package's");
  std::string whyNot;
  if (!MakeLink(elsewhere.path(), package / "files/root", &whyNot)) GTEST_SKIP() << whyNot;
  StoreReport stored = StoreModFiles(platform, G(), package.path(), 4);
  ASSERT_EQ(stored.skipped.size(), 1u);
  EXPECT_NE(stored.skipped[0].find("link"), std::string::npos);
  EXPECT_EQ(Snapshot(G()), (std::map<std::string, std::string>{
                               {"chars", "<folder>"},
                               {"chars/mod_char_4", "1\r\n" + G() + "/real.txt\r\n0\r\n0\r\n0\r\n" + Facts()},
                               {"real.txt", "r"}}));
}

TEST_F(StoreTest, RemovalReadsListsByPosition) {
  WriteBytes(game / "mod.dat", "mod");
  WriteBytes(game / "other.dat", "other");
  // A hand-edited list: a count with trailing text, and sections cut short.
  WriteBytes(StoreListPath(G(), 5), "1 file\r\n" + G() + "/mod.dat\r\n" + G() + "/other.dat\r\n");
  StoreReport removed = RemoveStoredFiles(platform, G(), 5);
  EXPECT_TRUE(removed.failures.empty());
  EXPECT_FALSE(FileExists(game / "mod.dat"));
  EXPECT_TRUE(FileExists(game / "other.dat"));  // read as a folder of section 2
  EXPECT_FALSE(FileExists(StoreListPath(G(), 5)));
}

// A list that names a path outside the game folder, or one that leads out
// through a link inside it, stops the removal before anything is touched.
TEST_F(StoreTest, RemovalNeverLeavesTheGameFolder) {
  TempFolder elsewhere;
  WriteBytes(elsewhere / "precious", "not ours");
  WriteBytes(elsewhere / "precious_bak", "also not ours");
  WriteBytes(game / "mod.dat", "mod");
  fs::create_directories(game / "chars");
  std::string whyNot;
  if (!MakeLink(elsewhere.path(), game / "chars/lnk", &whyNot)) GTEST_SKIP() << whyNot;
  const std::string lists[] = {
      "2\r\n" + G() + "/mod.dat\r\n" + elsewhere.path() + "/precious\r\n0\r\n0\r\n0\r\n",
      "2\r\n" + G() + "/mod.dat\r\n" + G() + "/chars/lnk/precious\r\n0\r\n0\r\n0\r\n",
      "1\r\n" + G() + "/mod.dat\r\n1\r\n" + G() + "/chars/lnk\r\n0\r\n0\r\n",
      "0\r\n0\r\n1\r\n" + G() + "/chars/lnk/precious\r\n0\r\n",
      "1\r\n" + G() + "/../" + BaseName(elsewhere.path()) + "/precious\r\n0\r\n0\r\n0\r\n",
  };
  for (const std::string& list : lists) {
    SCOPED_TRACE(list);
    WriteBytes(StoreListPath(G(), 5), list);
    auto before = Snapshot(G());
    StoreReport removed = RemoveStoredFiles(platform, G(), 5);
    ASSERT_EQ(removed.failures.size(), 1u);
    EXPECT_NE(removed.failures[0].find("outside the game folder"), std::string::npos)
        << removed.failures[0];
    EXPECT_EQ(Snapshot(G()), before);
    EXPECT_EQ(ReadBytes(elsewhere / "precious"), "not ours");
    EXPECT_EQ(ReadBytes(elsewhere / "precious_bak"), "also not ours");
  }
}

// Lists written before layers existed are single layers: a path only one
// of them brings comes back as it always did, and a conflict those rules
// already made (two lists with the same file, one package's copy moved to
// "_bak" as if it were the game's) is left as it is: nothing of it is lost.
TEST_F(StoreTest, ListsFromBeforeLayersAreSingleLayers) {
  WriteBytes(game / "hands.tex", "A's hands");
  WriteBytes(game / "hands.tex_bak", "game's hands");
  WriteBytes(game / "new.txt", "B's new");
  WriteBytes(game / "new.txt_bak", "A's new");
  WriteBytes(StoreListPath(G(), 0), "2\r\n" + G() + "/hands.tex\r\n" + G() + "/new.txt\r\n0\r\n1\r\n" +
                                        G() + "/hands.tex\r\n0\r\n");
  WriteBytes(StoreListPath(G(), 1), "1\r\n" + G() + "/new.txt\r\n0\r\n1\r\n" + G() + "/new.txt\r\n0\r\n");
  WriteBytes(package / "files/hands.tex", "C's hands");

  // A new place goes on top of the old ones and comes off again.
  StoreModFiles(platform, G(), package.path(), 2);
  EXPECT_EQ(ReadBytes(game / "hands.tex"), "C's hands");
  const auto layered = Snapshot(G());
  RemoveStoredFiles(platform, G(), 2);
  EXPECT_EQ(ReadBytes(game / "hands.tex"), "A's hands");
  EXPECT_EQ(ReadBytes(game / "hands.tex_bak"), "game's hands");

  // Deleting A: its own file gives the game's back; the shared new.txt
  // and its "_bak" stay as they are.
  const auto before = Snapshot(G());
  StoreReport removed = RemoveStoredFiles(platform, G(), 0);
  EXPECT_TRUE(removed.failures.empty());
  auto expected = before;
  expected["hands.tex"] = "game's hands";
  expected.erase("hands.tex_bak");
  expected.erase("chars/mod_char_0");
  EXPECT_EQ(Snapshot(G()), expected);
}

// Seeded random sequences of installs, reinstalls, deletions and reverts
// of five packages whose trees overlap: new files and game files, equal and
// different bytes, nested folders, a path that is a file in one package and
// a folder in another, and a game file whose "_bak" name the game ships.
// After every step each path holds its top layer's bytes, the game's own
// file, or nothing; after a revert the game folder is as it was.
class LayerModel {
 public:
  explicit LayerModel(std::map<std::string, std::string> game) : game_(std::move(game)) {}

  struct Package {
    std::vector<std::string> folders;                      // walk order
    std::vector<std::pair<std::string, std::string>> files;  // walk order
  };

  void Install(int place, const Package& package) {
    Remove(place);
    std::vector<std::string> blocked;
    for (const std::string& folder : package.folders) {
      if (Below(folder, blocked)) continue;
      if (IsFile(folder)) {
        blocked.push_back(folder);
      } else {
        folders_[place].insert(folder);
      }
    }
    for (const auto& [path, bytes] : package.files) {
      if (Below(path, blocked) || IsFolder(path)) continue;
      stacks_[path].push_back({place, bytes});
    }
  }
  void Remove(int place) {
    folders_.erase(place);
    for (auto& [path, stack] : stacks_) {
      stack.erase(std::remove_if(stack.begin(), stack.end(),
                                 [place](const auto& layer) { return layer.first == place; }),
                  stack.end());
    }
  }
  void RemoveAll() {
    for (int place = 0; place < 10; ++place) Remove(place);
  }
  // Which of `place`'s files later places cover, by the place on top: the
  // layers whose bytes differ from the top layer's.
  std::map<int, std::set<std::string>> Covered(int place) const {
    std::map<int, std::set<std::string>> covered;
    for (const auto& [path, stack] : stacks_) {
      for (size_t i = 0; i + 1 < stack.size(); ++i) {
        if (stack[i].first == place && stack[i].second != stack.back().second) {
          covered[stack.back().first].insert("/" + path);
        }
      }
    }
    return covered;
  }

  // What the game folder should hold, leaving out the program's records.
  std::map<std::string, std::string> Expected() const {
    std::map<std::string, std::string> files = game_;
    for (const auto& [path, stack] : stacks_) {
      if (stack.empty()) continue;
      auto own = game_.find(path);
      if (own != game_.end() && own->second != "<folder>" && !game_.count(path + "_bak")) {
        files[path + "_bak"] = own->second;
      }
      files[path] = stack.back().second;
    }
    for (const auto& [path, bytes] : std::map<std::string, std::string>(files)) {
      for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        files[path.substr(0, slash)] = "<folder>";
      }
    }
    for (const auto& [place, folders] : folders_) {
      for (const std::string& folder : folders) files[folder] = "<folder>";
    }
    return files;
  }

 private:
  static bool Below(const std::string& path, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
      if (path.compare(0, folder.size() + 1, folder + "/") == 0) return true;
    }
    return false;
  }
  bool IsFile(const std::string& path) const {
    auto expected = Expected();
    return expected.count(path) != 0 && expected[path] != "<folder>";
  }
  bool IsFolder(const std::string& path) const {
    auto expected = Expected();
    return expected.count(path) != 0 && expected[path] == "<folder>";
  }

  std::map<std::string, std::string> game_;
  std::map<std::string, std::vector<std::pair<int, std::string>>> stacks_;
  std::map<int, std::set<std::string>> folders_;
};

TEST_F(StoreTest, EveryPathHoldsItsTopLayerTheGamesFileOrNothing) {
  WriteBytes(game / "common/hands.tex", "game's hands");
  WriteBytes(game / "common/shipped.txt", "game's shipped");
  WriteBytes(game / "common/shipped.txt_bak", "game's own _bak");
  fs::create_directories(game / "x");
  const auto initial = Snapshot(G());
  // Relative paths a package may bring, and the bytes it may bring there.
  const std::vector<std::string> pool = {
      "common/hands.tex", "common/new.txt", "common/shipped.txt", "common/shipped.txt_bak",
      "deep/a/b.txt",     "deep/a/c.txt",   "deep/d.txt",         "p",
      "p/q.txt",          "x/y.txt"};
  const char* const contents[] = {"one", "two", "three"};

  const int sequences = 300 / SweepStride();
  for (int seed = 1; seed <= sequences; ++seed) {
    std::mt19937 random(seed);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    // Five packages, each with a random part of the pool; "p" is a file in
    // some and a folder in others.
    std::vector<LayerModel::Package> packages(5);
    std::vector<TempFolder> folders(5);
    for (int k = 0; k < 5; ++k) {
      const bool pIsFile = pick(2) == 0;
      std::set<std::string> chosen;
      for (const std::string& path : pool) {
        if (pick(2) == 0) continue;
        if ((path == "p" && !pIsFile) || (path == "p/q.txt" && pIsFile)) continue;
        chosen.insert(path);
      }
      chosen.insert("only" + std::to_string(k) + ".txt");
      for (const std::string& path : chosen) {
        const std::string bytes = contents[pick(3)];
        WriteBytes(folders[k] / ("files/" + path), bytes);
      }
      // The order the store walks: breadth-first, names sorted.
      std::vector<std::string> queue = {""};
      for (size_t at = 0; at < queue.size(); ++at) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folders[k] / ("files" + queue[at]))) {
          names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
          const std::string relative = queue[at] + "/" + name;
          const std::string path = relative.substr(1);
          if (fs::is_directory(folders[k] / ("files" + relative))) {
            packages[k].folders.push_back(path);
            queue.push_back(relative);
          } else {
            packages[k].files.push_back({path, ReadBytes(folders[k] / ("files" + relative))});
          }
        }
      }
    }

    LayerModel model(initial);
    std::string steps;
    for (int step = 0; step < 15; ++step) {
      const int what = pick(10);
      const int place = pick(4);
      if (what < 6) {
        const int k = pick(5);
        steps += "install " + std::to_string(k) + " into " + std::to_string(place) + "; ";
        RemoveStoredFiles(platform, G(), place);
        StoreReport stored = StoreModFiles(platform, G(), folders[k].path(), place);
        ASSERT_TRUE(stored.failures.empty()) << steps << stored.failures[0];
        model.Install(place, packages[k]);
      } else if (what < 9) {
        steps += "delete " + std::to_string(place) + "; ";
        StoreReport removed = RemoveStoredFiles(platform, G(), place);
        ASSERT_TRUE(removed.failures.empty()) << steps << removed.failures[0];
        model.Remove(place);
      } else {
        steps += "revert; ";
        for (int i = 0; i < 10; ++i) RemoveStoredFiles(platform, G(), i);
        model.RemoveAll();
        ASSERT_EQ(Snapshot(G()), initial) << "seed " << seed << ": " << steps;
      }
      auto actual = Snapshot(G());
      for (auto it = actual.begin(); it != actual.end();) {
        const bool record = it->first.rfind("chars/mod_", 0) == 0;
        it = record ? actual.erase(it) : std::next(it);
      }
      ASSERT_EQ(actual, model.Expected()) << "seed " << seed << ": " << steps;
      for (int place = 0; place < 4; ++place) {
        std::map<int, std::set<std::string>> covered;
        for (const PlaceFiles& files : CoveredByLaterPlaces(platform, G(), place)) {
          covered[files.place].insert(files.paths.begin(), files.paths.end());
        }
        ASSERT_EQ(covered, model.Covered(place)) << "seed " << seed << ": " << steps << place;
      }
    }
    for (int i = 0; i < 10; ++i) RemoveStoredFiles(platform, G(), i);
    ASSERT_EQ(Snapshot(G()), initial) << "seed " << seed << ": " << steps << "revert";
  }
}

}  // namespace
}  // namespace korva
