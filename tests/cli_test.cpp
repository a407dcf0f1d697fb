#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <thread>

#include "journal/game_lock.h"
#include "installer/mod_manager.h"
#include "journal/journal.h"
#include "platform/platform.h"
#include "sample/packed_game.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/system.h"
#include "tests/support/test_archives.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

// korva-zid-cli copied into a program folder of its own, with the built
// data, tools and mods beside it, run as a user would run it.
class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    const std::string built = BuiltProgramFolder();
    fs::copy_file(built + "/" + ExecutableName("korva-zid-cli"), program / ExecutableName("korva-zid-cli"));
    for (const char* folder : {"data", "tools"}) {
      if (fs::exists(built + "/" + folder)) {
        fs::copy(built + "/" + folder, program / folder, fs::copy_options::recursive);
      }
    }
    MarkPortable(program.path());
    MakeSampleGame(game.path());
  }

  struct Result {
    int status = -1;
    std::string out, err;
  };
  // Runs the copied korva-zid-cli with `args` in `folder` (by default a
  // folder of its own, so that nothing depends on the current one).
  Result Run(const std::vector<std::string>& args, const std::string& folder = "") {
    std::vector<std::string> argv = {program / ExecutableName("korva-zid-cli")};
    argv.insert(argv.end(), args.begin(), args.end());
    fs::create_directories(work / "cwd");
    Result result;
    result.status = RunCaptured(argv, folder.empty() ? work / "cwd" : folder, work / "out", work / "err");
    result.out = ReadOutput(work / "out");
    result.err = ReadOutput(work / "err");
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
      {"delete"}, {"delete", "-1"}, {"revert", "--no"}, {"set-game"}, {"info", "a", "b"},
      {"import"}, {"import", "--replace"}, {"import", "a.zip", "--force"}, {"roster"},
      {"roster", "list", "x"}, {"roster", "save"}, {"roster", "save", "a", "--force"},
      {"roster", "apply", "a", "--skip-unknown"},
      {"roster", "export", "a"}, {"roster", "export", "a", "b.zip", "--force"}, {"roster", "show", "a"}, {"reinstall"},
      {"reinstall", "a", "b"}};
  for (const auto& args : cases) {
    Result result = Run(args);
    EXPECT_EQ(result.status, 2) << testing::PrintToString(args);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("usage: korva-zid-cli"), std::string::npos);
  }
  EXPECT_FALSE(FileExists(program / "config.ini"));
}

TEST_F(CliTest, WithoutAGameFolderEveryCommandAsksOnStderrAndTouchesNothing) {
  MakeSampleMods(program / "mods");
  const std::vector<std::vector<std::string>> commands = {
      {"mods"}, {"chars"}, {"info", "0"}, {"install", "0", "0"}, {"delete", "0"}, {"revert", "--yes"}};
  auto gameBefore = Snapshot(game.path());
  for (const char* config : {"", "KorvaPath=/no/such/game\r\n", "KorvaPath=\r\n"}) {
    if (*config) WriteBytes(program / "config.ini", config);
    auto programBefore = Snapshot(program.path());
    for (const auto& args : commands) {
      Result result = Run(args);
      std::string name = testing::PrintToString(args) + " with config \"" + config + "\"";
      EXPECT_EQ(result.status, 1) << name;
      EXPECT_EQ(result.out, "") << name;
      EXPECT_EQ(result.err, "Point to KORVAQUORIN.exe\n") << name;
      EXPECT_EQ(Snapshot(program.path()), programBefore) << name;
    }
  }
  EXPECT_EQ(Snapshot(game.path()), gameBefore);
}

TEST_F(CliTest, PathsNamesTheFoldersInUse) {
  Result result = Run({"paths"});
  EXPECT_EQ(result.status, 0) << result.err;
  const std::string p = program.path();
  EXPECT_EQ(result.out, "program\t" + p + "\nsettings\t" + p + "\nmods\t" + p + "/mods\nrosters\t" + p +
                            "/rosters\n");
}

