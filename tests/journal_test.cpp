// The operation journal: whatever point an operation is cut off at, and
// whatever single step of it fails, the folder ends exactly as it was before
// the operation, or exactly as after it once it committed. The same holds
// when the undo itself is cut off.
#include "journal/journal.h"
#include "journal/game_lock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "gamedata/unpack.h"
#include "installer/mod_manager.h"
#include "sample/packed_game.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/power_cut_platform.h"
#include "tests/support/system.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

#define TRY(call)                    \
  do {                               \
    Status status_ = (call);         \
    if (!status_.ok()) return status_; \
  } while (false)

// One operation that makes a change of every kind the journal records, and
// the hard cases of undoing them in reverse: a file moved aside and another
// copied to its name, a name taken again after it was renamed away, a file
// changed after it was renamed, a folder removed and one made, a folder
// removed whole and a name below it taken again.
Status EveryKindOfChange(Platform& p, const std::string& g, const std::string& outside) {
  TRY(p.WriteAt(g + "/a.bin", 2, "XY"));
  TRY(p.AppendFile(g + "/a.bin", "tail"));
  TRY(p.WriteAt(g + "/a.bin", 0, "Z"));  // a second change of a file already kept
  TRY(p.AppendFile(g + "/new.txt", "new"));
  TRY(p.ReplaceFile(g + "/b.txt", "bee"));
  TRY(p.Remove(g + "/c.txt"));
  TRY(p.Rename(g + "/d.txt", g + "/d.txt_bak"));
  TRY(p.CopyFile(outside + "/e.txt", g + "/d.txt"));
  TRY(p.RenameOver(g + "/f.txt", g + "/b.txt"));
  TRY(p.CreateFolder(g + "/made"));
  TRY(p.WriteNewFile(g + "/made/x", [](FileWriter& out) { return out.Write("x"); }));
  TRY(p.RemoveEmptyFolder(g + "/empty"));
  TRY(p.Rename(g + "/sub/g.txt", g + "/g2.txt"));
  TRY(p.WriteAt(g + "/g2.txt", 0, "G"));
  TRY(p.CopyFile(outside + "/e.txt", g + "/sub/g.txt"));
  TRY(p.RenameOver(g + "/made/x", g + "/sub/g.txt"));
  TRY(p.WriteAt(g + "/tree/h.txt", 0, "H"));
  TRY(p.RemoveTrees({g + "/tree"}));  // with a file changed in it before
  TRY(p.CreateFolder(g + "/tree"));
  TRY(p.AppendFile(g + "/tree/h.txt", "another h"));  // its name taken again
  TRY(p.Remove(g + "/new.txt"));
  return Status::Ok();
}

// Sets `*commit` to the number of the change that commits an operation on
// `platform`: the "committed" line, the last one written to the journal
// before the journal goes.
void WatchCommit(TestPlatform& platform, const std::string& game, int* commit) {
  *commit = 0;
  auto lastLine = std::make_shared<int>(0);
  platform.OnChange([&platform, game, commit, lastLine](Op op, const std::string& path) {
    if (path != JournalPath(game)) return;
    if (op == Op::AppendFile) *lastLine = platform.changes() + 1;
    if (op == Op::Remove || op == Op::RemoveOwnFile) *commit = *lastLine;
  });
}

