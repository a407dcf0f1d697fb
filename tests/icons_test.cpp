// The icon page edit cycle with our converter, on a generated 1280 x 3584
// page whose 280 cells all hold different pictures, and the icon map.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "icons/icon_map.h"
#include "icons/icon_page.h"
#include "icons/icon_picture.h"
#include "platform/read_limits.h"
#include "installer/mod_manager.h"
#include "tests/support/files.h"
#include "tests/support/icon_pictures.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

const char kPage[] = "stuff/icons/icontpage_nxg.tex";

// Writes a stand-in program that runs `script` (see stand_in.cpp).
void WriteScript(const std::string& path, const std::string& script) { WriteStandIn(path, script); }

class IconPageTest : public ::testing::Test {
 protected:
  // The page file and its decoding, made once: encoding a drawn page is slow.
  static const std::string& PageFile() {
    static const std::string bytes = [] {
      std::string dds;
      EXPECT_TRUE(EncodeDds(DrawIconPage(), &dds).ok());
      return dds;
    }();
    return bytes;
  }
  static const RgbaImage& Original() {
    static const RgbaImage page = [] {
      RgbaImage decoded;
      EXPECT_TRUE(DecodeDds(PageFile(), &decoded).ok());
      return decoded;
    }();
    return page;
  }

  void SetUp() override { WriteBytes(game / kPage, PageFile()); }

  RgbaImage PageNow() {
    RgbaImage page;
    std::string bytes;
    Status status = SystemPlatform().ReadFile(game / kPage, kIconPageLimit, &bytes);  // in any case
    if (status.ok()) status = DecodeDds(bytes, &page);
    EXPECT_TRUE(status.ok()) << status.message();
    return page;
  }

  // Every cell of the page holds the original picture of the cell that
  // `from` names for it, or its own.
  void ExpectCells(const RgbaImage& page, const std::map<int, int>& from) {
    ASSERT_EQ(page.width, 1280);
    ASSERT_EQ(page.height, 3584);
    for (int cell = 0; cell <= kLastIconCell; ++cell) {
      auto moved = from.find(cell);
      int source = moved == from.end() ? cell : moved->second;
      EXPECT_TRUE(CellOf(page, cell) == CellOf(Original(), source))
          << "cell " << cell << " should hold the picture of cell " << source;
    }
  }

  void ExpectOnlyThePageInTheIconFolder() {
    std::vector<std::string> names;
    ASSERT_TRUE(SystemPlatform().ListFolder(game / "stuff/icons", &names).ok());
    EXPECT_EQ(names, std::vector<std::string>{"icontpage_nxg.tex"});
  }

  // A program folder whose tools/crunch.exe is the given script.
  std::string FakeConverter(const std::string& body) {
    WriteScript(fakeProgram / "tools/crunch.exe", body);
    return fakeProgram.path();
  }

  TempFolder game, fakeProgram, files;
  TestPlatform platform;
  const std::string program = BuiltProgramFolder();
  const std::string realConverter = BuiltProgramFolder() + "/tools/crunch.exe";
};

TEST_F(IconPageTest, PasteIntoTheFirstAndLastModCell) {
  RgbaImage icon = DrawIcon(1000);
  ASSERT_TRUE(WriteTgaFile(files / "icon.tga", icon).ok());
  // The pasted blocks are encoded as the icon alone would be.
  std::string iconDds;
  ASSERT_TRUE(EncodeDds(icon, &iconDds).ok());
  RgbaImage expected;
  ASSERT_TRUE(DecodeDds(iconDds, &expected).ok());

  ASSERT_TRUE(PasteIconCell(platform, game.path(), program, files / "icon.tga", 260).ok());
  RgbaImage page = PageNow();
  RgbaImage at0x3328(128, 128), at1152x3456(128, 128);
  for (int y = 0; y < 128; ++y) {
    std::memcpy(at0x3328.At(0, y), page.At(0, 3328 + y), 128 * 4);
  }
  EXPECT_TRUE(at0x3328 == expected);
  ExpectOnlyThePageInTheIconFolder();

  ASSERT_TRUE(PasteIconCell(platform, game.path(), program, files / "icon.tga", 279).ok());
  page = PageNow();
  for (int y = 0; y < 128; ++y) {
    std::memcpy(at1152x3456.At(0, y), page.At(1152, 3456 + y), 128 * 4);
  }
  EXPECT_TRUE(at1152x3456 == expected);
  EXPECT_TRUE(CellOf(page, 260) == expected);
  for (int cell = 0; cell < 279; ++cell) {
    if (cell != 260) EXPECT_TRUE(CellOf(page, cell) == CellOf(Original(), cell)) << cell;
  }
  ExpectOnlyThePageInTheIconFolder();
  EXPECT_EQ(platform.CountCalls(Op::RunProgram), 4);
}

