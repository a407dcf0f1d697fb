// Where the main window was when it was last closed, kept in "window.ini",
// a file of the program's own beside config.ini (config.ini keeps its one
// line). Lines of key=value: x, y, width, height (the window's frame in
// screen pixels while neither maximized nor minimized) and maximized (0 or 1).
#pragma once

#include <wx/gdicmn.h>

#include "app/windows_macros.h"

#include <string>

#include "platform/platform.h"

struct WindowPlace {
  wxRect rect;
  bool maximized = false;
};

// The file in `folder`.
std::string WindowPlacePath(const std::string& folder);

// Reads the file. False when there is none, or it cannot be read or gives no
// width and height above 0; a line it does not know is skipped.
bool ReadWindowPlace(korva::Platform& platform, const std::string& folder, WindowPlace* place);

// Replaces the file, in one step.
korva::Status WriteWindowPlace(korva::Platform& platform, const std::string& folder,
                               const WindowPlace& place);

// True when a window at `rect` would have enough of its top on a screen to
// be seen and taken hold of.
bool OnSomeScreen(const wxRect& rect);
