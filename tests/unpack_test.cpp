#include "gamedata/unpack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>

#include "installer/config.h"
#include "installer/mod_manager.h"
#include "sample/archive_writer.h"
#include "sample/packed_game.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/recording_view.h"
#include "tests/support/system.h"
#include "tests/support/test_archives.h"
#include "tests/support/test_platform.h"
#include "tools/quickbms/unpacker.h"

namespace fs = std::filesystem;

namespace korva {
namespace {

// A stand-in for the unpacker: logs "tag|script|archive|output" to `log`,
// keeps the script it was given in `log` + ".script", and fails with exit
// status 3 on an archive whose bytes say "corrupt".
std::string StandInUnpacker(const std::string& log, const std::string& tag) {
  return "append \"" + log + "\" " + tag + "|$1|$2|$3\n"
         "copy $1 \"" + log + ".script\"\n"
         "if-contains $2 corrupt exit 3\n";
}

// Makes `path` a stand-in program that runs `script`.
void WriteProgram(const std::string& path, const std::string& script) { WriteStandIn(path, script); }

class UnpackTest : public ::testing::Test {
 protected:
  UnpackTest() {
    platform.set_program_folder(program);
    WriteBytes(game + "/KORVAQUORIN.exe", "exe");
    WriteProgram(program + "/tools/quickbms.exe", StandInUnpacker(log, "tools"));
    WriteBytes(program + "/tools/vantrel.bms", "format zip tar\n");
  }

  // A pass as the first start runs it: in one operation, undone as a whole
  // when it fails.
  UnpackReport Unpack(const std::string& programFolder = "") {
    Journal journal(platform);
    journal.SetGameFolder(game);
    UnpackReport report;
    report.status = journal.Begin("unpacking");
    if (!report.status.ok()) return report;
    report = UnpackGameArchives(journal, game, programFolder.empty() ? program : programFolder,
                                [this] { ++announced; }, nullptr);
    Status ended = report.status.ok() ? journal.Commit() : journal.Rollback();
    EXPECT_TRUE(ended.ok()) << ended.message();
    return report;
  }

  // The unpacker runs that the stand-in logged, one per line.
  std::vector<std::string> Runs() {
    std::vector<std::string> runs;
    std::string text = ReadBytes(log);
    if (text == "<missing>") return runs;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      runs.push_back(text.substr(start, end - start));
    }
    return runs;
  }

  // The unpacker writes each archive into a scratch folder of the pass's
  // own, numbered from 0.
  std::string Run(const std::string& tag, const std::string& archive, int scratch = 0) {
    return tag + "|" + game + "/vantrel.bms|" + game + "/" + archive + "|" + game +
           "/mod_journal_files/scratch-" + std::to_string(scratch) + "/";
  }

  // A pass over one archive, once something was planted in the game
  // folder: the shipped tools run, and `canary` tells that nothing else ran.
  void ExpectAPassWithTheShippedTools(const std::string& canary, const std::string& planted) {
    SCOPED_TRACE(planted);
    fs::remove(log);
    WriteBytes(game + "/a.dat", "first");
    UnpackReport report = Unpack();
    EXPECT_TRUE(report.status.ok()) << report.status.message();
    EXPECT_FALSE(FileExists(canary));
    EXPECT_EQ(Runs(), std::vector<std::string>{Run("tools", "a.dat")});
    EXPECT_EQ(ReadBytes(log + ".script"), "format zip tar\n");
    EXPECT_EQ(report.unpacked, std::vector<std::string>{"a.dat"});
    EXPECT_EQ(Snapshot(game), (std::map<std::string, std::string>{{"KORVAQUORIN.exe", "exe"}}));
  }

