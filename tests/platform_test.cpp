#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text_file.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/system.h"

namespace korva {
namespace {

class PlatformTest : public ::testing::Test {
 protected:
  Platform& platform = SystemPlatform();
  TempFolder dir;
};

TEST_F(PlatformTest, CopyAndRenameNeverReplaceAnExistingFile) {
  WriteBytes(dir / "a", "first\r\n");
  WriteBytes(dir / "b", "second");
  EXPECT_FALSE(platform.CopyFile(dir / "a", dir / "b").ok());
  EXPECT_FALSE(platform.Rename(dir / "a", dir / "b").ok());
  EXPECT_EQ(ReadBytes(dir / "a"), "first\r\n");
  EXPECT_EQ(ReadBytes(dir / "b"), "second");

  EXPECT_TRUE(platform.CopyFile(dir / "a", dir / "c").ok());
  EXPECT_EQ(ReadBytes(dir / "c"), "first\r\n");
  EXPECT_TRUE(platform.Rename(dir / "c", dir / "d").ok());
  EXPECT_FALSE(FileExists(dir / "c"));
  EXPECT_EQ(ReadBytes(dir / "d"), "first\r\n");
}

TEST_F(PlatformTest, RenameOntoAFileSpelledInAnotherCaseFails) {
  WriteBytes(dir / "Target.txt", "keep");
  WriteBytes(dir / "source", "new");
  EXPECT_FALSE(platform.Rename(dir / "source", dir / "target.TXT").ok());
  EXPECT_EQ(ReadBytes(dir / "Target.txt"), "keep");
}

TEST_F(PlatformTest, ReplaceFileLandsWholeOrNotAtAll) {
  WriteBytes(dir / "f", "old");
  ASSERT_TRUE(platform.ReplaceFile(dir / "f", "new content").ok());
  EXPECT_EQ(ReadBytes(dir / "f"), "new content");
  EXPECT_FALSE(platform.Exists(dir / "f_temp"));

  // A leftover temporary file is simply replaced.
  WriteBytes(dir / "f_temp", "leftover");
  ASSERT_TRUE(platform.ReplaceFile(dir / "f", "again").ok());
  EXPECT_EQ(ReadBytes(dir / "f"), "again");
  EXPECT_FALSE(platform.Exists(dir / "f_temp"));

  // When the temporary file cannot be written the target stays as it was.
  WriteBytes(dir / "f_temp/blocker", "");
  Status status = platform.ReplaceFile(dir / "f", "lost?");
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("f_temp"), std::string::npos) << status.message();
  EXPECT_EQ(ReadBytes(dir / "f"), "again");
}

TEST_F(PlatformTest, RenameOverReplacesInOneStep) {
  WriteBytes(dir / "game", "modded");
  WriteBytes(dir / "game_bak", "original");
  ASSERT_TRUE(platform.RenameOver(dir / "game_bak", dir / "game").ok());
  EXPECT_EQ(ReadBytes(dir / "game"), "original");
  EXPECT_FALSE(FileExists(dir / "game_bak"));
}

TEST_F(PlatformTest, WriteAtNeverGrowsTheFile) {
  WriteBytes(dir / "f", "0123456789");
  ASSERT_TRUE(platform.WriteAt(dir / "f", 2, "ab").ok());
  EXPECT_EQ(ReadBytes(dir / "f"), "01ab456789");
  ASSERT_TRUE(platform.WriteAt(dir / "f", 8, "XY").ok());
  EXPECT_EQ(ReadBytes(dir / "f"), "01ab4567XY");
  EXPECT_FALSE(platform.WriteAt(dir / "f", 9, "XY").ok());
  EXPECT_FALSE(platform.WriteAt(dir / "missing", 0, "X").ok());
  EXPECT_EQ(ReadBytes(dir / "f"), "01ab4567XY");

  std::string bytes;
  ASSERT_TRUE(platform.ReadAt(dir / "f", 7, 10, &bytes).ok());
  EXPECT_EQ(bytes, "7XY");
}

TEST_F(PlatformTest, AppendCreatesAndExtends) {
  ASSERT_TRUE(platform.AppendFile(dir / "log", "a").ok());
  ASSERT_TRUE(platform.AppendFile(dir / "log", "b").ok());
  EXPECT_EQ(ReadBytes(dir / "log"), "ab");
}

TEST_F(PlatformTest, ExistenceTests) {
  WriteBytes(dir / "file", "x");
  WriteBytes(dir / "folder/inside", "y");
  EXPECT_TRUE(platform.CanRead(dir / "file"));
  EXPECT_FALSE(platform.CanRead(dir / "folder"));  // a folder is not a readable file
  EXPECT_FALSE(platform.CanRead(dir / "nothing"));
  EXPECT_TRUE(platform.Exists(dir / "folder"));
  EXPECT_TRUE(platform.Exists(dir / "file"));
  EXPECT_FALSE(platform.Exists(dir / "nothing"));
  EXPECT_TRUE(platform.IsFolder(dir / "folder"));
  EXPECT_FALSE(platform.IsFolder(dir / "file"));
  EXPECT_FALSE(platform.IsLink(dir / "folder"));
  EXPECT_FALSE(platform.IsLink(dir / "file"));

  FileInfo info;
  ASSERT_TRUE(platform.Stat(dir / "folder", &info).ok());
  EXPECT_TRUE(info.folder);
  EXPECT_FALSE(info.regular);
  ASSERT_TRUE(platform.Stat(dir / "file", &info).ok());
  EXPECT_FALSE(info.folder);
  EXPECT_TRUE(info.regular);
  EXPECT_EQ(info.size, 1u);
  EXPECT_FALSE(platform.Stat(dir / "nothing", &info).ok());
}

TEST_F(PlatformTest, ALinkToAFolderIsALinkAndLeadsToAFolder) {
  WriteBytes(dir / "target/inside", "y");
  std::string whyNot;
  if (!MakeLink(dir / "target", dir / "link", &whyNot)) GTEST_SKIP() << whyNot;
  EXPECT_TRUE(platform.IsLink(dir / "link"));
  EXPECT_TRUE(platform.IsFolder(dir / "link"));
  EXPECT_TRUE(platform.CanRead(dir / "link/inside"));
  // Removing the link leaves what it leads to.
  ASSERT_TRUE(platform.Remove(dir / "link").ok());
  EXPECT_FALSE(platform.Exists(dir / "link"));
  EXPECT_EQ(ReadBytes(dir / "target/inside"), "y");
}

TEST_F(PlatformTest, FoldersAreCreatedAndRemovedOnlyWhenEmpty) {
  ASSERT_TRUE(platform.CreateFolder(dir / "x").ok());
  EXPECT_FALSE(platform.CreateFolder(dir / "x").ok());
  WriteBytes(dir / "x/f", "");
  EXPECT_FALSE(platform.RemoveEmptyFolder(dir / "x").ok());
  ASSERT_TRUE(platform.Remove(dir / "x/f").ok());
  EXPECT_TRUE(platform.RemoveEmptyFolder(dir / "x").ok());
  EXPECT_FALSE(platform.Exists(dir / "x"));
  EXPECT_FALSE(platform.Remove(dir / "x").ok());
}

// A replace lands whole or not at all, also while another program reads
// the file: the reader keeps reading the old bytes, and the name holds the
// new ones. Windows may refuse to replace a file that another program holds
// open (wine always does, older Windows too); the name then keeps the old
// bytes whole and no temporary file is left.
TEST_F(PlatformTest, AReplaceWhileAReaderHoldsTheOldFileLandsWholeOrNotAtAll) {
  for (bool renameOver : {false, true}) {
    SCOPED_TRACE(renameOver ? "RenameOver" : "ReplaceFile");
    WriteBytes(dir / "page", "old bytes");
    HeldFile reader(dir / "page");
    ASSERT_TRUE(reader.is_open());
    Status replaced;
    if (renameOver) {
      WriteBytes(dir / "page_new", "new bytes, longer");
      replaced = platform.RenameOver(dir / "page_new", dir / "page");
    } else {
      replaced = platform.ReplaceFile(dir / "page", "new bytes, longer");
    }
    EXPECT_EQ(reader.ReadAll(), "old bytes");
    if (replaced.ok()) {
      EXPECT_EQ(ReadBytes(dir / "page"), "new bytes, longer");
    } else {
#ifndef _WIN32
      ADD_FAILURE() << "POSIX replaces a file that is open: " << replaced.message();
#endif
      EXPECT_NE(replaced.message().find(dir / "page"), std::string::npos) << replaced.message();
      EXPECT_EQ(ReadBytes(dir / "page"), "old bytes");
    }
    EXPECT_FALSE(platform.Exists(dir / "page_temp"));
  }
}

// Devices are never read or written as files, and no call blocks on one.
TEST_F(PlatformTest, ADeviceIsNotAFile) {
  const std::string device = DevicePath(dir.path());
  std::string bytes;
  EXPECT_FALSE(platform.CanRead(device));
  Status read = platform.ReadFile(device, 100, &bytes);
  EXPECT_FALSE(read.ok());
  EXPECT_NE(read.message().find("not a regular file"), std::string::npos) << read.message();
  EXPECT_FALSE(platform.ReadAt(device, 0, 4, &bytes).ok());
  EXPECT_FALSE(platform.CopyFile(device, dir / "copy").ok());
  EXPECT_FALSE(platform.Exists(dir / "copy"));
  EXPECT_FALSE(platform.AppendFile(device, "x").ok());
  EXPECT_FALSE(platform.WriteAt(device, 0, "x").ok());
  EXPECT_FALSE(platform.WriteNewFile(device, [](FileWriter& out) { return out.Write("x"); }).ok());
}

// Names outside the 8-bit code page work in every call: a game in
// "Spiele/K\u00f8rva Qu\u00f6rin".
TEST_F(PlatformTest, NamesOutsideTheCodePageWork) {
  const std::string spiele = dir / "Spiele";
  const std::string game = spiele + "/K\xc3\xb8rva Qu\xc3\xb6rin";
  ASSERT_TRUE(platform.CreateFolder(spiele).ok());
  ASSERT_TRUE(platform.CreateFolder(game).ok());
  ASSERT_TRUE(platform.CreateFolder(game + "/chars").ok());
  ASSERT_TRUE(ReplaceText(platform, game + "/chars/\xc3\xa4" "bilities.txt", "line\n").ok());
  ASSERT_TRUE(platform.CopyFile(game + "/chars/\xc3\xa4" "bilities.txt",
                                game + "/chars/\xc3\xa4" "bilities.txt_bak").ok());
  ASSERT_TRUE(platform.AppendFile(game + "/chars/\xc3\xa4" "bilities.txt", "more\r\n").ok());
  EXPECT_EQ(ReadBytes(game + "/chars/\xc3\xa4" "bilities.txt"), "line\r\nmore\r\n");
  EXPECT_EQ(ReadBytes(game + "/chars/\xc3\xa4" "bilities.txt_bak"), "line\r\n");

  std::vector<std::string> names;
  ASSERT_TRUE(platform.ListFolder(spiele, &names).ok());
  EXPECT_EQ(names, std::vector<std::string>{"K\xc3\xb8rva Qu\xc3\xb6rin"});
  ASSERT_TRUE(platform.ListFolder(game + "/chars", &names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"\xc3\xa4" "bilities.txt", "\xc3\xa4" "bilities.txt_bak"}));
  FileInfo info;
  ASSERT_TRUE(platform.Stat(game + "/chars/\xc3\xa4" "bilities.txt_bak", &info).ok());
  EXPECT_TRUE(info.regular);
  EXPECT_EQ(info.size, 6u);
  EXPECT_TRUE(platform.IsFolder(game));
  EXPECT_TRUE(platform.CheckInside(game, game + "/chars/\xc3\xa4" "bilities.txt").ok());
  EXPECT_EQ(platform.NativePath(game + "/CHARS/\xc3\xa4" "bilities.txt"),
            game + "/chars/\xc3\xa4" "bilities.txt");
  ASSERT_TRUE(platform.Rename(game, spiele + "/Kvarn").ok());
  EXPECT_TRUE(platform.CanRead(spiele + "/Kvarn/chars/\xc3\xa4" "bilities.txt"));
}

