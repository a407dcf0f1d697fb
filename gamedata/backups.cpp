#include "gamedata/backups.h"
#include "platform/read_limits.h"

#include "platform/optional_file.h"
#include "platform/text_file.h"

namespace korva {

const std::vector<GameFile>& BackedUpGameFiles() {
  static const std::vector<GameFile> kFiles = {
      {2, "/global/gameglobal.led", GameFileKind::kMoveThenReplace, "/data/gameglobal.led"},
      {3, "/chars/mods_pawnik.cpj", GameFileKind::kAddIfAbsent, "/data/mods_pawnik.cpj"},
      {3, "/chars/mods_faces.cpj", GameFileKind::kAddIfAbsent, "/data/mods_faces.cpj"},
      {3, "/chars/mods_misc.cpj", GameFileKind::kAddIfAbsent, "/data/mods_misc.cpj"},
      // The game spells this folder with a capital C; names are matched
      // case-insensitively, so it is the same "chars" folder.
      {4, "/Chars/charstxt.fpk", GameFileKind::kMoveThenReplace, "/data/charstxt.fpk"},
      {5, "/chars/quorin_pawnik.cpj", GameFileKind::kMoveThenReplace, "/data/quorin_pawnik.cpj"},
      {6, "/stuff/icons/icontpage_nxg.tex", GameFileKind::kMoveThenReplace,
       "/data/icontpage_nxg.tex"},
      {7, "/stuff/text/text.csv", GameFileKind::kCopy, nullptr},
      {8, "/audio/samples_nxg.cfg", GameFileKind::kCopy, nullptr},
      {9, "/audio/restsfx_pc.pac", GameFileKind::kMove, nullptr},
      {10, "/stuff/bolttypes.txt", GameFileKind::kCopy, nullptr},
      {11, "/levels/builder/builderdefault/playeritemtypes.txt", GameFileKind::kCopy, nullptr},
      {12, kAbilitiesFile, GameFileKind::kCopy, nullptr},
      {12, kModAbilitiesFile, GameFileKind::kModAbilities, nullptr},
  };
  return kFiles;
}

std::vector<MovedFileBack> MovedFilesBack(Platform& platform, const std::string& gameFolder) {
  std::vector<MovedFileBack> back;
  for (const GameFile& file : BackedUpGameFiles()) {
    const std::string path = gameFolder + file.path;
    if (file.kind != GameFileKind::kMove || !platform.CanRead(path) ||
        !platform.CanRead(path + kBackupSuffix)) {
      continue;
    }
    bool same = false;
    SameBytes(platform, path, path + kBackupSuffix, &same);
    back.push_back({file.path, same});
  }
  return back;
}

namespace {

class BackupRun {
 public:
  BackupRun(Platform& platform, const std::string& gameFolder, const std::string& programFolder,
            std::vector<Status>* notes)
      : platform_(platform), game_(gameFolder), program_(programFolder), notes_(notes) {}

  void Run(const GameFile& file) {
    std::string path = game_ + file.path;
    switch (file.kind) {
      case GameFileKind::kCopy: Copy(path); break;
      case GameFileKind::kMove: Move(path); break;
      case GameFileKind::kMoveThenReplace: MoveThenReplace(path, program_ + file.prepared); break;
      case GameFileKind::kAddIfAbsent: AddIfAbsent(path, program_ + file.prepared); break;
      case GameFileKind::kModAbilities: AddModAbilities(path, game_ + kAbilitiesFile); break;
    }
  }

  std::vector<Status> TakeFailures() { return std::move(failures_); }

 private:
  void Fail(const std::string& path, const std::string& what) {
    failures_.push_back(Status::PathError(path, what));
  }
  // Something missing that nothing could be done about: a note when the
  // caller keeps notes apart, else a failure like any other.
  void Note(const std::string& path, const std::string& what) {
    (notes_ != nullptr ? *notes_ : failures_).push_back(Status::PathError(path, what));
  }

  void Copy(const std::string& path) {
    std::string backup = path + kBackupSuffix;
    if (platform_.CanRead(backup)) return;
    if (!platform_.Exists(path)) return Note(path, "not found, so no backup of it was made");
    Status copied = platform_.CopyFile(path, backup);
    if (!copied.ok()) Fail(path, "no backup copy could be made (" + copied.message() + ")");
  }