// How a cut ends the program: as a kill does (everything done so far is on
// disk) or as a power cut does (only what was flushed is, as a strict file
// system keeps it).
enum Cut { kKill, kPowerLoss };

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(outside / "e.txt", "from outside");
    Fresh();
    before = Snapshot(game.path());
  }

  void Fresh() {
    fs::remove_all(game.path());
    fs::create_directories(game.path());
    WriteBytes(game / "a.bin", "0123456789");
    WriteBytes(game / "b.txt", "b");
    WriteBytes(game / "c.txt", "c");
    WriteBytes(game / "d.txt", "d");
    WriteBytes(game / "f.txt", "f");
    WriteBytes(game / "sub/g.txt", "g");
    WriteBytes(game / "tree/h.txt", "h");
    WriteBytes(game / "tree/deep/i.txt", "i");
    fs::create_directories(game / "empty");
  }

  // Runs the operation through a journal over `platform` and commits it.
  Status RunOperation(Platform& platform) {
    Journal journal(platform);
    journal.SetGameFolder(game.path());
    TRY(journal.Begin("test operation"));
    Status done = EveryKindOfChange(journal, game.path(), outside.path());
    if (done.ok()) done = journal.Commit();
    if (!done.ok()) {
      Status undone = journal.Rollback();
      if (!undone.ok()) return undone;
    }
    return done;
  }

  // The changes of a clean run, and which of them commits (the last line
  // written to the journal before it is removed).
  void CountChanges(int* changes, int* commit) {
    TestPlatform platform;
    WatchCommit(platform, game.path(), commit);
    ASSERT_TRUE(RunOperation(platform).ok());
    *changes = platform.changes();
    after = Snapshot(game.path());
    Fresh();
  }

  Files Recovered(Platform& platform) {
    std::string operation;
    Status recovered = RecoverCutOffOperation(platform, game.path(), &operation);
    EXPECT_TRUE(recovered.ok()) << recovered.message();
    return Snapshot(game.path());
  }

  // Runs the operation cut off at change `k`. Returns whether the journal
  // file was left.
  bool RunCutAt(int k, Cut how) {
    Fresh();
    TestPlatform platform;
    PowerCutPlatform disk(platform, game.path());
    platform.CutPowerAt(k);
    RunOperation(how == kPowerLoss ? static_cast<Platform&>(disk) : platform);
    if (how == kPowerLoss) disk.LoseWhatWasNotFlushed();
    return FileExists(JournalPath(game.path()));
  }

  // Cuts the operation at every change; the next start ends it before or,
  // once it committed, after.
  void CutAtEveryChange(Cut how) {
    int changes = 0, commit = 0;
    CountChanges(&changes, &commit);
    ASSERT_GT(commit, 20);
    for (int k = 1; k <= changes + 1; ++k) {
      SCOPED_TRACE("cut at change " + std::to_string(k) + " of " + std::to_string(changes));
      const bool journal = RunCutAt(k, how);
      // A power cut may lose a journal that nothing was changed under yet.
      EXPECT_TRUE(journal || k <= 1 || k > commit || how == kPowerLoss);
      std::string operation;
      Status recovered = RecoverCutOffOperation(SystemPlatform(), game.path(), &operation);
      ASSERT_TRUE(recovered.ok()) << recovered.message();
      EXPECT_EQ(operation, journal && k <= commit ? "test operation" : "");
      EXPECT_EQ(Snapshot(game.path()), k <= commit ? before : after);
    }
  }

  // Cuts the operation at every 5th change, then the undo at the next start
  // at each of its changes; the start after that ends it before.
  void CutEveryUndo(Cut how) {
    int changes = 0, commit = 0;
    CountChanges(&changes, &commit);
    for (int k = 2; k <= commit; k += 5) {
      // How many changes the undo of a cut at k makes.
      RunCutAt(k, how);
      TestPlatform counting;
      Recovered(counting);
      const int undoChanges = counting.changes();
      for (int j = 1; j <= undoChanges; ++j) {
        SCOPED_TRACE("cut at " + std::to_string(k) + ", undo cut at " + std::to_string(j));
        RunCutAt(k, how);
        TestPlatform undo;
        PowerCutPlatform disk(undo, game.path());
        undo.CutPowerAt(j);
        std::string operation;
        RecoverCutOffOperation(how == kPowerLoss ? static_cast<Platform&>(disk) : undo,
                               game.path(), &operation);
        if (how == kPowerLoss) disk.LoseWhatWasNotFlushed();
        EXPECT_EQ(Recovered(SystemPlatform()), before);
      }
    }
  }

  TempFolder game, outside;
  Files before, after;
};

// One holder at a time: another waits, saying so, then refuses in words;
// the lock's file goes with the last hold.
TEST(GameLockTest, AnotherHolderWaitsThenIsRefusedAndTheFileGoesWithTheLock) {
  TempFolder game;
  GameLock holder(SystemPlatform()), other(SystemPlatform());
  ASSERT_TRUE(holder.Take(game.path()).ok());
  ASSERT_TRUE(holder.Take(game.path()).ok());
  int waited = 0;
  Status refused = other.Take(game.path(), 300, [&] { return ++waited > 0; });
  EXPECT_EQ(refused.message(), kGameLockedMessage);
  EXPECT_GT(waited, 1);
  holder.Give();
  EXPECT_FALSE(other.Take(game.path(), 0).ok());
  holder.Give();
  EXPECT_FALSE(FileExists(GameLockPath(game.path())));
  EXPECT_TRUE(other.Take(game.path(), 0).ok());
  EXPECT_TRUE(FileExists(GameLockPath(game.path())));
}

