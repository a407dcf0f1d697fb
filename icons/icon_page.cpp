#include "icons/icon_page.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/read_limits.h"
#include "tools/texture/free_image.h"

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
    // With the temporary names under which they are written, which a
    // converter cut off half-way leaves.
    for (const std::string& name : {*path, *path + "_temp"}) {
      if (!platform.Exists(name)) continue;
      Status removed = platform.Remove(name);
      if (!removed.ok() && first.ok()) first = removed;
    }
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

// Images go between FreeImage and the platform's files a window at a time,
// so the page (18 MB as a TGA) never sits in memory as a whole file beside
// its bitmap: fresh memory costs a page fault per 4 KiB, which for a page
// costs more than FreeImage's own work on it.
constexpr size_t kImageWindow = 256 * 1024;

// A file read through the platform for FreeImage.
struct ImageInput {
  ImageInput(Platform& onPlatform, const std::string& filePath, uint64_t fileSize)
      : platform(onPlatform), path(filePath), size(fileSize) {}

  // Makes the window hold byte `from` and up to `wanted` bytes after it;
  // false past the end or when the read fails (its failure kept).
  bool Cover(uint64_t from, size_t wanted) {
    if (from >= windowAt && from < windowAt + window.size()) return true;
    if (from >= size || !status.ok()) return false;
    status = platform.ReadAt(path, from, std::max(wanted, kImageWindow), &window);
    windowAt = from;
    return status.ok() && !window.empty();
  }
  // Byte `i` of the file, or -1 past its end.
  int Byte(uint64_t i) {
    return Cover(i, 1) ? static_cast<unsigned char>(window[static_cast<size_t>(i - windowAt)]) : -1;
  }

  Platform& platform;
  const std::string& path;
  const uint64_t size;
  std::string window;
  uint64_t windowAt = 0;
  uint64_t at = 0;
  Status status;
};

unsigned DLL_CALLCONV ReadInput(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  auto* in = static_cast<ImageInput*>(handle);
  const size_t wanted = static_cast<size_t>(size) * count;
  size_t done = 0;
  while (done < wanted && in->Cover(in->at, wanted - done)) {
    const size_t offset = static_cast<size_t>(in->at - in->windowAt);
    const size_t n = std::min(wanted - done, in->window.size() - offset);
    std::memcpy(static_cast<char*>(buffer) + done, in->window.data() + offset, n);
    done += n;
    in->at += n;
  }
  return size == 0 ? 0 : static_cast<unsigned>(done / size);
}

unsigned DLL_CALLCONV WriteNothing(void*, unsigned, unsigned, fi_handle) { return 0; }

int DLL_CALLCONV SeekInput(fi_handle handle, long offset, int origin) {
  auto* in = static_cast<ImageInput*>(handle);
  const long base = origin == SEEK_SET   ? 0
                    : origin == SEEK_CUR ? static_cast<long>(in->at)
                                         : static_cast<long>(in->size);
  if (base + offset < 0) return -1;
  in->at = static_cast<uint64_t>(base + offset);
  return 0;
}

long DLL_CALLCONV TellInput(fi_handle handle) {
  return static_cast<long>(static_cast<ImageInput*>(handle)->at);
}

// Whether a TGA file's pixel data is all there: uncompressed data must be
// complete, and run-length packets must cover every pixel before the file
// ends. A cut-short file would otherwise load as a picture with blank
// pixels.
bool TgaIsComplete(ImageInput& in) {
  if (in.size < 18) return false;
  auto byte = [&in](uint64_t at) { return static_cast<unsigned>(std::max(0, in.Byte(at))); };
  auto word = [&](uint64_t at) { return static_cast<uint64_t>(byte(at) | byte(at + 1) << 8); };
  const unsigned type = byte(2);
  const uint64_t width = word(12), height = word(14);
  const uint64_t pixelBytes = (byte(16) + 7u) / 8u;
  uint64_t at = 18 + byte(0);
  if (byte(1) == 1) at += word(5) * ((byte(7) + 7u) / 8u);
  const uint64_t pixels = width * height;
  if (type == 1 || type == 2 || type == 3) return at + pixels * pixelBytes <= in.size;
  if (type != 9 && type != 10 && type != 11) return true;  // not ours to judge
  uint64_t done = 0;
  while (done < pixels) {
    if (at >= in.size) return false;
    const int packet = in.Byte(at++);
    if (packet < 0) return false;
    const uint64_t count = (static_cast<unsigned>(packet) & 0x7f) + 1u;
    at += (packet & 0x80) != 0 ? pixelBytes : count * pixelBytes;
    done += count;
  }
  return at <= in.size;
}

