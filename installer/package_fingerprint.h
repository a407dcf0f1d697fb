// A cheap fingerprint of a mod package folder, so that a package changed
// since it was installed (a new version imported over it, a file edited by
// hand) is noticed without reading its files' contents; and a fingerprint
// of its contents, which travels with a shared roster to another computer.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "platform/platform.h"

namespace korva {

// XXH3 (64 bits, as 16 hexadecimal digits) over the relative path, size and
// time of last change of every file below `packageFolder`, in listing
// order; links are counted by name and not followed. No file's contents are
// read. It changes when a file is added, removed, renamed or written (its
// time of last change moves). "" for a folder that cannot be listed.
std::string PackageFingerprint(Platform& platform, const std::string& packageFolder);

// XXH3 (64 bits) of bytes handed over in pieces: the hash of one file's
// contents for a ContentFingerprint.
class BytesHash {
 public:
  BytesHash();
  ~BytesHash();
  BytesHash(const BytesHash&) = delete;
  BytesHash& operator=(const BytesHash&) = delete;
  void Add(std::string_view bytes);
  uint64_t Digest() const;

 private:
  void* state_;  // XXH3_state_t
};

// The fingerprint of a package's contents, which, unlike
// PackageFingerprint, is the same on every computer that holds the same
// files: XXH3 (64 bits, as 16 hexadecimal digits) over the relative path
// ("files/a.tex", "/" between folders), the size and the BytesHash of every
// file, taken in the byte order of the paths, so the order in which the
// files are met does not count. Folders count only by the files in them.
class ContentFingerprint {
 public:
  void AddFile(const std::string& relativePath, uint64_t size, uint64_t bytesHash);
  std::string Hex() const;
  size_t file_count() const { return files_.size(); }

 private:
  std::map<std::string, std::pair<uint64_t, uint64_t>> files_;  // path -> size, hash
};

// Reads every file below `packageFolder` and sets `*fingerprint` to its
// ContentFingerprint. Fails naming the entry that cannot be read, and a link
// or device inside the folder.
Status PackageContentFingerprint(Platform& platform, const std::string& packageFolder,
                                 std::string* fingerprint);

}  // namespace korva
