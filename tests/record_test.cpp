// The record of managed game files: a file that the game (an update, a check
// of its files) or anything else changed after the program last left it is
// never written into, and the start-up offers to take it as the new original.
#include "gamedata/managed_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "installer/mod_manager.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

enum Mod { kBrakka = 0, kGrunt = 2, kImra = 3 };

class RecordTest : public ::testing::Test {
 protected:
  RecordTest() {
    MakeProgramFolderFor(program.path(), game.path());
    MakeSampleGame(game.path());
    platform.set_program_folder(program.path());
  }

  ModManager& Start(bool answer = false) {
    view = RecordingView();
    view.answer_yes = answer;
    manager = std::make_unique<ModManager>(platform, view);
    EXPECT_TRUE(manager->StartUp());
    return *manager;
  }
  std::string Last() { return view.messages.empty() ? "" : view.messages.back(); }

  TempFolder program, game;
  TestPlatform platform;
  RecordingView view;
  std::unique_ptr<ModManager> manager;
};

TEST_F(RecordTest, TheFirstStartRecordsEveryManagedFileAsItLeftIt) {
  Start();
  ManagedRecord record;
  ASSERT_TRUE(record.Load(platform, game.path()).ok());
  ASSERT_TRUE(record.exists());
  for (const std::string& path : ManagedGameFiles()) {
    EXPECT_TRUE(record.Has(path)) << path;
  }
  EXPECT_TRUE(record.Changed(platform, game.path()).empty());
  // The game's own character file has another layout than the prepared
  // one: it is kept as the backup and the prepared file is what runs.
  EXPECT_EQ(ReadBytes(game / "chars/quorin_pawnik.cpj"), ReadBytes(program / "data/quorin_pawnik.cpj"));
  EXPECT_EQ(ReadBytes(game / "chars/quorin_pawnik.cpj_bak"),
            SampleGameFiles().at("chars/quorin_pawnik.cpj"));
  // A second start changes nothing and asks nothing.
  const Files before = Snapshot(game.path());
  Start();
  EXPECT_EQ(view.questions, std::vector<std::string>());
  EXPECT_EQ(Snapshot(game.path()), before);
}

// Each kind of managed file, replaced by a "new version" after the first
// start: the program refuses to write into it, asks at the next start, and
// on Yes takes it as the original that a revert brings back.
TEST_F(RecordTest, AGameUpdateIsRefusedThenAdopted) {
  struct Case {
    const char* path;
    bool backedUp;  // the game's own file, kept as a backup
  } cases[] = {
      {"/chars/quorin_pawnik.cpj", true},
      {"/stuff/icons/icontpage_nxg.tex", true},
      {"/chars/collection.txt", true},
      {"/stuff/text/text.csv", true},
      {"/chars/abilities.txt", true},
      {"/global/gameglobal.led", true},
      {"/chars/mods_pawnik.cpj", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    fs::remove_all(game.path());
    MakeSampleGame(game.path());
    ModManager& m = Start();
    ASSERT_TRUE(m.InstallCharacter(kImra, 4));
    // The update: for the text files their old lines and one more, so
    // their layout still looks like the program's.
    std::string update = ReadBytes(game.path() + c.path) + "an update's line\r\n";
    if (std::string(c.path).find(".cpj") != std::string::npos) update = std::string(9000, 'U');
    WriteBytes(game.path() + c.path, update);
    const Files updated = Snapshot(game.path());

    // The running program refuses to write into it, and says why.
    EXPECT_FALSE(m.InstallCharacter(kGrunt, 0));
    EXPECT_NE(Last().find(game.path() + c.path + " (changed)"), std::string::npos) << Last();
    EXPECT_NE(Last().find("adopt-update --yes"), std::string::npos) << Last();
    EXPECT_FALSE(m.DeleteCharacter(5, true));
    view.answer_yes = true;
    EXPECT_FALSE(m.RevertGameFiles());
    EXPECT_EQ(Snapshot(game.path()), updated);

    // The next start asks; No changes nothing.
    Start(false);
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0].rfind("Game files changed: ", 0), 0u);
    EXPECT_NE(view.questions[0].find(game.path() + c.path + " (changed)"), std::string::npos);
    EXPECT_EQ(Snapshot(game.path()), updated);

    // Yes: the update becomes the original, the character is installed
    // again. Its name is the character's while the character file is the
    // program's, else its package's.
    Start(true);
    ASSERT_EQ(view.questions.size(), 1u);
    const bool named = std::string(c.path) != "/chars/quorin_pawnik.cpj";
    EXPECT_NE(Last().find("installed again, each into its own place:\nplace 5 (" +
                          std::string(named ? "Imra" : "Sister Imra") + ")"),
              std::string::npos) << Last();
    if (c.backedUp) EXPECT_EQ(ReadBytes(game.path() + c.path + "_bak"), update);
    EXPECT_EQ(view.game_char_rows[4], "Imra\\");
    EXPECT_TRUE(FileExists(game / "chars/mod_char_4"));
    EXPECT_TRUE(FileExists(game / "chars/slots_char_4"));
    EXPECT_EQ(view.slot_labels, (std::array<std::string, 4>{"C: 9", "A: 10", "F: 9", "M: 9"}));

    // And the program works on it again; a revert brings the update back.
    Start();
    EXPECT_EQ(view.questions, std::vector<std::string>());
    ASSERT_TRUE(manager->InstallCharacter(kBrakka, 1)) << Last();
    view.answer_yes = true;
    ASSERT_TRUE(manager->RevertGameFiles()) << Last();
    if (c.backedUp) {
      EXPECT_EQ(ReadBytes(game.path() + c.path), update);
    } else {
      EXPECT_FALSE(FileExists(game.path() + c.path));
    }
  }
}

