// The pictures of the selected package or place, beside the mod name and
// description: a caption, then one frame per icon, main icon first. Each
// frame is the icon page's cell at a smaller scale, with the icon at its
// own size in the cell's top-left corner, as an installation pastes it. An
// icon that cannot be read is a plain frame with the reason as its tooltip.
// Icons are decoded when first shown, then kept.
#pragma once

#include <wx/bitmap.h>
#include <wx/image.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "app/windows_macros.h"

#include <map>
#include <string>
#include <vector>

#include "installer/selection_info.h"
#include "platform/platform.h"

// An icon decoded for showing: its pixels as the icon page gets them, or
// why it cannot be shown.
struct ShownIcon {
  wxImage image;  // not Ok() when the icon cannot be shown
  wxString problem;
};
// Decodes the icon at `path` through the icon page's own loader.
ShownIcon DecodeIcon(korva::Platform& platform, const std::string& path);

// One icon's frame.
class IconFrame : public wxWindow {
 public:
  // A frame for a cell of `side` pixels.
  IconFrame(wxWindow* parent, const wxString& name, int side);
  // What it shows: `picture` scaled to the frame already (an invalid bitmap
  // for an icon that cannot be shown), and its tooltip.
  void SetPicture(const wxBitmap& picture, const wxString& tooltip);
  // True when it shows no icon (the icon cannot be read).
  bool broken() const { return !picture_.IsOk(); }
  const wxBitmap& picture() const { return picture_; }

 private:
  void OnPaint(wxPaintEvent& event);
  wxBitmap picture_;
};

class IconStrip : public wxPanel {
 public:
  IconStrip(wxWindow* parent, korva::Platform& platform);
  // Shows `caption` and a frame for each of `icons`.
  void ShowIcons(const std::string& caption, const std::vector<korva::IconFile>& icons);
  // Forgets the decoded icons (their files may have changed).
  void Forget() { kept_.clear(); }
  // How many icons were decoded since the strip was made.
  int decoded() const { return decoded_; }

 private:
  // The icon at `path` scaled for a frame of `side` pixels; decoded once.
  const wxBitmap& Picture(const korva::IconFile& icon, int side, wxString* problem);

  struct Kept {
    ShownIcon icon;
    std::map<int, wxBitmap> scaled;  // by frame side
  };
  korva::Platform& platform_;
  wxStaticText* caption_;
  wxBoxSizer* frames_sizer_;
  std::vector<IconFrame*> frames_;
  std::map<std::string, Kept> kept_;
  int decoded_ = 0;
  int side_;   // a frame's side: the cell at half its size
  int width_;  // room for three frames side by side
};