  TempFolder dir;
  std::string game = dir / "game";
  std::string program = dir / "program";
  std::string log = dir / "runs.log";
  TestPlatform platform;
  int announced = 0;
};

TEST(ArchiveNameTest, OnlyDatAndDATEndingsLongerThanThreeCharacters) {
  struct Case {
    const char* name;
    bool archive;
  } cases[] = {
      {"a.dat", true},   {"b.DAT", true},  {".dat", true},     {".DAT", true},
      {"c.Dat", false},  {"d.dAT", false}, {"dat", false},     {"a.dat.txt", false},
      {"a.dat ", false}, {"xdat", false},  {"data.bin", false}, {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsArchiveName(c.name), c.archive) << c.name;
}

TEST_F(UnpackTest, NoArchiveMeansNoMessageAndNothingTouched) {
  WriteBytes(game + "/data.bin", "x");
  auto before = Snapshot(dir.path());
  UnpackReport report = Unpack();
  EXPECT_TRUE(report.status.ok());
  EXPECT_FALSE(report.archives_found);
  EXPECT_EQ(announced, 0);
  EXPECT_EQ(platform.CountCalls(Op::CopyFile), 0);
  EXPECT_EQ(platform.CountCalls(Op::RunProgram), 0);
  EXPECT_EQ(Snapshot(dir.path()), before);
}

TEST_F(UnpackTest, TwoArchivesAreUnpackedInListingOrderAndDeleted) {
  WriteBytes(game + "/b.DAT", "second");
  WriteBytes(game + "/a.dat", "first");
  UnpackReport report = Unpack();

  EXPECT_EQ(announced, 1);
  EXPECT_EQ(platform.CountCalls(Op::CopyFile), 2);  // each unpacker file once
  EXPECT_EQ(Runs(), (std::vector<std::string>{Run("tools", "a.dat"), Run("tools", "b.DAT", 1)}));
  EXPECT_EQ(report.unpacked, (std::vector<std::string>{"a.dat", "b.DAT"}));
  EXPECT_TRUE(report.status.ok());
  EXPECT_EQ(Snapshot(game), (std::map<std::string, std::string>{{"KORVAQUORIN.exe", "exe"}}));
}

TEST_F(UnpackTest, LookalikesAndArchivesInSubfoldersAreLeftAlone) {
  WriteBytes(game + "/c.Dat", "corrupt");
  WriteBytes(game + "/d.dat/inside", "y");
  WriteBytes(game + "/sub/e.dat", "z");
  WriteBytes(game + "/dat", "w");
  auto before = Snapshot(dir.path());
  UnpackReport report = Unpack();
  EXPECT_FALSE(report.archives_found);
  EXPECT_EQ(announced, 0);
  EXPECT_EQ(Snapshot(dir.path()), before);
}

TEST_F(UnpackTest, AFileNamedDotDatIsAnArchive) {
  WriteBytes(game + "/.dat", "packed");
  UnpackReport report = Unpack();
  EXPECT_EQ(Runs(), std::vector<std::string>{Run("tools", ".dat")});
  EXPECT_EQ(report.unpacked, std::vector<std::string>{".dat"});
  EXPECT_FALSE(FileExists(game + "/.dat"));
}

TEST_F(UnpackTest, ASecondPassFindsNothingToDo) {
  WriteBytes(game + "/a.dat", "first");
  Unpack();
  auto after = Snapshot(dir.path());
  platform.ClearCalls();
  UnpackReport second = Unpack();
  EXPECT_FALSE(second.archives_found);
  EXPECT_EQ(announced, 1);
  EXPECT_EQ(platform.CountCalls(Op::RunProgram), 0);
  EXPECT_EQ(Snapshot(dir.path()), after);
}

// Whatever stands under a working copy's name when a pass starts is never
// run: the copies are made afresh from the tools folder.
TEST_F(UnpackTest, AnythingUnderAWorkingCopysNameIsReplacedNotRun) {
  const std::string canary = dir / "canary";
  const std::string stale = "touch \"" + canary + "\"\n";
  struct Case {
    const char* name;
    std::function<void()> plant;
  } cases[] = {
      {"an older unpacker", [&] { WriteProgram(game + "/quickbms.exe", stale); }},
      {"a leftover of a cut-off copy", [&] { WriteProgram(game + "/quickbms.exe_temp", stale); }},
      {"another script", [&] { WriteBytes(game + "/vantrel.bms", "format rar\n"); }},
      {"a leftover of the script's copy", [&] { WriteBytes(game + "/vantrel.bms_temp", "x"); }},
  };
  for (const Case& c : cases) {
    c.plant();
    ExpectAPassWithTheShippedTools(canary, c.name);
  }
  WriteStandIn(dir / "expected", StandInUnpacker(log, "tools"));
  EXPECT_EQ(ReadBytes(program + "/tools/quickbms.exe"), ReadBytes(dir / "expected"));
}

TEST_F(UnpackTest, ALinkUnderAWorkingCopysNameIsReplacedNotRun) {
  const std::string canary = dir / "canary";
  WriteProgram(dir / "elsewhere/tool", "touch \"" + canary + "\"\n");
  std::string whyNot;
  if (!MakeLink(dir / "elsewhere/tool", game + "/quickbms.exe", &whyNot)) GTEST_SKIP() << whyNot;
  ExpectAPassWithTheShippedTools(canary, "a link to another program");
}

TEST_F(UnpackTest, AWorkingCopyThatCannotBeReplacedStopsThePass) {
  fs::create_directories(game + "/quickbms.exe/inside");
  WriteBytes(game + "/a.dat", "first");
  UnpackReport report = Unpack();
  EXPECT_FALSE(report.status.ok());
  EXPECT_NE(report.status.message().find("quickbms.exe"), std::string::npos);
  EXPECT_TRUE(Runs().empty());
  EXPECT_EQ(ReadBytes(game + "/a.dat"), "first");
}

TEST_F(UnpackTest, AMissingUnpackerFileStopsThePassBeforeAnythingIsTouched) {
  for (const char* missing : {"/tools/quickbms.exe", "/tools/vantrel.bms"}) {
    TempFolder other;
    std::string otherProgram = other / "program";
    fs::copy(program, otherProgram, fs::copy_options::recursive);
    fs::remove(otherProgram + missing);
    WriteBytes(game + "/a.dat", "first");
    WriteBytes(game + "/b.DAT", "second");
    auto before = Snapshot(game);
    announced = 0;
    UnpackReport report = Unpack(otherProgram);
    EXPECT_EQ(announced, 1) << missing;
    EXPECT_TRUE(report.unpacker_missing) << missing;
    EXPECT_EQ(Snapshot(game), before) << missing;
    EXPECT_TRUE(Runs().empty()) << missing;
  }
}

// Whatever fails stops the pass, and the operation it runs in is undone:
// every archive stays, and nothing of the unpacker's is left.
TEST_F(UnpackTest, AnyFailureStopsThePassAndEveryArchiveStays) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* said;
  } cases[] = {
      {"an archive the unpacker fails on", [&] { WriteBytes(game + "/b.dat", "corrupt"); },
       "b.dat: the unpacker ended with exit status 3"},
      {"an unpacker that cannot start",
       [&] {
         // Not a program, and not marked as one.
         WriteBytes(program + "/tools/quickbms.exe", "not a program\n");
         fs::permissions(program + "/tools/quickbms.exe", fs::perms::owner_read | fs::perms::owner_write);
       },
       "cannot start"},
      {"an archive that cannot be deleted", [&] { platform.Fail(Op::Rename, "/c.DAT"); },
       "c.DAT"},
      {"an unpacker that cannot be copied", [&] { platform.Fail(Op::CopyFile, "vantrel.bms"); },
       "vantrel.bms"},
      {"a copy that cannot be removed", [&] { platform.Fail(Op::Remove, "/vantrel.bms"); },
       "vantrel.bms"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(game + "/a.dat", "first");
    WriteBytes(game + "/b.dat", "second");
    WriteBytes(game + "/c.DAT", "third");
    const std::string tool = ReadBytes(program + "/tools/quickbms.exe");
    c.arrange();
    auto before = Snapshot(game);
    UnpackReport report = Unpack();
    EXPECT_NE(report.status.message().find(c.said), std::string::npos) << report.status.message();
    EXPECT_EQ(Snapshot(game), before);
    platform.ClearFailures();
    WriteBytes(program + "/tools/quickbms.exe", tool);
    fs::permissions(program + "/tools/quickbms.exe", fs::perms::owner_all);
  }
}

// The start-up step as the window runs it.
class UnpackStartUpTest : public UnpackTest {
 protected:
  // A real game and the prepared data, so the steps after unpacking have
  // nothing to report.
  UnpackStartUpTest() {
    MakeSampleGame(game);
    CopyBuiltData(program);
  }
  void StartUp() {
    ASSERT_TRUE(WriteConfig(platform, program, game).ok());
    ModManager manager(platform, view);
    manager.StartUp();
  }
  RecordingView view;
};

TEST_F(UnpackStartUpTest, TellsBeforeAndAfterUnpacking) {
  WriteBytes(game + "/a.dat", "first");
  StartUp();
  EXPECT_EQ(view.messages,
            (std::vector<std::string>{kUnpackingMessage, "Initial unpacking finished."}));
  EXPECT_FALSE(view.closed);
}

TEST_F(UnpackStartUpTest, AMissingUnpackerClosesTheWindowAfterTheRemainingSteps) {
  fs::remove(program + "/tools/vantrel.bms");
  WriteBytes(program + "/mods/pkg/modfile.ini", "name=Pkg\r\n");
  WriteBytes(game + "/a.dat", "first");
  StartUp();
  EXPECT_EQ(view.messages, (std::vector<std::string>{kUnpackingMessage, kUnpackerMissingMessage}));
  EXPECT_TRUE(view.closed);
  EXPECT_EQ(ReadBytes(game + "/a.dat"), "first");
  EXPECT_EQ(view.mod_rows, std::vector<std::string>{"Pkg"});  // "Mod Database" was still filled
}

TEST_F(UnpackStartUpTest, NoArchiveNoMessage) {
  StartUp();
  EXPECT_TRUE(view.messages.empty());
}

// Our own unpacker, as the build puts it into the program folder.
class RealUnpackerTest : public UnpackTest {
 protected:
  RealUnpackerTest() { program = BuiltProgramFolder(); }
};

TEST_F(RealUnpackerTest, UnpacksZipAndTarUnderTheDatNameIntoTheGameFolder) {
  WriteBytes(game + "/chars/old.txt", "kept");
  std::string binary("\0\x01\xff\r\n\x1a", 6);
  WriteArchive(game + "/a.dat", "zip",
               {{"global/gameglobal.led", binary},
                {"Chars\\charstxt.fpk", "fpk"},  // a Windows name, in the existing folder
                {"stuff/", "", ArchiveEntry::kFolder}});
  WriteArchive(game + "/b.DAT", "tar",
               {{"./", "", ArchiveEntry::kFolder},
                {"./audio/samples_nxg.cfg", "cfg\r\n"},
                {"CHARS/abilities.txt", "abilities\r\n"}});
  WriteArchive(game + "/c.dat", "tar.gz", {{"stuff/text/text.csv", "csv"}});
  UnpackReport report = Unpack();
  EXPECT_TRUE(report.status.ok()) << report.status.message();
  EXPECT_EQ(Snapshot(game), (std::map<std::string, std::string>{
                                {"KORVAQUORIN.exe", "exe"},
                                {"audio", "<folder>"},
                                {"audio/samples_nxg.cfg", "cfg\r\n"},
                                {"chars", "<folder>"},
                                {"chars/abilities.txt", "abilities\r\n"},
                                {"chars/charstxt.fpk", "fpk"},
                                {"chars/old.txt", "kept"},
                                {"global", "<folder>"},
                                {"global/gameglobal.led", binary},
                                {"stuff", "<folder>"},
                                {"stuff/text", "<folder>"},
                                {"stuff/text/text.csv", "csv"},
                            }));
}

TEST_F(RealUnpackerTest, ACorruptArchiveIsKeptNamedAndWritesNothing) {
  std::string good = dir / "good.zip";
  std::string noise;
  for (unsigned x = 1; noise.size() < 4000; x = x * 1103515245u + 12345u) {
    noise += static_cast<char>(x >> 24);
  }
  WriteArchive(good, "zip", {{"chars/a.txt", noise}, {"chars/b.txt", "b"}});
  std::string bytes = ReadBytes(good);
  std::string flipped = bytes;
  flipped[2000] = static_cast<char>(flipped[2000] ^ 0x55);  // inside a.txt's data
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"flipped byte", flipped},
      {"cut short", bytes.substr(0, bytes.size() / 2)},
      {"empty", ""},
      {"not an archive", "this is not an archive\r\n"},
  };
  for (const Case& c : cases) {
    WriteBytes(game + "/broken.dat", c.bytes);
    auto before = Snapshot(game);
    UnpackReport report = Unpack();
    EXPECT_EQ(report.status.message(), "broken.dat: the unpacker ended with exit status 1") << c.name;
    EXPECT_EQ(Snapshot(game), before) << c.name;
  }
}

