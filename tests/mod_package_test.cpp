#include "installer/mod_package.h"

#include <gtest/gtest.h>

#include "platform/text_file.h"
#include "tests/support/files.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

// The whole record in one line, so a wrong field shows in the failure text.
std::string Dump(const ModPackageInfo& info) {
  std::string out = "dataName=[" + info.dataName + "] flags=";
  const std::pair<const char*, bool> flags[] = {
      {"colldef", info.hasColldef}, {"items", info.hasItems}, {"text", info.hasText},
      {"bolts", info.hasBolts},     {"abilities", info.hasAbilities}, {"icon", info.hasIcon}};
  for (const auto& flag : flags) {
    if (flag.second) out += std::string(flag.first) + ",";
  }
  const char* letters = "CAFM";
  for (SlotKind kind : kAllSlotKinds) {
    out += std::string(" ") + letters[static_cast<int>(kind)] + "=";
    for (const SlotRequest& slot : SlotsOfKind(info, kind)) out += slot.path + ":" + slot.name + ",";
  }
  out += " icons=";
  for (const std::string& icon : info.extraIcons) out += icon + ",";
  return out;
}

const std::string kEmpty = "dataName=[] flags= C= A= F= M= icons=";

class ModPackageTest : public ::testing::Test {
 protected:
  Platform& platform = SystemPlatform();
  TempFolder dir;
  std::string package = dir / "mods/Hero";
};

TEST_F(ModPackageTest, ReadsTheInstallKeysTheSameWithEitherLineEnd) {
  struct Case {
    const char* name;
    std::string file;
    std::string record;
  } cases[] = {
      {"empty file", "", kEmpty},
      {"name and description are not install keys", "name=Blue Runner\ndescription=Fast\n",
       kEmpty},
      {"spaces around the data name", "dataname = Hero Two \n",
       "dataName=[Hero Two] flags= C= A= F= M= icons="},
      {"the last data name wins", "dataname=First\nname=x\ndataname=Second\n",
       "dataName=[Second] flags= C= A= F= M= icons="},
      {"a data name of one space", "dataname= \n", "dataName=[ ] flags= C= A= F= M= icons="},
      {"a data name line without value is skipped", "dataname=Keep\ndataname=\ndataname\n",
       "dataName=[Keep] flags= C= A= F= M= icons="},
      {"pieces after the value are ignored", "dataname=a=b\n",
       "dataName=[a] flags= C= A= F= M= icons="},
      {"keys are case-sensitive", "Dataname=X\nHAS_ICON=1\nAdd_Icon=a.tga\n", kEmpty},
      {"any value sets a flag",
       "has_colldef=0\nhas_items=no\nhas_text=1\nhas_bolts=yes\nhas_abilities=false\nhas_icon=0\n",
       "dataName=[] flags=colldef,items,text,bolts,abilities,icon, C= A= F= M= icons="},
      {"a flag without value is not set", "has_icon\nhas_items=\nhas_text= =\n", kEmpty},
      {"has_sound changes nothing", "has_sound=1\n", kEmpty},
      {"slots per kind in file order",
       "add_charslot=Pawniks\\Hero=Hero\nadd_animslot=Pawniks\\HeroA=HeroA\n"
       "add_charslot = Pawniks\\Hero Two = Hero2\nadd_faceslot=Pawniks\\Face=Face\n"
       "add_miscslot=Pawniks\\Misc=Misc\n",
       "dataName=[] flags= C=Pawniks\\Hero:Hero,Pawniks\\Hero Two:Hero2, A=Pawniks\\HeroA:HeroA, "
       "F=Pawniks\\Face:Face, M=Pawniks\\Misc:Misc, icons="},
      {"a slot line without name is skipped",
       "add_charslot=Pawniks\\Hero\nadd_faceslot=Pawniks\\Face==\nadd_charslot=p=n=extra\n",
       "dataName=[] flags= C=p:n, A= F= M= icons="},
      {"extra icons in file order", "add_icon=extra1.tga\nadd_icon\nadd_icon = icons/two.tga\n",
       "dataName=[] flags= C= A= F= M= icons=extra1.tga,icons/two.tga,"},
      {"lines without pieces are skipped", "=\n\n \n==\ndataname=X\n",
       "dataName=[X] flags= C= A= F= M= icons="},
      {"no line end after the last line", "has_icon=1\ndataname=Last",
       "dataName=[Last] flags=icon, C= A= F= M= icons="},
      {"8-bit bytes are kept", "dataname=H\xE9ros\n", "dataName=[H\xE9ros] flags= C= A= F= M= icons="},
  };
  for (const Case& c : cases) {
    for (bool crlf : {false, true}) {
      WriteBytes(package + "/modfile.ini", crlf ? ToTextMode(c.file) : c.file);
      ModPackageInfo info;
      ASSERT_TRUE(ReadModPackage(platform, package, &info).ok()) << c.name;
      EXPECT_EQ(Dump(info), c.record) << c.name << (crlf ? " (CR LF)" : " (LF)");
    }
  }
}

