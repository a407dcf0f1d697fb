// The slot usage file of a place ("/chars/slots_char_" + index): one line
// "key=path=name" per slot entry the place's characters claimed, in claim
// order, so that deleting the place gives exactly those entries their
// placeholders back.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "slots/slot_table.h"

namespace korva {

// gameFolder + "/chars/slots_char_" + index in decimal.
std::string SlotUsageFile(const std::string& gameFolder, int characterSlotIndex);

// Appends the line key + "=" + path + "=" + name (CR LF) to the slot usage
// file of place `characterSlotIndex` (0 to 9), creating the file when it is
// missing. Fails for an index outside 0 to 9 or when the append fails.
Status RecordSlotUse(Platform& platform, const std::string& gameFolder, int characterSlotIndex,
                     const std::string& path, const std::string& name, SlotKind kind);

// One line of a slot usage file: which entry of which kind a character
// claimed.
struct SlotUse {
  SlotKind kind;
  SlotRequest slot;
};

// The entries the slot usage file of `characterSlotIndex` lists, in the
// order ReleaseCharacterSlots releases them (kinds C, A, F, M, each in file
// order), lines it skips left out. No file is an empty list.
Status ReadSlotUses(Platform& platform, const std::string& gameFolder, int characterSlotIndex,
                    std::vector<SlotUse>* uses);

// Releases (ReleaseSlot) every entry listed in the slot usage file of
// `characterSlotIndex`, kinds in the order C, A, F, M and each kind in file
// order, then deletes the file. Lines with fewer than three pieces or an
// unknown key are skipped; a line whose texts no entry holds releases
// nothing. `tables` end as the files hold them. No file is no failure. On
// failure (the file cannot be read, a release or the deletion fails) the
// file keeps exactly the lines whose entries are still claimed, and the
// error says what was not released.
Status ReleaseCharacterSlots(Platform& platform, const std::string& gameFolder,
                             int characterSlotIndex, SlotTables* tables);

}  // namespace korva
