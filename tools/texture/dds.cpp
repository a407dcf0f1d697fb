// DDS files: the 128-byte header ("DDS " and a 124-byte DDS_HEADER), then
// the top level's pixels: 4x4 blocks row by row for DXT formats, plain rows
// for uncompressed ones. Mip maps after the top level are not read.
//
// The block decoder here gives exactly what libsquish's Decompress gives
// (dxt_palette.h), written straight into the destination's rows in its
// channel order.
#include <squish.h>

#include <algorithm>
#include <cstring>

#include "tools/texture/bands.h"
#include "tools/texture/dxt_palette.h"
#include "tools/texture/exact_block.h"
#include "tools/texture/texture.h"

namespace korva {
namespace {

// Header fields, as byte offsets from the start of the file.
constexpr size_t kFlags = 8, kHeight = 12, kWidth = 16, kLinearSize = 20, kDepth = 24,
                 kMipMapCount = 28, kPixelFormat = 76, kPfFlags = 80, kFourCC = 84,
                 kRgbBitCount = 88, kRedMask = 92, kAlphaMask = 104, kCaps = 108, kCaps2 = 112;

constexpr uint32_t kDdsdCaps = 0x1, kDdsdHeight = 0x2, kDdsdWidth = 0x4,
                   kDdsdPixelFormat = 0x1000, kDdsdMipMapCount = 0x20000,
                   kDdsdLinearSize = 0x80000, kDdsdDepth = 0x800000;
constexpr uint32_t kDdpfAlphaPixels = 0x1, kDdpfFourCC = 0x4, kDdpfRgb = 0x40;
constexpr uint32_t kDdsCapsTexture = 0x1000;
constexpr uint32_t kCubeMap = 0x200, kVolume = 0x200000;

// Larger pictures are refused rather than allocated.
constexpr int kMaxSide = 32768;

// Block rows worth one thread's start: decoding a block row takes a few
// microseconds, encoding one far longer.
constexpr int kDecodeRowsPerThread = 8;
constexpr int kEncodeRowsPerThread = 2;

uint32_t Get32(std::string_view bytes, size_t at) {
  uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(k)]);
  return v;
}

void Put32(uint8_t* bytes, size_t at, uint32_t v) {
  for (size_t k = 0; k < 4; ++k) bytes[at + k] = static_cast<uint8_t>(v >> (8 * k) & 0xff);
}