TEST_F(RealUnpackerTest, AHostileArchiveWritesNothingOutsideTheGameFolder) {
  WriteBytes(dir / "outside/passwd", "secret");
  std::string outside = dir / "outside";
  struct Case {
    const char* name;
    std::vector<ArchiveEntry> entries;
    bool tarOnly = false;  // zip has no hard links
  } cases[] = {
      {"dot dot", {{"../x", "x"}}},
      {"dot dot inside", {{"chars/../../x", "x"}}},
      {"backslash dot dot", {{"..\\x", "x"}}},
      {"absolute", {{outside + "/abs", "x"}}},
      {"drive letter", {{"C:/x", "x"}}},
      {"drive letter, backslash", {{"C:\\x", "x"}}},
      {"drive letter, no separator", {{"C:x", "x"}}},
      {"server share", {{"\\\\server\\share\\x", "x"}}},
      {"root of the drive", {{"\\x", "x"}}},
      {"link to root", {{"root", "", ArchiveEntry::kSymlink, "/"},
                        {"root" + outside + "/through", "x"}}},
      {"link up", {{"up", "", ArchiveEntry::kSymlink, ".."}, {"up/y", "x"}}},
      {"hard link out", {{"hard", "", ArchiveEntry::kHardlink, outside + "/passwd"}}, true},
  };
  for (const Case& c : cases) {
    for (const std::string format : {"tar", "zip"}) {
      if (c.tarOnly && format == "zip") continue;
      std::vector<ArchiveEntry> entries = {{"chars/good.txt", "good"}};
      entries.insert(entries.end(), c.entries.begin(), c.entries.end());
      WriteArchive(game + "/evil.dat", format, entries);
      auto before = Snapshot(dir.path());
      UnpackReport report = Unpack();
      EXPECT_FALSE(report.status.ok()) << c.name << " " << format;
      // Nothing at all is written, inside or outside the game folder.
      EXPECT_EQ(Snapshot(dir.path()), before) << c.name << " " << format;
      EXPECT_EQ(ReadBytes(outside + "/passwd"), "secret");
    }
  }
}

