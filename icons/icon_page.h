// The icon page: the game's texture "/stuff/icons/icontpage_nxg.tex" (a DDS
// file), a grid of 128 x 128 icon cells, ten to a row, numbered row by row
// from 0; cell n has its top-left corner at x = (n mod 10) * 128,
// y = (n div 10) * 128 from the top. Cells 260 to 279 are the mod cells.
//
// Each page operation runs one page edit cycle in the game's icon folder:
// a working copy of the program's tools/crunch.exe turns a copy of the page
// (icontpage_nxg.dds) into icontpage_nxg.tga, FreeImage changes that and
// saves icontpage_nxg_t.tga, the converter turns it back into
// icontpage_nxg.dds, and that replaces the page in one step. The game's
// page is never without its file: until the new page exists the old one
// stays untouched, and a failed cycle leaves it byte for byte as it was.
// After every cycle, whatever happened, the icon folder holds none of the
// intermediates nor the working copy.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

struct FIBITMAP;

namespace korva {

// The last cell of the page; the page operations assume 28 rows of 10.
constexpr int kLastIconCell = 279;

// One change to the page's cells, made inside a page edit cycle.
struct CellEdit {
  enum class Kind { kPaste, kOpen, kClose };
  Kind kind = Kind::kPaste;
  int cell = 0;          // kPaste: the cell; kOpen, kClose: the first cell
  int gap = 1;           // kOpen, kClose: how many cells
  std::string iconPath;  // kPaste: the image to paste

  static CellEdit Paste(const std::string& iconPath, int cell) {
    return {Kind::kPaste, cell, 1, iconPath};
  }
  static CellEdit Open(int start, int gap) { return {Kind::kOpen, start, gap, ""}; }
  static CellEdit Close(int start, int gap) { return {Kind::kClose, start, gap, ""}; }
};

// One page edit cycle that makes `edits` in their order on the page's
// pixels, each as its one-edit function below describes, so the page ends
// as those functions run one after another leave it. An edit that names no
// cell (a negative cell, a gap below 1) refuses the whole list before
// anything is done. An icon that cannot be pasted is no reason to stop: the
// other edits are made and the failures are returned together. Any failure
// of the cycle itself leaves the page file untouched and is returned. An
// empty list runs no cycle.
Status EditIconCells(Platform& platform, const std::string& gameFolder,
                     const std::string& programFolder, const std::vector<CellEdit>& edits);

// One page edit cycle that pastes the image at `iconPath` into `cell`, its
// top-left corner on the cell's, at the icon's own size, over the old
// pixels. On success the page holds the icon. An icon that cannot be read,
// or that the page refuses (it does not fit inside the page, or its bit
// depth differs from the page's), leaves the page's pixels as they were;
// the cycle still runs and the failure is returned. Any failure of the
// cycle itself leaves the page file untouched and is returned.
Status PasteIconCell(Platform& platform, const std::string& gameFolder,
                     const std::string& programFolder, const std::string& iconPath, int cell);

// One page edit cycle that moves cells up by `gap` to open `gap` cells at
// `start`: for i = 279 - gap down to start, cell i is copied into cell
// i + gap. Cells start to start + gap - 1 keep their old pictures; the old
// pictures of the last gap cells are lost. When start > 279 - gap nothing
// moves, but the cycle still runs. A negative start or a gap below 1 is
// refused before anything is done.
Status OpenIconCells(Platform& platform, const std::string& gameFolder,
                     const std::string& programFolder, int start, int gap);

// One page edit cycle that closes `gap` cells at `start`: for i = start up
// to 279 - gap, cell i + gap is copied into cell i. The last gap cells keep
// their pictures. When start > 279 - gap nothing moves, but the cycle still
// runs. A negative start or a gap below 1 is refused.
Status CloseIconCells(Platform& platform, const std::string& gameFolder,
                      const std::string& programFolder, int start, int gap);

// A FreeImage image that unloads itself.
struct ImageUnloader {
  void operator()(FIBITMAP* image) const;
};
using Image = std::unique_ptr<FIBITMAP, ImageUnloader>;

// How large an image file may be, and how many pixels wide and high.
struct ImageLimits {
  uint64_t fileBytes;
  unsigned width;
  unsigned height;
};
// An icon fills one cell at most.
extern const ImageLimits kIconLimits;
// The icon page (its TGA image).
extern const ImageLimits kPageLimits;

// Loads the image at `path`, read through `platform`, with FreeImage's load
// `flags`. The format comes from the file's contents, else from the name's
// extension. Returns no image, and says why in `*status` when given, when
// the file cannot be read or is larger than `limits` allows, its format is
// unknown or not readable, its header gives more pixels than `limits` allow
// (checked before any pixel is decoded), its pixel data is cut short, or
// the library cannot load it.
Image LoadImageFile(Platform& platform, const std::string& path, int flags,
                    const ImageLimits& limits, Status* status = nullptr);

// Loads an icon as the 32-bit icon page takes it: as LoadImageFile with
// kIconLimits, and an icon of another bit depth (drawn without
// transparency) made 32-bit and opaque. No image, with the reason in
// `*status` when given, when it cannot be read.
Image LoadPageIcon(Platform& platform, const std::string& path, Status* status = nullptr);

// Checks that the image at `path` can be pasted as an icon: it loads in
// full, and is at most one cell (128 x 128 pixels) in size. Fails with a
// sentence naming the file otherwise.
Status CheckIconImage(Platform& platform, const std::string& path);

// Saves `image` to `path` in the format its extension names, with
// FreeImage's save `flags`, written through `platform` in one step. Fails,
// leaving `path` as it was, for no image, a name without a known format,
// a format FreeImage cannot write or cannot write at the image's bit depth,
// and a failed save or write.
Status SaveImageFile(Platform& platform, FIBITMAP* image, const std::string& path, int flags);

}  // namespace korva
