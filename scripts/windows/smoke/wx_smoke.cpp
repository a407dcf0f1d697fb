// wxWidgets (static, MSW): a frame with a menu bar, a status bar, a panel
// with sizers, a static text, a button and a list box that accepts dropped
// files. The frame checks itself once the event loop runs and closes; the
// exit status says whether everything was there.
#include <wx/wx.h>
#include <wx/dnd.h>
#include <wx/image.h>
#include <wx/progdlg.h>

namespace {

class FileDrop : public wxFileDropTarget {
 public:
  explicit FileDrop(wxListBox* list) : list_(list) {}
  bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) override {
    for (const wxString& name : names) list_->Append(name);
    return true;
  }

 private:
  wxListBox* list_;
};

class SmokeFrame : public wxFrame {
 public:
  SmokeFrame() : wxFrame(nullptr, wxID_ANY, "Windows smoke test", wxDefaultPosition, wxSize(480, 320)) {
    auto* menu = new wxMenu;
    menu->Append(wxID_OPEN, "&Open...");
    menu->Append(wxID_EXIT, "E&xit");
    auto* bar = new wxMenuBar;
    bar->Append(menu, "&File");
    SetMenuBar(bar);
    CreateStatusBar(2);
    SetStatusText("ready", 1);

    auto* panel = new wxPanel(this);
    list_ = new wxListBox(panel, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, nullptr, wxLB_SINGLE);
    list_->Append("first mod");
    list_->Append("second mod");
    list_->SetDropTarget(new FileDrop(list_));
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(panel, wxID_ANY, "Installed:"), 0, wxALL, 4);
    sizer->Add(list_, 1, wxEXPAND | wxALL, 4);
    sizer->Add(new wxButton(panel, wxID_OK, "Install"), 0, wxALL, 4);
    panel->SetSizer(sizer);
  }

  // Runs from the event loop: the window exists and has been laid out.
  bool Check() {
    bool ok = list_->GetCount() == 2 && list_->GetString(1) == "second mod" && list_->GetDropTarget() != nullptr &&
              GetStatusBar()->GetStatusText(1) == "ready" && GetMenuBar()->GetMenuCount() == 1 &&
              list_->GetSize().GetWidth() > 0;
    {
      wxProgressDialog progress("Smoke", "Working", 10, this, wxPD_APP_MODAL);
      ok = progress.Update(5) && ok;
    }
    ok = ok && wxImage::FindHandler(wxBITMAP_TYPE_PNG) && wxImage::FindHandler(wxBITMAP_TYPE_BMP) &&
         wxImage::FindHandler(wxBITMAP_TYPE_XPM);
    return ok;
  }

 private:
  wxListBox* list_;
};

class SmokeApp : public wxApp {
 public:
  bool OnInit() override {
    wxInitAllImageHandlers();
    auto* frame = new SmokeFrame;
    frame->Show();
    CallAfter([this, frame] {
      passed_ = frame->Check();
      frame->Close(true);
    });
    return true;
  }
  // The exit status of the program: the event loop's, or 1 if a check failed.
  int OnRun() override {
    int status = wxApp::OnRun();
    return passed_ ? status : 1;
  }

 private:
  bool passed_ = false;
};

}  // namespace

wxIMPLEMENT_APP(SmokeApp);
