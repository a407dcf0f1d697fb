#include "platform/platform.h"

namespace korva {

std::string ShellCommandText(const std::vector<std::string>& argv) {
  std::string text = "\"";
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    bool quoted = i == 0 || arg.find(' ') != std::string::npos ||
                  arg.find_first_of("/\\", 1) != std::string::npos;
    if (i > 0) text += ' ';
    text += quoted ? "\"" + arg + "\"" : arg;
  }
  return text + "\"";
}

std::string BaseName(const std::string& path) {
  size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string ParentFolder(const std::string& path) {
  size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? "" : path.substr(0, separator);
}

}  // namespace korva
