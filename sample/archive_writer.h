// Archives written entry by entry: zip and tar files holding files, folders
// and links with names exactly as given, for the packed sample game and for
// tests that need sound, corrupt or hostile archives.
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

// Writes `entries` as an archive of `format` ("zip", "tar" or "tar.gz") to
// `path`. Throws std::runtime_error naming the path when it cannot be written.
void WriteArchive(const std::string& path, const std::string& format,
                  const std::vector<ArchiveEntry>& entries);

}  // namespace korva
