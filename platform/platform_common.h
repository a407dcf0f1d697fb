// Helpers that the platform files of every system share, so that names are
// ordered and paths judged the same way on all of them.
#pragma once

#include <string>

namespace korva {

// Names in the order the game's platform lists them: by their upper-case
// form, as NTFS compares names; byte order breaks ties.
bool NameLess(const std::string& a, const std::string& b);

// True when a component of `path` is "..". `separators` are the characters
// that end a component ("/" on POSIX, "/\\" on Windows).
bool HasDotDot(const std::string& path, const char* separators);

}  // namespace korva