TEST_F(CliTest, SetGameRemembersTheExecutablesFolder) {
  Result result = Run({"set-game", game / "KORVAQUORIN.exe"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(program / "config.ini"), "KorvaPath=" + game.path() + "\r\n");

  EXPECT_EQ(result.out, "");  // a fresh game starts without a message

  // A relative path is taken from the current folder; the name is matched
  // without regard to case, as the game's platform matches it.
  fs::remove(program / "config.ini");
  result = Run({"set-game", "korvaquorin.EXE"}, game.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(program / "config.ini"), "KorvaPath=" + game.path() + "\r\n");

  // The game is ready for mods, as after the window's start-up.
  EXPECT_TRUE(FileExists(game / "chars/mods_pawnik.cpj"));
  EXPECT_TRUE(FileExists(game / "chars/quorin_pawnik.cpj_bak"));
}

// find-game prints every install, one a line, and needs no game folder.
TEST_F(CliTest, FindGamePrintsEveryInstallOrSaysThereIsNone) {
  MadeUpInstallRecords records(work.path());
  const std::string steam = records.SteamFolder();
  const std::string library = work / "Other Drive/SteamLibrary";
  WriteBytes(steam + "/steamapps/libraryfolders.vdf",
             "\"libraryfolders\" { \"1\" { \"path\" \"" + library + "\" } }");
  const std::string inSteam = steam + "/steamapps/common/Korva Quorin/KORVAQUORIN.exe";
  const std::string inLibrary = library + "/steamapps/common/KQ/KORVAQUORIN.exe";
  struct Step {
    std::string add;  // a game made before the step
    std::string out;
  } steps[] = {{"", ""}, {inSteam, inSteam + "\n"}, {inLibrary, inSteam + "\n" + inLibrary + "\n"}};
  for (const Step& step : steps) {
    if (!step.add.empty()) WriteBytes(step.add, "");
    Result result = Run({"find-game"});
    EXPECT_EQ(result.out, step.out);
    EXPECT_EQ(result.status, step.out.empty() ? 1 : 0) << step.out;
    EXPECT_EQ(result.err, step.out.empty() ? "No installed KORVAQUORIN.exe was found; point to it "
                                             "with korva-zid-cli set-game PATH\n"
                                           : "");
  }
  EXPECT_FALSE(FileExists(program / "config.ini"));
}

#ifdef _WIN32
// A path typed with Windows' own separators names the same game.
TEST_F(CliTest, SetGameTakesAPathWithBackslashes) {
  std::string typed = game / "KORVAQUORIN.exe";
  std::replace(typed.begin(), typed.end(), '/', '\\');
  Result result = Run({"set-game", typed});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(program / "config.ini"), "KorvaPath=" + game.path() + "\r\n");
  EXPECT_TRUE(FileExists(game / "chars/quorin_pawnik.cpj_bak"));
}
#endif

// A game whose folder name lies outside the 8-bit code page, packed as a
// first start finds it: its archives are unpacked, a character goes in and
// out again, and the game comes back as the first start left it.
TEST_F(CliTest, AGameFolderNamedOutsideTheCodePageWorks) {
  MakeSampleMods(program / "mods");
  const std::string spiele = work / "Spiele/K\xc3\xb8rva Qu\xc3\xb6rin";
  MakePackedSampleGame(spiele);
  Result set = Run({"set-game", spiele + "/KORVAQUORIN.exe"});
  ASSERT_EQ(set.status, 0) << set.out << set.err;
  EXPECT_EQ(ReadBytes(program / "config.ini"), "KorvaPath=" + spiele + "\r\n");
  EXPECT_NE(set.out.find("Initial unpacking finished."), std::string::npos) << set.out;
  EXPECT_FALSE(FileExists(spiele + "/chars.dat"));
  const std::string fresh = Run({"chars"}).out;
  const std::string text = ReadBytes(spiele + "/stuff/text/text.csv");

  Result install = Run({"install", "sister_imra", "1"});
  ASSERT_EQ(install.status, 0) << install.out << install.err;
  EXPECT_EQ(install.out, "Char enabled.\n");
  EXPECT_NE(Run({"chars"}).out.find("1\tImra"), std::string::npos);
  EXPECT_NE(ReadBytes(spiele + "/stuff/text/text.csv"), text);
  ASSERT_EQ(Run({"delete", "1"}).status, 0);
  EXPECT_EQ(Run({"chars"}).out, fresh);
  EXPECT_EQ(ReadBytes(spiele + "/stuff/text/text.csv"), text);
}

// Long work shows its progress on one line of standard error, written over
// and over, when that is a terminal; into a pipe or a file nothing goes.
TEST_F(CliTest, ProgressGoesToATerminalOnly) {
  MakePackedSampleGame(game.path());
  std::string terminal, whyNot;
  int status = -1;
  const std::vector<std::string> argv = {program / ExecutableName("korva-zid-cli"), "set-game",
                                         game / "KORVAQUORIN.exe"};
  if (!RunOnTerminal(argv, work / "out", &terminal, &status, &whyNot)) GTEST_SKIP() << whyNot;
  EXPECT_EQ(status, 0) << terminal;
  EXPECT_NE(terminal.find("\rUnpacking chars.dat (1 of "), std::string::npos) << terminal;
  EXPECT_NE(terminal.find(" MB"), std::string::npos) << terminal;
  EXPECT_NE(ReadOutput(work / "out").find("Initial unpacking finished."), std::string::npos);

  fs::remove_all(game.path());
  MakePackedSampleGame(game.path());
  Result piped = Run({"set-game", game / "KORVAQUORIN.exe"});
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, "");
}

