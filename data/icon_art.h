// Pictures of our own for the icon page and the character icons, drawn in
// code so that no image is kept in the repository.
#pragma once

#include <cstdint>
#include <string>

#include "tools/texture/texture.h"

namespace korva {

constexpr int kIconSize = 128;

// The game's icon of cell `cell`: a coloured badge with the cell's number, so
// that every cell looks different. `style` 0 is the program's page, 1 the
// sample game's own page (other colours).
RgbaImage DrawCellIcon(int cell, int style);

// A character portrait: a figure with `letters` (digits and A to Z) on its
// chest, in colours made from `seed`.
RgbaImage DrawCharacterIcon(const std::string& letters, uint32_t seed);

// Copies `icon` into `page` with its top-left corner at (x, y).
void PasteImage(RgbaImage* page, const RgbaImage& icon, int x, int y);

}  // namespace korva
