// The converter's work. The icon page (1280 x 3584, 18 MB as a TGA) goes
// between DDS and TGA strip by strip through buffers of a few hundred
// kilobytes: fresh memory costs a page fault per 4 KiB on first touch, which
// for a whole page buffer costs more than decoding it, so the buffers stay
// small and are used again for every strip.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "tools/texture/texture.h"

namespace korva {
namespace {

namespace fs = std::filesystem;

// Block rows per strip: 64 pixel rows, 320 KiB of a 1280-pixel-wide TGA.
constexpr int kStripBlockRows = 16;
constexpr int kStripRows = 4 * kStripBlockRows;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The input file, read piece by piece.
class InputFile {
 public:
  Status Open(const std::string& path) {
    path_ = path;
    std::error_code error;
    fs::file_status status = fs::status(fs::u8path(path), error);
    if (error) return Status::PathError(path, error.message());
    if (!fs::is_regular_file(status)) return Status::PathError(path, "not a regular file");
    in_.open(fs::u8path(path), std::ios::binary | std::ios::ate);
    if (!in_) return Status::PathError(path, std::strerror(errno));
    std::streamoff size = in_.tellg();
    if (size < 0) return Status::PathError(path, "cannot be read");
    size_ = static_cast<uint64_t>(size);
    return Status::Ok();
  }
  uint64_t size() const { return size_; }

  // Reads exactly `size` bytes from offset `at`.
  Status Read(uint64_t at, size_t size, uint8_t* into) {
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(at));
    in_.read(reinterpret_cast<char*>(into), static_cast<std::streamsize>(size));
    if (!in_ || static_cast<size_t>(in_.gcount()) != size) {
      return Status::PathError(path_, "cannot be read to its end (was it changed meanwhile?)");
    }
    return Status::Ok();
  }
  // Up to `size` bytes from the start, fewer for a shorter file.
  Status Head(size_t size, std::string* head) {
    head->assign(static_cast<size_t>(std::min<uint64_t>(size, size_)), '\0');
    return Read(0, head->size(), reinterpret_cast<uint8_t*>(&(*head)[0]));
  }

 private:
  std::string path_;
  std::ifstream in_;
  uint64_t size_ = 0;
};

// The first pixel row of strip `k` and how many rows it has.
std::pair<int, int> StripRows(int k, int height) {
  int first = k * kStripRows;
  return {first, std::min(kStripRows, height - first)};
}

int StripCount(int height) { return (height + kStripRows - 1) / kStripRows; }

// DDS to TGA: the TGA holds the bottom row first, so the strips go from the
// bottom of the picture up, each decoded into rows laid out as the file
// holds them.
Status DdsToTga(InputFile& in, const DdsInfo& info, FileReplacement& out,
                const CodecOptions& options) {
  const size_t line = static_cast<size_t>(info.width) * 4;
  FileBytes dds, tga;
  dds.Allocate(DdsStripBytes(info.width, kStripRows, info.format));
  tga.Allocate(std::max(line * kStripRows, kTgaHeaderSize));
  WriteTgaHeader(info.width, info.height, tga.data());
  Status status = out.Write(tga.data(), kTgaHeaderSize);
  for (int k = StripCount(info.height) - 1; k >= 0 && status.ok(); --k) {
    auto [first, rows] = StripRows(k, info.height);
    status = in.Read(kDdsHeaderSize + DdsStripBytes(info.width, first, info.format),
                     DdsStripBytes(info.width, rows, info.format), dds.data());
    if (!status.ok()) break;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(line);
    PixelRows strip{info.width, rows, tga.data() + (rows - 1) * stride, -stride,
                    ChannelOrder::kBgra};
    DecodeDdsStrip(dds.data(), info, strip, options);
    status = out.Write(tga.data(), line * static_cast<size_t>(rows));
  }
  if (!status.ok()) return status;
  WriteTgaFooter(tga.data());
  return out.Write(tga.data(), kTgaFooterSize);
}

// The strips of a TGA file, read one at a time into one buffer, where they
// are coded as they lie.
class TgaStrips {
 public:
  TgaStrips(InputFile& in, const TgaLayout& layout) : in_(in), layout_(layout) {
    buffer_.Allocate(Line() * kStripRows);
  }
  int count() const { return StripCount(layout_.height); }

  Status Read(int k, ConstPixelRows* rows) {
    auto [first, n] = StripRows(k, layout_.height);
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(Line());
    if (loaded_ != k) {
      int stored = layout_.topFirst ? first : layout_.height - first - n;
      Status status = in_.Read(layout_.pixelsAt + Line() * static_cast<uint64_t>(stored),
                               Line() * static_cast<size_t>(n), buffer_.data());
      loaded_ = status.ok() ? k : -1;
      if (!status.ok()) return status;
    }
    if (layout_.topFirst) {
      *rows = {layout_.width, n, buffer_.data(), stride, ChannelOrder::kBgra};
    } else {
      *rows = {layout_.width, n, buffer_.data() + (n - 1) * stride, -stride, ChannelOrder::kBgra};
    }
    return Status::Ok();
  }

