#include "installer/config.h"
#include "platform/read_limits.h"

#include <vector>

#include "platform/text_file.h"

namespace korva {

std::string GameFolderFromConfigLine(const std::string& line) {
  size_t equals = line.find('=');
  if (equals == std::string::npos) return "";
  return line.substr(equals + 1);
}

bool ReadConfig(Platform& platform, const std::string& settingsFolder, std::string* gameFolder) {
  std::vector<std::string> lines;
  if (!ReadTextLines(platform, settingsFolder + "/config.ini", kConfigFileLimit, &lines).ok()) return false;
  *gameFolder = lines.empty() ? "" : GameFolderFromConfigLine(lines.front());
  return true;
}

Status WriteConfig(Platform& platform, const std::string& settingsFolder,
                   const std::string& gameFolder) {
  Status made = MakeFolders(platform, settingsFolder);
  if (!made.ok()) return made;
  return ReplaceText(platform, settingsFolder + "/config.ini", "KorvaPath=" + gameFolder + "\n");
}

}  // namespace korva
