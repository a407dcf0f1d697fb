#include "gamedata/unpack.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "installer/config.h"
#include "installer/mod_manager.h"
#include "sample/archive_writer.h"
#include "sample/packed_game.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_platform.h"

namespace fs = std::filesystem;

namespace korva {
namespace {

// A stand-in for the unpacker: logs "tag|script|archive|output" to `log` and
// fails with exit status 3 on an archive whose bytes say "corrupt".
std::string StandInUnpacker(const std::string& log, const std::string& tag) {
  return "#!/bin/sh\n"
         "printf '" + tag + "|%s|%s|%s\\n' \"$1\" \"$2\" \"$3\" >> '" + log + "'\n"
         "if grep -q corrupt \"$2\"; then exit 3; fi\n";
}

void WriteProgram(const std::string& path, const std::string& text) {
  WriteBytes(path, text);
  fs::permissions(path, fs::perms::owner_all);
}

class UnpackTest : public ::testing::Test {
 protected:
  UnpackTest() {
    platform.set_program_folder(program);
    WriteBytes(game + "/KORVAQUORIN.exe", "exe");
    WriteProgram(program + "/tools/quickbms.exe", StandInUnpacker(log, "tools"));
    WriteBytes(program + "/tools/vantrel.bms", "format zip tar\n");
  }

