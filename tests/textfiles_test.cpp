#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include "installer/mod_manager.h"
#include "tests/support/files.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_platform.h"
#include "textfiles/collection_list.h"
#include "textfiles/marker_blocks.h"

namespace korva {
namespace {

using namespace std::string_literals;

const MarkerBlockTarget& Target(const std::string& file) {
  for (const MarkerBlockTarget& target : kMarkerBlockTargets) {
    if (file == target.file) return target;
  }
  throw std::invalid_argument("no block target " + file);
}

class TextFilesTest : public ::testing::Test {
 protected:
  std::string Game(const std::string& file) const { return dir.path() + file; }

  TestPlatform platform;
  TempFolder dir;
  TempFolder package;
};

// ---- marker blocks: appending ----------------------------------------------

TEST_F(TextFilesTest, AppendAddsTheBlockInTheTargetsOutputMode) {
  struct Case {
    const char* name;
    const char* file;
    std::optional<std::string> before;  // nullopt: the target is missing
    std::optional<std::string> data;    // nullopt: the data file is missing
    std::string after;
  } cases[] = {
      {"LF data into a text file", "/stuff/bolttypes.txt", "game\r\n"s, "a\nb\n"s,
       "game\r\n//##Hero\r\na\r\nb\r\n\r\n"},
      {"LF data into text.csv", "/stuff/text/text.csv", "game\r\n"s, "a\nb\n"s,
       "game\r\n//##Hero\na\nb\n"},
      {"CR LF data into a text file", "/stuff/bolttypes.txt", "game\r\n"s, "a\r\nb\r\n"s,
       "game\r\n//##Hero\r\na\r\r\nb\r\r\n\r\n"},
      {"data without a final line end", "/audio/samples_nxg.cfg", "s\r\n"s, "x"s,
       "s\r\n//##Hero\r\nx\r\n"},
      {"text.csv data without a final line end", "/stuff/text/text.csv", "t\r\n"s, "x"s,
       "t\r\n//##Hero\nx"},
      {"missing data file, text file", "/chars/abilities/mod_abilities.txt", ""s, std::nullopt,
       "//##Hero\r\n\r\n"},
      {"missing data file, text.csv", "/stuff/text/text.csv", "t\r\n"s, std::nullopt,
       "t\r\n//##Hero\n"},
      {"data bytes kept, NUL included", "/stuff/bolttypes.txt", ""s, "a\0b\rc"s,
       "//##Hero\r\na\0b\rc\r\n"s},
      {"missing target is created", "/levels/builder/builderdefault/playeritemtypes.txt",
       std::nullopt, "i\n"s, "//##Hero\r\ni\r\n\r\n"},
  };
  for (const Case& c : cases) {
    TempFolder game;
    TempFolder source;
    std::filesystem::create_directories(std::filesystem::path(game.path() + c.file).parent_path());
    if (c.before) WriteBytes(game.path() + c.file, *c.before);
    if (c.data) WriteBytes(source / "data.ini", *c.data);
    Status status =
        AppendMarkerBlock(platform, game.path(), Target(c.file), source / "data.ini", "Hero");
    EXPECT_TRUE(status.ok()) << c.name << ": " << status.message();
    EXPECT_EQ(ReadBytes(game.path() + c.file), c.after) << c.name;
    EXPECT_FALSE(FileExists(game.path() + c.file + "_temp")) << c.name;
  }
}

TEST_F(TextFilesTest, AppendRefusesADataFileThatIsThereButCannotBeRead) {
  WriteBytes(Game("/stuff/bolttypes.txt"), "game\r\n");
  WriteBytes(package / "boltdata.ini", "b\n");
  platform.Fail(Op::ReadFile, "boltdata.ini");
  Status status = AppendMarkerBlock(platform, dir.path(), Target("/stuff/bolttypes.txt"),
                                    package / "boltdata.ini", "Hero");
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("boltdata.ini"), std::string::npos) << status.message();
  EXPECT_EQ(ReadBytes(Game("/stuff/bolttypes.txt")), "game\r\n");
}

// ---- marker blocks: removing -----------------------------------------------

TEST_F(TextFilesTest, RemoveTakesOutOnlyTheFirstBlockOfItsOwnCharacter) {
  struct Case {
    const char* name;
    std::string blockName;
    std::string before;
    std::string after;
  } cases[] = {
      {"middle block", "Hero", "g1\r\ng2\r\n//##Hero\r\nh1\r\nh2\r\n//##Other\r\no1\r\n",
       "g1\r\ng2\r\n//##Other\r\no1\r\n"},
      {"last block", "Hero", "g1\r\n//##Other\r\no1\r\n//##Hero\r\nh1\r\nh2\r\n\r\n",
       "g1\r\n//##Other\r\no1\r\n"},
      {"name not present: CR LF everywhere, nothing else changed", "Hero",
       "g1\ng2\r\n//##Other\no1\rx\n\r\nlast", "g1\r\ng2\r\n//##Other\r\no1\rx\r\n\r\nlast\r\n"},
      {"Heroine survives Hero", "Hero", "g\r\n//##Heroine\r\nx\r\n//##Hero\r\nh\r\n",
       "g\r\n//##Heroine\r\nx\r\n"},
      {"Hero survives Heroine", "Heroine", "g\r\n//##Heroine\r\nx\r\n//##Hero\r\nh\r\n",
       "g\r\n//##Hero\r\nh\r\n"},
      {"the second same-named block stays", "Hero",
       "//##Hero\r\na\r\n//##Hero\r\nb\r\n//##Other\r\no\r\n",
       "//##Hero\r\nb\r\n//##Other\r\no\r\n"},
      {"CR LF data stored as CR CR LF is written back unchanged", "Other",
       "//##Hero\r\na\r\r\nb\r\r\n\r\n//##Other\r\nx\r\n\r\n", "//##Hero\r\na\r\r\nb\r\r\n\r\n"},
      {"text.csv blocks come back with CR LF", "Hero", "t\r\n//##Hero\na\nb\n//##Other\nc\n",
       "t\r\n//##Other\r\nc\r\n"},
      {"14 bytes shown of a longer data name", "ABCDEFGHIJKLMN",
       "g\r\n//##ABCDEFGHIJKLMNOPQ\r\nx\r\n//##Other\r\no\r\n", "g\r\n//##Other\r\no\r\n"},
      {"a shorter name is no prefix", "ABCDEFGHIJKLM", "g\r\n//##ABCDEFGHIJKLMNOPQ\r\nx\r\n",
       "g\r\n//##ABCDEFGHIJKLMNOPQ\r\nx\r\n"},
      {"the empty name takes only the bare marker", "",
       "//##Hero\r\nh\r\n//##\r\ne\r\n//##Other\r\no\r\n", "//##Hero\r\nh\r\n//##Other\r\no\r\n"},
      {"a marker inside the data ends the block", "Hero",
       "g\r\n//##Hero\r\nh1\r\n//## note\r\nh2\r\n", "g\r\n//## note\r\nh2\r\n"},
  };
  for (const Case& c : cases) {
    TempFolder game;
    WriteBytes(game / "stuff/bolttypes.txt", c.before);
    Status status = RemoveMarkerBlock(platform, game.path(), "/stuff/bolttypes.txt", c.blockName);
    EXPECT_TRUE(status.ok()) << c.name << ": " << status.message();
    EXPECT_EQ(ReadBytes(game / "stuff/bolttypes.txt"), c.after) << c.name;
    EXPECT_FALSE(FileExists(game / "stuff/bolttypes.txt_temp")) << c.name;
  }
}

TEST_F(TextFilesTest, RemoveLeavesAMissingTargetMissing) {
  Status status = RemoveMarkerBlock(platform, dir.path(), "/stuff/bolttypes.txt", "Hero");
  EXPECT_TRUE(status.ok()) << status.message();
  EXPECT_TRUE(Snapshot(dir.path()).empty());
}

TEST_F(TextFilesTest, RemovingWhatWasAppendedGivesTheFileBack) {
  for (const MarkerBlockTarget& target : kMarkerBlockTargets) {
    TempFolder game;
    const std::string original = "own line 1\r\nown line 2\r\n";
    WriteBytes(game.path() + target.file, original);
    WriteBytes(package / "hero.ini", "h1\nh2\n");
    WriteBytes(package / "other.ini", "o1\r\n");
    ASSERT_TRUE(
        AppendMarkerBlock(platform, game.path(), target, package / "hero.ini", "Hero").ok());
    ASSERT_TRUE(
        AppendMarkerBlock(platform, game.path(), target, package / "other.ini", "Other").ok());
    ASSERT_TRUE(RemoveMarkerBlock(platform, game.path(), target.file, "Hero").ok());
    std::string otherBlock = target.binary ? "//##Other\r\no1\r\n" : "//##Other\r\no1\r\r\n\r\n";
    EXPECT_EQ(ReadBytes(game.path() + target.file), original + otherBlock) << target.file;
    ASSERT_TRUE(RemoveMarkerBlock(platform, game.path(), target.file, "Other").ok());
    EXPECT_EQ(ReadBytes(game.path() + target.file), original) << target.file;
  }
}

// ---- marker blocks: failed rewrites ----------------------------------------

TEST_F(TextFilesTest, AFailedReplaceLeavesTheTargetByteIdentical) {
  const std::string before = "g\n//##Hero\r\nh\r\n//##Other\no";
  for (bool appending : {true, false}) {
    WriteBytes(Game("/stuff/bolttypes.txt"), before);
    WriteBytes(package / "boltdata.ini", "b\n");
    platform.Fail(Op::ReplaceFile, "bolttypes.txt");
    Status status = appending
                        ? AppendMarkerBlock(platform, dir.path(), Target("/stuff/bolttypes.txt"),
                                            package / "boltdata.ini", "New")
                        : RemoveMarkerBlock(platform, dir.path(), "/stuff/bolttypes.txt", "Hero");
    EXPECT_FALSE(status.ok()) << appending;
    EXPECT_NE(status.message().find("/stuff/bolttypes.txt"), std::string::npos) << status.message();
    EXPECT_EQ(ReadBytes(Game("/stuff/bolttypes.txt")), before) << appending;
    EXPECT_FALSE(FileExists(Game("/stuff/bolttypes.txt_temp"))) << appending;
  }
}

TEST_F(TextFilesTest, ALeftoverTempFileDoesNotBlockTheNextRewrite) {
  WriteBytes(Game("/stuff/bolttypes.txt"), "g\r\n//##Hero\r\nh\r\n");
  WriteBytes(Game("/stuff/bolttypes.txt_temp"), "left by an earlier run");
  ASSERT_TRUE(RemoveMarkerBlock(platform, dir.path(), "/stuff/bolttypes.txt", "Hero").ok());
  EXPECT_EQ(ReadBytes(Game("/stuff/bolttypes.txt")), "g\r\n");
  EXPECT_FALSE(FileExists(Game("/stuff/bolttypes.txt_temp")));

  WriteBytes(Game("/stuff/text/text.csv_temp"), "left by an earlier run");
  ASSERT_TRUE(AppendMarkerBlock(platform, dir.path(), Target("/stuff/text/text.csv"),
                                package / "none.ini", "Hero")
                  .ok());
  EXPECT_EQ(ReadBytes(Game("/stuff/text/text.csv")), "//##Hero\n");
  EXPECT_FALSE(FileExists(Game("/stuff/text/text.csv_temp")));
}

// ---- collection list -------------------------------------------------------

const std::string kGameList = "collect \"Pawnik\" no_guns\r\ncollect \"Vesk\"\r\n";
const std::string kPlaceholder = "collect \"Halvek\" no_guns no_progress Do_Not_Show";

// The reserved section with `entries` (bytes with their line end) in the
// places that are not empty.
std::string Section(const std::map<int, std::string>& entries = {}) {
  const char* const markers[] = {"//##Mod_Char_01", "//##Mod_Char_02", "//##Mod_Char_03",
                                 "//##Mod_Char_04", "//##Mod_Char_05", "//##Mod_Char_06",
                                 "//##Mod_Char_07", "//##Mod_Char_08", "//##Mod_Char_09",
                                 "//##Mod_Char_10"};
  std::string section = "//##mod\r\n" + kPlaceholder + "\r\n" + kPlaceholder + "\r\n";
  for (int n = 1; n <= 10; ++n) {
    auto entry = entries.find(n);
    section += std::string(markers[n - 1]) + "\r\n" +
               (entry == entries.end() ? kPlaceholder + "\r\n" : entry->second);
  }
  return section;
}

class CollectionListTest : public TextFilesTest {
 protected:
  std::string List() const { return ReadBytes(Game("/chars/collection.txt")); }
  std::string Backup() const { return ReadBytes(Game("/chars/collection.txt_bak")); }
  void Prepare(const std::string& gameList) {
    WriteBytes(Game("/chars/collection.txt"), gameList);
    Status status = PrepareCollectionList(platform, dir.path());
    ASSERT_TRUE(status.ok()) << status.message();
  }
};

TEST_F(CollectionListTest, PrepareAddsTheReservedSectionOnce) {
  Prepare(kGameList);
  EXPECT_EQ(Backup(), kGameList);
  const std::string list = List();
  EXPECT_EQ(list, kGameList + Section());
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n') -
                std::count(kGameList.begin(), kGameList.end(), '\n'),
            23);

