// Packages and game folders from strangers: files that are pipes or lead to
// endless devices, links that lead out of the game folder, images that lie
// about their size, and files planted where the program keeps its own. Each
// is refused at once with a message, and nothing outside the game folder,
// nor anything inside it, is changed.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "data/prepared_files.h"
#include "icons/icon_page.h"
#include "installer/mod_manager.h"
#include "platform/read_limits.h"
#include "sample/sample_game.h"
#include "tests/support/files.h"
#include "tests/support/icon_pictures.h"
#include "tests/support/recording_view.h"
#include "tests/support/system.h"
#include "tests/support/test_platform.h"
#include "tools/texture/texture.h"

namespace korva {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

enum Mod { kBrakka = 0, kGrunt = 2, kImra = 3, kDelete = 100 };

// What replaces a file: a pipe that nothing ever writes into, a link to a
// device that never ends, or a folder.
enum class Trap { kPipe, kEndless, kFolder };
const char* Name(Trap trap) {
  return trap == Trap::kPipe ? "pipe" : trap == Trap::kEndless ? "endless device" : "folder";
}
// Replaces `path` with the trap. False, with `*whyNot`, when this system
// cannot make that trap under any name (Windows has no FIFO files, and its
// devices have names of their own).
bool SetTrap(const std::string& path, Trap trap, std::string* whyNot) {
  fs::remove_all(path);
  fs::create_directories(fs::path(path).parent_path());
  switch (trap) {
    case Trap::kPipe:
      return MakePipe(path, whyNot);
    case Trap::kEndless:
#ifdef _WIN32
      *whyNot = "Windows cannot put a device under the name of a file (it has NUL and CON "
                "in every folder instead: PlatformTest.ADeviceIsNotAFile)";
      return false;
#else
      return MakeLink("/dev/zero", path, whyNot);
#endif
    case Trap::kFolder:
      fs::create_directories(path);
      return true;
  }
  return false;
}
// The trap that every system can make.
constexpr Trap kAnyTrap = Trap::kFolder;

// Runs `work` and fails the test, rather than hanging, when it does not
// come back within a minute.
template <typename Work>
auto Within(Work work) {
  auto done = std::async(std::launch::async, work);
  if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "blocked";
    std::_Exit(1);  // the blocked thread cannot be stopped
  }
  return done.get();
}

class HostileFilesTest : public ::testing::TestWithParam<Trap> {};

TEST_P(HostileFilesTest, ThePlatformReadsOnlyRegularFilesAndWithinTheirLimit) {
  TempFolder dir;
  Platform& platform = SystemPlatform();
  {
    const Trap trap = GetParam();
    std::string whyNot;
    if (!SetTrap(dir / "trap", trap, &whyNot)) GTEST_SKIP() << whyNot;
    std::string bytes;
    Status read = Within([&] { return platform.ReadFile(dir / "trap", kMiB, &bytes); });
    EXPECT_FALSE(read.ok()) << Name(trap);
    EXPECT_NE(read.message().find(trap == Trap::kFolder ? "is a folder" : "not a regular file"),
              std::string::npos)
        << read.message();
    EXPECT_FALSE(Within([&] { return platform.CanRead(dir / "trap"); })) << Name(trap);
    EXPECT_FALSE(Within([&] { return platform.ReadAt(dir / "trap", 0, 4, &bytes); }).ok());
    EXPECT_FALSE(Within([&] { return platform.CopyFile(dir / "trap", dir / "copy"); }).ok());
    EXPECT_FALSE(Within([&] { return platform.AppendFile(dir / "trap", "x"); }).ok());
    EXPECT_FALSE(fs::exists(dir / "copy"));
  }
  WriteBytes(dir / "big", std::string(1000, 'x'));
  std::string bytes;
  Status read = platform.ReadFile(dir / "big", 999, &bytes);
  EXPECT_FALSE(read.ok());
  EXPECT_NE(read.message().find("larger than the 999 bytes"), std::string::npos) << read.message();
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(platform.ReadFile(dir / "big", 1000, &bytes).ok());
}

