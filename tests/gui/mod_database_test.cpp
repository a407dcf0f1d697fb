#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/tokenzr.h>

#include <filesystem>

#include "tests/gui/gui_support.h"
#include "tests/support/icon_pictures.h"

namespace {

using korva::WriteBytes;

// "Mod Database" over packages of the test's own.
class ModDatabaseWindowTest : public FrameTest {
 protected:
  ModDatabaseWindowTest() { std::filesystem::remove_all(program / "mods"); }

  void WritePackage(const std::string& folder, const std::string& modfile) {
    WriteBytes(program / ("mods/" + folder + "/modfile.ini"), modfile);
  }
  wxString Label(const std::string& name) { return Find<wxStaticText>(name)->GetLabel(); }
};

TEST_F(ModDatabaseWindowTest, SelectingARowShowsThatPackagesNameAndDescriptionAtOnce) {
  WritePackage("beta", "name=Beta Brawler\r\ndescription=Strong\r\ndescription=\r\n"
                       "description=Slow\r\n");
  WritePackage("Alpha", "description=Fast one\r\nname=Alpha Runner\r\n");
  StartOnGame();

  wxListBox* mods = Find<wxListBox>("ID_LISTBOX1");
  ASSERT_EQ(mods->GetCount(), 2u);
  EXPECT_EQ(mods->GetString(0), "Fast one");
  EXPECT_EQ(mods->GetString(1), "Beta Brawler");
  EXPECT_EQ(Label("ID_STATICTEXT3"), "Mod Name:");
  EXPECT_EQ(Label("ID_STATICTEXT4"), "Mod Description:");

  SelectRow("ID_LISTBOX1", 1);
  EXPECT_EQ(Label("ID_STATICTEXT3"), "Mod Name: Beta Brawler");
  EXPECT_EQ(Label("ID_STATICTEXT4"), "Mod Description: \nStrong\n\nSlow\n");

  SelectRow("ID_LISTBOX1", 0);
  EXPECT_EQ(Label("ID_STATICTEXT3"), "Mod Name: Alpha Runner");
  EXPECT_EQ(Label("ID_STATICTEXT4"), "Mod Description: \nFast one\n");
}

TEST_F(ModDatabaseWindowTest, ALongDescriptionIsWrappedToTheTextWidth) {
  std::string words;
  for (int i = 0; i < 40; ++i) words += "word" + std::to_string(i) + " ";
  words.pop_back();
  WritePackage("Long", "name=Long\r\ndescription=" + words + "\r\n");
  StartOnGame();
  SelectRow("ID_LISTBOX1", 0);

  wxStaticText* description = Find<wxStaticText>("ID_STATICTEXT4");
  wxString shown = description->GetLabel();
  wxString joined = shown;
  joined.Replace("\n", " ");
  EXPECT_EQ(joined.Trim().ToStdString(), "Mod Description:  " + words);
  wxStringTokenizer lines(shown, "\n");
  EXPECT_GT(lines.CountTokens(), 2u) << shown;
  while (lines.HasMoreTokens()) {
    wxString line = lines.GetNextToken();
    EXPECT_LE(description->GetTextExtent(line).GetWidth(), 380) << line;
  }
}

// The package's icons are shown beside its name; one that cannot be read
// is a plain frame with the reason as its tooltip, and nothing else fails.
// Each icon is decoded once.
TEST_F(ModDatabaseWindowTest, ABrokenIconShowsItsFrameAndTheReason) {
  WritePackage("Broken", "name=Broken\r\nhas_icon=1\r\nadd_icon=good.tga\r\n"
                         "add_icon=../../outside.tga\r\n");
  WriteBytes(program / "mods/Broken/charicon.tga", "not an image");
  ASSERT_TRUE(korva::WriteTgaFile(program / "mods/Broken/good.tga", korva::DrawIcon(3)).ok());
  StartOnGame();
  for (int round = 0; round < 2; ++round) {
    SelectRow("ID_LISTBOX1", 0);
    EXPECT_EQ(Label("ID_STATICTEXT3"), "Mod Name: Broken");
    struct Shown {
      bool broken;
      std::string tooltip;
    } expected[] = {{true, "cannot be shown: " + program / "mods/Broken/charicon.tga"},
                    {false, "good.tga (128 x 128 pixels)"},
                    {true, "../../outside.tga"}};
    for (size_t i = 0; i < std::size(expected); ++i) {
      IconFrame* frame = Find<IconFrame>("icon_" + std::to_string(i));
      ASSERT_NE(frame, nullptr);
      EXPECT_EQ(frame->broken(), expected[i].broken) << i;
      EXPECT_NE(frame->GetToolTipText().find(expected[i].tooltip), wxNOT_FOUND)
          << frame->GetToolTipText();
      EXPECT_GT(frame->GetSize().x, 0);
    }
    EXPECT_EQ(frame_->icon_strip()->decoded(), 2);
  }
}

}  // namespace
