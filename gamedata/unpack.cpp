#include "gamedata/unpack.h"

#include <deque>
#include <set>
#include <sstream>

#include "gamedata/managed_files.h"
#include "platform/file_names.h"

namespace korva {

const char kUnpackingMessage[] =
    "Found packed game data files. Unpacking.\nThis will take time. Be patient.";
const char kUnpackerMissingMessage[] =
    "Unpacker or one of its files is missing. Redownload the mod manager.";

namespace {

const char* const kUnpackerFiles[] = {"/quickbms.exe", "/vantrel.bms"};

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

bool IsArchiveName(const std::string& name) {
  return name.size() > 3 && (EndsWith(name, ".dat") || EndsWith(name, ".DAT"));
}

Status FindArchives(Platform& platform, const std::string& gameFolder,
                    std::vector<std::string>* names) {
  names->clear();
  std::vector<std::string> entries;
  Status listed = platform.ListFolder(gameFolder, &entries);
  if (!listed.ok()) return listed;
  for (const std::string& name : entries) {
    const std::string path = gameFolder + "/" + name;
    if (IsArchiveName(name) && !platform.IsFolder(path) && platform.CanRead(path)) {
      names->push_back(name);
    }
  }
  return Status::Ok();
}

namespace {

// Moves what the unpacker wrote into `scratch` to the same paths in the game
// folder, replacing files of the game's that are there. Checks every entry
// before anything is moved: none may be one of the program's own paths or
// one of the archives of the pass, nor a file where the game folder has a
// folder, or the reverse.
Status MoveUnpackedFiles(Journal& journal, const std::string& gameFolder,
                         const std::string& scratch, const std::set<std::string>& archives,
                         const std::string& archive) {
  std::vector<std::string> folders, files;
  std::deque<std::string> queue = {""};
  while (!queue.empty()) {
    const std::string folder = queue.front();
    queue.pop_front();
    std::vector<std::string> names;
    Status listed = journal.ListFolder(scratch + folder, &names);
    if (!listed.ok()) return listed;
    for (const std::string& name : names) {
      const std::string relative = folder + "/" + name;
      if (journal.IsFolder(scratch + relative)) {
        folders.push_back(relative);
        queue.push_back(relative);
      } else {
        files.push_back(relative);
      }
    }
  }
  auto refuse = [&archive](const std::string& relative, const std::string& why) {
    return Status::Error(archive + " holds \"" + relative.substr(1) + "\", " + why +
                         ", so it was not unpacked");
  };
  for (const std::string& relative : folders) {
    const std::string path = gameFolder + relative;
    if (journal.Exists(path) && !journal.IsFolder(path)) {
      return refuse(relative, "a folder where the game folder has a file");
    }
  }
  std::vector<std::string> replaced;
  std::vector<FilePair> moves;
  for (const std::string& relative : files) {
    const std::string path = gameFolder + relative;
    if (IsProgramPath(relative)) return refuse(relative, "one of this program's own files");
    if (archives.count(FoldedName(relative)) != 0) return refuse(relative, "an archive of the game's");
    if (journal.IsFolder(path)) return refuse(relative, "a file where the game folder has a folder");
    if (journal.Exists(path)) replaced.push_back(path);
    // What a cut-off run of an older version left under the temporary name.
    if (journal.Exists(path + "_temp") && !journal.IsFolder(path + "_temp")) {
      replaced.push_back(path + "_temp");
    }
    moves.push_back({scratch + relative, path});
  }
  for (const std::string& relative : folders) {
    if (journal.IsFolder(gameFolder + relative)) continue;
    Status made = journal.CreateFolder(gameFolder + relative);
    if (!made.ok()) return made;
  }
  Status status = journal.RemoveFiles(replaced);
  if (status.ok()) status = journal.MoveInFiles(moves);
  return status;
}

// Reads the unpacker's "progress DONE TOTAL" lines: the bytes of the
// archive it has read.
uint64_t BytesRead(const std::vector<std::string>& lines, uint64_t before) {
  uint64_t done = before;
  for (const std::string& line : lines) {
    std::istringstream words(line);
    std::string word;
    uint64_t value = 0;
    if (words >> word >> value && word == "progress" && value > done) done = value;
  }
  return done;
}

}  // namespace

UnpackReport UnpackGameArchives(Journal& journal, const std::string& gameFolder,
                                const std::string& programFolder,
                                const std::function<void()>& beforeUnpacking, Progress* progress) {
  UnpackReport report;
  std::vector<std::string> archives;
  report.status = FindArchives(journal, gameFolder, &archives);
  if (!report.status.ok() || archives.empty()) return report;
  report.archives_found = true;
  beforeUnpacking();
  report.status = PrepareUnpacker(journal, gameFolder, programFolder, &report.unpacker_missing);
  if (!report.status.ok()) return report;

  std::set<std::string> keys;
  std::vector<uint64_t> sizes;
  uint64_t total = 0;
  for (const std::string& name : archives) {
    keys.insert(FoldedName("/" + name));
    FileInfo info;
    journal.Stat(gameFolder + "/" + name, &info);
    sizes.push_back(info.size);
    total += info.size;
  }
  if (progress != nullptr) progress->Stage("Unpacking", total);
  for (size_t k = 0; k < archives.size(); ++k) {
    const std::string& name = archives[k];
    const std::string path = gameFolder + "/" + name;
    if (progress != nullptr) {
      progress->Say("Unpacking " + name + " (" + std::to_string(k + 1) + " of " +
                    std::to_string(archives.size()) + ")");
    }
    std::string scratch;
    Status status = journal.ScratchFolder(&scratch);
    uint64_t read = 0;
    auto watch = [&](const std::vector<std::string>& lines) {
      const uint64_t now = BytesRead(lines, read);
      const uint64_t more = now - read;
      read = now;
      return progress == nullptr || progress->Advance(more);
    };
    if (status.ok()) status = UnpackArchive(journal, gameFolder, path, scratch, watch);
    if (status.ok() && progress != nullptr && sizes[k] > read) progress->Advance(sizes[k] - read);
    if (status.ok()) status = MoveUnpackedFiles(journal, gameFolder, scratch, keys, name);
    if (status.ok()) {
      status = journal.Remove(path);
      if (!status.ok()) {
        status = Status::Error(status.message() + " (the archive could not be deleted once unpacked)");
      }
    }
    if (!status.ok()) {
      report.status = status.cancelled() || status.message().rfind(name, 0) == 0
                          ? status
                          : Status::PathError(name, status.message());
      return report;
    }
    report.unpacked.push_back(name);
  }
  report.status = RemoveUnpacker(journal, gameFolder);
  return report;
}

Status PrepareUnpacker(Platform& platform, const std::string& gameFolder,
                       const std::string& programFolder, bool* missing) {
  *missing = false;
  for (const char* file : kUnpackerFiles) {
    if (!platform.CanRead(programFolder + "/tools" + file)) {
      *missing = true;
      return Status::PathError(programFolder + "/tools" + file, "missing");
    }
  }
  for (const char* file : kUnpackerFiles) {
    const std::string shipped = programFolder + "/tools" + file;
    const std::string copy = gameFolder + file;
    if (platform.NativePath(platform.AbsolutePath(shipped)) ==
        platform.NativePath(platform.AbsolutePath(copy))) {
      return Status::PathError(copy, "the game folder is the program's tools folder");
    }
    // Whatever stands under the copy's name (an older copy, a file put there
    // by someone else, a link) or under the name the copy is made under is
    // removed first: only the shipped tool is ever run.
    for (const std::string& path : {copy, copy + "_temp"}) {
      if (!platform.Exists(path)) continue;
      Status removed = platform.Remove(path);
      if (!removed.ok()) return removed;
    }
    Status copied = platform.CopyFile(shipped, copy);
    if (!copied.ok()) return copied;
  }
  return Status::Ok();
}

Status UnpackArchive(Platform& platform, const std::string& gameFolder,
                     const std::string& archivePath, const std::string& outputFolder,
                     const ProgramWatch& watch) {
  // The unpacker is an outside program: it gets the paths as spelled on disk.
  std::vector<std::string> argv = {
      platform.NativePath(gameFolder + "/quickbms.exe"),
      platform.NativePath(gameFolder + "/vantrel.bms"),
      platform.NativePath(archivePath),
      platform.NativePath(outputFolder) + "/",
  };
  int exitStatus = 0;
  Status ran = platform.RunProgram(argv, &exitStatus, watch);
  if (!ran.ok()) return ran;
  if (exitStatus != 0) {
    return Status::Error("the unpacker ended with exit status " + std::to_string(exitStatus));
  }
  return Status::Ok();
}

Status RemoveUnpacker(Platform& platform, const std::string& gameFolder) {
  Status first;
  for (const char* file : kUnpackerFiles) {
    if (!platform.Exists(gameFolder + file)) continue;
    Status removed = platform.Remove(gameFolder + file);
    if (first.ok()) first = removed;
  }
  return first;
}

}  // namespace korva
