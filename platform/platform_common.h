// Helpers that the platform files of every system share, so that names are
// ordered and paths judged the same way on all of them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace korva {

// Names in the order the game's platform lists them: by their upper-case
// form, as NTFS compares names; byte order breaks ties.
bool NameLess(const std::string& a, const std::string& b);

// What RemoveOwnTree returns: Ok when nothing in `stuck` (each "path:
// reason" of an entry that could not be removed), else an error naming
// each, one a line.
Status EntriesThatStay(const std::vector<std::string>& stuck);

// True when a component of `path` is "..". `separators` are the characters
// that end a component ("/" on POSIX, "/\\" on Windows).
bool HasDotDot(const std::string& path, const char* separators);

// Every KORVAQUORIN.exe installed through Steam or in a known game folder:
// in each folder directly under "steamapps/common" of every Steam library
// (each of `steamFolders`, then the libraries its
// "steamapps/libraryfolders.vdf" lists), then directly in each of
// `gameFolders`. Paths come as NativePath spells them, with "/" separators.
// A file or Steam folder reached by two paths is taken once, under the
// first: `identity` gives both paths the same text. A libraryfolders.vdf that exists but
// cannot be read is passed over, and why is added to `*problems`.
std::vector<std::string> FindInstalls(
    Platform& platform, const std::vector<std::string>& steamFolders,
    const std::vector<std::string>& gameFolders,
    const std::function<std::string(const std::string&)>& identity,
    std::vector<std::string>* problems);

// The part of FindProgramFolders that both systems share. Portable when
// `executableFolder` holds config.ini or the "portable" file and
// `writable()` says it can be written in (asked only then); otherwise
// installed, with the program's own files in `installedProgram` and the
// user's in `settingsBase` + "/korva-zid" and `dataBase` + "/korva-zid".
ProgramFolders ChooseProgramFolders(Platform& platform, const std::string& executableFolder,
                                    const std::function<bool()>& writable,
                                    const std::string& installedProgram,
                                    const std::string& settingsBase, const std::string& dataBase);

}  // namespace korva