TEST_F(JournalTest, ACleanOperationLeavesNoJournal) {
  TestPlatform platform;
  ASSERT_TRUE(RunOperation(platform).ok());
  Files expected = before;
  expected.erase("c.txt");
  expected.erase("empty");
  expected.erase("f.txt");
  expected.erase("sub/g.txt");
  expected["a.bin"] = "Z1XY456789tail";
  expected["b.txt"] = "f";
  expected["d.txt"] = "from outside";
  expected["d.txt_bak"] = "d";
  expected["made"] = "<folder>";
  expected["g2.txt"] = "G";
  expected["sub/g.txt"] = "x";
  expected.erase("tree/deep");
  expected.erase("tree/deep/i.txt");
  expected["tree/h.txt"] = "another h";
  EXPECT_EQ(Snapshot(game.path()), expected);
}

TEST_F(JournalTest, APowerCutAtAnyChangeEndsBeforeOrAfterAtTheNextStart) {
  CutAtEveryChange(kKill);
}
TEST_F(JournalTest, AnUndoThatIsCutOffFinishesAtTheNextStart) { CutEveryUndo(kKill); }

// A line that does not match its checksum (a damaged disk block, a write
// cut short in the middle) ends the journal: the operation is undone up to
// that line, as if it had never been written.
TEST_F(JournalTest, ALineThatDoesNotMatchItsChecksumEndsTheJournal) {
  int changes = 0, commit = 0;
  CountChanges(&changes, &commit);
  // A cut that leaves a journal whose last line names a saved copy other
  // than the first: one byte of it turned into "0" still reads as a line,
  // one that would put the wrong copy back.
  std::string journal;
  size_t last = 0, digit = std::string::npos;
  for (int k = commit - 1; k > 1 && digit == std::string::npos; --k) {
    RunCutAt(k, kKill);
    journal = ReadBytes(JournalPath(game.path()));
    last = journal.rfind('\n', journal.size() - 2) + 1;
    if (journal.compare(last, 6, "saved\t") == 0 && journal[last + 6] != '0') digit = last + 6;
  }
  ASSERT_NE(digit, std::string::npos);
  TempFolder saved;
  fs::copy(game.path(), saved / "game", fs::copy_options::recursive);
  auto recover = [&](const std::string& text) {
    fs::remove_all(game.path());
    fs::copy(saved / "game", game.path(), fs::copy_options::recursive);
    WriteBytes(JournalPath(game.path()), text);
    return Recovered(SystemPlatform());
  };
  std::string flipped = journal;
  flipped[digit] = '0';
  EXPECT_EQ(SnapshotDiff(recover(journal.substr(0, last)), recover(flipped)), "");
}

// The order of the calls that end an operation, as the platform sees it
// (under wine there is no power to cut): every folder whose entries the
// operation changed is flushed after its last change and before the
// "committed" line, the last line written, which is the commit point.
TEST_F(JournalTest, EveryChangeIsFlushedBeforeTheCommitLine) {
  TestPlatform platform;
  ASSERT_TRUE(RunOperation(platform).ok());
  const std::vector<std::string>& calls = platform.calls();
  const std::string journal = "AppendFile " + JournalPath(game.path());
  size_t commit = calls.size();
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i] == journal) commit = i;
    if (calls[i] == "RemoveOwnFile " + JournalPath(game.path())) break;
  }
  ASSERT_LT(commit, calls.size());
  const std::vector<std::string> entryChanges = {"CopyFile ", "Rename ", "RenameOver ", "Remove ",
                                                 "CreateFolder ", "RemoveEmptyFolder ",
                                                 "WriteNewFile ", "ReplaceFile "};
  for (size_t i = 0; i < commit; ++i) {
    for (const std::string& change : entryChanges) {
      if (calls[i].rfind(change, 0) != 0) continue;
      const std::string folder = ParentFolder(calls[i].substr(change.size()));
      if (folder == outside.path()) continue;  // copied from outside the game
      const auto synced = std::find(calls.begin() + static_cast<long>(i), calls.begin() + static_cast<long>(commit),
                                    "SyncFolder " + folder);
      EXPECT_NE(synced, calls.begin() + static_cast<long>(commit)) << calls[i] << " is not flushed before the commit";
    }
  }
}

