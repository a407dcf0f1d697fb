// Text files as the game's platform keeps them: on disk every line ends in
// CR LF; in memory a line end is one LF. Done here over binary I/O so the bytes
// are the same on every system. A lone CR is an ordinary byte both ways.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace korva {

// Stores each LF as CR LF.
std::string ToTextMode(std::string_view text);

// Cuts bytes into lines the way text-mode reading does: CR LF and LF end a
// line and are not part of it; no extra empty line follows a final line end.
std::vector<std::string> SplitTextLines(std::string_view bytes);

// Reads a text file of at most `limit` bytes into its lines.
Status ReadTextLines(Platform& platform, const std::string& path, uint64_t limit,
                     std::vector<std::string>* lines);

// Appends `text` in text mode, creating the file when it is missing.
Status AppendText(Platform& platform, const std::string& path, std::string_view text);

// Makes the file hold exactly `text` in text mode, atomically.
Status ReplaceText(Platform& platform, const std::string& path, std::string_view text);

}  // namespace korva
