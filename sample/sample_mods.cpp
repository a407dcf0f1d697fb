#include "data/icon_art.h"
#include "data/prepared_files.h"
#include "data/project_file.h"
#include "platform/text_file.h"
#include "sample/sample_game.h"

namespace korva {

const char* const kSampleModFolders[4] = {"brakka_the_mender", "orvak_shieldwall", "plain_grunt",
                                          "sister_imra"};

namespace {

std::string Text(const std::string& lines) { return ToTextMode(lines); }

// Brakka uses everything: an own icon and two extra icons, every data file,
// a collection entry of its own, slots of every kind and a files tree that
// only adds files and folders.
void AddBrakka(FileTree* files) {
  const std::string p = "brakka_the_mender/";
  (*files)[p + "modfile.ini"] = Text(
      "name=Brakka the Mender\n"
      "description=A patient Pawnik engineer who mends bolts and bruises alike.\n"
      "description=Brings her own icons, every data file and slots of all four kinds.\n"
      "dataname=Brakka\n"
      "has_colldef=1\n"
      "has_items=1\n"
      "has_text=1\n"
      "has_bolts=1\n"
      "has_abilities=1\n"
      "has_icon=1\n"
      "has_sound=1\n"
      "add_charslot=Pawniks\\Brakka\\brakka_body=brakka_body\n"
      "add_charslot=Pawniks\\Brakka\\brakka_pack=brakka_pack\n"
      "add_animslot=Pawniks\\Brakka\\brakka_anims=brakka_anims\n"
      "add_faceslot=Pawniks\\Brakka\\brakka_face=brakka_face\n"
      "add_miscslot=Pawniks\\Brakka\\brakka_wrench=brakka_wrench\n"
      "add_icon=brakka_wrench.tga\n"
      "add_icon=brakka_pack.tga\n");
  (*files)[p + "colldef.ini"] = Text("collect \"Brakka\" no_progress no_guns\n");
  (*files)[p + "itemdata.ini"] =
      Text("item_type \"brakka_wrench\" model \"chars/pawniks/brakka/brakka_wrench.mdl\" slot hand\n");
  (*files)[p + "textdata.ini"] = Text(
      "CHAR_BRAKKA,\"Brakka\",\"Brakka\",\"Brakka\"\n"
      "DESC_BRAKKA,\"Mends anything\",\"Repare tout\",\"Repariert alles\"\n");
  (*files)[p + "boltdata.ini"] =
      Text("bolt_type \"bolt_rivet\"\n  speed 35\n  damage 3\n  colour 200 200 220\nend_bolt\n");
  (*files)[p + "sounddata.ini"] = Text(
      "sample \"brakka_jump\" file \"audio/chars/brakka/jump.wav\" volume 80 range 30\n"
      "sample \"brakka_clang\" file \"audio/chars/brakka/clang.wav\" volume 95 range 45\n");
  (*files)[p + "abilitiesdata.ini"] = Text("ability \"Brakka\"\n{\n  wrench_throw\n  repair\n}\n");
  (*files)[p + "charicon.tga"] = TgaBytes(DrawCharacterIcon("BR", 20));
  (*files)[p + "brakka_wrench.tga"] = TgaBytes(DrawCharacterIcon("W", 60));
  (*files)[p + "brakka_pack.tga"] = TgaBytes(DrawCharacterIcon("P", 100));
  (*files)[p + "files/chars/pawniks/brakka/brakka_body.mdl"] = OpaqueBytes("MDL brakka_body", 31, 2560);
  (*files)[p + "files/chars/pawniks/brakka/brakka_wrench.mdl"] = OpaqueBytes("MDL brakka_wrench", 32, 1024);
  (*files)[p + "files/chars/pawniks/brakka/textures/brakka_skin.tex"] =
      OpaqueBytes("TEX brakka_skin", 33, 4096);
  (*files)[p + "files/audio/chars/brakka/jump.wav"] = OpaqueBytes("RIFF brakka jump", 34, 1500);
}

// Orvak needs eleven character slots, one more than a fresh game has free,
// so installing it is always refused.
void AddOrvak(FileTree* files) {
  const std::string p = "orvak_shieldwall/";
  std::string modfile =
      "name=Orvak and the Shieldwall\n"
      "description=Orvak never marches alone: he brings ten shield bearers.\n"
      "description=Needs eleven character slots, more than a fresh game has free.\n"
      "dataname=Orvak\n"
      "has_sound=1\n";
  modfile += "add_charslot=Pawniks\\Orvak\\orvak_body=orvak_body\n";
  for (int i = 1; i <= 10; ++i) {
    std::string n = (i < 10 ? "0" : "") + std::to_string(i);
    modfile += "add_charslot=Pawniks\\Orvak\\bearer_" + n + "=bearer_" + n + "\n";
  }
  modfile += "add_animslot=Pawniks\\Orvak\\orvak_march=orvak_march\n";
  (*files)[p + "modfile.ini"] = Text(modfile);
  (*files)[p + "sounddata.ini"] =
      Text("sample \"orvak_shout\" file \"audio/chars/orvak/shout.wav\" volume 100 range 70\n");
}

// Grunt is the smallest package: a name, a description and a data name.
void AddGrunt(FileTree* files) {
  (*files)["plain_grunt/modfile.ini"] = Text(
      "name=Plain Grunt\n"
      "description=Just a name, a description and a data name: the smallest package.\n"
      "dataname=Grunt\n");
}

// Imra brings her own icon, text and abilities, one slot of each kind but A,
// and a files tree that replaces a game file besides adding one.
void AddImra(FileTree* files) {
  const std::string p = "sister_imra/";
  (*files)[p + "modfile.ini"] = Text(
      "name=Sister Imra\n"
      "description=A lantern-bearer from the marsh abbey.\n"
      "description=Her files replace the game's pawnik_hands.tex with gloved hands.\n"
      "dataname=Imra\n"
      "has_text=1\n"
      "has_abilities=1\n"
      "has_icon=1\n"
      "add_charslot=Pawniks\\Imra\\imra_body=imra_body\n"
      "add_faceslot=Pawniks\\Imra\\imra_face=imra_face\n"
      "add_miscslot=Pawniks\\Imra\\imra_lantern=imra_lantern\n");
  (*files)[p + "textdata.ini"] = Text("CHAR_IMRA,\"Sister Imra\",\"Soeur Imra\",\"Schwester Imra\"\n");
  (*files)[p + "abilitiesdata.ini"] = Text("ability \"Imra\"\n{\n  glide\n  lantern_light\n}\n");
  (*files)[p + "sounddata.ini"] =
      Text("sample \"imra_hum\" file \"audio/chars/imra/hum.wav\" volume 60 range 20\n");
  (*files)[p + "charicon.tga"] = TgaBytes(DrawCharacterIcon("IM", 280));
  (*files)[p + "files/chars/pawniks/shared/pawnik_hands.tex"] =
      OpaqueBytes("TEX pawnik_hands gloved", 41, 4096);
  (*files)[p + "files/chars/pawniks/imra/imra_body.mdl"] = OpaqueBytes("MDL imra_body", 42, 2304);
}

FileTree BuildModFiles() {
  FileTree files;
  AddBrakka(&files);
  AddOrvak(&files);
  AddGrunt(&files);
  AddImra(&files);
  return files;
}

}  // namespace

const FileTree& SampleModFiles() {
  static const FileTree files = BuildModFiles();
  return files;
}

void MakeSampleMods(const std::string& modsFolder) { WriteFileTree(modsFolder, SampleModFiles()); }

}  // namespace korva