TEST_F(IconPageTest, AnIconWithoutAlphaIsPastedOpaque) {
  // A 24-bit TGA (top-left origin), pure green, as many paint programs save one.
  std::string tga(18, '\0');
  tga[2] = 2;
  tga[12] = tga[14] = static_cast<char>(128);
  tga[16] = 24;
  tga[17] = 0x20;
  for (int i = 0; i < 128 * 128; ++i) tga += std::string("\x00\xff\x00", 3);
  WriteBytes(files / "opaque.tga", tga);

  ASSERT_TRUE(PasteIconCell(platform, game.path(), program, files / "opaque.tga", 262).ok());
  RgbaImage green(128, 128);
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      uint8_t* pixel = green.At(x, y);
      pixel[1] = pixel[3] = 255;
    }
  }
  RgbaImage page = PageNow();
  EXPECT_TRUE(CellOf(page, 262) == green);
  EXPECT_TRUE(CellOf(page, 261) == CellOf(Original(), 261));
  // Shown as the page takes it, as is an icon with soft edges.
  IconPicture shown;
  ASSERT_TRUE(ReadIconPicture(platform, files / "opaque.tga", &shown).ok());
  EXPECT_TRUE(shown.width == 128 && shown.height == 128 && shown.rgba == green.pixels);
  ASSERT_TRUE(WriteTgaFile(files / "soft.tga", DrawIcon(7)).ok());
  ASSERT_TRUE(ReadIconPicture(platform, files / "soft.tga", &shown).ok());
  EXPECT_TRUE(shown.rgba == DrawIcon(7).pixels);
}

TEST_F(IconPageTest, OpenMovesLaterCellsUpFromTheEnd) {
  ASSERT_TRUE(OpenIconCells(platform, game.path(), program, 261, 1).ok());
  std::map<int, int> from;
  for (int cell = 262; cell <= 279; ++cell) from[cell] = cell - 1;  // 279 loses its picture
  ExpectCells(PageNow(), from);
  ExpectOnlyThePageInTheIconFolder();
}

TEST_F(IconPageTest, CloseMovesLaterCellsDown) {
  ASSERT_TRUE(CloseIconCells(platform, game.path(), program, 262, 2).ok());
  std::map<int, int> from;
  for (int cell = 262; cell <= 277; ++cell) from[cell] = cell + 2;  // 278, 279 keep theirs
  ExpectCells(PageNow(), from);
  ExpectOnlyThePageInTheIconFolder();
}

