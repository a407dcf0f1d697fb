#include <gtest/gtest.h>

#include "installer/mod_manager.h"
#include "platform/text_file.h"
#include "sample/sample_game.h"
#include "slots/slot_check.h"
#include "slots/slot_scan.h"
#include "slots/slot_usage.h"
#include "slots/slot_write.h"
#include "tests/support/files.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

// One entry of a table made for a test: its texts and its field sizes.
struct TestEntry {
  std::string path, name;
  int pathField = 48, nameField = 24;
};

TestEntry Placeholder(SlotKind kind, int i) {
  std::string number = "0" + std::to_string(i);
  return {KindInfo(kind).pathPrefix + number, KindInfo(kind).namePrefix + number};
}

std::vector<TestEntry> Placeholders(SlotKind kind) {
  std::vector<TestEntry> entries;
  for (int i = 0; i < kSlotsPerTable; ++i) entries.push_back(Placeholder(kind, i));
  return entries;
}

std::string Field(const std::string& text, int size) {
  std::string field = text;
  field.resize(static_cast<size_t>(size), '\0');
  return field;
}

std::string Splice(std::string bytes, size_t at, const std::string& part) {
  return bytes.replace(at, part.size(), part);
}

// The file of `kind` holding `entries` as its slot table (and, for kind C,
// the placeholder character records). Every other byte is a letter, so a
// write outside the fields shows.
std::string TableFile(SlotKind kind, const std::vector<TestEntry>& entries) {
  std::string bytes;
  auto fill = [&](size_t n) {
    for (size_t i = 0; i < n; ++i) bytes += static_cast<char>('a' + bytes.size() % 26);
  };
  fill(static_cast<size_t>(KindInfo(kind).tableStart));
  for (const TestEntry& e : entries) {
    fill(16);
    bytes += static_cast<char>(e.pathField);
    fill(3);
    bytes += Field(e.path, e.pathField) + static_cast<char>(e.nameField);
    fill(3);
    bytes += Field(e.name, e.nameField);
    fill(static_cast<size_t>(KindInfo(kind).gap));
  }
  fill(40);
  for (int n = 1; kind == SlotKind::C && n <= kPlaceCount; ++n) {
    size_t at = static_cast<size_t>(kRecordTableStart + kRecordSize * (n - 1));
    bytes = Splice(bytes, at, Field(PlaceholderCharacterName(n) + "\\", kFirstNameSize));
  }
  return bytes;
}

class SlotsTest : public ::testing::Test {
 protected:
  std::string File(SlotKind kind) { return game.path() + KindInfo(kind).file; }
  std::string Put(SlotKind kind, const std::vector<TestEntry>& entries) {
    WriteBytes(File(kind), TableFile(kind, entries));
    return ReadBytes(File(kind));
  }
  SlotTable Scan(SlotKind kind) {
    SlotTable table;
    Status status = ScanSlots(platform, game.path(), kind, &table);
    EXPECT_TRUE(status.ok()) << status.message();
    return table;
  }

  TestPlatform platform;
  TempFolder game;
};

const std::vector<int32_t> kAllFree = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

TEST_F(SlotsTest, AllPlaceholderTablesAreAllFree) {
  for (SlotKind kind : kAllSlotKinds) {
    Put(kind, Placeholders(kind));
    SlotTable table;
    for (int scan = 0; scan < 2; ++scan)
      ASSERT_TRUE(ScanSlots(platform, game.path(), kind, &table).ok());
    EXPECT_EQ(table.entries.size(), 10u);  // the second scan replaced the first's entries
    EXPECT_EQ(table.freeList, kAllFree);
    EXPECT_EQ(SlotLabel(kind, table), KindInfo(kind).label + std::string("10"));
    int gap = kind == SlotKind::A || kind == SlotKind::M ? 9 : 0;
    EXPECT_EQ(table.entries[1].pathOffset - table.entries[0].pathOffset, 24 + 48 + 24 + gap);
  }
}

