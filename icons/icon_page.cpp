#include "icons/icon_page.h"

#include <FreeImage.h>

#include <functional>
#include <vector>

#include "platform/read_limits.h"

namespace korva {
namespace {

constexpr int kCellSize = 128;
constexpr int kCellsPerRow = 10;

// The files of one page edit cycle.
struct CycleFiles {
  explicit CycleFiles(const std::string& gameFolder, const std::string& programFolder)
      : page(gameFolder + "/stuff/icons/icontpage_nxg.tex"),
        dds(gameFolder + "/stuff/icons/icontpage_nxg.dds"),
        tga(gameFolder + "/stuff/icons/icontpage_nxg.tga"),
        changedTga(gameFolder + "/stuff/icons/icontpage_nxg_t.tga"),
        converter(gameFolder + "/stuff/icons/crunch.exe"),
        shippedConverter(programFolder + "/tools/crunch.exe") {}

  std::string page, dds, tga, changedTga, converter, shippedConverter;
};

// What a page change reports: a failure that stops the cycle, or a note
// (the page went on unchanged) that the cycle returns at its end.
struct ChangeResult {
  Status stop;
  Status note;
};
using PageChange = std::function<ChangeResult(FIBITMAP* page)>;

Status PageNotChanged(const std::string& reason) {
  return Status::Error("The icon page could not be changed (" + reason +
                       "); the game keeps its icon page as it was.");
}

// Runs the converter's working copy on `from`, writing `to`; `what` names
// the conversion for messages.
Status Convert(Platform& platform, const CycleFiles& files, const std::vector<std::string>& args,
               const std::string& to, const char* what) {
  std::vector<std::string> argv = {platform.NativePath(files.converter)};
  argv.insert(argv.end(), args.begin(), args.end());
  int exitStatus = 0;
  Status ran = platform.RunProgram(argv, &exitStatus);
  if (!ran.ok()) return PageNotChanged(ran.message());
  if (exitStatus != 0) {
    return PageNotChanged("the texture converter " + files.shippedConverter +
                          " ended with exit status " + std::to_string(exitStatus) + " " + what);
  }
  if (!platform.CanRead(to)) {
    return PageNotChanged("the texture converter wrote no " + to + " " + what);
  }
  return Status::Ok();
}

// Removes the intermediates of a cycle from the icon folder, and with
// `converterToo` the converter's working copy. Returns the first removal
// that failed.
Status RemoveIntermediates(Platform& platform, const CycleFiles& files, bool converterToo) {
  Status first;
  for (const std::string* path : {&files.dds, &files.tga, &files.changedTga, &files.converter}) {
    if (path == &files.converter && !converterToo) continue;
    if (!platform.Exists(*path)) continue;
    Status removed = platform.Remove(*path);
    if (!removed.ok() && first.ok()) first = removed;
  }
  return first;
}

Status RunCycleSteps(Platform& platform, const CycleFiles& files, const PageChange& change,
                     Status* note) {
  if (!platform.CanRead(files.page)) return PageNotChanged(files.page + ": the icon page is missing");
  // Leftovers of a cycle that was cut short: the page itself is intact.
  Status cleared = RemoveIntermediates(platform, files, false);
  if (!cleared.ok()) return PageNotChanged(cleared.message());

  // Only the program's own converter runs: the working copy is made afresh
  // from the tools folder for every cycle, whatever was at its place.
  Status copied;
  if (platform.Exists(files.converter)) copied = platform.Remove(files.converter);
  if (copied.ok()) copied = platform.CopyFile(files.shippedConverter, files.converter);
  if (!copied.ok()) return PageNotChanged("the texture converter cannot be made ready: " + copied.message());
  // The page is handed over as a copy; the game's file stays in place.
  copied = platform.CopyFile(files.page, files.dds);
  if (!copied.ok()) return PageNotChanged(copied.message());

  Status status = Convert(platform, files,
                          {"-file", platform.NativePath(files.dds), "/out",
                           platform.NativePath(files.tga)},
                          files.tga, "turning the page into a TGA image");
  if (!status.ok()) return status;
  status = platform.Remove(files.dds);
  if (!status.ok()) return PageNotChanged(status.message());

  {
    Status loaded;
    Image page = LoadImageFile(platform, files.tga, 0, kPageLimits, &loaded);
    if (!page) return PageNotChanged(loaded.message());
    unsigned width = FreeImage_GetWidth(page.get()), height = FreeImage_GetHeight(page.get());
    if (width < kCellsPerRow * kCellSize || height < (kLastIconCell / kCellsPerRow + 1) * kCellSize) {
      return PageNotChanged(files.tga + ": the page is " + std::to_string(width) + " x " +
                            std::to_string(height) + " pixels, too small for its 280 icon cells");
    }
    ChangeResult result = change(page.get());
    if (!result.stop.ok()) return PageNotChanged(result.stop.message());
    *note = result.note;
    status = SaveImageFile(platform, page.get(), files.changedTga, 0);
    if (!status.ok()) return PageNotChanged(status.message());
  }

  status = Convert(platform, files,
                   {"-file", platform.NativePath(files.changedTga), "/out",
                    platform.NativePath(files.dds), "/alphathreshold", "128", "/mipMode", "None"},
                   files.dds, "turning the changed image back into a DDS page");
  if (!status.ok()) return status;
  std::string head;
  status = platform.ReadAt(files.dds, 0, 4, &head);
  if (!status.ok()) return PageNotChanged(status.message());
  if (head != "DDS ") return PageNotChanged(files.dds + ": the texture converter wrote no DDS file");
  status = platform.RenameOver(files.dds, files.page);
  if (!status.ok()) return PageNotChanged(status.message());
  return Status::Ok();
}

// The page edit cycle around `change`. Returns the first failure; after a
// change that went through, the change's own note.
Status RunPageEditCycle(Platform& platform, const std::string& gameFolder,
                        const std::string& programFolder, const PageChange& change) {
  CycleFiles files(gameFolder, programFolder);
  Status note;
  Status status = RunCycleSteps(platform, files, change, &note);
  Status cleaned = RemoveIntermediates(platform, files, true);
  if (!status.ok()) return status;
  if (!cleaned.ok()) {
    return Status::Error("The icon page was changed, but a file of the change was left in its "
                         "folder: " + cleaned.message());
  }
  return note;
}

// Copies cell `from` of the page into cell `to`.
bool MoveCell(FIBITMAP* page, int from, int to) {
  int left = from % kCellsPerRow * kCellSize, top = from / kCellsPerRow * kCellSize;
  Image block(FreeImage_Copy(page, left, top, left + kCellSize, top + kCellSize));
  return block && FreeImage_Paste(page, block.get(), to % kCellsPerRow * kCellSize,
                                  to / kCellsPerRow * kCellSize, 256);
}

Status MoveCells(Platform& platform, const std::string& gameFolder,
                 const std::string& programFolder, int start, int gap, bool open) {
  if (start < 0 || gap < 1) {
    return Status::Error("The icon cells " + std::to_string(start) + " (gap " +
                         std::to_string(gap) + ") do not exist; the icon page was not changed.");
  }
  return RunPageEditCycle(platform, gameFolder, programFolder, [&](FIBITMAP* page) {
    ChangeResult result;
    int last = kLastIconCell - gap;
    for (int k = start; k <= last; ++k) {
      int i = open ? last - (k - start) : k;  // opening moves the last cell first
      bool moved = open ? MoveCell(page, i, i + gap) : MoveCell(page, i + gap, i);
      if (!moved) {
        result.stop = Status::Error("icon cell " + std::to_string(open ? i : i + gap) +
                                    " could not be moved");
        break;
      }
    }
    return result;
  });
}

// The width and height a TGA header gives, and whether its pixel data is
// all there: uncompressed data must be complete, and run-length packets
// must cover every pixel before the file ends. A cut-short file would
// otherwise load as a picture with blank pixels.
bool TgaIsComplete(const std::string& bytes) {
  if (bytes.size() < 18) return false;
  auto byte = [&bytes](size_t at) { return static_cast<unsigned char>(bytes[at]); };
  auto word = [&](size_t at) { return static_cast<uint64_t>(byte(at) | byte(at + 1) << 8); };
  const unsigned type = byte(2);
  const uint64_t width = word(12), height = word(14);
  const uint64_t pixelBytes = (byte(16) + 7u) / 8u;
  uint64_t at = 18 + byte(0);
  if (byte(1) == 1) at += word(5) * ((byte(7) + 7u) / 8u);
  const uint64_t pixels = width * height;
  if (type == 1 || type == 2 || type == 3) return at + pixels * pixelBytes <= bytes.size();
  if (type != 9 && type != 10 && type != 11) return true;  // not ours to judge
  uint64_t done = 0;
  while (done < pixels) {
    if (at >= bytes.size()) return false;
    const unsigned packet = byte(at++);
    const uint64_t count = (packet & 0x7f) + 1u;
    at += (packet & 0x80) != 0 ? pixelBytes : count * pixelBytes;
    done += count;
  }
  return at <= bytes.size();
}

// Decodes the image in `memory` (the bytes of `path`) after checking its
// size from the header alone, so an image that claims to be huge is refused
// before the library asks for the memory.
Status DecodeImage(const std::string& path, const std::string& bytes, FIMEMORY* memory, int flags,
                   const ImageLimits& limits, Image* image) {
  FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(memory, 0);
  if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(path.c_str());
  if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format)) {
    return Status::PathError(path, "not an image file that can be read");
  }
  const std::string kind = FreeImage_GetFormatFromFIF(format);
  if (!FreeImage_FIFSupportsNoPixels(format)) {
    return Status::PathError(path, "a " + kind + " image, which the program does not read");
  }
  FreeImage_SeekMemory(memory, 0, SEEK_SET);
  Image header(FreeImage_LoadFromMemory(format, memory, flags | FIF_LOAD_NOPIXELS));
  if (!header) return Status::PathError(path, "the " + kind + " image's header cannot be read");
  const unsigned width = FreeImage_GetWidth(header.get()), height = FreeImage_GetHeight(header.get());
  if (width > limits.width || height > limits.height) {
    return Status::PathError(path, "the image is " + std::to_string(width) + " x " +
                                       std::to_string(height) + " pixels, larger than the " +
                                       std::to_string(limits.width) + " x " +
                                       std::to_string(limits.height) + " allowed here");
  }
  if (format == FIF_TARGA && !TgaIsComplete(bytes)) {
    return Status::PathError(path, "the TGA image is cut short: its pixel data ends early");
  }
  FreeImage_SeekMemory(memory, 0, SEEK_SET);
  image->reset(FreeImage_LoadFromMemory(format, memory, flags));
  if (!*image) {
    return Status::PathError(path, "the " + kind + " image is damaged or of a kind that cannot be read");
  }
  return Status::Ok();
}

}  // namespace