// The same with what was never flushed lost as well, as a strict file
// system loses it.
TEST_F(JournalTest, APowerCutThatLosesWhatWasNotFlushedEndsBeforeOrAfter) {
  CutAtEveryChange(kPowerLoss);
}
TEST_F(JournalTest, AnUndoCutOffByAPowerCutFinishesAtTheNextStart) {
  CutEveryUndo(kPowerLoss);
}

TEST_F(JournalTest, AStepThatFailsRollsTheOperationBack) {
  int changes = 0, commit = 0;
  CountChanges(&changes, &commit);
  for (int k = 1; k <= commit; ++k) {
    SCOPED_TRACE("change " + std::to_string(k) + " fails");
    Fresh();
    TestPlatform platform;
    platform.FailChangeAt(k);
    Status status = RunOperation(platform);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message().find("injected failure"), std::string::npos) << status.message();
    EXPECT_EQ(Snapshot(game.path()), before);
  }
}

TEST_F(JournalTest, ARollbackThatCannotPutAFileBackKeepsTheJournalForTheNextStart) {
  TestPlatform platform;
  Journal journal(platform);
  journal.SetGameFolder(game.path());
  ASSERT_TRUE(journal.Begin("test operation").ok());
  ASSERT_TRUE(journal.WriteAt(game / "a.bin", 0, "changed").ok());
  // Putting the kept bytes back fails once.
  platform.Fail(Op::RenameOver, "mod_journal_files");
  Status undone = journal.Rollback();
  ASSERT_FALSE(undone.ok());
  EXPECT_NE(undone.message().find(game / "a.bin"), std::string::npos) << undone.message();
  EXPECT_NE(undone.message().find(JournalFilesPath(game.path()) + "/0"), std::string::npos)
      << undone.message();
  EXPECT_TRUE(FileExists(JournalPath(game.path())));
  EXPECT_EQ(Recovered(SystemPlatform()), before);
}

TEST_F(JournalTest, ChangesOutsideTheGameFolderOrThroughALinkAreRefused) {
  std::string whyNot;
  if (!MakeLink(outside.path(), game / "lnk", &whyNot)) GTEST_SKIP() << whyNot;
  before = Snapshot(game.path());
  TestPlatform platform;
  Journal journal(platform);
  journal.SetGameFolder(game.path());
  ASSERT_TRUE(journal.Begin("test operation").ok());
  struct Case {
    const char* name;
    std::function<Status()> change;
  } cases[] = {
      {"outside", [&] { return journal.ReplaceFile(outside / "e.txt", "x"); }},
      {"through a link", [&] { return journal.ReplaceFile(game / "lnk/e.txt", "x"); }},
      {"climbing out", [&] { return journal.Remove(game / "sub/../../e.txt"); }},
      {"a link's target", [&] { return journal.WriteAt(game / "lnk/e.txt", 0, "x"); }},
      {"renamed out", [&] { return journal.Rename(game / "b.txt", outside / "b.txt"); }},
  };
  for (const Case& c : cases) {
    Status status = c.change();
    EXPECT_FALSE(status.ok()) << c.name;
    EXPECT_NE(status.message().find("game folder"), std::string::npos) << status.message();
  }
  ASSERT_TRUE(journal.Rollback().ok());
  EXPECT_EQ(Snapshot(game.path()), before);
  EXPECT_EQ(ReadBytes(outside / "e.txt"), "from outside");
}

TEST_F(JournalTest, AJournalThatCannotBeWrittenRefusesBeforeAnyChange) {
  TestPlatform platform;
  platform.Fail(Op::WriteNewFile, "mod_journal", -1);
  Status status = RunOperation(platform);
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find("could not be written"), std::string::npos) << status.message();
  EXPECT_NE(status.message().find("nothing was changed"), std::string::npos) << status.message();
  EXPECT_EQ(Snapshot(game.path()), before);
}