  void Move(const std::string& path) {
    std::string backup = path + kBackupSuffix;
    if (platform_.CanRead(backup)) return;
    if (!platform_.Exists(path)) return Note(path, "not found, so it was not moved to its backup name");
    Status moved = platform_.Rename(path, backup);
    if (!moved.ok()) {
      Fail(path, "could not be moved to its backup name (" + moved.message() + ")");
    }
  }

  void MoveThenReplace(const std::string& path, const std::string& prepared) {
    std::string backup = path + kBackupSuffix;
    bool movedNow = false;
    if (!platform_.CanRead(backup) && platform_.Exists(path)) {
      // Without the prepared version the game keeps its own file in place.
      if (!platform_.CanRead(prepared)) {
        return Note(path, "left as the game's own file, because the program's prepared version " +
                              prepared + " cannot be read");
      }
      Status moved = platform_.Rename(path, backup);
      if (!moved.ok()) {
        return Fail(path, "left as the game's own file, because it could not be moved to its "
                          "backup name (" + moved.message() + ")");
      }
      movedNow = true;
    }
    if (platform_.CanRead(path)) return;
    if (!platform_.CanRead(prepared)) {
      return Note(path, "missing, and the program's prepared version " + prepared +
                            " cannot be read");
    }
    Status copied = platform_.CopyFile(prepared, path);
    if (copied.ok()) return;
    if (movedNow && platform_.Rename(backup, path).ok()) {
      return Fail(path, "left as the game's own file, because the prepared version could not be "
                        "put in its place (" + copied.message() + ")");
    }
    Fail(path, "the prepared version could not be put in its place (" +
                   copied.message() + ")" +
                   (platform_.CanRead(backup) ? "; the game's own file is kept as " + backup : ""));
  }

  void AddIfAbsent(const std::string& path, const std::string& prepared) {
    if (platform_.CanRead(path)) return;
    if (!platform_.CanRead(prepared)) {
      return Note(path, "could not be added (" + prepared + ": the program's prepared version "
                        "cannot be read)");
    }
    Status copied = platform_.CopyFile(prepared, path);
    if (!copied.ok()) Fail(path, "could not be added (" + copied.message() + ")");
  }

  void AddModAbilities(const std::string& modAbilities, const std::string& abilities) {
    if (platform_.CanRead(modAbilities)) return;
    if (!platform_.CanRead(abilities + kBackupSuffix)) {
      return Note(modAbilities, "not created, and " + abilities +
                                    " was left as it is, because that file has no backup copy");
    }
    Status created = platform_.ReplaceFile(modAbilities, "");
    if (!created.ok()) {
      return Fail(modAbilities, "could not be created (" + created.message() + "), so " +
                                    abilities + " was left as it is");
    }
    // The two lines go on lines of their own, also after a last line
    // without a line end.
    std::string current;
    Status status = ReadFileIfPresent(platform_, abilities, kGameTextLimit, &current);
    std::string addition = kAbilitiesAddition;
    if (!current.empty() && current.back() != '\n') addition = "\n" + addition;
    if (status.ok()) status = AppendText(platform_, abilities, addition);
    if (status.ok()) return;
    // Without the reference the new file would never be read; removing it
    // makes the next start try again.
    Status removed = platform_.Remove(modAbilities);
    Fail(abilities, "the reference to " + modAbilities + " could not be added (" +
                        status.message() + ")" +
                        (removed.ok() ? "" : "; " + modAbilities + " is left empty and unused"));
  }

  Platform& platform_;
  const std::string& game_;
  const std::string& program_;
  std::vector<Status>* notes_;
  std::vector<Status> failures_;
};

}  // namespace

std::vector<Status> BackUpGameFiles(Platform& platform, const std::string& gameFolder,
                                    const std::string& programFolder, std::vector<Status>* notes) {
  BackupRun run(platform, gameFolder, programFolder, notes);
  for (const GameFile& file : BackedUpGameFiles()) run.Run(file);
  return run.TakeFailures();
}

}  // namespace korva