 private:
  size_t Line() const { return static_cast<size_t>(layout_.width) * 4; }

  InputFile& in_;
  TgaLayout layout_;
  FileBytes buffer_;
  int loaded_ = -1;
};

// TGA to DDS, strips from the top. Whether the DDS is DXT5 depends on every
// pixel, so strips are first read until one shows alpha below 255 (for the
// icon page, the first does); only a picture whose first strip is opaque is
// read a second time.
Status TgaToDds(InputFile& in, const TgaLayout& layout, FileReplacement& out,
                const CodecOptions& options, DdsEncodeReport* report) {
  TgaStrips strips(in, layout);
  ConstPixelRows rows;
  bool alpha = false;
  for (int k = 0; k < strips.count() && !alpha; ++k) {
    Status status = strips.Read(k, &rows);
    if (!status.ok()) return status;
    alpha = HasAlpha(rows);
  }
  const DdsFormat format = alpha ? DdsFormat::kDxt5 : DdsFormat::kDxt1;
  FileBytes dds;
  dds.Allocate(std::max(DdsStripBytes(layout.width, kStripRows, format), kDdsHeaderSize));
  WriteDdsHeader(layout.width, layout.height, alpha, dds.data());
  Status status = out.Write(dds.data(), kDdsHeaderSize);
  if (report != nullptr) *report = DdsEncodeReport();
  for (int k = 0; k < strips.count() && status.ok(); ++k) {
    status = strips.Read(k, &rows);
    if (!status.ok()) break;
    EncodeDdsStrip(rows, alpha, dds.data(), report, options);
    status = out.Write(dds.data(), DdsStripBytes(layout.width, rows.height, format));
  }
  return status;
}

// Any other input: decoded whole, then written.
Status ConvertWhole(InputFile& in, const std::string& inPath, bool toTga, FileReplacement& out,
                    const CodecOptions& options, DdsEncodeReport* report) {
  if (in.size() > (uint64_t{1} << 30)) return Status::PathError(inPath, "the file is larger than 1 GiB");
  FileBytes bytes;
  bytes.Allocate(static_cast<size_t>(in.size()));
  Status status = in.Read(0, bytes.size(), bytes.data());
  if (!status.ok()) return status;
  RgbaImage image;
  status = bytes.view().substr(0, 4) == "DDS " ? DecodeDds(bytes.view(), &image)
                                               : DecodeImage(bytes.view(), &image);
  if (!status.ok()) return Status::PathError(inPath, status.message());
  ConstPixelRows rows = RowsOf(std::as_const(image));
  if (toTga) {
    FileBytes tga;
    const size_t line = static_cast<size_t>(image.width) * 4;
    tga.Allocate(line);
    WriteTgaHeader(image.width, image.height, tga.data());
    status = out.Write(tga.data(), kTgaHeaderSize);
    for (int y = image.height - 1; y >= 0 && status.ok(); --y) {
      const uint8_t* from = rows.Row(y);
      uint8_t* to = tga.data();
      for (size_t i = 0; i < line; i += 4) {
        to[i] = from[i + 2], to[i + 1] = from[i + 1], to[i + 2] = from[i], to[i + 3] = from[i + 3];
      }
      status = out.Write(to, line);
    }
    if (!status.ok()) return status;
    WriteTgaFooter(tga.data());
    return out.Write(tga.data(), kTgaFooterSize);
  }
  bool alpha = HasAlpha(rows);
  FileBytes dds;
  dds.Allocate(DdsFileSize(image.width, image.height, alpha));
  WriteDdsHeader(image.width, image.height, alpha, dds.data());
  if (report != nullptr) *report = DdsEncodeReport();
  EncodeDdsStrip(rows, alpha, dds.data() + kDdsHeaderSize, report, options);
  return out.Write(dds.data(), dds.size());
}

}  // namespace

Status ConvertImageFile(const std::string& in, const std::string& out, const CodecOptions& options,
                        DdsEncodeReport* report) {
  const std::string outName = Lower(out);
  const bool toTga = EndsWith(outName, ".tga");
  if (!toTga && !EndsWith(outName, ".dds")) {
    return Status::PathError(out, "the output name must end in .dds or .tga");
  }
  InputFile input;
  Status status = input.Open(in);
  if (!status.ok()) return status;
  std::string head;
  status = input.Head(kDdsHeaderSize, &head);
  if (!status.ok()) return status;

  DdsInfo dds;
  TgaLayout tga;
  bool isDds = head.substr(0, 4) == "DDS ";
  if (isDds) {
    status = ReadDdsHeader(head, input.size(), &dds);
    if (!status.ok()) return Status::PathError(in, status.message());
  }
  FileReplacement output(out);
  status = output.Open();
  if (!status.ok()) return status;
  if (isDds && toTga) {
    status = DdsToTga(input, dds, output, options);
  } else if (!isDds && !toTga && ReadTgaLayout(head, input.size(), &tga)) {
    status = TgaToDds(input, tga, output, options, report);
  } else {
    status = ConvertWhole(input, in, toTga, output, options, report);
  }
  return status.ok() ? output.Commit() : status;
}

}  // namespace korva
