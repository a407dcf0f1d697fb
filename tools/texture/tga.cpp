// TGA files laid out by hand, byte for byte as FreeImage writes a 32-bit
// picture: the 18-byte header, the pixels bottom row first, and the 26-byte
// TGA 2.0 footer without extension area.
#include <cstring>

#include "tools/texture/texture.h"

namespace korva {
namespace {

constexpr char kSignature[] = "TRUEVISION-XFILE.";  // with its NUL, 18 bytes

constexpr uint8_t kTrueColour = 2;
constexpr uint8_t kAlphaBits = 8;
constexpr uint8_t kRightToLeft = 0x10, kTopToBottom = 0x20;

}  // namespace

void WriteTgaHeader(int width, int height, uint8_t* out) {
  std::memset(out, 0, kTgaHeaderSize);
  out[2] = kTrueColour;
  out[12] = static_cast<uint8_t>(width & 0xff);
  out[13] = static_cast<uint8_t>(width >> 8 & 0xff);
  out[14] = static_cast<uint8_t>(height & 0xff);
  out[15] = static_cast<uint8_t>(height >> 8 & 0xff);
  out[16] = 32;
  out[17] = kAlphaBits;  // and the bottom row first
}

void WriteTgaFooter(uint8_t* out) {
  std::memset(out, 0, 8);  // no extension area, no developer area
  std::memcpy(out + 8, kSignature, sizeof kSignature);
}

bool ReadTgaLayout(std::string_view head, uint64_t fileSize, TgaLayout* layout) {
  if (head.size() < kTgaHeaderSize) return false;
  auto byte = [&head](size_t at) { return static_cast<uint8_t>(head[at]); };
  const int width = byte(12) | byte(13) << 8, height = byte(14) | byte(15) << 8;
  const uint8_t descriptor = byte(17);
  if (byte(1) != 0 || byte(2) != kTrueColour || byte(16) != 32 || (descriptor & kRightToLeft) ||
      width == 0 || height == 0) {
    return false;
  }
  // Whatever the header says of alpha bits, FreeImage keeps the fourth byte
  // of each pixel as alpha; so does this.
  const uint64_t start = kTgaHeaderSize + byte(0);
  const uint64_t pixelBytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4;
  if (fileSize < start || fileSize - start < pixelBytes) return false;
  *layout = {width, height, start, (descriptor & kTopToBottom) != 0};
  return true;
}

}  // namespace korva
