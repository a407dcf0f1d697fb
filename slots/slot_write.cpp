#include "slots/slot_write.h"
#include "platform/read_limits.h"

#include <cstring>
#include <initializer_list>

#include "slots/slot_scan.h"

namespace korva {
namespace {

std::string KindName(SlotKind kind) { return std::string(1, KindInfo(kind).label[0]); }

// Reads the kind's file into `*bytes` and its table into `*table`. A table
// cut short by the file's end still holds the entries before that point,
// which may be written; only a file that cannot be read is a failure.
Status ReadKindFile(Platform& platform, const std::string& path, SlotKind kind, std::string* bytes,
                    SlotTable* table) {
  Status read = platform.ReadFile(path, kProjectFileLimit, bytes);
  if (!read.ok()) {
    *table = SlotTable();
    return read;
  }
  ReadSlotTable(kind, *bytes, path, table);
  return Status::Ok();
}

// Writes `path` and `name` over the first bytes of `entry`'s two fields, in
// one write that spans both fields; the bytes between them are written back
// as they are. On success `*bytes` holds the file's new content.
Status WriteEntry(Platform& platform, const std::string& file, const SlotEntry& entry,
                  const std::string& path, const std::string& name, std::string* bytes) {
  size_t start = static_cast<size_t>(entry.pathOffset);
  size_t nameAt = static_cast<size_t>(entry.nameOffset) - start;
  std::string span = bytes->substr(start, nameAt + static_cast<size_t>(entry.nameLength));
  span.replace(0, path.size(), path);
  span.replace(nameAt, name.size(), name);
  Status written = platform.WriteAt(file, start, span);
  if (written.ok()) bytes->replace(start, span.size(), span);
  return written;
}

// `text` followed by NUL bytes up to `size` bytes.
std::string Padded(std::string text, int32_t size) {
  text.resize(static_cast<size_t>(size), '\0');
  return text;
}

// Writes the two name fields of a character record in one write, the five
// bytes between them written back as they are.
Status WriteRecordNames(Platform& platform, const std::string& gameFolder, int characterNumber,
                        const std::string& first, const std::string& second) {
  if (characterNumber < 1 || characterNumber > kPlaceCount) {
    return Status::Error("There is no character record for place " +
                         std::to_string(characterNumber) + "; nothing was written.");
  }
  std::string path = gameFolder + kCharacterFile;
  int32_t recordStart = kRecordTableStart + kRecordSize * (characterNumber - 1);
  size_t untilTableEnd =
      static_cast<size_t>(kRecordTableStart + kPlaceCount * kRecordSize - recordStart);
  std::string record;
  Status read = platform.ReadAt(path, static_cast<uint64_t>(recordStart), untilTableEnd, &record);
  if (!read.ok()) return read;
  if (record.size() < untilTableEnd) {
    return Status::PathError(
        path, "the file ends at byte " + std::to_string(recordStart + record.size()) +
                  ", before the end of the character records at byte " +
                  std::to_string(kRecordTableStart + kPlaceCount * kRecordSize) +
                  "; nothing was written");
  }
  std::string span = record.substr(0, kSecondNameOffset + kSecondNameSize);
  span.replace(0, kFirstNameSize, first);
  span.replace(kSecondNameOffset, kSecondNameSize, second);
  return platform.WriteAt(path, static_cast<uint64_t>(recordStart), span);
}

}  // namespace

std::string SlotTextProblem(SlotKind kind, int entry, const char* what, const std::string& text,
                            int32_t fieldSize) {
  std::string field = std::to_string(fieldSize) + "-byte " + what + " field of " + KindName(kind) +
                      " slot entry " + std::to_string(entry + 1);
  if (text.empty()) {
    return std::string("The slot ") + what + " is empty; the " + field + " needs a text.";
  }
  if (text.find('\0') != std::string::npos) {
    return std::string("The slot ") + what + " \"" + text.substr(0, text.find('\0')) +
           "\" holds a NUL byte, which the " + field + " cannot keep.";
  }
  if (text.size() > static_cast<size_t>(fieldSize)) {
    return std::string("The slot ") + what + " \"" + text + "\" (" + std::to_string(text.size()) +
           " bytes) does not fit the " + field + ".";
  }
  return std::string();
}

Status ClaimFreeSlot(Platform& platform, const std::string& gameFolder, SlotKind kind,
                     const std::string& path, const std::string& name, SlotTable* table) {
  std::string file = gameFolder + KindInfo(kind).file;
  std::string bytes;
  Status read = ReadKindFile(platform, file, kind, &bytes, table);
  if (!read.ok()) return read;
  if (table->freeList.empty()) {
    return Status::PathError(
        file, "no free slot of kind " + KindName(kind) + " is left; nothing was written");
  }
  int index = table->freeList.front();
  const SlotEntry& entry = table->entries[static_cast<size_t>(index)];
  for (const std::string& problem :
       {SlotTextProblem(kind, index, "path", path, entry.pathLength),
        SlotTextProblem(kind, index, "name", name, entry.nameLength)}) {
    if (!problem.empty()) return Status::Error(problem + " Nothing was written.");
  }
  Status written = WriteEntry(platform, file, entry, Padded(path, entry.pathLength),
                              Padded(name, entry.nameLength), &bytes);
  if (!written.ok()) return written;
  ReadSlotTable(kind, bytes, file, table);
  return Status::Ok();
}

Status ReleaseSlot(Platform& platform, const std::string& gameFolder, SlotKind kind,
                   const std::string& path, const std::string& name, SlotTable* table,
                   bool* released) {
  *released = false;
  const SlotKindInfo& info = KindInfo(kind);
  std::string file = gameFolder + info.file;
  std::string bytes;
  Status read = ReadKindFile(platform, file, kind, &bytes, table);
  if (!read.ok()) return read;
  for (size_t i = 0; i < table->entries.size(); ++i) {
    const SlotEntry& entry = table->entries[i];
    if (entry.path != path || entry.name != name) continue;
    if (static_cast<size_t>(entry.pathLength) < std::strlen(info.pathPrefix) ||
        static_cast<size_t>(entry.nameLength) < std::strlen(info.namePrefix)) {
      return Status::PathError(
          file, KindName(kind) + " slot entry " + std::to_string(i + 1) + " (" + path + ", " +
                    name + ") has a field shorter than the placeholder \"" + info.pathPrefix +
                    "\", \"" + info.namePrefix + "\"; it was left as it is");
    }
    Status written = WriteEntry(platform, file, entry, info.pathPrefix, info.namePrefix, &bytes);
    if (!written.ok()) return written;
    ReadSlotTable(kind, bytes, file, table);
    *released = true;
    return Status::Ok();
  }
  return Status::Ok();
}

Status WriteCharacterRecord(Platform& platform, const std::string& gameFolder, int characterNumber,
                            const std::string& dataName) {
  std::string first = dataName + "\\";
  if (first.size() > static_cast<size_t>(kFirstNameSize)) {
    first = first.substr(0, kFirstNameSize - 1) + "\\";
  }
  return WriteRecordNames(platform, gameFolder, characterNumber, Padded(first, kFirstNameSize),
                          Padded(dataName.substr(0, kSecondNameSize), kSecondNameSize));
}

Status WritePlaceholderRecord(Platform& platform, const std::string& gameFolder,
                              int characterNumber) {
  std::string name = PlaceholderCharacterName(characterNumber);
  std::string first = Padded(name + "\\", kFirstNameSize).substr(0, kFirstNameSize - 1) + "\\";
  return WriteRecordNames(platform, gameFolder, characterNumber, first,
                          Padded(name, kSecondNameSize));
}

}  // namespace korva
