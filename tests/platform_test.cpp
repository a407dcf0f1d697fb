#include "platform/platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/text_file.h"
#include "tests/support/files.h"

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
  ASSERT_EQ(symlink("/", (dir / "link").c_str()), 0);
  EXPECT_TRUE(platform.IsLink(dir / "link"));
  EXPECT_TRUE(platform.IsFolder(dir / "link"));
  EXPECT_FALSE(platform.IsLink(dir / "folder"));
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

TEST_F(PlatformTest, ProgramsGetTheirArgumentsUnchanged) {
  std::vector<std::string> args = {"two words", "double\"quote", "single'quote", "$HOME",
                                   "a;b", "*", ""};
  std::vector<std::string> argv = {"/bin/sh", "-c", "printf '%s\\n' \"$@\" > \"$0\"; exit 7",
                                   dir / "out"};
  argv.insert(argv.end(), args.begin(), args.end());
  int exitStatus = -1;
  ASSERT_TRUE(platform.RunProgram(argv, &exitStatus).ok());
  EXPECT_EQ(exitStatus, 7);
  std::string expected;
  for (const std::string& arg : args) expected += arg + "\n";
  EXPECT_EQ(ReadBytes(dir / "out"), expected);

  EXPECT_FALSE(platform.RunProgram({dir / "no-such-program"}, &exitStatus).ok());
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
  EXPECT_TRUE(platform.CanRead(platform.ProgramFolder() + "/korva_tests"));
}

}  // namespace
}  // namespace korva
