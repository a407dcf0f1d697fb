// Writing into the tables of the character project files: claiming a free
// slot entry for a package's path and name, giving an entry its placeholder
// back, and the two name fields of a character record. Every write changes
// bytes inside the path, name or record name fields only, in one write per
// call; no stored length, no other byte and no file size ever changes.
#pragma once

#include <string>

#include "platform/platform.h"
#include "slots/slot_table.h"

namespace korva {

// Why `text` cannot be written into a slot field of `fieldSize` bytes and
// read back as itself, as a sentence naming the text and the field; "" when
// it can. A text that is empty, holds a NUL byte or is longer than the field
// cannot. `what` is "path" or "name", `entry` the 0-based entry index.
std::string SlotTextProblem(SlotKind kind, int entry, const char* what, const std::string& text,
                            int32_t fieldSize);

// Writes `path` and `name`, NUL-padded to their fields, into the first free
// entry of `kind`, reading the table afresh from its file first; `*table`
// is then the table as the file now holds it (the claimed entry no longer
// free). Fails, writing nothing, when the file cannot be read, no entry is
// free, or a text does not fit its field (SlotTextProblem).
Status ClaimFreeSlot(Platform& platform, const std::string& gameFolder, SlotKind kind,
                     const std::string& path, const std::string& name, SlotTable* table);

// Gives the first entry of `kind` whose texts are exactly `path` and `name`
// the kind's placeholder prefixes (their bytes only; the rest of each field
// keeps what it held), reading the table afresh first; `*table` is then the
// table as the file holds it. `*released` says whether an entry matched; no
// match changes nothing and is no failure. Fails, writing nothing, when the
// file cannot be read or the matching entry's field is shorter than the
// placeholder prefix.
Status ReleaseSlot(Platform& platform, const std::string& gameFolder, SlotKind kind,
                   const std::string& path, const std::string& name, SlotTable* table,
                   bool* released);

// Writes `dataName` into the character record of `characterNumber` (1 to
// 10): the first name field gets the data name and a backslash, NUL-padded
// to 15 bytes (a longer text is cut to 14 bytes and a backslash), the second
// name field the data name NUL-padded or cut to 14 bytes. Fails, writing
// nothing, for a number outside 1 to 10 or a file too short to hold the
// whole record table.
Status WriteCharacterRecord(Platform& platform, const std::string& gameFolder, int characterNumber,
                            const std::string& dataName);

// Writes the placeholder character name of `characterNumber` (1 to 10) into
// its record, as an empty place has it: first name field the name, a
// backslash, two NUL bytes and a backslash; second name field the name and
// three NUL bytes. Fails as WriteCharacterRecord does.
Status WritePlaceholderRecord(Platform& platform, const std::string& gameFolder,
                              int characterNumber);

}  // namespace korva
