// Pictures of our own for the icon page and the character icons, drawn in
// code so that no image is kept in the repository. Images are RGBA, 8 bits a
// channel, rows from the top.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korva {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4 bytes, top row first

  Image() = default;
  Image(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 0) {}
  uint8_t* At(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
  const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

constexpr int kIconSize = 128;

// The game's icon of cell `cell`: a coloured badge with the cell's number, so
// that every cell looks different. `style` 0 is the program's page, 1 the
// sample game's own page (other colours).
Image DrawCellIcon(int cell, int style);

// A character portrait: a figure with `letters` (digits and A to Z) on its
// chest, in colours made from `seed`.
Image DrawCharacterIcon(const std::string& letters, uint32_t seed);

// Copies `icon` into `page` with its top-left corner at (x, y).
void PasteImage(Image* page, const Image& icon, int x, int y);

}  // namespace korva
