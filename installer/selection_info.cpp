// ModManager's answers to what the window shows beside a selection.
#include "installer/selection_info.h"

#include "installer/mod_database.h"
#include "installer/mod_manager.h"
#include "installer/store.h"

namespace korva {
namespace {

std::string Count(size_t count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "a, b and c".
std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  }
  return text;
}

// "a, b and c" of paths below the game folder, at most ten of them named.
std::string PathsText(const std::vector<std::string>& paths) {
  constexpr size_t kNamed = 10;
  std::vector<std::string> named;
  for (size_t i = 0; i < paths.size() && i < kNamed; ++i) named.push_back(paths[i].substr(1));
  if (paths.size() > kNamed) named.push_back(std::to_string(paths.size() - kNamed) + " more");
  return Joined(named);
}

// The name a package's modfile.ini gives it ("" when it gives none or
// cannot be read).
std::string PackageName(Platform& platform, const std::string& package) {
  ModInfoTexts texts;
  ReadModInfo(platform, package, &texts);
  const std::string heading = "Mod Name: ";
  return texts.name.substr(heading.size());
}

}  // namespace

std::vector<std::string> ModManager::IconPaths(const std::string& package,
                                               const ModPackageInfo& info) const {
  std::vector<std::string> icons = {info.hasIcon ? package + "/charicon.tga"
                                                 : program_folder_ + "/data/charicon.tga"};
  for (const std::string& extra : info.extraIcons) icons.push_back(package + "/" + extra);
  return icons;
}

namespace {

// The icons of `package` as `paths` names them, each extra icon whose
// add_icon value leads out of the package with its problem.
std::vector<IconFile> IconFiles(const std::string& package, const ModPackageInfo& info,
                                const std::vector<std::string>& paths) {
  std::vector<IconFile> icons;
  for (size_t i = 0; i < paths.size(); ++i) {
    IconFile icon{paths[i], ""};
    if (i > 0) {
      ModPackageInfo one;
      one.extraIcons = {info.extraIcons[i - 1]};
      const std::vector<std::string> problems = CheckModPackage(package, one);
      if (!problems.empty()) icon.problem = problems.front();
    }
    icons.push_back(icon);
  }
  return icons;
}

}  // namespace

SelectionInfo ModManager::ModSelection(int modRow) {
  SelectionInfo shown;
  if (modRow < 0 || modRow >= mod_count_) return shown;
  const std::string& package = mod_folder_list_[modRow];
  shown.title = PackageName(platform_, package);
  ModPackageInfo info;
  if (ReadModPackage(platform_, package, &info).ok()) {
    shown.icons = IconFiles(package, info, IconPaths(package, info));
  }
  if (game_folder_.empty()) return shown;
  const CoverPreview preview = PreviewCovers(platform_, game_folder_, package, -1);
  std::vector<std::string> parts;
  for (const PlaceFiles& files : preview.places) {
    parts.push_back(Count(files.paths.size(), "file", "files") + " of " + PlaceName(files.place));
  }
  if (!preview.game_files.empty()) {
    parts.push_back(Count(preview.game_files.size(), "game file", "game files"));
  }
  shown.covers = parts.empty() ? "Covers no game file and no other place's file"
                               : "Covers " + Joined(parts);
  shown.cover_details = CoverText(preview);
  return shown;
}

SelectionInfo ModManager::PlaceSelection(int placeRow) {
  SelectionInfo shown;
  if (placeRow < 0 || placeRow >= kPlaceCount) return shown;
  const std::string place = "Place " + std::to_string(placeRow + 1) + ": ";
  std::string row = static_cast<size_t>(placeRow) < game_char_rows_.size() ? game_char_rows_[placeRow] : "";
  if (!row.empty() && row.back() == '\\') row.pop_back();
  PlaceRecord record;
  const Status read = ReadPlaceRecord(platform_, game_folder_, placeRow, &record);
  const std::string package = folders_.mods() + "/" + record.package;
  if (!read.ok()) {
    shown.title = place + row + " (its record cannot be read: " + read.message() + ")";
    return shown;
  }
  if (!record.listed && row == PlaceholderCharacterName(placeRow + 1)) {
    shown.title = place + "empty";
    return shown;
  }
  if (record.package.empty()) {
    shown.title = place + row + " (which package it came from is not known)";
  } else if (!platform_.IsFolder(package)) {
    shown.title = place + row + " (its package " + record.package +
                  " is no longer in the mods folder)";
  } else {
    const std::string name = PackageName(platform_, package);
    shown.title = place + (name.empty() ? record.package : name);
    ModPackageInfo info;
    if (ReadModPackage(platform_, package, &info).ok()) {
      shown.icons = IconFiles(package, info, IconPaths(package, info));
    }
  }
  const std::vector<PlaceFiles> covered = CoveredByLaterPlaces(platform_, game_folder_, placeRow);
  size_t total = 0;
  std::vector<std::string> parts;
  for (const PlaceFiles& files : covered) {
    total += files.paths.size();
    parts.push_back(std::to_string(files.paths.size()) + " by " + PlaceName(files.place));
    shown.cover_details += (shown.cover_details.empty() ? "" : "\n") + PlaceName(files.place) +
                           " covers " + Count(files.paths.size(), "file", "files") + " of it: " +
                           PathsText(files.paths) + ".";
  }
  const std::string whose = PlaceName(placeRow) + ": ";
  if (covered.empty()) {
    shown.covers = whose + "none of its files is covered by a later place";
  } else if (covered.size() == 1) {
    shown.covers = whose + Count(total, "of its files is", "of its files are") + " covered by " +
                   PlaceName(covered.front().place);
  } else {
    shown.covers = whose + Count(total, "of its files is", "of its files are") + " covered: " +
                   Joined(parts);
  }
  return shown;
}

}  // namespace korva