void ImageUnloader::operator()(FIBITMAP* image) const { FreeImage_Unload(image); }

Status PasteIconCell(Platform& platform, const std::string& gameFolder,
                     const std::string& programFolder, const std::string& iconPath, int cell) {
  if (cell < 0) {
    return Status::Error("There is no icon cell " + std::to_string(cell) +
                         "; the icon page was not changed.");
  }
  return RunPageEditCycle(platform, gameFolder, programFolder, [&](FIBITMAP* page) {
    ChangeResult result;
    Status loaded;
    Image icon = LoadImageFile(platform, iconPath, 0, kIconLimits, &loaded);
    // Icons drawn without transparency (24-bit) are pasted opaque onto the
    // 32-bit page rather than refused for their depth.
    if (icon && FreeImage_GetBPP(page) == 32 && FreeImage_GetBPP(icon.get()) != 32) {
      icon.reset(FreeImage_ConvertTo32Bits(icon.get()));
    }
    if (!icon) {
      result.note = Status::Error("The icon could not be read (" + loaded.message() +
                                  "); icon cell " + std::to_string(cell) +
                                  " keeps its old picture.");
    } else if (!FreeImage_Paste(page, icon.get(), cell % kCellsPerRow * kCellSize,
                                cell / kCellsPerRow * kCellSize, 256)) {
      result.note = Status::Error(
          "The icon " + iconPath + " (" + std::to_string(FreeImage_GetWidth(icon.get())) + " x " +
          std::to_string(FreeImage_GetHeight(icon.get())) + " pixels, " +
          std::to_string(FreeImage_GetBPP(icon.get())) + "-bit) does not fit icon cell " +
          std::to_string(cell) + " of the " + std::to_string(FreeImage_GetBPP(page)) +
          "-bit icon page; the cell keeps its old picture.");
    }
    return result;
  });
}

