#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "platform/text_file.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/system.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

// Waits until the file `path` exists, for a program started by the test
// to say it is ready (under wine a start takes a second or more). False
// when it does not come within half a minute.
bool Appears(const std::string& path) {
  for (int i = 0; i < 3000 && !FileExists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return FileExists(path);
}

void SetReadOnly(const std::string& path, bool readOnly) {
  fs::permissions(fs::u8path(path), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

bool Writable(const std::string& path) {
  return (fs::status(fs::u8path(path)).permissions() & fs::perms::owner_write) != fs::perms::none;
}

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

// A watched program's output reaches the watch line by line, in order,
// also what it prints just before it ends; the watch is asked again and
// again while the program runs (at least every 100 ms: over half a second
// several times), and a watch that says stop ends the program. The bound
// checked is the stop's, far above a look's 100 ms and far below the
// program's minute.
TEST_F(PlatformTest, AWatchedProgramIsHeardAndCanBeStopped) {
  const std::string talker = dir / ExecutableName("talker");
  WriteStandIn(talker, "print one\nsleep 250\nprint two words\nsleep 250\nprint last\nexit 3\n");
  std::vector<std::string> heard;
  int looks = 0, exitStatus = -1;
  Status ran = platform.RunProgram({talker}, &exitStatus, [&](const std::vector<std::string>& lines) {
    ++looks;
    heard.insert(heard.end(), lines.begin(), lines.end());
    return true;
  });
  ASSERT_TRUE(ran.ok()) << ran.message();
  EXPECT_EQ(exitStatus, 3);
  EXPECT_EQ(heard, (std::vector<std::string>{"one", "two words", "last"}));
  EXPECT_GE(looks, 4);

  const std::string sleeper = dir / ExecutableName("sleeper");
  WriteStandIn(sleeper, "print started\nsleep 60000\ntouch \"" + dir / "finished" + "\"\n");
  std::chrono::steady_clock::time_point told;
  Status stopped = platform.RunProgram({sleeper}, &exitStatus, [&](const std::vector<std::string>& lines) {
    told = std::chrono::steady_clock::now();
    return lines.empty();
  });
  EXPECT_TRUE(stopped.cancelled()) << stopped.message();
  EXPECT_LT(std::chrono::steady_clock::now() - told, std::chrono::seconds(5));
  EXPECT_FALSE(FileExists(dir / "finished"));
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

// A change the system refuses names the file or folder at fault, says why
// and what to do, and leaves it as it was. Writing into a read-only file is
// refused on every system; replacing, renaming over or removing one only
// on Windows, where the attribute forbids it (POSIX asks the folder). A
// folder the user may not write in refuses every change in it (POSIX; a
// Windows folder's permissions are not set from here).
TEST_F(PlatformTest, ARefusedChangeSaysWhyAndWhatToDo) {
#ifdef _WIN32
  constexpr bool kWindows = true;
#else
  constexpr bool kWindows = false;
#endif
  const std::string game = dir / "game", locked = dir / "locked";
  const char kReadOnly[] = "the file is read-only";
  const char kNoPermission[] = "no permission to write in this folder; run the program as";
  struct Case {
    const char* name;
    std::string path;  // as it was after a refused change
    std::function<Status()> change;
    bool refused;
    const char* words;
    std::string named;
  };
  std::vector<Case> cases = {
      {"write into", game + "/a", [&] { return platform.WriteAt(game + "/a", 0, "X"); }, true,
       kReadOnly, game + "/a"},
      {"append to", game + "/b", [&] { return platform.AppendFile(game + "/b", "X"); }, true,
       kReadOnly, game + "/b"},
      {"replace", game + "/c", [&] { return platform.ReplaceFile(game + "/c", "X"); }, kWindows,
       kReadOnly, game + "/c"},
      {"rename over", game + "/d", [&] { return platform.RenameOver(game + "/new", game + "/d"); },
       kWindows, kReadOnly, game + "/d"},
      {"remove", game + "/e", [&] { return platform.Remove(game + "/e"); }, kWindows, kReadOnly,
       game + "/e"},
  };
  for (const Case& c : cases) {
    WriteBytes(c.path, "original");
    SetReadOnly(c.path, true);
  }
  WriteBytes(game + "/new", "new");
  WriteBytes(game + "/src", "src");
  if (!kWindows) {
    WriteBytes(locked + "/a", "original");
    const std::pair<const char*, std::function<Status()>> inLocked[] = {
        {"create a folder in", [&] { return platform.CreateFolder(locked + "/sub"); }},
        {"write a new file in",
         [&] { return platform.WriteNewFile(locked + "/n", [](FileWriter& out) { return out.Write("X"); }); }},
        {"copy into", [&] { return platform.CopyFile(game + "/src", locked + "/copy"); }},
        {"rename in", [&] { return platform.Rename(locked + "/a", locked + "/b"); }},
        {"replace in", [&] { return platform.ReplaceFile(locked + "/a", "X"); }},
        {"remove from", [&] { return platform.Remove(locked + "/a"); }},
    };
    for (const auto& [name, change] : inLocked) {
      cases.push_back({name, locked + "/a", change, true, kNoPermission, locked});
    }
  }
  std::vector<std::string> before;
  for (const Case& c : cases) before.push_back(ReadBytes(c.path));
  std::string said, whyNot;
  const bool ran = RunAsOrdinaryUser({dir.path()}, [&] {
    if (!kWindows) fs::permissions(locked, fs::perms::owner_write, fs::perm_options::remove);
    std::string lines;
    for (const Case& c : cases) {
      Status status = c.change();
      lines += (status.ok() ? std::string("done") : status.message()) + "\n";
    }
    return lines;
  }, &said, &whyNot);
  if (!kWindows) fs::permissions(locked, fs::perms::owner_write, fs::perm_options::add);
  if (!ran) GTEST_SKIP() << whyNot;
  std::istringstream lines(said);
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    std::string line;
    std::getline(lines, line);
    SCOPED_TRACE(c.name);
    if (!c.refused) {
      EXPECT_EQ(line, "done");
      continue;
    }
    EXPECT_EQ(line.rfind(c.named + ": " + c.words, 0), 0u) << line;
    EXPECT_NE(line.find("then try again"), std::string::npos) << line;
    EXPECT_EQ(ReadBytes(c.path), before[i]);
  }
  if (!kWindows) {
    EXPECT_EQ(Snapshot(locked), (std::map<std::string, std::string>{{"a", "original"}}));
  }
  for (const Case& c : cases) {
    if (FileExists(c.path)) SetReadOnly(c.path, false);
  }
}

// Copies made together land byte for byte, a read-only file's copy
// read-only too; a target that exists refuses them all, naming it, and no
// temporary file is left.
TEST_F(PlatformTest, CopyFilesCopiesEveryFileOrNone) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"text", "line\r\n"}, {"empty", ""}, {"large", std::string(200000, '\0') + "end"}, {"locked", "ro"}};
  std::vector<FilePair> copies;
  for (const auto& [name, bytes] : files) {
    WriteBytes(dir / name, bytes);
    copies.push_back({dir / name, dir / ("copies/" + name)});
  }
  SetReadOnly(dir / "locked", true);
  ASSERT_TRUE(platform.CreateFolder(dir / "copies").ok());
  Status copied = platform.CopyFiles(copies);
  ASSERT_TRUE(copied.ok()) << copied.message();
  for (const auto& [name, bytes] : files) EXPECT_EQ(ReadBytes(dir / ("copies/" + name)), bytes) << name;
  EXPECT_FALSE(Writable(dir / "copies/locked"));
  EXPECT_TRUE(Writable(dir / "copies/text"));

  WriteBytes(dir / "taken", "keep");
  Status refused = platform.CopyFiles(
      {{dir / "text", dir / "new1"}, {dir / "locked", dir / "new2"}, {dir / "large", dir / "taken"},
       {dir / "empty", dir / "new3"}});
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(refused.message().rfind(dir / "taken: ", 0), 0u) << refused.message();
  EXPECT_EQ(ReadBytes(dir / "taken"), "keep");
  for (const auto& [path, bytes] : Snapshot(dir.path())) {
    EXPECT_EQ(path.find("new"), std::string::npos) << path;
  }
  SetReadOnly(dir / "locked", false);
  SetReadOnly(dir / "copies/locked", false);
}

