// A View for tests: records everything the core shows and answers its
// questions from a script.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "installer/view.h"

namespace korva {

class RecordingView : public View {
 public:
  // Every message box text, in order.
  std::vector<std::string> messages;
  // Every yes/no question as "caption: text", in order.
  std::vector<std::string> questions;
  bool answer_yes = false;

  // The dialog's answer: a folder, or cancel.
  std::string chosen_folder;
  bool cancel_dialog = false;
  int dialogs_shown = 0;
  // The folder and file the last dialog opened with.
  std::string dialog_folder, dialog_file;

  // Answers to AskForText and ChooseFromList, taken in order; when none is
  // left the user cancels. What was offered to choose from, each time.
  std::vector<std::string> texts_to_give;
  std::vector<std::string> paths_to_give;  // answers to AskForSavePath
  std::vector<int> choices_to_make;
  std::vector<std::vector<std::string>> offered;

  std::vector<std::string> mod_rows;
  std::vector<std::string> game_char_rows;
  std::array<std::string, 4> slot_labels;  // indexed by SlotKind
  std::string mod_name = "Mod Name:";
  std::string mod_description = "Mod Description:";
  bool closed = false;

  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    questions.push_back(caption + ": " + text);
    return answer_yes;
  }
  bool AskForGameFolder(const std::string& defaultFolder, const std::string& defaultFile,
                        std::string* folder) override {
    ++dialogs_shown;
    dialog_folder = defaultFolder;
    dialog_file = defaultFile;
    if (cancel_dialog) return false;
    *folder = chosen_folder;
    return true;
  }
  bool AskForText(const std::string& text, const std::string& caption, std::string* answer) override {
    questions.push_back(caption + ": " + text);
    if (texts_to_give.empty()) return false;
    *answer = texts_to_give.front();
    texts_to_give.erase(texts_to_give.begin());
    return true;
  }
  bool ChooseFromList(const std::string& text, const std::string& caption,
                      const std::vector<std::string>& choices, int* chosen) override {
    questions.push_back(caption + ": " + text);
    offered.push_back(choices);
    if (choices_to_make.empty()) return false;
    *chosen = choices_to_make.front();
    choices_to_make.erase(choices_to_make.begin());
    return true;
  }
  bool AskForSavePath(const std::string& caption, const std::string& defaultName, std::string* path) override {
    questions.push_back(caption + ": " + defaultName);
    if (paths_to_give.empty()) return false;
    *path = paths_to_give.front();
    paths_to_give.erase(paths_to_give.begin());
    return true;
  }
  void SetModRows(const std::vector<std::string>& rows) override { mod_rows = rows; }
  void SetGameCharRows(const std::vector<std::string>& rows) override { game_char_rows = rows; }
  void SetSlotLabel(SlotKind kind, const std::string& text) override {
    slot_labels[static_cast<int>(kind)] = text;
  }
  void SetModName(const std::string& text) override { mod_name = text; }
  void SetModDescription(const std::string& text) override { mod_description = text; }
  void CloseWindow() override { closed = true; }
};

}  // namespace korva