// Decodes the image that `in` reads (the file at `path`) after checking its
// size from the header alone, so an image that claims to be huge is refused
// before the library asks for the memory.
Status DecodeImage(const std::string& path, ImageInput& in, int flags, const ImageLimits& limits,
                   Image* image) {
  InitialiseFreeImage();
  FreeImageIO io = {ReadInput, WriteNothing, SeekInput, TellInput};
  FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromHandle(&io, &in, 0);
  if (!in.status.ok()) return in.status;
  if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(path.c_str());
  if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format)) {
    return Status::PathError(path, "not an image file that can be read");
  }
  const std::string kind = FreeImage_GetFormatFromFIF(format);
  if (!FreeImage_FIFSupportsNoPixels(format)) {
    return Status::PathError(path, "a " + kind + " image, which the program does not read");
  }
  in.at = 0;
  Image header(FreeImage_LoadFromHandle(format, &io, &in, flags | FIF_LOAD_NOPIXELS));
  if (!in.status.ok()) return in.status;
  if (!header) return Status::PathError(path, "the " + kind + " image's header cannot be read");
  const unsigned width = FreeImage_GetWidth(header.get()), height = FreeImage_GetHeight(header.get());
  if (width > limits.width || height > limits.height) {
    return Status::PathError(path, "the image is " + std::to_string(width) + " x " +
                                       std::to_string(height) + " pixels, larger than the " +
                                       std::to_string(limits.width) + " x " +
                                       std::to_string(limits.height) + " allowed here");
  }
  if (format == FIF_TARGA && !TgaIsComplete(in)) {
    if (!in.status.ok()) return in.status;
    return Status::PathError(path, "the TGA image is cut short: its pixel data ends early");
  }
  in.at = 0;
  image->reset(FreeImage_LoadFromHandle(format, &io, &in, flags));
  if (!in.status.ok()) {
    image->reset();
    return in.status;
  }
  if (!*image) {
    return Status::PathError(path, "the " + kind + " image is damaged or of a kind that cannot be read");
  }
  return Status::Ok();
}

// Where FreeImage saves an image. With a writer, the bytes go on to it a
// window at a time as FreeImage writes them in order; a writer that seeks
// back before the window cannot be served so (`rewound` is set and the save
// fails). Without one, every byte stays in `bytes`.
struct ImageOutput {
  explicit ImageOutput(FileWriter* to) : writer(to) {}

  // Hands the window to the writer.
  void Flush() {
    if (writer == nullptr || bytes.empty() || !status.ok()) return;
    status = writer->Write(bytes);
    flushed += bytes.size();
    bytes.clear();
  }

  FileWriter* writer;
  std::string bytes;      // what is not handed on yet
  uint64_t flushed = 0;   // bytes handed on, before bytes[0]
  uint64_t at = 0;        // where the next byte goes
  bool rewound = false;
  Status status;
};

unsigned DLL_CALLCONV WriteOutput(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  auto* out = static_cast<ImageOutput*>(handle);
  const size_t n = static_cast<size_t>(size) * count;
  const char* from = static_cast<const char*>(buffer);
  const size_t offset = static_cast<size_t>(out->at - out->flushed);
  const size_t over = std::min(n, out->bytes.size() - offset);  // bytes written anew
  out->bytes.replace(offset, over, from, over);
  out->bytes.append(from + over, n - over);
  out->at += n;
  if (out->at - out->flushed == out->bytes.size() && out->bytes.size() >= kImageWindow) out->Flush();
  return out->status.ok() ? count : 0;
}

unsigned DLL_CALLCONV ReadOutput(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  auto* out = static_cast<ImageOutput*>(handle);
  const size_t offset = static_cast<size_t>(out->at - out->flushed);
  if (size == 0) return 0;
  const size_t items = std::min<size_t>(count, (out->bytes.size() - offset) / size);
  std::memcpy(buffer, out->bytes.data() + offset, items * size);
  out->at += items * size;
  return static_cast<unsigned>(items);
}

int DLL_CALLCONV SeekOutput(fi_handle handle, long offset, int origin) {
  auto* out = static_cast<ImageOutput*>(handle);
  const long end = static_cast<long>(out->flushed + out->bytes.size());
  const long base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? static_cast<long>(out->at) : end;
  if (base + offset < 0) return -1;
  if (static_cast<uint64_t>(base + offset) < out->flushed) {
    out->rewound = true;
    return -1;
  }
  out->at = static_cast<uint64_t>(base + offset);
  if (out->at - out->flushed > out->bytes.size()) {
    out->bytes.resize(static_cast<size_t>(out->at - out->flushed), '\0');
  }
  return 0;
}

