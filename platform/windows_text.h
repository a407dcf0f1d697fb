// Text for the Win32 wide-character calls, on Windows builds only: the
// program works in UTF-8 and Windows in UTF-16.
#pragma once

#include <string>

namespace korva {

std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
// The path for a Win32 call: UTF-16 with "\" separators.
std::wstring Native(const std::string& path);

}  // namespace korva
