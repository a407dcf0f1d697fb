#include "slots/slot_scan.h"
#include "platform/read_limits.h"

namespace korva {
namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::string KindName(SlotKind kind) { return std::string(1, KindInfo(kind).label[0]); }

// The stored length byte at `at`, when the file reaches that far.
bool LengthAt(const std::string& bytes, size_t at, size_t* length) {
  if (at >= bytes.size()) return false;
  *length = static_cast<unsigned char>(bytes[at]);
  return true;
}

}  // namespace

std::string FieldText(const std::string& bytes, size_t offset, size_t size) {
  std::string field = bytes.substr(offset, size);
  return field.substr(0, field.find('\0'));
}

bool IsFreeSlot(SlotKind kind, const SlotEntry& entry) {
  const SlotKindInfo& info = KindInfo(kind);
  return StartsWith(entry.path, info.pathPrefix) && StartsWith(entry.name, info.namePrefix);
}

Status ReadSlotTable(SlotKind kind, const std::string& bytes, const std::string& path,
                     SlotTable* table) {
  const SlotKindInfo& info = KindInfo(kind);
  *table = SlotTable();
  Status status;
  size_t size = bytes.size();
  size_t e = static_cast<size_t>(info.tableStart);
  for (int i = 0; i < kSlotsPerTable; ++i) {
    // Every length byte and every field must lie inside the file.
    size_t pathOffset = e + 20;
    size_t pathLength = 0;
    size_t nameLength = 0;
    bool readable = LengthAt(bytes, e + 16, &pathLength) &&
                    LengthAt(bytes, pathOffset + pathLength, &nameLength) &&
                    pathOffset + pathLength + 4 + nameLength <= size;
    if (!readable) {
      status = Status::PathError(
          path, "the file ends at byte " + std::to_string(size) +
                    ", before the end of slot entry " + std::to_string(i + 1) + " of 10 of kind " +
                    KindName(kind) + "; " + std::to_string(kSlotsPerTable - i) +
                    " entries could not be read and count as not free");
      break;
    }
    size_t nameOffset = pathOffset + pathLength + 4;
    SlotEntry entry;
    entry.path = FieldText(bytes, pathOffset, pathLength);
    entry.name = FieldText(bytes, nameOffset, nameLength);
    entry.pathLength = static_cast<int32_t>(pathLength);
    entry.pathOffset = static_cast<int32_t>(pathOffset);
    entry.nameLength = static_cast<int32_t>(nameLength);
    entry.nameOffset = static_cast<int32_t>(nameOffset);
    table->entries.push_back(entry);
    e = nameOffset + nameLength + static_cast<size_t>(info.gap);
  }
  for (size_t i = 0; i < table->entries.size(); ++i) {
    if (IsFreeSlot(kind, table->entries[i])) table->freeList.push_back(static_cast<int32_t>(i));
  }
  table->freeCount = static_cast<int32_t>(table->freeList.size());
  return status;
}

Status ScanSlots(Platform& platform, const std::string& gameFolder, SlotKind kind,
                 SlotTable* table) {
  std::string path = gameFolder + KindInfo(kind).file;
  std::string bytes;
  Status read = platform.ReadFile(path, kProjectFileLimit, &bytes);
  if (!read.ok()) {
    *table = SlotTable();
    return read;
  }
  return ReadSlotTable(kind, bytes, path, table);
}

Status FillGameCharsList(Platform& platform, const std::string& gameFolder,
                         std::vector<std::string>* rows) {
  rows->assign(kPlaceCount, std::string());
  std::string path = gameFolder + kCharacterFile;
  std::string records;
  Status read = platform.ReadAt(path, kRecordTableStart, kPlaceCount * kRecordSize, &records);
  if (!read.ok()) return read;
  int readable = 0;
  for (int i = 0; i < kPlaceCount; ++i) {
    size_t start = static_cast<size_t>(i * kRecordSize);
    if (start + kFirstNameSize > records.size()) break;
    (*rows)[static_cast<size_t>(i)] = FieldText(records, start, kFirstNameSize);
    ++readable;
  }
  if (readable < kPlaceCount) {
    return Status::PathError(
        path, "the file ends at byte " + std::to_string(kRecordTableStart + records.size()) +
                  ", before the character record of place " + std::to_string(readable + 1) +
                  "; places " + std::to_string(readable + 1) + " to 10 show an empty row");
  }
  return Status::Ok();
}

}  // namespace korva
