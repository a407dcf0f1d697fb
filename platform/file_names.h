// The names a file or folder may have on Windows, which every copy of the
// game's files must be able to hold: checked for names that strangers'
// archives bring. Pure functions; nothing here touches a file.
#pragma once

#include <string>

namespace korva {

// The key under which Windows matches names: ASCII letters folded to upper
// case, every other byte as it is.
std::string FoldedName(std::string name);

// The longest name component that Windows (and most file systems) can hold.
constexpr size_t kMaxNameComponent = 255;

// True for CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, in any case
// and with any extension: names of devices on Windows.
bool IsWindowsDeviceName(const std::string& component);

// Why Windows cannot hold a file or folder named `component` (one name, no
// separator), as words that follow the name in a sentence; "" when it can.
// Too long, a character Windows does not allow (<>:"|?* or a control
// character), a trailing dot or space, a device name, or empty.
std::string WhyWindowsCannotHold(const std::string& component);

}  // namespace korva
