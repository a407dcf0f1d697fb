#include "app/window_place.h"

#include <wx/display.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/read_limits.h"
#include "platform/text_file.h"

std::string WindowPlacePath(const std::string& folder) { return folder + "/window.ini"; }

bool ReadWindowPlace(korva::Platform& platform, const std::string& folder, WindowPlace* place) {
  std::vector<std::string> lines;
  if (!platform.Exists(WindowPlacePath(folder)) ||
      !korva::ReadTextLines(platform, WindowPlacePath(folder), korva::kConfigFileLimit, &lines).ok()) {
    return false;
  }
  std::map<std::string, int> values;
  for (const std::string& line : lines) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string value = line.substr(equals + 1);
    char* end = nullptr;
    const long number = std::strtol(value.c_str(), &end, 10);
    // Screens are not a million pixels away or wide.
    if (value.empty() || *end != '\0' || number < -1000000 || number > 1000000) continue;
    values[line.substr(0, equals)] = static_cast<int>(number);
  }
  auto value = [&values](const char* key) {
    auto found = values.find(key);
    return found == values.end() ? 0 : found->second;
  };
  *place = WindowPlace();
  place->rect = wxRect(value("x"), value("y"), value("width"), value("height"));
  place->maximized = value("maximized") == 1;
  return place->rect.width > 0 && place->rect.height > 0;
}

korva::Status WriteWindowPlace(korva::Platform& platform, const std::string& folder,
                               const WindowPlace& place) {
  const wxRect& r = place.rect;
  // An installed program's settings folder is made by the first thing it keeps.
  korva::Status made = korva::MakeFolders(platform, folder);
  if (!made.ok()) return made;
  return korva::ReplaceText(
      platform, WindowPlacePath(folder),
      "# Where the Korva Quorin ZID window was when it was last closed.\n"
      "x=" + std::to_string(r.x) + "\ny=" + std::to_string(r.y) + "\nwidth=" +
          std::to_string(r.width) + "\nheight=" + std::to_string(r.height) +
          "\nmaximized=" + (place.maximized ? "1" : "0") + "\n");
}

bool OnSomeScreen(const wxRect& rect) {
  // The title bar's strip: at least this much of it on one screen.
  constexpr int kVisibleWidth = 60;
  constexpr int kVisibleHeight = 20;
  const wxRect top(rect.x, rect.y, rect.width, kVisibleHeight);
  for (unsigned i = 0; i < wxDisplay::GetCount(); ++i) {
    const wxRect shared = wxDisplay(i).GetGeometry().Intersect(top);
    if (shared.width >= std::min(kVisibleWidth, rect.width) && shared.height >= kVisibleHeight) {
      return true;
    }
  }
  return false;
}
