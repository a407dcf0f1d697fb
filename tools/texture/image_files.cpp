// Images through FreeImage (held in memory), and the file helpers of the
// texture module.
#include "tools/texture/free_image.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <utility>

#include "platform/platform.h"
#include "tools/texture/texture.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

// Larger input files are refused rather than read.
constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;

struct BitmapDeleter {
  void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

struct MemoryDeleter {
  void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};
using Memory = std::unique_ptr<FIMEMORY, MemoryDeleter>;

bool IsDds(std::string_view bytes) { return bytes.substr(0, 4) == "DDS "; }

}  // namespace

struct FileReplacement::File {
  std::ofstream out;
};

FileReplacement::FileReplacement(std::string path)
    : path_(std::move(path)), temp_(path_ + "_temp") {}

FileReplacement::~FileReplacement() {
  if (file_ == nullptr) return;
  file_.reset();
  std::error_code error;
  fs::remove(fs::u8path(temp_), error);
}

Status FileReplacement::Open() {
  std::error_code error;
  fs::remove(fs::u8path(temp_), error);  // a leftover of a run cut short, or a link: never written through
  file_ = std::make_unique<File>();
  file_->out.open(fs::u8path(temp_), std::ios::binary | std::ios::trunc);
  if (!file_->out) {
    std::string reason = std::strerror(errno);
    file_.reset();
    return Status::PathError(path_, reason);
  }
  return Status::Ok();
}

Status FileReplacement::Write(const uint8_t* data, size_t size) {
  file_->out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!file_->out) return Status::PathError(path_, "could not be written completely (disk full?)");
  return Status::Ok();
}

Status FileReplacement::Commit() {
  file_->out.close();
  if (!file_->out) return Status::PathError(path_, "could not be written completely (disk full?)");
  // The new bytes are on disk before they take the name.
  Platform& platform = SystemPlatform();
  Status status = platform.SyncFile(temp_);
  if (status.ok()) status = platform.RenameOver(temp_, path_);
  if (!status.ok()) return status;
  file_.reset();
  return Status::Ok();
}

void FileBytes::Allocate(size_t size) {
  data_.reset(new uint8_t[size]);
  size_ = size;
}

Status ReadFileBytes(const std::string& path, FileBytes* bytes) {
  std::error_code error;
  fs::file_status status = fs::status(fs::u8path(path), error);
  if (error) return Status::PathError(path, error.message());
  if (!fs::is_regular_file(status)) return Status::PathError(path, "not a regular file");
  std::ifstream in(fs::u8path(path), std::ios::binary | std::ios::ate);
  if (!in) return Status::PathError(path, std::strerror(errno));
  std::streamoff size = in.tellg();
  if (size < 0) return Status::PathError(path, "cannot be read");
  if (static_cast<uint64_t>(size) > kMaxFileBytes) {
    return Status::PathError(path, "the file is larger than 1 GiB");
  }
  FileBytes read;
  read.Allocate(static_cast<size_t>(size));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(read.data()), static_cast<std::streamsize>(size));
  if (in.gcount() != size) return Status::PathError(path, "cannot be read to its end");
  *bytes = std::move(read);
  return Status::Ok();
}

Status WriteFileWhole(const std::string& path, const uint8_t* data, size_t size) {
  FileReplacement file(path);
  Status status = file.Open();
  if (status.ok()) status = file.Write(data, size);
  if (status.ok()) status = file.Commit();
  return status;
}

Status DecodeImage(std::string_view bytes, RgbaImage* image) {
  InitialiseFreeImage();
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
  InitialiseFreeImage();
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
  FileBytes bytes;
  Status status = ReadFileBytes(path, &bytes);
  if (!status.ok()) return status;
  status = IsDds(bytes.view()) ? DecodeDds(bytes.view(), image) : DecodeImage(bytes.view(), image);
  return status.ok() ? status : Status::PathError(path, status.message());
}

Status WriteDdsFile(const std::string& path, const RgbaImage& image, DdsEncodeReport* report) {
  std::string bytes;
  Status status = EncodeDds(image, &bytes, report);
  if (!status.ok()) return Status::PathError(path, status.message());
  return WriteFileWhole(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

Status WriteTgaFile(const std::string& path, const RgbaImage& image) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4) {
    return Status::PathError(path, "the picture has no pixels to write");
  }
  const size_t line = static_cast<size_t>(image.width) * 4;
  FileBytes tga;
  tga.Allocate(kTgaHeaderSize + line * static_cast<size_t>(image.height) + kTgaFooterSize);
  WriteTgaHeader(image.width, image.height, tga.data());
  uint8_t* row = tga.data() + kTgaHeaderSize;
  for (int y = image.height - 1; y >= 0; --y, row += line) {
    const uint8_t* from = image.At(0, y);
    for (size_t i = 0; i < line; i += 4) {
      row[i] = from[i + 2], row[i + 1] = from[i + 1], row[i + 2] = from[i], row[i + 3] = from[i + 3];
    }
  }
  WriteTgaFooter(row);
  return WriteFileWhole(path, tga.data(), tga.size());
}

}  // namespace korva
