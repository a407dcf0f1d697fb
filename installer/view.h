// View: how the core talks back to whoever drives it. The main window shows
// these as message boxes, lists and labels; the command line prints them;
// tests record them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "slots/slot_kind.h"

namespace korva {

class View {
 public:
  virtual ~View() = default;

  // A message box with an OK button, centred, under the default caption.
  virtual void ShowMessage(const std::string& text) = 0;
  // A yes/no question whose default answer is No. True only for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // Asks the user for KORVAQUORIN.exe, starting in `defaultFolder` with
  // `defaultFile` chosen (both "" when the game was found nowhere). On OK
  // stores the folder of the chosen file in `*folder` and returns true;
  // false when the user cancelled.
  virtual bool AskForGameFolder(const std::string& defaultFolder, const std::string& defaultFile,
                                std::string* folder) = 0;

  // Asks for one line of text: `text` above the field, under `caption`. On
  // OK stores what was typed in `*answer` and returns true; false when the
  // user cancelled.
  virtual bool AskForText(const std::string& text, const std::string& caption,
                          std::string* answer) {
    (void)text, (void)caption, (void)answer;
    return false;
  }
  // Lets the user choose one of `choices`. On OK stores its index in
  // `*chosen` and returns true; false when the user cancelled.
  virtual bool ChooseFromList(const std::string& text, const std::string& caption,
                              const std::vector<std::string>& choices, int* chosen) {
    (void)text, (void)caption, (void)choices, (void)chosen;
    return false;
  }

  // Asks where to save a file, under `caption`, offering the name
  // `defaultName`; a file that exists there is chosen only once the user
  // has confirmed replacing it. On OK stores the chosen path in `*path` and
  // returns true; false when the user cancelled.
  virtual bool AskForSavePath(const std::string& caption, const std::string& defaultName,
                              std::string* path) {
    (void)caption, (void)defaultName, (void)path;
    return false;
  }

  // The rows of "Mod Database" and of "Game Chars", replacing the old ones.
  virtual void SetModRows(const std::vector<std::string>& rows) = 0;
  virtual void SetGameCharRows(const std::vector<std::string>& rows) = 0;
  // The free-slot label of one kind, such as "C: 3".
  virtual void SetSlotLabel(SlotKind kind, const std::string& text) = 0;
  // The mod name and mod description texts under the lists.
  virtual void SetModName(const std::string& text) = 0;
  virtual void SetModDescription(const std::string& text) = 0;

  // Asks the main window to close (not forced).
  virtual void CloseWindow() = 0;

  // How far a long operation is: what it does, and the units (bytes) done
  // of the total (0 when not known). Called at least every 100 ms while it
  // works, on the one thread; the window keeps its events flowing here and
  // shows a progress dialog once the work has taken about a second. False
  // when the user asked to cancel: the operation is then undone.
  virtual bool ShowProgress(uint64_t done, uint64_t total, const std::string& doing) {
    (void)done, (void)total, (void)doing;
    return true;
  }
  // The long operation is over: its progress display goes.
  virtual void EndProgress() {}
};

}  // namespace korva
