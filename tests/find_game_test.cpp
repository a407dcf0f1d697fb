// Where the game is installed: Steam's library lists (VDF) and the search
// of this system's records, as the first start's dialog and find-game use it.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "installer/mod_manager.h"
#include "platform/platform.h"
#include "platform/vdf.h"
#include "tests/support/files.h"
#include "tests/support/recording_view.h"
#include "tests/support/system.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

// Entries as "key=value;" and "key{...}".
std::string Shown(const std::vector<VdfEntry>& entries) {
  std::string shown;
  for (const VdfEntry& entry : entries) {
    shown +=
        entry.key + (entry.section ? "{" + Shown(entry.entries) + "}" : "=" + entry.value + ";");
  }
  return shown;
}

const char kSteamLibraries[] =
    R"("libraryfolders"
{
	"0"
	{
		"path"		"C:\\Program Files (x86)\\Steam"
		"label"		""
		"apps"
		{
			"228980"		"1"
		}
	}
	"1"	{ "label" "second" "path" "D:\\SteamLibrary" }
	"2"	{ "label" "no path" }
})";

TEST(VdfTest, ReadsEntriesAndLibrariesOrRefusesNamingFileAndLine) {
  std::string deep;  // 100 sections, each in the one before
  for (int i = 0; i < 100; ++i) deep += "a {";
  struct Case {
    const char* name;
    std::string text;
    bool libraries;        // read as libraryfolders.vdf: folders joined by "|"
    std::string expected;  // or "refused: " and the message
  } cases[] = {
      {"nested sections", R"("a" { "b" { "c" "d" } "e" "f" } "g" "h")", false,
       "a{b{c=d;}e=f;}g=h;"},
      {"escapes", R"("k" "C:\\Steam \"x\" 1\n2\t3")", false, "k=C:\\Steam \"x\" 1\n2\t3;"},
      {"a backslash before another letter stands", R"("p" "D:\SteamLibrary")", false,
       "p=D:\\SteamLibrary;"},
      {"odd spacing", "\xEF\xBB\xBF\r\n\t \"a\"\t\t{\r\n\"b\"   \"c\"}\"d\"\"e\"\n\n", false,
       "a{b=c;}d=e;"},
      {"comments", "// head\n\"a\" // key\n{ // brace\n \"u\" \"http://x//y\" // value\n}\n// end",
       false, "a{u=http://x//y;}"},
      {"bare words", "a { b c  d\"e\" }", false, "a{b=c;d=e;}"},
      {"nothing", "", false, ""},
      {"cut off in a section", "\"libraryfolders\"\n{\n\"0\" { \"path\" \"x\" }\n", false,
       "refused: f.vdf: line 4: the file is cut off: the section \"libraryfolders\" opened on line "
       "2 is not closed"},
      {"cut off in a quoted text", "\"a\" \"b", false,
       "refused: f.vdf: line 1: the file is cut off: a quoted text is not closed"},
      {"cut off after an escape", "\"a\" \"b\\", false,
       "refused: f.vdf: line 1: the file is cut off: a quoted text is not closed"},
      {"cut off after a key", "\"a\" \"x\ny\"\n\"b\"", false,
       "refused: f.vdf: line 3: the key \"b\" has no value (the file is cut off)"},
      {"a key without a value", "\"a\" { \"b\" }", false,
       "refused: f.vdf: line 1: the key \"b\" has no value"},
      {"a brace too many", "\"a\" \"b\"\n}", false,
       "refused: f.vdf: line 2: a \"}\" closes no section"},
      {"a section without a name", "{ \"a\" \"b\" }", false,
       "refused: f.vdf: line 1: a section has no name"},
      {"nested too deep", deep, false, "refused: f.vdf: line 1: sections are nested deeper than 64"},
      {"libraries since 2021", kSteamLibraries, true,
       "C:\\Program Files (x86)\\Steam|D:\\SteamLibrary"},
      {"libraries before 2021",
       R"("LibraryFolders" { "TimeNextStatsReport" "1700000000" "ContentStatsID" "-42"
          "1" "D:\\SteamLibrary" "2" "/mnt/games/SteamLibrary" })",
       true, "D:\\SteamLibrary|/mnt/games/SteamLibrary"},
      {"no library list", R"("other" { "1" "D:\\x" })", true,
       "refused: f.vdf: no \"libraryfolders\" section, so it names no Steam library"},
      {"a cut-off library list", R"("libraryfolders" { "0" { "path" "D:\\x")", true,
       "refused: f.vdf: line 1: the file is cut off: the section \"0\" opened on line 1 is not "
       "closed"},
  };
  for (const Case& c : cases) {
    std::string got;
    Status read;
    if (c.libraries) {
      std::vector<std::string> folders;
      read = SteamLibraryFolders("f.vdf", c.text, &folders);
      for (const std::string& folder : folders) got += (got.empty() ? "" : "|") + folder;
    } else {
      std::vector<VdfEntry> entries;
      read = ParseVdf("f.vdf", c.text, &entries);
      got = Shown(entries);
    }
    EXPECT_EQ(read.ok() ? got : "refused: " + read.message(), c.expected) << c.name;
  }

  // Every cut of a library list is refused, naming the file and a line.
  const std::string whole = kSteamLibraries;
  for (size_t size = 1; size < whole.size(); ++size) {
    std::vector<std::string> folders;
    Status read = SteamLibraryFolders("f.vdf", whole.substr(0, size), &folders);
    EXPECT_FALSE(read.ok()) << size;
    EXPECT_EQ(read.message().compare(0, 12, "f.vdf: line "), 0) << size << ": " << read.message();
    EXPECT_TRUE(folders.empty()) << size;
  }
}