  ASSERT_TRUE(PrepareCollectionList(platform, dir.path()).ok());
  EXPECT_EQ(List(), kGameList + Section());
  EXPECT_EQ(Backup(), kGameList);
}

TEST_F(CollectionListTest, PrepareAfterALastLineWithoutLineEnd) {
  Prepare("collect \"Pawnik\"\r\ncollect \"Vesk\"");
  EXPECT_EQ(List(), "collect \"Pawnik\"\r\ncollect \"Vesk\"" + Section());
  EXPECT_EQ(Backup(), "collect \"Pawnik\"\r\ncollect \"Vesk\"");
  ASSERT_TRUE(PrepareCollectionList(platform, dir.path()).ok());
  EXPECT_EQ(List(), "collect \"Pawnik\"\r\ncollect \"Vesk\"" + Section());
}

TEST_F(CollectionListTest, PrepareCompletesAnInterruptedStart) {
  // The backup was made but the section never landed.
  WriteBytes(Game("/chars/collection.txt_bak"), kGameList);
  Prepare(kGameList);
  EXPECT_EQ(List(), kGameList + Section());
  EXPECT_EQ(Backup(), kGameList);
}

TEST_F(CollectionListTest, PrepareNeverAddsASecondSection) {
  // The backup has gone, the section is still there.
  Prepare(kGameList + Section());
  EXPECT_EQ(List(), kGameList + Section());
  EXPECT_EQ(Backup(), kGameList + Section());
}