// A link or junction in the game folder that leads out of it: nothing is
// written through it.
TEST_F(RealUnpackerTest, ALinkInTheGameFolderLeadsNothingOutside) {
  fs::create_directories(dir / "outside");
  std::string whyNot;
  if (!MakeLink(dir / "outside", game + "/audio", &whyNot)) GTEST_SKIP() << whyNot;
  WriteArchive(game + "/a.dat", "tar", {{"audio/samples_nxg.cfg", "cfg"}});
  UnpackReport report = Unpack();
  EXPECT_FALSE(report.status.ok());
  EXPECT_NE(report.status.message().find("outside the game folder"), std::string::npos)
      << report.status.message();
  EXPECT_TRUE(fs::is_empty(dir / "outside"));
}

// Runs the built unpacker on `archive` into `output`, as a pass does; `*said`
// gets what it wrote on stderr.
int RunBuiltUnpacker(const std::string& archive, const std::string& output, std::string* said) {
  TempFolder scratch;
  const std::string err = scratch / "stderr";
  const std::vector<std::string> argv = {BuiltProgramFolder() + "/tools/quickbms.exe",
                                         BuiltProgramFolder() + "/tools/vantrel.bms", archive,
                                         output + "/"};
  int status = RunCaptured(argv, "", scratch / "stdout", err);
  *said = ReadBytes(err);
  return status;
}

