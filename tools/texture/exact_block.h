// Exact block recovery: given the 16 pixels of a 4x4 block, find a DXT block
// that decodes to exactly those pixels, if there is one. A decoded texture
// re-encoded this way is bit-for-bit stable, where a fresh fit would blur
// it a little more each time.
#pragma once

#include <cstdint>

namespace korva {

// `rgba` holds the 16 pixels of the block row by row, four bytes each (R, G,
// B, A); bit i of `mask` says whether pixel i counts (pixels outside the
// image do not). Each function writes a block that libsquish decodes to
// exactly the counted pixels and returns true; it returns false, writing
// nothing, when no such block exists.

// An 8-byte DXT1 block for opaque pixels (four- or three-colour mode).
bool FindExactDxt1Block(const uint8_t* rgba, int mask, uint8_t* block);

// The 8-byte colour half of a DXT3/DXT5 block (always four-colour mode);
// alpha is not looked at.
bool FindExactColourBlock(const uint8_t* rgba, int mask, uint8_t* block);

// The 8-byte alpha half of a DXT5 block; colour is not looked at.
bool FindExactDxt5AlphaBlock(const uint8_t* rgba, int mask, uint8_t* block);

}  // namespace korva
