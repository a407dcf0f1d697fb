// Installing, deleting and reverting characters through the core, on a
// generated sample game with the sample mods.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <chrono>
#include <filesystem>
#include <thread>

#include "gamedata/backups.h"
#include "installer/mod_manager.h"
#include "installer/revert.h"
#include "installer/store.h"
#include "sample/sample_game.h"
#include "slots/slot_table.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/recording_view.h"
#include "tests/support/system.h"
#include "tests/support/test_platform.h"
#include "textfiles/collection_list.h"

namespace korva {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

// "Mod Database" rows of the sample packages when no other package is there.
enum Mod { kBrakka = 0, kOrvak = 1, kGrunt = 2, kImra = 3 };

class InstallTest : public ::testing::Test {
 protected:
  InstallTest() {
    MakeProgramFolderFor(program.path(), game.path());
    MakeSampleGame(game.path());
    gameBefore = Snapshot(game.path());
    platform.set_program_folder(program.path());
  }

  // Starts the program on the game; the first start prepares it.
  ModManager& Start() {
    manager = std::make_unique<ModManager>(platform, view);
    EXPECT_TRUE(manager->StartUp());
    EXPECT_EQ(view.messages, std::vector<std::string>{});
    view.messages.clear();
    return *manager;
  }
  // The one message an operation showed.
  std::string Said() {
    EXPECT_EQ(view.messages.size(), 1u) << testing::PrintToString(view.messages);
    std::string message = view.messages.empty() ? "" : view.messages.back();
    view.messages.clear();
    return message;
  }
  std::string Label(SlotKind kind) { return view.slot_labels[static_cast<int>(kind)]; }
  // A package of our own in the mods folder (start the program after).
  void AddPackage(const std::string& folder, const std::string& modfile) {
    WriteBytes(program / ("mods/" + folder + "/modfile.ini"), modfile);
  }
  int Row(const std::string& folder) {
    const auto& folders = manager->mod_folder_list();
    for (size_t i = 0; i < folders.size(); ++i) {
      if (folders[i] == program / ("mods/" + folder)) return static_cast<int>(i);
    }
    ADD_FAILURE() << folder << " is not listed";
    return -1;
  }

