// An icon's picture as the icon page gets it, for showing: read and made
// 32-bit by the same code that pastes icons into the page (LoadPageIcon),
// so what is shown is what an installation pastes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace korva {

// Pixels row by row from the top, four bytes each: red, green, blue, alpha.
struct IconPicture {
  unsigned width = 0;
  unsigned height = 0;
  std::vector<uint8_t> rgba;
};

// Reads the icon at `path` into `*picture`. Fails, with a sentence naming
// the file and the reason and `*picture` empty, when the page could not
// take it (see LoadPageIcon: unreadable, too large, not an image).
Status ReadIconPicture(Platform& platform, const std::string& path, IconPicture* picture);

}  // namespace korva