TEST_F(CliTest, SetGameRefusesAPathThatIsNotTheGamesExecutable) {
  WriteBytes(work / "elsewhere/KORVAQUORIN.exe/inside", "a folder of that name");
  struct Case {
    const char* name;
    std::string path;
  } cases[] = {
      {"another file of the game", game / "chars/collection.txt"},
      {"the game folder itself", game.path()},
      {"an executable that is not there", work / "KORVAQUORIN.exe"},
      {"a folder named like the executable", work / "elsewhere/KORVAQUORIN.exe"},
  };
  auto gameBefore = Snapshot(game.path());
  for (const Case& c : cases) {
    Result result = Run({"set-game", c.path});
    EXPECT_EQ(result.status, 1) << c.name;
    EXPECT_EQ(result.out, "") << c.name;
    EXPECT_EQ(result.err, c.path + ": not a readable KORVAQUORIN.exe\nPoint to KORVAQUORIN.exe\n")
        << c.name;
    EXPECT_FALSE(FileExists(program / "config.ini")) << c.name;
  }
  EXPECT_EQ(Snapshot(game.path()), gameBefore);
}

// The window's operations on the sample game with the sample mod packages.
class CliOperationsTest : public CliTest {
 protected:
  CliOperationsTest() {
    MakeSampleMods(program / "mods");
    PointAtGame();
    Run({"mods"});  // the first start: backups and prepared files
  }

  // `chars` as it prints a fresh game with `rows` changed and these labels.
  std::string Chars(const std::map<int, std::string>& rows, const std::string& labels) {
    std::string out;
    for (int i = 0; i < 10; ++i) {
      std::string placeholder = i < 9 ? "Mod_Char_0" + std::to_string(i + 1) : "Mod_Char_10";
      auto row = rows.find(i);
      out += std::to_string(i) + "\t" + (row != rows.end() ? row->second : placeholder) + "\\\n";
    }
    return out + labels;
  }
  static constexpr const char* kFreshLabels = "C: 10\nA: 10\nF: 10\nM: 10\n";
};

TEST_F(CliOperationsTest, ModsAndCharsListTheSampleGame) {
  Result mods = Run({"mods"});
  EXPECT_EQ(mods.status, 0);
  EXPECT_EQ(mods.out,
            "0\tBrakka the Mender\n1\tOrvak and the Shieldwall\n2\tPlain Grunt\n3\tSister Imra\n");
  Result chars = Run({"chars"});
  EXPECT_EQ(chars.status, 0);
  EXPECT_EQ(chars.out, Chars({}, kFreshLabels));
  EXPECT_EQ(chars.err, "");
}