  UnpackReport Unpack() {
    return UnpackGameArchives(platform, game, program, [this] { ++announced; });
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

  std::string Run(const std::string& tag, const std::string& archive) {
    return tag + "|" + game + "/vantrel.bms|" + game + "/" + archive + "|" + game + "/";
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
  EXPECT_TRUE(report.listed.ok());
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
  EXPECT_EQ(Runs(), (std::vector<std::string>{Run("tools", "a.dat"), Run("tools", "b.DAT")}));
  EXPECT_EQ(report.unpacked, (std::vector<std::string>{"a.dat", "b.DAT"}));
  EXPECT_TRUE(report.kept.empty());
  EXPECT_TRUE(report.removed.ok());
  EXPECT_EQ(Snapshot(game), (std::map<std::string, std::string>{{"KORVAQUORIN.exe", "exe"}}));
  EXPECT_EQ(UnpackFinishedMessage(report), "Initial unpacking finished.");
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

TEST_F(UnpackTest, AnUnpackerCopyAlreadyInTheGameFolderIsUsedAndRemoved) {
  WriteProgram(game + "/quickbms.exe", StandInUnpacker(log, "old"));
  WriteBytes(game + "/a.dat", "first");
  UnpackReport report = Unpack();
  EXPECT_EQ(Runs(), std::vector<std::string>{Run("old", "a.dat")});
  EXPECT_TRUE(report.removed.ok());
  EXPECT_FALSE(FileExists(game + "/quickbms.exe"));
  EXPECT_FALSE(FileExists(game + "/vantrel.bms"));
  EXPECT_EQ(ReadBytes(program + "/tools/quickbms.exe"), StandInUnpacker(log, "tools"));
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
    int shown = 0;
    UnpackReport report =
        UnpackGameArchives(platform, game, otherProgram, [&shown] { ++shown; });
    EXPECT_EQ(shown, 1) << missing;
    EXPECT_TRUE(report.unpacker_missing) << missing;
    EXPECT_EQ(Snapshot(game), before) << missing;
    EXPECT_TRUE(Runs().empty()) << missing;
  }
}

TEST_F(UnpackTest, AnArchiveThatFailsIsKeptAndNamedWhileTheOthersGoOn) {
  WriteBytes(game + "/a.dat", "first");
  WriteBytes(game + "/b.dat", "corrupt");
  WriteBytes(game + "/c.DAT", "third");
  UnpackReport report = Unpack();
  EXPECT_EQ(Runs().size(), 3u);
  EXPECT_EQ(report.unpacked, (std::vector<std::string>{"a.dat", "c.DAT"}));
  EXPECT_EQ(report.kept,
            std::vector<std::string>{"b.dat: the unpacker ended with exit status 3"});
  EXPECT_EQ(ReadBytes(game + "/b.dat"), "corrupt");
  EXPECT_FALSE(FileExists(game + "/a.dat"));
  EXPECT_FALSE(FileExists(game + "/c.DAT"));
  EXPECT_FALSE(FileExists(game + "/quickbms.exe"));

  std::string message = UnpackFinishedMessage(report);
  EXPECT_EQ(message.rfind("Initial unpacking finished.\n", 0), 0u) << message;
  EXPECT_NE(message.find("b.dat: the unpacker ended with exit status 3"), std::string::npos);
  EXPECT_EQ(message.find("a.dat"), std::string::npos) << message;
}

TEST_F(UnpackTest, AnUnpackerThatCannotStartKeepsEveryArchive) {
  fs::permissions(program + "/tools/quickbms.exe", fs::perms::owner_read | fs::perms::owner_write);
  WriteBytes(game + "/a.dat", "first");
  UnpackReport report = Unpack();
  ASSERT_EQ(report.kept.size(), 1u);
  EXPECT_NE(report.kept[0].find("cannot start"), std::string::npos) << report.kept[0];
  EXPECT_EQ(ReadBytes(game + "/a.dat"), "first");
}

TEST_F(UnpackTest, AnArchiveThatCannotBeDeletedIsNamedAsAHazard) {
  WriteBytes(game + "/a.dat", "first");
  platform.Fail(Op::Remove, "a.dat");
  UnpackReport report = Unpack();
  ASSERT_EQ(report.not_deleted.size(), 1u);
  EXPECT_EQ(report.not_deleted[0].rfind("a.dat: ", 0), 0u);
  std::string message = UnpackFinishedMessage(report);
  EXPECT_NE(message.find("unpacks them again"), std::string::npos) << message;
  EXPECT_NE(message.find("a.dat: "), std::string::npos) << message;
}

TEST_F(UnpackTest, AnUnpackerThatCannotBeCopiedUnpacksNothing) {
  WriteBytes(game + "/a.dat", "first");
  platform.Fail(Op::CopyFile, "vantrel.bms");
  UnpackReport report = Unpack();
  EXPECT_FALSE(report.unpacker_missing);
  EXPECT_FALSE(report.prepared.ok());
  EXPECT_TRUE(Runs().empty());
  EXPECT_EQ(ReadBytes(game + "/a.dat"), "first");
  EXPECT_FALSE(FileExists(game + "/quickbms.exe"));  // the copy that was made is gone
  std::string message = UnpackFinishedMessage(report);
  EXPECT_NE(message.find("could not be copied"), std::string::npos) << message;
  EXPECT_EQ(message.find("Initial unpacking finished."), std::string::npos) << message;
}

TEST_F(UnpackTest, AnUnremovableCopyIsReported) {
  WriteBytes(game + "/a.dat", "first");
  platform.Fail(Op::Remove, "/vantrel.bms");
  UnpackReport report = Unpack();
  EXPECT_FALSE(report.removed.ok());
  EXPECT_FALSE(FileExists(game + "/quickbms.exe"));  // the other copy still goes
  EXPECT_NE(UnpackFinishedMessage(report).find("vantrel.bms"), std::string::npos);
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
  EXPECT_TRUE(report.kept.empty()) << report.kept[0];
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
    ASSERT_EQ(report.kept.size(), 1u) << c.name;
    EXPECT_EQ(report.kept[0], "broken.dat: the unpacker ended with exit status 1") << c.name;
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
      EXPECT_EQ(report.kept.size(), 1u) << c.name << " " << format;
      // Nothing at all is written, inside or outside the game folder.
      EXPECT_EQ(Snapshot(dir.path()), before) << c.name << " " << format;
      EXPECT_EQ(ReadBytes(outside + "/passwd"), "secret");
    }
  }
}

TEST_F(RealUnpackerTest, ALinkInTheGameFolderLeadsNothingOutside) {
  fs::create_directories(dir / "outside");
  fs::create_directory_symlink(dir / "outside", game + "/audio");
  WriteArchive(game + "/a.dat", "tar", {{"audio/samples_nxg.cfg", "cfg"}});
  UnpackReport report = Unpack();
  EXPECT_EQ(report.kept.size(), 1u);
  EXPECT_TRUE(fs::is_empty(dir / "outside"));
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
