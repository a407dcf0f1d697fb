// Reading the tables of the character project files: the slot table of one
// kind (its entries, which of them are free) and the first name fields of the
// character records that "Game Chars" lists. Nothing here writes a file.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "slots/slot_table.h"

namespace korva {

// Reads the slot table of `kind` from `bytes`, the content of the kind's
// file `path`, into `*table` (replacing what it held). On success it holds
// all ten entries and the free ones. When the file ends before an entry's
// fields (a short file, or stored lengths that point past its end) the
// entries before it are kept, the rest count as not free, and the error
// names the file and the first entry that could not be read.
Status ReadSlotTable(SlotKind kind, const std::string& bytes, const std::string& path,
                     SlotTable* table);

// Reads the slot table of `kind` from its file in `gameFolder` into `*table`.
// A file that cannot be read leaves the table empty (no free slot) and
// returns the reason; a short file is read as ReadSlotTable says.
Status ScanSlots(Platform& platform, const std::string& gameFolder, SlotKind kind,
                 SlotTable* table);

// The ten "Game Chars" rows: the text of each character record's first name
// field (its bytes up to the first NUL, all 15 when it holds none). Always
// ten rows; a record that cannot be read (missing or short file) gives an
// empty row, and the error says which.
Status FillGameCharsList(Platform& platform, const std::string& gameFolder,
                         std::vector<std::string>* rows);

// The bytes of a field up to its first NUL; all of them when it holds none.
std::string FieldText(const std::string& bytes, size_t offset, size_t size);

// True when the entry holds the placeholder texts of `kind` (both begin
// with the kind's prefixes), so it can be claimed.
bool IsFreeSlot(SlotKind kind, const SlotEntry& entry);

}  // namespace korva
