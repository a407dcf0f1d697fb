#include "data/image_file.h"

#include <FreeImage.h>
#include <squish.h>

#include <memory>
#include <stdexcept>

namespace korva {
namespace {

struct BitmapDeleter {
  void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

struct MemoryDeleter {
  void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};
using Memory = std::unique_ptr<FIMEMORY, MemoryDeleter>;

}  // namespace

std::string TgaBytes(const Image& image) {
  Bitmap bitmap(FreeImage_Allocate(image.width, image.height, 32, FI_RGBA_RED_MASK,
                                   FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
  if (!bitmap) throw std::runtime_error("FreeImage could not allocate an image");
  for (int y = 0; y < image.height; ++y) {
    // FreeImage keeps the bottom row first.
    BYTE* line = FreeImage_GetScanLine(bitmap.get(), image.height - 1 - y);
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.At(x, y);
      line[4 * x + FI_RGBA_RED] = p[0];
      line[4 * x + FI_RGBA_GREEN] = p[1];
      line[4 * x + FI_RGBA_BLUE] = p[2];
      line[4 * x + FI_RGBA_ALPHA] = p[3];
    }
  }
  Memory memory(FreeImage_OpenMemory());
  if (!memory || !FreeImage_SaveToMemory(FIF_TARGA, bitmap.get(), memory.get(), TARGA_DEFAULT)) {
    throw std::runtime_error("FreeImage could not write a TGA image");
  }
  BYTE* data = nullptr;
  DWORD size = 0;
  FreeImage_AcquireMemory(memory.get(), &data, &size);
  return std::string(reinterpret_cast<const char*>(data), size);
}

std::string DdsBytes(const Image& image) {
  auto u32 = [](std::string* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  };
  int size = squish::GetStorageRequirements(image.width, image.height, squish::kDxt5);
  std::string dds = "DDS ";
  u32(&dds, 124);                              // header size
  u32(&dds, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000);  // caps, height, width, pixel format, linear size
  u32(&dds, static_cast<uint32_t>(image.height));
  u32(&dds, static_cast<uint32_t>(image.width));
  u32(&dds, static_cast<uint32_t>(size));
  u32(&dds, 0);  // depth
  u32(&dds, 0);  // mip maps
  for (int i = 0; i < 11; ++i) u32(&dds, 0);
  u32(&dds, 32);   // pixel format size
  u32(&dds, 0x4);  // four-character code
  dds += "DXT5";
  for (int i = 0; i < 5; ++i) u32(&dds, 0);
  u32(&dds, 0x1000);  // a texture
  for (int i = 0; i < 4; ++i) u32(&dds, 0);
  std::string blocks(static_cast<size_t>(size), '\0');
  squish::CompressImage(image.rgba.data(), image.width, image.height, blocks.data(),
                        squish::kDxt5 | squish::kColourRangeFit);
  return dds + blocks;
}

Image ImageFromBytes(const std::string& bytes) {
  std::string copy = bytes;  // FreeImage wants a writable buffer
  Memory memory(FreeImage_OpenMemory(reinterpret_cast<BYTE*>(copy.data()),
                                     static_cast<DWORD>(copy.size())));
  if (!memory) return Image();
  FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(memory.get(), 0);
  if (format == FIF_UNKNOWN) return Image();
  Bitmap loaded(FreeImage_LoadFromMemory(format, memory.get(), 0));
  if (!loaded) return Image();
  Bitmap bitmap(FreeImage_ConvertTo32Bits(loaded.get()));
  if (!bitmap) return Image();
  Image image(static_cast<int>(FreeImage_GetWidth(bitmap.get())),
              static_cast<int>(FreeImage_GetHeight(bitmap.get())));
  for (int y = 0; y < image.height; ++y) {
    const BYTE* line = FreeImage_GetScanLine(bitmap.get(), image.height - 1 - y);
    for (int x = 0; x < image.width; ++x) {
      uint8_t* p = image.At(x, y);
      p[0] = line[4 * x + FI_RGBA_RED];
      p[1] = line[4 * x + FI_RGBA_GREEN];
      p[2] = line[4 * x + FI_RGBA_BLUE];
      p[3] = line[4 * x + FI_RGBA_ALPHA];
    }
  }
  return image;
}

}  // namespace korva
