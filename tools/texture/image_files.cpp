// Images through FreeImage (held in memory, so the same code serves bytes
// and files), and the file helpers of the texture module.
#include <FreeImage.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "tools/texture/texture.h"

namespace korva {
namespace {

struct BitmapDeleter {
  void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

struct MemoryDeleter {
  void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};
using Memory = std::unique_ptr<FIMEMORY, MemoryDeleter>;

Status ReadWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status::PathError(path, std::strerror(errno));
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return Status::PathError(path, "cannot be read");
  *bytes = content.str();
  return Status::Ok();
}

Status WriteWholeFile(const std::string& path, const std::string& bytes) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return Status::PathError(path, std::strerror(errno));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (out) return Status::Ok();
  }
  std::remove(path.c_str());
  return Status::PathError(path, "could not be written completely (disk full?)");
}

}  // namespace

Status DecodeImage(std::string_view bytes, RgbaImage* image) {
  if (bytes.empty()) return Status::Error("the file is empty");
  Memory memory(FreeImage_OpenMemory(
      reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())), static_cast<DWORD>(bytes.size())));
  if (!memory) return Status::Error("out of memory");
  FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(memory.get(), 0);
  if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format)) {
    return Status::Error("not an image file that can be read (TGA, DDS, PNG, BMP, ...)");
  }
  Bitmap loaded(FreeImage_LoadFromMemory(format, memory.get(), 0));
  if (!loaded || FreeImage_GetImageType(loaded.get()) != FIT_BITMAP) {
    return Status::Error(std::string("the ") + FreeImage_GetFormatFromFIF(format) +
                         " image is damaged or of a kind that cannot be read");
  }
  Bitmap converted;
  FIBITMAP* dib = loaded.get();
  if (FreeImage_GetBPP(dib) != 32) {
    converted.reset(FreeImage_ConvertTo32Bits(dib));
    if (!converted) return Status::Error("the image could not be converted to 32 bits");
    dib = converted.get();
  }
  int width = static_cast<int>(FreeImage_GetWidth(dib));
  int height = static_cast<int>(FreeImage_GetHeight(dib));
  RgbaImage decoded(width, height);
  for (int y = 0; y < height; ++y) {
    // FreeImage keeps the bottom row first.
    const BYTE* row = FreeImage_GetScanLine(dib, height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const BYTE* p = row + 4 * x;
      uint8_t* q = decoded.At(x, y);
      q[0] = p[FI_RGBA_RED];
      q[1] = p[FI_RGBA_GREEN];
      q[2] = p[FI_RGBA_BLUE];
      q[3] = p[FI_RGBA_ALPHA];
    }
  }
  *image = std::move(decoded);
  return Status::Ok();
}

Status EncodeTga(const RgbaImage& image, std::string* bytes) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4) {
    return Status::Error("the picture has no pixels to write");
  }
  Bitmap dib(FreeImage_Allocate(image.width, image.height, 32, FI_RGBA_RED_MASK,
                                FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
  if (!dib) return Status::Error("out of memory for a " + std::to_string(image.width) + " x " +
                                 std::to_string(image.height) + " picture");
  for (int y = 0; y < image.height; ++y) {
    BYTE* row = FreeImage_GetScanLine(dib.get(), image.height - 1 - y);
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.At(x, y);
      BYTE* q = row + 4 * x;
      q[FI_RGBA_RED] = p[0];
      q[FI_RGBA_GREEN] = p[1];
      q[FI_RGBA_BLUE] = p[2];
      q[FI_RGBA_ALPHA] = p[3];
    }
  }
  Memory memory(FreeImage_OpenMemory());
  BYTE* data = nullptr;
  DWORD size = 0;
  if (!memory || !FreeImage_SaveToMemory(FIF_TARGA, dib.get(), memory.get(), TARGA_DEFAULT) ||
      !FreeImage_AcquireMemory(memory.get(), &data, &size)) {
    return Status::Error("FreeImage could not write the TGA image");
  }
  bytes->assign(reinterpret_cast<const char*>(data), size);
  return Status::Ok();
}

Status ReadImageFile(const std::string& path, RgbaImage* image) {
  std::string bytes;
  Status status = ReadWholeFile(path, &bytes);
  if (!status.ok()) return status;
  status = bytes.compare(0, 4, "DDS ") == 0 ? DecodeDds(bytes, image) : DecodeImage(bytes, image);
  return status.ok() ? status : Status::PathError(path, status.message());
}

Status WriteDdsFile(const std::string& path, const RgbaImage& image, DdsEncodeReport* report) {
  std::string bytes;
  Status status = EncodeDds(image, &bytes, report);
  if (!status.ok()) return Status::PathError(path, status.message());
  return WriteWholeFile(path, bytes);
}

Status WriteTgaFile(const std::string& path, const RgbaImage& image) {
  std::string bytes;
  Status status = EncodeTga(image, &bytes);
  if (!status.ok()) return Status::PathError(path, status.message());
  return WriteWholeFile(path, bytes);
}

}  // namespace korva