// Every entry that the unpacker refuses, each placed after good entries:
// the archive is refused whole, nothing at all is written, and the message
// names the entry and the rule.
TEST_F(RealUnpackerTest, RefusesHostileEntriesBeforeWritingAnything) {
  const std::string longName(256, 'n');
  struct Case {
    const char* name;
    std::vector<TestEntry> entries;  // after the good ones
    std::string entry;               // the entry the message names
    std::string rule;                // part of the message
    bool tarOnly = false;            // zip holds no hard links or devices
  } cases[] = {
      {"256-byte name component", {File("chars/" + longName, "x")}, "chars/" + longName,
       "256 bytes long, more than the 255"},
      {"planted unpacker", {File("quickbms.exe", "#!/bin/sh\n")}, "quickbms.exe",
       "mod manager's own files"},
      {"planted script, other case", {File("VanTrel.BMS", "format zip\n")}, "VanTrel.BMS",
       "mod manager's own files"},
      {"icon map", {File("chars/iconmap", "1")}, "chars/iconmap", "mod manager's own files"},
      {"icon map, other case", {File("CHARS/IconMap", "1")}, "CHARS/IconMap",
       "mod manager's own files"},
      {"journal", {File("mod_journal", "x")}, "mod_journal", "mod manager's own files"},
      {"journal's copies", {File("mod_journal_files/0", "x")}, "mod_journal_files/0",
       "mod manager's own files"},
      {"store list", {File("chars/mod_char_3", "0\r\n")}, "chars/mod_char_3",
       "mod manager's own files"},
      {"slot usage", {File("chars/slots_char_0", "")}, "chars/slots_char_0",
       "mod manager's own files"},
      {"record", {File("chars/mod_record", "")}, "chars/mod_record", "mod manager's own files"},
      {"icon page intermediate", {File("stuff/icons/icontpage_nxg.tga", "")},
       "stuff/icons/icontpage_nxg.tga", "mod manager's own files"},
      {"the archive itself", {File("EVIL.DAT", "x")}, "EVIL.DAT", "on the archive itself"},
      {"device name", {File("chars/CON.txt", "x")}, "chars/CON.txt", "device name on Windows"},
      {"device name, no extension", {File("lpt9", "x")}, "lpt9", "device name on Windows"},
      {"device name as a folder", {File("Aux/x.txt", "x")}, "Aux/x.txt", "device name on Windows"},
      {"question mark", {File("chars/a?b.txt", "x")}, "chars/a?b.txt", "does not allow"},
      {"colon", {File("chars/a:b", "x")}, "chars/a:b", "does not allow"},
      {"control character", {File("chars/a\tb", "x")}, "chars/a\tb", "does not allow"},
      {"trailing dot", {File("chars/x.", "x")}, "chars/x.", "ends in a dot or a space"},
      {"trailing space in a folder", {File("chars /x", "x")}, "chars /x",
       "ends in a dot or a space"},
      {"names that differ only in case", {File("chars/twin.txt", "1"), File("Chars/TWIN.txt", "2")},
       "Chars/TWIN.txt", "the same file on Windows as the entry \"chars/twin.txt\""},
      {"the same name twice", {File("chars/twice", "1"), File("chars/twice", "2")}, "chars/twice",
       "the same file on Windows", true},
      {"file, then a folder of that name", {File("chars/x", "1"), File("chars/x/y", "2")},
       "chars/x/y", "is a file in one entry and a folder in another"},
      {"folder, then a file of that name",
       {{"chars/y/", "", TestEntry::kFolder}, File("CHARS/Y", "2")}, "CHARS/Y",
       "is a file in one entry and a folder in another"},
      {"absolute", {File("/x", "x")}, "/x", "absolute name"},
      {"drive letter", {File("C:\\x", "x")}, "C:\\x", "absolute name"},
      {"server share", {File("\\\\server\\share\\x", "x")}, "\\\\server\\share\\x",
       "absolute name"},
      {"dot dot", {File("chars/../../x", "x")}, "chars/../../x", "climbs out"},
      {"link", {{"chars/l", "", TestEntry::kSymlink, "good.txt"}}, "chars/l", "a link"},
      {"hard link", {{"chars/h", "", TestEntry::kHardlink, "chars/good.txt"}}, "chars/h",
       "a hard link", true},
      {"device", {{"chars/dev", "", TestEntry::kDevice}}, "chars/dev",
       "neither a file nor a folder", true},
  };
  WriteBytes(game + "/chars/old.txt", "kept");
  const std::string archive = game + "/evil.dat";
  for (const Case& c : cases) {
    for (const std::string format : {"tar", "zip"}) {
      if (c.tarOnly && format == "zip") continue;
      std::vector<TestEntry> entries = {File("chars/good.txt", "good"),
                                        File("stuff/text/text.csv", "csv")};
      entries.insert(entries.end(), c.entries.begin(), c.entries.end());
      WriteTestArchive(archive, format, entries);
      auto before = Snapshot(game);
      std::string said;
      EXPECT_EQ(RunBuiltUnpacker(archive, game, &said), 1) << c.name << " " << format;
      EXPECT_EQ(Snapshot(game), before) << c.name << " " << format;
      // The zip reader gives "\\" in names as "/".
      std::string shown = said, entry = c.entry;
      std::replace(shown.begin(), shown.end(), '\\', '/');
      std::replace(entry.begin(), entry.end(), '\\', '/');
      EXPECT_NE(shown.find(": " + entry + ": refused: "), std::string::npos)
          << c.name << " " << format << "\n" << said;
      EXPECT_NE(said.find(c.rule), std::string::npos) << c.name << " " << format << "\n" << said;
    }
  }
}