TEST_F(IconPageTest, BoundariesMoveOneCellOrNone) {
  struct Case {
    const char* name;
    bool open;
    int start, gap;
    std::map<int, int> from;
  } cases[] = {
      {"close one cell", false, 276, 3, {{276, 279}}},
      {"open one cell", true, 276, 3, {{279, 276}}},
      {"close nothing", false, 277, 3, {}},
      {"open nothing", true, 279, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(game / kPage, PageFile());
    platform.ClearCalls();
    Status status = c.open ? OpenIconCells(platform, game.path(), program, c.start, c.gap)
                           : CloseIconCells(platform, game.path(), program, c.start, c.gap);
    ASSERT_TRUE(status.ok()) << status.message();
    ExpectCells(PageNow(), c.from);
    EXPECT_EQ(platform.CountCalls(Op::RunProgram), 2);  // the cycle runs all the same
    ExpectOnlyThePageInTheIconFolder();
  }
}

TEST_F(IconPageTest, AnIconThatCannotBePastedLeavesThePictures) {
  WriteBytes(files / "junk.tga", "not an image");
  RgbaImage big = DrawIconPage(1);  // 1280 x 128: does not fit at cell 261
  ASSERT_TRUE(WriteTgaFile(files / "wide.tga", big).ok());
  struct Case {
    const char* name;
    std::string icon;
    const char* says;
  } cases[] = {
      {"missing", files / "none.tga", "none.tga"},
      {"not an image", files / "junk.tga", "junk.tga"},
      {"too wide", files / "wide.tga", "larger than the 128 x 128"},
  };
  for (const Case& c : cases) {
    platform.ClearCalls();
    Status status = PasteIconCell(platform, game.path(), program, c.icon, 261);
    EXPECT_FALSE(status.ok()) << c.name;
    EXPECT_NE(status.message().find(c.says), std::string::npos) << c.name << ": " << status.message();
    EXPECT_NE(status.message().find("keeps its old picture"), std::string::npos) << c.name;
    EXPECT_EQ(platform.CountCalls(Op::RunProgram), 2) << c.name;
    EXPECT_TRUE(PageNow() == Original()) << c.name;
    ExpectOnlyThePageInTheIconFolder();
    // Shown, it is refused for the same reason.
    IconPicture shown;
    Status read = ReadIconPicture(platform, c.icon, &shown);
    EXPECT_NE(read.message().find(c.says), std::string::npos) << c.name << ": " << read.message();
    EXPECT_TRUE(shown.rgba.empty()) << c.name;
  }
}

TEST_F(IconPageTest, FindsThePageAndItsFolderInAnyCase) {
  // Through another name: a file system that ignores case may take a
  // rename to the same name in another case for no change (wine does).
  fs::rename(game / "stuff/icons", game / "stuff/renamed");
  fs::rename(game / "stuff/renamed", game / "stuff/Icons");
  fs::rename(game / "stuff/Icons/icontpage_nxg.tex", game / "stuff/Icons/renamed");
  fs::rename(game / "stuff/Icons/renamed", game / "stuff/Icons/IconTPage_NXG.tex");
  std::vector<std::string> names;
  ASSERT_TRUE(CloseIconCells(platform, game.path(), program, 278, 1).ok());
  ASSERT_TRUE(SystemPlatform().ListFolder(game / "stuff/Icons", &names).ok());
  EXPECT_EQ(names, std::vector<std::string>{"IconTPage_NXG.tex"});
  // No second folder in another case (on a case-sensitive file system).
  ASSERT_TRUE(SystemPlatform().ListFolder(game / "stuff", &names).ok());
  EXPECT_EQ(std::count(names.begin(), names.end(), "Icons"), 1) << testing::PrintToString(names);
  EXPECT_EQ(std::count(names.begin(), names.end(), "icons"), 0) << testing::PrintToString(names);
  ExpectCells(PageNow(), {{278, 279}});
}

// Whatever lies at the working copy's place (a package may have planted
// it, an earlier run left it) is replaced by the shipped converter, never run.
TEST_F(IconPageTest, AStaleWorkingCopyIsReplacedNotRun) {
  WriteScript(game / "stuff/icons/crunch.exe", "touch \"" + game / "planted-ran" + "\"\nexit 0");
  ASSERT_TRUE(OpenIconCells(platform, game.path(), program, 278, 1).ok());
  EXPECT_FALSE(fs::exists(game / "planted-ran"));
  ExpectCells(PageNow(), {{279, 278}});
  ExpectOnlyThePageInTheIconFolder();

  // Without the shipped converter nothing runs at all.
  WriteScript(game / "stuff/icons/crunch.exe", "touch \"" + game / "planted-ran" + "\"\nexit 0");
  Status status = OpenIconCells(platform, game.path(), fakeProgram.path(), 278, 1);
  EXPECT_FALSE(status.ok());
  EXPECT_FALSE(fs::exists(game / "planted-ran"));
  ExpectOnlyThePageInTheIconFolder();
}

// Every way a cycle can fail keeps the game's page byte for byte, leaves
// the icon folder clean and says what went wrong.
TEST_F(IconPageTest, AFailedCycleKeepsThePage) {
  const std::string real = "\"" + realConverter + "\"";
  struct Case {
    const char* name;
    const char* script;  // tools/crunch.exe of the program folder; null: ours
    Op failOp;
    const char* failPath;  // with failOp: the call that fails
    const char* says;
  } cases[] = {
      {"converter exits 1", "exit 1", Op::CanRead, nullptr, "exit status 1"},
      {"converter writes nothing", "exit 0", Op::CanRead, nullptr, "wrote no"},
      {"second conversion fails", "if-ends-with $4 .dds exit 1\nexec REAL $@",
       Op::CanRead, nullptr, "exit status 1 turning the changed image back"},
      {"second conversion writes no DDS",
       "if-ends-with $4 .dds write $4 junk\nif-ends-with $4 .dds exit 0\nexec REAL $@", Op::CanRead,
       nullptr, "wrote no DDS file"},
      {"TGA that does not load", "write $4 junk", Op::CanRead, nullptr, "icontpage_nxg.tga"},
      {"converter missing", "", Op::CanRead, nullptr, "converter cannot be made ready"},
      {"converter cannot start", nullptr, Op::RunProgram, "crunch.exe", "injected failure"},
      {"page not copied", nullptr, Op::CopyFile, "icontpage_nxg.tex", "injected failure"},
      {"TGA not read", nullptr, Op::ReadAt, "icontpage_nxg.tga", "injected failure"},
      {"changed TGA not saved", nullptr, Op::WriteNewFile, "_t.tga", "injected failure"},
      {"changed TGA not put in place", nullptr, Op::RenameOver, "_t.tga", "injected failure"},
      {"new page not moved in", nullptr, Op::RenameOver, "icontpage_nxg.dds", "injected failure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string programFolder = program;
    if (c.script != nullptr) {
      std::string body = c.script;
      size_t at = body.find("REAL");
      if (at != std::string::npos) body.replace(at, 4, real);
      fs::remove_all(fakeProgram / "tools");
      programFolder = *c.script ? FakeConverter(body) : fakeProgram.path();
    }
    platform.ClearFailures();
    if (c.failPath != nullptr) platform.Fail(c.failOp, c.failPath);
    ASSERT_TRUE(WriteTgaFile(files / "icon.tga", DrawIcon(7)).ok());

    Status status = PasteIconCell(platform, game.path(), programFolder, files / "icon.tga", 265);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message().find(c.says), std::string::npos) << status.message();
    EXPECT_NE(status.message().find("keeps its icon page as it was"), std::string::npos)
        << status.message();
    EXPECT_TRUE(ReadBytes(game / kPage) == PageFile());
    ExpectOnlyThePageInTheIconFolder();
  }
}

// A converter cut off while it writes (a file size limit kills it part-way
// through its output; Windows, which has no such limit, shows the stand-in's
// copy of what a cut-off run leaves, ended as Ctrl+C ends a program): the
// cycle says so and keeps the page, also when a wrapper around the
// converter hides how it ended. A partly written DDS under the output's
// name would otherwise become the game's page.
TEST_F(IconPageTest, AConverterCutOffWhileWritingKeepsThePage) {
  const std::string real = "\"" + realConverter + "\"";
  struct Case {
    const char* name;
    std::string script;
    const char* says;
  } cases[] = {
      {"second conversion stopped",
       "if-ends-with $4 .dds exec-limited 32768 " + real + " $@\nexec " + real + " $@", "stopped by"},
      {"second conversion stopped, exit status hidden",
       "if-ends-with $4 .dds run-limited 32768 " + real + " $@\nif-ends-with $4 .dds exit 0\nexec " +
           real + " $@",
       "wrote no"},
      {"first conversion stopped, exit status hidden", "run-limited 32768 " + real + " $@\nexit 0",
       "wrote no"},
  };
  ASSERT_TRUE(WriteTgaFile(files / "icon.tga", DrawIcon(7)).ok());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(fakeProgram / "tools");
    Status status = PasteIconCell(platform, game.path(), FakeConverter(c.script), files / "icon.tga", 265);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message().find(c.says), std::string::npos) << status.message();
    EXPECT_NE(status.message().find("keeps its icon page as it was"), std::string::npos);
    EXPECT_TRUE(ReadBytes(game / kPage) == PageFile());
    for (const char* name : {"icontpage_nxg.dds", "icontpage_nxg.tga", "icontpage_nxg_t.tga"}) {
      EXPECT_FALSE(fs::exists(game / (std::string("stuff/icons/") + name))) << name;
    }
  }
}

