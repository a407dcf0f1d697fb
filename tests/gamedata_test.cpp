#include "gamedata/backups.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "installer/mod_manager.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

const char kAddedLines[] = "//##mod\r\ntxt_file \"chars/abilities/mod_abilities.txt\"\r\n";

class BackupsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeSampleGame(game);
    original = Snapshot(game);
  }

  std::vector<Status> Start() { return BackUpGameFiles(platform, game, program); }
  std::string Data(const std::string& name) { return ReadBytes(program + "/data/" + name); }
  std::string Game(const std::string& relative) { return ReadBytes(game + "/" + relative); }

  // A program folder of our own whose data folder lacks `missing`.
  void UseOwnProgramFolder(const std::string& missing = "") {
    program = dir / "program";
    CopyBuiltData(program);
    std::filesystem::create_directories(program + "/mods");
    if (!missing.empty()) std::filesystem::remove(program + "/data/" + missing);
  }

  TempFolder dir;
  TestPlatform platform;
  std::string game = dir / "game";
  std::string program = BuiltProgramFolder();
  std::map<std::string, std::string> original;
};

std::string Messages(const std::vector<Status>& failures) {
  std::string text;
  for (const Status& failure : failures) text += failure.message() + "\n";
  return text;
}

TEST_F(BackupsTest, FirstStartBacksUpReplacesAndAdds) {
  std::vector<Status> failures = Start();
  EXPECT_TRUE(failures.empty()) << Messages(failures);
  std::map<std::string, std::string> after = Snapshot(game);

  // The whole file list: the game's files, ten backups, four added files,
  // and restsfx_pc.pac only under its backup name.
  std::set<std::string> expected;
  for (const auto& [path, bytes] : original) expected.insert(path);
  expected.erase("audio/restsfx_pc.pac");
  const char* backups[] = {
      "global/gameglobal.led_bak", "chars/charstxt.fpk_bak", "chars/quorin_pawnik.cpj_bak",
      "stuff/icons/icontpage_nxg.tex_bak", "stuff/text/text.csv_bak",
      "audio/samples_nxg.cfg_bak", "audio/restsfx_pc.pac_bak", "stuff/bolttypes.txt_bak",
      "levels/builder/builderdefault/playeritemtypes.txt_bak", "chars/abilities.txt_bak"};
  for (const char* backup : backups) {
    expected.insert(backup);
    std::string gameFile = std::string(backup).substr(0, std::string(backup).size() - 4);
    EXPECT_EQ(after[backup], original[gameFile]) << backup << " holds the game's own file";
  }
  for (const char* added : {"chars/mods_pawnik.cpj", "chars/mods_faces.cpj", "chars/mods_misc.cpj",
                            "chars/abilities/mod_abilities.txt"}) {
    expected.insert(added);
  }
  std::set<std::string> files;
  for (const auto& [path, bytes] : after) files.insert(path);
  EXPECT_EQ(files, expected);

  for (const char* name : {"gameglobal.led", "charstxt.fpk", "quorin_pawnik.cpj"}) {
    std::string path = std::string(name) == "gameglobal.led" ? "global/" : "chars/";
    EXPECT_EQ(after[path + name], Data(name)) << name;
  }
  EXPECT_EQ(after["stuff/icons/icontpage_nxg.tex"], Data("icontpage_nxg.tex"));
  for (const char* name : {"mods_pawnik.cpj", "mods_faces.cpj", "mods_misc.cpj"}) {
    EXPECT_EQ(after[std::string("chars/") + name], Data(name)) << name;
  }
  EXPECT_EQ(after["chars/abilities/mod_abilities.txt"], "");
  EXPECT_EQ(after["chars/abilities.txt"], original["chars/abilities.txt"] + kAddedLines);
  for (const char* copied : {"stuff/text/text.csv", "audio/samples_nxg.cfg", "stuff/bolttypes.txt"}) {
    EXPECT_EQ(after[copied], original[copied]) << copied;
  }
}

TEST_F(BackupsTest, SecondStartChangesNothing) {
  ASSERT_TRUE(Start().empty());
  std::map<std::string, std::string> first = Snapshot(game);
  std::vector<Status> failures = Start();
  EXPECT_TRUE(failures.empty()) << Messages(failures);
  EXPECT_EQ(Snapshot(game), first);
}

