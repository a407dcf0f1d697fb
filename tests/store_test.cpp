#include "installer/store.h"

#include <gtest/gtest.h>

#include <filesystem>

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
                         "/sub\r\n1\r\n" + G() + "/a.txt\r\n0\r\n");
  EXPECT_EQ(ReadBytes(game / "a.txt"), "mod's a");
  EXPECT_EQ(ReadBytes(game / "a.txt_bak"), "game's a");
  EXPECT_EQ(ReadBytes(game / "sub/b.txt"), "mod's b");

  StoreReport removed = RemoveStoredFiles(platform, G(), 3);
  EXPECT_TRUE(removed.failures.empty());
  EXPECT_EQ(removed.restored, std::vector<std::string>{G() + "/a.txt_bak"});
  EXPECT_EQ(Snapshot(G()), (std::map<std::string, std::string>{
                               {"a.txt", "game's a"}, {"chars", "<folder>"}}));
}

TEST_F(StoreTest, FoldersAreRemovedDeepestFirstAndOnlyWhenCreatedAndEmpty) {
  WriteBytes(package / "files/x/y/f", "1");
  WriteBytes(package / "files/chars/g", "2");
  WriteBytes(package / "files/full/h", "3");
  WriteBytes(game / "chars/own", "game");
  StoreModFiles(platform, G(), package.path(), 0);
  EXPECT_EQ(List(0), "3\r\n" + G() + "/chars/g\r\n" + G() + "/full/h\r\n" + G() +
                         "/x/y/f\r\n4\r\n" + G() + "/chars\r\n" + G() + "/full\r\n" + G() +
                         "/x\r\n" + G() + "/x/y\r\n0\r\n1\r\n" + G() + "/chars\r\n");
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
  EXPECT_EQ(List(9), "0\r\n0\r\n0\r\n0\r\n");
  StoreReport removed = RemoveStoredFiles(platform, G(), 9);
  EXPECT_TRUE(removed.failures.empty());
  EXPECT_EQ(Snapshot(G()), (std::map<std::string, std::string>{{"chars", "<folder>"}}));
  // A place without a list: nothing to do, nothing to report.
  StoreReport nothing = RemoveStoredFiles(platform, G(), 9);
  EXPECT_TRUE(nothing.failures.empty() && nothing.skipped.empty() && nothing.restored.empty());
}

TEST_F(StoreTest, AGameFileWithABackupBesideItIsLeftAlone) {
  WriteBytes(game / "stuff/text/text.csv", "modded by us");
  WriteBytes(game / "stuff/text/text.csv_bak", "game's own");
  WriteBytes(game / "audio/restsfx_pc.pac_bak", "moved aside");
  WriteBytes(package / "files/stuff/text/text.csv", "package's");
  WriteBytes(package / "files/audio/restsfx_pc.pac", "package's");
  auto before = Snapshot(G());

  StoreReport stored = StoreModFiles(platform, G(), package.path(), 1);
  ASSERT_EQ(stored.skipped.size(), 2u);
  EXPECT_NE(stored.skipped[0].find("restsfx_pc.pac_bak"), std::string::npos) << stored.skipped[0];
  EXPECT_NE(stored.skipped[1].find("text.csv_bak"), std::string::npos) << stored.skipped[1];
  EXPECT_EQ(List(1), "0\r\n3\r\n" + G() + "/audio\r\n" + G() + "/stuff\r\n" + G() +
                         "/stuff/text\r\n0\r\n3\r\n" + G() + "/audio\r\n" + G() + "/stuff\r\n" +
                         G() + "/stuff/text\r\n");
  RemoveStoredFiles(platform, G(), 1);
  EXPECT_EQ(Snapshot(G()), before);
}

TEST_F(StoreTest, AFailedCopyPutsTheGameFileBackAndIsNotRecorded) {
  WriteBytes(game / "a.txt", "game's a");
  WriteBytes(package / "files/a.txt", "mod's a");
  platform.Fail(Op::CopyFile, "a.txt");
  StoreReport stored = StoreModFiles(platform, G(), package.path(), 2);
  ASSERT_EQ(stored.failures.size(), 1u);
  EXPECT_NE(stored.failures[0].find("a.txt"), std::string::npos);
  EXPECT_EQ(ReadBytes(game / "a.txt"), "game's a");
  EXPECT_FALSE(FileExists(game / "a.txt_bak"));
  EXPECT_EQ(List(2), "0\r\n0\r\n0\r\n0\r\n");
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
                               {"chars/mod_char_4", "1\r\n" + G() + "/real.txt\r\n0\r\n0\r\n0\r\n"},
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

}  // namespace
}  // namespace korva
