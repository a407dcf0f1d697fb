#include "app/wx_text.h"

#include <wx/strconv.h>

wxString ToWx(const std::string& text) {
  wxString converted = wxString::FromUTF8(text.data(), text.size());
  if (converted.empty() && !text.empty()) {
    converted = wxString(text.data(), wxConvISO8859_1, text.size());
  }
  return converted;
}

std::string FromWx(const wxString& text) {
  const wxScopedCharBuffer buffer = text.utf8_str();
  return std::string(buffer.data(), buffer.length());
}
