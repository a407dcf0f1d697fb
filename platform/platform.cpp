#include "platform/platform.h"

#include <algorithm>
#include <functional>

#include "platform/platform_common.h"

namespace korva {

std::string ShellCommandText(const std::vector<std::string>& argv) {
  std::string text = "\"";
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    bool quoted = i == 0 || arg.find(' ') != std::string::npos ||
                  arg.find_first_of("/\\", 1) != std::string::npos;
    if (i > 0) text += ' ';
    text += quoted ? "\"" + arg + "\"" : arg;
  }
  return text + "\"";
}

Status SameBytes(Platform& platform, const std::string& a, const std::string& b, bool* same) {
  // Compared a block at a time, so that big files need little memory; the
  // first block is small, as files that differ mostly differ early.
  constexpr size_t kFirstBlock = 64 << 10;
  constexpr size_t kBlock = 1 << 20;
  *same = false;
  FileInfo infoA, infoB;
  Status status = platform.Stat(a, &infoA);
  if (status.ok()) status = platform.Stat(b, &infoB);
  if (!status.ok() || infoA.size != infoB.size) return status;
  std::string bytesA, bytesB;
  for (uint64_t offset = 0; offset < infoA.size;) {
    const size_t block = offset == 0 ? kFirstBlock : kBlock;
    status = platform.ReadAt(a, offset, block, &bytesA);
    if (status.ok()) status = platform.ReadAt(b, offset, block, &bytesB);
    if (!status.ok() || bytesA != bytesB) return status;
    offset += block;
  }
  *same = true;
  return Status::Ok();
}

ProgramFolders ChooseProgramFolders(Platform& platform, const std::string& executableFolder,
                                    const std::function<bool()>& writable,
                                    const std::string& installedProgram,
                                    const std::string& settingsBase, const std::string& dataBase) {
  ProgramFolders folders;
  if ((platform.Exists(executableFolder + "/config.ini") ||
       platform.Exists(executableFolder + "/portable")) &&
      writable()) {
    folders.program = folders.settings = folders.user_files = executableFolder;
    return folders;
  }
  folders.program = installedProgram;
  folders.settings = settingsBase + "/korva-zid";
  folders.user_files = dataBase + "/korva-zid";
  folders.apart = true;
  return folders;
}

Status MakeFolders(Platform& platform, const std::string& path) {
  if (platform.IsFolder(path)) return Status::Ok();
  // The missing folders, deepest first, up to the first that exists.
  std::vector<std::string> missing;
  for (std::string folder = path; !folder.empty() && !platform.Exists(folder);
       folder = ParentFolder(folder)) {
    missing.push_back(folder);
  }
  for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
    Status made = platform.CreateFolder(*folder);
    if (!made.ok()) return made;
  }
  return platform.IsFolder(path) ? Status::Ok() : Status::PathError(path, "not a folder");
}

Status Platform::RemoveOwnTree(const std::string& path) {
  std::vector<std::string> stuck;
  std::function<void(const std::string&)> remove = [&](const std::string& folder) {
    std::vector<std::string> names;
    Status listed = ListFolder(folder, &names);
    if (!listed.ok()) {
      stuck.push_back(listed.message());
      return;
    }
    for (const std::string& name : names) {
      const std::string entry = folder + "/" + name;
      Status removed;
      if (IsFolder(entry) && !IsLink(entry)) {
        const size_t before = stuck.size();
        remove(entry);
        if (stuck.size() != before) continue;
        removed = RemoveEmptyFolder(entry);
      } else {
        removed = RemoveOwnFile(entry);
      }
      if (!removed.ok()) stuck.push_back(removed.message());
    }
  };
  remove(path);
  if (stuck.empty()) {
    Status removed = RemoveEmptyFolder(path);
    if (!removed.ok()) stuck.push_back(removed.message());
  }
  return EntriesThatStay(stuck);
}

Status EntriesThatStay(const std::vector<std::string>& stuck) {
  if (stuck.empty()) return Status::Ok();
  std::string text = stuck.front();
  for (size_t i = 1; i < stuck.size(); ++i) text += "\n" + stuck[i];
  return Status::Error(text);
}

bool NameLess(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = (a[i] >= 'a' && a[i] <= 'z') ? a[i] - 32 : static_cast<unsigned char>(a[i]);
    int cb = (b[i] >= 'a' && b[i] <= 'z') ? b[i] - 32 : static_cast<unsigned char>(b[i]);
    if (ca != cb) return ca < cb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

bool HasDotDot(const std::string& path, const char* separators) {
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find_first_of(separators, pos);
    if (end == std::string::npos) end = path.size();
    if (end - pos == 2 && path.compare(pos, 2, "..") == 0) return true;
    pos = end + 1;
  }
  return false;
}

std::string BaseName(const std::string& path) {
  size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string ParentFolder(const std::string& path) {
  size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? "" : path.substr(0, separator);
}

}  // namespace korva
