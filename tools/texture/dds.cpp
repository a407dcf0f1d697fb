// DDS files: the 128-byte header ("DDS " and a 124-byte DDS_HEADER), then
// the top level's pixels: 4x4 blocks row by row for DXT formats, plain rows
// for uncompressed ones. Mip maps after the top level are not read.
#include <squish.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "tools/texture/exact_block.h"
#include "tools/texture/texture.h"

namespace korva {
namespace {

// Header fields, as byte offsets from the start of the file.
constexpr size_t kHeaderSize = 128;
constexpr size_t kFlags = 8, kHeight = 12, kWidth = 16, kLinearSize = 20, kDepth = 24,
                 kMipMapCount = 28, kPixelFormat = 76, kPfFlags = 80, kFourCC = 84,
                 kRgbBitCount = 88, kRedMask = 92, kGreenMask = 96, kBlueMask = 100,
                 kAlphaMask = 104, kCaps = 108, kCaps2 = 112;

constexpr uint32_t kDdsdCaps = 0x1, kDdsdHeight = 0x2, kDdsdWidth = 0x4,
                   kDdsdPixelFormat = 0x1000, kDdsdMipMapCount = 0x20000,
                   kDdsdLinearSize = 0x80000, kDdsdDepth = 0x800000;
constexpr uint32_t kDdpfAlphaPixels = 0x1, kDdpfFourCC = 0x4, kDdpfRgb = 0x40;
constexpr uint32_t kDdsCapsTexture = 0x1000;
constexpr uint32_t kCubeMap = 0x200, kVolume = 0x200000;

// Larger pictures are refused rather than allocated.
constexpr int kMaxSide = 32768;

uint32_t Get32(std::string_view bytes, size_t at) {
  uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(k)]);
  return v;
}

void Put32(std::string* bytes, size_t at, uint32_t v) {
  for (size_t k = 0; k < 4; ++k) (*bytes)[at + k] = static_cast<char>(v >> (8 * k) & 0xff);
}

const char* FormatName(DdsFormat format) {
  switch (format) {
    case DdsFormat::kDxt1: return "DXT1";
    case DdsFormat::kDxt3: return "DXT3";
    case DdsFormat::kDxt5: return "DXT5";
    case DdsFormat::kRgba32: return "uncompressed 32-bit";
  }
  return "?";
}

// The byte shift of an 8-bit channel mask; -1 for a mask that is not one
// whole byte.
int MaskShift(uint32_t mask) {
  for (int shift = 0; shift < 32; shift += 8) {
    if (mask == 0xffu << shift) return shift;
  }
  return -1;
}

std::string FourCCText(uint32_t code) {
  std::string text;
  for (int k = 0; k < 4; ++k) {
    char ch = static_cast<char>(code >> (8 * k) & 0xff);
    text += (ch >= 32 && ch < 127) ? ch : '?';
  }
  return text;
}

// Writes block (bx, by) of `image`: the exact block when there is one, else
// libsquish's fit (keeping a DXT5 block's half that was found exactly).
// True for an exact block.
bool EncodeBlock(const RgbaImage& image, int bx, int by, bool alpha, int fitFlags, uint8_t* block) {
  uint8_t rgba[64] = {};
  int mask = 0;
  for (int py = 0; py < 4; ++py) {
    for (int px = 0; px < 4; ++px) {
      int x = bx * 4 + px, y = by * 4 + py;
      if (x >= image.width || y >= image.height) continue;
      std::memcpy(rgba + 4 * (4 * py + px), image.At(x, y), 4);
      mask |= 1 << (4 * py + px);
    }
  }
  if (!alpha) {
    if (FindExactDxt1Block(rgba, mask, block)) return true;
    squish::CompressMasked(rgba, mask, block, fitFlags);
    return false;
  }
  bool exactAlpha = FindExactDxt5AlphaBlock(rgba, mask, block);
  bool exactColour = FindExactColourBlock(rgba, mask, block + 8);
  if (exactAlpha && exactColour) return true;
  uint8_t fitted[16];
  squish::CompressMasked(rgba, mask, fitted, fitFlags);
  if (!exactAlpha) std::memcpy(block, fitted, 8);
  if (!exactColour) std::memcpy(block + 8, fitted + 8, 8);
  return false;
}

}  // namespace

