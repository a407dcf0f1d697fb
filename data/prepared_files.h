// The program's prepared data files, as the data folder holds them: the
// character project files with free slot tables and empty character records,
// the opaque game files that replace the game's own, the icon page with room
// for the mod icons, the initial icon map and the default character icon.
#pragma once

#include <map>
#include <string>

#include "data/icon_art.h"
#include "slots/slot_kind.h"

namespace korva {

// Rows of ten 128 x 128 cells on the program's icon page: cells 0 to 259
// hold the game's icons, 260 to 279 are the mod cells, empty.
constexpr int kIconPageRows = 28;
constexpr int kFirstModCell = 260;

// "quorin_pawnik.cpj": ten empty character records from byte 74294 and ten
// free C slots from byte 75545.
std::string PreparedCharacterFile();
// "mods_pawnik.cpj", "mods_faces.cpj" or "mods_misc.cpj": ten free slots of
// kind A, F or M at the kind's table start.
std::string PreparedSlotFile(SlotKind kind);

// The icon page as an image and as the DDS file the game reads.
RgbaImage PreparedIconPageImage();
std::string PreparedIconPage();

// Every file of the data folder: file name to bytes.
std::map<std::string, std::string> PreparedDataFiles();

// An image as a 32-bit TGA file and as a DDS file (DXT5 when it has
// transparent pixels, DXT1 otherwise). Throw std::runtime_error with the
// codec's message when it cannot encode the image.
std::string TgaBytes(const RgbaImage& image);
std::string DdsBytes(const RgbaImage& image);

// Writes each file below `folder` (relative path to bytes), creating the
// folders it needs and replacing files of the same name. Throws
// std::runtime_error naming the path that could not be written.
void WriteFileTree(const std::string& folder, const std::map<std::string, std::string>& files);

}  // namespace korva
