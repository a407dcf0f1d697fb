// A Platform over another that keeps, for one watched folder (the game
// folder), what a strict file system would still hold after a power cut.
//
// On a strict file system a file's bytes last only once they were flushed,
// and an entry of a folder (made, renamed in or out, removed) only once that
// folder was flushed. The model starts with everything below the watched
// folder lasting as it is. Each call that succeeds below adds its effects,
// taken from its contract in platform.h: which files it makes, renames or
// removes, and which file bytes or folder entries it flushes. Bytes are read
// from disk when they become lasting. A file keeps its identity through
// renames. LoseWhatWasNotFlushed() then rewrites the watched folder as the
// disk holds it after the power went: each folder with the entries it had
// when it was last flushed, each file with the bytes it had when they were
// last flushed (empty when never).
//
// The cut itself comes from the platform below (TestPlatform::CutPowerAt):
// a call that fails there changed nothing and adds nothing here. Files
// outside the watched folder are not modelled; links are not kept.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace korva {

class PowerCutPlatform : public Platform {
 public:
  PowerCutPlatform(Platform& base, const std::string& watched);

  // Rewrites the watched folder on disk as it lasted: what was never
  // flushed is gone.
  void LoseWhatWasNotFlushed();

  bool CanRead(const std::string& path) override { return base_.CanRead(path); }
  bool Exists(const std::string& path) override { return base_.Exists(path); }
  bool IsFolder(const std::string& path) override { return base_.IsFolder(path); }
  bool IsLink(const std::string& path) override { return base_.IsLink(path); }
  Status Stat(const std::string& path, FileInfo* info) override { return base_.Stat(path, info); }
  Status ReadFile(const std::string& path, uint64_t limit, std::string* bytes) override {
    return base_.ReadFile(path, limit, bytes);
  }
  Status ReadAt(const std::string& path, uint64_t offset, size_t size,
                std::string* bytes) override {
    return base_.ReadAt(path, offset, size, bytes);
  }
  Status ListFolder(const std::string& path, std::vector<std::string>* names) override {
    return base_.ListFolder(path, names);
  }
  Status CheckInside(const std::string& root, const std::string& path) override {
    return base_.CheckInside(root, path);
  }
  Status TryLockFile(const std::string& path, bool* taken, intptr_t* handle) override {
    return base_.TryLockFile(path, taken, handle);
  }
  void UnlockFile(const std::string& path, intptr_t handle) override { base_.UnlockFile(path, handle); }
  std::string ProgramFolder() override { return base_.ProgramFolder(); }
  ProgramFolders Folders() override { return base_.Folders(); }
  std::string NativePath(const std::string& path) override { return base_.NativePath(path); }
  std::string AbsolutePath(const std::string& path) override { return base_.AbsolutePath(path); }