TEST_F(SlotsTest, FreeOnlyWhenBothTextsBeginWithTheKindsPrefixes) {
  struct Case {
    const char* name;
    TestEntry entry;
    bool free;
  } cases[] = {
      {"numbered placeholder", {"Pawniks\\CSlt07", "CSlt07"}, true},
      {"leftover bytes after both prefixes", {"Pawniks\\CSltHeroTail", "CSlt"}, true},
      {"name shorter than its prefix", {"Pawniks\\CSlt01", "CSl"}, false},
      {"path of kind A", {"Pawniks\\ASlt01", "CSlt01"}, false},
      {"other case", {"pawniks\\cslt01", "CSlt01"}, false},
      {"a mod's texts", {"Chars\\Hero", "Hero"}, false},
  };
  for (const Case& c : cases) {
    std::vector<TestEntry> entries(10, TestEntry{"Chars\\Other", "Other"});
    entries[4] = c.entry;
    Put(SlotKind::C, entries);
    EXPECT_EQ(Scan(SlotKind::C).freeList, c.free ? std::vector<int32_t>{4} : std::vector<int32_t>{})
        << c.name;
  }
}

TEST_F(SlotsTest, FieldsAreReadAtTheStoredLengths) {
  std::vector<TestEntry> entries = Placeholders(SlotKind::C);
  entries[0] = {"Pawniks\\CSlt", "CSlt", 20, 4};  // 12 bytes of text, 8 NUL; name with no NUL
  entries[1] = {"Chars\\NoNulHere!", "Name", 16, 6};
  Put(SlotKind::C, entries);
  SlotTable table = Scan(SlotKind::C);
  const SlotEntry& first = table.entries[0];
  EXPECT_EQ(first.path, "Pawniks\\CSlt");
  EXPECT_EQ(first.pathOffset, KindInfo(SlotKind::C).tableStart + 20);
  EXPECT_EQ(first.pathLength, 20);
  EXPECT_EQ(first.nameOffset, first.pathOffset + 24);  // its length byte at E+40
  EXPECT_EQ(first.name, "CSlt");
  EXPECT_EQ(table.entries[1].path, "Chars\\NoNulHere!");
  EXPECT_EQ(table.entries[1].pathOffset, first.nameOffset + 4 + 20);
  EXPECT_EQ(table.freeList, std::vector<int32_t>({0, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(SlotsTest, ShortOrMissingTablesKeepTheEntriesRead) {
  std::string whole = TableFile(SlotKind::M, Placeholders(SlotKind::M));
  size_t fifth = static_cast<size_t>(KindInfo(SlotKind::M).tableStart) + 4 * (24 + 48 + 24 + 9);
  std::string pastEnd = whole.substr(0, fifth + 24 + 48 + 24 + 3);
  pastEnd[fifth + 20 + 48] = '\x7f';  // the fifth name length points past the end
  struct Case {
    const char* name;
    std::string bytes;  // "<missing>": no file
    size_t entries;
  } cases[] = {
      {"missing file", "<missing>", 0},
      {"file ends before the table", whole.substr(0, 100), 0},
      {"file ends inside the fifth entry", whole.substr(0, fifth + 30), 4},
      {"fifth name length points past the end", pastEnd, 4},
      {"file ends right after the tenth name", whole.substr(0, whole.size() - 40 - 9), 10},
  };
  for (const Case& c : cases) {
    platform.Remove(File(SlotKind::M));
    if (c.bytes != "<missing>") WriteBytes(File(SlotKind::M), c.bytes);
    SlotTable table;
    Status status = ScanSlots(platform, game.path(), SlotKind::M, &table);
    EXPECT_EQ(status.ok(), c.entries == 10) << c.name << ": " << status.message();
    EXPECT_EQ(table.entries.size(), c.entries) << c.name;
    EXPECT_EQ(table.freeCount, static_cast<int32_t>(c.entries)) << c.name;
  }
}

TEST_F(SlotsTest, GameCharsListsTheFirstNameFields) {
  std::string bytes = Put(SlotKind::C, Placeholders(SlotKind::C));
  std::vector<std::string> rows;
  ASSERT_TRUE(FillGameCharsList(platform, game.path(), &rows).ok());
  EXPECT_EQ(rows[0], "Mod_Char_01\\");
  EXPECT_EQ(rows[9], "Mod_Char_10\\");

  WriteBytes(File(SlotKind::C), Splice(bytes, kRecordTableStart + 64, "FifteenBytes15\\"));
  ASSERT_TRUE(FillGameCharsList(platform, game.path(), &rows).ok());
  EXPECT_EQ(rows[1], "FifteenBytes15\\");

  WriteBytes(File(SlotKind::C), bytes.substr(0, kRecordTableStart + 64 * 7 + 14));
  EXPECT_FALSE(FillGameCharsList(platform, game.path(), &rows).ok());
  EXPECT_EQ(rows[6], "Mod_Char_07\\");
  EXPECT_EQ(rows[7], "");
  EXPECT_EQ(rows.size(), 10u);
}

TEST_F(SlotsTest, AClaimWritesPaddedTextsIntoTheFirstFreeEntryOnly) {
  std::vector<TestEntry> entries(10, TestEntry{"Chars\\Taken", "Taken", 16, 8});
  for (int i : {2, 5, 7}) entries[static_cast<size_t>(i)] = {"Pawniks\\ASlt", "ASlt", 16, 8};
  std::string before = Put(SlotKind::A, entries);
  SlotTable table = Scan(SlotKind::A);
  const SlotEntry second = table.entries[2], fifth = table.entries[5];

  ASSERT_TRUE(
      ClaimFreeSlot(platform, game.path(), SlotKind::A, "Anims\\Hero", "Hero", &table).ok());
  std::string expected = Splice(before, second.pathOffset, Field("Anims\\Hero", 16));
  expected = Splice(expected, second.nameOffset, Field("Hero", 8));
  EXPECT_EQ(ReadBytes(File(SlotKind::A)), expected);  // length bytes and all else as they were
  EXPECT_EQ(table.freeList, std::vector<int32_t>({5, 7}));

  ASSERT_TRUE(
      ClaimFreeSlot(platform, game.path(), SlotKind::A, "Anims\\16ByteLong", "8BytesNm", &table)
          .ok());
  expected = Splice(expected, fifth.pathOffset, "Anims\\16ByteLong");
  expected = Splice(expected, fifth.nameOffset, "8BytesNm");
  EXPECT_EQ(ReadBytes(File(SlotKind::A)), expected);
  EXPECT_EQ(table.freeList, std::vector<int32_t>({7}));
  EXPECT_EQ(table.entries[5].path, "Anims\\16ByteLong");
}

TEST_F(SlotsTest, AClaimThatCannotBeWrittenWritesNothing) {
  std::string before = Put(SlotKind::C, Placeholders(SlotKind::C));
  SlotTable table;
  struct Case {
    const char* name;
    std::string path, name_;
  } cases[] = {
      {"path longer than its field", std::string(49, 'p'), "Hero"},
      {"name longer than its field", "Chars\\Hero", std::string(25, 'n')},
      {"empty name", "Chars\\Hero", ""},
      {"NUL in the path", std::string("Chars\\He\0ro", 11), "Hero"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(ClaimFreeSlot(platform, game.path(), SlotKind::C, c.path, c.name_, &table).ok())
        << c.name;
    EXPECT_EQ(ReadBytes(File(SlotKind::C)), before) << c.name;
  }
  Put(SlotKind::C, std::vector<TestEntry>(10, TestEntry{"Chars\\Taken", "Taken"}));
  EXPECT_FALSE(
      ClaimFreeSlot(platform, game.path(), SlotKind::C, "Chars\\Hero", "Hero", &table).ok());
}

TEST_F(SlotsTest, ReleaseWritesThePrefixesIntoTheExactMatchOnly) {
  std::vector<TestEntry> entries = Placeholders(SlotKind::C);
  entries[1] = {"Chars\\HeroicTwentyByte", "HeroicTwin"};  // shares its first letters
  entries[3] = {"Chars\\Hero", "Hero"};
  std::string before = Put(SlotKind::C, entries);
  SlotTable table = Scan(SlotKind::C);
  const SlotEntry hero = table.entries[3];
  bool released = false;

  ASSERT_TRUE(
      ReleaseSlot(platform, game.path(), SlotKind::C, "Chars\\He", "He", &table, &released).ok());
  EXPECT_FALSE(released);
  EXPECT_EQ(ReadBytes(File(SlotKind::C)), before);

  ASSERT_TRUE(
      ReleaseSlot(platform, game.path(), SlotKind::C, "Chars\\Hero", "Hero", &table, &released)
          .ok());
  EXPECT_TRUE(released);
  std::string expected = Splice(before, hero.pathOffset, "Pawniks\\CSlt");
  EXPECT_EQ(ReadBytes(File(SlotKind::C)), Splice(expected, hero.nameOffset, "CSlt"));
  EXPECT_EQ(Scan(SlotKind::C).freeList, std::vector<int32_t>({0, 2, 3, 4, 5, 6, 7, 8, 9}));

  // A 22-byte text keeps its tail after the prefix and counts as free again.
  ASSERT_TRUE(ReleaseSlot(platform, game.path(), SlotKind::C, "Chars\\HeroicTwentyByte",
                          "HeroicTwin", &table, &released)
                  .ok());
  EXPECT_EQ(table.entries[1].path, "Pawniks\\CSltTwentyByte");
  EXPECT_EQ(table.entries[1].name, "CSlticTwin");
  EXPECT_EQ(table.freeCount, 10);
}

TEST_F(SlotsTest, ReleaseNeverWritesPastAFieldShorterThanThePrefix) {
  std::vector<TestEntry> entries = Placeholders(SlotKind::F);
  entries[0] = {"F\\Hero", "Hro", 8, 3};
  std::string before = Put(SlotKind::F, entries);
  SlotTable table;
  bool released = true;
  EXPECT_FALSE(
      ReleaseSlot(platform, game.path(), SlotKind::F, "F\\Hero", "Hro", &table, &released).ok());
  EXPECT_FALSE(released);
  EXPECT_EQ(ReadBytes(File(SlotKind::F)), before);
}

TEST_F(SlotsTest, CharacterRecordsGetTheirNameFields) {
  struct Case {
    const char* name;
    int number;
    std::string dataName;  // "": the placeholder
    std::string first, second;
  } cases[] = {
      {"13 bytes", 2, "ThirteenBytes", std::string("ThirteenBytes\\\0", 15),
       std::string("ThirteenBytes\0", 14)},
      {"14 bytes", 3, "FourteenBytes!", "FourteenBytes!\\", "FourteenBytes!"},
      {"16 bytes", 4, "SixteenBytesLong", "SixteenBytesLo\\", "SixteenBytesLo"},
      {"placeholder of place 1", 1, "", std::string("Mod_Char_01\\\0\0\\", 15),
       std::string("Mod_Char_01\0\0\0", 14)},
      {"placeholder of place 10", 10, "", std::string("Mod_Char_10\\\0\0\\", 15),
       std::string("Mod_Char_10\0\0\0", 14)},
  };
  for (const Case& c : cases) {
    std::string before = Put(SlotKind::C, Placeholders(SlotKind::C));
    Status status = c.dataName.empty()
                        ? WritePlaceholderRecord(platform, game.path(), c.number)
                        : WriteCharacterRecord(platform, game.path(), c.number, c.dataName);
    ASSERT_TRUE(status.ok()) << c.name << ": " << status.message();
    size_t at = static_cast<size_t>(64 * c.number + 74230);
    EXPECT_EQ(ReadBytes(File(SlotKind::C)), Splice(Splice(before, at, c.first), at + 20, c.second))
        << c.name;
  }
  ASSERT_TRUE(WriteCharacterRecord(platform, game.path(), 5, "MyHero").ok());
  std::vector<std::string> rows;
  ASSERT_TRUE(FillGameCharsList(platform, game.path(), &rows).ok());
  EXPECT_EQ(rows[4], "MyHero\\");
}

TEST_F(SlotsTest, CharacterRecordsAreNeverWrittenIntoShortFilesOrOtherPlaces) {
  std::string before = Put(SlotKind::C, Placeholders(SlotKind::C));
  for (int number : {0, 11, -1}) {
    EXPECT_FALSE(WriteCharacterRecord(platform, game.path(), number, "Hero").ok()) << number;
    EXPECT_FALSE(WritePlaceholderRecord(platform, game.path(), number).ok()) << number;
  }
  EXPECT_EQ(ReadBytes(File(SlotKind::C)), before);
  std::string shortFile = before.substr(0, kRecordTableStart + 64 * 10 - 1);
  WriteBytes(File(SlotKind::C), shortFile);
  EXPECT_FALSE(WriteCharacterRecord(platform, game.path(), 1, "Hero").ok());
  EXPECT_EQ(ReadBytes(File(SlotKind::C)), shortFile);
}

TEST_F(SlotsTest, SlotUseIsRecordedInClaimOrderWithCrLf) {
  Put(SlotKind::C, Placeholders(SlotKind::C));
  ASSERT_TRUE(RecordSlotUse(platform, game.path(), 3, "Chars\\Hero", "Hero", SlotKind::C).ok());
  ASSERT_TRUE(RecordSlotUse(platform, game.path(), 3, "Chars\\Hero2", "Hero2", SlotKind::C).ok());
  ASSERT_TRUE(RecordSlotUse(platform, game.path(), 3, "Faces\\Hero", "HeroF", SlotKind::F).ok());
  EXPECT_EQ(ReadBytes(game / "chars/slots_char_3"),
            "add_charslot=Chars\\Hero=Hero\r\nadd_charslot=Chars\\Hero2=Hero2\r\n"
            "add_faceslot=Faces\\Hero=HeroF\r\n");
  EXPECT_FALSE(RecordSlotUse(platform, game.path(), 10, "P", "N", SlotKind::C).ok());
  EXPECT_FALSE(FileExists(game / "chars/slots_char_10"));
}

// Tables of every kind holding the claims of two places, as installs leave them.
class SlotUsageTest : public SlotsTest {
 protected:
  void SetUp() override {
    for (SlotKind kind : kAllSlotKinds) Put(kind, Placeholders(kind));
    Claim(1, SlotKind::C, "Chars\\HeroX", "HeroX");  // place 1's text begins with place 0's
    Claim(0, SlotKind::C, "Chars\\Hero", "Hero");
    Claim(0, SlotKind::A, "Anims\\Hero", "Hero");
    Claim(0, SlotKind::C, "Chars\\Hero", "Hero");  // the same character installed twice
    Claim(0, SlotKind::F, "Faces\\Hero", "Hero");
    Claim(0, SlotKind::M, "Misc\\Hero", "Hero");
  }
  void Claim(int place, SlotKind kind, const std::string& path, const std::string& name) {
    ASSERT_TRUE(
        ClaimFreeSlot(platform, game.path(), kind, path, name, &tables[static_cast<size_t>(kind)])
            .ok());
    ASSERT_TRUE(RecordSlotUse(platform, game.path(), place, path, name, kind).ok());
  }
  std::vector<int32_t> Free(SlotKind kind) { return Scan(kind).freeList; }

  SlotTables tables;
};

TEST_F(SlotUsageTest, ReleasingAPlaceFreesExactlyItsEntriesAndDeletesItsFile) {
  AppendText(platform, game / "chars/slots_char_0",
             "add_charslot=Chars\\HeroX\nadd_slot=Chars\\HeroX=HeroX\n =add_charslot=  \n");
  ASSERT_TRUE(ReleaseCharacterSlots(platform, game.path(), 0, &tables).ok());
  EXPECT_FALSE(FileExists(game / "chars/slots_char_0"));
  EXPECT_EQ(Free(SlotKind::C), std::vector<int32_t>({1, 2, 3, 4, 5, 6, 7, 8, 9}));  // HeroX kept
  EXPECT_EQ(Scan(SlotKind::C).entries[0].path, "Chars\\HeroX");
  for (SlotKind kind : {SlotKind::A, SlotKind::F, SlotKind::M}) EXPECT_EQ(Free(kind), kAllFree);
  EXPECT_EQ(tables[0].freeCount, 9);

  // A place that never had a usage file.
  std::map<std::string, std::string> files = Snapshot(game.path());
  EXPECT_TRUE(ReleaseCharacterSlots(platform, game.path(), 5, &tables).ok());
  EXPECT_EQ(Snapshot(game.path()), files);
}

TEST_F(SlotUsageTest, EntriesThatCouldNotBeReleasedStayListed) {
  platform.Fail(Op::WriteAt, "mods_faces");
  Status status = ReleaseCharacterSlots(platform, game.path(), 0, &tables);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("injected failure"), std::string::npos) << status.message();
  EXPECT_EQ(ReadBytes(game / "chars/slots_char_0"), "add_faceslot=Faces\\Hero=Hero\r\n");
  EXPECT_EQ(Free(SlotKind::F), std::vector<int32_t>({1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(Free(SlotKind::M), kAllFree);

  platform.Fail(Op::ReadFile, "slots_char_0");
  EXPECT_FALSE(ReleaseCharacterSlots(platform, game.path(), 0, &tables).ok());
  EXPECT_TRUE(FileExists(game / "chars/slots_char_0"));
  ASSERT_TRUE(ReleaseCharacterSlots(platform, game.path(), 0, &tables).ok());
  EXPECT_EQ(Free(SlotKind::F), kAllFree);
}

TEST_F(SlotsTest, TheInstallCheckPlacesPairsInTheFreeEntriesInTableOrder) {
  std::vector<TestEntry> entries(10, TestEntry{"Anims\\Taken", "Taken"});
  entries[2] = {"Pawniks\\ASlt02", "ASlt02", 16, 8};
  entries[5] = {"Pawniks\\ASlt05", "ASlt05", 14, 8};
  Put(SlotKind::A, entries);
  SlotTable a = Scan(SlotKind::A), none;
  std::vector<SlotRequest> anims = {{"Anims\\Hero16Byte", "Hero"}, {"Anims\\Hero16Byte", "Hero"}};
  SlotCheck check;
  CheckSlotRoom(SlotKind::A, a, anims, &check);
  CheckSlotRoom(SlotKind::C, none, {}, &check);  // no slot needed, none free
  EXPECT_EQ(check.shortOf, (std::array<bool, 4>{false, false, false, false}));
  ASSERT_EQ(check.misfits.size(), 1u);
  EXPECT_EQ(check.misfits[0],
            "The slot path \"Anims\\Hero16Byte\" (16 bytes) does not fit the "
            "14-byte path field of A slot entry 6.");

  anims.push_back({"A", "B"});
  check = SlotCheck();
  CheckSlotRoom(SlotKind::A, a, anims, &check);
  CheckSlotRoom(SlotKind::C, none, {{"C", "D"}}, &check);
  EXPECT_EQ(check.shortOf, (std::array<bool, 4>{true, true, false, false}));
  EXPECT_FALSE(check.ok());
}

TEST_F(SlotsTest, StartUpShowsTheRecordsAndTheFreeCounts) {
  RecordingView view;
  // A whole game and the prepared data, so that only the tables are news.
  // The game's own character file makes way for the prepared one at start.
  MakeSampleGame(game.path());
  CopyBuiltData(game / "program");
  platform.set_program_folder(game / "program");
  WriteBytes(game / "program/config.ini", "KorvaPath=" + game.path() + "\r\n");
  for (SlotKind kind : kAllSlotKinds) Put(kind, Placeholders(kind));
  std::vector<TestEntry> m = Placeholders(SlotKind::M);
  m[9] = {"Misc\\Hero", "Hero"};
  Put(SlotKind::M, m);
  ModManager manager(platform, view);
  ASSERT_TRUE(manager.StartUp());
  EXPECT_EQ(view.messages, std::vector<std::string>());
  EXPECT_EQ(view.game_char_rows.size(), 10u);
  EXPECT_EQ(view.game_char_rows[9], "Mod_Char_10\\");
  EXPECT_EQ(view.slot_labels, (std::array<std::string, 4>{"C: 10", "A: 10", "F: 10", "M: 9"}));

  ASSERT_TRUE(manager.ClaimFreeSlot(SlotKind::C, "Chars\\Hero", "Hero").ok());
  ASSERT_TRUE(manager.WriteCharacterRecord(3, "Hero").ok());
  EXPECT_EQ(view.slot_labels[0], "C: 9");
  EXPECT_EQ(view.game_char_rows[2], "Hero\\");
}

// Tables that were changed behind the program's back (here by the calls
// above, made outside any operation, and by a cut-short F file) are not the
// program's any more: the start asks, and on No shows them as unknown.
TEST_F(SlotsTest, StartUpShowsChangedTablesAsUnknown) {
  RecordingView view;
  MakeSampleGame(game.path());
  CopyBuiltData(game / "program");
  platform.set_program_folder(game / "program");
  WriteBytes(game / "program/config.ini", "KorvaPath=" + game.path() + "\r\n");
  {
    ModManager manager(platform, view);
    ASSERT_TRUE(manager.StartUp());
    ASSERT_TRUE(manager.WriteCharacterRecord(3, "Hero").ok());
  }
  WriteBytes(File(SlotKind::F), ReadBytes(File(SlotKind::F)).substr(0, 2000));
  view.messages.clear();
  ModManager manager(platform, view);
  ASSERT_TRUE(manager.StartUp());
  ASSERT_EQ(view.questions.size(), 1u);
  EXPECT_NE(view.questions[0].find(File(SlotKind::C) + " (changed)"), std::string::npos);
  EXPECT_NE(view.questions[0].find(File(SlotKind::F) + " (changed)"), std::string::npos);
  EXPECT_EQ(view.slot_labels, (std::array<std::string, 4>{"C: ?", "A: 10", "F: ?", "M: 10"}));
  EXPECT_EQ(view.game_char_rows, std::vector<std::string>(10));
  EXPECT_EQ(view.messages, std::vector<std::string>());
}

// A missing A file that start-up cannot add again (its prepared version is
// gone too) is said by the backups step, not by the scan; a short F file by
// the scan.
TEST_F(SlotsTest, StartUpSaysWhatTablesItCannotReadOrAdd) {
  RecordingView view;
  MakeSampleGame(game.path());
  CopyBuiltData(game / "program");
  platform.set_program_folder(game / "program");
  WriteBytes(game / "program/config.ini", "KorvaPath=" + game.path() + "\r\n");
  platform.Remove(game / "program/data/mods_pawnik.cpj");
  WriteBytes(game / "program/data/mods_faces.cpj",
             ReadBytes(game / "program/data/mods_faces.cpj").substr(0, 2000));
  ModManager manager(platform, view);
  ASSERT_TRUE(manager.StartUp());
  ASSERT_EQ(view.messages.size(), 2u);
  EXPECT_EQ(view.messages[0].rfind("Not every game file could be backed up or prepared:\n" +
                                       File(SlotKind::A) + ": could not be added",
                                   0),
            0u)
      << view.messages[0];
  EXPECT_NE(view.messages[1].find(File(SlotKind::F)), std::string::npos) << view.messages[1];
  EXPECT_EQ(view.slot_labels[1], "A: 0");
  EXPECT_EQ(view.slot_labels[2], "F: 1");
}

// The data folder's prepared tables, as the build generates them.
TEST(PreparedTablesTest, EveryTableIsAllFreeAndEveryPlaceEmpty) {
  std::string data = BuiltProgramFolder() + "/data";
  if (!FileExists(data + "/quorin_pawnik.cpj")) GTEST_SKIP() << "no generated data in " << data;
  TempFolder game;
  for (SlotKind kind : kAllSlotKinds) {
    std::string file = KindInfo(kind).file;
    WriteBytes(game.path() + file, ReadBytes(data + file.substr(file.rfind('/'))));
    SlotTable table;
    ASSERT_TRUE(ScanSlots(SystemPlatform(), game.path(), kind, &table).ok());
    EXPECT_EQ(table.freeList, kAllFree);
    EXPECT_EQ(SlotLabel(kind, table), KindInfo(kind).label + std::string("10"));
  }
  std::vector<std::string> rows;
  ASSERT_TRUE(FillGameCharsList(SystemPlatform(), game.path(), &rows).ok());
  for (int n = 1; n <= kPlaceCount; ++n) EXPECT_EQ(rows[n - 1], PlaceholderCharacterName(n) + "\\");
}

}  // namespace
}  // namespace korva
