#include "installer/mod_database.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "installer/mod_manager.h"
#include "platform/text_file.h"
#include "tests/support/files.h"
#include "tests/support/recording_view.h"
#include "tests/support/test_platform.h"

namespace korva {
namespace {

TEST(ReadModInfo, GivesTheNameAndDescriptionTextsByteForByte) {
  struct Case {
    const char* name;
    std::string file;
    std::string modName;
    std::string description;
  } cases[] = {
      {"name and one description line", "name=Blue Runner\ndescription=Fast\n",
       "Mod Name: Blue Runner", "Mod Description: \nFast\n"},
      {"description lines in file order", "description=One\nname=N\ndescription = Two words \n",
       "Mod Name: N", "Mod Description: \nOne\nTwo words\n"},
      {"a description without value adds an empty line",
       "description=a\ndescription=\ndescription\ndescription=b\n", "Mod Name: ",
       "Mod Description: \na\n\n\nb\n"},
      {"no name line", "description=Fast\n", "Mod Name: ", "Mod Description: \nFast\n"},
      {"a name without value", "name=\n", "Mod Name: ", "Mod Description: \n"},
      {"a name of one space", "name= \n", "Mod Name:  ", "Mod Description: \n"},
      {"a later name replaces an earlier one", "name=First\nname=Second\n", "Mod Name: Second",
       "Mod Description: \n"},
      {"only the second piece is shown", "name=a=b\ndescription=c=d\n", "Mod Name: a",
       "Mod Description: \nc\n"},
      {"keys in another case are ignored",
       "Name=Blue Runner\nDESCRIPTION=Loud\n name = Real \nDescription=x\n", "Mod Name: Real",
       "Mod Description: \n"},
      {"install keys are not shown", "dataname=Hero\nhas_icon=1\nadd_icon=a.tga\n", "Mod Name: ",
       "Mod Description: \n"},
      {"empty file", "", "Mod Name: ", "Mod Description: \n"},
      {"8-bit bytes are kept", "name=H\xE9ros\ndescription=\xE0 toi\n", "Mod Name: H\xE9ros",
       "Mod Description: \n\xE0 toi\n"},
  };
  TempFolder dir;
  for (const Case& c : cases) {
    for (bool crlf : {false, true}) {
      WriteBytes(dir / "Hero/modfile.ini", crlf ? ToTextMode(c.file) : c.file);
      ModInfoTexts texts;
      ASSERT_TRUE(ReadModInfo(SystemPlatform(), dir / "Hero", &texts).ok()) << c.name;
      EXPECT_EQ(texts.name, c.modName) << c.name << (crlf ? " (CR LF)" : " (LF)");
      EXPECT_EQ(texts.description, c.description) << c.name << (crlf ? " (CR LF)" : " (LF)");
    }
  }
}

TEST(ReadModInfo, AMissingFileGivesTheBareHeadingsAndSaysWhy) {
  TempFolder dir;
  ModInfoTexts texts{"old name", "old description"};
  Status status = ReadModInfo(SystemPlatform(), dir / "Gone", &texts);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("Gone/modfile.ini"), std::string::npos) << status.message();
  EXPECT_EQ(texts.name, "Mod Name: ");
  EXPECT_EQ(texts.description, "Mod Description: \n");
}

TEST(ReadModListName, TakesTheSecondPieceOfTheFirstLineWhateverItsKey) {
  struct Case {
    const char* name;
    std::string file;
    std::string listName;
  } cases[] = {
      {"name line first", "name=Blue Runner\ndescription=Fast\n", "Blue Runner"},
      {"description line first", "description=Fast\nname=Blue Runner\n", "Fast"},
      {"any key", "dataname = Hero \n", "Hero"},
      {"third piece not shown", "name=a=b\n", "a"},
      {"first line without value", "name=\nname=Later\n", ""},
      {"first line empty", "\nname=Later\n", ""},
      {"empty file", "", ""},
      {"no line end", "name=Solo", "Solo"},
  };
  TempFolder dir;
  for (const Case& c : cases) {
    for (bool crlf : {false, true}) {
      WriteBytes(dir / "modfile.ini", crlf ? ToTextMode(c.file) : c.file);
      std::string name = "stale";
      ASSERT_TRUE(ReadModListName(SystemPlatform(), dir / "modfile.ini", &name).ok()) << c.name;
      EXPECT_EQ(name, c.listName) << c.name << (crlf ? " (CR LF)" : " (LF)");
    }
  }
  std::string name = "stale";
  EXPECT_FALSE(ReadModListName(SystemPlatform(), dir / "missing.ini", &name).ok());
  EXPECT_EQ(name, "");
}

// A TestPlatform that reports `folder` as the program folder from the start.
struct ProgramFolderPlatform : TestPlatform {
  explicit ProgramFolderPlatform(const std::string& folder) { set_program_folder(folder); }
};

// The mod database as the window sees it: a ModManager whose program folder
// is a fresh temporary folder, reporting to a RecordingView.
class ModDatabaseTest : public ::testing::Test {
 protected:
  void WritePackage(const std::string& folder, const std::string& modfile) {
    WriteBytes(program / ("mods/" + folder + "/modfile.ini"), ToTextMode(modfile));
  }
  // Runs the start-up steps and returns the manager's mod folder list.
  std::vector<std::string> Start() {
    manager.RunStartUpSteps();
    EXPECT_EQ(manager.mod_count(), static_cast<int>(manager.mod_folder_list().size()));
    EXPECT_EQ(view.mod_rows.size(), manager.mod_folder_list().size());
    return manager.mod_folder_list();
  }
  // The messages that are about the mod database.
  std::vector<std::string> ModMessages() const {
    std::vector<std::string> found;
    for (const std::string& m : view.messages) {
      if (m.find("mod package") != std::string::npos) found.push_back(m);
    }
    return found;
  }

