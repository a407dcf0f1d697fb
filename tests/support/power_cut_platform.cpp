#include "tests/support/power_cut_platform.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/file_names.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace korva {
namespace {

// The components of `path` below `root`, compared case-insensitively;
// false when it does not lie in or below it.
bool Below(const std::string& root, const std::string& path, std::vector<std::string>* parts) {
  const std::string folded = FoldedName(path), rootFolded = FoldedName(root);
  if (folded != rootFolded && folded.compare(0, rootFolded.size() + 1, rootFolded + "/") != 0) {
    return false;
  }
  parts->clear();
  for (size_t pos = root.size() + 1; pos < path.size();) {
    size_t end = std::min(path.find('/', pos), path.size());
    if (end > pos) parts->push_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return true;
}

}  // namespace

PowerCutPlatform::PowerCutPlatform(Platform& base, const std::string& watched)
    : base_(base), watched_(watched) {
  while (watched_.size() > 1 && watched_.back() == '/') watched_.pop_back();
  Adopt(base_.NativePath(watched_));
}

Status PowerCutPlatform::Record(const Status& status, const std::vector<Effect>& effects) {
  if (status.ok()) {
    for (const Effect& effect : effects) Apply(effect);
  }
  return status;
}

Status PowerCutPlatform::FlushFiles(const std::vector<std::string>& paths) {
  std::vector<Effect> effects;
  for (const std::string& path : paths) effects.push_back(Flushed(path));
  return Record(base_.FlushFiles(paths), effects);
}

Status PowerCutPlatform::RunProgram(const std::vector<std::string>& argv, int* exitStatus,
                                    const ProgramWatch& watch) {
  const auto before = ReadTree();
  Status ran = base_.RunProgram(argv, exitStatus, watch);
  const auto after = ReadTree();
  const bool lasted = ran.ok() && *exitStatus == 0;
  // Told from what is on disk before and after: removed first, deepest
  // first; then made, outermost first; then flushed.
  std::vector<Effect> effects;
  std::set<std::string> folders;
  auto kindChanged = [](const std::optional<std::string>& a, const std::optional<std::string>& b) {
    return a.has_value() != b.has_value();
  };
  for (auto was = before.rbegin(); was != before.rend(); ++was) {
    auto now = after.find(was->first);
    if (now != after.end() && !kindChanged(was->second, now->second)) continue;
    effects.push_back(Gone(watched_ + "/" + was->first));
    folders.insert(ParentFolder(watched_ + "/" + was->first));
  }
  for (const auto& [relative, bytes] : after) {
    const std::string path = watched_ + "/" + relative;
    auto was = before.find(relative);
    const bool made = was == before.end() || kindChanged(was->second, bytes);
    if (made) {
      effects.push_back(bytes ? NewFile(path) : NewFolder(path));
      folders.insert(ParentFolder(path));
    }
    if (lasted && bytes && (made || was->second != bytes)) effects.push_back(Flushed(path));
  }
  if (lasted) {
    for (const std::string& folder : folders) effects.push_back(FolderFlushed(folder));
  }
  for (const Effect& effect : effects) Apply(effect);
  return ran;
}

void PowerCutPlatform::Apply(const Effect& effect) {
  size_t folder = 0;
  std::string key;
  switch (effect.kind) {
    case Effect::kNewFile:
    case Effect::kNewFolder:
      if (!Place(effect.path, &folder, &key) || nodes_[folder].entries.count(key) != 0) return;
      nodes_.push_back(Node{});
      nodes_.back().folder = effect.kind == Effect::kNewFolder;
      nodes_[folder].entries[key] = {BaseName(base_.NativePath(effect.path)), nodes_.size() - 1};
      return;
    case Effect::kFlushed:
      if (auto node = Find(effect.path); node && !nodes_[*node].folder) {
        nodes_[*node].bytes = ReadBytes(base_.NativePath(effect.path));
      }
      return;
    case Effect::kMoved: {
      std::optional<size_t> moved;
      if (Place(effect.path, &folder, &key)) {
        auto entry = nodes_[folder].entries.find(key);
        if (entry != nodes_[folder].entries.end()) {
          moved = entry->second.node;
          nodes_[folder].entries.erase(entry);
        }
      }
      if (!Place(effect.to, &folder, &key)) return;
      // Brought in from outside: it lasts as it is, but not yet its name.
      if (!moved) moved = Adopt(base_.NativePath(effect.to));
      nodes_[folder].entries[key] = {BaseName(base_.NativePath(effect.to)), *moved};
      return;
    }
    case Effect::kGone:
      if (Place(effect.path, &folder, &key)) nodes_[folder].entries.erase(key);
      return;
    case Effect::kFolderFlushed:
      if (auto node = Find(effect.path); node && nodes_[*node].folder) {
        nodes_[*node].lasting = nodes_[*node].entries;
      }
      return;
  }
}

bool PowerCutPlatform::Place(const std::string& path, size_t* folder, std::string* key) const {
  std::vector<std::string> parts;
  if (!Below(watched_, path, &parts) || parts.empty()) return false;
  size_t node = 0;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    auto entry = nodes_[node].entries.find(FoldedName(parts[i]));
    if (entry == nodes_[node].entries.end() || !nodes_[entry->second.node].folder) return false;
    node = entry->second.node;
  }
  *folder = node;
  *key = FoldedName(parts.back());
  return true;
}

