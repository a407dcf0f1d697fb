#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

// korva-zid-cli copied into a program folder of its own, with the built
// data, tools and mods beside it, run as a user would run it.
class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    const std::string built = BuiltProgramFolder();
    fs::copy_file(built + "/korva-zid-cli", program / "korva-zid-cli");
    for (const char* folder : {"data", "tools"}) {
      if (fs::exists(built + "/" + folder)) {
        fs::copy(built + "/" + folder, program / folder, fs::copy_options::recursive);
      }
    }
    MakeSampleGame(game.path());
  }

  struct Result {
    int status = -1;
    std::string out, err;
  };
  Result Run(const std::vector<std::string>& args, const std::string& folder = "/") {
    std::vector<std::string> argv = {"/bin/sh", "-c",
                                     "cd \"$1\" && out=$2 err=$3 && shift 3 && "
                                     "exec \"$@\" >\"$out\" 2>\"$err\"",
                                     "sh", folder, work / "out", work / "err",
                                     program / "korva-zid-cli"};
    argv.insert(argv.end(), args.begin(), args.end());
    Result result;
    EXPECT_TRUE(SystemPlatform().RunProgram(argv, &result.status).ok());
    result.out = ReadBytes(work / "out");
    result.err = ReadBytes(work / "err");
    return result;
  }
  void PointAtGame() { WriteBytes(program / "config.ini", "KorvaPath=" + game.path() + "\r\n"); }
  void AddMod(const std::string& folder, const std::string& modfile) {
    WriteBytes(program / ("mods/" + folder + "/modfile.ini"), modfile);
  }

  TempFolder program, game, work;
};

TEST_F(CliTest, UsageErrorsExitWithTwoAndTouchNothing) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"frobnicate"}, {"mods", "extra"}, {"install", "0"}, {"install", "0", "x"},
      {"delete"}, {"delete", "-1"}, {"revert", "--no"}, {"set-game"}, {"info", "a", "b"}};
  for (const auto& args : cases) {
    Result result = Run(args);
    EXPECT_EQ(result.status, 2) << testing::PrintToString(args);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("usage: korva-zid-cli"), std::string::npos);
  }
  EXPECT_FALSE(FileExists(program / "config.ini"));
}

TEST_F(CliTest, WithoutAGameFolderItAsksOnStderrAndStops) {
  auto gameBefore = Snapshot(game.path());
  for (const char* config : {"", "KorvaPath=/no/such/game\r\n"}) {
    if (*config) WriteBytes(program / "config.ini", config);
    Result result = Run({"mods"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Point to KORVAQUORIN.exe\n");
  }
  EXPECT_EQ(ReadBytes(program / "config.ini"), "KorvaPath=/no/such/game\r\n");
  EXPECT_EQ(Snapshot(game.path()), gameBefore);
}

TEST_F(CliTest, SetGameRemembersTheExecutablesFolder) {
  Result result = Run({"set-game", game / "KORVAQUORIN.exe"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(program / "config.ini"), "KorvaPath=" + game.path() + "\r\n");

  // A relative path is taken from the current folder.
  fs::remove(program / "config.ini");
  result = Run({"set-game", "KORVAQUORIN.exe"}, game.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(program / "config.ini"), "KorvaPath=" + game.path() + "\r\n");
}

TEST_F(CliTest, ModsAndInfoShowTheModDatabase) {
  PointAtGame();
  AddMod("zeta", "name=Zeta Runner\r\ndescription=Quick\r\ndescription=\r\ndescription=Bold\r\n");
  AddMod("Alpha", "description=First line wins\nname=Alpha\n");
  Result mods = Run({"mods"});
  EXPECT_EQ(mods.status, 0) << mods.err;
  EXPECT_EQ(mods.out, "0\tFirst line wins\n1\tZeta Runner\n");

  Result byRow = Run({"info", "1"});
  EXPECT_EQ(byRow.status, 0);
  EXPECT_EQ(byRow.out, "Mod Name: Zeta Runner\nMod Description: \nQuick\n\nBold\n");
  Result byName = Run({"info", "zeta"});
  EXPECT_EQ(byName.out, byRow.out);

  Result unknown = Run({"info", "nothing"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("nothing"), std::string::npos);
  EXPECT_EQ(Run({"info", "2"}).status, 1);
}

}  // namespace
}  // namespace korva