TEST(JournalRecovery, NoJournalIsNothingToDoAndLeftoverCopiesGo) {
  TempFolder game;
  WriteBytes(game / "mod_journal_files/0", "left after a commit");
  std::string operation;
  ASSERT_TRUE(RecoverCutOffOperation(SystemPlatform(), game.path(), &operation).ok());
  EXPECT_EQ(operation, "");
  EXPECT_TRUE(fs::is_empty(game.path()));

  WriteBytes(game / "mod_journal", "not a journal\n");
  Status status = RecoverCutOffOperation(SystemPlatform(), game.path(), &operation);
  EXPECT_FALSE(status.ok());
  EXPECT_TRUE(FileExists(game / "mod_journal"));  // kept for a person to look at

  // Damaged lines: bad escapes, numbers out of range, unknown kinds and a
  // line cut off while it was written.
  WriteBytes(game / "a%ZZ", "kept");
  WriteBytes(game / "mod_journal",
             "korva-journal\t1\ttest %41operation\n"
             "absent\t/a%ZZ%4\n"
             "undone\t99999999999999999999\n"
             "undone\t-1\n"
             "saved\tno-such-copy\t/b\n"
             "teleported\t/c\n"
             "absent\t/a%ZZ");
  ASSERT_TRUE(RecoverCutOffOperation(SystemPlatform(), game.path(), &operation).ok());
  EXPECT_EQ(operation, "test Aoperation");
  EXPECT_EQ(ReadBytes(game / "a%ZZ"), "kept");  // only the complete lines were undone
  EXPECT_FALSE(FileExists(game / "mod_journal"));
}


// Every change is tried unless SweepStride() asks for every Nth one (with
// the first, the last and those around the commit).

// The program's operations on the sample game, cut off at every change they
// make, then started again: the game ends exactly as before the operation,
// or, when the cut came after its commit, exactly as after it.
class OperationCutTest : public ::testing::Test {
 protected:
  OperationCutTest() {
    MakeProgramFolderFor(program.path(), game.path());
    // A package with everything at once: slots of every kind, every data
    // file, a files tree that replaces a game file, a main and an extra icon.
    const std::string brakka = program / "mods/brakka_the_mender";
    std::string modfile = ReadBytes(brakka + "/modfile.ini");
    modfile.erase(modfile.find("add_icon=brakka_pack.tga"));
    WriteBytes(brakka + "/modfile.ini", modfile);
    WriteBytes(brakka + "/files/chars/pawniks/shared/pawnik_hands.tex", "Brakka's hands");
    platform.set_program_folder(program.path());
  }

  enum Mod { kBrakka = 0, kGrunt = 2, kImra = 3 };

