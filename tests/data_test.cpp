// The prepared data folder that the build writes, and the sample game and
// packages: read back at the positions the rest of the program relies on.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "data/prepared_files.h"
#include "data/project_file.h"
#include "installer/mod_package.h"
#include "sample/sample_game.h"
#include "slots/slot_table.h"
#include "tests/support/files.h"

namespace korva {
namespace {

std::string DataFile(const std::string& name) {
  return ReadBytes(BuiltProgramFolder() + "/data/" + name);
}

uint32_t U32At(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes.at(offset + i));
  return value;
}

// `text` followed by NUL bytes up to `size`.
std::string Padded(const std::string& text, size_t size) {
  return text + std::string(size - text.size(), '\0');
}

TEST(PreparedDataTest, EverySlotTableHoldsTenPlaceholderEntries) {
  struct Case {
    const char* file;
    SlotKind kind;
    size_t start;
    size_t gap;
    const char* pathPrefix;
    const char* namePrefix;
  } cases[] = {
      {"quorin_pawnik.cpj", SlotKind::C, 75545, 0, "Pawniks\\CSlt", "CSlt"},
      {"mods_pawnik.cpj", SlotKind::A, 2879, 9, "Pawniks\\ASlt", "ASlt"},
      {"mods_faces.cpj", SlotKind::F, 1854, 0, "Pawniks\\FSlt", "FSlt"},
      {"mods_misc.cpj", SlotKind::M, 1831, 9, "Pawniks\\MSlt", "MSlt"},
  };
  for (const Case& c : cases) {
    std::string bytes = DataFile(c.file);
    size_t e = c.start;
    for (int n = 1; n <= 10; ++n) {
      std::string number = (n < 10 ? "0" : "") + std::to_string(n);
      // Stored lengths are 32-bit little-endian, so the three bytes after
      // each length byte are 0.
      uint32_t p = U32At(bytes, e + 16);
      EXPECT_GE(p, 48u) << c.file << " entry " << n;
      EXPECT_EQ(bytes.substr(e + 20, p), Padded(c.pathPrefix + number, p)) << c.file << " " << n;
      uint32_t name = U32At(bytes, e + 20 + p);
      EXPECT_GE(name, 24u) << c.file << " entry " << n;
      EXPECT_EQ(bytes.substr(e + 24 + p, name), Padded(c.namePrefix + number, name))
          << c.file << " " << n;
      e += 24 + p + name + c.gap;
    }
    EXPECT_LE(e, bytes.size()) << c.file;
    EXPECT_EQ(KindInfo(c.kind).tableStart, static_cast<int32_t>(c.start));
  }
}

TEST(PreparedDataTest, CharacterRecordsHoldThePlaceholderNames) {
  std::string bytes = DataFile("quorin_pawnik.cpj");
  const char* names[] = {"Mod_Char_01", "Mod_Char_02", "Mod_Char_03", "Mod_Char_04",
                         "Mod_Char_05", "Mod_Char_06", "Mod_Char_07", "Mod_Char_08",
                         "Mod_Char_09", "Mod_Char_10"};
  for (int i = 0; i < 10; ++i) {
    size_t record = 74294 + 64 * static_cast<size_t>(i);
    // The name, a backslash and NUL padding: "Game Chars" lists "Mod_Char_01\".
    EXPECT_EQ(bytes.substr(record, 15), Padded(std::string(names[i]) + "\\", 15));
    EXPECT_EQ(bytes.substr(record + 20, 14), Padded(names[i], 14));
  }
}

TEST(PreparedDataTest, IconMapHasTwentyFreeCells) {
  EXPECT_EQ(DataFile("iconmap"), "0=0=0=0=0=0=0=0=0=0=0=0=0=0=0=0=0=0=0=0\r\n");
}

TEST(PreparedDataTest, DefaultIconIsA128By128TgaWithAlpha) {
  std::string tga = DataFile("charicon.tga");
  ASSERT_GE(tga.size(), 18u);
  EXPECT_EQ(tga[2], 2) << "uncompressed true colour";
  EXPECT_EQ(static_cast<uint8_t>(tga[12]) | static_cast<uint8_t>(tga[13]) << 8, 128);
  EXPECT_EQ(static_cast<uint8_t>(tga[14]) | static_cast<uint8_t>(tga[15]) << 8, 128);
  EXPECT_EQ(tga[16], 32) << "bits per pixel";
  RgbaImage icon;
  ASSERT_TRUE(DecodeImage(tga, &icon).ok());
  EXPECT_EQ(icon.width, 128);
}

// A cheap fingerprint of a cell's pixels.
uint64_t CellHash(const RgbaImage& page, int cell) {
  uint64_t hash = 1469598103934665603u;
  for (int y = 0; y < kIconSize; ++y) {
    const uint8_t* row = page.At((cell % 10) * kIconSize, (cell / 10) * kIconSize + y);
    for (int i = 0; i < kIconSize * 4; ++i) hash = (hash ^ row[i]) * 1099511628211u;
  }
  return hash;
}

TEST(PreparedDataTest, IconPageHasDistinctIconsAndTwentyEmptyModCells) {
  std::string dds = DataFile("icontpage_nxg.tex");
  ASSERT_EQ(dds.substr(0, 4), "DDS ");
  EXPECT_EQ(dds.substr(84, 4), "DXT5");
  RgbaImage page;
  ASSERT_TRUE(DecodeDds(dds, &page).ok());
  ASSERT_EQ(page.width, 1280);
  ASSERT_EQ(page.height, 3584);
  std::set<uint64_t> icons;
  for (int cell = 0; cell < 260; ++cell) icons.insert(CellHash(page, cell));
  EXPECT_EQ(icons.size(), 260u) << "every game cell holds its own picture";
  for (int y = 26 * kIconSize; y < page.height; ++y) {
    for (int x = 0; x < page.width; ++x) ASSERT_EQ(page.At(x, y)[3], 0) << x << "," << y;
  }
}

TEST(SampleGameTest, TextFilesUseCrLfAndTheCharacterFolderIsLowerCase) {
  const FileTree& game = SampleGameFiles();
  for (const char* text : {"chars/collection.txt", "chars/abilities.txt", "stuff/text/text.csv",
                           "audio/samples_nxg.cfg", "stuff/bolttypes.txt",
                           "levels/builder/builderdefault/playeritemtypes.txt"}) {
    const std::string& bytes = game.at(text);
    for (size_t i = bytes.find('\n'); i != std::string::npos; i = bytes.find('\n', i + 1)) {
      ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << text << " byte " << i;
    }
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << text;
  }
  EXPECT_NE(game.at("chars/collection.txt").find("collect \"Korva\"\r\n"), std::string::npos);
  for (const auto& [path, bytes] : game) EXPECT_NE(path.rfind("Chars/", 0), 0u) << path;
  EXPECT_EQ(game.count("KORVAQUORIN.exe"), 1u);
}

TEST(SampleGameTest, GamesOwnFilesDifferFromThePreparedOnes) {
  const FileTree& game = SampleGameFiles();
  struct Case {
    const char* gameFile;
    const char* dataFile;
  } cases[] = {{"global/gameglobal.led", "gameglobal.led"},
               {"chars/charstxt.fpk", "charstxt.fpk"},
               {"chars/quorin_pawnik.cpj", "quorin_pawnik.cpj"},
               {"stuff/icons/icontpage_nxg.tex", "icontpage_nxg.tex"}};
  for (const Case& c : cases) {
    ASSERT_EQ(game.count(c.gameFile), 1u) << c.gameFile;
    EXPECT_NE(game.at(c.gameFile), DataFile(c.dataFile)) << c.gameFile;
  }
  // The game's own character file has its characters where the program's
  // has the empty places.
  const std::string& own = game.at("chars/quorin_pawnik.cpj");
  EXPECT_EQ(own.substr(74294, 15), Padded("Korva\\", 15));
  RgbaImage page;
  ASSERT_TRUE(DecodeDds(game.at("stuff/icons/icontpage_nxg.tex"), &page).ok());
  EXPECT_EQ(page.width, 1280);
  EXPECT_EQ(page.height, 26 * 128);
  EXPECT_EQ(CellHash(page, 0), [] {
    RgbaImage cell(kIconSize, kIconSize);
    PasteImage(&cell, DrawCellIcon(0, 1), 0, 0);
    return CellHash(cell, 0);
  }()) << "the game's own colours, pixel for pixel";
}

TEST(SampleModsTest, PackagesTogetherUseEveryFeature) {
  TempFolder mods;
  MakeSampleMods(mods.path());
  const FileTree& game = SampleGameFiles();
  std::set<std::string> dataFiles;
  bool ownIcon = false, extraIcons = false, tooManyCSlots = false, addsFiles = false,
       replacesFile = false;
  std::set<SlotKind> kinds;
  for (const char* folder : kSampleModFolders) {
    std::string package = mods / folder;
    ModPackageInfo info;
    ASSERT_TRUE(ReadModPackage(SystemPlatform(), package, &info).ok()) << folder;
    EXPECT_FALSE(info.dataName.empty()) << folder;
    EXPECT_LE(info.dataName.size(), 13u) << folder << ": the data name fits the record";
    struct Flag {
      bool set;
      const char* file;
    } flags[] = {{info.hasColldef, "colldef.ini"},   {info.hasItems, "itemdata.ini"},
                 {info.hasText, "textdata.ini"},     {info.hasBolts, "boltdata.ini"},
                 {info.hasAbilities, "abilitiesdata.ini"}, {info.hasIcon, "charicon.tga"}};
    for (const Flag& flag : flags) {
      EXPECT_EQ(flag.set, FileExists(package + "/" + flag.file)) << folder << " " << flag.file;
      if (flag.set) dataFiles.insert(flag.file);
    }
    if (FileExists(package + "/sounddata.ini")) dataFiles.insert("sounddata.ini");
    ownIcon |= info.hasIcon;
    for (const std::string& icon : info.extraIcons) {
      RgbaImage image;
      EXPECT_TRUE(DecodeImage(ReadBytes(package + "/" + icon), &image).ok()) << folder << " " << icon;
      EXPECT_EQ(image.width, 128) << folder << " " << icon;
      extraIcons = true;
    }
    for (SlotKind kind : kAllSlotKinds) {
      for (const SlotRequest& slot : SlotsOfKind(info, kind)) {
        EXPECT_LE(slot.path.size(), static_cast<size_t>(kSlotPathField)) << folder;
        EXPECT_LE(slot.name.size(), static_cast<size_t>(kSlotNameField)) << folder;
        kinds.insert(kind);
      }
    }
    tooManyCSlots |= info.charSlots.size() > 10;
    if (!std::filesystem::exists(package + "/files")) continue;
    for (const auto& [path, bytes] : Snapshot(package + "/files")) {
      if (bytes == "<folder>") continue;
      (game.count(path) ? replacesFile : addsFiles) = true;
    }
  }
  EXPECT_EQ(dataFiles.size(), 7u);
  EXPECT_TRUE(ownIcon);
  EXPECT_TRUE(extraIcons);
  EXPECT_EQ(kinds.size(), 4u);
  EXPECT_TRUE(tooManyCSlots);
  EXPECT_TRUE(addsFiles);
  EXPECT_TRUE(replacesFile);
}

TEST(SampleModsTest, BuildWroteThePackagesIntoTheModsFolder) {
  for (const auto& [path, bytes] : SampleModFiles()) {
    EXPECT_EQ(ReadBytes(BuiltProgramFolder() + "/mods/" + path), bytes) << path;
  }
}

}  // namespace
}  // namespace korva
