// Text between the core's narrow UTF-8 bytes and the window's strings.
#include <gtest/gtest.h>

#include "app/wx_text.h"

namespace {

TEST(WxTextTest, Utf8TextKeepsEveryCharacterBothWays) {
  struct Case {
    const char* name;
    std::string bytes;
    wxString shown;
  } cases[] = {
      {"empty", "", wxString()},
      {"ASCII with a backslash", "Mod_Char_01\\", wxString(L"Mod_Char_01\\")},
      {"letters of an 8-bit code page", "Spiele/K\xc3\xb8rva Qu\xc3\xb6rin",
       wxString(L"Spiele/K\u00f8rva Qu\u00f6rin")},
      {"letters of no 8-bit code page", "\xe3\x83\xa2\xe3\x83\x83\xe3\x83\x89 \xce\xa9",
       wxString(L"\u30e2\u30c3\u30c9 \u03a9")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToWx(c.bytes), c.shown) << c.name;
    EXPECT_EQ(FromWx(c.shown), c.bytes) << c.name;
  }
}

TEST(WxTextTest, BytesThatAreNotUtf8AreShownAsLatin1) {
  // An 8-bit package text ("Ca\xe7" "ador" is Latin-1 for "Cacador" with a
  // cedilla): nothing of it disappears.
  EXPECT_EQ(ToWx("Ca\xe7" "ador"), wxString(L"Ca\u00e7ador"));
  EXPECT_EQ(ToWx("\xff"), wxString(L"\u00ff"));
}

}  // namespace
