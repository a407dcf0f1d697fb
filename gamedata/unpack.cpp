#include "gamedata/unpack.h"

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

UnpackReport UnpackGameArchives(Platform& platform, const std::string& gameFolder,
                                const std::string& programFolder,
                                const std::function<void()>& beforeUnpacking) {
  UnpackReport report;
  std::vector<std::string> names;
  report.listed = platform.ListFolder(gameFolder, &names);
  if (!report.listed.ok()) return report;
  for (const std::string& name : names) {
    std::string path = gameFolder + "/" + name;
    if (!IsArchiveName(name) || platform.IsFolder(path) || !platform.CanRead(path)) continue;
    if (!report.archives_found) {
      report.archives_found = true;
      beforeUnpacking();
      report.prepared = PrepareUnpacker(platform, gameFolder, programFolder,
                                        &report.unpacker_missing);
      if (report.unpacker_missing) return report;
      if (!report.prepared.ok()) break;
    }
    Status unpacked = UnpackArchive(platform, gameFolder, path);
    if (!unpacked.ok()) {
      report.kept.push_back(name + ": " + unpacked.message());
      continue;
    }
    Status deleted = platform.Remove(path);
    if (deleted.ok()) {
      report.unpacked.push_back(name);
    } else {
      report.not_deleted.push_back(name + ": " + deleted.message());
    }
  }
  if (report.archives_found) {
    report.removed = RemoveUnpacker(platform, gameFolder);
    // The deletions last, so that a power cut cannot bring back an archive
    // that would be unpacked again over files changed since.
    report.synced = platform.SyncFolder(gameFolder);
  }
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
                     const std::string& archivePath) {
  // The unpacker is an outside program: it gets the paths as spelled on disk.
  std::vector<std::string> argv = {
      platform.NativePath(gameFolder + "/quickbms.exe"),
      platform.NativePath(gameFolder + "/vantrel.bms"),
      platform.NativePath(archivePath),
      platform.NativePath(gameFolder) + "/",
  };
  int exitStatus = 0;
  Status ran = platform.RunProgram(argv, &exitStatus);
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

std::string UnpackFinishedMessage(const UnpackReport& report) {
  std::string text;
  if (!report.prepared.ok()) {
    text = "The unpacker could not be copied into the game folder (" + report.prepared.message() +
           "). No archive was unpacked; they are kept and the next start tries again.";
  } else {
    text = "Initial unpacking finished.";
  }
  auto list = [&text](const std::vector<std::string>& lines) {
    for (const std::string& line : lines) text += "\n" + line;
  };
  if (!report.kept.empty()) {
    text += "\n\nThese archives could not be unpacked and are kept in the game folder; the "
            "next start tries them again:";
    list(report.kept);
  }
  if (!report.not_deleted.empty()) {
    text += "\n\nThese archives were unpacked but could not be deleted. Delete them from the "
            "game folder before the next start, or it unpacks them again over the game's "
            "files:";
    list(report.not_deleted);
  }
  if (!report.removed.ok()) {
    text += "\n\nThe unpacker's copy could not be removed from the game folder (" +
            report.removed.message() + ").";
  }
  if (!report.synced.ok()) {
    text += "\n\nThe deletion of the unpacked archives could not be flushed to disk (" +
            report.synced.message() +
            "). If the computer stops now, an archive may come back and be unpacked again.";
  }
  return text;
}

}  // namespace korva
