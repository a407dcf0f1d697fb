// The operation journal: every operation that changes the game folder either
// completes or leaves the game as it was, even when the program is cut off
// or the power fails.
//
// A Journal is a Platform laid over the real one. While an operation is
// open, each call that changes a file or folder first writes, and flushes to
// disk, a line of the journal file (game folder + "/mod_journal") that says
// how to undo it: the prior bytes of a file it rewrites, edits, replaces or
// removes, and a folder it removes with everything in it (kept in game
// folder + "/mod_journal_files"), a file or folder it adds, a rename it
// makes. Only then is the change made. Calls that change
// many files at once write all their lines with one flush first. Each line
// carries a checksum: reading stops at the first line that is cut short or
// does not match, and what follows it was never done.
//
// The operation commits by flushing everything it wrote (files and folders)
// and then writing a "committed" line: that flushed line is the commit
// point on every system. The journal and its saved copies are removed
// after it; a start that finds a committed journal only removes them. A
// step that fails rolls the operation back from the same lines; a start that
// finds an uncommitted journal undoes the cut-off operation first. Undoing
// is itself recorded, after the changes it made are flushed, so an undo
// that is cut off finishes at the next start.
//
// Saved copies are numbered past any name the copies folder holds, and an
// operation does not begin while the folder holds copies that no journal
// explains (they are removed first, or the operation is refused, naming
// them): a leftover copy is never restored over a game file.
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
#include "platform/progress.h"

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
  // Where long steps (flushing, undoing, outside programs) say how far
  // they are; none when null.
  void SetProgress(Progress* progress) { progress_ = progress; }

  // Opens operation `name` (such as "installation into place 3"). The
  // journal file itself is written with the first change, so an operation
  // that changes nothing leaves no trace. Fails when an operation is open,
  // when the journal of an earlier operation is still there, and when the
  // copies folder holds leftover copies that cannot be removed.
  Status Begin(const std::string& name);
  bool active() const { return active_; }
  // For measuring what the journal costs: with recording off, an open
  // operation's changes go straight to the platform below (still kept
  // inside the game folder) and nothing can be undone.
  void SetRecording(bool on) { recording_ = on; }
  // The paths changed so far by the open operation, as given.
  const std::vector<std::string>& changed() const { return changed_; }

  // Makes every change of the open operation last and writes the commit
  // point, then removes the journal and the saved copies. On failure the
  // operation is still open and can be rolled back.
  Status Commit();
  // Undoes every change of the open operation, newest first, and ends it.
  // When a file cannot be put back, the failure names it and where its prior
  // bytes are kept, and the journal file stays so the next start tries again.
  Status Rollback();

  // A new, empty folder of the open operation's own, inside the copies
  // folder, for an outside program to write into (the unpacker). It goes
  // with the saved copies when the operation ends, either way.
  Status ScratchFolder(std::string* folder);
  // Moves files from the scratch folder to new paths in the game folder (no
  // file may be there), recorded as new files with one flush.
  Status MoveInFiles(const std::vector<FilePair>& moves);

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
  // Below the game folder, as the operation's own changes are checked: each
  // folder once.
  Status CheckInside(const std::string& root, const std::string& path) override;
  Status WriteAt(const std::string& path, uint64_t offset, std::string_view bytes) override;
  Status AppendFile(const std::string& path, std::string_view bytes) override;
  Status ReplaceFile(const std::string& path, std::string_view bytes) override;
  Status WriteNewFile(const std::string& path,
                      const std::function<Status(FileWriter&)>& produce) override;
  Status RenameOver(const std::string& from, const std::string& to) override;
  Status CopyFile(const std::string& from, const std::string& to) override;
  Status Rename(const std::string& from, const std::string& to) override;
  Status Remove(const std::string& path) override;
  Status RemoveOwnFile(const std::string& path) override;
  Status CreateFolder(const std::string& path) override;
  Status RemoveEmptyFolder(const std::string& path) override;
  // The calls for many files write all their lines with one flush, then
  // make the changes a part at a time, telling the progress (by bytes for
  // copies, by files for the others) and stopping when it cancels.
  Status CopyFiles(const std::vector<FilePair>& copies) override;
  Status RenameFiles(const std::vector<FilePair>& renames) override;
  Status RemoveFiles(const std::vector<std::string>& paths) override;
  Status CreateFolders(const std::vector<std::string>& paths) override;
  Status RemoveEmptyFolders(const std::vector<std::string>& paths) override;
  // Each folder moves aside whole, one line and one rename for everything
  // in it, and is removed with the saved copies once the operation is done.
  Status RemoveTrees(const std::vector<std::string>& paths) override;
  Status RemoveOwnTree(const std::string& path) override;
  Status SyncFolder(const std::string& path) override { return base_.SyncFolder(path); }
  Status SyncFile(const std::string& path) override { return base_.SyncFile(path); }
  Status TryLockFile(const std::string& path, bool* taken, intptr_t* handle) override {
    return base_.TryLockFile(path, taken, handle);
  }
  void UnlockFile(const std::string& path, intptr_t handle) override { base_.UnlockFile(path, handle); }
  std::string ProgramFolder() override { return base_.ProgramFolder(); }
  std::string NativePath(const std::string& path) override { return base_.NativePath(path); }
  std::string AbsolutePath(const std::string& path) override { return base_.AbsolutePath(path); }
  bool IsRunning(const std::string& path) override { return base_.IsRunning(path); }
  // An outside program may create any path below the game folder that it
  // is given and that does not exist yet: those are recorded as new files.
  // It is watched while it runs, so the progress goes on and can cancel it.
  using Platform::RunProgram;
  Status RunProgram(const std::vector<std::string>& argv, int* exitStatus,
                    const ProgramWatch& watch) override;

 private:
  // What the journal already holds about a path: nothing more need be
  // recorded before it changes again.
  enum class Cover { kSaved, kAbsent };
  using Line = std::vector<std::string>;

  // Checks that `path` may be changed and, for an open operation, that it is
  // inside the game folder.
  Status Allowed(const std::string& path);
  // The same for a change of the entry `path` itself (removing it, moving
  // it), which does not follow a link at its end.
  Status AllowedEntry(const std::string& path);
  // Makes the entries of the folders changed since the last journal line
  // last: the folders that gained entries first, then those that lost some,
  // so that a file moved between two folders is never lost from both.
  // Done before each new line (so a later line never lasts without the
  // changes made before it) and before an outside program runs.
  Status SyncChangedFolders();
  // The line that records how to undo a change of the file `path` that
  // keeps or rewrites its content: its prior bytes (copied into the
  // journal first), or that it did not exist. None when the journal holds
  // the path already.
  Status CoverFile(const std::string& path, std::vector<Line>* lines);
  // The line for a file that is about to be moved into the journal
  // (removed or replaced); `*moved` says whether it is to be moved.
  Status MoveAsideLine(const std::string& path, std::vector<Line>* lines, std::string* copy);
  // The lines for a rename, following the rules that keep undo in reverse
  // order exact.
  void CoverRename(const std::string& from, const std::string& to, std::vector<Line>* lines);
  // Writes the journal file with its first line, once per operation.
  Status Start();
  // Appends lines to the journal file with one flush, writing the file
  // first when this is the operation's first change.
  Status Write(const std::vector<Line>& lines);
  // `path` was changed: its bytes only, or its folder's entries (an entry
  // made or moved there, or one removed or moved away).
  enum class Entry { kSame, kGained, kLost };
  void Changed(const std::string& path, Entry entry);
  std::string Key(const std::string& path);
  std::string NextCopy();
  void End();
  bool Recording() const { return active_ && recording_; }
  // One more item of a batch is done (`units` of the progress); false when
  // the progress was cancelled.
  bool Advanced(uint64_t units);

  Platform& base_;
  std::string game_;
  Progress* progress_ = nullptr;
  bool active_ = false;
  bool recording_ = true;
  bool written_ = false;
  std::string name_;
  long next_copy_ = 0;
  int scratch_ = 0;
  std::map<std::string, Cover> covered_;
  std::vector<std::string> changed_;
  std::set<std::string> changed_keys_;  // the changed paths, for a quick look-up
  // Folders whose entries changed since the last journal line.
  std::set<std::string> gained_;
  std::set<std::string> lost_;
  std::map<std::string, std::string> native_folders_;  // as given -> as on disk
  std::set<std::string> inside_;  // folders found inside the game folder
};

// Undoes the operation whose journal is in `gameFolder`, if one was cut off:
// puts every file back as it was before it, removes what it added, then
// removes the journal. A journal whose operation committed is only removed.
// `*operation` is the name of the operation undone, or empty when there was
// none. On failure the journal stays for the next start, and the message
// names what could not be put back.
Status RecoverCutOffOperation(Platform& platform, const std::string& gameFolder,
                              std::string* operation, Progress* progress = nullptr);

}  // namespace korva
