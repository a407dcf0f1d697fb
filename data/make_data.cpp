// korva-make-data FOLDER: writes the program's prepared data files into
// FOLDER (the program folder's "data"). Run by the build.
#include <cstdio>
#include <exception>

#include "data/prepared_files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korva-make-data DATA_FOLDER\n");
    return 2;
  }
  try {
    korva::WriteFileTree(argv[1], korva::PreparedDataFiles());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "korva-make-data: %s\n", error.what());
    return 1;
  }
  return 0;
}