// A saved copy of a read-only file is read-only too: put back over its
// file (made writable and changed meanwhile), the file is as it was,
// read-only again; a copy no longer needed goes although it is read-only.
// On POSIX read-only means no write permission, which never stood in the
// way of removing it.
TEST_F(PlatformTest, ASavedCopyOfAReadOnlyFileGoesBackOrAway) {
  WriteBytes(dir / "game", "old");
  SetReadOnly(dir / "game", true);
  ASSERT_TRUE(platform.CopyFile(dir / "game", dir / "saved").ok());
  ASSERT_TRUE(platform.CopyFile(dir / "game", dir / "unneeded").ok());
  SetReadOnly(dir / "game", false);
  WriteBytes(dir / "game", "changed");
  Status back = platform.RenameOver(dir / "saved", dir / "game");
  ASSERT_TRUE(back.ok()) << back.message();
  EXPECT_EQ(ReadBytes(dir / "game"), "old");
  EXPECT_FALSE(Writable(dir / "game"));
  Status removed = platform.RemoveOwnFile(dir / "unneeded");
  EXPECT_TRUE(removed.ok()) << removed.message();
  EXPECT_FALSE(FileExists(dir / "unneeded"));
  Status missing = platform.RemoveOwnFile(dir / "unneeded");
  EXPECT_EQ(missing.message().rfind(dir / "unneeded: ", 0), 0u) << missing.message();
  SetReadOnly(dir / "game", false);
}

