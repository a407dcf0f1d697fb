// Reading an input file that may be absent, as the package's data and entry
// files may be: absence is not a failure, but a file that is there and cannot
// be read is.
#pragma once

#include <string>

#include "platform/platform.h"

namespace korva {

// Reads the whole file (at most `limit` bytes) into `*bytes`. A missing file
// reads as no bytes and succeeds. On failure (the file exists but cannot be
// read, or is too large) `*bytes` is empty.
inline Status ReadFileIfPresent(Platform& platform, const std::string& path, uint64_t limit,
                                std::string* bytes) {
  Status status = platform.ReadFile(path, limit, bytes);
  if (status.ok()) return status;
  bytes->clear();
  return platform.Exists(path) ? status : Status::Ok();
}

}  // namespace korva
