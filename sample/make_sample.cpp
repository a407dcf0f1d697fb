// korva-make-sample game FOLDER: writes a fresh sample game into FOLDER,
// which must be missing or empty.
// korva-make-sample packed-game FOLDER: the same game as a first start finds a
// packed one: KORVAQUORIN.exe and the game's files in .dat archives.
// korva-make-sample mods FOLDER: writes the sample mod packages into FOLDER.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

#include "sample/packed_game.h"
#include "sample/sample_game.h"

int main(int argc, char** argv) {
  bool packed = argc == 3 && std::strcmp(argv[1], "packed-game") == 0;
  if (argc != 3 ||
      (std::strcmp(argv[1], "game") != 0 && std::strcmp(argv[1], "mods") != 0 && !packed)) {
    std::fprintf(stderr, "usage: korva-make-sample game|packed-game|mods FOLDER\n");
    return 2;
  }
  try {
    if (std::strcmp(argv[1], "mods") == 0) {
      korva::MakeSampleMods(argv[2]);
      return 0;
    }
    std::error_code error;
    if (std::filesystem::exists(argv[2]) && !std::filesystem::is_empty(argv[2], error)) {
      std::fprintf(stderr, "korva-make-sample: %s is not empty; a sample game goes into a new folder\n",
                   argv[2]);
      return 1;
    }
    if (packed) {
      korva::MakePackedSampleGame(argv[2]);
    } else {
      korva::MakeSampleGame(argv[2]);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "korva-make-sample: %s\n", error.what());
    return 1;
  }
  return 0;
}