  void SaveGame(const std::string& to) {
    fs::remove_all(to);
    fs::copy(game.path(), to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  }
  void LoadGame(const std::string& from) {
    fs::remove_all(game.path());
    fs::copy(from, game.path(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  }

  // Starts the program afresh on the game, as after a crash: the start
  // finishes what was cut off. Returns its messages.
  std::vector<std::string> StartAgain() {
    TestPlatform fresh;
    fresh.set_program_folder(program.path());
    RecordingView view;
    ModManager manager(fresh, view);
    EXPECT_TRUE(manager.StartUp());
    return view.messages;
  }

  // Runs `operation` from the game saved in `start`: once cleanly to count
  // its changes and find the state after it, then cut off at every change
  // as `how` says, and then, for kKill, with every change failing in turn.
  // `firstStart`: the operation is the start itself.
  void Sweep(Cut how, const std::string& start, const std::function<bool(ModManager&)>& operation,
             const std::string& recoveryNames, bool firstStart = false) {
    LoadGame(start);
    const Files before = Snapshot(game.path());
    int changes = 0, commit = 0;
    {
      TestPlatform clean;
      clean.set_program_folder(program.path());
      WatchCommit(clean, game.path(), &commit);
      RecordingView view;
      view.answer_yes = true;
      ModManager manager(clean, view);
      ASSERT_TRUE(manager.StartUp());
      if (!firstStart) {
        clean.CutPowerAt(0);  // counts from here
        ASSERT_TRUE(operation(manager));
      }
      // A first start says only that it unpacks, if it does.
      std::vector<std::string> said = view.messages;
      said.erase(std::remove_if(said.begin(), said.end(),
                                [](const std::string& m) {
                                  return m == kUnpackingMessage || m == "Initial unpacking finished.";
                                }),
                 said.end());
      ASSERT_EQ(said.size(), firstStart ? 0u : 1u) << testing::PrintToString(said);
      changes = clean.changes();
    }
    StartAgain();
    const Files after = Snapshot(game.path());
    ASSERT_GT(commit, 0);
    std::cout << "[ sweep    ] " << (how == kPowerLoss ? "power cut, " : "") << recoveryNames << ": " << changes << " changes, commit at "
              << commit << "\n";

    const int stride = SweepStride();
    auto tried = [&](int k) {
      return k % stride == 0 || k <= 2 || std::abs(k - commit) <= 1 || k >= changes;
    };
    if (stride > 1) std::cout << "[ sweep    ] every " << stride << "th change tried\n";

    for (int k = 1; k <= changes + 1; ++k) {
      if (!tried(k)) continue;
      SCOPED_TRACE("power cut at change " + std::to_string(k) + " of " + std::to_string(changes));
      LoadGame(start);
      TestPlatform cut;
      cut.set_program_folder(program.path());
      PowerCutPlatform disk(cut, game.path());
      {
        RecordingView view;
        view.answer_yes = true;
        ModManager manager(how == kPowerLoss ? static_cast<Platform&>(disk) : cut, view);
        if (firstStart) {
          cut.CutPowerAt(k);
          manager.StartUp();
        } else {
          ASSERT_TRUE(manager.StartUp());
          cut.CutPowerAt(k);
          operation(manager);
        }
      }
      if (how == kPowerLoss) disk.LoseWhatWasNotFlushed();
      const bool journal = FileExists(JournalPath(game.path()));
      std::vector<std::string> said = StartAgain();
      if (journal && k <= commit) {
        ASSERT_FALSE(said.empty());
        EXPECT_EQ(said[0], "The last " + recoveryNames +
                               " was cut off; the game's files were put back as they were "
                               "before it.");
      }
      const bool ended = firstStart || k > commit;
      const Files found = Snapshot(game.path());
      EXPECT_EQ(SnapshotDiff(ended ? after : before, found), "")
          << "the game is not as " << (ended ? "after" : "before") << " the operation";
    }
    if (how == kPowerLoss) return;  // a step that fails loses nothing more

    for (int k = 1; k <= changes; ++k) {
      if (!tried(k)) continue;
      SCOPED_TRACE("change " + std::to_string(k) + " of " + std::to_string(changes) + " fails");
      LoadGame(start);
      TestPlatform failing;
      failing.set_program_folder(program.path());
      RecordingView view;
      view.answer_yes = true;
      ModManager manager(failing, view);
      bool done;
      if (firstStart) {
        failing.FailChangeAt(k);
        done = manager.StartUp();
      } else {
        ASSERT_TRUE(manager.StartUp());
        view.messages.clear();
        failing.FailChangeAt(k);
        done = operation(manager);
      }
      if (firstStart) {
        // A start that fails leaves the game as it was, archives and all;
        // the next start prepares it.
        if (k <= commit) EXPECT_EQ(SnapshotDiff(before, Snapshot(game.path())), "");
        const std::vector<std::string> said = StartAgain();
        EXPECT_EQ(Snapshot(game.path()), after) << "the next start said " << testing::PrintToString(said);
        continue;
      }
      if (k < commit) {
        EXPECT_FALSE(done);
        ASSERT_FALSE(view.messages.empty());
        EXPECT_NE(view.messages.back().find("injected failure"), std::string::npos)
            << view.messages.back();
        EXPECT_NE(view.messages.back().find("The game was left as it was before."),
                  std::string::npos)
            << view.messages.back();
        EXPECT_EQ(Snapshot(game.path()), before);
      } else {
        StartAgain();
        EXPECT_EQ(Snapshot(game.path()), k == commit ? before : after);
      }
    }
  }

  // The started sample game, saved: with Plain Grunt in place 3; with Grunt
  // in place 1 and Brakka in place 3; as it is unpacked.
  std::string Occupied() { return Prepared("occupied", {{kGrunt, 2}}); }
  std::string Installed() { return Prepared("installed", {{kGrunt, 0}, {kBrakka, 2}}); }
  std::string Unpacked() {
    MakeSampleGame(game.path());
    SaveGame(saved / "fresh");
    return saved / "fresh";
  }
  std::string Prepared(const std::string& name, const std::vector<std::pair<Mod, int>>& installs) {
    fs::remove_all(game.path());
    MakeSampleGame(game.path());
    {
      RecordingView view;
      ModManager manager(platform, view);
      EXPECT_TRUE(manager.StartUp());
      for (const auto& [mod, place] : installs) EXPECT_TRUE(manager.InstallCharacter(mod, place));
    }
    SaveGame(saved / name);
    return saved / name;
  }
  static bool InstallBrakka(ModManager& m) { return m.InstallCharacter(kBrakka, 2); }
  static bool DeleteBrakka(ModManager& m) { return m.DeleteCharacter(3, true); }
  static bool Revert(ModManager& m) { return m.RevertGameFiles(); }

  TempFolder program, game, saved;
  TestPlatform platform;
};

TEST_F(OperationCutTest, InstallOverAnOccupiedPlace) {
  Sweep(kKill, Occupied(), InstallBrakka, "installation into place 3");
}
TEST_F(OperationCutTest, DeleteAndRevert) {
  const std::string installed = Installed();
  Sweep(kKill, installed, DeleteBrakka, "deletion of the character in place 3");
  Sweep(kKill, installed, Revert, "revert of the game's files");
}
TEST_F(OperationCutTest, FirstStartOnAnUnpackedGame) {
  Sweep(kKill, Unpacked(), nullptr, "preparation of the game's files at start-up", true);
}

// Brakka's files cover Imra's hands in place 1; taking Brakka out gives
// them back.
TEST_F(OperationCutTest, AnInstallThatCoversAnotherPlaceAndTheDeleteThatUncovers) {
  const std::string imra = Prepared("imra", {{kImra, 0}});
  const std::string covered = Prepared("covered", {{kImra, 0}, {kBrakka, 2}});
  Sweep(kKill, imra, InstallBrakka, "installation into place 3");
  Sweep(kKill, covered, DeleteBrakka, "deletion of the character in place 3");
}
// A roster that changes two places (Grunt to Imra in place 1, Brakka to
// Grunt in place 3) as one operation: Brakka's extra icon cell is closed
// and the new icons pasted in one page edit cycle.
TEST_F(OperationCutTest, ARosterApplyThatChangesTwoPlaces) {
  WriteBytes(program / "rosters/swap.txt", "1=sister_imra\n2=\n3=plain_grunt\n4=\n5=\n6=\n7=\n8=\n9=\n10=\n");
  Sweep(kKill, Installed(), [](ModManager& m) { return m.ApplyRoster("swap"); },
        "application of the roster \"swap\"");
}
// The first start on a packed game: unpacking and preparing are one
// operation, whatever stops it.
TEST_F(OperationCutTest, FirstStartOnAPackedGame) {
  MakePackedSampleGame(game.path());
  SaveGame(saved / "packed");
  Sweep(kKill, saved / "packed", nullptr, "preparation of the game's files at start-up", true);
}

// The same, with what was never flushed lost at each cut.
TEST_F(OperationCutTest, PowerCutInstallOverAnOccupiedPlace) {
  Sweep(kPowerLoss, Occupied(), InstallBrakka, "installation into place 3");
}
TEST_F(OperationCutTest, PowerCutDelete) {
  Sweep(kPowerLoss, Installed(), DeleteBrakka, "deletion of the character in place 3");
}
TEST_F(OperationCutTest, PowerCutRevert) {
  Sweep(kPowerLoss, Installed(), Revert, "revert of the game's files");
}
TEST_F(OperationCutTest, PowerCutFirstStartOnAPackedGame) {
  MakePackedSampleGame(game.path());
  SaveGame(saved / "packed");
  Sweep(kPowerLoss, saved / "packed", nullptr, "preparation of the game's files at start-up", true);
}

}  // namespace
}  // namespace korva