std::optional<size_t> PowerCutPlatform::Find(const std::string& path) const {
  std::vector<std::string> parts;
  if (Below(watched_, path, &parts) && parts.empty()) return 0;
  size_t folder = 0;
  std::string key;
  if (!Place(path, &folder, &key)) return std::nullopt;
  auto entry = nodes_[folder].entries.find(key);
  if (entry == nodes_[folder].entries.end()) return std::nullopt;
  return entry->second.node;
}

size_t PowerCutPlatform::Adopt(const std::string& path) {
  const fs::path disk = fs::u8path(path);
  const size_t id = nodes_.size();
  nodes_.push_back(Node{});
  nodes_[id].folder = fs::is_directory(fs::symlink_status(disk));
  if (!nodes_[id].folder) {
    nodes_[id].bytes = ReadBytes(path);
    return id;
  }
  for (const fs::directory_entry& child : fs::directory_iterator(disk)) {
    if (fs::is_symlink(child.symlink_status())) continue;
    const std::string name = child.path().filename().u8string();
    const size_t node = Adopt(child.path().generic_u8string());
    nodes_[id].entries[FoldedName(name)] = {name, node};
  }
  nodes_[id].lasting = nodes_[id].entries;
  return id;
}

std::map<std::string, std::optional<std::string>> PowerCutPlatform::ReadTree() {
  std::map<std::string, std::optional<std::string>> tree;
  const fs::path root = fs::u8path(base_.NativePath(watched_));
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string relative = it->path().lexically_relative(root).generic_u8string();
    if (fs::is_symlink(it->symlink_status())) {
      it.disable_recursion_pending();
    } else if (it->is_directory()) {
      tree[relative] = std::nullopt;
    } else {
      tree[relative] = ReadBytes(it->path().generic_u8string());
    }
  }
  return tree;
}

void PowerCutPlatform::LoseWhatWasNotFlushed() {
  const std::string root = base_.NativePath(watched_);
  for (const fs::directory_entry& child : fs::directory_iterator(fs::u8path(root))) {
    fs::remove_all(child.path());
  }
  std::vector<size_t> above = {0};
  WriteLasting(0, root, &above);
  // From here on the disk is what lasted.
  nodes_.clear();
  Adopt(root);
}

void PowerCutPlatform::WriteLasting(size_t node, const std::string& path,
                                    std::vector<size_t>* above) {
  for (const auto& [key, entry] : nodes_[node].lasting) {
    const std::string child = path + "/" + entry.name;
    const Node& lasting = nodes_[entry.node];
    if (!lasting.folder) {
      WriteBytes(child, lasting.bytes.value_or(""));
      continue;
    }
    // A folder can last at two names (renamed, only the new folder
    // flushed), but never inside itself.
    if (std::find(above->begin(), above->end(), entry.node) != above->end()) continue;
    fs::create_directory(fs::u8path(child));
    above->push_back(entry.node);
    WriteLasting(entry.node, child, above);
    above->pop_back();
  }
}

}  // namespace korva
