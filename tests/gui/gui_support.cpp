#include "tests/gui/gui_support.h"

#include <wx/app.h>
#include <wx/listbox.h>
#include <wx/utils.h>

#include <filesystem>

#include "sample/sample_game.h"

int GtestModalHook::active = 0;

int UnexpectedDialogHook::Enter(wxDialog* dialog) {
  if (GtestModalHook::active > 0) return wxID_NONE;
  wxMessageDialog* message = dynamic_cast<wxMessageDialog*>(dialog);
  ADD_FAILURE() << "unexpected dialog: "
                << (message ? message->GetMessage() : dialog->GetTitle()).ToStdString();
  return wxID_CANCEL;
}

int ExpectMessage::OnInvoked(wxMessageDialog* dialog) const {
  shown_->text = dialog->GetMessage().ToStdString();
  shown_->caption = dialog->GetTitle().ToStdString();
  shown_->style = dialog->GetMessageDialogStyle();
  shown_->busy_cursor = wxIsBusy();
  return answer_;
}

int ExpectText::OnInvoked(wxTextEntryDialog* dialog) const {
  *caption_ = dialog->GetTitle().ToStdString();
  dialog->SetValue(wxString::FromUTF8(text_));
  return wxID_OK;
}

int ExpectChoice::OnInvoked(wxSingleChoiceDialog* dialog) const {
  // The dialog keeps its choices in its list box.
  wxListBox* list = nullptr;
  for (wxWindow* child : dialog->GetChildren()) {
    if (auto* box = dynamic_cast<wxListBox*>(child)) list = box;
  }
  if (list != nullptr) {
    for (unsigned i = 0; i < list->GetCount(); ++i) choices_->push_back(list->GetString(i).ToStdString());
  }
  dialog->SetSelection(index_);
  return wxID_OK;
}

FrameTest::FrameTest() {
  namespace fs = std::filesystem;
  const std::string built = korva::BuiltProgramFolder();
  for (const char* folder : {"data", "tools", "mods"}) {
    if (fs::exists(built + "/" + folder)) {
      fs::copy(built + "/" + folder, program / folder, fs::copy_options::recursive);
    }
  }
  korva::MakeSampleGame(game.path());
  platform.set_program_folder(program.path());
}

FrameTest::~FrameTest() { DestroyFrame(); }

void FrameTest::DestroyFrame() {
  if (frame_ == nullptr) return;
  if (!WindowClosed()) frame_->Destroy();
  wxTheApp->ProcessPendingEvents();
  frame_ = nullptr;
}

bool FrameTest::WindowClosed() const {
  return frame_->IsBeingDeleted() || wxTheApp->IsScheduledForDestruction(frame_);
}

void FrameTest::WriteConfig(const std::string& bytes) { korva::WriteBytes(program / "config.ini", bytes); }

KorvaQuorinZIDFrame* FrameTest::MakeFrame() {
  frame_ = new KorvaQuorinZIDFrame(nullptr, -1, platform);
  frame_->Show();
  return frame_;
}

KorvaQuorinZIDFrame* FrameTest::StartOnGame() {
  WriteConfig("KorvaPath=" + game.path() + "\r\n");
  MakeFrame()->StartUp();
  return frame_;
}

void FrameTest::Click(const std::string& buttonName) {
  wxWindow* button = Find<wxWindow>(buttonName);
  wxCommandEvent event(wxEVT_BUTTON, button->GetId());
  event.SetEventObject(button);
  button->GetEventHandler()->ProcessEvent(event);
}

void FrameTest::SelectRow(const std::string& listName, int row) {
  wxListBox* list = Find<wxListBox>(listName);
  list->SetSelection(row);
  wxCommandEvent event(wxEVT_LISTBOX, list->GetId());
  event.SetEventObject(list);
  event.SetInt(row);
  list->GetEventHandler()->ProcessEvent(event);
}

void FrameTest::Menu(wxWindowID id) {
  wxCommandEvent event(wxEVT_MENU, id);
  event.SetEventObject(frame_);
  frame_->GetEventHandler()->ProcessEvent(event);
}