const char* FormatName(DdsFormat format) {
  switch (format) {
    case DdsFormat::kDxt1: return "DXT1";
    case DdsFormat::kDxt3: return "DXT3";
    case DdsFormat::kDxt5: return "DXT5";
    case DdsFormat::kRgba32: return "uncompressed 32-bit";
    case DdsFormat::kRgb24: return "uncompressed 24-bit";
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

size_t BlockBytes(DdsFormat format) { return format == DdsFormat::kDxt1 ? 8 : 16; }

// Bytes per pixel of an uncompressed format; 0 for a block format.
size_t PixelBytes(DdsFormat format) {
  return format == DdsFormat::kRgba32 ? 4 : format == DdsFormat::kRgb24 ? 3 : 0;
}

// Where red goes in a pixel of `order` (blue goes to 2 - that; green and
// alpha never move).
int RedAt(ChannelOrder order) { return order == ChannelOrder::kRgba ? 0 : 2; }

// Decodes one DXT block into `out`: 16 pixels row by row, four bytes each,
// in `order`.
void DecodeBlock(const uint8_t* block, DdsFormat format, ChannelOrder order, uint8_t out[64]) {
  const uint8_t* colour = format == DdsFormat::kDxt1 ? block : block + 8;
  uint8_t palette[4][4];
  ColourPalette(colour, format == DdsFormat::kDxt1, palette);
  if (order == ChannelOrder::kBgra) {
    for (auto& entry : palette) std::swap(entry[0], entry[2]);
  }
  uint32_t indices = static_cast<uint32_t>(colour[4] | colour[5] << 8 | colour[6] << 16) |
                     static_cast<uint32_t>(colour[7]) << 24;
  for (int i = 0; i < 16; ++i, indices >>= 2) std::memcpy(out + 4 * i, palette[indices & 3], 4);
  if (format == DdsFormat::kDxt3) {
    for (int i = 0; i < 16; ++i) {
      int nibble = block[i / 2] >> (4 * (i % 2)) & 0xf;
      out[4 * i + 3] = static_cast<uint8_t>(nibble | nibble << 4);
    }
  } else if (format == DdsFormat::kDxt5) {
    int codes[8];
    AlphaCodes(block[0], block[1], codes);
    uint64_t alpha = 0;
    for (int k = 0; k < 6; ++k) alpha |= static_cast<uint64_t>(block[2 + k]) << (8 * k);
    for (int i = 0; i < 16; ++i, alpha >>= 3) out[4 * i + 3] = static_cast<uint8_t>(codes[alpha & 7]);
  }
}

// Gathers block (bx, by) of `rows` as libsquish wants it: 16 pixels, four
// bytes each in the order red, green, blue, alpha; bit i of the returned
// mask says whether pixel i lies inside the picture.
int GatherBlock(const ConstPixelRows& rows, int bx, int by, uint8_t rgba[64]) {
  int mask = 0;
  int across = std::min(4, rows.width - bx * 4);
  for (int py = 0; py < 4; ++py) {
    if (by * 4 + py >= rows.height) {
      std::memset(rgba + 16 * py, 0, 16);
      continue;
    }
    const uint8_t* src = rows.Row(by * 4 + py) + static_cast<size_t>(bx) * 16;
    if (across == 4) {
      std::memcpy(rgba + 16 * py, src, 16);
    } else {
      std::memset(rgba + 16 * py, 0, 16);
      std::memcpy(rgba + 16 * py, src, static_cast<size_t>(across) * 4);
    }
    mask |= ((1 << across) - 1) << (4 * py);
  }
  if (rows.order == ChannelOrder::kBgra) {
    for (int i = 0; i < 16; ++i) std::swap(rgba[4 * i], rgba[4 * i + 2]);
  }
  return mask;
}

// Writes a four-colour half (DXT3, DXT5) as libsquish writes one: the
// first colour above the second (indices 0 and 1, 2 and 3 swapped with
// them), all indices 0 when the two are equal. It decodes the same, also by
// readers that take a half whose first colour is not above the second as a
// three-colour DXT1 block.
void OrderFourColourHalf(uint8_t* half) {
  const int first = half[0] | half[1] << 8, second = half[2] | half[3] << 8;
  if (first > second) return;
  if (first == second) {
    std::memset(half + 4, 0, 4);
    return;
  }
  std::swap(half[0], half[2]);
  std::swap(half[1], half[3]);
  for (int k = 4; k < 8; ++k) half[k] ^= 0x55;  // each 2-bit index: 0 <-> 1, 2 <-> 3
}

// Writes the block of the 16 pixels `rgba` (`mask` as GatherBlock gives
// it): the exact block when there is one, else libsquish's fit (keeping a
// DXT5 block's half that was found exactly). True for an exact block.
//
// A fitted half is then written as the exact block of what it decodes to,
// which decodes the same: so the bytes of every block depend on its decoded
// pixels alone, and a picture fitted once and then decoded and encoded
// again, moved or not, keeps its bytes. (Many blocks decode alike; the fit
// and the exact search need not pick the same one.)
bool EncodeBlock(const uint8_t rgba[64], int mask, bool alpha, int fitFlags, uint8_t* block) {
  uint8_t decoded[64];
  if (!alpha) {
    if (FindExactDxt1Block(rgba, mask, block)) return true;
    squish::CompressMasked(rgba, mask, block, fitFlags);
    DecodeBlock(block, DdsFormat::kDxt1, ChannelOrder::kRgba, decoded);
    uint8_t exact[8];
    if (FindExactDxt1Block(decoded, mask, exact)) std::memcpy(block, exact, 8);
    return false;
  }
  bool exactAlpha = FindExactDxt5AlphaBlock(rgba, mask, block);
  bool exactColour = FindExactColourBlock(rgba, mask, block + 8);
  if (!exactAlpha || !exactColour) {
    uint8_t fitted[16];
    squish::CompressMasked(rgba, mask, fitted, fitFlags);
    DecodeBlock(fitted, DdsFormat::kDxt5, ChannelOrder::kRgba, decoded);
    if (!exactAlpha && !FindExactDxt5AlphaBlock(decoded, mask, block)) std::memcpy(block, fitted, 8);
    if (!exactColour && !FindExactColourBlock(decoded, mask, block + 8)) {
      std::memcpy(block + 8, fitted + 8, 8);
    }
  }
  OrderFourColourHalf(block + 8);
  return exactAlpha && exactColour;
}

}  // namespace

RgbaImage::RgbaImage(int w, int h)
    : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 0) {}

