// The icon map: which installed character owns each mod cell of the icon
// page. Entry i belongs to cell 260 + i and holds the character number (1 to
// 10) whose icon is there, or 0 for a free cell. A character's icons take
// consecutive entries, main icon first, and the places follow the order of
// "Game Chars": a place without a character keeps its one entry of 0.
//
// The map file, game folder + "/chars/iconmap", is one text line: the
// entries as decimal integers joined by "=" (CR LF line end). Reading is
// lenient: every line is cut at "=", and every piece that is a decimal
// integer is appended; other pieces are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "icons/icon_page.h"
#include "platform/platform.h"

namespace korva {

// The page cell of entry 0.
constexpr int kFirstModIconCell = 260;

struct IconMap {
  std::vector<int32_t> entries;
};

// Game folder + "/chars/iconmap".
std::string IconMapPath(const std::string& gameFolder);

// Places one icon of character `characterNumber` at `position` (its place's
// row for the main icon, later positions for extra icons) moved on by the
// extra icons of lower character numbers. A taken target cell is opened
// first (later entries and cells move up by one, the last one drops out).
// The icon is pasted, the entry set, the map written and read back.
// Failures: a target beyond the map places nothing, runs nothing and
// writes nothing. When the cells cannot be opened the map and page stay as
// they were. An icon that could not be pasted still gets its entry (its cell
// keeps the old picture); that failure is returned after the map is written.
// When the map file cannot be written the in-memory map keeps the change.
//
// With `planned`, the page is not touched: its edits are added to the list
// for one later EditIconCells, and the map changes as if they were made.
// Many placements and releases planned so and made in one cycle leave the
// page as the same calls without `planned` leave it, one cycle or two each.
Status PlaceIcon(Platform& platform, const std::string& gameFolder,
                 const std::string& programFolder, IconMap* map, const std::string& iconPath,
                 int position, int characterNumber, std::vector<CellEdit>* planned = nullptr);

// Frees character `characterNumber`'s entries in `*map` (they become 0; the
// first stays in place as its place's position) and, when it had extra
// icons, moves the later entries and page cells down over them. Does not
// write the map file. When the page cells cannot be moved the map is left
// as it was, so it still describes the page, and the failure is returned.
// With `planned`, the page's edit is added to it instead (see PlaceIcon).
Status ReleaseCharacterIcons(Platform& platform, const std::string& gameFolder,
                             const std::string& programFolder, IconMap* map,
                             int characterNumber, std::vector<CellEdit>* planned = nullptr);

// Writes `map` to the map file in one step; on failure the old file stays.
Status WriteIconMap(Platform& platform, const std::string& gameFolder, const IconMap& map);

// Loads the map file into `*map` without changing any file. A missing map
// file is an empty map and a failure.
Status LoadIconMap(Platform& platform, const std::string& gameFolder, IconMap* map);

// Loads the map file into `*map`, first copying program folder +
// "/data/iconmap" to it when it cannot be opened (never over an existing
// file). A map file that cannot be read leaves `*map` empty and is a
// failure.
Status ReadIconMap(Platform& platform, const std::string& gameFolder,
                   const std::string& programFolder, IconMap* map);

}  // namespace korva
