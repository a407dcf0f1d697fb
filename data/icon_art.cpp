#include "data/icon_art.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace korva {
namespace {

struct Colour {
  int r, g, b;
};

// Hue in degrees, saturation and value 0 to 1.
Colour FromHsv(double hue, double saturation, double value) {
  double c = value * saturation;
  double h = std::fmod(hue, 360.0) / 60.0;
  double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
  double r = 0, g = 0, b = 0;
  if (h < 1) r = c, g = x;
  else if (h < 2) r = x, g = c;
  else if (h < 3) g = c, b = x;
  else if (h < 4) g = x, b = c;
  else if (h < 5) r = x, b = c;
  else r = c, b = x;
  double m = value - c;
  auto byte = [m](double v) { return static_cast<int>(std::lround((v + m) * 255)); };
  return {byte(r), byte(g), byte(b)};
}

uint8_t Byte(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

void Put(RgbaImage* image, int x, int y, Colour colour, int alpha = 255) {
  if (x < 0 || y < 0 || x >= image->width || y >= image->height) return;
  uint8_t* p = image->At(x, y);
  p[0] = Byte(colour.r);
  p[1] = Byte(colour.g);
  p[2] = Byte(colour.b);
  p[3] = static_cast<uint8_t>(alpha);
}

// 5 x 7 glyphs: one bit mask a row, the top row first, bit 4 the left column.
const uint8_t* Glyph(char c) {
  static const struct {
    char c;
    uint8_t rows[7];
  } kGlyphs[] = {
      {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
      {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}}, {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
      {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}}, {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
      {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}}, {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
      {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
      {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}}, {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
      {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}}, {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
      {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}}, {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
      {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}}, {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
      {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}}, {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
      {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}}, {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
      {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}}, {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
  };
  for (const auto& glyph : kGlyphs) {
    if (glyph.c == c) return glyph.rows;
  }
  return nullptr;
}

// Draws `text` centred on (cx, cy), each glyph cell `scale` pixels wide,
// with a dark outline so it reads on any background.
void DrawText(RgbaImage* image, const std::string& text, int cx, int cy, int scale, Colour ink) {
  int width = static_cast<int>(text.size()) * 6 * scale - scale;
  int left = cx - width / 2;
  int top = cy - 7 * scale / 2;
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < text.size(); ++i) {
      const uint8_t* rows = Glyph(text[i]);
      if (rows == nullptr) continue;
      int gx = left + static_cast<int>(i) * 6 * scale;
      for (int row = 0; row < 7; ++row) {
        for (int col = 0; col < 5; ++col) {
          if (((rows[row] >> (4 - col)) & 1) == 0) continue;
          int grow = pass == 0 ? 2 : 0;  // the outline pass draws each cell larger
          for (int y = -grow; y < scale + grow; ++y) {
            for (int x = -grow; x < scale + grow; ++x) {
              Put(image, gx + col * scale + x, top + row * scale + y,
                  pass == 0 ? Colour{20, 16, 24} : ink);
            }
          }
        }
      }
    }
  }
}

// What each pixel of a cell icon is, the same for every cell: outside the
// badge, its rim, its face, or its face under the emblem of shape 0 to 3.
enum Region : uint8_t { kOutside, kRim, kFace, kEmblem0 };

const std::vector<uint8_t>& CellRegions() {
  static const std::vector<uint8_t> regions = [] {
    std::vector<uint8_t> map(kIconSize * kIconSize * 4);
    for (int shape = 0; shape < 4; ++shape) {
      for (int y = 0; y < kIconSize; ++y) {
        for (int x = 0; x < kIconSize; ++x) {
          double dx = x - 63.5, dy = y - 63.5;
          // A rounded badge: the distance beyond the straight part of the edges.
          double cx = std::max(std::fabs(dx) - 44, 0.0), cy = std::max(std::fabs(dy) - 44, 0.0);
          double corner = std::sqrt(cx * cx + cy * cy);
          bool emblem = (shape == 0 && dx * dx + dy * dy < 40 * 40) ||
                        (shape == 1 && std::fabs(dx) + std::fabs(dy) < 48) ||
                        (shape == 2 && std::fabs(dx) < 34 && std::fabs(dy) < 34) ||
                        (shape == 3 && dy > -40 && std::fabs(dx) < (dy + 40) * 0.6 && dy < 36);
          uint8_t region = corner > 16 ? kOutside : corner > 12 ? kRim : emblem ? kEmblem0 : kFace;
          map[(static_cast<size_t>(shape) * kIconSize + y) * kIconSize + x] = region;
        }
      }
    }
    return map;
  }();
  return regions;
}

}  // namespace

RgbaImage DrawCellIcon(int cell, int style) {
  RgbaImage icon(kIconSize, kIconSize);
  double hue = (cell * 47 + style * 150) % 360;
  Colour light = FromHsv(hue, style == 0 ? 0.55 : 0.35, 0.95);
  Colour dark = FromHsv(hue + 20, style == 0 ? 0.8 : 0.6, 0.45);
  Colour rim{dark.r / 2, dark.g / 2, dark.b / 2};
  int shape = (cell / 10 + cell) % 4;
  const uint8_t* regions = &CellRegions()[static_cast<size_t>(shape) * kIconSize * kIconSize];
  for (int y = 0; y < kIconSize; ++y) {
    // The face runs from the light colour at the top to the dark one at the bottom.
    int t = y * 256 / (kIconSize - 1);
    Colour face{(light.r * (256 - t) + dark.r * t) / 256, (light.g * (256 - t) + dark.g * t) / 256,
                (light.b * (256 - t) + dark.b * t) / 256};
    Colour emblem{face.r * 3 / 4 + 60, face.g * 3 / 4 + 60, face.b * 3 / 4 + 60};
    const uint8_t rgba[4][4] = {{0, 0, 0, 0},
                                {Byte(rim.r), Byte(rim.g), Byte(rim.b), 255},
                                {Byte(face.r), Byte(face.g), Byte(face.b), 255},
                                {Byte(emblem.r), Byte(emblem.g), Byte(emblem.b), 255}};
    uint8_t* out = icon.At(0, y);
    for (int x = 0; x < kIconSize; ++x) std::memcpy(out + 4 * x, rgba[regions[y * kIconSize + x]], 4);
  }
  DrawText(&icon, std::to_string(cell), 64, 66, cell >= 100 ? 5 : 6, {250, 248, 240});
  return icon;
}

RgbaImage DrawCharacterIcon(const std::string& letters, uint32_t seed) {
  RgbaImage icon(kIconSize, kIconSize);
  double hue = static_cast<double>(seed % 360);
  Colour sky = FromHsv(hue, 0.45, 0.9);
  Colour ground = FromHsv(hue + 30, 0.7, 0.35);
  Colour body = FromHsv(hue + 180, 0.5, 0.55);
  Colour skin = FromHsv(30 + seed % 20, 0.35, 0.85);
  for (int y = 0; y < kIconSize; ++y) {
    for (int x = 0; x < kIconSize; ++x) {
      double t = y / 127.0;
      Colour c{static_cast<int>(sky.r * (1 - t) + ground.r * t),
               static_cast<int>(sky.g * (1 - t) + ground.g * t),
               static_cast<int>(sky.b * (1 - t) + ground.b * t)};
      double hx = x - 64, hy = y - 42;
      double sx = (x - 64) / 50.0, sy = (y - 128) / 52.0;
      if (sx * sx + sy * sy < 1) c = body;      // shoulders
      if (hx * hx + hy * hy < 22 * 22) c = skin;  // head
      if (x < 3 || y < 3 || x > 124 || y > 124) c = {ground.r / 2, ground.g / 2, ground.b / 2};
      Put(&icon, x, y, c);
    }
  }
  DrawText(&icon, letters, 64, 102, letters.size() > 2 ? 2 : 3, {255, 240, 200});
  return icon;
}

void PasteImage(RgbaImage* page, const RgbaImage& icon, int x, int y) {
  int left = std::max(x, 0), right = std::min(x + icon.width, page->width);
  if (left >= right) return;
  for (int row = std::max(y, 0); row < std::min(y + icon.height, page->height); ++row) {
    std::memcpy(page->At(left, row), icon.At(left - x, row - y), static_cast<size_t>(right - left) * 4);
  }
}

}  // namespace korva