PixelRows RowsOf(RgbaImage& image) {
  return {image.width, image.height, image.pixels.data(),
          static_cast<std::ptrdiff_t>(image.width) * 4, ChannelOrder::kRgba};
}

ConstPixelRows RowsOf(const RgbaImage& image) {
  return {image.width, image.height, image.pixels.data(),
          static_cast<std::ptrdiff_t>(image.width) * 4, ChannelOrder::kRgba};
}

Status ReadDdsHeader(std::string_view head, uint64_t fileSize, DdsInfo* info) {
  if (head.size() < 4 || head.substr(0, 4) != "DDS ") {
    return Status::Error("not a DDS file (it does not begin with \"DDS \")");
  }
  if (fileSize < kDdsHeaderSize || head.size() < kDdsHeaderSize) {
    return Status::Error("truncated DDS file: " + std::to_string(fileSize) +
                         " bytes, shorter than the 128-byte header");
  }
  uint32_t width = Get32(head, kWidth), height = Get32(head, kHeight);
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    return Status::Error("DDS file of unusable size " + std::to_string(width) + " x " +
                         std::to_string(height));
  }
  if ((Get32(head, kCaps2) & kCubeMap) != 0) {
    return Status::Error("the DDS file holds a cube map, not a flat picture");
  }
  if ((Get32(head, kCaps2) & kVolume) != 0 ||
      ((Get32(head, kFlags) & kDdsdDepth) != 0 && Get32(head, kDepth) > 1)) {
    return Status::Error("the DDS file holds a volume texture, not a flat picture");
  }

  DdsInfo found;
  found.width = static_cast<int>(width);
  found.height = static_cast<int>(height);
  uint32_t pfFlags = Get32(head, kPfFlags);
  if (pfFlags & kDdpfFourCC) {
    std::string name = FourCCText(Get32(head, kFourCC));
    if (name == "DXT1") {
      found.format = DdsFormat::kDxt1;
    } else if (name == "DXT3") {
      found.format = DdsFormat::kDxt3;
    } else if (name == "DXT5") {
      found.format = DdsFormat::kDxt5;
    } else {
      return Status::Error("the DDS pixel format \"" + name +
                           "\" is not one this converter reads (DXT1, DXT3, DXT5 or "
                           "uncompressed 24-bit or 32-bit)");
    }
  } else if ((pfFlags & kDdpfRgb) &&
             (Get32(head, kRgbBitCount) == 32 || Get32(head, kRgbBitCount) == 24)) {
    const uint32_t bits = Get32(head, kRgbBitCount);
    found.format = bits == 32 ? DdsFormat::kRgba32 : DdsFormat::kRgb24;
    for (size_t ch = 0; ch < 3; ++ch) found.shift[ch] = MaskShift(Get32(head, kRedMask + 4 * ch));
    uint32_t alphaMask = Get32(head, kAlphaMask);
    if ((pfFlags & kDdpfAlphaPixels) && alphaMask != 0) found.shift[3] = MaskShift(alphaMask);
    bool usable = found.shift[0] >= 0 && found.shift[1] >= 0 && found.shift[2] >= 0 &&
                  ((pfFlags & kDdpfAlphaPixels) == 0 || alphaMask == 0 || found.shift[3] >= 0);
    // The channels must be three (or four) different bytes of the pixel.
    for (int a = 0; usable && a < 4; ++a) {
      for (int b = a + 1; b < 4; ++b) {
        if (found.shift[a] >= 0 && found.shift[a] == found.shift[b]) usable = false;
      }
      if (found.shift[a] >= static_cast<int>(bits)) usable = false;
    }
    if (!usable) {
      return Status::Error("the DDS file's " + std::to_string(bits) +
                           "-bit pixel layout is not one this converter reads (each channel "
                           "must be one whole byte of its own)");
    }
  } else {
    return Status::Error("the DDS pixel format is not one this converter reads (DXT1, DXT3, "
                         "DXT5 or uncompressed 24-bit or 32-bit)");
  }

  size_t needed = DdsStripBytes(found.width, found.height, found.format);
  if (fileSize - kDdsHeaderSize < needed) {
    return Status::Error("truncated DDS file: a " + std::to_string(width) + " x " +
                         std::to_string(height) + " " + FormatName(found.format) +
                         " picture needs " + std::to_string(needed) +
                         " bytes of pixels, the file holds " +
                         std::to_string(fileSize - kDdsHeaderSize));
  }
  *info = found;
  return Status::Ok();
}

