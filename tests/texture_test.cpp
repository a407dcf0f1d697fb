#include "tools/texture/texture.h"

#include <gtest/gtest.h>
#include <squish.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "tests/support/files.h"
#include "tests/support/icon_pictures.h"
#include "tools/texture/exact_block.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

using Pixel = std::array<int, 4>;

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

Pixel At(const RgbaImage& image, int x, int y) {
  const uint8_t* p = image.At(x, y);
  return {p[0], p[1], p[2], p[3]};
}

TEST(DdsDecode, Dxt1FourAndThreeColourBlocks) {
  // Block 0: red over blue, four-colour mode; block 1: blue under red,
  // three-colour mode with its transparent black. Indices 0, 1, 2, 3 on
  // every row.
  std::string data = Bytes({0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4,
                            0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4});
  RgbaImage image;
  ASSERT_TRUE(DecodeDds(FourCCFile(8, 4, "DXT1", data), &image).ok());
  ASSERT_EQ(image.width, 8);
  ASSERT_EQ(image.height, 4);
  EXPECT_EQ(At(image, 0, 3), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(At(image, 1, 3), (Pixel{0, 0, 255, 255}));
  EXPECT_EQ(At(image, 2, 0), (Pixel{170, 0, 85, 255}));
  EXPECT_EQ(At(image, 3, 1), (Pixel{85, 0, 170, 255}));
  EXPECT_EQ(At(image, 4, 0), (Pixel{0, 0, 255, 255}));
  EXPECT_EQ(At(image, 5, 0), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(At(image, 6, 2), (Pixel{127, 0, 127, 255}));
  EXPECT_EQ(At(image, 7, 2), (Pixel{0, 0, 0, 0}));
}

TEST(DdsDecode, Dxt3ExplicitAlphaAndAlwaysFourColours) {
  // Alpha nibbles 0 to 15 in pixel order; colour endpoints in the order that
  // would mean three colours in DXT1, index 2 everywhere.
  std::string data = Bytes({0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                            0x00, 0x00, 0xE0, 0x07, 0xAA, 0xAA, 0xAA, 0xAA});
  RgbaImage image;
  ASSERT_TRUE(DecodeDds(FourCCFile(4, 4, "DXT3", data), &image).ok());
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(At(image, i % 4, i / 4), (Pixel{0, 85, 0, 17 * i})) << "pixel " << i;
  }
}

TEST(DdsDecode, Dxt5SevenAndFiveStepAlpha) {
  // Block 0: alpha 255 .. 0 in seven steps, pixel i uses code i % 8.
  // Block 1: alpha 40 .. 240 in five steps plus 0 and 255, same indices.
  uint64_t indices = 0;
  for (int i = 0; i < 16; ++i) indices |= static_cast<uint64_t>(i % 8) << (3 * i);
  std::string packed;
  for (int k = 0; k < 6; ++k) packed += static_cast<char>(indices >> (8 * k));
  std::string colour = Bytes({0x00, 0x00, 0xFF, 0xFF, 0xE4, 0xE4, 0xE4, 0xE4});
  std::string data = Bytes({255, 0}) + packed + colour + Bytes({40, 240}) + packed + colour;
  RgbaImage image;
  ASSERT_TRUE(DecodeDds(FourCCFile(8, 4, "DXT5", data), &image).ok());
  const int seven[8] = {255, 0, 218, 182, 145, 109, 72, 36};
  const int five[8] = {40, 240, 80, 120, 160, 200, 0, 255};
  const int grey[4] = {0, 255, 85, 170};
  for (int i = 0; i < 16; ++i) {
    int g = grey[i % 4];
    EXPECT_EQ(At(image, i % 4, i / 4), (Pixel{g, g, g, seven[i % 8]})) << "pixel " << i;
    EXPECT_EQ(At(image, 4 + i % 4, i / 4), (Pixel{g, g, g, five[i % 8]})) << "pixel " << i;
  }
}

TEST(DdsDecode, UncompressedByChannelMasks) {
  std::string data = Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  const uint32_t argb[4] = {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000};
  RgbaImage image;
  ASSERT_TRUE(DecodeDds(MaskFile(2, 2, 0x40 | 0x1, argb, data), &image).ok());
  EXPECT_EQ(At(image, 0, 0), (Pixel{3, 2, 1, 4}));
  EXPECT_EQ(At(image, 1, 1), (Pixel{15, 14, 13, 16}));

  const uint32_t abgr[4] = {0x000000ff, 0x0000ff00, 0x00ff0000, 0xff000000};
  ASSERT_TRUE(DecodeDds(MaskFile(2, 2, 0x40 | 0x1, abgr, data), &image).ok());
  EXPECT_EQ(At(image, 1, 0), (Pixel{5, 6, 7, 8}));

  // No alpha flag: the fourth byte is padding and every pixel is opaque.
  ASSERT_TRUE(DecodeDds(MaskFile(2, 2, 0x40, argb, data), &image).ok());
  EXPECT_EQ(At(image, 0, 1), (Pixel{11, 10, 9, 255}));

  // 24 bits, as image tools write opaque pictures: BGR (the usual) and RGB.
  const uint32_t bgr[4] = {0xff0000, 0x00ff00, 0x0000ff, 0};
  const uint32_t rgb[4] = {0x0000ff, 0x00ff00, 0xff0000, 0};
  std::string threeBytes = Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  for (const uint32_t* masks : {bgr, rgb}) {
    std::string file = MaskFile(2, 2, 0x40, masks, threeBytes);
    Put32(&file, 88, 24);
    ASSERT_TRUE(DecodeDds(file, &image).ok());
    const bool blueFirst = masks == bgr;
    EXPECT_EQ(At(image, 0, 0), blueFirst ? (Pixel{3, 2, 1, 255}) : (Pixel{1, 2, 3, 255}));
    EXPECT_EQ(At(image, 1, 1), blueFirst ? (Pixel{12, 11, 10, 255}) : (Pixel{10, 11, 12, 255}));
  }
}

TEST(DdsDecode, SizesThatAreNotMultiplesOfFour) {
  // 5 x 3 pixels take two blocks; the second block's first column is x = 4.
  std::string data = Bytes({0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0,
                            0xE0, 0x07, 0xE0, 0x07, 0, 0, 0, 0});
  RgbaImage image;
  ASSERT_TRUE(DecodeDds(FourCCFile(5, 3, "DXT1", data), &image).ok());
  EXPECT_EQ(image.pixels.size(), 5u * 3u * 4u);
  EXPECT_EQ(At(image, 3, 2), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(At(image, 4, 2), (Pixel{0, 255, 0, 255}));
}

TEST(DdsDecode, RefusesWhatItCannotRead) {
  const uint32_t rgb16[4] = {0xf800, 0x07e0, 0x001f, 0};
  const uint32_t shared[4] = {0xff0000, 0xff0000, 0xff, 0};
  std::string cube = FourCCFile(4, 4, "DXT1", std::string(8 * 6, '\0'));
  Put32(&cube, 112, 0x200 | 0xFC00);
  std::string volume = FourCCFile(4, 4, "DXT1", std::string(8 * 4, '\0'));
  Put32(&volume, 8, 0x1 | 0x2 | 0x4 | 0x1000 | 0x800000);
  Put32(&volume, 24, 4);
  std::string rgb = MaskFile(2, 2, 0x40, rgb16, std::string(16, '\0'));
  Put32(&rgb, 88, 16);
  std::string twice = MaskFile(2, 2, 0x40, shared, std::string(12, '\0'));
  Put32(&twice, 88, 24);
  std::string short24 = MaskFile(2, 2, 0x40, shared, std::string(11, '\0'));
  Put32(&short24, 88, 24);
  Put32(&short24, 92, 0xff00);
  struct Case {
    const char* name;
    std::string bytes;
    const char* says;
  } cases[] = {
      {"empty", "", "not a DDS file"},
      {"a TGA", std::string("\0\0\2\0", 4) + std::string(40, '\0'), "not a DDS file"},
      {"header cut short", FourCCFile(4, 4, "DXT1", "").substr(0, 100), "truncated"},
      {"pixels cut short", FourCCFile(8, 8, "DXT5", std::string(63, '\0')), "truncated"},
      {"unknown FourCC", FourCCFile(4, 4, "ATI2", std::string(16, '\0')), "\"ATI2\""},
      {"16-bit pixels", rgb, "pixel format"},
      {"two channels in one byte", twice, "one whole byte of its own"},
      {"24-bit pixels cut short", short24, "truncated"},
      {"zero width", FourCCFile(0, 4, "DXT1", std::string(8, '\0')), "size"},
      {"cube map", cube, "cube map"},
      {"volume", volume, "volume"},
  };
  for (const Case& c : cases) {
    RgbaImage image(1, 1);
    Status status = DecodeDds(c.bytes, &image);
    EXPECT_FALSE(status.ok()) << c.name;
    EXPECT_NE(status.message().find(c.says), std::string::npos) << c.name << ": " << status.message();
    EXPECT_EQ(image.width, 1) << c.name << ": the image was changed";
  }
}

// Our block decoder stands in for libsquish's: every block of every format
// must come out as libsquish decodes it, in either channel order.
TEST(DdsDecode, GivesWhatLibsquishGivesForRandomBlocks) {
  struct Case {
    const char* name;
    const char* fourcc;
    int flags;
    size_t blockBytes;
  } cases[] = {{"DXT1", "DXT1", squish::kDxt1, 8},
               {"DXT3", "DXT3", squish::kDxt3, 16},
               {"DXT5", "DXT5", squish::kDxt5, 16}};
  std::mt19937 random(5);
  for (const Case& c : cases) {
    std::string data(64 * 16 * c.blockBytes, '\0');  // 64 x 16 blocks
    for (char& b : data) b = static_cast<char>(random());
    std::string dds = FourCCFile(256, 64, c.fourcc, data);
    RgbaImage ours;
    ASSERT_TRUE(DecodeDds(dds, &ours).ok()) << c.name;
    DdsInfo info;
    ASSERT_TRUE(ReadDdsHeader(dds, &info).ok()) << c.name;
    std::vector<uint8_t> bgra(256 * 64 * 4);
    DecodeDdsStrip(reinterpret_cast<const uint8_t*>(dds.data()) + kDdsHeaderSize, info,
                   {256, 64, bgra.data(), 256 * 4, ChannelOrder::kBgra});
    for (int n = 0; n < 64 * 16; ++n) {
      uint8_t theirs[64];
      squish::Decompress(theirs, data.data() + n * c.blockBytes, c.flags);
      for (int i = 0; i < 16; ++i) {
        int x = n % 64 * 4 + i % 4, y = n / 64 * 4 + i / 4;
        const uint8_t* rgba = ours.At(x, y);
        const uint8_t* swapped = &bgra[(static_cast<size_t>(y) * 256 + x) * 4];
        ASSERT_EQ(std::memcmp(rgba, theirs + 4 * i, 4), 0) << c.name << " block " << n << " pixel " << i;
        ASSERT_EQ((Pixel{swapped[2], swapped[1], swapped[0], swapped[3]}), At(ours, x, y))
            << c.name << " block " << n << " pixel " << i;
      }
    }
  }
}

// Random blocks of every mode, decoded by libsquish: the search must find a
// block that decodes to the very same pixels, for all of them.
TEST(ExactBlock, RecoversEveryDecodedDxt1Block) {
  std::mt19937 random(7);
  int lost = 0;
  for (int n = 0; n < 20000; ++n) {
    uint8_t block[8];
    for (uint8_t& b : block) b = static_cast<uint8_t>(random());
    if (n % 4 == 0) block[2] = block[0], block[3] = block[1];  // equal endpoints
    if (n % 5 == 0) block[4] = block[5] = block[6] = block[7] = 0;  // one colour
    bool threeColour = (block[0] | block[1] << 8) <= (block[2] | block[3] << 8);
    if (threeColour) {
      // Opaque pictures only: index 3 would be transparent.
      for (int k = 4; k < 8; ++k) {
        for (int s = 0; s < 8; s += 2) {
          if ((block[k] >> s & 3) == 3) block[k] = static_cast<uint8_t>(block[k] & ~(1 << s));
        }
      }
    }
    uint8_t pixels[64], found[8], again[64];
    squish::Decompress(pixels, block, squish::kDxt1);
    int mask = n % 3 == 0 ? static_cast<int>(random() & 0xffff) | 1 : 0xffff;
    if (!FindExactDxt1Block(pixels, mask, found)) {
      ++lost;
      continue;
    }
    squish::Decompress(again, found, squish::kDxt1);
    for (int i = 0; i < 16; ++i) {
      if (mask & (1 << i)) ASSERT_EQ(std::memcmp(again + 4 * i, pixels + 4 * i, 4), 0) << n;
    }
  }
  EXPECT_EQ(lost, 0);
}

TEST(ExactBlock, RecoversEveryDecodedDxt5Block) {
  std::mt19937 random(11);
  int lost = 0;
  for (int n = 0; n < 20000; ++n) {
    uint8_t block[16];
    for (uint8_t& b : block) b = static_cast<uint8_t>(random());
    if (n % 3 == 0) block[1] = static_cast<uint8_t>(block[0] + random() % 9);  // close endpoints
    if (n % 7 == 0) block[0] = block[1];
    uint8_t pixels[64], found[16], again[64];
    squish::Decompress(pixels, block, squish::kDxt5);
    if (!FindExactDxt5AlphaBlock(pixels, 0xffff, found) ||
        !FindExactColourBlock(pixels, 0xffff, found + 8)) {
      ++lost;
      continue;
    }
    squish::Decompress(again, found, squish::kDxt5);
    ASSERT_EQ(std::memcmp(again, pixels, 64), 0) << n;
  }
  EXPECT_EQ(lost, 0);
}

TEST(ExactBlock, FindsNothingForPixelsNoBlockDecodesTo) {
  uint8_t pixels[64];
  // Five colours.
  for (int i = 0; i < 16; ++i) {
    uint8_t p[4] = {static_cast<uint8_t>(50 * (i % 5)), 0, 0, 255};
    std::memcpy(pixels + 4 * i, p, 4);
  }
  uint8_t block[8];
  EXPECT_FALSE(FindExactDxt1Block(pixels, 0xffff, block));
  EXPECT_FALSE(FindExactColourBlock(pixels, 0xffff, block));
  // Black, white and red lie on no palette line.
  const uint8_t three[3][4] = {{0, 0, 0, 255}, {255, 255, 255, 255}, {255, 0, 0, 255}};
  for (int i = 0; i < 16; ++i) std::memcpy(pixels + 4 * i, three[i % 3], 4);
  EXPECT_FALSE(FindExactDxt1Block(pixels, 0xffff, block));
  EXPECT_FALSE(FindExactColourBlock(pixels, 0xffff, block));
  // A pixel that is not opaque has no DXT1 block of its own here.
  std::memcpy(pixels, three[0], 4);
  for (int i = 0; i < 16; ++i) pixels[4 * i + 3] = 255;
  pixels[3] = 254;
  EXPECT_FALSE(FindExactDxt1Block(pixels, 0xffff, block));
  // Sixteen alpha values, or nine.
  for (int i = 0; i < 16; ++i) pixels[4 * i + 3] = static_cast<uint8_t>(16 * i);
  EXPECT_FALSE(FindExactDxt5AlphaBlock(pixels, 0xffff, block));
  for (int i = 0; i < 16; ++i) pixels[4 * i + 3] = static_cast<uint8_t>(20 * (i % 9));
  EXPECT_FALSE(FindExactDxt5AlphaBlock(pixels, 0xffff, block));
  // ... unless the ninth lies outside the picture: 0 to 140 in steps of 20
  // are the seven-step codes of 140 and 0.
  EXPECT_TRUE(FindExactDxt5AlphaBlock(pixels, 0xffff & ~(1 << 8), block));
}

// Five-step alpha whose endpoints are 0 or 255 themselves, every code used:
// the fast path must find these, and exactly.
TEST(ExactBlock, RecoversFiveStepAlphaWithEndpointsAtTheLimits) {
  const int ends[][2] = {{0, 200}, {40, 255}, {0, 255}, {0, 0}, {255, 255}, {1, 254}};
  for (const auto& e : ends) {
    uint64_t indices = 0;
    for (int i = 0; i < 16; ++i) indices |= static_cast<uint64_t>(i % 8) << (3 * i);
    uint8_t block[16] = {static_cast<uint8_t>(e[0]), static_cast<uint8_t>(e[1])};
    for (int k = 0; k < 6; ++k) block[2 + k] = static_cast<uint8_t>(indices >> (8 * k));
    uint8_t pixels[64], found[16] = {}, again[64];
    squish::Decompress(pixels, block, squish::kDxt5);
    ASSERT_TRUE(FindExactDxt5AlphaBlock(pixels, 0xffff, found)) << e[0] << ", " << e[1];
    std::memcpy(found + 8, block + 8, 8);
    squish::Decompress(again, found, squish::kDxt5);
    EXPECT_EQ(std::memcmp(again, pixels, 64), 0) << e[0] << ", " << e[1];
  }
}

std::string FourCC(const std::string& dds) { return dds.substr(84, 4); }

TEST(DdsEncode, PicksDxt1ForOpaqueAndDxt5ForAnyAlpha) {
  RgbaImage image(8, 8);
  for (size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = i % 4 == 3 ? 255 : 0;
  std::string dds;
  DdsEncodeReport report;
  ASSERT_TRUE(EncodeDds(image, &dds, &report).ok());
  EXPECT_EQ(FourCC(dds), "DXT1");
  EXPECT_EQ(report.format, DdsFormat::kDxt1);
  EXPECT_EQ(dds.size(), 128u + 4 * 8);

  image.At(7, 7)[3] = 254;
  ASSERT_TRUE(EncodeDds(image, &dds, &report).ok());
  EXPECT_EQ(FourCC(dds), "DXT5");
  EXPECT_EQ(report.format, DdsFormat::kDxt5);
  EXPECT_EQ(dds.size(), 128u + 4 * 16);
  RgbaImage back;
  ASSERT_TRUE(DecodeDds(dds, &back).ok());
  EXPECT_EQ(back, image);  // a picture of one colour and two alphas is exact

  EXPECT_FALSE(EncodeDds(RgbaImage(), &dds).ok());
}

TEST(DdsEncode, WritesAHeaderOtherReadersAccept) {
  RgbaImage icon = DrawIcon(3);
  std::string dds;
  ASSERT_TRUE(EncodeDds(icon, &dds).ok());
  uint32_t linear = 0;
  std::memcpy(&linear, &dds[20], 4);
  EXPECT_EQ(linear, 32u * 32u * 16u);
  // FreeImage reads DDS itself and must see the same picture; it rounds
  // the interpolated alpha values where libsquish truncates them.
  RgbaImage ours, theirs;
  ASSERT_TRUE(DecodeDds(dds, &ours).ok());
  ASSERT_TRUE(DecodeImage(dds, &theirs).ok());
  ASSERT_EQ(theirs.width, 128);
  ASSERT_EQ(theirs.height, 128);
  int alphaOffByOne = 0;
  for (size_t i = 0; i < ours.pixels.size(); ++i) {
    int difference = std::abs(ours.pixels[i] - theirs.pixels[i]);
    if (i % 4 == 3 && difference == 1) {
      ++alphaOffByOne;
    } else {
      ASSERT_EQ(difference, 0) << "byte " << i;
    }
  }
  EXPECT_LT(alphaOffByOne, 128 * 128 / 10);
}

TEST(DdsEncode, ReEncodingADecodedPictureChangesNoPixel) {
  struct Case {
    const char* name;
    bool opaque;
    int width, height;  // cut from a drawn page
  } cases[] = {
      {"DXT5", false, 1280, 256},
      {"DXT1", true, 1280, 256},
      {"edge blocks cut short", false, 1277, 254},
  };
  for (const Case& c : cases) {
    RgbaImage drawn = DrawIconPage(2), page(c.width, c.height);
    for (int y = 0; y < c.height; ++y) {
      std::memcpy(page.At(0, y), drawn.At(0, y), static_cast<size_t>(c.width) * 4);
      for (int x = 0; x < c.width && c.opaque; ++x) page.At(x, y)[3] = 255;
    }
    std::string first, second;
    DdsEncodeReport report;
    ASSERT_TRUE(EncodeDds(page, &first, &report).ok());
    EXPECT_GT(report.fitted_blocks, 0) << c.name;  // drawn pictures need fitting
    RgbaImage decoded, again;
    ASSERT_TRUE(DecodeDds(first, &decoded).ok());
    ASSERT_TRUE(EncodeDds(decoded, &second, &report).ok());
    EXPECT_EQ(report.fitted_blocks, 0) << c.name;
    EXPECT_EQ(report.exact_blocks, ((c.width + 3) / 4) * ((c.height + 3) / 4)) << c.name;
    ASSERT_TRUE(DecodeDds(second, &again).ok());
    EXPECT_TRUE(again == decoded) << c.name;
  }
}

TEST(DdsEncode, OnlyChangedBlocksAreFitted) {
  RgbaImage page = DrawIconPage(2);
  std::string dds;
  ASSERT_TRUE(EncodeDds(page, &dds).ok());
  RgbaImage decoded;
  ASSERT_TRUE(DecodeDds(dds, &decoded).ok());
  // Paint a smooth ramp into the 4 x 4 blocks of one 8 x 8 corner.
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      uint8_t* p = decoded.At(x, y);
      p[0] = static_cast<uint8_t>(30 * x + y), p[1] = static_cast<uint8_t>(20 * y), p[2] = 7;
      p[3] = static_cast<uint8_t>(255 - 9 * x - y);
    }
  }
  DdsEncodeReport report;
  ASSERT_TRUE(EncodeDds(decoded, &dds, &report).ok());
  EXPECT_EQ(report.fitted_blocks, 4);
}

// A picture of random DXT5 blocks that use all four colours and all eight
// alpha codes: every block is found exactly.
RgbaImage FullPalettePicture(int width, int height, uint32_t seed) {
  std::mt19937 random(seed);
  std::string data(static_cast<size_t>((width + 3) / 4) * ((height + 3) / 4) * 16, '\0');
  for (size_t at = 0; at < data.size(); at += 16) {
    int alpha[16], colour[16];
    for (int i = 0; i < 16; ++i) alpha[i] = i % 8, colour[i] = i % 4;
    std::shuffle(alpha, alpha + 16, random);
    std::shuffle(colour, colour + 16, random);
    uint64_t packed = 0;
    for (int i = 0; i < 16; ++i) packed |= static_cast<uint64_t>(alpha[i]) << (3 * i);
    for (int k = 0; k < 2; ++k) data[at + k] = static_cast<char>(random());
    for (int k = 0; k < 6; ++k) data[at + 2 + k] = static_cast<char>(packed >> (8 * k));
    for (int k = 8; k < 12; ++k) data[at + k] = static_cast<char>(random());
    for (int row = 0; row < 4; ++row) {
      const int* ix = colour + 4 * row;
      data[at + 12 + row] = static_cast<char>(ix[0] | ix[1] << 2 | ix[2] << 4 | ix[3] << 6);
    }
  }
  RgbaImage picture;
  EXPECT_TRUE(DecodeDds(FourCCFile(width, height, "DXT5", data), &picture).ok());
  return picture;
}

// Block rows are shared among threads; the bytes must not depend on how.
TEST(DdsEncode, AnyNumberOfThreadsWritesTheBytesOfOne) {
  RgbaImage drawn = DrawIconPage(2), opaque = drawn, decoded;
  for (size_t i = 3; i < opaque.pixels.size(); i += 4) opaque.pixels[i] = 255;
  std::string once;
  ASSERT_TRUE(EncodeDds(drawn, &once).ok());
  ASSERT_TRUE(DecodeDds(once, &decoded).ok());
  struct Case {
    const char* name;
    const RgbaImage* picture;
  } cases[] = {{"drawn (fitted)", &drawn},
               {"opaque drawn (DXT1)", &opaque},
               {"decoded (exact)", &decoded}};
  RgbaImage full = FullPalettePicture(1280, 256, 3);
  for (const Case& c : cases) {
    std::string one, more;
    DdsEncodeReport oneReport, moreReport;
    ASSERT_TRUE(EncodeDds(*c.picture, &one, &oneReport, {1}).ok()) << c.name;
    for (int threads : {2, 3, 8}) {
      ASSERT_TRUE(EncodeDds(*c.picture, &more, &moreReport, {threads}).ok()) << c.name;
      EXPECT_TRUE(more == one) << c.name << " with " << threads << " threads";
      EXPECT_EQ(moreReport.exact_blocks, oneReport.exact_blocks) << c.name;
      EXPECT_EQ(moreReport.fitted_blocks, oneReport.fitted_blocks) << c.name;
    }
  }
  std::string one, two;
  DdsEncodeReport report;
  ASSERT_TRUE(EncodeDds(full, &one, &report, {1}).ok());
  EXPECT_EQ(report.fitted_blocks, 0);
  ASSERT_TRUE(EncodeDds(full, &two, nullptr, {2}).ok());
  EXPECT_TRUE(one == two);
  RgbaImage back;
  ASSERT_TRUE(DecodeDds(one, &back).ok());
  EXPECT_TRUE(back == full);
}

// The TGA the converter writes is FreeImage's, byte for byte; what it reads
// in place is what FreeImage reads, and anything else is left to FreeImage.
TEST(TgaLayout, WrittenAsFreeImageWritesItAndReadInPlaceOnlyWhenPlain) {
  TempFolder dir;
  RgbaImage icon = DrawIcon(9);
  std::string freeImage;
  ASSERT_TRUE(EncodeTga(icon, &freeImage).ok());
  ASSERT_TRUE(WriteTgaFile(dir / "ours.tga", icon).ok());
  EXPECT_TRUE(ReadBytes(dir / "ours.tga") == freeImage);

  TgaLayout layout;
  ASSERT_TRUE(ReadTgaLayout(freeImage, freeImage.size(), &layout));
  EXPECT_EQ(layout.width, 128);
  EXPECT_EQ(layout.pixelsAt, 18u);
  EXPECT_FALSE(layout.topFirst);
  std::string topFirst = freeImage;  // the same rows stored top row first
  topFirst[17] = 0x28;
  for (int y = 0; y < 128; ++y) {
    topFirst.replace(18 + static_cast<size_t>(y) * 512, 512, freeImage, 18 + static_cast<size_t>(127 - y) * 512, 512);
  }
  std::string withId = freeImage;  // a 3-byte image ID before the pixels
  withId[0] = 3;
  withId.insert(18, "abc");
  std::string rle = freeImage, grey = freeImage, mirrored = freeImage;
  rle[2] = 10, grey[16] = 24, mirrored[17] = 0x18;
  struct Case {
    const char* name;
    std::string bytes;
    bool inPlace;
  } cases[] = {{"bottom row first", freeImage, true},
               {"top row first", topFirst, true},
               {"with an image ID", withId, true},
               {"run-length packed", rle, false},
               {"24-bit", grey, false},
               {"right to left", mirrored, false},
               {"cut short", freeImage.substr(0, freeImage.size() - 100), false}};
  std::string expected;
  ASSERT_TRUE(EncodeDds(icon, &expected).ok());
  for (const Case& c : cases) {
    EXPECT_EQ(ReadTgaLayout(c.bytes, c.bytes.size(), &layout), c.inPlace) << c.name;
    if (!c.inPlace) continue;
    WriteBytes(dir / "in.tga", c.bytes);
    ASSERT_TRUE(ConvertImageFile(dir / "in.tga", dir / "out.dds").ok()) << c.name;
    EXPECT_TRUE(ReadBytes(dir / "out.dds") == expected) << c.name;
  }
}

// Pictures go through the converter a strip of 64 rows at a time: sizes
// that leave a short last strip or a short last block, both directions, and
// the DXT5 decision when alpha first shows in a later strip.
TEST(ConvertImageFile, StripByStripAsWhole) {
  TempFolder dir;
  RgbaImage page = DrawIconPage(2);
  RgbaImage cut(70, 133), lateAlpha(64, 200), opaque(130, 140);
  for (RgbaImage* picture : {&cut, &lateAlpha, &opaque}) {
    for (int y = 0; y < picture->height; ++y) {
      std::memcpy(picture->At(0, y), page.At(300, y + 40), static_cast<size_t>(picture->width) * 4);
    }
  }
  for (size_t i = 3; i < lateAlpha.pixels.size(); i += 4) lateAlpha.pixels[i] = 255;
  for (size_t i = 3; i < opaque.pixels.size(); i += 4) opaque.pixels[i] = 255;
  lateAlpha.At(5, 190)[3] = 7;  // in the fourth strip only
  struct Case {
    const char* name;
    const RgbaImage* picture;
    const char* fourcc;
  } cases[] = {{"70 x 133", &cut, "DXT5"},
               {"alpha in the last strip", &lateAlpha, "DXT5"},
               {"opaque", &opaque, "DXT1"}};
  for (const Case& c : cases) {
    std::string direct, decodedTga;
    ASSERT_TRUE(EncodeDds(*c.picture, &direct).ok()) << c.name;
    ASSERT_TRUE(WriteTgaFile(dir / "in.tga", *c.picture).ok());
    ASSERT_TRUE(ConvertImageFile(dir / "in.tga", dir / "out.dds").ok()) << c.name;
    std::string dds = ReadBytes(dir / "out.dds");
    EXPECT_EQ(dds.substr(84, 4), c.fourcc) << c.name;
    EXPECT_TRUE(dds == direct) << c.name;
    // And back: the TGA holds what the DDS decodes to.
    ASSERT_TRUE(ConvertImageFile(dir / "out.dds", dir / "back.TGA").ok()) << c.name;
    RgbaImage decoded;
    ASSERT_TRUE(DecodeDds(dds, &decoded).ok());
    ASSERT_TRUE(WriteTgaFile(dir / "expected.tga", decoded).ok());
    EXPECT_TRUE(ReadBytes(dir / "back.TGA") == ReadBytes(dir / "expected.tga")) << c.name;
  }
}

TEST(ConvertImageFile, TwoThreadsWriteTheFileOfOne) {
  TempFolder dir;
  std::string page;
  ASSERT_TRUE(EncodeDds(DrawIconPage(4), &page).ok());
  WriteBytes(dir / "page.dds", page);
  ASSERT_TRUE(ConvertImageFile(dir / "page.dds", dir / "one.tga", {1}).ok());
  ASSERT_TRUE(ConvertImageFile(dir / "page.dds", dir / "two.tga", {2}).ok());
  EXPECT_TRUE(ReadBytes(dir / "one.tga") == ReadBytes(dir / "two.tga"));
  ASSERT_TRUE(ConvertImageFile(dir / "one.tga", dir / "one.dds", {1}).ok());
  ASSERT_TRUE(ConvertImageFile(dir / "one.tga", dir / "two.dds", {2}).ok());
  EXPECT_TRUE(ReadBytes(dir / "one.dds") == ReadBytes(dir / "two.dds"));
  RgbaImage before, after;
  ASSERT_TRUE(DecodeDds(page, &before).ok());
  ASSERT_TRUE(ReadImageFile(dir / "one.dds", &after).ok());
  EXPECT_TRUE(after == before) << "the page went through without a pixel changed";
}

// A file is replaced in one step: either it keeps what it held or it holds
// all the new bytes, and no "_temp" file stays behind.
TEST(ImageFiles, WritesReplaceInOneStep) {
  TempFolder dir;
  const std::string path = dir / "out.dds";
  WriteBytes(path, "old");
  WriteBytes(path + "_temp", "left by a run that was cut short");
  const uint8_t bytes[] = {'n', 'e', 'w'};
  ASSERT_TRUE(WriteFileWhole(path, bytes, sizeof bytes).ok());
  EXPECT_EQ(ReadBytes(path), "new");
  EXPECT_FALSE(FileExists(path + "_temp"));
  {
    FileReplacement abandoned(path);  // never committed
    ASSERT_TRUE(abandoned.Open().ok());
    ASSERT_TRUE(abandoned.Write(bytes, 2).ok());
    EXPECT_TRUE(FileExists(path + "_temp"));
  }
  EXPECT_EQ(ReadBytes(path), "new");
  EXPECT_FALSE(FileExists(path + "_temp"));
  fs::create_directory(dir / "a folder");  // a folder cannot be replaced by a file
  EXPECT_FALSE(WriteFileWhole(dir / "a folder", bytes, sizeof bytes).ok());
  EXPECT_TRUE(fs::is_directory(dir / "a folder"));
  EXPECT_FALSE(FileExists(dir / "a folder_temp"));
}

TEST(TgaCodec, RoundTripKeepsEveryPixelAndItsAlpha) {
  RgbaImage icon = DrawIcon(42);
  std::string tga;
  ASSERT_TRUE(EncodeTga(icon, &tga).ok());
  RgbaImage back;
  ASSERT_TRUE(DecodeImage(tga, &back).ok());
  EXPECT_EQ(back, icon);

  TempFolder dir;
  ASSERT_TRUE(WriteTgaFile(dir / "icon.tga", icon).ok());
  ASSERT_TRUE(ReadImageFile(dir / "icon.tga", &back).ok());
  EXPECT_EQ(back, icon);
  // Top row first: the transparent corner is at the start of the buffer.
  EXPECT_EQ(back.pixels[3], 0);
}

TEST(ImageFiles, FailuresNameThePath) {
  TempFolder dir;
  RgbaImage image;
  Status missing = ReadImageFile(dir / "none.dds", &image);
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ(missing.message().rfind(dir / "none.dds: ", 0), 0u) << missing.message();
  WriteBytes(dir / "junk.tga", "not a picture at all");
  Status junk = ReadImageFile(dir / "junk.tga", &image);
  EXPECT_FALSE(junk.ok());
  EXPECT_NE(junk.message().find("junk.tga: "), std::string::npos) << junk.message();
  EXPECT_FALSE(WriteDdsFile(dir / "no/such/folder/x.dds", DrawIcon(1)).ok());
}

}  // namespace
}  // namespace korva
