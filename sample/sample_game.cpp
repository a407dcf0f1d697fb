#include "sample/sample_game.h"

#include "data/icon_art.h"
#include "data/prepared_files.h"
#include "data/project_file.h"
#include "platform/text_file.h"
#include "slots/slot_table.h"

namespace korva {
namespace {

// The game's own characters, in the order of its character records.
const char* const kGameCharacters[] = {"Korva", "Quorin", "Brunna", "Tesk",  "Malvo",
                                       "Ydris", "Orrin",  "Pell",   "Zanna", "Halvek"};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return text;
}

// The game's own character file: its ten characters in the record table and
// their bodies in the C table, so that it has no free slot at all.
std::string GameCharacterFile() {
  std::vector<RecordText> records;
  std::vector<SlotText> slots;
  for (const char* name : kGameCharacters) {
    records.push_back({std::string(name) + "\\", name});
    std::string body = Lower(name) + "_body";
    slots.push_back({"Pawniks\\" + std::string(name) + "\\" + body, body});
  }
  size_t size = static_cast<size_t>(KindInfo(SlotKind::C).tableStart) + 10 * 120 + 4096;
  return ProjectFileBytes("quorin_pawnik", 7, size,
                          {{kRecordTableStart, RecordTableBytes(records)},
                           {KindInfo(SlotKind::C).tableStart, SlotTableBytes(SlotKind::C, slots)}});
}

// The game's own icon page: the 260 icons of its characters and items in its
// own colours, and no room for mod icons.
RgbaImage GameIconPageImage() {
  RgbaImage page(10 * kIconSize, 26 * kIconSize);
  for (int cell = 0; cell < kFirstModCell; ++cell) {
    PasteImage(&page, DrawCellIcon(cell, 1), (cell % 10) * kIconSize, (cell / 10) * kIconSize);
  }
  return page;
}

// The game keeps its own page as an uncompressed 32-bit DDS (BGRA). Writing
// it needs no block encoding, so a fresh game takes milliseconds to make.
std::string UncompressedDds(const RgbaImage& image) {
  std::string dds(128, '\0');
  auto put = [&dds](size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) dds[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
  };
  dds.replace(0, 4, "DDS ");
  put(4, 124);                                   // header size
  put(8, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000);        // caps, height, width, pitch, pixel format
  put(12, static_cast<uint32_t>(image.height));
  put(16, static_cast<uint32_t>(image.width));
  put(20, static_cast<uint32_t>(image.width) * 4);  // pitch
  put(76, 32);                                   // pixel format size
  put(80, 0x1 | 0x40);                           // RGB with alpha
  put(88, 32);                                   // bits per pixel
  put(92, 0x00FF0000);                           // red, green, blue and alpha masks
  put(96, 0x0000FF00);
  put(100, 0x000000FF);
  put(104, 0xFF000000);
  put(108, 0x1000);                              // a texture
  dds.resize(128 + image.pixels.size());
  for (size_t i = 0; i < image.pixels.size(); i += 4) {
    dds[128 + i] = static_cast<char>(image.pixels[i + 2]);
    dds[128 + i + 1] = static_cast<char>(image.pixels[i + 1]);
    dds[128 + i + 2] = static_cast<char>(image.pixels[i]);
    dds[128 + i + 3] = static_cast<char>(image.pixels[i + 3]);
  }
  return dds;
}

std::string Text(const char* lines) { return ToTextMode(lines); }

FileTree BuildGameFiles() {
  FileTree files;
  files["KORVAQUORIN.exe"] =
      "MZ" + Text("\nKorva Quorin - sample game placeholder. This is not a program.\n") +
      std::string(62, '\0');
  files["global/gameglobal.led"] = OpaqueBytes("gameglobal", 1, 18432);
  files["chars/charstxt.fpk"] = OpaqueBytes("charstxt", 2, 32768);
  files["chars/quorin_pawnik.cpj"] = GameCharacterFile();
  files["stuff/icons/icontpage_nxg.tex"] = UncompressedDds(GameIconPageImage());
  files["audio/restsfx_pc.pac"] = OpaqueBytes("restsfx_pc", 3, 12288);

  files["chars/collection.txt"] = Text(
      "// Korva Quorin - the character collection\n"
      "// collect \"<data name>\" [no_guns] [no_progress] [Do_Not_Show]\n"
      "collect \"Korva\"\n"
      "collect \"Quorin\"\n"
      "collect \"Brunna\" no_guns\n"
      "collect \"Tesk\"\n"
      "collect \"Malvo\" no_progress\n"
      "collect \"Ydris\"\n"
      "collect \"Orrin\" no_guns\n"
      "collect \"Pell\"\n"
      "collect \"Zanna\"\n"
      "collect \"Halvek\" no_guns no_progress Do_Not_Show\n");
  files["chars/abilities.txt"] = Text(
      "// Korva Quorin - ability lists, read in this order\n"
      "txt_file \"chars/abilities/pawnik_abilities.txt\"\n"
      "txt_file \"chars/abilities/hero_abilities.txt\"\n");
  files["chars/abilities/pawnik_abilities.txt"] = Text(
      "ability \"Tesk\"\n{\n  jump_double\n  wrench_throw\n}\n"
      "ability \"Pell\"\n{\n  swim\n}\n");
  files["chars/abilities/hero_abilities.txt"] = Text(
      "ability \"Korva\"\n{\n  jump_double\n  glide\n  bolt_charge\n}\n"
      "ability \"Quorin\"\n{\n  shield_bash\n  bolt_charge\n}\n");
  files["stuff/text/text.csv"] = Text(
      "KEY,ENGLISH,FRENCH,GERMAN\n"
      "MENU_START,\"Start\",\"Commencer\",\"Starten\"\n"
      "MENU_OPTIONS,\"Options\",\"Options\",\"Optionen\"\n"
      "CHAR_KORVA,\"Korva\",\"Korva\",\"Korva\"\n"
      "CHAR_QUORIN,\"Quorin\",\"Quorin\",\"Quorin\"\n"
      "CHAR_BRUNNA,\"Brunna\",\"Brunna\",\"Brunna\"\n"
      "CHAR_HALVEK,\"Halvek\",\"Halvek\",\"Halvek\"\n");
  files["audio/samples_nxg.cfg"] = Text(
      "// sound samples: name, file, volume (0-100), range in metres\n"
      "sample \"korva_jump\" file \"audio/chars/korva/jump.wav\" volume 80 range 30\n"
      "sample \"korva_hurt\" file \"audio/chars/korva/hurt.wav\" volume 90 range 40\n"
      "sample \"quorin_bash\" file \"audio/chars/quorin/bash.wav\" volume 100 range 50\n"
      "sample \"bolt_fire\" file \"audio/fx/bolt_fire.wav\" volume 70 range 60\n");
  files["stuff/bolttypes.txt"] = Text(
      "// bolt types\n"
      "bolt_type \"bolt_small\"\n  speed 40\n  damage 2\n  colour 255 200 40\nend_bolt\n"
      "bolt_type \"bolt_heavy\"\n  speed 25\n  damage 6\n  colour 255 90 30\nend_bolt\n");
  files["levels/builder/builderdefault/playeritemtypes.txt"] = Text(
      "// item types the builder offers\n"
      "item_type \"wrench\" model \"stuff/items/wrench.mdl\" slot hand\n"
      "item_type \"lantern\" model \"stuff/items/lantern.mdl\" slot belt\n"
      "item_type \"bolt_pack\" model \"stuff/items/bolt_pack.mdl\" slot back\n");

  // Character assets, of which a sample mod replaces one.
  files["chars/pawniks/korva/korva_body.mdl"] = OpaqueBytes("MDL korva_body", 4, 3072);
  files["chars/pawniks/shared/pawnik_hands.tex"] = OpaqueBytes("TEX pawnik_hands", 5, 4096);
  files["stuff/items/wrench.mdl"] = OpaqueBytes("MDL wrench", 6, 2048);
  return files;
}

}  // namespace

const FileTree& SampleGameFiles() {
  static const FileTree files = BuildGameFiles();
  return files;
}

void MakeSampleGame(const std::string& folder) { WriteFileTree(folder, SampleGameFiles()); }

}  // namespace korva