TEST_F(CliOperationsTest, InstallRefuseAndDeleteByNameAndByRow) {
  const std::string hands = "chars/pawniks/shared/pawnik_hands.tex";
  const std::string gameHands = ReadBytes(game / hands);

  Result install = Run({"install", "sister_imra", "1"});
  EXPECT_EQ(install.status, 0) << install.err;
  EXPECT_EQ(install.out, "Char enabled.\n");
  EXPECT_EQ(Run({"chars"}).out, Chars({{1, "Imra"}}, "C: 9\nA: 10\nF: 9\nM: 9\n"));
  EXPECT_EQ(ReadBytes(game / hands), SampleModFiles().at("sister_imra/files/" + hands));

  // Orvak (row 1) needs eleven C slots: refused, and the place keeps Imra.
  auto installed = Snapshot(game.path());
  Result refused = Run({"install", "1", "1"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out,
            "Character cannot install. Not enough additional slots.\n"
            "Delete several chars to free 1 C Slots.\n");
  EXPECT_EQ(Snapshot(game.path()), installed);

  Result deleted = Run({"delete", "1"});
  EXPECT_EQ(deleted.status, 0) << deleted.err;
  EXPECT_EQ(deleted.out, "Char deleted.\n");
  EXPECT_EQ(Run({"chars"}).out, Chars({}, kFreshLabels));
  EXPECT_EQ(ReadBytes(game / hands), gameHands);
  EXPECT_FALSE(FileExists(game / "chars/pawniks/imra/imra_body.mdl"));

  // A place that holds no mod character is emptied all the same.
  Result again = Run({"delete", "9"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, "Char deleted.\n");
}

TEST_F(CliOperationsTest, SelectionErrorsChangeNothing) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
    bool namesMod;  // stderr says that MOD names no package
  } cases[] = {
      {{"install", "4", "0"}, "No mod has been selected.\n", true},
      {{"install", "nonesuch", "0"}, "No mod has been selected.\n", true},
      {{"install", "0", "10"}, "No slot has been selected.\n", false},
      {{"install", "plain_grunt", "10"}, "No slot has been selected.\n", false},
      {{"install", "4", "10"}, "Please select mod and char slot.\n", true},
      {{"delete", "10"}, "No slot has been selected.\n", false},
      {{"delete", "123456"}, "No slot has been selected.\n", false},
  };
  auto before = Snapshot(game.path());
  for (const Case& c : cases) {
    Result result = Run(c.args);
    std::string name = testing::PrintToString(c.args);
    EXPECT_EQ(result.status, 1) << name;
    EXPECT_EQ(result.out, c.out) << name;
    EXPECT_EQ(result.err.find("No mod package \"" + c.args[1] + "\"") != std::string::npos,
              c.namesMod)
        << name << ": " << result.err;
  }
  EXPECT_EQ(Snapshot(game.path()), before);
}

TEST_F(CliOperationsTest, RevertOnlyWithYesThenEveryGameFileIsTheGamesOwn) {
  ASSERT_EQ(Run({"install", "plain_grunt", "0"}).status, 0);
  auto installed = Snapshot(game.path());

  Result asked = Run({"revert"});
  EXPECT_EQ(asked.status, 1);
  EXPECT_EQ(asked.out, "");
  EXPECT_NE(asked.err.find("--yes"), std::string::npos);
  EXPECT_EQ(Snapshot(game.path()), installed);

  Result reverted = Run({"revert", "--yes"});
  EXPECT_EQ(reverted.status, 0) << reverted.err;
  EXPECT_EQ(reverted.out, "Reverse complete.\n");
  // Every file is the game's own again; the icon map stays, as documented.
  auto after = Snapshot(game.path());
  std::map<std::string, std::string> files;
  for (const auto& [path, bytes] : after) {
    if (bytes != "<folder>" && path != "chars/iconmap") files[path] = bytes;
  }
  EXPECT_EQ(files, SampleGameFiles());
  EXPECT_TRUE(after.count("chars/iconmap"));
}

TEST_F(CliOperationsTest, AdoptUpdateReportsChangedFilesAndTakesThemOnlyWithYes) {
  Result none = Run({"adopt-update"});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "No game file has changed since the program last changed it.\n");

  ASSERT_EQ(Run({"install", "sister_imra", "4"}).status, 0);
  const std::string withImra = Run({"chars"}).out;
  const std::string update = "an update's own text table\r\n";
  WriteBytes(game / "stuff/text/text.csv", update);
  auto updated = Snapshot(game.path());

  // Every command says what changed; none writes into it.
  Result install = Run({"install", "plain_grunt", "0"});
  EXPECT_EQ(install.status, 1);
  EXPECT_NE(install.out.find(game / "stuff/text/text.csv (changed)"), std::string::npos)
      << install.out;
  EXPECT_NE(install.out.find("Answered No. korva-zid-cli adopt-update --yes"), std::string::npos);
  EXPECT_NE(install.out.find("Nothing was changed."), std::string::npos) << install.out;
  Result report = Run({"adopt-update"});
  EXPECT_EQ(report.status, 1);
  EXPECT_NE(report.out.find(game / "stuff/text/text.csv (changed)"), std::string::npos);
  EXPECT_EQ(Snapshot(game.path()), updated);

  Result adopted = Run({"adopt-update", "--yes"});
  EXPECT_EQ(adopted.status, 0) << adopted.out;
  EXPECT_NE(adopted.out.find("Answered Yes (--yes)."), std::string::npos) << adopted.out;
  EXPECT_NE(adopted.out.find("installed again, each into its own place:\nplace 5 (Imra)"),
            std::string::npos) << adopted.out;
  EXPECT_EQ(ReadBytes(game / "stuff/text/text.csv_bak"), update);
  EXPECT_EQ(Run({"chars"}).out, withImra);
  EXPECT_EQ(Run({"adopt-update"}).status, 0);

  // An update of the character file, and a package that is gone: its place
  // is left empty and named. The adopted files are what a revert brings back.
  WriteBytes(game / "chars/quorin_pawnik.cpj", "an update's own characters");
  fs::remove_all(program / "mods/sister_imra");
  Result emptied = Run({"adopt-update", "--yes"});
  EXPECT_EQ(emptied.status, 0) << emptied.out;
  EXPECT_NE(emptied.out.find("These places are empty now:\nplace 5 (sister_imra): its mod package "
                             "sister_imra is no longer in the mods folder"),
            std::string::npos) << emptied.out;
  EXPECT_EQ(Run({"chars"}).out, Chars({}, kFreshLabels));
  ASSERT_EQ(Run({"revert", "--yes"}).status, 0);
  EXPECT_EQ(ReadBytes(game / "stuff/text/text.csv"), update);
  EXPECT_EQ(ReadBytes(game / "chars/quorin_pawnik.cpj"), "an update's own characters");
}