class HostileGameTest : public ::testing::Test {
 protected:
  HostileGameTest() {
    MakeProgramFolderFor(program.path(), game.path());
    MakeSampleGame(game.path());
    WriteBytes(outside / "canary", "outside the game");
    platform.set_program_folder(program.path());
  }

  ModManager& Start() {
    view = RecordingView();
    manager = std::make_unique<ModManager>(platform, view);
    EXPECT_TRUE(Within([&] { return manager->StartUp(); }));
    return *manager;
  }
  std::string Said() {
    std::string all;
    for (const std::string& message : view.messages) all += message + "\n";
    view.messages.clear();
    return all;
  }
  Files Outside() { return Snapshot(outside.path()); }

  TempFolder program, game, outside, saved;
  TestPlatform platform;
  RecordingView view;
  std::unique_ptr<ModManager> manager;
};

INSTANTIATE_TEST_SUITE_P(Traps, HostileFilesTest,
                         ::testing::Values(Trap::kPipe, Trap::kEndless, Trap::kFolder),
                         [](const ::testing::TestParamInfo<Trap>& info) {
                           return std::string(info.param == Trap::kPipe      ? "Pipe"
                                              : info.param == Trap::kEndless ? "EndlessDevice"
                                                                             : "Folder");
                         });

class HostileTrapTest : public HostileGameTest, public ::testing::WithParamInterface<Trap> {};

// Every kind of file the program reads, as a pipe, as an endless device and
// as a folder: the operation that reads it comes back at once, says which
// file, and changes nothing.
TEST_P(HostileTrapTest, PipesDevicesAndFoldersAreRefusedAtOnce) {
  struct Case {
    const char* name;
    std::string path;  // the file replaced by the trap
    int mod;           // the package then installed into place 2, -1: none, kDelete
  } cases[] = {
      {"modfile.ini", program / "mods/brakka_the_mender/modfile.ini", -1},
      {"a data file", program / "mods/brakka_the_mender/itemdata.ini", kBrakka},
      {"the collection entry file", program / "mods/brakka_the_mender/colldef.ini", kBrakka},
      {"an icon", program / "mods/brakka_the_mender/charicon.tga", kBrakka},
      {"an extra icon", program / "mods/brakka_the_mender/brakka_wrench.tga", kBrakka},
      {"the icon map", game / "chars/iconmap", kGrunt},
      {"a slot usage file", game / "chars/slots_char_1", kDelete},
      {"a store list", game / "chars/mod_char_1", kGrunt},
      {"the record", game / "chars/mod_record", kGrunt},
      {"a character file", game / "chars/mods_misc.cpj", kGrunt},
      {"the icon page", game / "stuff/icons/icontpage_nxg.tex", kGrunt},
      {"a game text file", game / "stuff/bolttypes.txt", kGrunt},
  };
  const Trap trap = GetParam();
  std::string canMake;
  if (!SetTrap(saved / "probe", trap, &canMake)) GTEST_SKIP() << canMake;
  Start();
  ASSERT_TRUE(manager->InstallCharacter(kImra, 1));
  fs::remove_all(saved.path());
  fs::copy(game.path(), saved.path(), fs::copy_options::recursive);
  {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " as a " + Name(trap));
      fs::remove_all(game.path());
      fs::copy(saved.path(), game.path(), fs::copy_options::recursive);
      fs::remove_all(program / "mods");
      MakeSampleMods(program / "mods");
      std::string whyNot;
      if (!SetTrap(c.path, trap, &whyNot)) GTEST_SKIP() << whyNot;
      const Files before = Snapshot(game.path());
      Start();
      if (c.mod == kDelete) Within([&] { return manager->DeleteCharacter(2, true); });
      if (c.mod >= 0) Within([&] { return manager->InstallCharacter(c.mod, 1); });
      std::string said = Said();
      EXPECT_NE(said.find(c.path), std::string::npos) << said;
      EXPECT_EQ(said.find("Char enabled."), std::string::npos) << said;
      EXPECT_EQ(said.find("Char deleted."), std::string::npos) << said;
      Files after = Snapshot(game.path());
      EXPECT_EQ(after, before);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Traps, HostileTrapTest,
                         ::testing::Values(Trap::kPipe, Trap::kEndless, Trap::kFolder),
                         [](const ::testing::TestParamInfo<Trap>& info) {
                           return std::string(info.param == Trap::kPipe      ? "Pipe"
                                              : info.param == Trap::kEndless ? "EndlessDevice"
                                                                             : "Folder");
                         });