TEST_F(CollectionListTest, PrepareChangesNothingWithoutAGameListOrItsBackup) {
  Status status = PrepareCollectionList(platform, dir.path());
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("/chars/collection.txt"), std::string::npos);
  EXPECT_TRUE(Snapshot(dir.path()).empty());

  WriteBytes(Game("/chars/collection.txt"), kGameList);
  platform.Fail(Op::CopyFile, "collection.txt");
  EXPECT_FALSE(PrepareCollectionList(platform, dir.path()).ok());
  EXPECT_EQ(List(), kGameList);
  EXPECT_FALSE(FileExists(Game("/chars/collection.txt_bak")));

  platform.Fail(Op::ReplaceFile, "collection.txt");
  EXPECT_FALSE(PrepareCollectionList(platform, dir.path()).ok());
  EXPECT_EQ(List(), kGameList);
  // The next start completes it.
  ASSERT_TRUE(PrepareCollectionList(platform, dir.path()).ok());
  EXPECT_EQ(List(), kGameList + Section());
  EXPECT_EQ(Backup(), kGameList);
}

TEST_F(CollectionListTest, WriteEntryReplacesOnlyItsPlace) {
  struct Case {
    const char* name;
    int n;
    bool placeholder;
    bool useFile;
    std::optional<std::string> entryFile;  // nullopt: missing
    std::string entry;                     // with its line ends as stored
  } cases[] = {
      {"default entry", 3, false, false, std::nullopt, "collect \"Hero\" no_progress\r\n"},
      {"colldef.ini with its own line end", 3, false, true,
       "collect \"Hero\" no_progress no_guns\r\n"s,
       "collect \"Hero\" no_progress no_guns\r\r\n\r\n"},
      {"colldef.ini of two LF lines", 1, false, true, "collect \"Hero\"\nno_guns"s,
       "collect \"Hero\"\r\nno_guns\r\n"},
      {"colldef.ini not asked for", 3, false, false, "collect \"Other\"\r\n"s,
       "collect \"Hero\" no_progress\r\n"},
      {"colldef.ini missing", 3, false, true, std::nullopt, "collect \"Hero\" no_progress\r\n"},
      {"colldef.ini empty", 3, false, true, ""s, "collect \"Hero\" no_progress\r\n"},
      {"the entry ends before a NUL", 7, false, true, "collect \"Hero\"\0junk\r\n"s,
       "collect \"Hero\"\r\n"},
      {"a NUL first leaves no entry", 7, false, true, "\0collect"s,
       "collect \"Hero\" no_progress\r\n"},
      {"placeholder wins", 10, true, true, "collect \"Other\"\r\n"s, kPlaceholder + "\r\n"},
  };
  for (const Case& c : cases) {
    TempFolder game;
    WriteBytes(game / "chars/collection.txt", kGameList + Section());
    if (c.entryFile) WriteBytes(package / "colldef.ini", *c.entryFile);
    Status status = WriteCollectionEntry(platform, game.path(), c.n, c.placeholder, c.useFile,
                                         package / "colldef.ini", "Hero");
    EXPECT_TRUE(status.ok()) << c.name << ": " << status.message();
    EXPECT_EQ(ReadBytes(game / "chars/collection.txt"), kGameList + Section({{c.n, c.entry}}))
        << c.name;
    EXPECT_FALSE(FileExists(game / "chars/collection.txt_temp")) << c.name;
    std::remove((package / "colldef.ini").c_str());
  }
}

