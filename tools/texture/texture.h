// Texture images for the icon page: DDS files (DXT1, DXT3, DXT5 and
// uncompressed 32-bit) and every image FreeImage reads, decoded into plain
// pixels, and pixels written as DDS or TGA. The DDS writer keeps any 4x4
// block that is exactly the decoding of some DXT block as such a block, so a
// page that goes through DDS -> pixels -> DDS any number of times keeps every
// pixel it had; only blocks whose pixels really changed are fitted anew.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace korva {

// A picture in memory: width x height pixels, the top row first, four bytes
// per pixel in the order red, green, blue, alpha.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;

  RgbaImage() = default;
  // A picture of the given size, every pixel transparent black.
  RgbaImage(int w, int h);

  uint8_t* At(int x, int y) { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }
  const uint8_t* At(int x, int y) const {
    return &pixels[(static_cast<size_t>(y) * width + x) * 4];
  }
  bool operator==(const RgbaImage& other) const {
    return width == other.width && height == other.height && pixels == other.pixels;
  }
};

// The pixel formats of DDS files this module reads; EncodeDds writes kDxt1
// or kDxt5.
enum class DdsFormat { kDxt1, kDxt3, kDxt5, kRgba32 };

// How EncodeDds wrote the blocks.
struct DdsEncodeReport {
  DdsFormat format = DdsFormat::kDxt1;
  // Blocks written as exactly their own pixels' DXT block.
  long exact_blocks = 0;
  // Blocks that no DXT block reproduces, fitted by libsquish's cluster fit.
  long fitted_blocks = 0;
};

// Decodes the top level of a DDS file. On success fills `*image`; a
// truncated file, an unknown pixel format, a cube map or a volume texture
// is a failure that says what is wrong, and `*image` is left alone.
Status DecodeDds(std::string_view bytes, RgbaImage* image);

// The DDS file of `image` without mip maps: DXT5 when any pixel's alpha is
// below 255, DXT1 otherwise, with its 128-byte header. Fails only for an
// image without pixels or whose pixel buffer does not match its size.
Status EncodeDds(const RgbaImage& image, std::string* bytes, DdsEncodeReport* report = nullptr);

// Decodes any image FreeImage can read (TGA, PNG, BMP, ...) into 32-bit
// pixels; images without alpha come out opaque. Fails with a message when
// the bytes are no image FreeImage reads.
Status DecodeImage(std::string_view bytes, RgbaImage* image);

// The uncompressed 32-bit TGA file (with alpha) of `image`, written by
// FreeImage.
Status EncodeTga(const RgbaImage& image, std::string* bytes);

// Files by path. ReadImageFile decodes a DDS file (known by its first bytes)
// or any image FreeImage reads. The writers replace an existing file; on
// failure no partly written file is left. Messages read "path: reason".
Status ReadImageFile(const std::string& path, RgbaImage* image);
Status WriteDdsFile(const std::string& path, const RgbaImage& image,
                    DdsEncodeReport* report = nullptr);
Status WriteTgaFile(const std::string& path, const RgbaImage& image);

}  // namespace korva
