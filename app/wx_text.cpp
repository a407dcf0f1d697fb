#include "app/wx_text.h"

#include <wx/strconv.h>

wxString ToWx(const std::string& text) {
  wxString converted(text.c_str(), wxConvLibc, text.size());
  if (converted.empty() && !text.empty()) {
    converted = wxString(text.c_str(), wxConvISO8859_1, text.size());
  }
  return converted;
}

std::string FromWx(const wxString& text) {
  wxCharBuffer buffer = text.mb_str(wxConvLibc);
  if (buffer.data() == nullptr) return "";
  return std::string(buffer.data(), buffer.length());
}
