// config.ini in the program folder: the one line "KorvaPath=" + game folder.
#pragma once

#include <string>

#include "platform/platform.h"

namespace korva {

// The game folder that a first line of config.ini names: everything after its
// first "=", verbatim; empty when there is no "=" or nothing follows it. The
// text before the "=" is not looked at.
std::string GameFolderFromConfigLine(const std::string& line);

// Reads config.ini's first line into `*gameFolder`. False when the file
// cannot be read.
bool ReadConfig(Platform& platform, const std::string& programFolder, std::string* gameFolder);

// Replaces config.ini with the line "KorvaPath=" + game folder and CR LF.
Status WriteConfig(Platform& platform, const std::string& programFolder,
                   const std::string& gameFolder);

}  // namespace korva