// A folder's entries are flushed; a missing folder, or a file, is a
// failure that names it.
TEST_F(PlatformTest, SyncFolderFlushesAFolderOrSaysWhyNot) {
  WriteBytes(dir / "folder/file", "x");
  Status synced = platform.SyncFolder(dir / "folder");
  EXPECT_TRUE(synced.ok()) << synced.message();
  for (const std::string& path : {dir / "missing", dir / "folder/file"}) {
    Status failed = platform.SyncFolder(path);
    EXPECT_EQ(failed.message().rfind(path + ": ", 0), 0u) << failed.message();
  }
}

// A file that another program holds open (the game, an antivirus scanner)
// is waited for: a hold that ends soon is no obstacle; a long one fails the
// change after about two seconds, naming the file and saying what to do,
// with the file as it was. The bound checked is the retry loop's, far above
// its two seconds and far below the hold.
TEST_F(PlatformTest, AFileHeldByAnotherProgramIsWaitedForAMoment) {
  {
    WriteBytes(dir / "probe", "");
    LockedFile probe(dir / "probe");
    std::string whyNot;
    if (!probe.locked(&whyNot)) GTEST_SKIP() << whyNot << ": a held file is no obstacle there";
  }
  const std::string holder = dir / ExecutableName("holder");
  WriteStandIn(holder, "hold \"$1\"\ntouch \"$2\"\nsleep $3\n");
  const std::string page = dir / "page";
  int runs = 0;
  // Starts a holder of `page` for `ms` milliseconds, once it holds it.
  auto hold = [&](int ms) {
    const std::string ready = dir / ("ready" + std::to_string(++runs));
    auto child = std::make_unique<ChildProcess>(
        std::vector<std::string>{holder, page, ready, std::to_string(ms)}, dir / "holder.out");
    EXPECT_TRUE(Appears(ready)) << ReadBytes(dir / "holder.out");
    return child;
  };

  WriteBytes(page, "old");
  {
    auto child = hold(300);
    EXPECT_TRUE(platform.ReplaceFile(page, "new").ok());
    EXPECT_EQ(ReadBytes(page), "new");
  }
  {
    auto child = hold(300);
    WriteBytes(page + "_new", "newer");
    EXPECT_TRUE(platform.RenameOver(page + "_new", page).ok());
    EXPECT_EQ(ReadBytes(page), "newer");
  }

  // Held for longer than all the changes below wait together.
  auto child = hold(60000);
  WriteBytes(dir / "other", "other");
  const std::pair<const char*, std::function<Status()>> changes[] = {
      {"ReplaceFile", [&] { return platform.ReplaceFile(page, "lost"); }},
      {"RenameOver", [&] { return platform.RenameOver(dir / "other", page); }},
      {"Rename", [&] { return platform.Rename(page, dir / "renamed"); }},
      {"Remove", [&] { return platform.Remove(page); }},
      {"WriteAt", [&] { return platform.WriteAt(page, 0, "X"); }},
  };
  for (const auto& [name, change] : changes) {
    SCOPED_TRACE(name);
    const auto start = std::chrono::steady_clock::now();
    Status status = change();
    const auto spent = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.message(), page + ": another program holds it open (the game, an antivirus "
                                       "scanner or an editor); close that program, then try again");
    EXPECT_LT(spent, std::chrono::seconds(6));
    EXPECT_EQ(ReadBytes(page), "newer");
  }
  EXPECT_FALSE(FileExists(page + "_temp"));
  EXPECT_TRUE(child->Running());
  child->KillAll();
}