TEST_F(IconPageTest, AMissingPageIsReportedAndNothingIsRun) {
  fs::remove(game / kPage);
  Status status = OpenIconCells(platform, game.path(), program, 261, 1);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("the icon page is missing"), std::string::npos);
  EXPECT_EQ(platform.CountCalls(Op::RunProgram), 0);
  EXPECT_TRUE(fs::is_empty(game / "stuff/icons"));
}

TEST_F(IconPageTest, LeftoversOfAnEarlierCycleAreCleared) {
  for (const char* name : {"icontpage_nxg.dds", "icontpage_nxg.tga", "icontpage_nxg_t.tga"}) {
    WriteBytes(game / (std::string("stuff/icons/") + name), "stale");
  }
  ASSERT_TRUE(CloseIconCells(platform, game.path(), program, 270, 9).ok());
  ExpectCells(PageNow(), {{270, 279}});
  ExpectOnlyThePageInTheIconFolder();
}

TEST_F(IconPageTest, AFileLeftBehindAfterAChangeIsReported) {
  platform.Fail(Op::Remove, "icontpage_nxg_t.tga", -1);
  Status status = CloseIconCells(platform, game.path(), program, 278, 1);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("The icon page was changed"), std::string::npos);
  EXPECT_NE(status.message().find("icontpage_nxg_t.tga"), std::string::npos);
  ExpectCells(PageNow(), {{278, 279}});
}