// A Steam library list as Steam writes it: its own folder first, paths
// written the system's way with "\" doubled.
std::string LibraryList(const std::vector<std::string>& libraries, bool since2021) {
  std::string text = since2021
                         ? "\"libraryfolders\"\n{\n"
                         : "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1700000000\"\n";
  for (size_t i = 0; i < libraries.size(); ++i) {
    std::string path;
    for (char c : MadeUpInstallRecords::Written(libraries[i])) {
      path += c == '\\' ? "\\\\" : std::string(1, c);
    }
    const std::string key = "\t\"" + std::to_string(since2021 ? i : i + 1) + "\"";
    text += since2021
                ? key + "\n\t{\n\t\t\"path\"\t\t\"" + path + "\"\n\t\t\"label\"\t\t\"\"\n\t}\n"
                : key + "\t\t\"" + path + "\"\n";
  }
  return text + "}\n";
}

// None, one, two and three installs, found through the system's records of
// Steam (and GOG where it keeps them), and the first start's dialog opening
// at the first of them.
TEST(FindGameTest, ListsEveryInstallOnceAndTheDialogOpensAtTheFirst) {
  TempFolder root, program;
  MadeUpInstallRecords records(root.path());
  const std::string steam = records.SteamFolder();
  const std::string library = root / "Other Drive/SteamLibrary";
  const std::string gog = root / "GOG Games/Korva Quorin";
  const std::string inSteam = steam + "/steamapps/common/Korva Quorin/KORVAQUORIN.exe";
  const std::string inLibrary = library + "/steamapps/common/KQ/korvaquorin.EXE";
  const std::string inGog = gog + "/KORVAQUORIN.exe";
  const std::string bothNew = LibraryList({steam, library}, true);
  const std::string bothOld = LibraryList({library}, false);
  struct Case {
    const char* name;
    std::string list;  // libraryfolders.vdf
    std::vector<std::string> games;
    bool recordGog;
    std::vector<std::string> expected;
    const char* problem;
  } cases[] = {
      {"none", bothNew, {}, false, {}, ""},
      {"one", bothNew, {inSteam}, false, {inSteam}, ""},
      {"two", bothNew, {inSteam, inLibrary}, false, {inSteam, inLibrary}, ""},
      {"two, listed as before 2021", bothOld, {inSteam, inLibrary}, false, {inSteam, inLibrary}, ""},
      {"a cut-off list", bothNew.substr(0, bothNew.size() / 2), {inSteam, inLibrary}, false,
       {inSteam}, "libraryfolders.vdf: line "},
      {"three, one of them GOG's", bothNew, {inSteam, inLibrary, inGog}, true,
       {inSteam, inLibrary, inGog}, ""},
  };
  for (const Case& c : cases) {
    std::string whyNot;
    if (c.recordGog && !records.AddGogGame(gog, &whyNot)) {
      std::cout << c.name << ": passed over: " << whyNot << "\n";
      continue;
    }
    for (const std::string& folder : {steam, library, gog}) {
      std::filesystem::remove_all(std::filesystem::u8path(folder));
    }
    WriteBytes(steam + "/steamapps/libraryfolders.vdf", c.list);
    WriteBytes(steam + "/steamapps/common/Other Game/other.exe", "");
    for (const std::string& game : c.games) WriteBytes(game, "");

    std::vector<std::string> problems;
    EXPECT_EQ(FindGameInstalls(&problems), c.expected) << c.name;
    if (*c.problem == '\0') {
      EXPECT_TRUE(problems.empty()) << c.name << ": " << testing::PrintToString(problems);
    } else {
      ASSERT_EQ(problems.size(), 1u) << c.name;
      EXPECT_NE(problems[0].find(c.problem), std::string::npos) << c.name << ": " << problems[0];
    }

    TestPlatform platform;
    platform.set_program_folder(program.path());
    RecordingView view;
    view.cancel_dialog = true;
    ModManager manager(platform, view);
    EXPECT_FALSE(manager.StartUp());
    EXPECT_EQ(view.dialog_folder, c.expected.empty() ? "" : ParentFolder(c.expected[0])) << c.name;
    EXPECT_EQ(view.dialog_file, c.expected.empty() ? "" : "KORVAQUORIN.exe") << c.name;
  }
}

}  // namespace
}  // namespace korva