// Names that look close to refused ones but are ordinary on Windows, and
// the game's own files, are unpacked.
TEST_F(RealUnpackerTest, UnpacksNamesThatWindowsCanHold) {
  const std::string longest(255, 'n');
  const std::vector<TestEntry> entries = {
      File("chars/" + longest, "255"),
      File("chars/CONSOLE.txt", "console"),
      File("chars/com10.txt", "com10"),
      File("chars/a.b.c", "dots"),
      File("chars/x", "x"),
      File("chars/x_temp", "x_temp"),  // after x, whose temporary name it is
      File("chars/y_temp", "y_temp"),  // before y
      File("chars/y", "y"),
      File("stuff/icons/icontpage_nxg.tex", "page"),  // the game's icon page itself
      File("chars/collection.txt", "collection"),
  };
  for (const std::string format : {"tar", "zip"}) {
    fs::remove_all(game + "/chars");
    fs::remove_all(game + "/stuff");
    WriteTestArchive(game + "/a.dat", format, entries);
    UnpackReport report = Unpack();
    EXPECT_EQ(report.unpacked, std::vector<std::string>{"a.dat"}) << format;
    std::map<std::string, std::string> expected = {{"KORVAQUORIN.exe", "exe"},
                                                   {"chars", "<folder>"},
                                                   {"stuff", "<folder>"},
                                                   {"stuff/icons", "<folder>"}};
    for (const TestEntry& e : entries) expected[e.name] = e.bytes;
    EXPECT_EQ(Snapshot(game), expected) << format;
  }
}

// What is on disk already may stand where the archive needs a file or a
// folder; the archive is refused before anything is written.
TEST_F(RealUnpackerTest, RefusesWhenTheDiskHasTheOtherKindInTheWay) {
  struct Case {
    const char* name;
    std::function<void()> make;
    std::string entry;
    std::string rule;
  } cases[] = {
      {"a folder where a file goes", [&] { fs::create_directories(game + "/chars/abilities.txt"); },
       "Chars/Abilities.txt", "is a folder on disk where a file must go"},
      {"a file where a folder goes", [&] { WriteBytes(game + "/stuff", "file"); },
       "STUFF/text/text.csv", "is a file on disk where a folder must go"},
  };
  for (const Case& c : cases) {
    fs::remove_all(game);
    WriteBytes(game + "/KORVAQUORIN.exe", "exe");
    c.make();
    WriteTestArchive(game + "/a.dat", "zip", {File("chars/good.txt", "good"), File(c.entry, "x")});
    auto before = Snapshot(game);
    std::string said;
    EXPECT_EQ(RunBuiltUnpacker(game + "/a.dat", game, &said), 1) << c.name;
    EXPECT_EQ(Snapshot(game), before) << c.name;
    EXPECT_NE(said.find(": " + c.entry + ": refused: "), std::string::npos) << c.name << said;
    EXPECT_NE(said.find(c.rule), std::string::npos) << c.name << said;
  }
}

// Paths below `folder` whose name ends in "_temp", in any case.
std::vector<std::string> TempLeftovers(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& [path, bytes] : Snapshot(folder)) {
    std::string tail = path.size() >= 5 ? path.substr(path.size() - 5) : "";
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail == "_temp") found.push_back(path);
  }
  return found;
}

