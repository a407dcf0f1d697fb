// Byte layout of the character project files (.cpj) that the program ships and
// that the sample game holds: slot tables of ten entries and the table of ten
// character records, laid over filler of our own at their fixed offsets.
// Pure functions; each returns bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "slots/slot_table.h"

namespace korva {

// Field sizes of every slot entry the program ships: a mod's slot path may be
// up to kSlotPathField bytes long and its name up to kSlotNameField bytes.
constexpr int32_t kSlotPathField = 64;
constexpr int32_t kSlotNameField = 32;

// The texts of one slot entry.
struct SlotText {
  std::string path;
  std::string name;
};

// The ten placeholder entries of a kind: "Pawniks\CSlt01" / "CSlt01" up to
// "Pawniks\CSlt10" / "CSlt10" (and so on for A, F, M).
std::vector<SlotText> PlaceholderSlots(SlotKind kind);

// One slot table: an entry per text, each with a 16-byte entry head, the
// path and name fields of the sizes above (NUL-padded, stored lengths as
// 32-bit little-endian numbers) and the kind's gap after the name.
std::string SlotTableBytes(SlotKind kind, const std::vector<SlotText>& entries);

// The two name fields of one character record.
struct RecordText {
  std::string firstName;   // cut or NUL-padded to 15 bytes
  std::string secondName;  // cut or NUL-padded to 14 bytes
};

// The record of an empty place: "Mod_Char_01\" NUL NUL "\" and "Mod_Char_01"
// NUL-padded, exactly what emptying the place writes.
RecordText PlaceholderRecord(int characterNumber);

// Ten records of kRecordSize bytes; the bytes the program does not use hold
// values of our own.
std::string RecordTableBytes(const std::vector<RecordText>& records);

// A file of `size` bytes: a short header naming `title`, filler made from
// `seed`, and each block laid over it at its offset.
std::string ProjectFileBytes(const std::string& title, uint32_t seed, size_t size,
                             const std::vector<std::pair<size_t, std::string>>& blocks);

// Opaque bytes of our own for the game files that are only copied.
std::string OpaqueBytes(const std::string& title, uint32_t seed, size_t size);

}  // namespace korva
