#include "textfiles/collection_list.h"
#include "platform/read_limits.h"

#include <vector>

#include "platform/text_file.h"
#include "slots/slot_table.h"
#include "platform/optional_file.h"

namespace korva {
namespace {

constexpr const char* kMarker = "//##";
constexpr const char* kSectionMarker = "//##mod";

std::string PlaceMarker(int characterNumber) {
  return kMarker + PlaceholderCharacterName(characterNumber);
}

bool Contains(const std::string& line, const char* text) {
  return line.find(text) != std::string::npos;
}

// The 23 lines of the reserved section, LF-ended.
std::string ReservedSection() {
  std::string section = std::string(kSectionMarker) + "\n";
  section += std::string(kPlaceholderEntry) + "\n";
  section += std::string(kPlaceholderEntry) + "\n";
  for (int n = 1; n <= kPlaceCount; ++n) {
    section += PlaceMarker(n) + "\n" + kPlaceholderEntry + "\n";
  }
  return section;
}

}  // namespace

std::string DefaultCollectionEntry(const std::string& dataName) {
  return "collect \"" + dataName + "\" no_progress";
}

Status PrepareCollectionList(Platform& platform, const std::string& gameFolder) {
  const std::string list = gameFolder + kCollectionList;
  const std::string backup = list + "_bak";
  std::string bytes;
  Status status = platform.ReadFile(list, kGameTextLimit, &bytes);
  if (!status.ok()) return status;

  // The backup must hold the list as the game had it, so nothing is added
  // to a list that has none.
  if (!platform.CanRead(backup)) {
    status = platform.CopyFile(list, backup);
    if (!status.ok()) return status;
  }
  for (const std::string& line : SplitTextLines(bytes)) {
    if (Contains(line, kSectionMarker)) return Status::Ok();
  }
  return platform.ReplaceFile(list, bytes + ToTextMode(ReservedSection()));
}

Status WriteCollectionEntry(Platform& platform, const std::string& gameFolder, int characterNumber,
                            bool placeholder, bool useFile, const std::string& entryFile,
                            const std::string& dataName) {
  if (characterNumber < 1 || characterNumber > kPlaceCount) {
    return Status::Error("The collection list has no place " + std::to_string(characterNumber) +
                         "; its places are numbered 1 to " + std::to_string(kPlaceCount) + ".");
  }
  const std::string list = gameFolder + kCollectionList;
  std::vector<std::string> lines;
  Status status = ReadTextLines(platform, list, kGameTextLimit, &lines);
  if (!status.ok()) return status;

  std::string entry;
  if (placeholder) {
    entry = kPlaceholderEntry;
  } else {
    if (useFile) {
      std::string bytes;
      status = ReadFileIfPresent(platform, entryFile, kPackageDataLimit, &bytes);
      if (!status.ok()) return status;
      entry = bytes.substr(0, bytes.find('\0'));
    }
    if (entry.empty()) entry = DefaultCollectionEntry(dataName);
  }

  // The place's marker line and the lines of its old entry give way to the
  // marker and the new entry; a second marker of the place goes with its lines.
  const std::string marker = PlaceMarker(characterNumber);
  std::string out;
  bool copying = true;
  bool written = false;
  for (const std::string& line : lines) {
    if (!copying) copying = Contains(line, kMarker);
    if (Contains(line, marker.c_str()) || !copying) {
      if (!written) out += marker + "\n" + entry + "\n";
      written = true;
      copying = false;
      continue;
    }
    out += line + "\n";
  }
  if (!written) {
    return Status::PathError(list, "has no line " + marker + ", so place " +
                                       std::to_string(characterNumber) +
                                       " cannot take a collection entry");
  }
  return ReplaceText(platform, list, out);
}

}  // namespace korva
