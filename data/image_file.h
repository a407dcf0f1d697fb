// Images as file bytes: 32-bit TGA for the character icons, DDS for the icon
// page, and reading any format FreeImage knows back into an Image.
#pragma once

#include <string>

#include "data/icon_art.h"

namespace korva {

// The image as an uncompressed 32-bit TGA file. Throws when FreeImage cannot
// write it.
std::string TgaBytes(const Image& image);

// The image as a DDS texture without mip maps: DXT5-compressed (the program's
// icon page), or uncompressed 32-bit BGRA (quick to make; the sample game's
// own page).
enum class DdsFormat { kDxt5, kUncompressed };
std::string DdsBytes(const Image& image, DdsFormat format);

// The image that `bytes` hold (any format FreeImage reads), as 32-bit RGBA.
// An empty Image (width 0) when the bytes are no image.
Image ImageFromBytes(const std::string& bytes);

}  // namespace korva
