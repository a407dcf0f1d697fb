#include "slots/slot_usage.h"
#include "platform/read_limits.h"

#include <vector>

#include "platform/split_line.h"
#include "platform/text_file.h"
#include "slots/slot_write.h"

namespace korva {
namespace {

Status CheckIndex(int characterSlotIndex) {
  if (characterSlotIndex >= 0 && characterSlotIndex < kPlaceCount) return Status::Ok();
  return Status::Error("There is no place " + std::to_string(characterSlotIndex) +
                       " for a slot usage file; places are 0 to 9.");
}

// One line of a slot usage file that names a slot entry.
struct UsageLine {
  std::string line;
  std::string path;
  std::string name;
};

// The file's lines that name an entry, by kind.
void ParseUsage(const std::vector<std::string>& lines, std::vector<UsageLine> (&byKind)[4]) {
  for (const std::string& line : lines) {
    std::vector<std::string> pieces = SplitLine(line);
    if (pieces.size() < 3) continue;
    for (SlotKind kind : kAllSlotKinds) {
      if (pieces[0] == KindInfo(kind).key) {
        byKind[static_cast<int>(kind)].push_back({line, pieces[1], pieces[2]});
      }
    }
  }
}

// Reads place `characterSlotIndex`'s slot usage file into `byKind`; nothing
// when there is none (`*exists` false).
Status ReadUsage(Platform& platform, const std::string& gameFolder, int characterSlotIndex,
                 std::vector<UsageLine> (&byKind)[4], bool* exists) {
  *exists = false;
  Status index = CheckIndex(characterSlotIndex);
  if (!index.ok()) return index;
  std::string file = SlotUsageFile(gameFolder, characterSlotIndex);
  if (!platform.Exists(file)) return Status::Ok();
  std::vector<std::string> lines;
  Status read = ReadTextLines(platform, file, kRecordFileLimit, &lines);
  if (!read.ok()) return read;
  *exists = true;
  ParseUsage(lines, byKind);
  return Status::Ok();
}

}  // namespace

Status ReadSlotUses(Platform& platform, const std::string& gameFolder, int characterSlotIndex,
                    std::vector<SlotUse>* uses) {
  uses->clear();
  std::vector<UsageLine> byKind[4];
  bool exists = false;
  Status read = ReadUsage(platform, gameFolder, characterSlotIndex, byKind, &exists);
  if (!read.ok()) return read;
  for (SlotKind kind : kAllSlotKinds) {
    for (const UsageLine& use : byKind[static_cast<int>(kind)]) {
      uses->push_back({kind, {use.path, use.name}});
    }
  }
  return Status::Ok();
}

std::string SlotUsageFile(const std::string& gameFolder, int characterSlotIndex) {
  return gameFolder + "/chars/slots_char_" + std::to_string(characterSlotIndex);
}

Status RecordSlotUse(Platform& platform, const std::string& gameFolder, int characterSlotIndex,
                     const std::string& path, const std::string& name, SlotKind kind) {
  Status index = CheckIndex(characterSlotIndex);
  if (!index.ok()) return index;
  return AppendText(platform, SlotUsageFile(gameFolder, characterSlotIndex),
                    std::string(KindInfo(kind).key) + "=" + path + "=" + name + "\n");
}

Status ReleaseCharacterSlots(Platform& platform, const std::string& gameFolder,
                             int characterSlotIndex, SlotTables* tables) {
  std::vector<UsageLine> byKind[4];
  bool exists = false;
  Status read = ReadUsage(platform, gameFolder, characterSlotIndex, byKind, &exists);
  if (!read.ok() || !exists) return read;
  const std::string file = SlotUsageFile(gameFolder, characterSlotIndex);

  std::string stillClaimed;
  std::string problems;
  for (SlotKind kind : kAllSlotKinds) {
    for (const UsageLine& use : byKind[static_cast<int>(kind)]) {
      bool released = false;
      Status status = ReleaseSlot(platform, gameFolder, kind, use.path, use.name,
                                  &(*tables)[static_cast<size_t>(kind)], &released);
      if (!status.ok()) {
        stillClaimed += use.line + "\n";
        problems += " " + status.message();
      }
    }
  }
  Status done =
      stillClaimed.empty() ? platform.Remove(file) : ReplaceText(platform, file, stillClaimed);
  if (!done.ok()) problems += " " + done.message();
  if (problems.empty()) return Status::Ok();
  return Status::Error("Not every slot entry of place " + std::to_string(characterSlotIndex) +
                       " could be released:" + problems +
                       (stillClaimed.empty()
                            ? std::string()
                            : " The entries not released stay listed in " + file + "."));
}

}  // namespace korva
