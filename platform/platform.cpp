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

}  // namespace korva
