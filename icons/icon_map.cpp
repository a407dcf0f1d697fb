#include "icons/icon_map.h"
#include "platform/read_limits.h"

#include <limits>

#include "icons/icon_page.h"
#include "platform/split_line.h"
#include "platform/text_file.h"

namespace korva {
namespace {

// The decimal integer `piece` spells (an optional sign, then digits only,
// within 32 bits); false for anything else.
bool ParseEntry(const std::string& piece, int32_t* value) {
  size_t at = piece[0] == '-' || piece[0] == '+' ? 1 : 0;
  if (at == piece.size()) return false;
  int64_t number = 0;
  for (; at < piece.size(); ++at) {
    if (piece[at] < '0' || piece[at] > '9') return false;
    number = number * 10 + (piece[at] - '0');
    if (number > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  if (piece[0] == '-') number = -number;
  if (number > std::numeric_limits<int32_t>::max()) return false;
  *value = static_cast<int32_t>(number);
  return true;
}

// Both failures in one message, or whichever there is.
Status Together(const Status& first, const Status& second) {
  if (first.ok()) return second;
  if (second.ok()) return first;
  return Status::Error(first.message() + " " + second.message());
}

}  // namespace

std::string IconMapPath(const std::string& gameFolder) { return gameFolder + "/chars/iconmap"; }

Status PlaceIcon(Platform& platform, const std::string& gameFolder,
                 const std::string& programFolder, IconMap* map, const std::string& iconPath,
                 int position, int characterNumber, std::vector<CellEdit>* planned) {
  std::vector<int32_t>& e = map->entries;
  int n = static_cast<int>(e.size());
  int extras = 0;  // extra icons of lower character numbers
  for (int i = 1; i < n; ++i) {
    if (e[i] != 0 && e[i] < characterNumber && e[i] == e[i - 1]) ++extras;
  }
  int target = position + extras;
  if (n == 0) {
    return Status::Error("The icon map " + IconMapPath(gameFolder) +
                         " holds no icon cells (it is missing or empty); the icon of character " +
                         std::to_string(characterNumber) + " was not placed.");
  }
  if (target < 0 || target >= n) {
    return Status::Error("No icon cell is left for an icon of character " +
                         std::to_string(characterNumber) + " (it would take position " +
                         std::to_string(target) + " of " + std::to_string(n) +
                         " in the icon map); the icon was not placed.");
  }
  if (e[target] != 0) {
    Status opened;
    if (planned != nullptr) {
      planned->push_back(CellEdit::Open(kFirstModIconCell + target, 1));
    } else {
      opened = OpenIconCells(platform, gameFolder, programFolder, kFirstModIconCell + target, 1);
    }
    if (!opened.ok()) {
      return Status::Error(opened.message() + " The icon of character " +
                           std::to_string(characterNumber) + " was not placed.");
    }
    for (int j = n - 2; j >= target; --j) e[j + 1] = e[j];
  }
  Status pasted;
  if (planned != nullptr) {
    planned->push_back(CellEdit::Paste(iconPath, kFirstModIconCell + target));
  } else {
    pasted = PasteIconCell(platform, gameFolder, programFolder, iconPath, kFirstModIconCell + target);
  }
  e[target] = characterNumber;
  Status written = WriteIconMap(platform, gameFolder, *map);
  if (!written.ok()) return Together(pasted, written);
  return Together(pasted, ReadIconMap(platform, gameFolder, programFolder, map));
}

Status ReleaseCharacterIcons(Platform& platform, const std::string& gameFolder,
                             const std::string& programFolder, IconMap* map,
                             int characterNumber, std::vector<CellEdit>* planned) {
  std::vector<int32_t>& e = map->entries;
  int n = static_cast<int>(e.size());
  if (n <= 0) return Status::Ok();
  std::vector<int32_t> before = e;
  int first = -1, k = 0;
  for (int i = 0; i < n; ++i) {
    if (e[i] != characterNumber) continue;
    e[i] = 0;
    if (first < 0) first = i;
    ++k;
  }
  // A lone icon's picture stays in the page; its cell is simply free.
  if (k <= 1) return Status::Ok();
  // Later entries move down over the extra icons; the last k - 1 keep their
  // values.
  for (int j = first + k; j < n; ++j) e[j - (k - 1)] = e[j];
  if (planned != nullptr) {
    planned->push_back(CellEdit::Close(first + kFirstModIconCell + 1, k - 1));
    return Status::Ok();
  }
  Status closed =
      CloseIconCells(platform, gameFolder, programFolder, first + kFirstModIconCell + 1, k - 1);
  if (!closed.ok()) e = before;
  return closed;
}

Status WriteIconMap(Platform& platform, const std::string& gameFolder, const IconMap& map) {
  std::string line;
  for (size_t i = 0; i < map.entries.size(); ++i) {
    if (i > 0) line += '=';
    line += std::to_string(map.entries[i]);
  }
  Status written = ReplaceText(platform, IconMapPath(gameFolder), line + "\n");
  if (written.ok()) return written;
  return Status::Error("The icon map could not be written (" + written.message() + ").");
}

Status ReadIconMap(Platform& platform, const std::string& gameFolder,
                   const std::string& programFolder, IconMap* map) {
  std::string path = IconMapPath(gameFolder);
  Status copied;
  if (!platform.CanRead(path)) copied = platform.CopyFile(programFolder + "/data/iconmap", path);
  Status read = LoadIconMap(platform, gameFolder, map);
  if (!read.ok() && !copied.ok()) {
    return Status::Error("The icon map could not be read (" + copied.message() +
                         "); no icon cells can be given to characters.");
  }
  return read;
}

Status LoadIconMap(Platform& platform, const std::string& gameFolder, IconMap* map) {
  map->entries.clear();
  std::vector<std::string> lines;
  Status read = ReadTextLines(platform, IconMapPath(gameFolder), kRecordFileLimit, &lines);
  if (!read.ok()) {
    return Status::Error("The icon map could not be read (" + read.message() +
                         "); no icon cells can be given to characters.");
  }
  for (const std::string& line : lines) {
    for (const std::string& piece : SplitLine(line)) {
      int32_t value;
      if (ParseEntry(piece, &value)) map->entries.push_back(value);
    }
  }
  return Status::Ok();
}

}  // namespace korva
