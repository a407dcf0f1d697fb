// Texture images for the icon page: DDS files (DXT1, DXT3, DXT5 and
// uncompressed 32-bit) and every image FreeImage reads, decoded into plain
// pixels, and pixels written as DDS or TGA. The DDS writer keeps any 4x4
// block that is exactly the decoding of some DXT block as such a block, so a
// page that goes through DDS -> pixels -> DDS any number of times keeps every
// pixel it had; only blocks whose pixels really changed are fitted anew.
//
// The codecs work on pixel rows held anywhere (PixelRows) and on strips of
// whole block rows, so ConvertImageFile decodes a DDS page straight into a
// TGA file's rows and encodes a TGA file's rows where they were read, one
// strip at a time through small buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace korva {

// A picture in memory: width x height pixels, the top row first, four bytes
// per pixel in the order red, green, blue, alpha.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;

  RgbaImage() = default;
  // A picture of the given size, every pixel transparent black.
  RgbaImage(int w, int h);

  uint8_t* At(int x, int y) { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }
  const uint8_t* At(int x, int y) const {
    return &pixels[(static_cast<size_t>(y) * width + x) * 4];
  }
  bool operator==(const RgbaImage& other) const {
    return width == other.width && height == other.height && pixels == other.pixels;
  }
};

// The order of a pixel's four bytes: red, green, blue, alpha (RgbaImage) or
// blue, green, red, alpha (TGA files and FreeImage on little-endian systems).
enum class ChannelOrder { kRgba, kBgra };

// Four-byte pixels held elsewhere, `width` x `height` of them: row y (0 at
// the top) begins at top + y * stride. A picture stored bottom row first,
// as a TGA file keeps it, has its top row last and a negative stride.
template <typename Byte>
struct BasicPixelRows {
  int width = 0;
  int height = 0;
  Byte* top = nullptr;
  std::ptrdiff_t stride = 0;
  ChannelOrder order = ChannelOrder::kRgba;

  Byte* Row(int y) const { return top + static_cast<std::ptrdiff_t>(y) * stride; }
};
using PixelRows = BasicPixelRows<uint8_t>;
using ConstPixelRows = BasicPixelRows<const uint8_t>;

PixelRows RowsOf(RgbaImage& image);
ConstPixelRows RowsOf(const RgbaImage& image);

// The pixel formats of DDS files this module reads; EncodeDds writes kDxt1
// or kDxt5. The uncompressed ones hold each channel in one whole byte, in
// any order (RGB, BGR, with or without alpha or an unused byte).
enum class DdsFormat { kDxt1, kDxt3, kDxt5, kRgba32, kRgb24 };

// What a DDS header says about the top level.
struct DdsInfo {
  int width = 0;
  int height = 0;
  DdsFormat format = DdsFormat::kDxt1;
  int shift[4] = {-1, -1, -1, -1};  // uncompressed: bit shift of R, G, B, A; -1 for none
};

// How many threads the codecs use: 0 for one per processor core (at most
// 8); the result does not depend on it.
struct CodecOptions {
  int threads = 0;
};

// How EncodeDds wrote the blocks.
struct DdsEncodeReport {
  DdsFormat format = DdsFormat::kDxt1;
  // Blocks written as exactly their own pixels' DXT block.
  long exact_blocks = 0;
  // Blocks that no DXT block reproduces, fitted by libsquish's cluster fit.
  long fitted_blocks = 0;
};

// The bytes of a DDS header; a DDS file's pixels follow them.
constexpr size_t kDdsHeaderSize = 128;

// Reads and checks the header of a DDS file of `fileSize` bytes whose first
// bytes are `head` (the 128-byte header, or fewer when the file is
// shorter): a truncated file (header or pixels), an unknown pixel format, a
// cube map or a volume texture is a failure that says what is wrong.
Status ReadDdsHeader(std::string_view head, uint64_t fileSize, DdsInfo* info);
// The same for a whole DDS file in memory.
Status ReadDdsHeader(std::string_view bytes, DdsInfo* info);

// Pictures are coded in strips: runs of whole block rows (4 pixel rows
// each, the last one perhaps shorter), so a page can go through a small
// buffer strip by strip. A strip of a picture `width` pixels wide and
// `rows` pixel rows high takes this many bytes in a DDS file of `format`.
size_t DdsStripBytes(int width, int rows, DdsFormat format);

// Decodes one strip of a DDS file: `data` holds the strip's pixel bytes in
// info.format (DdsStripBytes of them) and `rows` receives its pixels
// (info.width wide, as high as the strip).
void DecodeDdsStrip(const uint8_t* data, const DdsInfo& info, const PixelRows& rows,
                    const CodecOptions& options = {});

// Decodes the top level of a DDS file. On success fills `*image`; on
// failure (as ReadDdsHeader) `*image` is left alone.
Status DecodeDds(std::string_view bytes, RgbaImage* image);

// The size in bytes of the DDS file that EncodeDds writes for a picture of
// this size and kind (header and blocks).
size_t DdsFileSize(int width, int height, bool alpha);

