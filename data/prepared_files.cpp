#include "data/prepared_files.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "data/project_file.h"
#include "slots/slot_table.h"

namespace korva {
namespace {

// Each file is its table(s) plus a tail of our own; the sizes only need to
// hold the tables.
constexpr size_t kTail = 1536;

size_t SlotTableEnd(SlotKind kind) {
  const SlotKindInfo& info = KindInfo(kind);
  size_t entry = 24 + kSlotPathField + kSlotNameField + static_cast<size_t>(info.gap);
  return static_cast<size_t>(info.tableStart) + 10 * entry;
}

}  // namespace

std::string PreparedCharacterFile() {
  std::vector<RecordText> records;
  for (int n = 1; n <= kPlaceCount; ++n) records.push_back(PlaceholderRecord(n));
  return ProjectFileBytes("quorin_pawnik mod places", 101, SlotTableEnd(SlotKind::C) + kTail,
                          {{kRecordTableStart, RecordTableBytes(records)},
                           {KindInfo(SlotKind::C).tableStart,
                            SlotTableBytes(SlotKind::C, PlaceholderSlots(SlotKind::C))}});
}

std::string PreparedSlotFile(SlotKind kind) {
  const SlotKindInfo& info = KindInfo(kind);
  std::string title = std::string(info.file).substr(7);  // without "/chars/"
  return ProjectFileBytes(title, 200 + static_cast<uint32_t>(kind), SlotTableEnd(kind) + kTail,
                          {{info.tableStart, SlotTableBytes(kind, PlaceholderSlots(kind))}});
}

RgbaImage PreparedIconPageImage() {
  RgbaImage page(10 * kIconSize, kIconPageRows * kIconSize);
  for (int cell = 0; cell < kFirstModCell; ++cell) {
    PasteImage(&page, DrawCellIcon(cell, 0), (cell % 10) * kIconSize, (cell / 10) * kIconSize);
  }
  return page;
}

std::string PreparedIconPage() { return DdsBytes(PreparedIconPageImage()); }

std::string TgaBytes(const RgbaImage& image) {
  std::string tga;
  Status encoded = EncodeTga(image, &tga);
  if (!encoded.ok()) throw std::runtime_error("TGA image: " + encoded.message());
  return tga;
}

std::string DdsBytes(const RgbaImage& image) {
  std::string dds;
  Status encoded = EncodeDds(image, &dds);
  if (!encoded.ok()) throw std::runtime_error("DDS image: " + encoded.message());
  return dds;
}

std::map<std::string, std::string> PreparedDataFiles() {
  std::string iconMap;
  for (int i = 0; i < 20; ++i) iconMap += i == 0 ? "0" : "=0";
  return {
      {"gameglobal.led", OpaqueBytes("gameglobal prepared", 11, 24576)},
      {"charstxt.fpk", OpaqueBytes("charstxt prepared", 12, 40960)},
      {"quorin_pawnik.cpj", PreparedCharacterFile()},
      {"mods_pawnik.cpj", PreparedSlotFile(SlotKind::A)},
      {"mods_faces.cpj", PreparedSlotFile(SlotKind::F)},
      {"mods_misc.cpj", PreparedSlotFile(SlotKind::M)},
      {"icontpage_nxg.tex", PreparedIconPage()},
      {"iconmap", iconMap + "\r\n"},
      {"charicon.tga", TgaBytes(DrawCharacterIcon("", 210))},
  };
}

void WriteFileTree(const std::string& folder, const std::map<std::string, std::string>& files) {
  namespace fs = std::filesystem;
  for (const auto& [relative, bytes] : files) {
    // The names are UTF-8 on every system.
    fs::path path = fs::u8path(folder) / fs::u8path(relative);
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error(path.u8string() + ": could not be written");
  }
}

}  // namespace korva