long DLL_CALLCONV TellOutput(fi_handle handle) {
  return static_cast<long>(static_cast<ImageOutput*>(handle)->at);
}

// FreeImage saves `image` as `format` into `out`.
Status SaveTo(FREE_IMAGE_FORMAT format, FIBITMAP* image, int flags, const std::string& path,
              ImageOutput* out) {
  InitialiseFreeImage();
  FreeImageIO io = {ReadOutput, WriteOutput, SeekOutput, TellOutput};
  out->bytes.reserve(out->writer != nullptr
                         ? kImageWindow + 64 * 1024
                         : static_cast<size_t>(FreeImage_GetPitch(image)) * FreeImage_GetHeight(image) + 4096);
  bool saved = FreeImage_SaveToHandle(format, image, &io, out, flags);
  if (saved) out->Flush();
  if (!out->status.ok()) return out->status;
  if (!saved) return Status::PathError(path, "FreeImage could not save the image");
  return Status::Ok();
}

// Moves cells up by `gap` to open `gap` cells at `start` (`open`), or down
// over them to close them.
Status MoveCells(FIBITMAP* page, int start, int gap, bool open) {
  int last = kLastIconCell - gap;
  for (int k = start; k <= last; ++k) {
    int i = open ? last - (k - start) : k;  // opening moves the last cell first
    bool moved = open ? MoveCell(page, i, i + gap) : MoveCell(page, i + gap, i);
    if (!moved) {
      return Status::Error("icon cell " + std::to_string(open ? i : i + gap) + " could not be moved");
    }
  }
  return Status::Ok();
}

// Pastes the icon at `iconPath` into `cell` of the page. An icon that cannot
// be read or does not fit leaves the cell as it was; that is returned.
Status PasteCell(Platform& platform, FIBITMAP* page, const std::string& iconPath, int cell) {
  Status loaded;
  Image icon = FreeImage_GetBPP(page) == 32
                   ? LoadPageIcon(platform, iconPath, &loaded)
                   : LoadImageFile(platform, iconPath, 0, kIconLimits, &loaded);
  if (!icon) {
    return Status::Error("The icon could not be read (" + loaded.message() + "); icon cell " +
                         std::to_string(cell) + " keeps its old picture.");
  }
  if (!FreeImage_Paste(page, icon.get(), cell % kCellsPerRow * kCellSize,
                       cell / kCellsPerRow * kCellSize, 256)) {
    return Status::Error(
        "The icon " + iconPath + " (" + std::to_string(FreeImage_GetWidth(icon.get())) + " x " +
        std::to_string(FreeImage_GetHeight(icon.get())) + " pixels, " +
        std::to_string(FreeImage_GetBPP(icon.get())) + "-bit) does not fit icon cell " +
        std::to_string(cell) + " of the " + std::to_string(FreeImage_GetBPP(page)) +
        "-bit icon page; the cell keeps its old picture.");
  }
  return Status::Ok();
}

}  // namespace

void ImageUnloader::operator()(FIBITMAP* image) const { FreeImage_Unload(image); }

Status PasteIconCell(Platform& platform, const std::string& gameFolder,
                     const std::string& programFolder, const std::string& iconPath, int cell) {
  return EditIconCells(platform, gameFolder, programFolder, {CellEdit::Paste(iconPath, cell)});
}

Status OpenIconCells(Platform& platform, const std::string& gameFolder,
                     const std::string& programFolder, int start, int gap) {
  return EditIconCells(platform, gameFolder, programFolder, {CellEdit::Open(start, gap)});
}

Status CloseIconCells(Platform& platform, const std::string& gameFolder,
                      const std::string& programFolder, int start, int gap) {
  return EditIconCells(platform, gameFolder, programFolder, {CellEdit::Close(start, gap)});
}