TEST_F(IconPageTest, RefusesCellsThatDoNotExist) {
  EXPECT_FALSE(PasteIconCell(platform, game.path(), program, files / "icon.tga", -1).ok());
  EXPECT_FALSE(OpenIconCells(platform, game.path(), program, -3, 1).ok());
  EXPECT_FALSE(CloseIconCells(platform, game.path(), program, 261, 0).ok());
  EXPECT_TRUE(platform.calls().empty());
  EXPECT_TRUE(ReadBytes(game / kPage) == PageFile());
}

TEST(LoadAndSaveImageFile, LoadTakesTheFormatFromTheContentsFirst) {
  TempFolder dir;
  Platform& platform = SystemPlatform();
  Image image(FreeImage_Allocate(4, 2, 32));
  ASSERT_TRUE(image);
  ASSERT_TRUE(SaveImageFile(platform, image.get(), dir / "picture.png", 0).ok());
  fs::rename(dir / "picture.png", dir / "Picture.TGA");  // PNG bytes under a TGA name

  Status status;
  Image loaded = LoadImageFile(platform, dir / "picture.tga", 0, kIconLimits, &status);
  ASSERT_TRUE(loaded) << status.message();
  EXPECT_EQ(FreeImage_GetWidth(loaded.get()), 4u);
  EXPECT_EQ(FreeImage_GetBPP(loaded.get()), 32u);

  WriteBytes(dir / "junk.xyz", "no image");
  WriteBytes(dir / "junk.tga", "no image");
  for (const char* name : {"missing.tga", "junk.xyz", "junk.tga"}) {
    EXPECT_FALSE(LoadImageFile(platform, dir / name, 0, kIconLimits, &status)) << name;
    EXPECT_EQ(status.message().rfind(dir / name, 0), 0u) << status.message();
  }
}

TEST(LoadAndSaveImageFile, SaveChecksFormatAndBitDepth) {
  TempFolder dir;
  TestPlatform platform;
  Image image(FreeImage_Allocate(8, 8, 32));
  ASSERT_TRUE(image);
  EXPECT_FALSE(SaveImageFile(platform, nullptr, dir / "a.tga", 0).ok());
  EXPECT_FALSE(SaveImageFile(platform, image.get(), dir / "a.unknown", 0).ok());
  EXPECT_FALSE(SaveImageFile(platform, image.get(), dir / "a.jpg", 0).ok());  // no 32-bit JPEG
  platform.Fail(Op::WriteNewFile);
  EXPECT_FALSE(SaveImageFile(platform, image.get(), dir / "a.tga", 0).ok());
  platform.Fail(Op::RenameOver);
  EXPECT_FALSE(SaveImageFile(platform, image.get(), dir / "a.tga", 0).ok());
  EXPECT_TRUE(fs::is_empty(dir.path()));
  ASSERT_TRUE(SaveImageFile(platform, image.get(), dir / "a.tga", 0).ok());
  RgbaImage back;
  ASSERT_TRUE(ReadImageFile(dir / "a.tga", &back).ok());
  EXPECT_EQ(back.width, 8);
}

using Entries = std::vector<int32_t>;

Entries Twenty(std::initializer_list<int32_t> head) {
  Entries entries(head);
  entries.resize(20, 0);
  return entries;
}

TEST(IconMapFile, WritesEntriesJoinedByEqualsOnOneLine) {
  struct Case {
    const char* name;
    Entries entries;
    const char* bytes;
  } cases[] = {
      {"three", {4, 4, 0}, "4=4=0\r\n"},
      {"empty", {}, "\r\n"},
      {"one", {10}, "10\r\n"},
      {"twenty free", Twenty({}), "0=0=0=0=0=0=0=0=0=0=0=0=0=0=0=0=0=0=0=0\r\n"},
  };
  TempFolder game;
  WriteBytes(game / "chars/iconmap", "old content that is longer\r\n");
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteIconMap(SystemPlatform(), game.path(), IconMap{c.entries}).ok()) << c.name;
    EXPECT_EQ(ReadBytes(game / "chars/iconmap"), c.bytes) << c.name;
  }
}