TEST_F(CollectionListTest, EveryPlaceFilledAndEmptiedAgainGivesTheListBack) {
  Prepare(kGameList);
  std::map<int, std::string> entries;
  for (int n = 1; n <= 10; ++n) {
    std::string name = "Char" + std::to_string(n);
    WriteBytes(package / "colldef.ini", "collect \"" + name + "\" no_guns\n");
    ASSERT_TRUE(WriteCollectionEntry(platform, dir.path(), n, false, n % 2 == 0,
                                     package / "colldef.ini", name)
                    .ok());
    entries[n] = n % 2 == 0 ? "collect \"" + name + "\" no_guns\r\n\r\n"
                            : "collect \"" + name + "\" no_progress\r\n";
  }
  EXPECT_EQ(List(), kGameList + Section(entries));

  // Replacing an entry that brought its own empty line takes that line too.
  ASSERT_TRUE(WriteCollectionEntry(platform, dir.path(), 4, false, false, "", "Again").ok());
  entries[4] = "collect \"Again\" no_progress\r\n";
  EXPECT_EQ(List(), kGameList + Section(entries));

  for (int n = 10; n >= 1; --n) {
    ASSERT_TRUE(WriteCollectionEntry(platform, dir.path(), n, true, false, "", "").ok());
  }
  EXPECT_EQ(List(), kGameList + Section());
  EXPECT_EQ(Backup(), kGameList);
}