Status OpenIconCells(Platform& platform, const std::string& gameFolder,
                     const std::string& programFolder, int start, int gap) {
  return MoveCells(platform, gameFolder, programFolder, start, gap, true);
}

Status CloseIconCells(Platform& platform, const std::string& gameFolder,
                      const std::string& programFolder, int start, int gap) {
  return MoveCells(platform, gameFolder, programFolder, start, gap, false);
}

const ImageLimits kIconLimits = {kIconFileLimit, kCellSize, kCellSize};
const ImageLimits kPageLimits = {kIconPageLimit, 16384, 16384};

Image LoadImageFile(Platform& platform, const std::string& path, int flags,
                    const ImageLimits& limits, Status* status) {
  Status ignored;
  Status& result = status != nullptr ? *status : ignored;
  std::string bytes;
  result = platform.ReadFile(path, limits.fileBytes, &bytes);
  if (!result.ok()) return nullptr;
  FIMEMORY* memory = FreeImage_OpenMemory(reinterpret_cast<BYTE*>(bytes.data()),
                                          static_cast<DWORD>(bytes.size()));
  if (memory == nullptr) {
    result = Status::PathError(path, "out of memory");
    return nullptr;
  }
  Image image;
  result = DecodeImage(path, bytes, memory, flags, limits, &image);
  FreeImage_CloseMemory(memory);
  return image;
}