TEST_F(HostileGameTest, AConfigIniThatIsNoFileIsReadAsMissing) {
  // config.ini in the program folder is read as missing: the program asks.
  std::string whyNot;
  ASSERT_TRUE(SetTrap(program / "config.ini", kAnyTrap, &whyNot)) << whyNot;
  view = RecordingView();
  view.cancel_dialog = true;
  ModManager asked(platform, view);
  EXPECT_FALSE(Within([&] { return asked.StartUp(); }));
  EXPECT_EQ(view.dialogs_shown, 1);
}

// A link inside the game folder that leads out of it stops every operation
// that would change something through it, before anything is changed; the
// files outside stay as they are.
TEST_F(HostileGameTest, LinksLeadingOutOfTheGameFolderStopTheOperation) {
  // The store: a package file tree that lands in a folder that is a link.
  WriteBytes(outside / "textures/brakka_skin.tex", "outside");
  fs::create_directories(game / "chars/pawniks/brakka");
  std::string whyNot;
  if (!MakeLink(outside / "textures", game / "chars/pawniks/brakka/textures", &whyNot)) {
    GTEST_SKIP() << whyNot;
  }
  Start();
  Files before = Snapshot(game.path());
  EXPECT_FALSE(manager->InstallCharacter(kBrakka, 2));
  std::string said = Said();
  EXPECT_NE(said.find("leads outside the game folder"), std::string::npos) << said;
  EXPECT_NE(said.find("The game was left as it was before."), std::string::npos) << said;
  EXPECT_EQ(Snapshot(game.path()), before);
  EXPECT_EQ(ReadBytes(outside / "textures/brakka_skin.tex"), "outside");
  fs::remove(game / "chars/pawniks/brakka/textures");

  // The store's removal and a revert, through a store list that names a
  // path behind a link.
  ASSERT_TRUE(manager->InstallCharacter(kGrunt, 0));
  ASSERT_TRUE(MakeLink(outside.path(), game / "chars/lnk", &whyNot)) << whyNot;
  WriteBytes(game / "chars/mod_char_0", "1\r\n" + game / "chars/lnk/canary" + "\r\n0\r\n1\r\n" +
                                            game / "chars/lnk/canary" + "\r\n0\r\n");
  // (The list is the program's own file: a record-less change of it is
  // what a hostile package could not make, but a damaged disk could.)
  before = Snapshot(game.path());
  Said();
  EXPECT_FALSE(manager->DeleteCharacter(1, true));
  said = Said();
  EXPECT_NE(said.find(game / "chars/lnk/canary"), std::string::npos) << said;
  view.answer_yes = true;
  EXPECT_FALSE(manager->RevertGameFiles());
  EXPECT_EQ(Snapshot(game.path()), before);
  EXPECT_EQ(Outside().at("canary"), "outside the game");

  // The icon page's folder as a link: no cycle runs through it.
  fs::remove(game / "chars/lnk");
  fs::remove(game / "chars/mod_char_0");
  fs::rename(game / "stuff/icons", outside / "icons");
  ASSERT_TRUE(MakeLink(outside / "icons", game / "stuff/icons", &whyNot)) << whyNot;
  const Files outsideBefore = Outside();
  Start();
  before = Snapshot(game.path());
  EXPECT_FALSE(manager->InstallCharacter(kGrunt, 3));
  said = Said();
  EXPECT_NE(said.find("leads outside the game folder"), std::string::npos) << said;
  EXPECT_EQ(Outside(), outsideBefore);
}