RgbaImage::RgbaImage(int w, int h)
    : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 0) {}

Status DecodeDds(std::string_view bytes, RgbaImage* image) {
  if (bytes.size() < 4 || bytes.substr(0, 4) != "DDS ") {
    return Status::Error("not a DDS file (it does not begin with \"DDS \")");
  }
  if (bytes.size() < kHeaderSize) {
    return Status::Error("truncated DDS file: " + std::to_string(bytes.size()) +
                         " bytes, shorter than the 128-byte header");
  }
  uint32_t width = Get32(bytes, kWidth), height = Get32(bytes, kHeight);
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    return Status::Error("DDS file of unusable size " + std::to_string(width) + " x " +
                         std::to_string(height));
  }
  if ((Get32(bytes, kCaps2) & kCubeMap) != 0) {
    return Status::Error("the DDS file holds a cube map, not a flat picture");
  }
  if ((Get32(bytes, kCaps2) & kVolume) != 0 ||
      ((Get32(bytes, kFlags) & kDdsdDepth) != 0 && Get32(bytes, kDepth) > 1)) {
    return Status::Error("the DDS file holds a volume texture, not a flat picture");
  }

  uint32_t pfFlags = Get32(bytes, kPfFlags);
  DdsFormat format;
  int shift[4] = {-1, -1, -1, -1};  // uncompressed: red, green, blue, alpha
  if (pfFlags & kDdpfFourCC) {
    uint32_t code = Get32(bytes, kFourCC);
    std::string name = FourCCText(code);
    if (name == "DXT1") {
      format = DdsFormat::kDxt1;
    } else if (name == "DXT3") {
      format = DdsFormat::kDxt3;
    } else if (name == "DXT5") {
      format = DdsFormat::kDxt5;
    } else {
      return Status::Error("the DDS pixel format \"" + name +
                           "\" is not one this converter reads (DXT1, DXT3, DXT5 or "
                           "uncompressed 32-bit)");
    }
  } else if ((pfFlags & kDdpfRgb) && Get32(bytes, kRgbBitCount) == 32) {
    format = DdsFormat::kRgba32;
    for (int ch = 0; ch < 3; ++ch) shift[ch] = MaskShift(Get32(bytes, kRedMask + 4 * static_cast<size_t>(ch)));
    uint32_t alphaMask = Get32(bytes, kAlphaMask);
    if ((pfFlags & kDdpfAlphaPixels) && alphaMask != 0) shift[3] = MaskShift(alphaMask);
    bool usable = shift[0] >= 0 && shift[1] >= 0 && shift[2] >= 0 &&
                  ((pfFlags & kDdpfAlphaPixels) == 0 || alphaMask == 0 || shift[3] >= 0);
    if (!usable) {
      return Status::Error("the DDS file's 32-bit pixel layout is not one this converter reads "
                           "(each channel must be one whole byte)");
    }
  } else {
    return Status::Error("the DDS pixel format is not one this converter reads (DXT1, DXT3, "
                         "DXT5 or uncompressed 32-bit)");
  }

  size_t w = width, h = height;
  size_t needed = format == DdsFormat::kRgba32
                      ? w * h * 4
                      : ((w + 3) / 4) * ((h + 3) / 4) * (format == DdsFormat::kDxt1 ? 8 : 16);
  if (bytes.size() - kHeaderSize < needed) {
    return Status::Error("truncated DDS file: a " + std::to_string(w) + " x " + std::to_string(h) +
                         " " + FormatName(format) + " picture needs " + std::to_string(needed) +
                         " bytes of pixels, the file holds " +
                         std::to_string(bytes.size() - kHeaderSize));
  }

  RgbaImage decoded(static_cast<int>(w), static_cast<int>(h));
  const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data()) + kHeaderSize;
  if (format == DdsFormat::kRgba32) {
    for (size_t i = 0; i < w * h; ++i) {
      uint32_t v = static_cast<uint32_t>(data[4 * i]) | static_cast<uint32_t>(data[4 * i + 1]) << 8 |
                   static_cast<uint32_t>(data[4 * i + 2]) << 16 |
                   static_cast<uint32_t>(data[4 * i + 3]) << 24;
      for (int ch = 0; ch < 4; ++ch) {
        decoded.pixels[4 * i + static_cast<size_t>(ch)] =
            shift[ch] >= 0 ? static_cast<uint8_t>(v >> shift[ch] & 0xff) : 255;
      }
    }
  } else {
    int flags = format == DdsFormat::kDxt1   ? squish::kDxt1
                : format == DdsFormat::kDxt3 ? squish::kDxt3
                                             : squish::kDxt5;
    squish::DecompressImage(decoded.pixels.data(), decoded.width, decoded.height, data, flags);
  }
  *image = std::move(decoded);
  return Status::Ok();
}

