// Rosters and reinstalling through the core, on a generated sample game with
// the sample mods and small packages of two icons each.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "installer/mod_manager.h"
#include "installer/roster_file.h"
#include "installer/store.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/icon_pictures.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

TEST(RosterFile, ReadsTheFormatAndRefusesAnythingElseNamingTheLine) {
  TempFolder folder;
  const std::string path = folder / "r.txt";
  const std::string rest = "3=\n4=\n5=\n6=\n7=\n8=\n9=\n10=\n";
  struct Case {
    const char* name;
    std::string text;
    std::string error;  // "" when it reads; else a part of the message
  } cases[] = {
      {"plain", "1=blue_runner\n2=\n" + rest, ""},
      {"comments, blanks, spaces, CR LF, any order", "# mine\r\n\r\n 2 = Blue Runner (v2) \r\n  # x\r\n1=\r\n" + rest, ""},
      {"no equals sign", "1=a\n2\n" + rest, "line 2: \"2\" is not of the form PLACE=PACKAGE"},
      {"place 0", "0=a\n1=\n2=\n" + rest, "line 1: \"0\" is not a place; places are numbered 1 to 10"},
      {"place 11", "1=\n2=\n11=a\n" + rest, "line 3: \"11\" is not a place"},
      {"not a number", "one=a\n", "line 1: \"one\" is not a place"},
      {"a place twice", "1=a\n2=\n1=b\n" + rest, "line 3: place 1 is named a second time (first on line 1)"},
      {"an absolute path", "1=/home/me/mods/a\n2=\n" + rest, "line 1: the package \"/home/me/mods/a\" is a path"},
      {"a Windows path", "1=C:\\mods\\a\n2=\n" + rest, "is a path"},
      {"climbing out", "1=..\n2=\n" + rest, "the package \"..\" is not a folder name"},
      {"a name Windows cannot hold", "1=a?b\n2=\n" + rest, "holds a character that Windows does not allow"},
      {"a place missing", "1=a\n" + rest, "place 2 has no line; every place from 1 to 10 needs one (\"2=\""},
  };
  for (const Case& c : cases) {
    WriteBytes(path, c.text);
    Roster roster;
    Status read = ReadRoster(SystemPlatform(), path, &roster);
    if (c.error.empty()) {
      EXPECT_TRUE(read.ok()) << c.name << ": " << read.message();
    } else {
      EXPECT_FALSE(read.ok()) << c.name;
      EXPECT_EQ(read.message().rfind(path, 0), 0u) << c.name << ": " << read.message();
      EXPECT_NE(read.message().find(c.error), std::string::npos) << c.name << ": " << read.message();
    }
  }
  // What is written reads back as it was.
  Roster roster;
  roster.packages[0] = "Blue Runner (v2)";
  roster.packages[9] = "sister_imra";
  WriteBytes(path, RosterText("weekend", roster));
  Roster read;
  ASSERT_TRUE(ReadRoster(SystemPlatform(), path, &read).ok());
  EXPECT_EQ(read.packages, roster.packages);

  struct Name {
    std::string name;
    const char* why;  // "" when it may name a roster
  } names[] = {{"Weekend set (2)", ""}, {"a.b-c_d", ""}, {"", "is empty"},
               {"a/b", "holds \"/\""}, {"a\\b", "holds \"\\\""}, {"semi;colon", "holds \";\""},
               {"caf\xc3\xa9", "holds a character"}, {".hidden", "begins with a dot"},
               {"trailing ", "ends in a dot or a space"}, {"CON", "device name"},
               {std::string(101, 'x'), "101 bytes long"}};
  for (const Name& n : names) {
    const std::string why = WhyNotRosterName(n.name);
    if (*n.why == '\0') {
      EXPECT_EQ(why, "") << n.name;
    } else {
      EXPECT_NE(why.find(n.why), std::string::npos) << n.name << ": " << why;
    }
  }
}

class RosterTest : public ::testing::Test {
 protected:
  RosterTest() {
    MakeProgramFolderFor(program.path(), game.path());
    AddIconPackage("two_a", "Two A", "TwoA", 10);
    AddIconPackage("two_b", "Two B", "TwoB", 20);
    MakeSampleGame(game.path());
    platform.set_program_folder(program.path());
  }

