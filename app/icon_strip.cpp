#include "app/icon_strip.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>

#include <algorithm>

#include "app/wx_text.h"
#include "icons/icon_picture.h"

namespace {

constexpr int kCellPixels = 128;  // an icon page cell
constexpr int kFrameGap = 4;
constexpr int kFramesAcross = 3;

}  // namespace

ShownIcon DecodeIcon(korva::Platform& platform, const std::string& path) {
  ShownIcon shown;
  korva::IconPicture picture;
  korva::Status read = korva::ReadIconPicture(platform, path, &picture);
  if (!read.ok()) {
    shown.problem = ToWx(read.message());
    return shown;
  }
  const int width = static_cast<int>(picture.width), height = static_cast<int>(picture.height);
  shown.image.Create(width, height, false);
  shown.image.InitAlpha();
  unsigned char* rgb = shown.image.GetData();
  unsigned char* alpha = shown.image.GetAlpha();
  const uint8_t* pixel = picture.rgba.data();
  for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i, pixel += 4) {
    rgb[3 * i] = pixel[0];
    rgb[3 * i + 1] = pixel[1];
    rgb[3 * i + 2] = pixel[2];
    alpha[i] = pixel[3];
  }
  return shown;
}

IconFrame::IconFrame(wxWindow* parent, const wxString& name, int side)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxSize(side + 2, side + 2), wxFULL_REPAINT_ON_RESIZE,
               name) {
  SetMinSize(wxSize(side + 2, side + 2));
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &IconFrame::OnPaint, this);
}

void IconFrame::SetPicture(const wxBitmap& picture, const wxString& tooltip) {
  picture_ = picture;
  SetToolTip(tooltip);
  Refresh();
}

void IconFrame::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  const wxSize size = GetClientSize();
  dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
  dc.Clear();
  if (picture_.IsOk()) dc.DrawBitmap(picture_, 1, 1, true);
  dc.SetBrush(*wxTRANSPARENT_BRUSH);
  dc.SetPen(wxPen(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW)));
  dc.DrawRectangle(0, 0, size.x, size.y);
}

IconStrip::IconStrip(wxWindow* parent, korva::Platform& platform)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL, "icon_strip"),
      platform_(platform) {
  side_ = FromDIP(kCellPixels / 2);
  width_ = kFramesAcross * (side_ + 2) + (kFramesAcross - 1) * FromDIP(kFrameGap);
  wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
  caption_ = new wxStaticText(this, wxID_ANY, wxEmptyString, wxDefaultPosition,
                              wxSize(width_, -1), wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END,
                              "icon_caption");
  sizer->Add(caption_, 0, wxBOTTOM | wxEXPAND, FromDIP(kFrameGap));
  frames_sizer_ = new wxBoxSizer(wxHORIZONTAL);
  // Room for a row of frames before any is shown, so the layout stays put.
  frames_sizer_->SetMinSize(wxSize(width_, side_ + 2));
  sizer->Add(frames_sizer_, 0);
  SetSizer(sizer);
}

const wxBitmap& IconStrip::Picture(const korva::IconFile& icon, int side, wxString* problem) {
  static const wxBitmap none;
  if (!icon.problem.empty()) {
    *problem = ToWx(icon.problem);
    return none;
  }
  auto found = kept_.find(icon.path);
  if (found == kept_.end()) {
    found = kept_.emplace(icon.path, Kept{DecodeIcon(platform_, icon.path), {}}).first;
    ++decoded_;
  }
  Kept& kept = found->second;
  *problem = kept.icon.problem;
  if (!kept.icon.image.IsOk()) return none;
  wxBitmap& scaled = kept.scaled[side];
  if (!scaled.IsOk()) {
    // The icon at its size within the cell, the cell shown `side` wide.
    const wxImage& image = kept.icon.image;
    const int width = std::max(1, image.GetWidth() * side / kCellPixels);
    const int height = std::max(1, image.GetHeight() * side / kCellPixels);
    scaled = wxBitmap(image.Scale(width, height, wxIMAGE_QUALITY_HIGH));
  }
  return scaled;
}

void IconStrip::ShowIcons(const std::string& caption, const std::vector<korva::IconFile>& icons) {
  caption_->SetLabelText(ToWx(caption));
  caption_->SetToolTip(ToWx(caption));
  for (IconFrame* frame : frames_) frame->Destroy();
  frames_.clear();
  frames_sizer_->Clear();
  // More icons than fit at half the cell's size are drawn smaller.
  const int count = static_cast<int>(icons.size());
  const int gap = FromDIP(kFrameGap);
  const int side = count <= kFramesAcross
                       ? side_
                       : std::max(FromDIP(16), (width_ - (count - 1) * gap) / count - 2);
  for (int i = 0; i < count; ++i) {
    const korva::IconFile& icon = icons[static_cast<size_t>(i)];
    IconFrame* frame = new IconFrame(this, "icon_" + std::to_string(i), side);
    wxString problem;
    const wxBitmap& picture = Picture(icon, side, &problem);
    wxString tooltip = problem;
    if (picture.IsOk()) {
      const wxImage& image = kept_[icon.path].icon.image;
      tooltip = ToWx(icon.path) + wxString::Format(" (%d x %d pixels)", image.GetWidth(), image.GetHeight());
    }
    frame->SetPicture(picture, tooltip);
    frames_sizer_->Add(frame, 0, i + 1 < count ? wxRIGHT : 0, gap);
    frames_.push_back(frame);
  }
  Layout();
}
