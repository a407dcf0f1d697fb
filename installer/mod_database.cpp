#include "installer/mod_database.h"
#include "platform/read_limits.h"

#include "platform/split_line.h"
#include "platform/text_file.h"

namespace korva {

Status ReadModListName(Platform& platform, const std::string& modfilePath, std::string* name) {
  name->clear();
  std::vector<std::string> lines;
  Status read = ReadTextLines(platform, modfilePath, kModfileLimit, &lines);
  if (!read.ok()) return read;
  if (lines.empty()) return Status::Ok();
  std::vector<std::string> pieces = SplitLine(lines[0]);
  if (pieces.size() >= 2) *name = pieces[1];
  return Status::Ok();
}

Status FillModList(Platform& platform, const std::string& userFolder, ModList* list) {
  *list = ModList();
  const std::string mods = userFolder + "/mods";
  if (!platform.Exists(mods)) return Status::Ok();
  std::vector<std::string> entries;
  Status listed = platform.ListFolder(mods, &entries);
  if (!listed.ok()) return listed;
  for (const std::string& entry : entries) {
    const std::string folder = mods + "/" + entry;
    if (!platform.IsFolder(folder)) continue;
    const std::string modfile = folder + "/modfile.ini";
    std::string name;
    if (!ReadModListName(platform, modfile, &name).ok()) {
      if (platform.Exists(modfile)) list->unreadable.push_back(modfile);
      continue;
    }
    list->folders.push_back(folder);
    list->names.push_back(name);
  }
  return Status::Ok();
}

std::string MakeModsFolder(Platform& platform, const std::string& mods) {
  Status made = MakeFolders(platform, mods);
  if (!made.ok()) {
    return "The mods folder could not be made (" + made.message() + "), so \"Mod Database\" "
           "is empty.";
  }
  return "Your mods folder is new and empty:\n" + mods +
         "\n\nTo add mod packages, drop their archives (zip, 7z, rar, tar.gz, tar.bz2 or "
         "tar.xz) or package folders anywhere on this window. Package folders (each with its "
         "modfile.ini) put into the mods folder are listed from the next start on.";
}

Status ReadModInfo(Platform& platform, const std::string& packageFolder, ModInfoTexts* texts) {
  texts->name = "Mod Name: ";
  texts->description = "Mod Description: \n";
  std::vector<std::string> lines;
  Status read = ReadTextLines(platform, packageFolder + "/modfile.ini", kModfileLimit, &lines);
  for (const std::string& line : lines) {
    std::vector<std::string> pieces = SplitLine(line);
    if (pieces.empty()) continue;
    const std::string value = pieces.size() >= 2 ? pieces[1] : std::string();
    if (pieces[0] == "name") {
      texts->name = "Mod Name: " + value;
    } else if (pieces[0] == "description") {
      texts->description += value + "\n";
    }
  }
  return read;
}

}  // namespace korva
