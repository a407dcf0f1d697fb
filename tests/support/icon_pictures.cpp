#include "tests/support/icon_pictures.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace korva {
namespace {

uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

uint8_t Byte(uint32_t h, int k) { return static_cast<uint8_t>(h >> (8 * k)); }

}  // namespace

RgbaImage DrawIcon(int seed) {
  RgbaImage icon(128, 128);
  uint32_t h1 = Hash(static_cast<uint32_t>(seed) * 2 + 1), h2 = Hash(h1), h3 = Hash(h2);
  int period = 6 + static_cast<int>(h3 % 17);
  double cx = 40 + h3 % 48, cy = 40 + (h3 >> 8) % 48, radius = 18 + (h3 >> 16) % 20;
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      uint8_t* p = icon.At(x, y);
      for (int ch = 0; ch < 3; ++ch) {
        p[ch] = static_cast<uint8_t>((Byte(h1, ch) * (127 - y) + Byte(h2, ch) * y) / 127);
      }
      if (((x + y) / period) % 2 == 0) {
        for (int ch = 0; ch < 3; ++ch) p[ch] = static_cast<uint8_t>(p[ch] / 2 + 40);
      }
      double d = std::hypot(x - cx, y - cy);
      if (std::fabs(d - radius) < 5) {
        p[0] = Byte(h3, 3);
        p[1] = static_cast<uint8_t>(255 - Byte(h1, 3));
        p[2] = Byte(h2, 3);
      }
      // Marks along the bottom: bit k of the seed is a filled square.
      if (y >= 104 && y < 116 && x >= 8 && x < 120) {
        int k = (x - 8) / 14;
        bool inMark = (x - 8) % 14 < 10;
        if (inMark) {
          uint8_t v = (seed >> k & 1) ? 255 : 0;
          p[0] = p[1] = p[2] = v;
        }
      }
      // Corners fade out over a soft edge of a rounded square.
      double ex = std::max(0.0, std::fabs(x - 63.5) - 40), ey = std::max(0.0, std::fabs(y - 63.5) - 40);
      double outside = std::hypot(ex, ey) - 20;
      double alpha = std::clamp(0.5 - outside / 3, 0.0, 1.0);
      p[3] = static_cast<uint8_t>(std::lround(alpha * 255));
      if (p[3] == 0) p[0] = p[1] = p[2] = 0;
    }
  }
  return icon;
}

RgbaImage DrawIconPage(int rows, int firstEmpty) {
  RgbaImage page(1280, rows * 128);
  for (int cell = 0; cell < rows * 10 && cell < firstEmpty; ++cell) {
    RgbaImage icon = DrawIcon(cell);
    for (int y = 0; y < 128; ++y) {
      std::memcpy(page.At(cell % 10 * 128, cell / 10 * 128 + y), icon.At(0, y), 128 * 4);
    }
  }
  return page;
}

RgbaImage CellOf(const RgbaImage& page, int cell) {
  RgbaImage picture(128, 128);
  for (int y = 0; y < 128; ++y) {
    std::memcpy(picture.At(0, y), page.At(cell % 10 * 128, cell / 10 * 128 + y), 128 * 4);
  }
  return picture;
}

void Put32(std::string* bytes, size_t at, uint32_t v) {
  for (size_t k = 0; k < 4; ++k) (*bytes)[at + k] = static_cast<char>(v >> (8 * k));
}

std::string FourCCFile(int width, int height, const char* fourcc, const std::string& data) {
  std::string file(128, '\0');
  file.replace(0, 4, "DDS ");
  Put32(&file, 4, 124);
  Put32(&file, 8, 0x1 | 0x2 | 0x4 | 0x1000);  // caps, height, width, pixel format
  Put32(&file, 12, static_cast<uint32_t>(height));
  Put32(&file, 16, static_cast<uint32_t>(width));
  Put32(&file, 76, 32);
  Put32(&file, 80, 0x4);  // FourCC
  file.replace(84, 4, std::string(fourcc, 4));
  Put32(&file, 108, 0x1000);  // a texture
  return file + data;
}

std::string MaskFile(int width, int height, uint32_t pfFlags, const uint32_t masks[4],
                     const std::string& data) {
  std::string file = FourCCFile(width, height, "\0\0\0\0", data);
  Put32(&file, 80, pfFlags);
  Put32(&file, 88, 32);
  for (size_t k = 0; k < 4; ++k) Put32(&file, 92 + 4 * k, masks[k]);
  return file;
}

}  // namespace korva
