// Pictures for the icon page tests and benchmarks: icons that differ from
// each other in colour, shape and soft transparent edges, and whole pages
// of them.
#pragma once

#include "tools/texture/texture.h"

namespace korva {

// A 128 x 128 icon of its own for every `seed`: a gradient, stripes and a
// ring, a row of marks that spells the seed, and corners that fade to
// transparent.
RgbaImage DrawIcon(int seed);

// A page `rows` cells high and 10 cells wide; cell n holds DrawIcon(n),
// cells from `firstEmpty` on are transparent black.
RgbaImage DrawIconPage(int rows = 28, int firstEmpty = 280);

// The 128 x 128 picture of cell `cell` of a page.
RgbaImage CellOf(const RgbaImage& page, int cell);

}  // namespace korva
