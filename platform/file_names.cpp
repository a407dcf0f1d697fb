#include "platform/file_names.h"

namespace korva {

std::string FoldedName(std::string name) {
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

bool IsWindowsDeviceName(const std::string& component) {
  std::string base = FoldedName(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

std::string WhyWindowsCannotHold(const std::string& component) {
  if (component.empty()) return "is empty";
  if (component.size() > kMaxNameComponent) {
    return "is " + std::to_string(component.size()) + " bytes long, more than the " +
           std::to_string(kMaxNameComponent) + " that Windows allows";
  }
  for (char c : component) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string("<>:\"|?*").find(c) != std::string::npos) {
      return "holds a character that Windows does not allow in names (<>:\"|?* or a control "
             "character)";
    }
  }
  if (component.back() == '.' || component.back() == ' ') {
    return "ends in a dot or a space, which Windows drops from names";
  }
  if (IsWindowsDeviceName(component)) return "is a device name on Windows";
  return "";
}

}  // namespace korva
