// The one place where the core's narrow byte strings meet wx's strings.
#pragma once

#include <wx/string.h>

#include <string>

// Narrow text (UTF-8, as the platform layer spells paths on every system) to
// a wx string. Text that is not valid UTF-8 (an old package's 8-bit
// description, say) is taken as Latin-1, so no text disappears.
wxString ToWx(const std::string& text);

// A wx string to narrow UTF-8 text, as the platform layer takes it.
std::string FromWx(const wxString& text);
