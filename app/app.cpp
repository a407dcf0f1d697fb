// The program's entry point and application object.
#include <wx/app.h>
#include <wx/iconbndl.h>
#include <wx/image.h>
#include <wx/utils.h>

#include "app/main_frame.h"

class KorvaQuorinZIDApp : public wxApp {
 public:
  bool OnInit() override {
    wxInitAllImageHandlers();
    KorvaQuorinZIDFrame* frame = new KorvaQuorinZIDFrame(nullptr, -1);
#ifdef __WXMSW__
    // The program's icon, in every size, from its resources
    // (windows/korva-zid.rc), for the title bar and the task bar.
    frame->SetIcons(wxIconBundle(wxS("APPICON"), nullptr));
#endif
    frame->Show();
    SetTopWindow(frame);
    frame->StartUp();
    return true;
  }
};

wxIMPLEMENT_APP_NO_MAIN(KorvaQuorinZIDApp);

int main(int argc, char** argv) {
  // GTK's overlay scroll bars would hide the lists' always-shown scroll bars;
  // GTK reads this before it starts.
  wxSetEnv("GTK_OVERLAY_SCROLLING", "0");
  return wxEntry(argc, argv);
}