// Every file of the game as it ships, and of the program's only the icon map
// and the slot usage files, which a revert leaves.
void ExpectTheGameAsShipped(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& [path, bytes] : Snapshot(folder)) {
    if (bytes != "<folder>" && path != "chars/iconmap" && path.rfind("chars/slots_char_", 0) != 0) {
      files[path] = bytes;
    }
  }
  EXPECT_EQ(SnapshotDiff(SampleGameFiles(), files), "");
}

// A check of the game's files puts back what the game ships: that is told
// apart from an update, and taking it keeps the installed characters.
TEST_F(CliOperationsTest, FilesTheStorePutsBackAreTakenWithTheCharactersKept) {
  WriteBytes(game / "audio/restsfx_pc.pac", SampleGameFiles().at("audio/restsfx_pc.pac"));
  Result moved = Run({"chars"});
  EXPECT_NE(moved.out.find(game / "audio/restsfx_pc.pac was put back as the game ships it, by a "
                                  "check of the game's files; it was moved aside again."),
            std::string::npos) << moved.out;
  EXPECT_FALSE(FileExists(game / "audio/restsfx_pc.pac"));

  ASSERT_EQ(Run({"install", "sister_imra", "1"}).status, 0);
  ASSERT_EQ(Run({"install", "brakka_the_mender", "3"}).status, 0);
  const auto installed = Snapshot(game.path());
  for (const auto& [path, bytes] : SampleGameFiles()) WriteBytes(game / path, bytes);
  Result asked = Run({"chars"});
  EXPECT_NE(asked.out.find(game / "stuff/text/text.csv (put back as the game ships it)"),
            std::string::npos) << asked.out;
  Result adopted = Run({"adopt-update", "--yes"});
  EXPECT_EQ(adopted.status, 0) << adopted.out;
  EXPECT_EQ(SnapshotDiff(installed, Snapshot(game.path())), "");
  ASSERT_EQ(Run({"revert", "--yes"}).status, 0);
  ExpectTheGameAsShipped(game.path());
}

// The game folder moved to another library, a copy left behind: the new
// one is taken over whole, and nothing of the old one changes.
TEST_F(CliOperationsTest, AMovedGameFolderIsTakenOverAndTheOldOneIsLeftAlone) {
  ASSERT_EQ(Run({"install", "sister_imra", "1"}).status, 0);
  ASSERT_EQ(Run({"install", "plain_grunt", "2"}).status, 0);
  TempFolder library;
  fs::copy(fs::u8path(game.path()), fs::u8path(library / "game"), fs::copy_options::recursive);
  const auto old = Snapshot(game.path());
  ASSERT_EQ(Run({"set-game", library / "game/KORVAQUORIN.exe"}).status, 0);
  Result deleted = Run({"delete", "1"});
  EXPECT_EQ(deleted.status, 0) << deleted.out;
  EXPECT_EQ(ReadBytes(library / "game/chars/pawniks/shared/pawnik_hands.tex"),
            SampleGameFiles().at("chars/pawniks/shared/pawnik_hands.tex"));
  Result reverted = Run({"revert", "--yes"});
  EXPECT_EQ(reverted.status, 0) << reverted.out;
  ExpectTheGameAsShipped(library / "game");
  EXPECT_EQ(SnapshotDiff(old, Snapshot(game.path())), "");
}