// Paths typed by a user: "C:\\...", "C:/..." and "\\\\server\\..." are absolute on
// Windows and come back with "/" separators; elsewhere only "/..." is, and
// a "\\" is an ordinary character of a name.
TEST(AbsolutePath, IsCompletedAgainstTheCurrentFolder) {
  Platform& platform = SystemPlatform();
  const std::string current = platform.AbsolutePath("");
  EXPECT_EQ(current.find('\\'), std::string::npos) << current;
  struct Case {
    std::string given, absolute;
  } cases[] = {
#ifdef _WIN32
      {"Z:\\Games\\KQ\\KORVAQUORIN.exe", "Z:/Games/KQ/KORVAQUORIN.exe"},
      {"c:/games/kq", "c:/games/kq"},
      {"C:\\Games/KQ\\", "C:/Games/KQ/"},
      {"\\\\server\\share\\KQ", "//server/share/KQ"},
      {"KQ\\KORVAQUORIN.exe", current + "/KQ/KORVAQUORIN.exe"},
      {"\\Games\\KQ", current.substr(0, 2) + "/Games/KQ"},
#else
      {"/games/kq/KORVAQUORIN.exe", "/games/kq/KORVAQUORIN.exe"},
      {"kq/KORVAQUORIN.exe", current + "/kq/KORVAQUORIN.exe"},
      {"kq\\KORVAQUORIN.exe", current + "/kq\\KORVAQUORIN.exe"},
#endif
  };
  for (const Case& c : cases) EXPECT_EQ(platform.AbsolutePath(c.given), c.absolute) << c.given;
}

