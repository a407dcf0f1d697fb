// The operation journal: every operation that changes the game folder either
// completes or leaves the game as it was, even when the program is cut off.
//
// A Journal is a Platform laid over the real one. While an operation is
// open, each call that changes a file or folder first writes, and flushes to
// disk, one line of the journal file (game folder + "/mod_journal") that says
// how to undo it: the prior bytes of a file it rewrites, edits, replaces or
// removes (kept in game folder + "/mod_journal_files"), a file or folder it
// adds, a rename it makes. Only then is the change made. The operation
// commits by flushing its folders and removing the journal file in one step.
// A step that fails rolls the operation back from the same lines; a start
// that finds a journal file undoes the cut-off operation first. Undoing is
// itself recorded line by line, so an undo that is cut off finishes at the
// next start.
//
// While an operation is open, every path it changes must lie inside the game
// folder, with no link or junction on the way leading outside; any other
// change fails, naming the path, before anything is done.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace korva {

std::string JournalPath(const std::string& gameFolder);       // game folder + "/mod_journal"
std::string JournalFilesPath(const std::string& gameFolder);  // game folder + "/mod_journal_files"

class Journal : public Platform {
 public:
  explicit Journal(Platform& base) : base_(base) {}

  // The platform under the journal, for what must not be recorded.
  Platform& base() { return base_; }
  void SetGameFolder(const std::string& gameFolder) { game_ = gameFolder; }
  const std::string& game_folder() const { return game_; }

  // Opens operation `name` (such as "installation into place 3"). The
  // journal file itself is written with the first change, so an operation
  // that changes nothing leaves no trace. Fails when an operation is open.
  Status Begin(const std::string& name);
  bool active() const { return active_; }
  // For measuring what the journal costs: with recording off, an open
  // operation's changes go straight to the platform below (still kept
  // inside the game folder) and nothing can be undone.
  void SetRecording(bool on) { recording_ = on; }
  // The paths changed so far by the open operation, as given.
  const std::vector<std::string>& changed() const { return changed_; }

  // Makes every change of the open operation last (flushing the folders it
  // touched) and ends it by removing the journal file. On failure the
  // operation is still open and can be rolled back.
  Status Commit();
  // Undoes every change of the open operation, newest first, and ends it.
  // When a file cannot be put back, the failure names it and where its prior
  // bytes are kept, and the journal file stays so the next start tries again.
  Status Rollback();

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
  Status WriteAt(const std::string& path, uint64_t offset, std::string_view bytes) override;
  Status AppendFile(const std::string& path, std::string_view bytes) override;
  Status ReplaceFile(const std::string& path, std::string_view bytes) override;
  Status WriteNewFile(const std::string& path,
                      const std::function<Status(FileWriter&)>& produce) override;
  Status RenameOver(const std::string& from, const std::string& to) override;
  Status CopyFile(const std::string& from, const std::string& to) override;
  Status Rename(const std::string& from, const std::string& to) override;
  Status Remove(const std::string& path) override;
  Status CreateFolder(const std::string& path) override;
  Status RemoveEmptyFolder(const std::string& path) override;
  Status SyncFolder(const std::string& path) override { return base_.SyncFolder(path); }
  Status SyncFile(const std::string& path) override { return base_.SyncFile(path); }
  std::string ProgramFolder() override { return base_.ProgramFolder(); }
  std::string NativePath(const std::string& path) override { return base_.NativePath(path); }
  std::string AbsolutePath(const std::string& path) override { return base_.AbsolutePath(path); }
  bool IsRunning(const std::string& path) override { return base_.IsRunning(path); }
  // An outside program may create any path below the game folder that it
  // is given and that does not exist yet: those are recorded as new files.
  Status RunProgram(const std::vector<std::string>& argv, int* exitStatus) override;

 private:
  // What the journal already holds about a path: nothing more need be
  // recorded before it changes again.
  enum class Cover { kSaved, kAbsent };

  // Checks that `path` may be changed and, for an open operation, that it is
  // inside the game folder.
  Status Allowed(const std::string& path);
  // Records how to undo a change of the file `path` that keeps or rewrites
  // its content: its prior bytes, or that it did not exist.
  Status CoverFile(const std::string& path);
  // Records that `path` is about to be removed or replaced, moving its
  // prior bytes into the journal (which removes it).
  Status MoveAside(const std::string& path, bool* moved);
  // Records a rename, following the rules that keep undo in reverse order
  // exact.
  Status CoverRename(const std::string& from, const std::string& to);
  // Writes the journal file with its first line, once per operation.
  Status Start();
  // Appends one line to the journal file and flushes it, writing the file
  // first when this is the operation's first change.
  Status Write(const std::vector<std::string>& fields);
  void Changed(const std::string& path);
  std::string Key(const std::string& path);
  void End();
  bool Recording() const { return active_ && recording_; }

  Platform& base_;
  std::string game_;
  bool active_ = false;
  bool recording_ = true;
  bool written_ = false;
  std::string name_;
  int next_copy_ = 0;
  std::map<std::string, Cover> covered_;
  std::vector<std::string> changed_;
  std::set<std::string> changed_keys_;  // the changed paths, for a quick look-up
  std::set<std::string> folders_;       // folders whose entries changed
};

// Undoes the operation whose journal is in `gameFolder`, if one was cut off:
// puts every file back as it was before it, removes what it added, then
// removes the journal. `*operation` is the operation's name, or empty when
// there was no journal. On failure the journal stays for the next start, and
// the message names what could not be put back.
Status RecoverCutOffOperation(Platform& platform, const std::string& gameFolder,
                              std::string* operation);

}  // namespace korva
