// The one place where the core's narrow byte strings meet wx's strings.
#pragma once

#include <wx/string.h>

#include <string>

// Narrow text in the system's 8-bit encoding to a wx string. Bytes that the
// encoding does not accept are taken as Latin-1, so no text disappears.
wxString ToWx(const std::string& text);

// A wx string to narrow text in the system's 8-bit encoding; empty when it
// cannot be converted.
std::string FromWx(const wxString& text);