Status EncodeDds(const RgbaImage& image, std::string* bytes, DdsEncodeReport* report) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4) {
    return Status::Error("the picture has no pixels to write");
  }
  bool alpha = false;
  for (size_t i = 3; i < image.pixels.size() && !alpha; i += 4) alpha = image.pixels[i] != 255;
  DdsEncodeReport counts;
  counts.format = alpha ? DdsFormat::kDxt5 : DdsFormat::kDxt1;
  size_t blockBytes = alpha ? 16 : 8;
  int blocksWide = (image.width + 3) / 4, blocksHigh = (image.height + 3) / 4;
  size_t linearSize = static_cast<size_t>(blocksWide) * static_cast<size_t>(blocksHigh) * blockBytes;

  std::string out(kHeaderSize + linearSize, '\0');
  out.replace(0, 4, "DDS ");
  Put32(&out, 4, 124);
  Put32(&out, kFlags, kDdsdCaps | kDdsdHeight | kDdsdWidth | kDdsdPixelFormat |
                          kDdsdMipMapCount | kDdsdLinearSize);
  Put32(&out, kHeight, static_cast<uint32_t>(image.height));
  Put32(&out, kWidth, static_cast<uint32_t>(image.width));
  Put32(&out, kLinearSize, static_cast<uint32_t>(linearSize));
  Put32(&out, kMipMapCount, 1);
  Put32(&out, kPixelFormat, 32);
  Put32(&out, kPfFlags, kDdpfFourCC);
  out.replace(kFourCC, 4, alpha ? "DXT5" : "DXT1");
  Put32(&out, kCaps, kDdsCapsTexture);

  uint8_t* blocks = reinterpret_cast<uint8_t*>(&out[kHeaderSize]);
  int fitFlags = (alpha ? squish::kDxt5 : squish::kDxt1) | squish::kColourClusterFit;
  // Block rows are independent: share them out among the processor's cores.
  auto encodeRows = [&](int firstRow, int endRow, DdsEncodeReport* rowCounts) {
    for (int by = firstRow; by < endRow; ++by) {
      for (int bx = 0; bx < blocksWide; ++bx) {
        uint8_t* block = blocks + (static_cast<size_t>(by) * static_cast<size_t>(blocksWide) +
                                   static_cast<size_t>(bx)) * blockBytes;
        bool exact = EncodeBlock(image, bx, by, alpha, fitFlags, block);
        ++(exact ? rowCounts->exact_blocks : rowCounts->fitted_blocks);
      }
    }
  };
  int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
  threads = std::min(threads, std::max(1, blocksHigh / 16));
  std::vector<DdsEncodeReport> parts(static_cast<size_t>(threads));
  std::vector<std::thread> workers;
  for (int t = 1; t < threads; ++t) {
    workers.emplace_back(encodeRows, blocksHigh * t / threads, blocksHigh * (t + 1) / threads,
                         &parts[static_cast<size_t>(t)]);
  }
  encodeRows(0, blocksHigh / threads, &parts[0]);
  for (std::thread& worker : workers) worker.join();
  for (const DdsEncodeReport& part : parts) {
    counts.exact_blocks += part.exact_blocks;
    counts.fitted_blocks += part.fitted_blocks;
  }
  *bytes = std::move(out);
  if (report != nullptr) *report = counts;
  return Status::Ok();
}

}  // namespace korva
