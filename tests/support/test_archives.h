// Archives that tests make themselves: zip, 7z and tar with gzip, bzip2 or
// xz through libarchive's writer, entry by entry with names exactly as given
// (hostile ones too); and RAR 4 and RAR 5 archives of stored (uncompressed)
// entries, laid out byte by byte, since no free tool writes RAR.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korva {

struct TestEntry {
  enum Kind { kFile, kFolder, kSymlink, kHardlink, kDevice };
  std::string name;
  std::string bytes;   // a file's contents
  Kind kind = kFile;
  std::string link;    // where a link points
  uint64_t zeros = 0;  // a file of this many zero bytes instead of `bytes`
};

// A file entry.
TestEntry File(const std::string& name, const std::string& bytes);

// Writes `entries` as an archive of `format` to `path`: "zip" (deflate),
// "zip-store", "7z", "tar", "tar.gz", "tar.bz2", "tar.xz", "rar4" or "rar5"
// (the RAR ones hold files and folders only). Throws std::runtime_error
// naming the entry when it cannot be written.
void WriteTestArchive(const std::string& path, const std::string& format,
                      const std::vector<TestEntry>& entries);

// The same for `count` entries made one at a time by `make(i)`, so that a
// large archive never sits in memory (libarchive's formats only).
void WriteTestArchive(const std::string& path, const std::string& format, size_t count,
                      const std::function<TestEntry(size_t)>& make);

// `count` bytes that do not compress, the same for the same `seed`.
std::string NoiseBytes(size_t count, uint32_t seed);

}  // namespace korva
