// Text for the Win32 wide-character calls, on Windows builds only: the
// program works in UTF-8 and Windows in UTF-16.
#pragma once

#include <string>

namespace korva {

std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
// The path with "\" separators, in UTF-16, as a user would write it.
std::wstring Native(const std::string& path);
// The path for a Win32 file call: absolute, normalized as the system
// normalizes a plain path, in the extended-length form ("\\?\C:\...",
// "\\?\UNC\server\share\...") that no call limits to 260 characters. A
// device name (NUL, CON) stays the device.
std::wstring LongPath(const std::string& path);

}  // namespace korva