TEST_F(CollectionListTest, WriteEntryRefusesWhatItCannotDo) {
  const std::string before = "collect \"Pawnik\"\n" + Section();
  struct Case {
    const char* name;
    std::string list;
    int n;
  } cases[] = {
      {"place 0", before, 0},
      {"place 11", before, 11},
      {"no reserved section", kGameList, 3},
  };
  for (const Case& c : cases) {
    WriteBytes(Game("/chars/collection.txt"), c.list);
    Status status = WriteCollectionEntry(platform, dir.path(), c.n, false, false, "", "Hero");
    EXPECT_FALSE(status.ok()) << c.name;
    EXPECT_FALSE(status.message().empty()) << c.name;
    EXPECT_EQ(List(), c.list) << c.name;
  }

  // An entry file that is there but cannot be read.
  WriteBytes(Game("/chars/collection.txt"), before);
  WriteBytes(package / "colldef.ini/inside", "");
  EXPECT_FALSE(
      WriteCollectionEntry(platform, dir.path(), 3, false, true, package / "colldef.ini", "Hero")
          .ok());
  EXPECT_EQ(List(), before);

  // No list at all.
  std::remove(Game("/chars/collection.txt").c_str());
  EXPECT_FALSE(WriteCollectionEntry(platform, dir.path(), 3, true, false, "", "").ok());
  EXPECT_FALSE(FileExists(Game("/chars/collection.txt")));
}

