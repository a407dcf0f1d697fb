#include "installer/package_fingerprint.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

namespace korva {

std::string PackageFingerprint(Platform& platform, const std::string& packageFolder) {
  std::vector<std::string> names;
  if (!platform.ListFolder(packageFolder, &names).ok()) return "";
  std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), XXH3_freeState);
  XXH3_64bits_reset(state.get());
  // Each entry adds "kind relative-path NUL size NUL time NUL".
  auto add = [&](char kind, const std::string& relative, const FileInfo& info) {
    const std::string entry = std::string(1, kind) + relative + '\0' + std::to_string(info.size) +
                              '\0' + std::to_string(info.modified) + '\0';
    XXH3_64bits_update(state.get(), entry.data(), entry.size());
  };
  std::deque<std::string> folders = {""};
  while (!folders.empty()) {
    const std::string folder = folders.front();
    folders.pop_front();
    if (!folder.empty() && !platform.ListFolder(packageFolder + folder, &names).ok()) {
      add('?', folder, FileInfo());
      continue;
    }
    for (const std::string& name : names) {
      const std::string relative = folder + "/" + name;
      const std::string path = packageFolder + relative;
      FileInfo info;
      if (platform.IsLink(path)) {
        add('L', relative, FileInfo());
      } else if (platform.Stat(path, &info).ok() && info.folder) {
        folders.push_back(relative);
      } else {
        add('F', relative, info);
      }
    }
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx",
                static_cast<unsigned long long>(XXH3_64bits_digest(state.get())));
  return hex;
}

}  // namespace korva

namespace korva {
namespace {

// Blocks in which a file is read for its hash.
constexpr size_t kHashBlock = 1024 * 1024;

XXH3_state_t* State(void* state) { return static_cast<XXH3_state_t*>(state); }

}  // namespace

BytesHash::BytesHash() : state_(XXH3_createState()) { XXH3_64bits_reset(State(state_)); }
BytesHash::~BytesHash() { XXH3_freeState(State(state_)); }
void BytesHash::Add(std::string_view bytes) { XXH3_64bits_update(State(state_), bytes.data(), bytes.size()); }
uint64_t BytesHash::Digest() const { return XXH3_64bits_digest(State(state_)); }

void ContentFingerprint::AddFile(const std::string& relativePath, uint64_t size, uint64_t bytesHash) {
  files_[relativePath] = {size, bytesHash};
}

std::string ContentFingerprint::Hex() const {
  BytesHash all;
  // Each file adds "relative-path NUL size NUL hash NUL".
  for (const auto& [path, file] : files_) {
    all.Add(path + '\0' + std::to_string(file.first) + '\0' + std::to_string(file.second) + '\0');
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(all.Digest()));
  return hex;
}

Status PackageContentFingerprint(Platform& platform, const std::string& packageFolder,
                                 std::string* fingerprint) {
  ContentFingerprint content;
  std::deque<std::string> folders = {""};
  std::string block;
  while (!folders.empty()) {
    const std::string folder = folders.front();
    folders.pop_front();
    std::vector<std::string> names;
    Status listed = platform.ListFolder(packageFolder + (folder.empty() ? "" : "/" + folder), &names);
    if (!listed.ok()) return listed;
    for (const std::string& name : names) {
      const std::string relative = folder.empty() ? name : folder + "/" + name;
      const std::string path = packageFolder + "/" + relative;
      FileInfo info;
      if (platform.IsLink(path)) return Status::PathError(path, "is a link");
      Status stat = platform.Stat(path, &info);
      if (!stat.ok()) return stat;
      if (info.folder) {
        folders.push_back(relative);
        continue;
      }
      if (!info.regular) return Status::PathError(path, "is a device or another special file");
      BytesHash hash;
      uint64_t size = 0;
      for (;;) {
        Status read = platform.ReadAt(path, size, kHashBlock, &block);
        if (!read.ok()) return read;
        if (block.empty()) break;
        hash.Add(block);
        size += block.size();
      }
      content.AddFile(relative, size, hash.Digest());
    }
  }
  *fingerprint = content.Hex();
  return Status::Ok();
}

}  // namespace korva