TEST(IconMapFile, ReadingIsLenient) {
  struct Case {
    const char* name;
    const char* bytes;
    Entries entries;
  } cases[] = {
      {"two lines", "1=1\r\n0=0\r\n", {1, 1, 0, 0}},
      {"spaces around", " 5 \r\n", {5}},
      {"empty piece", "2==3\r\n", {2, 3}},
      {"trailing empty line", "1=2\r\n\r\n", {1, 2}},
      {"no line end", "7=8", {7, 8}},
      {"LF only", "1\n2\n", {1, 2}},
      {"pieces that are no number", "1=x=3=4a= =-2=+6=-", {1, 3, -2, 6}},
      {"beyond 32 bits", "2147483647=2147483648=-2147483648=-2147483649", {2147483647, -2147483647 - 1}},
      {"empty file", "", {}},
  };
  TempFolder game, program;
  for (const Case& c : cases) {
    WriteBytes(game / "chars/iconmap", c.bytes);
    IconMap map{{9, 9}};
    ASSERT_TRUE(ReadIconMap(SystemPlatform(), game.path(), program.path(), &map).ok()) << c.name;
    EXPECT_EQ(map.entries, c.entries) << c.name;
  }
}

TEST(IconMapFile, AMissingMapComesFromTheDataFolder) {
  TempFolder game, program;
  TestPlatform platform;
  WriteBytes(program / "data/iconmap", "0=0=0\r\n");
  WriteBytes(game / "chars/other", "");
  IconMap map;
  ASSERT_TRUE(ReadIconMap(platform, game.path(), program.path(), &map).ok());
  EXPECT_EQ(map.entries, (Entries{0, 0, 0}));
  EXPECT_EQ(ReadBytes(game / "chars/iconmap"), "0=0=0\r\n");

  // An existing map is read, never replaced.
  WriteBytes(game / "chars/iconmap", "3=3\r\n");
  ASSERT_TRUE(ReadIconMap(platform, game.path(), program.path(), &map).ok());
  EXPECT_EQ(map.entries, (Entries{3, 3}));
  EXPECT_EQ(ReadBytes(program / "data/iconmap"), "0=0=0\r\n");

  // Neither there: an empty map and a failure that says so.
  fs::remove(game / "chars/iconmap");
  fs::remove(program / "data/iconmap");
  Status status = ReadIconMap(platform, game.path(), program.path(), &map);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("data/iconmap"), std::string::npos) << status.message();
  EXPECT_TRUE(map.entries.empty());
}

// PlaceIcon and ReleaseCharacterIcons on the generated page.
class IconMapTest : public IconPageTest {
 protected:
  void SetUp() override {
    IconPageTest::SetUp();
    fs::create_directories(game / "chars");
    ASSERT_TRUE(WriteTgaFile(files / "icon.tga", DrawIcon(2000)).ok());
    std::string dds;
    ASSERT_TRUE(EncodeDds(DrawIcon(2000), &dds).ok());
    ASSERT_TRUE(DecodeDds(dds, &icon).ok());
  }
  void SetMap(const Entries& entries) {
    map.entries = entries;
    ASSERT_TRUE(WriteIconMap(platform, game.path(), map).ok());
    platform.ClearCalls();
  }
  Entries FileEntries() {
    IconMap read;
    EXPECT_TRUE(ReadIconMap(SystemPlatform(), game.path(), program, &read).ok());
    return read.entries;
  }
  Status Place(int position, int characterNumber) {
    return PlaceIcon(platform, game.path(), program, &map, files / "icon.tga", position,
                     characterNumber);
  }
  Status Release(int characterNumber) {
    return ReleaseCharacterIcons(platform, game.path(), program, &map, characterNumber);
  }

  IconMap map;
  RgbaImage icon;  // the pasted icon as the page shows it
};

TEST_F(IconMapTest, PlaceOnAFreeMapTakesTheFirstCell) {
  SetMap(Twenty({}));
  ASSERT_TRUE(Place(0, 1).ok());
  EXPECT_EQ(map.entries, Twenty({1}));
  EXPECT_EQ(FileEntries(), Twenty({1}));
  EXPECT_EQ(platform.CountCalls(Op::RunProgram), 2);  // one cycle: nothing opened
  RgbaImage page = PageNow();
  EXPECT_TRUE(CellOf(page, 260) == icon);
  EXPECT_TRUE(CellOf(page, 261) == CellOf(Original(), 261));
}

TEST_F(IconMapTest, PlaceSkipsExtraIconsOfLowerCharacters) {
  SetMap(Twenty({1, 1}));
  ASSERT_TRUE(Place(2, 3).ok());
  EXPECT_EQ(map.entries, Twenty({1, 1, 0, 3}));
  EXPECT_TRUE(CellOf(PageNow(), 263) == icon);
}