TEST_F(HostileGameTest, TheBackupsOfTheFirstStartStayInsideTheGameFolder) {
  // The game's text folder is a link out of the game folder.
  fs::rename(game / "stuff/text", outside / "text");
  std::string whyNot;
  if (!MakeLink(outside / "text", game / "stuff/text", &whyNot)) GTEST_SKIP() << whyNot;
  const Files outsideBefore = Outside();
  view = RecordingView();
  ModManager m(platform, view);
  ASSERT_TRUE(m.StartUp());
  std::string said = Said();
  EXPECT_NE(said.find(game / "stuff/text/text.csv"), std::string::npos) << said;
  EXPECT_NE(said.find("outside the game folder"), std::string::npos) << said;
  EXPECT_EQ(Outside(), outsideBefore);
}

// Icons that claim to be huge, are larger than a cell, or are cut short are
// refused at the install check, before the place is touched.
TEST_F(HostileGameTest, IconsAreCheckedBeforeAnythingIsChanged) {
  std::string hugeHeader(18, '\0');
  hugeHeader[2] = 2;                              // uncompressed true colour
  hugeHeader[12] = hugeHeader[13] = '\xff';       // width 65535
  hugeHeader[14] = hugeHeader[15] = '\xff';       // height 65535
  hugeHeader[16] = 32;
  std::string huge = hugeHeader + std::string(65000, '\x7f');
  std::string big = TgaBytes(DrawIconPage(2, 280));  // 1280 x 256
  RgbaImage wide(256, 256);
  std::string large = TgaBytes(wide);
  std::string whole = TgaBytes(DrawIcon(3));
  // An RLE icon whose packets stop half-way.
  std::string rle = whole.substr(0, 18);
  rle[2] = 10;
  for (int i = 0; i < 128 * 64; ++i) rle += std::string("\x80\x10\x20\x30\xff", 5);
  struct Case {
    const char* name;
    std::string bytes;
    const char* says;
  } cases[] = {
      {"65535 x 65535 header", huge, "65535 x 65535 pixels"},
      {"a picture larger than a cell", large, "256 x 256 pixels"},
      {"a page as an icon", big, "1280 x 256 pixels"},
      {"cut short", whole.substr(0, whole.size() / 2), "cut short"},
      {"run-length packets cut short", rle, "cut short"},
  };
  Start();
  const Files before = Snapshot(game.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(program / "mods/sister_imra/charicon.tga", c.bytes);
    EXPECT_FALSE(manager->InstallCharacter(kImra, 4));
    std::string said = Said();
    EXPECT_EQ(said.rfind("Character cannot install.", 0), 0u) << said;
    EXPECT_NE(said.find("charicon.tga"), std::string::npos) << said;
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    EXPECT_EQ(Snapshot(game.path()), before);
  }
}

// A package may not bring files onto the program's own paths: the tools'
// working copies, the page and its intermediates, the program's records,
// the backups and the managed game files.
TEST_F(HostileGameTest, APackageMayNotPlantFilesOnTheProgramsPaths) {
  const char* planted[] = {
      "stuff/icons/crunch.exe",          "stuff/icons/icontpage_nxg_t.tga",
      "stuff/icons/icontpage_nxg.dds",   "stuff/icons/icontpage_nxg.tga",
      "stuff/icons/icontpage_nxg.tex",   "Chars/IconMap",
      "chars/slots_char_2",              "chars/mod_char_7",
      "chars/mod_record",                "mod_journal",
      "quickbms.exe",                    "chars/quorin_pawnik.cpj",
      "stuff/text/text.csv_bak",         "chars/collection.txt",
  };
  Start();
  const Files before = Snapshot(game.path());
  for (const char* path : planted) {
    SCOPED_TRACE(path);
    fs::remove_all(program / "mods/plain_grunt/files");
    WriteStandIn(program / ("mods/plain_grunt/files/" + std::string(path)), "touch ran\n");
    EXPECT_FALSE(manager->InstallCharacter(kGrunt, 0));
    std::string said = Said();
    EXPECT_EQ(said.rfind("Character cannot install.", 0), 0u) << said;
    EXPECT_NE(said.find(std::string("files/") + path), std::string::npos) << said;
    EXPECT_EQ(Snapshot(game.path()), before);
  }
}

}  // namespace
}  // namespace korva