  // A package with a main icon, one extra icon, a C slot and a file.
  void AddIconPackage(const std::string& folder, const std::string& name,
                      const std::string& dataName, int seed) {
    const std::string p = program / ("mods/" + folder);
    WriteBytes(p + "/modfile.ini", "name=" + name + "\r\ndataname=" + dataName +
                                       "\r\nhas_icon=1\r\nadd_icon=extra.tga\r\nadd_charslot=Pawniks\\" +
                                       dataName + "\\body=body\r\n");
    ASSERT_TRUE(WriteTgaFile(p + "/charicon.tga", DrawIcon(seed)).ok());
    ASSERT_TRUE(WriteTgaFile(p + "/extra.tga", DrawIcon(seed + 1)).ok());
    WriteBytes(p + "/files/chars/pawniks/" + dataName + "/body.mdl", "MDL " + name);
  }
  // Writes roster `name`: place number to package folder; the rest empty.
  void WriteRoster(const std::string& name, const std::map<int, std::string>& places) {
    std::string text = "# " + name + "\n";
    for (int n = 1; n <= 10; ++n) {
      auto found = places.find(n);
      text += std::to_string(n) + "=" + (found == places.end() ? "" : found->second) + "\n";
    }
    WriteBytes(program / ("rosters/" + name + ".txt"), text);
  }

  ModManager& Start() {
    manager = std::make_unique<ModManager>(platform, view);
    EXPECT_TRUE(manager->StartUp());
    EXPECT_EQ(view.messages, std::vector<std::string>{});
    view.messages.clear();
    view.questions.clear();
    return *manager;
  }
  std::string Said() {
    EXPECT_EQ(view.messages.size(), 1u) << testing::PrintToString(view.messages);
    std::string message = view.messages.empty() ? "" : view.messages.back();
    view.messages.clear();
    return message;
  }
  int Row(const std::string& folder) {
    const auto& folders = manager->mod_folder_list();
    for (size_t i = 0; i < folders.size(); ++i) {
      if (BaseName(folders[i]) == folder) return static_cast<int>(i);
    }
    ADD_FAILURE() << folder << " is not listed";
    return -1;
  }
  void SaveGame(const std::string& to) {
    fs::remove_all(to);
    fs::copy(game.path(), to, fs::copy_options::recursive);
  }
  void LoadGame(const std::string& from) {
    fs::remove_all(game.path());
    fs::copy(from, game.path(), fs::copy_options::recursive);
  }
  // Deletes and installs one by one, as a user would: `deletes` are place
  // numbers, `installs` place number and package folder.
  void OneByOne(const std::vector<int>& deletes,
                const std::vector<std::pair<int, std::string>>& installs) {
    ModManager& m = Start();
    for (int n : deletes) {
      ASSERT_TRUE(m.DeleteCharacter(n, true));
      EXPECT_EQ(Said(), "Char deleted.");
    }
    for (const auto& [n, folder] : installs) {
      ASSERT_TRUE(m.InstallCharacter(Row(folder), n - 1));
      EXPECT_EQ(Said(), "Char enabled.");
    }
  }

  TempFolder program, game, saved;
  TestPlatform platform;
  RecordingView view;
  std::unique_ptr<ModManager> manager;
};

