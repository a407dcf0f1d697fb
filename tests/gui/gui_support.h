// Helpers for the window's tests: modal dialogs answered by the test (an
// unexpected dialog fails the test), controls found by name, events sent as a
// user's clicks would send them, and a frame over a temporary program folder
// and game folder.
#pragma once

#include <gtest/gtest.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/filedlg.h>
#include <wx/choicdlg.h>
#include <wx/textdlg.h>

// Unexpected or missing dialogs fail the running test instead of showing an
// assertion box.
class GtestModalHook;
#define wxTEST_DIALOG_HOOK_CLASS GtestModalHook
#include <wx/testing.h>

#include <string>
#include <vector>

#include "app/main_frame.h"
#include "tests/support/files.h"
#include "tests/support/test_platform.h"

class GtestModalHook : public wxTestingModalHook {
 public:
  GtestModalHook(const char* file, int line, const char* func)
      : wxTestingModalHook(file, line, func) {
    ++active;
  }
  ~GtestModalHook() override { --active; }

  // How many wxTEST_DIALOG scopes are open; outside them every modal dialog
  // is unexpected.
  static int active;

 protected:
  void ReportFailure(const wxString& message) override {
    ADD_FAILURE() << message.ToStdString();
  }
};

// Fails the running test on a modal dialog shown outside wxTEST_DIALOG and
// closes it, so a test never waits for a person.
class UnexpectedDialogHook : public wxModalDialogHook {
 protected:
  int Enter(wxDialog* dialog) override;
  void Exit(wxDialog*) override {}
};

// A message box as it was shown.
struct ShownMessage {
  std::string text;
  std::string caption;
  long style = 0;
  bool busy_cursor = false;  // whether the busy cursor was up while it was shown
};

// Expects a message box, records it and answers it with `answer`.
class ExpectMessage : public wxExpectModalBase<wxMessageDialog, ExpectMessage> {
 public:
  explicit ExpectMessage(ShownMessage* shown, int answer = wxID_OK)
      : shown_(shown), answer_(answer) {}

 protected:
  int OnInvoked(wxMessageDialog* dialog) const override;

 private:
  ShownMessage* shown_;
  int answer_;
};

// Expects a text entry dialog, records its caption and enters `text` (OK).
class ExpectText : public wxExpectModalBase<wxTextEntryDialog, ExpectText> {
 public:
  ExpectText(std::string text, std::string* caption) : text_(std::move(text)), caption_(caption) {}

 protected:
  int OnInvoked(wxTextEntryDialog* dialog) const override;

 private:
  std::string text_;
  std::string* caption_;
};

// Expects a choice from a list, records the choices and picks `index` (OK).
class ExpectChoice : public wxExpectModalBase<wxSingleChoiceDialog, ExpectChoice> {
 public:
  ExpectChoice(int index, std::vector<std::string>* choices) : index_(index), choices_(choices) {}

 protected:
  int OnInvoked(wxSingleChoiceDialog* dialog) const override;

 private:
  int index_;
  std::vector<std::string>* choices_;
};

// A main window over a temporary program folder (with the built data, tools
// and mods copied in) and a temporary game folder holding a sample game.
class FrameTest : public ::testing::Test {
 protected:
  FrameTest();
  ~FrameTest() override;

  // Writes config.ini in the program folder.
  void WriteConfig(const std::string& bytes);
  // Builds the window (not yet started).
  KorvaQuorinZIDFrame* MakeFrame();
  // Destroys the window now.
  void DestroyFrame();
  // Builds the window and runs its start-up with config.ini naming the game.
  KorvaQuorinZIDFrame* StartOnGame();

  // The control named `name` in the window.
  template <typename T>
  T* Find(const std::string& name) {
    wxWindow* window = wxWindow::FindWindowByName(name, frame_);
    T* control = dynamic_cast<T*>(window);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  // Sends what a click on the button, a choice of list row or a menu command sends.
  void Click(const std::string& buttonName);
  void SelectRow(const std::string& listName, int row);
  void Menu(wxWindowID id);
  bool WindowClosed() const;

  korva::TempFolder program;
  korva::TempFolder game;
  korva::TestPlatform platform;
  KorvaQuorinZIDFrame* frame_ = nullptr;
};