TEST_F(BackupsTest, GameFileDeletedWhileItsBackupIsThere) {
  ASSERT_TRUE(Start().empty());
  struct Case {
    const char* name;
    const char* file;
    const char* dataFile;  // what the next start puts back, or nullptr: stays missing
  } cases[] = {
      {"copy", "stuff/text/text.csv", nullptr},
      {"move", "audio/restsfx_pc.pac", nullptr},
      {"move then replace", "chars/quorin_pawnik.cpj", "quorin_pawnik.cpj"},
      {"move then replace, /Chars/", "chars/charstxt.fpk", "charstxt.fpk"},
      {"add if absent", "chars/mods_faces.cpj", "mods_faces.cpj"},
  };
  for (const Case& c : cases) std::filesystem::remove(game + "/" + c.file);
  std::map<std::string, std::string> before = Snapshot(game);
  std::vector<Status> failures = Start();
  EXPECT_TRUE(failures.empty()) << Messages(failures);
  std::map<std::string, std::string> after = Snapshot(game);
  for (const Case& c : cases) {
    EXPECT_EQ(Game(c.file), c.dataFile ? Data(c.dataFile) : "<missing>") << c.name;
    after.erase(c.file);
  }
  EXPECT_EQ(after, before) << "no backup or other file changed";
}

TEST_F(BackupsTest, ModAbilitiesDeletedByTheUserIsMadeAgainWithTheLinesOnceMore) {
  ASSERT_TRUE(Start().empty());
  std::filesystem::remove(game + "/chars/abilities/mod_abilities.txt");
  ASSERT_TRUE(Start().empty());
  EXPECT_EQ(Game("chars/abilities/mod_abilities.txt"), "");
  EXPECT_EQ(Game("chars/abilities.txt"),
            original["chars/abilities.txt"] + kAddedLines + kAddedLines);
  EXPECT_EQ(Game("chars/abilities.txt_bak"), original["chars/abilities.txt"]);
}

TEST_F(BackupsTest, AbilitiesLinesStartOnALineOfTheirOwn) {
  WriteBytes(game + "/chars/abilities.txt", "txt_file \"chars/abilities/hero_abilities.txt\"");
  ASSERT_TRUE(Start().empty());
  EXPECT_EQ(Game("chars/abilities.txt"),
            std::string("txt_file \"chars/abilities/hero_abilities.txt\"\r\n") + kAddedLines);
}

TEST_F(BackupsTest, MissingPreparedFileLeavesTheGameFileInPlace) {
  UseOwnProgramFolder("gameglobal.led");
  std::vector<Status> failures = Start();
  ASSERT_EQ(failures.size(), 1u) << Messages(failures);
  EXPECT_NE(failures[0].message().find("gameglobal.led"), std::string::npos);
  EXPECT_EQ(Game("global/gameglobal.led"), original["global/gameglobal.led"]);
  EXPECT_EQ(Game("global/gameglobal.led_bak"), "<missing>");
  // The steps after it ran all the same.
  EXPECT_EQ(Game("chars/quorin_pawnik.cpj"), Data("quorin_pawnik.cpj"));
  EXPECT_EQ(Game("chars/abilities/mod_abilities.txt"), "");

  // Once the data folder is whole again the next start does the step.
  std::filesystem::copy(BuiltProgramFolder() + "/data/gameglobal.led", program + "/data/gameglobal.led");
  EXPECT_TRUE(Start().empty());
  EXPECT_EQ(Game("global/gameglobal.led"), Data("gameglobal.led"));
  EXPECT_EQ(Game("global/gameglobal.led_bak"), original["global/gameglobal.led"]);
}