Status CheckIconImage(Platform& platform, const std::string& path) {
  Status loaded;
  Image icon = LoadImageFile(platform, path, 0, kIconLimits, &loaded);
  if (icon) return Status::Ok();
  return Status::Error("The icon " + path + " cannot be used: " + loaded.message() + ".");
}

Status SaveImageFile(Platform& platform, FIBITMAP* image, const std::string& path, int flags) {
  if (image == nullptr) return Status::PathError(path, "there is no image to save");
  FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(path.c_str());
  if (format == FIF_UNKNOWN) return Status::PathError(path, "the name gives no image format");
  unsigned bpp = FreeImage_GetBPP(image);
  if (!FreeImage_FIFSupportsWriting(format) || !FreeImage_FIFSupportsExportBPP(format, static_cast<int>(bpp))) {
    return Status::PathError(path, std::string("images cannot be saved as ") +
                                       FreeImage_GetFormatFromFIF(format) + " at " +
                                       std::to_string(bpp) + " bits per pixel");
  }
  FIMEMORY* memory = FreeImage_OpenMemory();
  BYTE* data = nullptr;
  DWORD size = 0;
  std::string bytes;
  bool saved = memory != nullptr && FreeImage_SaveToMemory(format, image, memory, flags) &&
               FreeImage_AcquireMemory(memory, &data, &size);
  if (saved) bytes.assign(reinterpret_cast<const char*>(data), size);
  if (memory != nullptr) FreeImage_CloseMemory(memory);
  if (!saved) return Status::PathError(path, "FreeImage could not save the image");
  return platform.ReplaceFile(path, bytes);
}

}  // namespace korva
