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

}  // namespace
}  // namespace korva
