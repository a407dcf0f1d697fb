// The colours and alpha values a DXT block can show, computed exactly as
// libsquish's decoder computes them: 5:6:5 endpoints widened by repeating
// their top bits, interpolants rounded down, DXT1's three-colour mode (with
// transparent black at slot 3) when the first endpoint is not greater than
// the second, and DXT5 alpha in seven or five steps by the order of its
// endpoints. The module's decoder and its exact block search both use these,
// so a block the search accepts decodes to what it was checked against.
#pragma once

#include <cstdint>

namespace korva {

// The four colours (red, green, blue, alpha) of the 8-byte colour block
// `colour`: of a DXT1 block when `dxt1`, else of a DXT3/DXT5 block's
// colour half, which is always in four-colour mode.
inline void ColourPalette(const uint8_t* colour, bool dxt1, uint8_t palette[4][4]) {
  const int c0 = colour[0] | colour[1] << 8, c1 = colour[2] | colour[3] << 8;
  int e[2][3];
  for (int k = 0; k < 2; ++k) {
    const int v = k == 0 ? c0 : c1;
    const int r = v >> 11 & 0x1f, g = v >> 5 & 0x3f, b = v & 0x1f;
    e[k][0] = r << 3 | r >> 2;
    e[k][1] = g << 2 | g >> 4;
    e[k][2] = b << 3 | b >> 2;
  }
  const bool threeColour = dxt1 && c0 <= c1;
  for (int ch = 0; ch < 3; ++ch) {
    const int a = e[0][ch], b = e[1][ch];
    palette[0][ch] = static_cast<uint8_t>(a);
    palette[1][ch] = static_cast<uint8_t>(b);
    palette[2][ch] = static_cast<uint8_t>(threeColour ? (a + b) / 2 : (2 * a + b) / 3);
    palette[3][ch] = static_cast<uint8_t>(threeColour ? 0 : (a + 2 * b) / 3);
  }
  palette[0][3] = palette[1][3] = palette[2][3] = 255;
  palette[3][3] = threeColour ? 0 : 255;
}

// The eight alpha codes of a DXT5 alpha half with endpoints a0 and a1.
inline void AlphaCodes(int a0, int a1, int codes[8]) {
  codes[0] = a0;
  codes[1] = a1;
  if (a0 <= a1) {
    for (int i = 1; i < 5; ++i) codes[1 + i] = ((5 - i) * a0 + i * a1) / 5;
    codes[6] = 0;
    codes[7] = 255;
  } else {
    for (int i = 1; i < 7; ++i) codes[1 + i] = ((7 - i) * a0 + i * a1) / 7;
  }
}

// The 2-bit colour index of pixel i (0 to 15) of a colour block.
inline int ColourIndex(const uint8_t* colour, int i) { return colour[4 + i / 4] >> (2 * (i % 4)) & 3; }

}  // namespace korva
