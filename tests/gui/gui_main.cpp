// Starts wx once for all window tests (under Xvfb), then runs them.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/utils.h>

#include <cstdio>

#include "tests/gui/gui_support.h"

namespace {

class TestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  wxSetEnv("GTK_OVERLAY_SCROLLING", "0");
  wxApp::SetInstance(new TestApp);
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    fprintf(stderr, "wx cannot start: is there an X display (DISPLAY)?\n");
    return 1;
  }
  UnexpectedDialogHook unexpected;
  unexpected.Register();
  int result = RUN_ALL_TESTS();
  unexpected.Unregister();
  wxEntryCleanup();
  return result;
}