// Two copies started on one game at once, a script and a window say: each
// operation is done whole or refused in words, never mixed with the other.
TEST_F(CliOperationsTest, TwoCopiesAtOnceTakeTurnsAndLeaveNoTrace) {
  ASSERT_EQ(Run({"install", "plain_grunt", "0"}).status, 0);
  ASSERT_EQ(Run({"install", "sister_imra", "2"}).status, 0);
  ASSERT_EQ(Run({"roster", "save", "pair"}).status, 0);
  const std::vector<std::vector<std::string>> commands = {
      {"install", "brakka_the_mender", "1"}, {"delete", "0"}, {"roster", "apply", "pair"},
      {"revert", "--yes"}, {"set-game", game / "KORVAQUORIN.exe"}};
  std::mt19937 random(29);
  const int pairs = 50 / SweepStride();
  for (int k = 0; k < pairs; ++k) {
    const auto& first = commands[k % commands.size()];
    const auto& second = commands[(k / commands.size() + k) % commands.size()];
    auto argv = [&](const std::vector<std::string>& args) {
      std::vector<std::string> all = {program / ExecutableName("korva-zid-cli")};
      all.insert(all.end(), args.begin(), args.end());
      return all;
    };
    ChildProcess a(argv(first), work / "a");
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 200));
    ChildProcess b(argv(second), work / "b");
    const int statusA = a.Wait(), statusB = b.Wait();
    for (const auto& [status, out] : {std::pair{statusA, work / "a"}, std::pair{statusB, work / "b"}}) {
      const std::string said = ReadOutput(out);
      EXPECT_TRUE(status == 0 || said.find(kGameLockedMessage) != std::string::npos ||
                  said.find(kGameRevertedMessage) != std::string::npos)
          << "pair " << k << ": " << said;
      EXPECT_EQ(said.find("no longer as this program left them"), std::string::npos) << said;
    }
    Result chars = Run({"chars"});
    ASSERT_EQ(chars.status, 0) << "pair " << k << ": " << chars.out;
    ASSERT_EQ(chars.out.find("no longer as this program left them"), std::string::npos) << chars.out;
  }
  ASSERT_EQ(Run({"revert", "--yes"}).status, 0);
  ExpectTheGameAsShipped(game.path());
}

TEST_F(CliOperationsTest, RostersAreSavedListedAppliedAndDeletedAndReinstallFollowsAnUpdate) {
  ASSERT_EQ(Run({"install", "sister_imra", "0"}).status, 0);
  ASSERT_EQ(Run({"install", "plain_grunt", "2"}).status, 0);
  Result saved = Run({"roster", "save", "evening"});
  EXPECT_EQ(saved.status, 0) << saved.err;
  EXPECT_EQ(saved.out, "The roster \"evening\" was saved in " + program / "rosters/evening.txt.\n");
  EXPECT_EQ(Run({"roster", "list"}).out, "evening\n");
  // Shared as one zip; a file of that name is kept unless --replace.
  const std::string zip = work / "evening.zip";
  EXPECT_EQ(Run({"roster", "export", "evening", zip}).status, 0);
  Result again = Run({"roster", "export", "evening", zip});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.out.find(zip + ": there is a file of that name already"), std::string::npos) << again.out;
  EXPECT_EQ(Run({"roster", "export", "evening", zip, "--replace"}).status, 0);

  ASSERT_EQ(Run({"delete", "0"}).status, 0);
  ASSERT_EQ(Run({"install", "plain_grunt", "1"}).status, 0);
  Result applied = Run({"roster", "apply", "evening"});
  EXPECT_EQ(applied.status, 0) << applied.err;
  EXPECT_EQ(applied.out, "The roster \"evening\" was applied.\nPlace 1: Sister Imra\nPlace 2: empty\n");
  EXPECT_EQ(Run({"chars"}).out, Chars({{0, "Imra"}, {2, "Grunt"}}, "C: 9\nA: 10\nF: 9\nM: 9\n"));

  // Imra's folder changed by hand: every run says so; reinstall takes it.
  const std::string body = "chars/pawniks/imra/imra_body.mdl";
  WriteBytes(program / ("mods/sister_imra/files/" + body), "Imra's new body");
  const std::string offered = "Sister Imra was updated. Install the new version in place 1?\n"
                              "Answered No. korva-zid-cli reinstall MOD installs the new version there.\n";
  EXPECT_EQ(Run({"roster", "list"}).out, "evening\n");  // no game: no question
  Result chars = Run({"chars"});
  EXPECT_EQ(chars.out.rfind(offered, 0), 0u) << chars.out;
  Result reinstalled = Run({"reinstall", "sister_imra"});
  EXPECT_EQ(reinstalled.status, 0) << reinstalled.err;
  EXPECT_EQ(reinstalled.out, offered + "The new version of Sister Imra was installed.\nPlace 1: Sister Imra\n");
  EXPECT_EQ(ReadBytes(game / body), "Imra's new body");
  EXPECT_EQ(Run({"chars"}).out, Chars({{0, "Imra"}, {2, "Grunt"}}, "C: 9\nA: 10\nF: 9\nM: 9\n"));
  Result none = Run({"reinstall", "brakka_the_mender"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "No place holds the mod package \"brakka_the_mender\"; nothing was installed.\n");

  EXPECT_EQ(Run({"roster", "delete", "evening"}).out, "The roster \"evening\" was deleted.\n");
  EXPECT_EQ(Run({"roster", "list"}).out, "");
  Result missing = Run({"roster", "apply", "evening"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "There is no roster \"evening\" (no file " + program / "rosters/evening.txt).\n");

  // The zip from before Imra's change: her folder holds other files now and
  // is kept, unless --replace; the roster comes back with it.
  Result kept = Run({"import", zip});
  EXPECT_EQ(kept.status, 1);
  EXPECT_EQ(kept.out, "Nothing was imported.\nRefused:\n- evening.zip: the mods folder has a package \"sister_imra\" "
                      "already, with other files, and it was kept; nothing of the archive was imported.\n");
  EXPECT_EQ(kept.err, "A package of the same folder name was kept: add --replace to replace it.\n");
  Result imported = Run({"import", zip, "--replace"});
  EXPECT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.out, "Imported into \"Mod Database\":\n- sister_imra, from evening.zip (it replaced the package of "
                          "that name)\nThe roster \"evening\" was imported from evening.zip, with 2 packages. The mods "
                          "folder held plain_grunt already, with the same files.\nApply it with: korva-zid-cli roster "
                          "apply evening\n");
  EXPECT_NE(ReadBytes(program / ("mods/sister_imra/files/" + body)), "Imra's new body");
  EXPECT_EQ(Run({"roster", "list"}).out, "evening\n");
}