// From roster "a" to roster "b": places 1 and 5 stay, 2 and 4 change
// package, 3 is emptied, 7 is filled. The game ends byte for byte as the
// same deletes and installs one by one leave it, the page changed once.
TEST_F(RosterTest, ApplyingGivesTheGameOfTheDeletesAndInstallsOneByOne) {
  WriteRoster("a", {{1, "brakka_the_mender"}, {2, "plain_grunt"}, {3, "two_a"}, {4, "two_b"}, {5, "sister_imra"}});
  WriteRoster("b", {{1, "brakka_the_mender"}, {2, "two_b"}, {4, "two_a"}, {5, "sister_imra"}, {7, "plain_grunt"}});
  ModManager& m = Start();
  ASSERT_TRUE(m.ApplyRoster("a")) << testing::PrintToString(view.messages);
  EXPECT_EQ(Said(), "The roster \"a\" was applied.\nPlace 1: Brakka the Mender\nPlace 2: Plain Grunt\n"
                    "Place 3: Two A\nPlace 4: Two B\nPlace 5: Sister Imra");
  SaveGame(saved / "a");

  OneByOne({2, 3, 4, 7}, {{2, "two_b"}, {4, "two_a"}, {7, "plain_grunt"}});
  const Files oneByOne = Snapshot(game.path());

  LoadGame(saved / "a");
  const std::string kept[] = {"chars/pawniks/brakka/brakka_body.mdl", "chars/pawniks/imra/imra_body.mdl",
                              "chars/pawniks/shared/pawnik_hands.tex"};
  std::map<std::string, fs::file_time_type> times;
  for (const std::string& path : kept) times[path] = fs::last_write_time(game / path);
  ModManager& again = Start();
  platform.ClearCalls();
  ASSERT_TRUE(again.ApplyRoster("b"));
  EXPECT_EQ(Said(), "The roster \"b\" was applied.\nPlace 2: Two B\nPlace 3: empty\nPlace 4: Two A\n"
                    "Place 7: Plain Grunt");
  EXPECT_EQ(platform.CountCalls(Op::RunProgram), 2);  // one page edit cycle
  EXPECT_EQ(SnapshotDiff(oneByOne, Snapshot(game.path())), "");
  for (const std::string& path : kept) {
    EXPECT_EQ(fs::last_write_time(game / path), times[path]) << path << " was touched";
  }
  EXPECT_EQ(view.game_char_rows[1], "TwoB\\");
  EXPECT_EQ(view.game_char_rows[2], "Mod_Char_03\\");

  // Applying it again changes nothing.
  const Files applied = Snapshot(game.path());
  ASSERT_TRUE(again.ApplyRoster("b"));
  EXPECT_EQ(Said(), "The roster \"b\" was applied. Every place held what it names already; nothing "
                    "was changed.");
  EXPECT_EQ(Snapshot(game.path()), applied);
}

// Every check is made before the first change: a refused roster changes
// nothing and names the place, the package and why. The slots of the places
// emptied count as free, those of the places filled before as taken.
TEST_F(RosterTest, ARosterThatCannotBeAppliedWhollyChangesNothing) {
  std::string nine = "name=Nine\r\ndataname=Nine\r\n";
  for (int i = 0; i < 9; ++i) nine += "add_charslot=Pawniks\\Nine\\c" + std::to_string(i) + "=c" + std::to_string(i) + "\r\n";
  WriteBytes(program / "mods/nine_c/modfile.ini", nine);
  WriteRoster("now", {{1, "two_a"}, {2, "two_b"}});  // 8 C slots left
  ModManager& m = Start();
  ASSERT_TRUE(m.ApplyRoster("now"));
  Said();
  const Files before = Snapshot(game.path());
  const std::vector<std::string> rows = view.game_char_rows;
  struct Case {
    const char* name;
    std::map<int, std::string> places;  // none: the file below
    std::string said;
  } cases[] = {
      {"a missing package", {{1, "two_a"}, {2, "two_b"}, {3, "blue_runner"}},
       "The roster \"r\" was not applied; nothing was changed:\nPlace 3, blue_runner: there is no "
       "such mod package (" + program / "mods/blue_runner is missing or holds no modfile.ini)."},
      {"more C slots than are free", {{1, "two_a"}, {2, "two_b"}, {3, "nine_c"}},
       "The roster \"r\" was not applied; nothing was changed:\nPlace 3, nine_c: Character cannot "
       "install. Not enough additional slots.\nDelete several chars to free 1 C Slots."},
      {"two packages that fit alone, not together", {{1, "two_a"}, {3, "nine_c"}, {4, "two_b"}},
       "Place 4, two_b: Character cannot install. Not enough additional slots."},
      {"a file that is no roster", {}, "/rosters/r.txt, line 1: \"11\" is not a place"},
  };
  for (const Case& c : cases) {
    WriteRoster("r", c.places);
    if (c.places.empty()) WriteBytes(program / "rosters/r.txt", "11=x\n");
    EXPECT_FALSE(m.ApplyRoster("r")) << c.name;
    const std::string message = Said();
    EXPECT_NE(message.find(c.said), std::string::npos) << c.name << ":\n" << message;
    EXPECT_EQ(Snapshot(game.path()), before) << c.name;
    EXPECT_EQ(view.game_char_rows, rows) << c.name;
  }
  // The slot of Two A, whose place is emptied, makes room for nine.
  WriteRoster("r", {{1, "nine_c"}, {2, "two_b"}});
  EXPECT_TRUE(m.ApplyRoster("r")) << testing::PrintToString(view.messages);
  EXPECT_EQ(Said(), "The roster \"r\" was applied.\nPlace 1: Nine");
}