Status EditIconCells(Platform& platform, const std::string& gameFolder,
                     const std::string& programFolder, const std::vector<CellEdit>& edits) {
  for (const CellEdit& edit : edits) {
    if (edit.kind == CellEdit::Kind::kPaste && edit.cell < 0) {
      return Status::Error("There is no icon cell " + std::to_string(edit.cell) +
                           "; the icon page was not changed.");
    }
    if (edit.kind != CellEdit::Kind::kPaste && (edit.cell < 0 || edit.gap < 1)) {
      return Status::Error("The icon cells " + std::to_string(edit.cell) + " (gap " +
                           std::to_string(edit.gap) + ") do not exist; the icon page was not changed.");
    }
  }
  if (edits.empty()) return Status::Ok();
  return RunPageEditCycle(platform, gameFolder, programFolder, [&](FIBITMAP* page) {
    ChangeResult result;
    for (const CellEdit& edit : edits) {
      if (edit.kind == CellEdit::Kind::kPaste) {
        Status note = PasteCell(platform, page, edit.iconPath, edit.cell);
        if (!note.ok()) {
          result.note = result.note.ok() ? note
                                         : Status::Error(result.note.message() + "\n" + note.message());
        }
      } else {
        result.stop = MoveCells(page, edit.cell, edit.gap, edit.kind == CellEdit::Kind::kOpen);
        if (!result.stop.ok()) break;
      }
    }
    return result;
  });
}

const ImageLimits kIconLimits = {kIconFileLimit, kCellSize, kCellSize};
const ImageLimits kPageLimits = {kIconPageLimit, 16384, 16384};

Image LoadImageFile(Platform& platform, const std::string& path, int flags,
                    const ImageLimits& limits, Status* status) {
  Status ignored;
  Status& result = status != nullptr ? *status : ignored;
  FileInfo info;
  result = platform.Stat(path, &info);
  if (!result.ok()) return nullptr;
  if (!info.regular) {
    result = Status::PathError(path, "not a regular file, so it is not read");
    return nullptr;
  }
  if (info.size > limits.fileBytes) {
    result = Status::PathError(path, "larger than the " + std::to_string(limits.fileBytes) +
                                         " bytes such a file may have, so it is not read");
    return nullptr;
  }
  ImageInput in(platform, path, info.size);
  Image image;
  result = DecodeImage(path, in, flags, limits, &image);
  return image;
}

Image LoadPageIcon(Platform& platform, const std::string& path, Status* status) {
  Image icon = LoadImageFile(platform, path, 0, kIconLimits, status);
  // Icons drawn without transparency (24-bit) are pasted opaque onto the
  // 32-bit page rather than refused for their depth.
  if (icon && FreeImage_GetBPP(icon.get()) != 32) {
    icon.reset(FreeImage_ConvertTo32Bits(icon.get()));
    if (!icon && status != nullptr) {
      *status = Status::PathError(path, "the icon could not be made 32-bit");
    }
  }
  return icon;
}

Status CheckIconImage(Platform& platform, const std::string& path) {
  Status loaded;
  Image icon = LoadImageFile(platform, path, 0, kIconLimits, &loaded);
  if (icon) return Status::Ok();
  return Status::Error("The icon " + path + " cannot be used: " + loaded.message() + ".");
}

Status SaveImageFile(Platform& platform, FIBITMAP* image, const std::string& path, int flags) {
  InitialiseFreeImage();
  if (image == nullptr) return Status::PathError(path, "there is no image to save");
  FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(path.c_str());
  if (format == FIF_UNKNOWN) return Status::PathError(path, "the name gives no image format");
  unsigned bpp = FreeImage_GetBPP(image);
  if (!FreeImage_FIFSupportsWriting(format) || !FreeImage_FIFSupportsExportBPP(format, static_cast<int>(bpp))) {
    return Status::PathError(path, std::string("images cannot be saved as ") +
                                       FreeImage_GetFormatFromFIF(format) + " at " +
                                       std::to_string(bpp) + " bits per pixel");
  }
  // FreeImage's bytes go straight into a new file beside `path`, which then
  // replaces it. A writer that seeks back over what it wrote saves into
  // memory instead.
  const std::string temp = path + "_temp";
  if (platform.Exists(temp)) {
    Status removed = platform.Remove(temp);
    if (!removed.ok()) return removed;
  }
  bool rewound = false;
  Status written = platform.WriteNewFile(temp, [&](FileWriter& writer) {
    ImageOutput out(&writer);
    Status saved = SaveTo(format, image, flags, path, &out);
    rewound = out.rewound;
    return saved;
  });
  if (rewound) {
    ImageOutput whole(nullptr);
    Status saved = SaveTo(format, image, flags, path, &whole);
    return saved.ok() ? platform.ReplaceFile(path, whole.bytes) : saved;
  }
  if (!written.ok()) return written;
  Status moved = platform.RenameOver(temp, path);
  if (!moved.ok()) platform.Remove(temp);
  return moved;
}

}  // namespace korva
