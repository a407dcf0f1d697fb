// quickbms.exe: the unpacker of the game's packed .dat archives; what it
// does is told in unpacker.h.
#include "platform/platform.h"
#include "tools/quickbms/unpacker.h"

int main(int argc, char** argv) {
  return korva::RunUnpacker(korva::SystemPlatform(), korva::CommandLineArguments(argc, argv));
}