// A write that fails half-way (the unpacker may write files of 32 KiB at
// most, as a full disk would stop it): the unpacker ends with exit status
// 1, the pass is undone, so the game folder is as it was with its archive,
// and the next pass unpacks the archive cleanly. Windows has no file size
// limit, and the unpacker writes into a scratch folder of the pass's own
// where no file can be held open beforehand: there the failing unpacker is
// a stand-in (UnpackTest).
TEST_F(RealUnpackerTest, AWriteThatFailsHalfWayUndoesThePassForTheNextOne) {
#ifdef _WIN32
  GTEST_SKIP() << "no file size limit to stop the unpacker half-way on Windows";
#endif
  const std::string big = NoiseBytes(1 << 20, 7);
  WriteTestArchive(game + "/a.dat", "zip",
                   {File("chars/a.txt", "a"), File("chars/b.txt", "b"),
                    File("chars/big.bin", big), File("chars/z.txt", "z")});
  const auto before = Snapshot(game);
  const std::string tools = dir / "limited";
  WriteProgram(tools + "/tools/quickbms.exe", "exec-write-limited 32768 \"" +
                                                  BuiltProgramFolder() + "/tools/quickbms.exe\" $@\n");
  fs::copy_file(BuiltProgramFolder() + "/tools/vantrel.bms", tools + "/tools/vantrel.bms");
  UnpackReport failed = Unpack(tools);
  EXPECT_EQ(failed.status.message(), "a.dat: the unpacker ended with exit status 1");
  EXPECT_EQ(Snapshot(game), before);

  UnpackReport next = Unpack();
  EXPECT_EQ(next.unpacked, std::vector<std::string>{"a.dat"});
  EXPECT_EQ(Snapshot(game), (std::map<std::string, std::string>{{"KORVAQUORIN.exe", "exe"},
                                                                 {"chars", "<folder>"},
                                                                 {"chars/a.txt", "a"},
                                                                 {"chars/b.txt", "b"},
                                                                 {"chars/big.bin", big},
                                                                 {"chars/z.txt", "z"}}));
}

// A cut-off run leaves files under their temporary names; the next run
// writes over them and leaves none.
TEST_F(RealUnpackerTest, LeftoverTemporaryFilesAreWrittenOverCleanly) {
  WriteBytes(game + "/chars/a.txt_temp", "half of a");
  WriteBytes(game + "/chars/B.TXT_TEMP", "half of b");
  WriteBytes(game + "/chars/b.txt", "old b");
  WriteTestArchive(game + "/a.dat", "tar", {File("chars/a.txt", "a"), File("chars/b.txt", "b")});
  UnpackReport report = Unpack();
  EXPECT_EQ(report.unpacked, std::vector<std::string>{"a.dat"});
  EXPECT_EQ(Snapshot(game), (std::map<std::string, std::string>{{"KORVAQUORIN.exe", "exe"},
                                                                 {"chars", "<folder>"},
                                                                 {"chars/a.txt", "a"},
                                                                 {"chars/b.txt", "b"}}));
}

// Every file is written under its temporary name and all are flushed before
// the first is renamed to its name: a power cut leaves no file under its
// name without its bytes. A rename that fails removes the temporary files
// that are left.
TEST_F(RealUnpackerTest, EveryFileIsFlushedBeforeTheFirstRename) {
  WriteTestArchive(dir / "a.zip", "zip",
                   {File("chars/a.txt", "a"), File("chars/b.txt", "b"), File("c.txt", "c")});
  fs::create_directories(game);
  const std::vector<std::string> args = {"quickbms.exe", program + "/tools/vantrel.bms",
                                         dir / "a.zip", game};
  auto changes = [](const TestPlatform& p) {
    std::vector<std::string> calls;
    for (const std::string& call : p.calls()) {
      const std::string op = call.substr(0, call.find(' '));
      if (op != "CanRead" && op != "Exists" && op != "IsFolder" && op != "IsLink" &&
          op != "Stat" && op != "ReadFile" && op != "ListFolder" && op != "CheckInside") {
        calls.push_back(call);
      }
    }
    return calls;
  };
  TestPlatform watched;
  ASSERT_EQ(RunUnpacker(watched, args), 0);
  const std::string a = game + "/chars/a.txt_temp", b = game + "/chars/b.txt_temp",
                    c = game + "/c.txt_temp";
  EXPECT_EQ(changes(watched),
            (std::vector<std::string>{
                "CreateFolder " + game + "/chars", "WriteNewFileUnflushed " + a,
                "WriteNewFileUnflushed " + b, "WriteNewFileUnflushed " + c,
                "FlushFiles " + a + " " + b + " " + c, "RenameOver " + a, "RenameOver " + b,
                "RenameOver " + c, "SyncFolder " + game, "SyncFolder " + game + "/chars"}));
  EXPECT_EQ(Snapshot(game), (std::map<std::string, std::string>{{"KORVAQUORIN.exe", "exe"},
                                                                 {"c.txt", "c"},
                                                                 {"chars", "<folder>"},
                                                                 {"chars/a.txt", "a"},
                                                                 {"chars/b.txt", "b"}}));

  fs::remove_all(game + "/chars");
  fs::remove(game + "/c.txt");
  TestPlatform failing;
  failing.Fail(Op::RenameOver, "b.txt_temp");
  EXPECT_EQ(RunUnpacker(failing, args), 1);
  EXPECT_EQ(Snapshot(game), (std::map<std::string, std::string>{{"KORVAQUORIN.exe", "exe"},
                                                                 {"chars", "<folder>"},
                                                                 {"chars/a.txt", "a"}}));
}

