// The tables of the game's character project files (.cpj): for each slot
// kind a table of ten slot entries (a path and a name each), and in the
// character file the ten character records of the "Game Chars" places.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "slots/slot_kind.h"

namespace korva {

// Where and how a kind's slot table is stored.
struct SlotKindInfo {
  SlotKind kind;
  const char* key;         // the modfile.ini and slot usage key, "add_charslot"
  const char* file;        // below the game folder, "/chars/quorin_pawnik.cpj"
  int32_t tableStart;      // byte offset of the first entry
  int32_t gap;             // bytes after each entry's name field
  const char* pathPrefix;  // placeholder path prefix, "Pawniks\\CSlt"
  const char* namePrefix;  // placeholder name prefix, "CSlt"
  const char* label;       // free-count label text, "C: "
};
const SlotKindInfo& KindInfo(SlotKind kind);

// One slot entry as the last scan found it. Lengths are the field sizes
// stored in the file; offsets are byte positions in the file.
struct SlotEntry {
  std::string path;
  std::string name;
  int32_t pathLength = 0;
  int32_t pathOffset = 0;
  int32_t nameLength = 0;
  int32_t nameOffset = 0;
};

// A kind's table as the last scan found it: its entries in table order and
// the indices of the free ones (placeholder texts), ascending. An entry is
// free when its path begins with the kind's path prefix and its name with
// the kind's name prefix.
struct SlotTable {
  std::vector<SlotEntry> entries;
  std::vector<int32_t> freeList;
  int32_t freeCount = 0;
};
constexpr int kSlotsPerTable = 10;

// The four tables, indexed by SlotKind (C, A, F, M).
using SlotTables = std::array<SlotTable, 4>;

// The two texts a package asks to write into one slot entry.
struct SlotRequest {
  std::string path;  // such as "Pawniks\\Hero"
  std::string name;  // such as "Hero"
};

// The free-count label of a kind: "C: " and the free count, as "C: 3".
std::string SlotLabel(SlotKind kind, const SlotTable& table);

// The character record table in "/chars/quorin_pawnik.cpj": ten records of
// 64 bytes, record i (place i, character number i + 1) at
// kRecordTableStart + 64 * i.
constexpr int32_t kRecordTableStart = 74294;
constexpr int32_t kRecordSize = 64;
constexpr int32_t kFirstNameSize = 15;   // at +0: what "Game Chars" lists
constexpr int32_t kSecondNameOffset = 20;
constexpr int32_t kSecondNameSize = 14;  // at +20: the data name
constexpr int kPlaceCount = 10;
constexpr const char* kCharacterFile = "/chars/quorin_pawnik.cpj";

// "Mod_Char_01" to "Mod_Char_09", "Mod_Char_10": what an empty place
// (character number 1 to 10) is called.
std::string PlaceholderCharacterName(int characterNumber);

}  // namespace korva