TEST_F(BackupsTest, FailedCopyOfPreparedFilePutsTheGameFileBack) {
  platform.Fail(Op::CopyFile, "/data/quorin_pawnik.cpj");
  std::vector<Status> failures = Start();
  ASSERT_EQ(failures.size(), 1u) << Messages(failures);
  EXPECT_NE(failures[0].message().find("injected failure"), std::string::npos);
  EXPECT_EQ(Game("chars/quorin_pawnik.cpj"), original["chars/quorin_pawnik.cpj"]);
  EXPECT_EQ(Game("chars/quorin_pawnik.cpj_bak"), "<missing>");
  EXPECT_TRUE(Start().empty());
  EXPECT_EQ(Game("chars/quorin_pawnik.cpj"), Data("quorin_pawnik.cpj"));
}

TEST_F(BackupsTest, BackupThatCannotBeMadeIsReported) {
  struct Case {
    const char* name;
    Op op;
    const char* path;
  } cases[] = {
      {"copy", Op::CopyFile, "text.csv"},
      {"move", Op::Rename, "restsfx_pc.pac"},
      {"move then replace", Op::Rename, "icontpage_nxg.tex"},
      {"add if absent", Op::CopyFile, "mods_misc.cpj"},
  };
  for (const Case& c : cases) {
    TempFolder fresh;
    MakeSampleGame(fresh.path());
    TestPlatform failing;
    failing.Fail(c.op, c.path);
    std::vector<Status> failures = BackUpGameFiles(failing, fresh.path(), program);
    ASSERT_EQ(failures.size(), 1u) << c.name << "\n" << Messages(failures);
    EXPECT_NE(failures[0].message().find(c.path), std::string::npos) << c.name;
    std::map<std::string, std::string> after = Snapshot(fresh.path());
    for (const auto& [path, bytes] : original) {
      if (path.find(c.path) != std::string::npos) EXPECT_EQ(after[path], bytes) << c.name;
    }
  }
}

TEST_F(BackupsTest, AbilitiesListIsNotEditedWithoutItsBackup) {
  platform.Fail(Op::CopyFile, "abilities.txt");
  std::vector<Status> failures = Start();
  EXPECT_EQ(failures.size(), 2u) << Messages(failures);
  EXPECT_EQ(Game("chars/abilities.txt"), original["chars/abilities.txt"]);
  EXPECT_EQ(Game("chars/abilities/mod_abilities.txt"), "<missing>");
}

TEST_F(BackupsTest, FailedAppendLeavesNoModAbilitiesSoTheNextStartRetries) {
  platform.Fail(Op::AppendFile, "abilities.txt");
  std::vector<Status> failures = Start();
  ASSERT_EQ(failures.size(), 1u) << Messages(failures);
  EXPECT_EQ(Game("chars/abilities.txt"), original["chars/abilities.txt"]);
  EXPECT_EQ(Game("chars/abilities/mod_abilities.txt"), "<missing>");
  EXPECT_TRUE(Start().empty());
  EXPECT_EQ(Game("chars/abilities.txt"), original["chars/abilities.txt"] + kAddedLines);
}

TEST_F(BackupsTest, GameFileMissingWithoutBackupIsReported) {
  std::filesystem::remove(game + "/stuff/bolttypes.txt");
  std::filesystem::remove(game + "/audio/restsfx_pc.pac");
  std::vector<Status> failures = Start();
  ASSERT_EQ(failures.size(), 2u) << Messages(failures);
  EXPECT_EQ(failures[0].message(),
            game + "/audio/restsfx_pc.pac: not found, so it was not moved to its backup name");
  EXPECT_EQ(failures[1].message(),
            game + "/stuff/bolttypes.txt: not found, so no backup of it was made");
}

TEST_F(BackupsTest, StartUpShowsFailuresInOneMessage) {
  UseOwnProgramFolder("mods_pawnik.cpj");
  platform.set_program_folder(program);
  RecordingView view;
  ModManager manager(platform, view);
  manager.UseGameFolder(game);
  manager.RunStartUpSteps();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].rfind("Not every game file could be backed up or prepared:\n" + game +
                                       "/chars/mods_pawnik.cpj: could not be added (",
                                   0),
            0u)
      << view.messages[0];

  std::filesystem::copy(BuiltProgramFolder() + "/data/mods_pawnik.cpj", program + "/data/mods_pawnik.cpj");
  view.messages.clear();
  manager.RunStartUpSteps();
  EXPECT_TRUE(view.messages.empty());
}

}  // namespace
}  // namespace korva
