// Where the game is installed, as far as both systems share the search:
// Steam's library folders and the game's folders inside them.
#include <set>

#include "platform/platform_common.h"
#include "platform/read_limits.h"
#include "platform/vdf.h"

namespace korva {
namespace {

constexpr const char kGameExecutable[] = "KORVAQUORIN.exe";

}  // namespace

std::vector<std::string> FindInstalls(
    Platform& platform, const std::vector<std::string>& steamFolders,
    const std::vector<std::string>& gameFolders,
    const std::function<std::string(const std::string&)>& identity,
    std::vector<std::string>* problems) {
  std::vector<std::string> installs;
  std::set<std::string> seen, seenSteam;
  auto take = [&](const std::string& executable) {
    if (!platform.CanRead(executable)) return;
    const std::string spelled = platform.NativePath(executable);
    if (seen.insert(identity(spelled)).second) installs.push_back(spelled);
  };
  auto searchLibrary = [&](const std::string& library) {
    const std::string common = platform.AbsolutePath(library) + "/steamapps/common";
    std::vector<std::string> games;
    if (!platform.ListFolder(common, &games).ok()) return;
    for (const std::string& game : games) take(common + "/" + game + "/" + kGameExecutable);
  };
  for (const std::string& steam : steamFolders) {
    const std::string folder = platform.NativePath(platform.AbsolutePath(steam));
    if (!seenSteam.insert(identity(folder)).second) continue;
    searchLibrary(folder);
    const std::string list = folder + "/steamapps/libraryfolders.vdf";
    if (!platform.Exists(list)) continue;
    std::string text;
    std::vector<std::string> libraries;
    Status read = platform.ReadFile(list, kSteamLibraryListLimit, &text);
    if (read.ok()) read = SteamLibraryFolders(list, text, &libraries);
    if (!read.ok() && problems != nullptr) problems->push_back(read.message());
    for (const std::string& library : libraries) searchLibrary(library);
  }
  for (const std::string& folder : gameFolders) {
    take(platform.AbsolutePath(folder) + "/" + kGameExecutable);
  }
  return installs;
}

}  // namespace korva