// IsRunning knows the game by its file: a program named KORVAQUORIN.exe
// run from the game folder counts, however the path is spelled; the same
// program in another folder does not, nor one that has ended.
TEST_F(PlatformTest, IsRunningKnowsTheGameByItsFile) {
  const std::string game = dir / "game/KORVAQUORIN.exe", other = dir / "other/KORVAQUORIN.exe";
  WriteStandIn(game, "touch \"$1\"\nsleep 60000\n");
  WriteStandIn(other, "touch \"$1\"\nsleep 60000\n");
  EXPECT_FALSE(platform.IsRunning(game));
  {
    ChildProcess running({game, dir / "ready"}, dir / "game.out");
    ASSERT_TRUE(Appears(dir / "ready")) << ReadBytes(dir / "game.out");
    EXPECT_TRUE(platform.IsRunning(game));
    EXPECT_TRUE(platform.IsRunning(dir / "GAME/korvaquorin.EXE"));
    EXPECT_FALSE(platform.IsRunning(other));
    EXPECT_FALSE(platform.IsRunning(dir / "missing/KORVAQUORIN.exe"));
    running.KillAll();
  }
  EXPECT_FALSE(platform.IsRunning(game));
#ifndef _WIN32
  // Under wine or Proton the command line shows the game's Windows path:
  // Z: is the root, another drive leads through the process's wine prefix.
  fs::create_directories(dir / "prefix/dosdevices");
  fs::create_directory_symlink(dir.path(), dir / "prefix/dosdevices/c:");
  const std::string loader = dir / "bin/wine64-preloader";
  WriteStandIn(loader, "touch \"$1\"\nsleep 60000\n");
  std::string windows = "Z:" + game;
  std::replace(windows.begin(), windows.end(), '/', '\\');
  const std::pair<std::string, bool> shown[] = {
      {windows, true},
      {"C:\\game\\korvaquorin.exe", true},
      {"C:\\other\\KORVAQUORIN.exe", false},
      {"D:\\game\\KORVAQUORIN.exe", false},
  };
  int runs = 0;
  for (const auto& [commandLine, running] : shown) {
    SCOPED_TRACE(commandLine);
    const std::string ready = dir / ("ready" + std::to_string(++runs));
    ChildProcess wine({"/usr/bin/env", "WINEPREFIX=" + dir / "prefix", "/bin/bash", "-c",
                       "exec -a \"$0\" \"$1\" \"$2\"", commandLine, loader, ready},
                      dir / "wine.out");
    ASSERT_TRUE(Appears(ready)) << ReadBytes(dir / "wine.out");
    EXPECT_EQ(platform.IsRunning(game), running);
  }
#endif
}

