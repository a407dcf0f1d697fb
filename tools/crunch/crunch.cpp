// crunch.exe: the texture converter that the icon page cycle runs.
//
//   crunch.exe -file IN /out OUT [/alphathreshold N] [/mipMode None]
//
// IN is a DDS file (DXT1, DXT3, DXT5 or uncompressed 32-bit) or any image
// FreeImage reads; OUT ends in .tga (a 32-bit TGA with alpha) or .dds (DXT5
// when any alpha is below 255, else DXT1, no mip maps). Option names start
// with "-" or "/" and are matched in any case. The alpha threshold is
// accepted for the cycle's command line; alpha is always kept in full, so it
// changes nothing. The page goes through strip by strip (ConvertImageFile)
// on every processor core; the output is written to OUT_temp beside it and
// then renamed to OUT, so OUT never holds a partly written file. On failure
// the exit status is 1 and one line on stderr says what went wrong; no
// output file is left behind.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/texture/texture.h"

namespace korva {
namespace {

const char kUsage[] =
    "usage: crunch.exe -file IN /out OUT [/alphathreshold N] [/mipMode None]";

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The options by their lower-case names ("file", "out", ...).
Status ParseOptions(const std::vector<std::string>& args, std::map<std::string, std::string>* options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string name = arg.size() > 1 && (arg[0] == '-' || arg[0] == '/') ? Lower(arg.substr(1)) : "";
    if (name != "file" && name != "out" && name != "alphathreshold" && name != "mipmode") {
      return Status::Error("unknown option \"" + arg + "\"; " + kUsage);
    }
    if (i + 1 == args.size()) return Status::Error("option " + arg + " needs a value; " + kUsage);
    if (!options->emplace(name, args[++i]).second) {
      return Status::Error("option " + arg + " is given twice");
    }
  }
  if (options->count("file") == 0 || options->count("out") == 0) {
    return Status::Error(std::string("-file and /out are both needed; ") + kUsage);
  }
  auto threshold = options->find("alphathreshold");
  if (threshold != options->end()) {
    const std::string& n = threshold->second;
    bool number = !n.empty() && n.size() <= 3 && n.find_first_not_of("0123456789") == std::string::npos;
    if (!number || std::stoi(n) > 255) {
      return Status::Error("/alphathreshold needs a whole number from 0 to 255, not \"" + n + "\"");
    }
  }
  auto mipMode = options->find("mipmode");
  if (mipMode != options->end() && Lower(mipMode->second) != "none") {
    return Status::Error("/mipMode \"" + mipMode->second +
                         "\" is not supported: this converter writes no mip maps (/mipMode None)");
  }
  return Status::Ok();
}

Status Convert(const std::vector<std::string>& args) {
  std::map<std::string, std::string> options;
  Status status = ParseOptions(args, &options);
  if (!status.ok()) return status;
  return ConvertImageFile(options["file"], options["out"]);
}

}  // namespace
}  // namespace korva

int main(int argc, char** argv) {
  std::vector<std::string> args = korva::CommandLineArguments(argc, argv);
  if (!args.empty()) args.erase(args.begin());
  korva::Status status = korva::Convert(args);
  if (status.ok()) return 0;
  std::string line = status.message();
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::fprintf(stderr, "crunch.exe: %s\n", line.c_str());
  return 1;
}