// What lies below a folder: spelled below it, without "..", on either
// separator where the system has two.
TEST_F(PlatformTest, CheckInsideJudgesTheSpelling) {
  WriteBytes(dir / "game/chars/a.txt", "a");
  const std::string game = dir / "game";
  struct Case {
    std::string path;
    bool inside;
  } cases[] = {
      {game + "/chars/a.txt", true},
      {game + "/chars/new/deeper.txt", true},
      {game + "/chars/../../x", false},
      {game + "2/x", false},
      {game, false},
      {dir / "x", false},
#ifdef _WIN32
      {game + "\\chars\\a.txt", true},
      {game + "\\chars\\..\\..\\x", false},
#endif
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform.CheckInside(game, c.path).ok(), c.inside) << c.path;
  }
}

TEST_F(PlatformTest, ListingIsSortedCaseInsensitivelyWithoutDots) {
  for (const char* name : {"b.txt", "A.dat", "c", "a_b", "aab", "B.DAT"}) WriteBytes(dir / name, "");
  std::vector<std::string> names;
  ASSERT_TRUE(platform.ListFolder(dir.path(), &names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"A.dat", "aab", "a_b", "B.DAT", "b.txt", "c"}));
  EXPECT_FALSE(platform.ListFolder(dir / "missing", &names).ok());
}