// Saving knows each place's package; a place it cannot know is refused,
// named, or with --skip-unknown (the window: Yes) saved as empty.
TEST_F(RosterTest, SavingWritesEachPlacesPackageAndNamesThoseItCannotKnow) {
  WriteRoster("start", {{1, "two_a"}, {4, "sister_imra"}, {6, "plain_grunt"}, {9, "plain_grunt"}});
  ModManager& m = Start();
  ASSERT_TRUE(m.ApplyRoster("start"));
  Said();
  ASSERT_TRUE(m.SaveRoster("copy", false));
  EXPECT_EQ(Said(), "The roster \"copy\" was saved in " + program / "rosters/copy.txt.");
  EXPECT_EQ(ReadBytes(program / "rosters/copy.txt"),
            "# Korva Quorin ZID roster \"copy\": PLACE=PACKAGE, one line per place 1 to 10;\r\n"
            "# PACKAGE is a folder under mods, nothing after = leaves the place empty.\r\n"
            "1=two_a\r\n2=\r\n3=\r\n4=sister_imra\r\n5=\r\n6=plain_grunt\r\n7=\r\n8=\r\n9=plain_grunt\r\n"
            "10=\r\n");
  EXPECT_EQ(m.RosterNames(), (std::vector<std::string>{"copy", "start"}));

  // Place 4's list from an older version, without the package; place 9
  // without a list, as a character put in by hand shows.
  std::string list = ReadBytes(game / "chars/mod_char_3");
  const size_t package = list.find("package=");
  list.erase(package, list.find("\r\n", package) + 2 - package);
  WriteBytes(game / "chars/mod_char_3", list);
  fs::remove(game / "chars/mod_char_8");
  ModManager& again = Start();
  const std::string before = ReadBytes(program / "rosters/copy.txt");
  EXPECT_FALSE(again.SaveRoster("copy", false));
  EXPECT_EQ(Said(), "The roster \"copy\" was not saved: the program does not know which mod package "
                    "is in place 4 and 9 (installed by an older version of the program, or by "
                    "hand). Install those characters again with \"Add -->\", or save the roster "
                    "with those places empty (on the command line: --skip-unknown).");
  EXPECT_EQ(ReadBytes(program / "rosters/copy.txt"), before);

  // The window asks for the name, whether to replace, whether to save them empty.
  view.texts_to_give = {" copy "};
  view.answer_yes = true;
  ASSERT_TRUE(again.AskAndSaveRoster());
  EXPECT_EQ(view.questions.size(), 3u) << testing::PrintToString(view.questions);
  EXPECT_EQ(view.questions.back(), std::string(kUnknownPlacesCaption) +
                                       ": The program does not know which mod package is in place "
                                       "4 and 9 (installed by an older version of the program, or "
                                       "by hand). Save the roster \"copy\" with those places empty?");
  EXPECT_NE(Said().find("Place 4 and 9 were saved as empty"), std::string::npos);
  EXPECT_NE(ReadBytes(program / "rosters/copy.txt").find("\r\n4=\r\n"), std::string::npos);
  EXPECT_FALSE(again.SaveRoster("a/b", true));
  EXPECT_EQ(Said(), "The roster was not saved: the name \"a/b\" holds \"/\" that a roster name may not "
                    "hold; it may hold letters (A to Z), digits, spaces and - _ . ( ).");

  view.choices_to_make = {1};
  ASSERT_TRUE(again.AskAndDeleteRoster());
  EXPECT_EQ(view.offered.back(), (std::vector<std::string>{"copy", "start"}));
  EXPECT_EQ(Said(), "The roster \"start\" was deleted.");
  EXPECT_EQ(again.RosterNames(), std::vector<std::string>{"copy"});
}