  TempFolder program;
  ProgramFolderPlatform platform{program.path()};
  RecordingView view;
  ModManager manager{platform, view};
};

TEST_F(ModDatabaseTest, ListsEveryPackageFolderInSortedOrderUnderItsFirstLine) {
  WritePackage("Zeta", "name=Zeta Runner\ndescription=Last\n");
  WritePackage("alpha", "description=Fast\nname=Blue Runner\n");
  WritePackage("Beta", "name = Beta One \n");
  WriteBytes(program / "mods/Beta/files/chars/x.txt", "payload");
  WriteBytes(program / "mods/NoModfile/readme.txt", "not a package");
  WriteBytes(program / "mods/plain.ini", "name=Not A Folder\n");
  WriteBytes(program / "mods/Nested/Inner/modfile.ini", "name=Too Deep\n");

  std::vector<std::string> folders = Start();
  EXPECT_EQ(folders, (std::vector<std::string>{program / "mods/alpha", program / "mods/Beta",
                                                program / "mods/Zeta"}));
  EXPECT_EQ(view.mod_rows, (std::vector<std::string>{"Fast", "Beta One", "Zeta Runner"}));
  EXPECT_EQ(manager.mod_count(), 3);
  EXPECT_TRUE(ModMessages().empty()) << ModMessages().front();
}

TEST_F(ModDatabaseTest, FindsFolderAndFileNamesSpelledInAnotherCase) {
  WriteBytes(program / "Mods/Hero/MODFILE.INI", "name=Hero\r\ndescription=Loud\r\n");
  EXPECT_EQ(Start(), (std::vector<std::string>{program / "mods/Hero"}));
  EXPECT_EQ(view.mod_rows, (std::vector<std::string>{"Hero"}));
  manager.ShowModInfo(0);
  EXPECT_EQ(view.mod_description, "Mod Description: \nLoud\n");
}

TEST_F(ModDatabaseTest, SelectingARowShowsThatPackagesNameAndDescription) {
  for (int i = 0; i < 10; ++i) {
    std::string n = std::to_string(i);
    WritePackage("pkg" + n, "name=Runner " + n + "\ndescription=Line " + n +
                                "\ndescription=\ndescription=End\n");
  }
  ASSERT_EQ(Start().size(), 10u);

  manager.ShowModInfo(3);
  EXPECT_EQ(view.mod_name, "Mod Name: Runner 3");
  EXPECT_EQ(view.mod_description, "Mod Description: \nLine 3\n\nEnd\n");
  manager.ShowModInfo(9);
  EXPECT_EQ(view.mod_name, "Mod Name: Runner 9");
  EXPECT_EQ(view.mod_description, "Mod Description: \nLine 9\n\nEnd\n");
  EXPECT_TRUE(ModMessages().empty());
}

TEST_F(ModDatabaseTest, ARowOutsideTheListChangesNothing) {
  WritePackage("Only", "name=Only\ndescription=One\n");
  Start();
  for (int row : {-1, 1, 2, 1000}) {
    manager.ShowModInfo(row);
    EXPECT_EQ(view.mod_name, "Mod Name:") << row;
    EXPECT_EQ(view.mod_description, "Mod Description:") << row;
  }
  EXPECT_TRUE(ModMessages().empty());
}

TEST_F(ModDatabaseTest, APackageRemovedSinceStartShowsBareHeadingsAndSaysSo) {
  WritePackage("Gone", "name=Gone\ndescription=Soon\n");
  Start();
  manager.ShowModInfo(0);
  EXPECT_EQ(view.mod_name, "Mod Name: Gone");
  std::remove((program / "mods/Gone/modfile.ini").c_str());

  manager.ShowModInfo(0);
  EXPECT_EQ(view.mod_name, "Mod Name: ");
  EXPECT_EQ(view.mod_description, "Mod Description: \n");
  ASSERT_EQ(ModMessages().size(), 1u);
  EXPECT_NE(ModMessages()[0].find("Gone/modfile.ini"), std::string::npos) << ModMessages()[0];
}

TEST_F(ModDatabaseTest, NoModsFolderGivesAnEmptyListWithoutMessage) {
  EXPECT_TRUE(Start().empty());
  EXPECT_TRUE(view.mod_rows.empty());
  EXPECT_EQ(manager.mod_count(), 0);
  EXPECT_TRUE(ModMessages().empty());
}

TEST_F(ModDatabaseTest, AModsFolderThatCannotBeListedIsReported) {
  WritePackage("Hero", "name=Hero\n");
  platform.Fail(Op::ListFolder, "/mods");
  EXPECT_TRUE(Start().empty());
  EXPECT_TRUE(view.mod_rows.empty());
  ASSERT_EQ(ModMessages().size(), 1u);
  EXPECT_NE(ModMessages()[0].find(program / "mods: injected failure"), std::string::npos)
      << ModMessages()[0];
}

TEST_F(ModDatabaseTest, AnUnreadableModfileLeavesItsPackageOutAndIsReported) {
  WritePackage("Broken", "name=Broken\n");
  WritePackage("Good", "name=Good\n");
  platform.Fail(Op::ReadFile, "Broken/modfile.ini", -1);

  EXPECT_EQ(Start(), (std::vector<std::string>{program / "mods/Good"}));
  EXPECT_EQ(view.mod_rows, (std::vector<std::string>{"Good"}));
  ASSERT_EQ(ModMessages().size(), 1u);
  EXPECT_NE(ModMessages()[0].find(program / "mods/Broken/modfile.ini"), std::string::npos)
      << ModMessages()[0];
  manager.ShowModInfo(0);
  EXPECT_EQ(view.mod_name, "Mod Name: Good");
}

}  // namespace
}  // namespace korva