// Paths longer than the 260 characters of Windows' plain calls work in
// every operation.
TEST_F(PlatformTest, PathsLongerThan260CharactersWork) {
  std::vector<std::string> folders;
  std::string deep = dir.path();
  while (deep.size() < 300) {
    deep += "/" + std::string(40, static_cast<char>('a' + folders.size())) + " folder";
    folders.push_back(deep);
    ASSERT_TRUE(platform.CreateFolder(deep).ok()) << deep.size();
  }
  WriteBytes(dir / "short", "bytes\r\n");
  const std::string file = deep + "/KORVAQUORIN " + std::string(30, 'x') + ".txt";
  ASSERT_TRUE(platform.CopyFile(dir / "short", file).ok());
  EXPECT_TRUE(platform.CanRead(file));
  ASSERT_TRUE(platform.AppendFile(file, "more").ok());
  ASSERT_TRUE(platform.WriteAt(file, 0, "B").ok());
  ASSERT_TRUE(platform.Rename(file, file + "_moved").ok());
  ASSERT_TRUE(platform.CopyFile(file + "_moved", file).ok());
  ASSERT_TRUE(platform.ReplaceFile(file, "replaced").ok());
  ASSERT_TRUE(platform.RenameOver(file, file + "_moved").ok());
  std::string bytes;
  ASSERT_TRUE(platform.ReadFile(file + "_moved", 100, &bytes).ok());
  EXPECT_EQ(bytes, "replaced");
  FileInfo info;
  ASSERT_TRUE(platform.Stat(file + "_moved", &info).ok());
  EXPECT_EQ(info.size, 8u);
  std::vector<std::string> names;
  ASSERT_TRUE(platform.ListFolder(deep, &names).ok());
  EXPECT_EQ(names, std::vector<std::string>{BaseName(file) + "_moved"});
  Status inside = platform.CheckInside(dir.path(), file + "_moved");
  EXPECT_TRUE(inside.ok()) << inside.message();
  ASSERT_TRUE(platform.Remove(file + "_moved").ok());
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    ASSERT_TRUE(platform.RemoveEmptyFolder(*folder).ok()) << *folder;
  }
  EXPECT_FALSE(platform.Exists(folders.front()));
}