// True when any pixel's alpha is below 255: such a picture is written as
// DXT5, others as DXT1.
bool HasAlpha(const ConstPixelRows& rows);

// The 128-byte header of the DDS file that EncodeDds writes: DXT5 when
// `alpha`, DXT1 otherwise, one level without mip maps.
void WriteDdsHeader(int width, int height, bool alpha, uint8_t* out);

// Encodes one strip of a picture into DdsStripBytes(rows.width,
// rows.height, DXT5 or DXT1) bytes at `out`, and adds its blocks to
// `report`'s counts.
void EncodeDdsStrip(const ConstPixelRows& rows, bool alpha, uint8_t* out,
                    DdsEncodeReport* report = nullptr, const CodecOptions& options = {});

// The DDS file of `image`: WriteDdsHeader with HasAlpha of the picture, then
// the picture as one strip. Fails only for an image without pixels or whose
// pixel buffer does not match its size.
Status EncodeDds(const RgbaImage& image, std::string* bytes, DdsEncodeReport* report = nullptr,
                 const CodecOptions& options = {});

// TGA files as FreeImage writes them: an 18-byte header, uncompressed
// 32-bit pixels (blue, green, red, alpha) with 8 bits of alpha, the bottom
// row first, and a 26-byte TGA 2.0 footer.
constexpr size_t kTgaHeaderSize = 18;
constexpr size_t kTgaFooterSize = 26;
void WriteTgaHeader(int width, int height, uint8_t* out);
void WriteTgaFooter(uint8_t* out);

// Where the pixels of a TGA file lie.
struct TgaLayout {
  int width = 0;
  int height = 0;
  uint64_t pixelsAt = 0;  // offset of the first stored row
  bool topFirst = false;  // rows stored top row first (else bottom row first)
};
// Reads the header `head` (its first 18 bytes at least, or all of a shorter
// file) of a TGA file of `fileSize` bytes. True for an uncompressed 32-bit
// true-colour TGA whose pixels are all there, stored bottom row first or
// top row first; false for any other file or TGA (compressed, 24-bit,
// mirrored, cut short): FreeImage reads those.
bool ReadTgaLayout(std::string_view head, uint64_t fileSize, TgaLayout* layout);

// Decodes any image FreeImage can read (TGA, PNG, BMP, ...) into 32-bit
// pixels; images without alpha come out opaque. Fails with a message when
// the bytes are no image FreeImage reads.
Status DecodeImage(std::string_view bytes, RgbaImage* image);

// The TGA file of `image`, written by FreeImage (the layout above).
Status EncodeTga(const RgbaImage& image, std::string* bytes);

// A whole file in memory, read in one go.
class FileBytes {
 public:
  std::string_view view() const {
    return {reinterpret_cast<const char*>(data_.get()), size_};
  }
  uint8_t* data() { return data_.get(); }
  size_t size() const { return size_; }
  // Makes room for `size` bytes, their values unset.
  void Allocate(size_t size);

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t size_ = 0;
};

// Reads the whole file at `path`; files over 1 GiB are refused.
Status ReadFileBytes(const std::string& path, FileBytes* bytes);

// A new version of the file `path`, written to `path` + "_temp" beside it
// and renamed over `path` by Commit, so `path` either keeps what it held or
// holds all the new bytes. A run cut short leaves at most the "_temp" file,
// which the next write to `path` replaces; an object destroyed without a
// successful Commit removes it.
class FileReplacement {
 public:
  explicit FileReplacement(std::string path);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  Status Open();
  Status Write(const uint8_t* data, size_t size);
  Status Commit();

 private:
  struct File;
  std::string path_, temp_;
  std::unique_ptr<File> file_;
};

// Writes `size` bytes to `path` through a FileReplacement.
Status WriteFileWhole(const std::string& path, const uint8_t* data, size_t size);

// Files by path. ReadImageFile decodes a DDS file (known by its first bytes)
// or any image FreeImage reads. The writers replace an existing file as
// WriteFileWhole does. Messages read "path: reason".
Status ReadImageFile(const std::string& path, RgbaImage* image);
Status WriteDdsFile(const std::string& path, const RgbaImage& image,
                    DdsEncodeReport* report = nullptr);
Status WriteTgaFile(const std::string& path, const RgbaImage& image);

// The converter's work: reads the image file `in` (DDS or anything
// FreeImage reads) and writes `out` as a TGA (the layout above) when its
// name ends in ".tga" and as DDS (as EncodeDds) when it ends in ".dds", in
// any case. A DDS file going to TGA and a TGA file of the layout above going
// to DDS pass strip by strip through one small buffer: each strip is read
// once, decoded straight into the TGA's rows or encoded from the TGA's rows
// where they were read, and written once. Other inputs are decoded whole.
// `out` is written as WriteFileWhole does.
Status ConvertImageFile(const std::string& in, const std::string& out,
                        const CodecOptions& options = {}, DdsEncodeReport* report = nullptr);

}  // namespace korva