// A new version imported over an installed package, and a package edited by
// hand: the program asks, and Yes installs the new version in its places as
// deleting and adding them one by one would; nothing else changes.
TEST_F(RosterTest, AnUpdatedPackageIsInstalledAfreshWhereItIsOnlyWhenAsked) {
  WriteRoster("start", {{1, "two_b"}, {3, "two_a"}, {4, "two_a"}, {6, "plain_grunt"}});
  ModManager& m = Start();
  ASSERT_TRUE(m.ApplyRoster("start"));
  Said();
  SaveGame(saved / "start");

  // The new version: another body and another extra icon.
  TempFolder download;
  fs::copy(program / "mods/two_a", download / "two_a", fs::copy_options::recursive);
  WriteBytes(download / "two_a/files/chars/pawniks/TwoA/body.mdl", "MDL Two A, version 2");
  ASSERT_TRUE(WriteTgaFile(download / "two_a/extra.tga", DrawIcon(99)).ok());
  view.answer_yes = true;
  ASSERT_TRUE(m.ImportMods({download / "two_a"}, nullptr));
  ASSERT_EQ(view.questions.size(), 2u) << testing::PrintToString(view.questions);
  EXPECT_EQ(view.questions[1], std::string(kUpdatedPackageCaption) +
                                   ": Two A was updated. Install the new version in place 3 and 4?");
  ASSERT_EQ(view.messages.size(), 2u) << testing::PrintToString(view.messages);
  EXPECT_EQ(view.messages[1], "The new version of Two A was installed.\nPlace 3: Two A\nPlace 4: Two A");
  EXPECT_EQ(ReadBytes(game / "chars/pawniks/TwoA/body.mdl"), "MDL Two A, version 2");
  const Files reinstalled = Snapshot(game.path());
  view.messages.clear();

  LoadGame(saved / "start");
  view.answer_yes = false;
  Start();  // asked (No): the places keep the old version
  OneByOne({3, 4}, {{3, "two_a"}, {4, "two_a"}});
  EXPECT_EQ(SnapshotDiff(Snapshot(game.path()), reinstalled), "");

  // Two B's folder edited by hand: found at the next start.
  WriteBytes(program / "mods/two_b/files/chars/pawniks/TwoB/body.mdl", "MDL Two B, touched up");
  view.answer_yes = false;
  manager = std::make_unique<ModManager>(platform, view);
  view.questions.clear();
  ASSERT_TRUE(manager->StartUp());
  EXPECT_EQ(view.questions, std::vector<std::string>{std::string(kUpdatedPackageCaption) +
                                                     ": Two B was updated. Install the new version in place 1?"});
  EXPECT_EQ(ReadBytes(game / "chars/pawniks/TwoB/body.mdl"), "MDL Two B");
  view.answer_yes = true;
  view.messages.clear();
  manager = std::make_unique<ModManager>(platform, view);
  ASSERT_TRUE(manager->StartUp());
  EXPECT_EQ(ReadBytes(game / "chars/pawniks/TwoB/body.mdl"), "MDL Two B, touched up");
  EXPECT_EQ(Said(), "The new version of Two B was installed.\nPlace 1: Two B");
  EXPECT_FALSE(manager->ReinstallPackage("sister_imra"));
  EXPECT_EQ(Said(), "No place holds the mod package \"sister_imra\"; nothing was installed.");
}