// Portable or installed, by what lies beside the executable; the user's
// folders by the system's rules and the environment.
TEST_F(PlatformTest, ProgramFoldersFollowTheFormAndTheEnvironment) {
#ifdef _WIN32
  constexpr bool kWindows = true;
#else
  constexpr bool kWindows = false;
#endif
  std::string roaming = dir / "roaming";
  std::replace(roaming.begin(), roaming.end(), '/', '\\');  // as Windows sets it
  // Both systems' variables; each reads its own.
  const std::map<std::string, std::string> environment = {
      {"HOME", dir / "home"}, {"XDG_CONFIG_HOME", dir / "xdg-config"},
      {"XDG_DATA_HOME", dir / "xdg-data/"}, {"APPDATA", roaming}, {"LOCALAPPDATA", dir / "local"}};
  // The installed form's settings and user's folders, relative to dir.
  using Users = std::pair<const char*, const char*>;
  const Users kSet = {"xdg-config/korva-zid", "xdg-data/korva-zid"};
  const Users kDefault = {"home/.config/korva-zid", "home/.local/share/korva-zid"};
  const Users kWindowsUsers = {"roaming/korva-zid", "local/korva-zid"};
  struct Case {
    const char* name;
    const char* exe;                          // the executable's folder
    std::vector<const char*> made;            // files, and folders ending in "/"
    std::map<std::string, std::string> vars;  // variables changed ("" unsets)
    bool portable;
    Users posix;               // installed: where the user's files go on POSIX
    const char* posixProgram;  // on POSIX the program's own files, when not beside it
  };
  const std::vector<Case> cases = {
      {"a build folder", "build", {"build/portable", "build/data/"}, {}, true, {}, nullptr},
      {"a program folder with config.ini", "old", {"old/config.ini"}, {}, true, {}, nullptr},
      {"installed, variables set", "app", {"app/data/"}, {}, false, kSet, nullptr},
      {"installed, XDG variables unset", "app", {"app/data/"},
       {{"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", ""}}, false, kDefault, nullptr},
      {"installed, XDG variables not absolute", "app", {"app/data/"},
       {{"XDG_CONFIG_HOME", "relative"}, {"XDG_DATA_HOME", "~/data"}}, false, kDefault, nullptr},
      {"installed in a prefix", "usr/bin", {"usr/bin/", "usr/lib/korva-zid/data/"}, {}, false,
       kSet, "usr/lib/korva-zid"},
      {"a bin folder with data beside it", "opt/bin", {"opt/bin/data/", "opt/lib/korva-zid/data/"},
       {}, false, kSet, nullptr},
      {"a portable program in a bin folder", "p/bin", {"p/bin/portable", "p/lib/korva-zid/data/"},
       {}, true, {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string made : c.made) {
      if (made.back() == '/') {
        fs::create_directories(fs::u8path(dir / made));
      } else {
        WriteBytes(dir / made, "");
      }
    }
    std::map<std::string, std::string> vars = environment;
    for (const auto& [name, value] : c.vars) vars[name] = value;
    const ProgramFolders folders = FindProgramFolders(
        platform, dir / c.exe, [&](const std::string& name) { return vars[name]; });
    const std::string exe = dir / c.exe;
    EXPECT_EQ(folders.apart, !c.portable);
    if (c.portable) {
      EXPECT_EQ(folders.program, exe);
      EXPECT_EQ(folders.settings, exe);
      EXPECT_EQ(folders.user_files, exe);
      continue;
    }
    const Users users = kWindows ? kWindowsUsers : c.posix;
    EXPECT_EQ(folders.program, kWindows || !c.posixProgram ? exe : dir / c.posixProgram);
    EXPECT_EQ(folders.settings, dir / users.first);
    EXPECT_EQ(folders.user_files, dir / users.second);
    EXPECT_EQ(folders.mods(), dir / users.second + "/mods");
  }
  if (kWindows) return;
  // Without HOME the system's record of the user names the home folder.
  const std::string settings =
      FindProgramFolders(platform, dir / "app", [](const std::string&) { return ""; }).settings;
  const std::string tail = "/.config/korva-zid";
  EXPECT_TRUE(settings.size() > tail.size() + 1 && settings[0] == '/' &&
              settings.compare(settings.size() - tail.size(), tail.size(), tail) == 0)
      << settings;
  // A portable folder that its user may not write in is an installed one.
  WriteBytes(dir / "shared/portable", "");
  fs::permissions(fs::u8path(dir / "shared"), fs::perms::owner_write, fs::perm_options::remove);
  std::string said, whyNot;
  const bool ran = RunAsOrdinaryUser({dir.path()}, [&] {
    return FindProgramFolders(platform, dir / "shared",
                              [&](const std::string& name) { return environment.at(name); })
        .settings;
  }, &said, &whyNot);
  fs::permissions(fs::u8path(dir / "shared"), fs::perms::owner_write, fs::perm_options::add);
  if (!ran) GTEST_SKIP() << whyNot;
  EXPECT_EQ(said, dir / "xdg-config/korva-zid");
}

TEST_F(PlatformTest, MakeFoldersMakesEveryMissingFolderOnTheWay) {
  ASSERT_TRUE(MakeFolders(platform, dir / "a/b/c").ok());
  EXPECT_TRUE(platform.IsFolder(dir / "a/b/c"));
  EXPECT_TRUE(MakeFolders(platform, dir / "a/b").ok());  // there already
  WriteBytes(dir / "a/file", "x");
  Status status = MakeFolders(platform, dir / "a/file/d");
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.message().rfind(dir / "a/file", 0), 0u) << status.message();
}

}  // namespace
}  // namespace korva