Status ReadDdsHeader(std::string_view bytes, DdsInfo* info) {
  return ReadDdsHeader(bytes.substr(0, kDdsHeaderSize), bytes.size(), info);
}

size_t DdsStripBytes(int width, int rows, DdsFormat format) {
  size_t w = static_cast<size_t>(width), h = static_cast<size_t>(rows);
  if (PixelBytes(format) != 0) return w * h * PixelBytes(format);
  return ((w + 3) / 4) * ((h + 3) / 4) * BlockBytes(format);
}

void DecodeDdsStrip(const uint8_t* data, const DdsInfo& info, const PixelRows& rows,
                    const CodecOptions& options) {
  const int width = rows.width, height = rows.height;
  if (const size_t bytes = PixelBytes(info.format); bytes != 0) {
    const int red = RedAt(rows.order), at[4] = {red, 1, 2 - red, 3};
    for (int y = 0; y < height; ++y) {
      const uint8_t* src = data + static_cast<size_t>(y) * static_cast<size_t>(width) * bytes;
      uint8_t* dst = rows.Row(y);
      for (int x = 0; x < width; ++x, src += bytes, dst += 4) {
        uint32_t v = static_cast<uint32_t>(src[0]) | static_cast<uint32_t>(src[1]) << 8 |
                     static_cast<uint32_t>(src[2]) << 16 |
                     (bytes == 4 ? static_cast<uint32_t>(src[3]) << 24 : 0u);
        for (int ch = 0; ch < 4; ++ch) {
          dst[at[ch]] = static_cast<uint8_t>(info.shift[ch] >= 0 ? v >> info.shift[ch] & 0xffu : 0xffu);
        }
      }
    }
    return;
  }
  const int blocksWide = (width + 3) / 4, blocksHigh = (height + 3) / 4;
  const size_t blockBytes = BlockBytes(info.format);
  ForEachItem(blocksHigh, ThreadCount(options), kDecodeRowsPerThread, [&](int by, int) {
    uint8_t pixels[64];
    const uint8_t* block = data + static_cast<size_t>(by) * static_cast<size_t>(blocksWide) * blockBytes;
    const int down = std::min(4, height - by * 4);
    for (int bx = 0; bx < blocksWide; ++bx, block += blockBytes) {
      // A block like its left neighbour (runs of them are common) shows the
      // pixels just decoded.
      if (bx == 0 || std::memcmp(block, block - blockBytes, blockBytes) != 0) {
        DecodeBlock(block, info.format, rows.order, pixels);
      }
      const size_t across = static_cast<size_t>(std::min(4, width - bx * 4)) * 4;
      for (int py = 0; py < down; ++py) {
        uint8_t* to = rows.Row(by * 4 + py) + static_cast<size_t>(bx) * 16;
        if (across == 16) {
          std::memcpy(to, pixels + 16 * py, 16);
        } else {
          std::memcpy(to, pixels + 16 * py, across);
        }
      }
    }
  });
}

Status DecodeDds(std::string_view bytes, RgbaImage* image) {
  DdsInfo info;
  Status status = ReadDdsHeader(bytes, &info);
  if (!status.ok()) return status;
  RgbaImage decoded(info.width, info.height);
  DecodeDdsStrip(reinterpret_cast<const uint8_t*>(bytes.data()) + kDdsHeaderSize, info,
                 RowsOf(decoded));
  *image = std::move(decoded);
  return Status::Ok();
}

size_t DdsFileSize(int width, int height, bool alpha) {
  return kDdsHeaderSize + DdsStripBytes(width, height, alpha ? DdsFormat::kDxt5 : DdsFormat::kDxt1);
}