TEST_F(ModPackageTest, SlotListsBelongToTheirKinds) {
  WriteBytes(package + "/modfile.ini",
             "add_charslot=c=C\nadd_animslot=a=A\nadd_faceslot=f=F\nadd_miscslot=m=M\n");
  ModPackageInfo info;
  ASSERT_TRUE(ReadModPackage(platform, package, &info).ok());
  ASSERT_EQ(info.charSlots.size(), 1u);
  ASSERT_EQ(info.animSlots.size(), 1u);
  ASSERT_EQ(info.faceSlots.size(), 1u);
  ASSERT_EQ(info.miscSlots.size(), 1u);
  EXPECT_EQ(info.charSlots[0].path + info.charSlots[0].name, "cC");
  EXPECT_EQ(info.animSlots[0].path + info.animSlots[0].name, "aA");
  EXPECT_EQ(info.faceSlots[0].path + info.faceSlots[0].name, "fF");
  EXPECT_EQ(info.miscSlots[0].path + info.miscSlots[0].name, "mM");
  EXPECT_EQ(&SlotsOfKind(info, SlotKind::A), &info.animSlots);
  EXPECT_EQ(&SlotsOfKind(info, SlotKind::M), &info.miscSlots);
}

TEST_F(ModPackageTest, AnUnreadableFileGivesTheEmptyRecordAndSaysWhy) {
  ModPackageInfo stale;
  stale.dataName = "Old";
  stale.hasIcon = true;
  stale.extraIcons = {"old.tga"};

  // No modfile.ini at all.
  ModPackageInfo info = stale;
  Status status = ReadModPackage(platform, package, &info);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("modfile.ini"), std::string::npos) << status.message();
  EXPECT_EQ(Dump(info), kEmpty);

  // A folder where the file should be.
  WriteBytes(package + "/modfile.ini/inner", "dataname=X\n");
  info = stale;
  EXPECT_FALSE(ReadModPackage(platform, package, &info).ok());
  EXPECT_EQ(Dump(info), kEmpty);

  // A file that fails while it is read.
  TestPlatform failing;
  WriteBytes(dir / "mods/Other/modfile.ini", "dataname=X\nhas_icon=1\n");
  failing.Fail(Op::ReadFile, "Other/modfile.ini");
  info = stale;
  EXPECT_FALSE(ReadModPackage(failing, dir / "mods/Other", &info).ok());
  EXPECT_EQ(Dump(info), kEmpty);
}

TEST(CheckModPackage, RefusesExtraIconsOutsideThePackageFolder) {
  struct Case {
    const char* icon;
    const char* fault;  // nullptr: the icon is fine
  } cases[] = {
      {"extra1.tga", nullptr},
      {"icons/extra.tga", nullptr},
      {"icons\\extra.tga", nullptr},
      {"./extra.tga", nullptr},
      {"icons/../extra.tga", nullptr},
      {"a..b.tga", nullptr},
      {"..hidden.tga", nullptr},
      {"icons//extra.tga", nullptr},
      {"/etc/passwd", "is an absolute path"},
      {"\\Windows\\icon.tga", "is an absolute path"},
      {"\\\\server\\share\\icon.tga", "is an absolute path"},
      {"C:\\Games\\icon.tga", "is an absolute path"},
      {"c:icon.tga", "is an absolute path"},
      {"../icon.tga", "leads out"},
      {"..\\icon.tga", "leads out"},
      {"..", "leads out"},
      {"icons/../../icon.tga", "leads out"},
      {"icons\\..\\..\\icon.tga", "leads out"},
      {"icons/../../mods/Hero/icon.tga", "leads out"},
      {".. /icon.tga", "leads out"},
      {".../icon.tga", "leads out"},
      {". /../icon.tga", "leads out"},
  };
  for (const Case& c : cases) {
    ModPackageInfo info;
    info.extraIcons = {c.icon};
    std::vector<std::string> problems = CheckModPackage("/p/mods/Hero", info);
    if (c.fault == nullptr) {
      EXPECT_TRUE(problems.empty()) << c.icon << ": " << problems.front();
    } else {
      ASSERT_EQ(problems.size(), 1u) << c.icon;
      EXPECT_NE(problems[0].find(c.fault), std::string::npos) << c.icon << ": " << problems[0];
      EXPECT_NE(problems[0].find(std::string("\"") + c.icon + "\""), std::string::npos)
          << problems[0];
    }
  }
}

TEST(CheckModPackage, NamesThePackageAndEveryBadValueInOrder) {
  ModPackageInfo info;
  info.extraIcons = {"../a.tga", "fine.tga", "D:\\b.tga"};
  std::vector<std::string> problems = CheckModPackage("/p/mods/Hero", info);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0],
            "The mod package \"/p/mods/Hero\" names the extra icon \"../a.tga\" (add_icon), which "
            "leads out of the package folder through \"..\". An icon must be a file inside the "
            "package folder.");
  EXPECT_EQ(problems[1],
            "The mod package \"/p/mods/Hero\" names the extra icon \"D:\\b.tga\" (add_icon), which "
            "is an absolute path. An icon must be a file inside the package folder.");
}

}  // namespace
}  // namespace korva