  // The calls that change files, each with its effects.
  Status WriteAt(const std::string& path, uint64_t offset, std::string_view bytes) override {
    return Record(base_.WriteAt(path, offset, bytes), {Flushed(path)});
  }
  // A file it makes is flushed, but not its name.
  Status AppendFile(const std::string& path, std::string_view bytes) override {
    return Record(base_.AppendFile(path, bytes), {NewFile(path), Flushed(path)});
  }
  // The temporary file's bytes are flushed before the rename; recording the
  // flush after it reads the same bytes under the name they end at.
  Status ReplaceFile(const std::string& path, std::string_view bytes) override {
    const std::string temp = path + "_temp";
    return Record(base_.ReplaceFile(path, bytes), {NewFile(temp), Moved(temp, path), Flushed(path)});
  }
  Status WriteNewFile(const std::string& path,
                      const std::function<Status(FileWriter&)>& produce) override {
    return Record(base_.WriteNewFile(path, produce), {NewFile(path), Flushed(path)});
  }
  Status WriteNewFileUnflushed(const std::string& path,
                               const std::function<Status(FileWriter&)>& produce) override {
    return Record(base_.WriteNewFileUnflushed(path, produce), {NewFile(path)});
  }
  Status FlushFiles(const std::vector<std::string>& paths) override;
  Status RenameOver(const std::string& from, const std::string& to) override {
    return Record(base_.RenameOver(from, to), {Moved(from, to)});
  }
  Status CopyFile(const std::string& from, const std::string& to) override {
    return Record(base_.CopyFile(from, to), {NewFile(to), Flushed(to)});
  }
  Status Rename(const std::string& from, const std::string& to) override {
    return Record(base_.Rename(from, to), {Moved(from, to)});
  }
  Status Remove(const std::string& path) override {
    return Record(base_.Remove(path), {Gone(path)});
  }
  // Many at once: each as the call for one; the copies' bytes are flushed
  // together at the end, their names are not.
  Status CopyFiles(const std::vector<FilePair>& copies) override {
    std::vector<Effect> effects;
    for (const FilePair& copy : copies) {
      effects.push_back(NewFile(copy.to));
      effects.push_back(Flushed(copy.to));
    }
    return Record(base_.CopyFiles(copies), effects);
  }
  Status CopyFilesUnflushed(const std::vector<FilePair>& copies) override {
    std::vector<Effect> effects;
    for (const FilePair& copy : copies) effects.push_back(NewFile(copy.to));
    return Record(base_.CopyFilesUnflushed(copies), effects);
  }
  Status RenameFiles(const std::vector<FilePair>& renames) override {
    std::vector<Effect> effects;
    for (const FilePair& rename : renames) effects.push_back(Moved(rename.from, rename.to));
    return Record(base_.RenameFiles(renames), effects);
  }
  Status RemoveFiles(const std::vector<std::string>& paths) override {
    std::vector<Effect> effects;
    for (const std::string& path : paths) effects.push_back(Gone(path));
    return Record(base_.RemoveFiles(paths), effects);
  }
  Status RemoveOwnFile(const std::string& path) override {
    return Record(base_.RemoveOwnFile(path), {Gone(path)});
  }
  Status CreateFolder(const std::string& path) override {
    return Record(base_.CreateFolder(path), {NewFolder(path)});
  }
  Status RemoveEmptyFolder(const std::string& path) override {
    return Record(base_.RemoveEmptyFolder(path), {Gone(path)});
  }
  Status SyncFolder(const std::string& path) override {
    return Record(base_.SyncFolder(path), {FolderFlushed(path)});
  }
  Status SyncFile(const std::string& path) override {
    return Record(base_.SyncFile(path), {Flushed(path)});
  }
  // What the program changed below the watched folder lasts when it ends
  // with exit status 0 (its promise that all it wrote is on disk), and is
  // lost otherwise.
  bool IsRunning(const std::string& path) override { return base_.IsRunning(path); }
  using Platform::RunProgram;
  Status RunProgram(const std::vector<std::string>& argv, int* exitStatus,
                    const ProgramWatch& watch) override;

 private:
  // One effect of a call, applied in order after the call succeeded.
  struct Effect {
    enum Kind { kNewFile, kNewFolder, kFlushed, kMoved, kGone, kFolderFlushed } kind;
    std::string path;
    std::string to;  // kMoved
  };
  // A file or folder made when no entry has its name.
  static Effect NewFile(const std::string& path) { return {Effect::kNewFile, path, ""}; }
  static Effect NewFolder(const std::string& path) { return {Effect::kNewFolder, path, ""}; }
  // The file's bytes, as they are now, last.
  static Effect Flushed(const std::string& path) { return {Effect::kFlushed, path, ""}; }
  // The entry moves to `to`, replacing what had that name.
  static Effect Moved(const std::string& from, const std::string& to) {
    return {Effect::kMoved, from, to};
  }
  static Effect Gone(const std::string& path) { return {Effect::kGone, path, ""}; }
  // The folder's entries, as they are now, last.
  static Effect FolderFlushed(const std::string& path) {
    return {Effect::kFolderFlushed, path, ""};
  }

  struct Entry {
    std::string name;  // as spelled on disk
    size_t node;
  };
  struct Node {
    bool folder = false;
    std::map<std::string, Entry> entries;  // folded name -> entry, as now
    std::map<std::string, Entry> lasting;  // as when the folder was last flushed
    std::optional<std::string> bytes;      // a file's bytes when last flushed
  };

  Status Record(const Status& status, const std::vector<Effect>& effects);
  void Apply(const Effect& effect);
  // The folder that holds `path` as things are now, and the folded name of
  // its last component; false outside the watched folder or when no such
  // folder is known.
  bool Place(const std::string& path, size_t* folder, std::string* key) const;
  // The node at `path` now (0 for the watched folder), or none.
  std::optional<size_t> Find(const std::string& path) const;
  // A node for what is on disk at `path`, lasting as it is.
  size_t Adopt(const std::string& path);
  // The files and folders below the watched folder on disk: relative path
  // -> bytes (none for a folder).
  std::map<std::string, std::optional<std::string>> ReadTree();
  void WriteLasting(size_t node, const std::string& path, std::vector<size_t>* above);

  Platform& base_;
  std::string watched_;
  std::vector<Node> nodes_;  // nodes_[0]: the watched folder
};

}  // namespace korva