bool HasAlpha(const ConstPixelRows& rows) {
  for (int y = 0; y < rows.height; ++y) {
    const uint8_t* row = rows.Row(y);
    // All alpha bytes of a row together, which the compiler can vectorise.
    uint8_t all = 255;
    for (int x = 0; x < rows.width; ++x) all &= row[4 * x + 3];
    if (all != 255) return true;
  }
  return false;
}

void WriteDdsHeader(int width, int height, bool alpha, uint8_t* out) {
  std::memset(out, 0, kDdsHeaderSize);
  std::memcpy(out, "DDS ", 4);
  Put32(out, 4, 124);
  Put32(out, kFlags, kDdsdCaps | kDdsdHeight | kDdsdWidth | kDdsdPixelFormat |
                         kDdsdMipMapCount | kDdsdLinearSize);
  Put32(out, kHeight, static_cast<uint32_t>(height));
  Put32(out, kWidth, static_cast<uint32_t>(width));
  Put32(out, kLinearSize, static_cast<uint32_t>(DdsFileSize(width, height, alpha) - kDdsHeaderSize));
  Put32(out, kMipMapCount, 1);
  Put32(out, kPixelFormat, 32);
  Put32(out, kPfFlags, kDdpfFourCC);
  std::memcpy(out + kFourCC, alpha ? "DXT5" : "DXT1", 4);
  Put32(out, kCaps, kDdsCapsTexture);
}

void EncodeDdsStrip(const ConstPixelRows& rows, bool alpha, uint8_t* out, DdsEncodeReport* report,
                    const CodecOptions& options) {
  const size_t blockBytes = alpha ? 16 : 8;
  const int blocksWide = (rows.width + 3) / 4, blocksHigh = (rows.height + 3) / 4;
  const int fitFlags = (alpha ? squish::kDxt5 : squish::kDxt1) | squish::kColourClusterFit;
  const int threads = ThreadCount(options);
  std::vector<DdsEncodeReport> parts(static_cast<size_t>(threads));
  ForEachItem(blocksHigh, threads, kEncodeRowsPerThread, [&](int by, int thread) {
    uint8_t* block = out + static_cast<size_t>(by) * static_cast<size_t>(blocksWide) * blockBytes;
    // A block whose pixels equal its left neighbour's gets the same bytes:
    // flat areas and the empty cells of a page are runs of such blocks.
    uint8_t rgba[64], previous[64];
    int previousMask = -1;
    bool previousExact = false;
    long exact = 0;
    for (int bx = 0; bx < blocksWide; ++bx, block += blockBytes) {
      int mask = GatherBlock(rows, bx, by, rgba);
      if (mask == previousMask && std::memcmp(rgba, previous, sizeof rgba) == 0) {
        std::memcpy(block, block - blockBytes, blockBytes);
      } else {
        previousExact = EncodeBlock(rgba, mask, alpha, fitFlags, block);
        previousMask = mask;
        std::memcpy(previous, rgba, sizeof rgba);
      }
      exact += previousExact ? 1 : 0;
    }
    DdsEncodeReport& counts = parts[static_cast<size_t>(thread)];
    counts.exact_blocks += exact;
    counts.fitted_blocks += blocksWide - exact;
  });
  if (report != nullptr) {
    report->format = alpha ? DdsFormat::kDxt5 : DdsFormat::kDxt1;
    for (const DdsEncodeReport& part : parts) {
      report->exact_blocks += part.exact_blocks;
      report->fitted_blocks += part.fitted_blocks;
    }
  }
}

Status EncodeDds(const RgbaImage& image, std::string* bytes, DdsEncodeReport* report,
                 const CodecOptions& options) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4) {
    return Status::Error("the picture has no pixels to write");
  }
  ConstPixelRows rows = RowsOf(image);
  bool alpha = HasAlpha(rows);
  std::string out(DdsFileSize(image.width, image.height, alpha), '\0');
  uint8_t* data = reinterpret_cast<uint8_t*>(&out[0]);
  WriteDdsHeader(image.width, image.height, alpha, data);
  if (report != nullptr) *report = DdsEncodeReport();
  EncodeDdsStrip(rows, alpha, data + kDdsHeaderSize, report, options);
  *bytes = std::move(out);
  return Status::Ok();
}

}  // namespace korva