TEST_F(PlatformTest, PathsResolveCaseInsensitively) {
  WriteBytes(dir / "chars/charstxt.fpk", "packed");
  std::string bytes;
  ASSERT_TRUE(platform.ReadFile(dir / "Chars/CharsTxt.fpk", 100, &bytes).ok());
  EXPECT_EQ(bytes, "packed");
  EXPECT_TRUE(platform.CanRead(dir / "CHARS/charstxt.fpk"));

  // A new file under "/Chars/" lands in the existing "chars" folder.
  ASSERT_TRUE(platform.Rename(dir / "Chars/charstxt.fpk", dir / "Chars/charstxt.fpk_bak").ok());
  ASSERT_TRUE(platform.CopyFile(dir / "chars/charstxt.fpk_bak", dir / "Chars/charstxt.fpk").ok());
  EXPECT_EQ(ReadBytes(dir / "chars/charstxt.fpk"), "packed");
  EXPECT_EQ(ReadBytes(dir / "chars/charstxt.fpk_bak"), "packed");
  EXPECT_FALSE(platform.Exists(dir / "Chars/missing/deeper"));
  EXPECT_EQ(platform.NativePath(dir / "CHARS/new.txt"), dir / "chars/new.txt");
}

TEST_F(PlatformTest, TextModeStoresCrLfAndReadsLf) {
  ASSERT_TRUE(ReplaceText(platform, dir / "t", "one\ntwo\n\nlast").ok());
  EXPECT_EQ(ReadBytes(dir / "t"), "one\r\ntwo\r\n\r\nlast");
  std::vector<std::string> lines;
  ASSERT_TRUE(ReadTextLines(platform, dir / "t", 100, &lines).ok());
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "", "last"}));

  ASSERT_TRUE(AppendText(platform, dir / "t", "\nmore\n").ok());
  EXPECT_EQ(ReadBytes(dir / "t"), "one\r\ntwo\r\n\r\nlast\r\nmore\r\n");
}

