// FreeImage (static): TGA, PNG and BMP round trips through memory and a file,
// the format found from the bytes, and a left-out format (JPEG) known by name
// but neither readable nor writable.
#include <FreeImage.h>

#include <cstdio>
#include <string>

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAIL: %s\n", what.c_str());
    ++failures;
  }
}

// A 5 x 3 32-bit image with a different colour and alpha in every pixel.
FIBITMAP* MakeImage() {
  FIBITMAP* image = FreeImage_Allocate(5, 3, 32);
  for (unsigned y = 0; y < 3; ++y) {
    BYTE* line = FreeImage_GetScanLine(image, static_cast<int>(y));
    for (unsigned x = 0; x < 5; ++x) {
      line[x * 4 + FI_RGBA_RED] = static_cast<BYTE>(40 * x + y);
      line[x * 4 + FI_RGBA_GREEN] = static_cast<BYTE>(200 - 30 * y);
      line[x * 4 + FI_RGBA_BLUE] = static_cast<BYTE>(x * y * 11);
      line[x * 4 + FI_RGBA_ALPHA] = static_cast<BYTE>(255 - 17 * (x + y));
    }
  }
  return image;
}

bool SamePixels(FIBITMAP* a, FIBITMAP* b) {
  if (FreeImage_GetWidth(a) != FreeImage_GetWidth(b) || FreeImage_GetHeight(a) != FreeImage_GetHeight(b) ||
      FreeImage_GetBPP(a) != 32 || FreeImage_GetBPP(b) != 32)
    return false;
  for (unsigned y = 0; y < FreeImage_GetHeight(a); ++y) {
    const BYTE* la = FreeImage_GetScanLine(a, static_cast<int>(y));
    const BYTE* lb = FreeImage_GetScanLine(b, static_cast<int>(y));
    for (unsigned i = 0; i < FreeImage_GetWidth(a) * 4; ++i)
      if (la[i] != lb[i]) return false;
  }
  return true;
}

void MemoryRoundTrip(FIBITMAP* image, FREE_IMAGE_FORMAT format, const char* label) {
  FIMEMORY* memory = FreeImage_OpenMemory();
  Check(FreeImage_SaveToMemory(format, image, memory, 0) != FALSE, std::string(label) + ": save");
  BYTE* data = nullptr;
  DWORD size = 0;
  FreeImage_AcquireMemory(memory, &data, &size);
  FreeImage_SeekMemory(memory, 0, SEEK_SET);
  FREE_IMAGE_FORMAT detected = FreeImage_GetFileTypeFromMemory(memory, 0);
  Check(detected == format, std::string(label) + ": detected format " + std::to_string(detected));
  FIBITMAP* loaded = FreeImage_LoadFromMemory(format, memory, 0);
  Check(loaded && SamePixels(image, loaded), std::string(label) + ": pixels after loading");
  std::printf("%s: %lu bytes\n", label, static_cast<unsigned long>(size));
  if (loaded) FreeImage_Unload(loaded);
  FreeImage_CloseMemory(memory);
}

}  // namespace

int main() {
  FreeImage_Initialise(FALSE);
  std::printf("FreeImage %s\n", FreeImage_GetVersion());

  FIBITMAP* image = MakeImage();
  MemoryRoundTrip(image, FIF_TARGA, "tga");
  MemoryRoundTrip(image, FIF_PNG, "png");

  // A file on disk, found by its name.
  const char* path = "freeimage_smoke.bmp";
  Check(FreeImage_GetFIFFromFilename(path) == FIF_BMP, "bmp from the name");
  Check(FreeImage_Save(FIF_BMP, image, path, 0) != FALSE, "bmp: save to a file");
  Check(FreeImage_GetFileType(path, 0) == FIF_BMP, "bmp: type of the file");
  FIBITMAP* loaded = FreeImage_Load(FIF_BMP, path, 0);
  Check(loaded && SamePixels(image, loaded), "bmp: pixels after loading");
  if (loaded) FreeImage_Unload(loaded);
  std::remove(path);

  // The FIF_* numbers are the ones of the full library.
  Check(FreeImage_GetFIFFromFormat("DDS") == FIF_DDS, "DDS is FIF_DDS");
  Check(FreeImage_GetFIFFromFormat("TARGA") == FIF_TARGA, "TARGA is FIF_TARGA");
  Check(FreeImage_GetFIFFromFilename("x.dds") == FIF_DDS, "x.dds is FIF_DDS");
  Check(FreeImage_FIFSupportsReading(FIF_DDS) != FALSE, "DDS can be read");
  Check(FreeImage_GetFIFFromFilename("photo.jpg") == FIF_JPEG, "photo.jpg is FIF_JPEG");
  Check(FreeImage_FIFSupportsReading(FIF_JPEG) == FALSE && FreeImage_FIFSupportsWriting(FIF_JPEG) == FALSE,
        "JPEG (not built) can be neither read nor written");
  Check(FreeImage_GetFIFFromFormat("WebP") == FIF_WEBP && FreeImage_GetFIFCount() == FIF_JXR + 1,
        "every format registered in its place");

  FreeImage_Unload(image);
  FreeImage_DeInitialise();
  std::printf("%s\n", failures ? "FreeImage smoke test FAILED" : "FreeImage smoke test passed");
  return failures ? 1 : 0;
}