// "progress DONE TOTAL" lines on stdout: from 0 up to the archive's size,
// never going back.
TEST_F(RealUnpackerTest, ReportsProgressUpToTheArchivesSize) {
  WriteTestArchive(dir / "a.zip", "zip",
                   {File("big.bin", NoiseBytes(4 << 20, 3)), File("chars/a.txt", "a")});
  fs::create_directories(game);
  const std::string out = dir / "stdout";
  ASSERT_EQ(RunCaptured({program + "/tools/quickbms.exe", program + "/tools/vantrel.bms",
                         dir / "a.zip", game},
                        "", out, dir / "stderr"),
            0);
  const unsigned long long size = fs::file_size(dir / "a.zip");
  std::istringstream lines(ReadOutput(out));
  std::vector<unsigned long long> done;
  for (std::string line; std::getline(lines, line);) {
    unsigned long long d = 0, total = 0;
    char end = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "progress %llu %llu%c", &d, &total, &end), 2) << line;
    EXPECT_EQ(total, size) << line;
    EXPECT_TRUE(done.empty() || d >= done.back()) << line;
    done.push_back(d);
  }
  ASSERT_GE(done.size(), 2u);
  EXPECT_EQ(done.front(), 0u);
  EXPECT_EQ(done.back(), size);
}

// The unpacker's own refusals of what it is given.
TEST_F(RealUnpackerTest, RefusesBadArgumentsAndScripts) {
  WriteArchive(dir / "a.zip", "zip", {{"a.txt", "a"}});
  WriteBytes(dir / "tar-only.bms", "# only tar\r\nformat tar\r\n");
  WriteBytes(dir / "unknown.bms", "format rar\n");
  WriteBytes(dir / "keyword.bms", "unpack everything\n");
  WriteBytes(dir / "empty.bms", "");
  std::string unpacker = program + "/tools/quickbms.exe";
  std::string script = program + "/tools/vantrel.bms";
  fs::create_directories(game);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {"sound", {script, dir / "a.zip", game + "/"}, 0},
      {"too few arguments", {script, dir / "a.zip"}, 2},
      {"missing script", {dir / "none.bms", dir / "a.zip", game}, 2},
      {"unknown format", {dir / "unknown.bms", dir / "a.zip", game}, 2},
      {"unknown keyword", {dir / "keyword.bms", dir / "a.zip", game}, 2},
      {"no format", {dir / "empty.bms", dir / "a.zip", game}, 2},
      {"format not named", {dir / "tar-only.bms", dir / "a.zip", game}, 1},
      {"missing archive", {script, dir / "none.zip", game}, 1},
      {"missing output folder", {script, dir / "a.zip", dir / "none"}, 2},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {unpacker};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    int status = -1;
    ASSERT_TRUE(SystemPlatform().RunProgram(argv, &status).ok()) << c.name;
    EXPECT_EQ(status, c.status) << c.name;
  }
  EXPECT_EQ(ReadBytes(game + "/a.txt"), "a");
}

// A first start on the packed sample game, with the program folder the build
// made, ends where a first start on the unpacked one does.
TEST(PackedSampleGameTest, StartedOnceEndsAsTheUnpackedGameStartedOnce) {
  TempFolder dir;
  std::string program = dir / "program";
  CopyBuiltData(program);
  for (const char* folder : {"/tools", "/mods"}) {
    fs::copy(BuiltProgramFolder() + folder, program + folder, fs::copy_options::recursive);
  }
  MakeSampleGame(dir / "plain");
  MakePackedSampleGame(dir / "packed");
  std::vector<std::string> packedNames;
  for (const auto& [name, bytes] : Snapshot(dir / "packed")) packedNames.push_back(name);
  EXPECT_EQ(packedNames,
            (std::vector<std::string>{"KORVAQUORIN.exe", "STUFF.DAT", "chars.dat", "data.dat"}));

  TestPlatform platform;
  platform.set_program_folder(program);
  auto startOnce = [&](const std::string& game, RecordingView* view) {
    ASSERT_TRUE(WriteConfig(platform, program, game).ok());
    ModManager manager(platform, *view);
    manager.StartUp();
  };
  RecordingView plain;
  RecordingView packed;
  startOnce(dir / "plain", &plain);
  startOnce(dir / "packed", &packed);

  EXPECT_EQ(Snapshot(dir / "packed"), Snapshot(dir / "plain"));
  std::vector<std::string> messages = {kUnpackingMessage, "Initial unpacking finished."};
  messages.insert(messages.end(), plain.messages.begin(), plain.messages.end());
  EXPECT_EQ(packed.messages, messages);
  EXPECT_EQ(packed.mod_rows, plain.mod_rows);
  EXPECT_EQ(packed.game_char_rows, plain.game_char_rows);
  EXPECT_EQ(packed.slot_labels, plain.slot_labels);
  EXPECT_FALSE(packed.closed);
}

}  // namespace
}  // namespace korva
