// Where the game is installed: Steam's library lists (VDF).
#include <gtest/gtest.h>


#include "platform/vdf.h"

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

}  // namespace
}  // namespace korva
