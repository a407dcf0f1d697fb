#include "installer/mod_package.h"
#include "platform/read_limits.h"

#include <algorithm>

#include "platform/split_line.h"
#include "platform/text_file.h"
#include "slots/slot_table.h"

namespace korva {
namespace {

// The flag keys and the field each one sets.
struct FlagKey {
  const char* key;
  bool ModPackageInfo::*flag;
};
constexpr FlagKey kFlagKeys[] = {
    {"has_colldef", &ModPackageInfo::hasColldef}, {"has_items", &ModPackageInfo::hasItems},
    {"has_abilities", &ModPackageInfo::hasAbilities}, {"has_icon", &ModPackageInfo::hasIcon},
    {"has_text", &ModPackageInfo::hasText},       {"has_bolts", &ModPackageInfo::hasBolts},
};

// The slot list of `kind` in a record, const or not.
template <typename Info>
auto& SlotList(Info& info, SlotKind kind) {
  switch (kind) {
    case SlotKind::A: return info.animSlots;
    case SlotKind::F: return info.faceSlots;
    case SlotKind::M: return info.miscSlots;
    case SlotKind::C: break;
  }
  return info.charSlots;
}

// Applies one split line of modfile.ini to the record.
void ApplyLine(const std::vector<std::string>& pieces, ModPackageInfo* info) {
  if (pieces.size() < 2) return;
  const std::string& key = pieces[0];
  if (key == "dataname") {
    info->dataName = pieces[1];
    return;
  }
  for (const FlagKey& flag : kFlagKeys) {
    if (key == flag.key) {
      info->*flag.flag = true;
      return;
    }
  }
  // has_sound is accepted and means nothing: the sound data is always used.
  for (SlotKind kind : kAllSlotKinds) {
    if (key == KindInfo(kind).key) {
      // A slot needs both texts; a line with a path but no name is skipped.
      if (pieces.size() >= 3) SlotList(*info, kind).push_back({pieces[1], pieces[2]});
      return;
    }
  }
  if (key == "add_icon") info->extraIcons.push_back(pieces[1]);
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsAbsolute(const std::string& path) {
  if (!path.empty() && IsSeparator(path[0])) return true;
  // "C:\x" and the drive-relative "C:x" both leave the package folder.
  char first = path.size() >= 2 ? path[0] : '\0';
  bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
  return letter && path[1] == ':';
}

// True when following `path` from a folder ever steps above that folder.
// Windows drops trailing dots and spaces from a name, so a component made of
// dots and spaces only is taken as ".." when it has two dots or more and as
// "." otherwise.
bool ClimbsOut(const std::string& path) {
  int depth = 0;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    std::string component = path.substr(start, end - start);
    if (component.find_first_not_of(". ") != std::string::npos) {
      ++depth;
    } else if (std::count(component.begin(), component.end(), '.') >= 2) {
      if (--depth < 0) return true;
    }
    start = end + 1;
  }
  return false;
}

}  // namespace

const std::vector<SlotRequest>& SlotsOfKind(const ModPackageInfo& info, SlotKind kind) {
  return SlotList(info, kind);
}

Status ReadModPackage(Platform& platform, const std::string& packageFolder, ModPackageInfo* info) {
  *info = ModPackageInfo();
  std::vector<std::string> lines;
  Status read = ReadTextLines(platform, packageFolder + "/modfile.ini", kModfileLimit, &lines);
  if (!read.ok()) return read;
  for (const std::string& line : lines) ApplyLine(SplitLine(line), info);
  return Status::Ok();
}

std::vector<std::string> CheckModPackage(const std::string& packageFolder,
                                         const ModPackageInfo& info) {
  std::vector<std::string> problems;
  for (const std::string& icon : info.extraIcons) {
    const char* fault = IsAbsolute(icon)  ? "is an absolute path"
                        : ClimbsOut(icon) ? "leads out of the package folder through \"..\""
                                          : nullptr;
    if (fault == nullptr) continue;
    problems.push_back("The mod package \"" + packageFolder + "\" names the extra icon \"" + icon +
                       "\" (add_icon), which " + fault +
                       ". An icon must be a file inside the package folder.");
  }
  return problems;
}

}  // namespace korva
