#include "installer/store.h"
#include "platform/read_limits.h"

#include <algorithm>
#include <deque>

#include "platform/text_file.h"

namespace korva {
namespace {

struct Tree {
  std::vector<std::string> files;    // relative paths, "/a/b.txt"
  std::vector<std::string> folders;  // relative paths, "/a"
};

// Breadth-first: the top folder first, then each subfolder in the order
// found, names in listing order. Links are reported, not followed.
Tree WalkTree(Platform& platform, const std::string& top, StoreReport* report) {
  Tree tree;
  std::deque<std::string> queue = {""};
  while (!queue.empty()) {
    std::string folder = queue.front();
    queue.pop_front();
    std::vector<std::string> names;
    if (!platform.ListFolder(top + folder, &names).ok()) continue;
    for (const std::string& name : names) {
      std::string relative = folder + "/" + name;
      if (platform.IsLink(top + relative)) {
        report->skipped.push_back(top + relative + ": a link; links in packages are not copied");
      } else if (platform.IsFolder(top + relative)) {
        tree.folders.push_back(relative);
        queue.push_back(relative);
      } else {
        tree.files.push_back(relative);
      }
    }
  }
  return tree;
}

void AppendSection(std::string* text, const std::vector<std::string>& paths) {
  *text += std::to_string(paths.size()) + "\n";
  for (const std::string& path : paths) *text += path + "\n";
}

void Note(Status status, StoreReport* report) {
  if (!status.ok()) report->failures.push_back(status.message());
}

}  // namespace

std::string StoreListPath(const std::string& gameFolder, int index) {
  return gameFolder + "/chars/mod_char_" + std::to_string(index);
}

std::vector<std::string> ListPackageFiles(Platform& platform, const std::string& packageFolder,
                                          std::vector<std::string>* links) {
  StoreReport report;
  Tree tree = WalkTree(platform, packageFolder + "/files", &report);
  if (links != nullptr) *links = report.skipped;
  return tree.files;
}

StoreReport StoreModFiles(Platform& platform, const std::string& gameFolder,
                          const std::string& packageFolder, int index) {
  StoreReport report;
  const std::string source = packageFolder + "/files";
  Tree tree = WalkTree(platform, source, &report);

  std::vector<std::string> folders, existed;
  for (const std::string& relative : tree.folders) {
    std::string path = gameFolder + relative;
    folders.push_back(path);
    if (platform.Exists(path)) {
      existed.push_back(path);
    } else {
      Note(platform.CreateFolder(path), &report);
    }
  }

  std::vector<std::string> files, movedAside;
  for (const std::string& relative : tree.files) {
    std::string path = gameFolder + relative;
    if (platform.Exists(path + "_bak")) {
      report.skipped.push_back(path + ": not copied, since " + path +
                               "_bak already exists beside it; both are left as they are");
      continue;
    }
    if (platform.IsFolder(path)) {
      report.skipped.push_back(path + ": not copied, since the game has a folder of that name");
      continue;
    }
    bool replaces = platform.Exists(path);
    if (replaces) {
      Status moved = platform.Rename(path, path + "_bak");
      if (!moved.ok()) {
        report.failures.push_back(moved.message() + " (not replaced: the game file stays)");
        continue;
      }
    }
    Status copied = platform.CopyFile(source + relative, path);
    if (!copied.ok()) {
      report.failures.push_back(copied.message());
      if (replaces) Note(platform.Rename(path + "_bak", path), &report);
      continue;
    }
    files.push_back(path);
    if (replaces) movedAside.push_back(path);
  }

  std::string list;
  AppendSection(&list, files);
  AppendSection(&list, folders);
  AppendSection(&list, movedAside);
  AppendSection(&list, existed);
  Note(ReplaceText(platform, StoreListPath(gameFolder, index), list), &report);
  return report;
}

StoreReport RemoveStoredFiles(Platform& platform, const std::string& gameFolder, int index) {
  StoreReport report;
  const std::string listPath = StoreListPath(gameFolder, index);
  std::vector<std::string> lines;
  if (!platform.Exists(listPath)) return report;
  Status read = ReadTextLines(platform, listPath, kRecordFileLimit, &lines);
  if (!read.ok()) {
    report.failures.push_back(read.message());
    return report;
  }

  // Four sections, each a count and that many paths; a short file ends early.
  std::vector<std::string> sections[4];
  size_t line = 0;
  for (std::vector<std::string>& section : sections) {
    if (line >= lines.size()) break;
    const std::string& countLine = lines[line++];
    size_t digits = 0;
    while (digits < countLine.size() && countLine[digits] >= '0' && countLine[digits] <= '9') {
      ++digits;
    }
    size_t count = digits == 0 ? 0 : std::stoul(countLine.substr(0, std::min<size_t>(digits, 9)));
    for (size_t i = 0; i < count && line < lines.size(); ++i) section.push_back(lines[line++]);
  }
  // Every path must lead to a place inside the game folder before anything
  // is changed.
  std::vector<std::string> touched;
  for (const std::vector<std::string>& section : sections) {
    touched.insert(touched.end(), section.begin(), section.end());
  }
  for (const std::string& path : sections[2]) touched.push_back(path + "_bak");
  for (const std::string& path : touched) {
    Status inside = platform.CheckInside(gameFolder, path);
    if (!inside.ok()) {
      report.failures.push_back(listPath + " names " + inside.message());
      return report;
    }
  }
  Status removed = platform.Remove(listPath);
  if (!removed.ok()) {
    report.failures.push_back(removed.message() + " (nothing of the place's files was removed)");
    return report;
  }

  const auto& [files, folders, movedAside, existed] = sections;
  for (const std::string& path : files) {
    if (platform.Exists(path)) Note(platform.Remove(path), &report);
  }
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    if (std::find(existed.begin(), existed.end(), *folder) != existed.end()) continue;
    // A folder that something else was put into stays; that is no failure.
    std::vector<std::string> names;
    if (!platform.IsFolder(*folder) || !platform.ListFolder(*folder, &names).ok() || !names.empty()) {
      continue;
    }
    Note(platform.RemoveEmptyFolder(*folder), &report);
  }
  for (const std::string& path : movedAside) {
    Status back = platform.Rename(path + "_bak", path);
    if (back.ok()) {
      report.restored.push_back(path + "_bak");
    } else {
      report.failures.push_back(back.message() + " (the game's own file stays under this name)");
    }
  }
  return report;
}

}  // namespace korva
