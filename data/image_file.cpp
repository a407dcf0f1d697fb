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

std::string DdsBytes(const Image& image, DdsFormat format) {
  auto u32 = [](std::string* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  };
  bool dxt5 = format == DdsFormat::kDxt5;
  size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  size_t size = dxt5 ? static_cast<size_t>(
                           squish::GetStorageRequirements(image.width, image.height, squish::kDxt5))
                     : pixels * 4;
  std::string dds = "DDS ";
  u32(&dds, 124);  // header size
  // Caps, height, width, pixel format, and the linear size or the pitch.
  u32(&dds, 0x1 | 0x2 | 0x4 | 0x1000 | (dxt5 ? 0x80000 : 0x8));
  u32(&dds, static_cast<uint32_t>(image.height));
  u32(&dds, static_cast<uint32_t>(image.width));
  u32(&dds, static_cast<uint32_t>(dxt5 ? size : static_cast<size_t>(image.width) * 4));
  u32(&dds, 0);  // depth
  u32(&dds, 0);  // mip maps
  for (int i = 0; i < 11; ++i) u32(&dds, 0);
  u32(&dds, 32);  // pixel format size
  if (dxt5) {
    u32(&dds, 0x4);  // a four-character code
    dds += "DXT5";
    for (int i = 0; i < 5; ++i) u32(&dds, 0);
  } else {
    u32(&dds, 0x1 | 0x40);  // RGB with alpha
    u32(&dds, 0);
    u32(&dds, 32);
    u32(&dds, 0x00FF0000);
    u32(&dds, 0x0000FF00);
    u32(&dds, 0x000000FF);
    u32(&dds, 0xFF000000);
  }
  u32(&dds, 0x1000);  // a texture
  for (int i = 0; i < 4; ++i) u32(&dds, 0);

  size_t header = dds.size();
  dds.resize(header + size);
  char* out = &dds[header];
  if (dxt5) {
    squish::CompressImage(image.rgba.data(), image.width, image.height, out, squish::kDxt5);
  } else {
    for (size_t i = 0; i < pixels; ++i) {
      const uint8_t* p = &image.rgba[4 * i];
      out[4 * i + 0] = static_cast<char>(p[2]);
      out[4 * i + 1] = static_cast<char>(p[1]);
      out[4 * i + 2] = static_cast<char>(p[0]);
      out[4 * i + 3] = static_cast<char>(p[3]);
    }
  }
  return dds;
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