TEST(TextLines, SplitAsTextModeReads) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"empty", "", {}},
      {"final line end adds no line", "a\r\nb\r\n", {"a", "b"}},
      {"no final line end", "a\r\nb", {"a", "b"}},
      {"LF alone ends a line", "a\nb\n", {"a", "b"}},
      {"lone CR is kept", "a\rb\r\n", {"a\rb"}},
      {"CR CR LF keeps one CR", "a\r\r\nb", {"a\r", "b"}},
      {"empty lines", "\r\n\r\n", {"", ""}},
      {"CR at the very end", "a\r", {"a\r"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitTextLines(c.bytes), c.lines) << c.name;
  EXPECT_EQ(ToTextMode("a\nb\r\n"), "a\r\nb\r\r\n");
}

// No shell comes between: quotes, backslashes, blanks and shell words reach
// the program as they were given (on Windows through the C runtime's
// quoting of the command line).
TEST_F(PlatformTest, ProgramsGetTheirArgumentsUnchanged) {
  std::vector<std::string> args = {"two words", "double\"quote", "single'quote", "$HOME",
                                   "a;b", "*", "", "%PATH%", "C:\\trailing\\",
                                   "back\\\"slash quote", "tab\there", "a & b | c > d",
                                   "K\xc3\xb8rva Qu\xc3\xb6rin"};
  const std::string program = dir / ExecutableName("program with blanks");
  WriteStandIn(program, "args \"" + dir / "out" + "\"\nexit 7");
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  int exitStatus = -1;
  ASSERT_TRUE(platform.RunProgram(argv, &exitStatus).ok());
  EXPECT_EQ(exitStatus, 7);
  std::string expected;
  for (const std::string& arg : args) expected += arg + "\n";
  EXPECT_EQ(ReadBytes(dir / "out"), expected);

  Status missing = platform.RunProgram({dir / ExecutableName("no-such-program")}, &exitStatus);
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("cannot start"), std::string::npos) << missing.message();
}

TEST(ShellCommandText, QuotesTheProgramAndThePaths) {
  EXPECT_EQ(ShellCommandText({"G/quickbms.exe", "G/vantrel.bms", "G/a.dat", "G/"}),
            "\"\"G/quickbms.exe\" \"G/vantrel.bms\" \"G/a.dat\" \"G/\"\"");
  EXPECT_EQ(ShellCommandText({"C:\\K/stuff/icons/crunch.exe", "-file",
                              "C:\\K/stuff/icons/icontpage_nxg_t.tga", "/out",
                              "C:\\K/stuff/icons/icontpage_nxg.dds", "/alphathreshold", "128",
                              "/mipMode", "None"}),
            "\"\"C:\\K/stuff/icons/crunch.exe\" -file \"C:\\K/stuff/icons/icontpage_nxg_t.tga\" "
            "/out \"C:\\K/stuff/icons/icontpage_nxg.dds\" /alphathreshold 128 /mipMode None\"");
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
  Platform& platform = SystemPlatform();
  EXPECT_TRUE(platform.CanRead(platform.ProgramFolder() + "/" + ExecutableName("korva_tests")));
  EXPECT_EQ(platform.ProgramFolder().find('\\'), std::string::npos) << platform.ProgramFolder();
}

}  // namespace
}  // namespace korva