TEST_F(IconMapTest, PlaceOntoATakenCellOpensItFirst) {
  SetMap(Twenty({1, 2}));
  ASSERT_TRUE(Place(1, 1).ok());
  EXPECT_EQ(map.entries, Twenty({1, 1, 2}));
  EXPECT_EQ(map.entries.size(), 20u);
  EXPECT_EQ(FileEntries(), Twenty({1, 1, 2}));
  EXPECT_EQ(platform.CountCalls(Op::RunProgram), 4);  // open, then paste
  RgbaImage page = PageNow();
  EXPECT_TRUE(CellOf(page, 261) == icon);
  EXPECT_TRUE(CellOf(page, 262) == CellOf(Original(), 261));  // character 2's icon moved up
  EXPECT_TRUE(CellOf(page, 279) == CellOf(Original(), 278));
}

TEST_F(IconMapTest, ATargetBeyondTheMapPlacesNothing) {
  Entries full(20, 0);
  SetMap(full);
  std::string before = ReadBytes(game / "chars/iconmap");
  Status status = Place(20, 1);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("No icon cell is left"), std::string::npos);
  // With the extra icons of lower numbers counted: 19 + 1 is beyond too.
  SetMap(Twenty({1, 1}));
  before = ReadBytes(game / "chars/iconmap");
  EXPECT_FALSE(Place(19, 2).ok());
  EXPECT_EQ(map.entries, Twenty({1, 1}));
  EXPECT_EQ(platform.CountCalls(Op::RunProgram), 0);
  EXPECT_EQ(platform.CountCalls(Op::ReplaceFile), 0);
  EXPECT_EQ(platform.CountCalls(Op::WriteNewFile), 0);
  EXPECT_EQ(ReadBytes(game / "chars/iconmap"), before);
  EXPECT_TRUE(ReadBytes(game / kPage) == PageFile());
}

TEST_F(IconMapTest, ReleaseClosesTheCellsOfExtraIcons) {
  Entries entries = Twenty({1, 2, 2, 2, 3});
  entries[18] = 7, entries[19] = 8;
  SetMap(entries);
  ASSERT_TRUE(Release(2).ok());
  Entries expected = Twenty({1, 0, 3});
  expected[16] = 7, expected[17] = 8, expected[18] = 7, expected[19] = 8;  // not cleared
  EXPECT_EQ(map.entries, expected);
  std::map<int, int> from;
  for (int cell = 262; cell <= 277; ++cell) from[cell] = cell + 2;  // CloseIconCells (262, 2)
  ExpectCells(PageNow(), from);
  // Memory only: the file is the caller's to write.
  EXPECT_EQ(FileEntries(), entries);
}

TEST_F(IconMapTest, ReleasingOneIconOrNoneRunsNoConverter) {
  SetMap(Twenty({1, 2, 2, 2, 3}));
  ASSERT_TRUE(Release(3).ok());
  EXPECT_EQ(map.entries, Twenty({1, 2, 2, 2}));
  ASSERT_TRUE(Release(5).ok());
  EXPECT_EQ(map.entries, Twenty({1, 2, 2, 2}));
  map.entries.clear();
  ASSERT_TRUE(Release(1).ok());
  EXPECT_EQ(platform.CountCalls(Op::RunProgram), 0);
  EXPECT_TRUE(ReadBytes(game / kPage) == PageFile());
}

// Releases and placements as a change of several places makes them: planned
// and made in one cycle, they leave the page and the map byte for byte as
// the same calls leave them one cycle at a time. Pasted icons move in later
// edits, so what one cycle encoded is decoded and moved by the next.
TEST_F(IconMapTest, PlannedEditsInOneCycleGiveThePageOfOneCycleEach) {
  for (int seed : {1, 2, 3}) {
    ASSERT_TRUE(WriteTgaFile(files / ("icon" + std::to_string(seed) + ".tga"), DrawIcon(3000 + seed)).ok());
  }
  TempFolder planned;
  WriteBytes(planned / kPage, PageFile());
  fs::create_directories(planned / "chars");
  const Entries start = Twenty({1, 1, 2, 3, 3, 3, 0, 0, 0, 0, 7});
  IconMap oneByOne{start}, inOne{start};
  std::vector<CellEdit> edits;
  int cycles = 0;
  for (bool plan : {false, true}) {
    const std::string folder = plan ? planned.path() : game.path();
    IconMap* m = plan ? &inOne : &oneByOne;
    std::vector<CellEdit>* list = plan ? &edits : nullptr;
    platform.ClearCalls();
    for (int n : {1, 3, 7}) ASSERT_TRUE(ReleaseCharacterIcons(platform, folder, program, m, n, list).ok());
    // New characters in places 1, 3 and 7: two icons, three, one.
    struct Icon { int seed, position, number; } icons[] = {
        {1, 0, 1}, {2, 1, 1}, {3, 2, 3}, {1, 3, 3}, {2, 4, 3}, {3, 6, 7}};
    for (const Icon& icon : icons) {
      ASSERT_TRUE(PlaceIcon(platform, folder, program, m, files / ("icon" + std::to_string(icon.seed) + ".tga"),
                            icon.position, icon.number, list).ok());
    }
    if (plan) {
      EXPECT_EQ(platform.CountCalls(Op::RunProgram), 0);
      ASSERT_TRUE(EditIconCells(platform, folder, program, edits).ok());
      EXPECT_EQ(platform.CountCalls(Op::RunProgram), 2);
    } else {
      cycles = platform.CountCalls(Op::RunProgram) / 2;
    }
  }
  EXPECT_GT(cycles, 6);
  EXPECT_EQ(inOne.entries, oneByOne.entries);
  EXPECT_EQ(ReadBytes(planned / "chars/iconmap"), ReadBytes(game / "chars/iconmap"));
  EXPECT_TRUE(ReadBytes(planned / kPage) == ReadBytes(game / kPage))
      << "the page made in one cycle differs from the page made in " << cycles;
}

