#include "data/project_file.h"

#include <cstdio>
#include <stdexcept>

namespace korva {
namespace {

void AppendU32(std::string* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// `text` cut or NUL-padded to exactly `size` bytes.
std::string Field(const std::string& text, size_t size) {
  std::string field = text.substr(0, size);
  field.resize(size, '\0');
  return field;
}

std::string TwoDigits(int number) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02d", number);
  return buffer;
}

}  // namespace

std::vector<SlotText> PlaceholderSlots(SlotKind kind) {
  const SlotKindInfo& info = KindInfo(kind);
  std::vector<SlotText> slots;
  for (int n = 1; n <= 10; ++n) {
    slots.push_back({info.pathPrefix + TwoDigits(n), info.namePrefix + TwoDigits(n)});
  }
  return slots;
}

std::string SlotTableBytes(SlotKind kind, const std::vector<SlotText>& entries) {
  const SlotKindInfo& info = KindInfo(kind);
  std::string bytes;
  for (size_t i = 0; i < entries.size(); ++i) {
    // Entry head: a tag, the entry's number and the kind's letter.
    bytes += "SLOT";
    AppendU32(&bytes, static_cast<uint32_t>(i));
    bytes += std::string("CAFM").substr(static_cast<size_t>(kind), 1);
    bytes += std::string(7, '\x11');
    AppendU32(&bytes, kSlotPathField);
    bytes += Field(entries[i].path, kSlotPathField);
    AppendU32(&bytes, kSlotNameField);
    bytes += Field(entries[i].name, kSlotNameField);
    for (int g = 0; g < info.gap; ++g) bytes.push_back(static_cast<char>(0xE0 + g));
  }
  return bytes;
}

RecordText PlaceholderRecord(int characterNumber) {
  std::string name = PlaceholderCharacterName(characterNumber);
  return {name + "\\", name};
}

std::string RecordTableBytes(const std::vector<RecordText>& records) {
  std::string bytes;
  for (size_t i = 0; i < records.size(); ++i) {
    std::string record = Field(records[i].firstName, kFirstNameSize);
    // +15: five bytes of the game's own (a record tag and the record's number).
    record += "CR";
    record.push_back(static_cast<char>(i));
    record.append("\x01\x00", 2);
    record += Field(records[i].secondName, kSecondNameSize);
    // +34: thirty bytes of the game's own (stats of the character).
    for (int b = 0; b < kRecordSize - kSecondNameOffset - kSecondNameSize; ++b) {
      record.push_back(static_cast<char>(0x40 + (b * 7 + static_cast<int>(i)) % 64));
    }
    bytes += record;
  }
  return bytes;
}

std::string OpaqueBytes(const std::string& title, uint32_t seed, size_t size) {
  std::string bytes = "KQ01" + title;
  bytes.push_back('\0');
  uint32_t state = seed * 2654435761u + 1u;
  while (bytes.size() < size) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    bytes.push_back(static_cast<char>(state & 0xFF));
  }
  bytes.resize(size);
  return bytes;
}

std::string ProjectFileBytes(const std::string& title, uint32_t seed, size_t size,
                             const std::vector<std::pair<size_t, std::string>>& blocks) {
  std::string bytes = OpaqueBytes("CPJ " + title, seed, size);
  for (const auto& [offset, block] : blocks) {
    if (offset + block.size() > size) throw std::logic_error(title + ": a table runs past the end");
    bytes.replace(offset, block.size(), block);
  }
  return bytes;
}

}  // namespace korva