TEST_F(CollectionListTest, AFailedReplaceLeavesTheListByteIdentical) {
  const std::string before = kGameList + Section({{2, "collect \"Old\"\r\r\n\r\n"}});
  WriteBytes(Game("/chars/collection.txt"), before);
  platform.Fail(Op::ReplaceFile, "collection.txt");
  Status status = WriteCollectionEntry(platform, dir.path(), 2, true, false, "", "");
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("/chars/collection.txt"), std::string::npos) << status.message();
  EXPECT_EQ(List(), before);
  EXPECT_FALSE(FileExists(Game("/chars/collection.txt_temp")));

  // A leftover temporary file from an interrupted run is simply replaced.
  WriteBytes(Game("/chars/collection.txt_temp"), "partial");
  ASSERT_TRUE(WriteCollectionEntry(platform, dir.path(), 2, true, false, "", "").ok());
  EXPECT_EQ(List(), kGameList + Section());
  EXPECT_FALSE(FileExists(Game("/chars/collection.txt_temp")));
}

// ---- start-up --------------------------------------------------------------

class StartUpCollectionTest : public TextFilesTest {
 protected:
  void SetUp() override { platform.set_program_folder(program.path()); }

  TempFolder program;
  RecordingView view;
};

TEST_F(StartUpCollectionTest, StartUpPreparesTheCollectionList) {
  WriteBytes(Game("/chars/collection.txt"), kGameList);
  ModManager manager(platform, view);
  manager.UseGameFolder(dir.path());
  manager.RunStartUpSteps();
  manager.RunStartUpSteps();
  EXPECT_EQ(ReadBytes(Game("/chars/collection.txt")), kGameList + Section());
  EXPECT_EQ(ReadBytes(Game("/chars/collection.txt_bak")), kGameList);
  for (const std::string& message : view.messages) {
    EXPECT_EQ(message.find("collection"), std::string::npos) << message;
  }
}

TEST_F(StartUpCollectionTest, AFailedPreparationIsSaidAndStartUpGoesOn) {
  ModManager manager(platform, view);
  manager.UseGameFolder(dir.path());
  manager.RunStartUpSteps();
  int said = 0;
  for (const std::string& message : view.messages) {
    if (message.find("collection list") != std::string::npos) {
      ++said;
      EXPECT_NE(message.find("/chars/collection.txt"), std::string::npos) << message;
    }
  }
  EXPECT_EQ(said, 1);
  EXPECT_FALSE(FileExists(Game("/chars/collection.txt")));
}

}  // namespace
}  // namespace korva
