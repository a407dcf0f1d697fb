#include "sample/packed_game.h"

#include <map>

#include "data/prepared_files.h"
#include "sample/archive_writer.h"
#include "sample/sample_game.h"

namespace korva {

namespace {

struct Archive {
  const char* name;
  const char* format;
  const char* folder;  // the top-level folder it holds; nullptr: all the rest
};

const Archive kArchives[] = {
    {"chars.dat", "zip", "chars"},
    {"STUFF.DAT", "tar.gz", "stuff"},
    {"data.dat", "tar", nullptr},
};

const Archive& ArchiveOf(const std::string& path) {
  std::string top = path.substr(0, path.find('/'));
  for (const Archive& archive : kArchives) {
    if (archive.folder == nullptr || top == archive.folder) return archive;
  }
  return kArchives[2];
}

}  // namespace

void MakePackedSampleGame(const std::string& folder) {
  std::map<const Archive*, std::vector<ArchiveEntry>> packed;
  FileTree loose;
  for (const auto& [path, bytes] : SampleGameFiles()) {
    if (path == "KORVAQUORIN.exe") {
      loose[path] = bytes;
    } else {
      packed[&ArchiveOf(path)].push_back({path, bytes, ArchiveEntry::kFile, ""});
    }
  }
  WriteFileTree(folder, loose);
  for (const auto& [archive, entries] : packed) {
    WriteArchive(folder + "/" + archive->name, archive->format, entries);
  }
}

}  // namespace korva
