// Archives for tests: zip and tar files written entry by entry, so a test can
// build sound, corrupt and hostile archives alike.
#pragma once

#include <string>
#include <vector>

namespace korva {

struct ArchiveEntry {
  enum Kind { kFile, kFolder, kSymlink, kHardlink };
  std::string name;
  std::string bytes;  // a file's contents
  Kind kind = kFile;
  std::string link;  // where a link points
};

// Writes `entries`, names exactly as given, as an archive of `format` ("zip",
// "tar" or "tar.gz") to `path`. Throws when the archive cannot be written.
void WriteArchive(const std::string& path, const std::string& format,
                  const std::vector<ArchiveEntry>& entries);

}  // namespace korva