TEST_F(IconMapTest, WhenCellsCannotMoveTheMapStillDescribesThePage) {
  std::string failing = FakeConverter("exit 1");
  SetMap(Twenty({1, 2}));
  Status status =
      PlaceIcon(platform, game.path(), failing, &map, files / "icon.tga", 1, 1);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("was not placed"), std::string::npos) << status.message();
  EXPECT_EQ(map.entries, Twenty({1, 2}));
  EXPECT_EQ(FileEntries(), Twenty({1, 2}));

  SetMap(Twenty({1, 2, 2, 3}));
  status = ReleaseCharacterIcons(platform, game.path(), failing, &map, 2);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("exit status 1"), std::string::npos) << status.message();
  EXPECT_EQ(map.entries, Twenty({1, 2, 2, 3}));
  EXPECT_TRUE(ReadBytes(game / kPage) == PageFile());
}

TEST_F(IconMapTest, AnIconThatFailsToPasteStillGetsItsEntry) {
  SetMap(Twenty({1, 2}));
  // The opening cycle runs the converter twice; the paste's first run fails.
  platform.Fail(Op::RunProgram, "crunch.exe", 1, 2);
  Status status = Place(1, 1);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("injected failure"), std::string::npos) << status.message();
  EXPECT_EQ(map.entries, Twenty({1, 1, 2}));
  EXPECT_EQ(FileEntries(), Twenty({1, 1, 2}));
  RgbaImage page = PageNow();
  EXPECT_TRUE(CellOf(page, 262) == CellOf(Original(), 261));
  ExpectOnlyThePageInTheIconFolder();
}

TEST_F(IconMapTest, AMapThatCannotBeWrittenIsReportedAndKeptInMemory) {
  SetMap(Twenty({}));
  platform.Fail(Op::ReplaceFile, "iconmap");
  Status status = Place(0, 4);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("icon map could not be written"), std::string::npos);
  EXPECT_EQ(map.entries, Twenty({4}));
  EXPECT_EQ(FileEntries(), Twenty({}));
}

TEST_F(IconMapTest, AnEmptyMapPlacesNothingAndSaysWhy) {
  map.entries.clear();
  Status status = Place(0, 1);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("chars/iconmap holds no icon cells"), std::string::npos)
      << status.message();
  EXPECT_EQ(platform.CountCalls(Op::RunProgram), 0);
}

TEST(IconMapStartUp, TheLastStartUpStepLoadsTheMap) {
  TempFolder program, game;
  TestPlatform platform;
  RecordingView view;
  platform.set_program_folder(program.path());
  WriteBytes(game / "KORVAQUORIN.exe", "MZ");
  WriteBytes(game / "Chars/readme", "");
  WriteBytes(program / "data/iconmap", "0=0=0=0\r\n");
  WriteBytes(program / "config.ini", "KorvaPath=" + game.path() + "\r\n");
  ModManager manager(platform, view);
  ASSERT_TRUE(manager.StartUp());
  EXPECT_EQ(manager.icon_map().entries, (Entries{0, 0, 0, 0}));
  EXPECT_EQ(ReadBytes(game / "Chars/iconmap"), "0=0=0=0\r\n");

  WriteBytes(game / "Chars/iconmap", "2=2=0=1\r\n");
  manager.RunStartUpSteps();
  EXPECT_EQ(manager.icon_map().entries, (Entries{2, 2, 0, 1}));
}

}  // namespace
}  // namespace korva
