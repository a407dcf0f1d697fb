// The key-and-value line format shared by modfile.ini, the slot usage files
// and the icon map: a line is cut into pieces at every "=".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korva {

// The pieces of `line` between delimiters, each trimmed of spaces (0x20
// only) at both ends; pieces left empty are dropped. One exception: a last
// piece that is exactly one space is kept as it is, so "dataname= " gives
// "dataname" and " ".
std::vector<std::string> SplitLine(std::string_view line, char delimiter = '=');

}  // namespace korva