TEST_F(RecordTest, AFolderPreparedBeforeTheRecordGetsOneAfterALayoutCheck) {
  Start();
  ASSERT_TRUE(manager->InstallCharacter(kBrakka, 1));
  fs::remove(game / "chars/mod_record");
  const Files before = Snapshot(game.path());
  // The files hold the prepared tables, claimed slots and all: no question,
  // and the start makes the record from them as they stand.
  Start();
  EXPECT_EQ(view.questions, std::vector<std::string>());
  Files now = Snapshot(game.path());
  EXPECT_NE(now["chars/mod_record"], "");
  now.erase("chars/mod_record");
  EXPECT_EQ(now, before);
  ASSERT_TRUE(manager->InstallCharacter(kGrunt, 0));

  // Bytes outside the tables that differ from the prepared file fail the
  // check, and so does a page that is no 1280 x 3584 DDS.
  fs::remove(game / "chars/mod_record");
  std::string cpj = ReadBytes(game / "chars/mods_misc.cpj");
  cpj[40] ^= 1;
  WriteBytes(game / "chars/mods_misc.cpj", cpj);
  WriteBytes(game / "stuff/icons/icontpage_nxg.tex", "DDS not a page");
  Start();
  ASSERT_EQ(view.questions.size(), 1u);
  EXPECT_NE(view.questions[0].find("mods_misc.cpj (does not hold the prepared character tables)"),
            std::string::npos)
      << view.questions[0];
  EXPECT_NE(view.questions[0].find("icontpage_nxg.tex (is not a DDS page"), std::string::npos);
  EXPECT_EQ(view.slot_labels[3], "M: ?");
}

TEST_F(RecordTest, AManagedFileThatIsGoneIsPreparedAgainWithoutAQuestion) {
  Start();
  fs::remove(game / "chars/mods_faces.cpj");
  fs::remove(game / "chars/abilities/mod_abilities.txt");
  Start();
  EXPECT_EQ(view.questions, std::vector<std::string>());
  EXPECT_EQ(ReadBytes(game / "chars/mods_faces.cpj"), ReadBytes(program / "data/mods_faces.cpj"));
  EXPECT_TRUE(FileExists(game / "chars/abilities/mod_abilities.txt"));
  ManagedRecord record;
  ASSERT_TRUE(record.Load(platform, game.path()).ok());
  EXPECT_TRUE(record.Has("/chars/mods_faces.cpj"));
  EXPECT_TRUE(record.Changed(platform, game.path()).empty());
}

TEST(ManagedRecordTest, TimesSpareReadingAndHashesDecide) {
  TempFolder game;
  WriteBytes(game / "chars/collection.txt", "list");
  TestPlatform platform;
  ManagedRecord record;
  ASSERT_TRUE(record.Take(platform, game.path(), {"/chars/collection.txt"}).ok());
  ASSERT_TRUE(record.Save(platform, game.path()).ok());
  ASSERT_TRUE(record.Load(platform, game.path()).ok());
  platform.ClearCalls();
  EXPECT_TRUE(record.Changed(platform, game.path()).empty());
  EXPECT_EQ(platform.CountCalls(Op::ReadFile), 0);  // size and time alone

  // Same bytes, new time: read, found unchanged.
  fs::last_write_time(game / "chars/collection.txt",
                      fs::last_write_time(game / "chars/collection.txt") + std::chrono::hours(1));
  EXPECT_TRUE(record.Changed(platform, game.path()).empty());
  EXPECT_EQ(platform.CountCalls(Op::ReadFile), 1);
  // Same size, other bytes: changed.
  WriteBytes(game / "chars/collection.txt", "LIST");
  ASSERT_EQ(record.Changed(platform, game.path()).size(), 1u);
  EXPECT_EQ(ContentHash("list").size(), 32u);
  EXPECT_NE(ContentHash("list"), ContentHash("LIST"));
}

TEST(ProgramPaths, PackagesAndArchivesMayNotLandOnThem) {
  for (const char* path : {"/quickbms.exe", "/VANTREL.BMS", "/stuff/icons/crunch.exe",
                           "/stuff/Icons/icontpage_nxg.dds", "/stuff/icons/icontpage_nxg_t.tga",
                           "chars/iconmap", "/chars/slots_char_3", "/chars/mod_char_0",
                           "/chars/mod_record", "/mod_journal", "/mod_journal_files/0",
                           "\\stuff\\icons\\crunch.exe", "./quickbms.exe"}) {
    EXPECT_TRUE(IsProgramPath(path)) << path;
  }
  for (const char* path : {"/stuff/icons/icontpage_nxg.tex", "/chars/collection.txt",
                           "/chars/pawniks/x.mdl", "/quickbms/readme.txt"}) {
    EXPECT_FALSE(IsProgramPath(path)) << path;
  }
  for (const char* path : {"/stuff/icons/icontpage_nxg.tex", "/Chars/Collection.txt_bak",
                           "/chars/quorin_pawnik.cpj", "/audio/restsfx_pc.pac_bak",
                           "/stuff/text/text.csv_temp"}) {
    EXPECT_TRUE(IsManagedOrBackupPath(path)) << path;
  }
  EXPECT_FALSE(IsManagedOrBackupPath("/chars/pawniks/shared/pawnik_hands.tex"));
}

}  // namespace
}  // namespace korva
