// config.ini in the settings folder (ProgramFolders::settings: the program
// folder of a portable program): the one line "KorvaPath=" + game folder.
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
bool ReadConfig(Platform& platform, const std::string& settingsFolder, std::string* gameFolder);

// Replaces config.ini with the line "KorvaPath=" + game folder and CR LF,
// making the settings folder first when it is missing.
Status WriteConfig(Platform& platform, const std::string& settingsFolder,
                   const std::string& gameFolder);

}  // namespace korva
