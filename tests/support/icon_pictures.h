// Pictures for the icon page tests and benchmarks: icons that differ from
// each other in colour, shape and soft transparent edges, whole pages of
// them, and DDS files laid out by hand.
#pragma once

#include <string>

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

// Stores v little-endian at byte `at` of `bytes`.
void Put32(std::string* bytes, size_t at, uint32_t v);

// A DDS file laid out by hand: the 128-byte header with the 4-character
// FourCC code, then `data` as the pixels.
std::string FourCCFile(int width, int height, const char* fourcc, const std::string& data);

// An uncompressed 32-bit DDS file with the given pixel format flags and
// red, green, blue and alpha masks.
std::string MaskFile(int width, int height, uint32_t pfFlags, const uint32_t masks[4],
                     const std::string& data);

}  // namespace korva