// A roster shared as one zip, imported on another computer (a fresh
// program folder with the sample packages, for a fresh copy of the same
// game where the first one was) and applied there: that game ends byte for
// byte as the first, apart from the record's times and the store lists'
// fingerprints, which are made of the package files' times.
TEST_F(RosterTest, ASharedRosterLandsByteForByteOnAnotherComputer) {
  std::map<int, std::string> ten = {{1, "two_a"}, {2, "brakka_the_mender"}, {3, "plain_grunt"}, {4, "sister_imra"}, {5, "two_b"}};
  for (int n = 6; n <= 10; ++n) {
    const std::string p = program / ("mods/grunt" + std::to_string(n));
    WriteBytes(p + "/modfile.ini", "name=Grunt " + std::to_string(n) + "\r\ndataname=G" + std::to_string(n) + "\r\n");
    WriteBytes(p + "/files/chars/pawniks/g" + std::to_string(n) + ".mdl", "MDL " + std::to_string(n));
    ten[n] = "grunt" + std::to_string(n);
  }
  WriteRoster("start", ten);
  ModManager& m = Start();
  ASSERT_TRUE(m.ApplyRoster("start"));
  Said();
  ASSERT_TRUE(m.SaveRoster("Weekend (v2)", false));
  Said();
  const std::string zip = saved / "weekend.zip";
  view.paths_to_give = {zip};
  view.choices_to_make = {1};
  ASSERT_TRUE(m.AskAndExportRoster());
  EXPECT_EQ(view.offered.back(), (std::vector<std::string>{"start", "Weekend (v2)"}));
  EXPECT_EQ(view.questions.back(), "Share roster: Weekend (v2).zip");
  const std::string shared = Said();
  EXPECT_EQ(shared.rfind("The roster \"Weekend (v2)\" was shared as " + zip + ": 10 packages, 55 KB.", 0), 0u) << shared;

  // A failed export leaves no archive, whole or half.
  const std::string failed = saved / "failed.zip";
  platform.Fail(Op::Rename, "failed.zip_temp");
  EXPECT_FALSE(m.ExportRoster("Weekend (v2)", failed, false));
  WriteRoster("gone", {{1, "two_a"}, {2, "no_such_package"}});
  EXPECT_FALSE(m.ExportRoster("gone", failed, false));
  EXPECT_EQ(view.messages, (std::vector<std::string>{
      "The roster \"Weekend (v2)\" was not shared; no archive was written.\n" + failed + "_temp: injected failure",
      "The roster \"gone\" was not shared; no archive was written.\nPlace 2, no_such_package: there is no such mod "
      "package (" + program / "mods/no_such_package is missing or holds no modfile.ini)."}));
  EXPECT_FALSE(FileExists(failed) || FileExists(failed + "_temp"));

  manager.reset();
  SaveGame(saved / "first");
  fs::remove_all(game.path());
  MakeSampleGame(game.path());
  TempFolder program2;
  MakeProgramFolderFor(program2.path(), game.path());
  TestPlatform platform2;
  platform2.set_program_folder(program2.path());
  RecordingView view2;
  ModManager other(platform2, view2);
  ASSERT_TRUE(other.StartUp());
  view2.messages.clear();
  view2.answer_yes = true;
  ASSERT_TRUE(other.ImportMods({zip}, nullptr));
  EXPECT_EQ(view2.questions, std::vector<std::string>{std::string(kImportedRosterCaption) +
                                                      ": Apply the roster \"Weekend (v2)\" now? Each place that "
                                                      "holds something else is emptied and filled with the roster's package."});
  ASSERT_EQ(view2.messages.size(), 2u);
  EXPECT_NE(view2.messages[0].find("\n- grunt10, from weekend.zip\nThe roster \"Weekend (v2)\" was imported from "
                                   "weekend.zip, with 10 packages. The mods folder held brakka_the_mender, plain_grunt "
                                   "and sister_imra already, with the same files."), std::string::npos)
      << view2.messages[0];
  EXPECT_EQ(view2.messages[1].rfind("The roster \"Weekend (v2)\" was applied.\nPlace 1: Two A\n", 0), 0u);
  auto masked = [](Files files) {
    for (auto& [path, bytes] : files) {
      if (path.rfind("chars/mod_char_", 0) != 0) continue;
      const size_t at = bytes.find("fingerprint=");
      if (at != std::string::npos) bytes.erase(at + 12, 16);
    }
    return files;
  };
  EXPECT_EQ(SnapshotDiff(masked(Snapshot(saved / "first")), masked(Snapshot(game.path()))), "");
  EXPECT_EQ(Snapshot(program / "mods"), Snapshot(program2 / "mods"));
  EXPECT_EQ(ReadBytes(program / "rosters/Weekend (v2).txt"), ReadBytes(program2 / "rosters/Weekend (v2).txt"));
}

}  // namespace
}  // namespace korva