// The program killed outright while its converter runs, half-way through an
// installation: the next run puts the game back as it was and says so.
TEST_F(CliOperationsTest, AnInstallationKilledHalfWayIsUndoneAtTheNextRun) {
  ASSERT_EQ(Run({"install", "plain_grunt", "2"}).status, 0);
  const auto before = Snapshot(game.path());
  ChildProcess install({program / ExecutableName("korva-zid-cli"), "install", "brakka_the_mender", "2"},
                       work / "killed");
  ASSERT_TRUE(install.started());
  // The page's first intermediate exists while the converter turns it into
  // an image.
  const std::string converting = game / "stuff/icons/icontpage_nxg.dds";
  while (install.Running() && !FileExists(converting)) {
  }
  ASSERT_TRUE(install.Running()) << "the installation ended before it could be cut off";
  install.KillAll();
  ASSERT_TRUE(FileExists(JournalPath(game.path())));

  Result chars = Run({"chars"});
  EXPECT_EQ(chars.status, 0);
  EXPECT_EQ(chars.out.rfind("The last installation into place 3 was cut off; the game's files "
                            "were put back as they were before it.\n",
                            0),
            0u)
      << chars.out;
  EXPECT_EQ(Snapshot(game.path()), before);
}

TEST_F(CliTest, SetGameExitsOneWhenItCannotRememberTheFolder) {
  fs::create_directories(program / "config.ini");  // config.ini cannot be written
  const auto before = Snapshot(game.path());
  Result result = Run({"set-game", game / "KORVAQUORIN.exe"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("could not be saved in config.ini"), std::string::npos) << result.out;
  EXPECT_EQ(Snapshot(game.path()), before);
}

TEST_F(CliTest, SetGameExitsOneWhenTheStartCouldNotPrepareTheGame) {
  // The backups cannot be made: the game's text table is a folder.
  fs::remove(game / "stuff/text/text.csv");
  fs::create_directories(game / "stuff/text/text.csv");
  Result result = Run({"set-game", game / "KORVAQUORIN.exe"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("Not every game file could be backed up or prepared"),
            std::string::npos)
      << result.out;
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
  EXPECT_EQ(byRow.out, "Mod Name: Zeta Runner\nMod Description: \nQuick\n\nBold\nInstalled now, its "
                       "files would cover no game file and no other place's file.\n");
  Result byName = Run({"info", "zeta"});
  EXPECT_EQ(byName.out, byRow.out);

  Result unknown = Run({"info", "nothing"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("nothing"), std::string::npos);
  EXPECT_EQ(Run({"info", "2"}).status, 1);
}

// Two packages that bring the same files: what each would cover, what an
// install covered and what a delete brought back are said.
TEST_F(CliTest, CoveredFilesAreSaid) {
  PointAtGame();
  for (const char* name : {"A", "B"}) {
    const std::string folder = std::string("conflict_") + name;
    AddMod(folder, std::string("name=Conflict ") + name + "\ndataname=Conflict" + name + "\n");
    WriteBytes(program / ("mods/" + folder + "/files/chars/pawniks/shared/pawnik_hands.tex"), name);
    WriteBytes(program / ("mods/" + folder + "/files/chars/common/new.txt"), name);
  }
  const std::string both = ": chars/common/new.txt, chars/pawniks/shared/pawnik_hands.tex.";
  const std::vector<std::pair<std::vector<std::string>, std::string>> steps = {
      {{"info", "conflict_B"},
       "Installed now, its files would cover:\n1 file of the game: "
       "chars/pawniks/shared/pawnik_hands.tex.\n"},
      {{"install", "conflict_A", "0"}, "Char enabled.\n"},
      {{"install", "conflict_B", "1"}, "Char enabled.\nIt covers 2 files of ConflictA (place 1)" + both + "\n"},
      {{"info", "conflict_A"},
       "Installed now, its files would cover:\n2 files of ConflictB (place 2)" + both + "\n"},
      {{"delete", "1"}, "Char deleted.\nIt brings back 2 files of ConflictA (place 1)" + both + "\n"},
  };
  for (const auto& [args, said] : steps) {
    Result result = Run(args);
    EXPECT_EQ(result.status, 0) << args[0] << result.err;
    const std::string out = result.out;
    EXPECT_EQ(out.substr(out.size() < said.size() ? 0 : out.size() - said.size()), said) << args[0];
  }
  EXPECT_EQ(ReadBytes(game / "chars/common/new.txt"), "A");
}

// Import needs no game folder: it changes only the mods folder.
TEST_F(CliTest, ImportPrintsWhatWasImportedAndRefusedAndExitsOneOnARefusal) {
  const std::string modfile = "name=Blue Runner\r\n";
  WriteTestArchive(work / "Blue Runner.zip", "zip", {File("modfile.ini", modfile)});
  WriteTestArchive(work / "evil.tar.gz", "tar.gz",
                   {File("Pack/modfile.ini", "name=Evil\r\n"), File("../../x", "x")});
  WriteTestArchive(work / "docs.7z", "7z", {File("readme.txt", "r")});

  Result mixed = Run({"import", "Blue Runner.zip", "evil.tar.gz", work / "docs.7z"}, work.path());
  EXPECT_EQ(mixed.status, 1);
  EXPECT_EQ(mixed.out,
            "Imported into \"Mod Database\":\n"
            "- Blue Runner, from Blue Runner.zip\n"
            "Refused:\n"
            "- evil.tar.gz: entry \"../../x\" climbs out with \"..\".\n"
            "- docs.7z: there is no modfile.ini in it, at its top or up to two folders down, so it "
            "holds no mod package. Its top holds: readme.txt.\n");
  EXPECT_EQ(mixed.err, "");
  EXPECT_EQ(Snapshot(program / "mods"),
            (std::map<std::string, std::string>{{"Blue Runner", "<folder>"},
                                                {"Blue Runner/modfile.ini", modfile}}));

  // The same name again: kept, unless --replace.
  WriteTestArchive(work / "v2.zip", "zip", {File("Blue Runner/modfile.ini", "name=Blue Runner 2\r\n")});
  Result kept = Run({"import", work / "v2.zip"});
  EXPECT_EQ(kept.status, 1);
  EXPECT_EQ(kept.out,
            "Nothing was imported.\nRefused:\n- v2.zip: the package (from \"Blue Runner\") was not "
            "imported: the mods folder has a \"Blue Runner\" already, and it was kept.\n");
  EXPECT_EQ(kept.err, "A package of the same folder name was kept: add --replace to replace it.\n");
  EXPECT_EQ(ReadBytes(program / "mods/Blue Runner/modfile.ini"), modfile);

  Result replaced = Run({"import", "--replace", work / "v2.zip"});
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(replaced.out,
            "Imported into \"Mod Database\":\n"
            "- Blue Runner, from v2.zip (it replaced the package of that name)\n");
  EXPECT_EQ(ReadBytes(program / "mods/Blue Runner/modfile.ini"), "name=Blue Runner 2\r\n");

  PointAtGame();
  Result mods = Run({"mods"});
  EXPECT_EQ(mods.out, "0\tBlue Runner 2\n");
}

}  // namespace
}  // namespace korva