  TempFolder program, game;
  Files gameBefore;
  TestPlatform platform;
  RecordingView view;
  std::unique_ptr<ModManager> manager;
};

TEST_F(InstallTest, InstallReinstallDeleteAndRevertGiveTheGameBack) {
  ModManager& m = Start();
  ASSERT_TRUE(m.InstallCharacter(kBrakka, 2));
  EXPECT_EQ(Said(), "Char enabled.");
  ASSERT_TRUE(m.InstallCharacter(kGrunt, 0));
  EXPECT_EQ(Said(), "Char enabled.");
  ASSERT_TRUE(m.InstallCharacter(kImra, 9));
  EXPECT_EQ(Said(), "Char enabled.");
  EXPECT_EQ(view.game_char_rows[0], "Grunt\\");
  EXPECT_EQ(view.game_char_rows[2], "Brakka\\");
  EXPECT_EQ(view.game_char_rows[9], "Imra\\");
  EXPECT_EQ(Label(SlotKind::C), "C: 7");
  EXPECT_EQ(Label(SlotKind::A), "A: 9");
  EXPECT_EQ(Label(SlotKind::F), "F: 8");
  EXPECT_EQ(Label(SlotKind::M), "M: 8");
  // Brakka's main icon and two extra icons follow Grunt's; Imra's comes last.
  EXPECT_EQ(m.icon_map().entries,
            (std::vector<int32_t>{1, 0, 3, 3, 3, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ReadBytes(game / "chars/pawniks/shared/pawnik_hands.tex"),
            ReadBytes(program / "mods/sister_imra/files/chars/pawniks/shared/pawnik_hands.tex"));

  // Reinstalling over Brakka takes out her blocks, icons and files but keeps
  // her slots claimed, listed before the new character's.
  const std::string usage = ReadBytes(game / "chars/slots_char_2");
  ASSERT_TRUE(m.InstallCharacter(kGrunt, 2));
  EXPECT_EQ(Said(), "Char enabled.");
  EXPECT_EQ(view.game_char_rows[2], "Grunt\\");
  EXPECT_EQ(Label(SlotKind::C), "C: 7");
  EXPECT_EQ(ReadBytes(game / "chars/slots_char_2"), usage);
  EXPECT_EQ(ReadBytes(game / "stuff/bolttypes.txt"), gameBefore["stuff/bolttypes.txt"] );
  EXPECT_FALSE(FileExists(game / "chars/pawniks/brakka/brakka_body.mdl"));
  EXPECT_EQ(m.icon_map().entries,
            (std::vector<int32_t>{1, 0, 3, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  // "<-- Delete" releases both characters' slots of the place.
  ASSERT_TRUE(m.DeleteCharacter(3, true));
  EXPECT_EQ(Said(), "Char deleted.");
  EXPECT_EQ(view.game_char_rows[2], "Mod_Char_03\\");
  EXPECT_EQ(Label(SlotKind::C), "C: 9");
  EXPECT_EQ(Label(SlotKind::A), "A: 10");
  EXPECT_FALSE(FileExists(game / "chars/slots_char_2"));

  // No place selected: nothing changes.
  Files before = Snapshot(game.path());
  EXPECT_FALSE(m.DeleteCharacter(0, true));
  EXPECT_EQ(Said(), "No slot has been selected.");
  EXPECT_EQ(Snapshot(game.path()), before);

  view.answer_yes = true;
  ASSERT_TRUE(m.RevertGameFiles());
  EXPECT_EQ(Said(), "Reverse complete.");
  EXPECT_TRUE(view.closed);
  // The game's own files are back byte for byte and what the program added
  // is gone; only the icon map and the slot usage files of places still
  // holding a character stay.
  Files expected = gameBefore;
  expected["chars/iconmap"] = ReadBytes(game / "chars/iconmap");
  expected["chars/slots_char_9"] = ReadBytes(game / "chars/slots_char_9");
  EXPECT_EQ(Snapshot(game.path()), expected);
}

TEST_F(InstallTest, ARefusedPackageLeavesThePlaceAsItWas) {
  AddPackage("two_kinds", "name=Two\ndataname=Two\n" + [] {
    std::string lines;
    for (int i = 0; i < 11; ++i) {
      lines += "add_charslot=Pawniks\\T\\c" + std::to_string(i) + "=c" + std::to_string(i) + "\n";
      lines += "add_miscslot=Pawniks\\T\\m" + std::to_string(i) + "=m" + std::to_string(i) + "\n";
    }
    return lines;
  }());
  AddPackage("a_and_f", "name=AF\ndataname=AF\n" + [] {
    std::string lines;
    for (int i = 0; i < 11; ++i) {
      lines += "add_animslot=Pawniks\\T\\a" + std::to_string(i) + "=a" + std::to_string(i) + "\n";
      lines += "add_faceslot=Pawniks\\T\\f" + std::to_string(i) + "=f" + std::to_string(i) + "\n";
    }
    return lines;
  }());
  AddPackage("escaping_icon", "name=Escape\ndataname=Escape\nadd_icon=../../secret.tga\n");
  AddPackage("long_slot", "name=Long\ndataname=Long\nadd_faceslot=Pawniks\\" +
                              std::string(70, 'x') + "=short\n");
  ModManager& m = Start();
  ASSERT_TRUE(m.InstallCharacter(Row("plain_grunt"), 4));
  Said();
  const Files before = Snapshot(game.path());

  struct Case {
    int mod;
    std::string message;
  } cases[] = {
      {Row("orvak_shieldwall"), "Character cannot install. Not enough additional slots.\n"
               "Delete several chars to free 1 C Slots."},
      {Row("two_kinds"), "Character cannot install. Not enough additional slots.\n"
                         "Delete several chars to free 1 C Slots, 1 M Slots."},
      {Row("a_and_f"), "Character cannot install. Not enough additional slots.\n"
                       "Delete several chars to free 1 A Slots, 1 F Slots."},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(m.InstallCharacter(c.mod, 4));
    EXPECT_EQ(Said(), c.message);
    EXPECT_EQ(Snapshot(game.path()), before);
    EXPECT_EQ(view.game_char_rows[4], "Grunt\\");
  }
  for (const char* folder : {"escaping_icon", "long_slot"}) {
    EXPECT_FALSE(m.InstallCharacter(Row(folder), 4));
    std::string message = Said();
    EXPECT_EQ(message.rfind("Character cannot install.", 0), 0u) << message;
    EXPECT_NE(message.find(program / ("mods/" + std::string(folder))), std::string::npos)
        << message;
    EXPECT_EQ(Snapshot(game.path()), before);
  }
}

TEST_F(InstallTest, SelectionsAreCheckedFirst) {
  ModManager& m = Start();
  const Files before = Snapshot(game.path());
  struct Case {
    int mod, place;
    const char* message;
  } cases[] = {
      {-1, -1, "Please select mod and char slot."}, {-1, 3, "No mod has been selected."},
      {0, -1, "No slot has been selected."},        {4, 3, "No mod has been selected."},
      {0, 10, "No slot has been selected."},        {9, 10, "Please select mod and char slot."},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(m.InstallCharacter(c.mod, c.place));
    EXPECT_EQ(Said(), c.message) << c.mod << " " << c.place;
  }
  for (int number : {-1, 0, 11}) {
    EXPECT_FALSE(m.DeleteCharacter(number, true));
    EXPECT_EQ(Said(), "No slot has been selected.");
  }
  EXPECT_EQ(Snapshot(game.path()), before);
}

TEST_F(InstallTest, DeletingWritesThePlaceholderRecordAndNothingElseOfTheFile) {
  // The prepared file the first start puts in place holds odd records.
  const std::string cpj = game / "chars/quorin_pawnik.cpj";
  std::string bytes = ReadBytes(program / "data/quorin_pawnik.cpj");
  bytes.replace(74294, 15, "Hero\\" + std::string(10, 'x'));
  bytes.replace(74314, 14, std::string(14, 'y'));
  bytes.replace(74870, 15, std::string(15, 'z'));
  bytes.replace(74890, 14, "Heroine");
  WriteBytes(program / "data/quorin_pawnik.cpj", bytes);
  ModManager& m = Start();

  ASSERT_TRUE(m.DeleteCharacter(1, true));
  EXPECT_EQ(Said(), "Char deleted.");
  ASSERT_TRUE(m.DeleteCharacter(10, true));
  EXPECT_EQ(Said(), "Char deleted.");
  std::string expected = bytes;
  expected.replace(74294, 15, std::string("Mod_Char_01\\\0\0\\", 15));
  expected.replace(74314, 14, std::string("Mod_Char_01\0\0\0", 14));
  expected.replace(74870, 15, std::string("Mod_Char_10\\\0\0\\", 15));
  expected.replace(74890, 14, std::string("Mod_Char_10\0\0\0", 14));
  EXPECT_EQ(ReadBytes(cpj), expected);
  EXPECT_EQ(view.game_char_rows.front(), "Mod_Char_01\\");
  EXPECT_EQ(view.game_char_rows.back(), "Mod_Char_10\\");
}

TEST_F(InstallTest, AStepThatFailsIsSaidAndUndoesTheWholeOperation) {
  ModManager& m = Start();
  ASSERT_TRUE(m.InstallCharacter(kGrunt, 1));
  Said();
  const Files before = Snapshot(game.path());
  const std::vector<std::string> rows = view.game_char_rows;
  const std::array<std::string, 4> labels = view.slot_labels;
  // The second rewrite of the file: emptying the place rewrites it first.
  platform.Fail(Op::ReplaceFile, "bolttypes.txt", 1, 1);
  EXPECT_FALSE(m.InstallCharacter(kBrakka, 1));
  std::string message = Said();
  EXPECT_EQ(message.find("Char enabled."), std::string::npos) << message;
  EXPECT_NE(message.find("place 2"), std::string::npos) << message;
  EXPECT_NE(message.find("bolttypes.txt"), std::string::npos) << message;
  EXPECT_NE(message.find("The game was left as it was before."), std::string::npos) << message;
  EXPECT_EQ(Snapshot(game.path()), before);
  EXPECT_EQ(view.game_char_rows, rows);
  EXPECT_EQ(view.slot_labels, labels);

  platform.Fail(Op::WriteAt, "quorin_pawnik.cpj");
  EXPECT_FALSE(m.DeleteCharacter(2, true));
  message = Said();
  EXPECT_EQ(message.find("Char deleted."), std::string::npos) << message;
  EXPECT_NE(message.find("quorin_pawnik.cpj"), std::string::npos) << message;
  EXPECT_EQ(Snapshot(game.path()), before);

  // Afterwards the same operations go through.
  ASSERT_TRUE(m.InstallCharacter(kBrakka, 1));
  EXPECT_EQ(Said(), "Char enabled.");
  EXPECT_EQ(view.game_char_rows[1], "Brakka\\");
}

// A game file that the install must write into but may not: read-only, or
// held open by another program (the game itself; on Windows only, as POSIX
// locks no file). The install fails, naming the file and what to do, and
// the journal leaves the game as it was.
TEST_F(InstallTest, AReadOnlyOrHeldGameFileFailsTheInstallAndLeavesTheGame) {
  ModManager& m = Start();
  const std::string cpj = game / "chars/quorin_pawnik.cpj";
  const Files before = Snapshot(game.path());
  const auto perms = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(cpj, perms, fs::perm_options::remove);
  std::string said, whyNot;
  const bool ran = RunAsOrdinaryUser({game.path(), program.path()}, [&] {
    const bool installed = m.InstallCharacter(kGrunt, 1);
    return (installed ? "install succeeded\n" : "") + testing::PrintToString(view.messages);
  }, &said, &whyNot);
  fs::permissions(cpj, perms, fs::perm_options::add);
  if (!ran) GTEST_SKIP() << whyNot;
  EXPECT_NE(said.find(cpj + ": the file is read-only"), std::string::npos) << said;
  EXPECT_NE(said.find("The game was left as it was before."), std::string::npos) << said;
  EXPECT_EQ(said.find("install succeeded"), std::string::npos) << said;
  EXPECT_EQ(Snapshot(game.path()), before);

#ifdef _WIN32
  view.messages.clear();
  const std::string holder = program / "holder.exe";
  WriteStandIn(holder, "hold \"$1\"\ntouch \"$2\"\nsleep 10000\n");
  ChildProcess held({holder, cpj, program / "ready"}, program / "holder.out");
  for (int i = 0; i < 3000 && !FileExists(program / "ready"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(FileExists(program / "ready")) << ReadBytes(program / "holder.out");
  EXPECT_FALSE(m.InstallCharacter(kGrunt, 1));
  const std::string message = Said();
  EXPECT_NE(message.find(cpj + ": another program holds it open"), std::string::npos) << message;
  EXPECT_NE(message.find("The game was left as it was before."), std::string::npos) << message;
  held.KillAll();
  EXPECT_EQ(Snapshot(game.path()), before);
#endif
}

// Two packages that bring the same files: a game file whose "_bak" name the
// game ships too, and a new file. The last installed is on top; each delete
// takes out only its own layer, says whose files came back, and a revert
// leaves only the game's own files.
TEST_F(InstallTest, PackagesThatShareFilesLayer) {
  WriteBytes(game / "stuff/readme.txt", "game's readme");
  WriteBytes(game / "stuff/readme.txt_bak", "an older readme");
  for (const char* mod : {"plain_grunt", "sister_imra"}) {
    WriteBytes(program / ("mods/" + std::string(mod) + "/files/stuff/readme.txt"), mod);
    WriteBytes(program / ("mods/" + std::string(mod) + "/files/stuff/new.txt"), mod);
  }
  ModManager& m = Start();
  ASSERT_TRUE(m.InstallCharacter(kGrunt, 0));
  EXPECT_EQ(Said(), "Char enabled.");
  ASSERT_TRUE(m.InstallCharacter(kImra, 1));
  EXPECT_EQ(Said(), "Char enabled.\nIt covers 2 files of Grunt (place 1): stuff/new.txt, "
                    "stuff/readme.txt.");
  EXPECT_EQ(ReadBytes(game / "stuff/readme.txt"), "sister_imra");
  EXPECT_EQ(ReadBytes(game / "stuff/readme.txt_bak"), "an older readme");

  ASSERT_TRUE(m.DeleteCharacter(1, true));
  EXPECT_EQ(Said(), "Char deleted.");
  EXPECT_EQ(ReadBytes(game / "stuff/new.txt"), "sister_imra");
  ASSERT_TRUE(m.InstallCharacter(kGrunt, 0));
  Said();
  ASSERT_TRUE(m.DeleteCharacter(1, true));
  EXPECT_EQ(Said(), "Char deleted.\nIt brings back 2 files of Imra (place 2): stuff/new.txt, "
                    "stuff/readme.txt.");
  EXPECT_EQ(ReadBytes(game / "stuff/new.txt"), "sister_imra");

  view.answer_yes = true;
  ASSERT_TRUE(m.RevertGameFiles());
  Files expected = gameBefore;
  expected["chars/iconmap"] = ReadBytes(game / "chars/iconmap");
  expected["chars/slots_char_1"] = ReadBytes(game / "chars/slots_char_1");
  expected["stuff/readme.txt"] = "game's readme";
  expected["stuff/readme.txt_bak"] = "an older readme";
  EXPECT_EQ(SnapshotDiff(expected, Snapshot(game.path())), "");
}

TEST_F(InstallTest, RevertPutsBackupsOverTheirFilesInOneStep) {
  ModManager& m = Start();
  ASSERT_TRUE(m.InstallCharacter(kImra, 0));
  Said();
  // No: nothing changes and the window stays.
  Files before = Snapshot(game.path());
  EXPECT_FALSE(m.RevertGameFiles());
  EXPECT_EQ(view.questions,
            std::vector<std::string>{"Are you sure?: Are you sure you want to revert all changes?"});
  EXPECT_TRUE(view.messages.empty());
  EXPECT_FALSE(view.closed);
  EXPECT_EQ(Snapshot(game.path()), before);

  // A backup the user deleted leaves its game file as it is.
  fs::remove(game / "stuff/bolttypes.txt_bak");
  const std::string bolts = ReadBytes(game / "stuff/bolttypes.txt");
  view.answer_yes = true;
  platform.ClearCalls();
  ASSERT_TRUE(m.RevertGameFiles());
  EXPECT_EQ(Said(), "Reverse complete.");
  for (const std::string& call : platform.calls()) {
    EXPECT_NE(call.rfind("Remove " + game / "chars/collection.txt", 0), 0u) << call;
    EXPECT_NE(call.rfind("Remove " + game / "stuff/text/text.csv", 0), 0u) << call;
  }
  EXPECT_EQ(platform.CountCalls(Op::RenameOver), 9);  // every backup but the deleted one
  EXPECT_EQ(ReadBytes(game / "stuff/bolttypes.txt"), bolts);
  EXPECT_EQ(ReadBytes(game / "stuff/text/text.csv"), gameBefore["stuff/text/text.csv"]);
  EXPECT_EQ(ReadBytes(game / "chars/pawniks/shared/pawnik_hands.tex"),
            gameBefore["chars/pawniks/shared/pawnik_hands.tex"]);
}

}  // namespace
}  // namespace korva

namespace korva {
namespace {

// While the game runs from the game folder, nothing changes it: each
// operation refuses, and a start that would change the game says so and
// closes. The same program running from another folder does not count.
TEST_F(InstallTest, NothingChangesWhileTheGameRuns) {
  ModManager& m = Start();
  ASSERT_TRUE(m.InstallCharacter(kGrunt, 0));
  Said();
  TempFolder elsewhere;
  const std::string game_exe = game / "KORVAQUORIN.exe";
  const std::string placeholder = ReadBytes(game_exe);
  WriteStandIn(elsewhere / "KORVAQUORIN.exe", "touch \"$1\"\nsleep 60000\n");
  {
    ChildProcess other({elsewhere / "KORVAQUORIN.exe", elsewhere / "started"}, elsewhere / "out");
    for (int i = 0; i < 3000 && !FileExists(elsewhere / "started"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(m.InstallCharacter(kImra, 4));
    EXPECT_EQ(Said(), "Char enabled.");
    other.KillAll();
  }
  WriteStandIn(game_exe, "touch \"$1\"\nsleep 60000\n");
  ChildProcess running({game_exe, elsewhere / "running"}, elsewhere / "out2");
  for (int i = 0; i < 3000 && !FileExists(elsewhere / "running"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const Files before = Snapshot(game.path());
  view.answer_yes = true;
  const std::vector<std::pair<const char*, std::function<bool()>>> operations = {
      {"install", [&] { return m.InstallCharacter(kBrakka, 2); }},
      {"delete", [&] { return m.DeleteCharacter(1, true); }},
      {"revert", [&] { return m.RevertGameFiles(); }},
  };
  for (const auto& [name, operation] : operations) {
    EXPECT_FALSE(operation()) << name;
    const std::string message = Said();
    EXPECT_NE(message.find(kGameRunningMessage), std::string::npos) << name << ": " << message;
    EXPECT_EQ(SnapshotDiff(before, Snapshot(game.path())), "") << name;
  }
  // A start with nothing to change opens as usual; one that would change
  // the game (here: finish a cut-off operation) says so and closes.
  RecordingView quiet;
  ModManager again(platform, quiet);
  EXPECT_TRUE(again.StartUp());
  EXPECT_EQ(quiet.messages, std::vector<std::string>{});
  EXPECT_FALSE(quiet.closed);
  WriteBytes(game / "mod_journal", "");
  const Files cut = Snapshot(game.path());
  RecordingView refused;
  ModManager third(platform, refused);
  third.StartUp();
  EXPECT_EQ(refused.messages, std::vector<std::string>{kGameRunningMessage});
  EXPECT_TRUE(refused.closed);
  EXPECT_EQ(SnapshotDiff(cut, Snapshot(game.path())), "");
  running.KillAll();
  fs::remove(game / "mod_journal");
  WriteBytes(game_exe, placeholder);
}

// Saved copies that cannot be removed (Windows refuses to delete a
// read-only one): the operation that made them is done, but the next one
// does not begin while they are there, and says which they are; a copy is
// never put back over a file that a later operation changed.
TEST_F(InstallTest, SavedCopiesThatStayAreNeverRestored) {
  ModManager& m = Start();
  platform.Fail(Op::RemoveOwnFile, "/mod_journal_files/", -1);
  ASSERT_TRUE(m.InstallCharacter(kBrakka, 2));
  EXPECT_EQ(Said(), "Char enabled.");
  const Files installed = Snapshot(game.path());
  view.answer_yes = true;
  for (const auto& operation : std::vector<std::function<bool()>>{
           [&] { return m.DeleteCharacter(3, true); }, [&] { return m.RevertGameFiles(); }}) {
    EXPECT_FALSE(operation());
    const std::string message = Said();
    EXPECT_NE(message.find("could not be removed"), std::string::npos) << message;
    EXPECT_NE(message.find(game / "mod_journal_files/0"), std::string::npos) << message;
    EXPECT_EQ(SnapshotDiff(installed, Snapshot(game.path())), "");
  }
  platform.ClearFailures();
  ASSERT_TRUE(m.DeleteCharacter(3, true));
  Said();
  ASSERT_TRUE(m.RevertGameFiles());
  EXPECT_EQ(Said(), "Reverse complete.");
  Files expected = gameBefore;
  expected["chars/iconmap"] = ReadBytes(game / "chars/iconmap");
  EXPECT_EQ(SnapshotDiff(expected, Snapshot(game.path())), "");
}

// A package whose files tree makes game paths of more than 300 characters
// (a deep Steam library and a nested tree reach that): the install and the
// delete work, on Windows too.
TEST_F(InstallTest, PathsOfMoreThan300CharactersWork) {
  std::string relative = "files/chars";
  while (game.path().size() + relative.size() < 320) relative += "/a_rather_long_folder_name";
  WriteBytes(program / ("mods/plain_grunt/" + relative + "/deep.txt"), "deep");
  const std::string path = game / (relative.substr(6) + "/deep.txt");
  ASSERT_GT(path.size(), 300u);
  ModManager& m = Start();
  ASSERT_TRUE(m.InstallCharacter(kGrunt, 0));
  EXPECT_EQ(Said(), "Char enabled.");
  EXPECT_EQ(ReadBytes(path), "deep");
  ASSERT_TRUE(m.DeleteCharacter(1, true));
  Said();
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(FileExists(game / "chars/a_rather_long_folder_name"));
}

TEST(RevertSteps, CoverEveryFileStartUpBacksUpOrAdds) {
  std::vector<std::string> reverted;
  for (const RevertStep& step : RevertSteps()) reverted.push_back(step.path);
  std::vector<std::string> prepared = {kCollectionList};
  for (const GameFile& file : BackedUpGameFiles()) prepared.push_back(file.path);
  std::sort(reverted.begin(), reverted.end());
  std::sort(prepared.begin(), prepared.end());
  EXPECT_EQ(reverted, prepared);
}

}  // namespace
}  // namespace korva
