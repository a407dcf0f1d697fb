#include <gtest/gtest.h>

#include "installer/config.h"
#include "installer/mod_manager.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

TEST(ConfigLine, GameFolderIsEverythingAfterTheFirstEqualsSign) {
  struct Case {
    const char* line;
    const char* folder;
  } cases[] = {
      {"KorvaPath=C:\\Games\\X", "C:\\Games\\X"},
      {"anything=C:\\Games\\X", "C:\\Games\\X"},
      {"KorvaPath=C:\\A=B", "C:\\A=B"},
      {"KorvaPath= spaced ", " spaced "},
      {"KorvaPath=", ""},
      {"no equals sign", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(GameFolderFromConfigLine(c.line), c.folder) << c.line;
}

class StartUpTest : public ::testing::Test {
 protected:
  StartUpTest() {
    platform.set_program_folder(program.path());
    CopyBuiltData(program.path());
    MakeSampleGame(game.path());
  }
  TempFolder program;
  TempFolder game;
  TestPlatform platform;
  RecordingView view;
};

TEST_F(StartUpTest, RemembersTheChosenFolderInConfig) {
  view.chosen_folder = game.path();
  ModManager manager(platform, view);
  EXPECT_TRUE(manager.StartUp());
  EXPECT_EQ(view.dialogs_shown, 1);
  EXPECT_EQ(manager.game_folder(), game.path());
  EXPECT_EQ(ReadBytes(program / "config.ini"), "KorvaPath=" + game.path() + "\r\n");
  EXPECT_TRUE(view.messages.empty());

  // The next start finds it without asking.
  ModManager again(platform, view);
  EXPECT_TRUE(again.StartUp());
  EXPECT_EQ(view.dialogs_shown, 1);
  EXPECT_EQ(again.game_folder(), game.path());
}

TEST_F(StartUpTest, CancelClosesTheWindowWithoutWriting) {
  view.cancel_dialog = true;
  ModManager manager(platform, view);
  EXPECT_FALSE(manager.StartUp());
  EXPECT_TRUE(view.closed);
  EXPECT_FALSE(FileExists(program / "config.ini"));
}

TEST_F(StartUpTest, AConfigThatCannotBeWrittenIsSaidAndTheFolderStillUsed) {
  view.chosen_folder = game.path();
  platform.Fail(Op::ReplaceFile, "config.ini");
  ModManager manager(platform, view);
  EXPECT_TRUE(manager.StartUp());
  EXPECT_EQ(manager.game_folder(), game.path());
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_NE(view.messages[0].find("config.ini"), std::string::npos) << view.messages[0];
  EXPECT_FALSE(FileExists(program / "config.ini"));
}

// An installed program keeps config.ini in the settings folder and the
// mods and rosters in the user's folder, each made when first needed; its
// first start says where the mods folder is; nothing is written beside it.
TEST_F(StartUpTest, AnInstalledProgramKeepsTheUsersFilesInTheUsersFolders) {
  TempFolder user;
  ProgramFolders folders;
  folders.program = program.path();
  folders.settings = user / "config/korva-zid";
  folders.user_files = user / "data/korva-zid";
  folders.apart = true;
  platform.set_folders(folders);
  const auto programBefore = Snapshot(program.path());
  view.chosen_folder = game.path();
  EXPECT_TRUE(ModManager(platform, view).StartUp());
  EXPECT_EQ(ReadBytes(user / "config/korva-zid/config.ini"), "KorvaPath=" + game.path() + "\r\n");
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].rfind("Your mods folder is new and empty:\n" + folders.mods() + "\n", 0),
            0u) << view.messages[0];
  EXPECT_NE(view.messages[0].find("drop their archives"), std::string::npos);
  EXPECT_TRUE(platform.IsFolder(folders.mods()));

  // The next start finds config.ini and the mods folder and says nothing;
  // imports and rosters go to the user's folder.
  ModManager again(platform, view);
  EXPECT_TRUE(again.StartUp());
  EXPECT_EQ(view.dialogs_shown, 1);
  EXPECT_EQ(view.messages.size(), 1u);
  MakeSampleMods(user / "download");
  EXPECT_TRUE(again.ImportMods({user / "download/plain_grunt"}, nullptr));
  EXPECT_EQ(ReadBytes(folders.mods() + "/plain_grunt/modfile.ini"),
            ReadBytes(user / "download/plain_grunt/modfile.ini"));
  EXPECT_EQ(again.mod_count(), 1);
  EXPECT_TRUE(again.SaveRoster("empty", false));
  EXPECT_TRUE(FileExists(folders.rosters() + "/empty.txt"));
  EXPECT_EQ(again.RosterNames(), std::vector<std::string>{"empty"});
  EXPECT_EQ(Snapshot(program.path()), programBefore);
}

TEST_F(StartUpTest, AModsFolderThatCannotBeMadeIsSaid) {
  TempFolder user;
  ProgramFolders folders{program.path(), user / "config", user / "data", true};
  platform.set_folders(folders);
  WriteBytes(user / "config/config.ini", "KorvaPath=" + game.path() + "\r\n");
  platform.Fail(Op::CreateFolder, "data");
  EXPECT_TRUE(ModManager(platform, view).StartUp());
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].rfind("The mods folder could not be made (" + user / "data", 0), 0u)
      << view.messages[0];
  EXPECT_FALSE(FileExists(folders.mods()));
}

}  // namespace
}  // namespace korva
