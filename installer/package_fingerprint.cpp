#include "installer/package_fingerprint.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

namespace korva {

std::string PackageFingerprint(Platform& platform, const std::string& packageFolder) {
  std::vector<std::string> names;
  if (!platform.ListFolder(packageFolder, &names).ok()) return "";
  std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), XXH3_freeState);
  XXH3_64bits_reset(state.get());
  // Each entry adds "kind relative-path NUL size NUL time NUL".
  auto add = [&](char kind, const std::string& relative, const FileInfo& info) {
    const std::string entry = std::string(1, kind) + relative + '\0' + std::to_string(info.size) +
                              '\0' + std::to_string(info.modified) + '\0';
    XXH3_64bits_update(state.get(), entry.data(), entry.size());
  };
  std::deque<std::string> folders = {""};
  while (!folders.empty()) {
    const std::string folder = folders.front();
    folders.pop_front();
    if (!folder.empty() && !platform.ListFolder(packageFolder + folder, &names).ok()) {
      add('?', folder, FileInfo());
      continue;
    }
    for (const std::string& name : names) {
      const std::string relative = folder + "/" + name;
      const std::string path = packageFolder + relative;
      FileInfo info;
      if (platform.IsLink(path)) {
        add('L', relative, FileInfo());
      } else if (platform.Stat(path, &info).ok() && info.folder) {
        folders.push_back(relative);
      } else {
        add('F', relative, info);
      }
    }
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx",
                static_cast<unsigned long long>(XXH3_64bits_digest(state.get())));
  return hex;
}

}  // namespace korva
