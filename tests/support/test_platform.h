// A Platform for tests: forwards every call to the real one, keeps a log of
// the calls, can pretend the program lives in another folder, and can make a
// chosen call fail (as a full disk or a locked file would).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace korva {

enum class Op {
  CanRead, Exists, IsFolder, IsLink, Stat, ReadFile, ReadAt, ListFolder, CheckInside, IsRunning,
  WriteAt,
  AppendFile, ReplaceFile, WriteNewFile, RenameOver, CopyFile, Rename, Remove, CreateFolder,
  RemoveEmptyFolder, SyncFolder, RunProgram, SyncFile, WriteNewFileUnflushed, FlushFiles,
  RemoveOwnFile
};

class TestPlatform : public Platform {
 public:
  explicit TestPlatform(Platform& base = SystemPlatform()) : base_(base) {}

  // The folder that ProgramFolder() reports. Folders() then answers with
  // the portable form in that folder, unless set_folders says otherwise.
  void set_program_folder(const std::string& folder) { program_folder_ = folder; }
  // What Folders() answers from now on (the installed form, say).
  void set_folders(const ProgramFolders& folders) { folders_ = folders; }
  // What IsRunning answers from now on, for any program: true pretends the
  // game runs. std::nullopt (the default) asks the real platform.
  void set_game_running(std::optional<bool> running) { game_running_ = running; }

  // Makes calls of `op` whose first path contains `pathPart` fail, from the
  // `skip`+1-th such call on, `times` times (-1: every time). A failed call
  // does nothing and reports "path: injected failure".
  void Fail(Op op, const std::string& pathPart = "", int times = 1, int skip = 0);
  void ClearFailures() { failures_.clear(); }

  // Cuts the power at the `k`-th file-changing call from now (1 for the
  // next one): that call and every call after it, of any kind, fail and
  // change nothing, as if the machine had stopped there. 0 turns it off.
  void CutPowerAt(int k) {
    cut_at_ = k;
    fail_at_ = 0;
    changes_ = 0;
  }
  // Makes only the `k`-th file-changing call from now fail (a full disk, a
  // locked file); the program goes on. 0 turns it off.
  void FailChangeAt(int k) {
    fail_at_ = k;
    cut_at_ = 0;
    changes_ = 0;
  }
  bool power_cut() const { return cut_at_ > 0 && changes_ >= cut_at_; }
  // File-changing calls so far (writes, copies, renames, removals, folder
  // changes, programs run; not flushes), counted since the last CutPowerAt or
  // FailChangeAt.
  int changes() const { return changes_; }
  // Called before every file-changing call, with the operation and its first
  // path.
  void OnChange(std::function<void(Op, const std::string&)> hook) { on_change_ = std::move(hook); }

  // One line per call: the operation's name and its first path (FlushFiles:
  // all its paths).
  const std::vector<std::string>& calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  int CountCalls(Op op) const;

  bool CanRead(const std::string& path) override;
  bool Exists(const std::string& path) override;
  bool IsFolder(const std::string& path) override;
  bool IsLink(const std::string& path) override;
  Status Stat(const std::string& path, FileInfo* info) override;
  Status ReadFile(const std::string& path, uint64_t limit, std::string* bytes) override;
  Status ReadAt(const std::string& path, uint64_t offset, size_t size, std::string* bytes) override;
  Status CheckInside(const std::string& root, const std::string& path) override;
  Status WriteAt(const std::string& path, uint64_t offset, std::string_view bytes) override;
  Status AppendFile(const std::string& path, std::string_view bytes) override;
  Status ReplaceFile(const std::string& path, std::string_view bytes) override;
  Status WriteNewFile(const std::string& path,
                      const std::function<Status(FileWriter&)>& produce) override;
  Status WriteNewFileUnflushed(const std::string& path,
                               const std::function<Status(FileWriter&)>& produce) override;
  Status FlushFiles(const std::vector<std::string>& paths) override;
  Status RemoveOwnFile(const std::string& path) override;
  Status RenameOver(const std::string& from, const std::string& to) override;
  Status CopyFile(const std::string& from, const std::string& to) override;
  Status Rename(const std::string& from, const std::string& to) override;
  Status Remove(const std::string& path) override;
  Status CreateFolder(const std::string& path) override;
  Status RemoveEmptyFolder(const std::string& path) override;
  Status ListFolder(const std::string& path, std::vector<std::string>* names) override;
  Status SyncFolder(const std::string& path) override;
  Status SyncFile(const std::string& path) override;
  Status TryLockFile(const std::string& path, bool* taken, intptr_t* handle) override {
    return base_.TryLockFile(path, taken, handle);
  }
  void UnlockFile(const std::string& path, intptr_t handle) override { base_.UnlockFile(path, handle); }
  std::string ProgramFolder() override;
  ProgramFolders Folders() override;
  std::string NativePath(const std::string& path) override { return base_.NativePath(path); }
  std::string AbsolutePath(const std::string& path) override { return base_.AbsolutePath(path); }
  // Logged; the answer comes from set_game_running, not from Fail.
  bool IsRunning(const std::string& executablePath) override;
  using Platform::RunProgram;
  Status RunProgram(const std::vector<std::string>& argv, int* exitStatus,
                    const ProgramWatch& watch) override;

 private:
  struct Failure {
    Op op;
    std::string pathPart;
    int times;
    int skip;
  };
  // Logs the call; true when it is to fail.
  bool Called(Op op, const std::string& path);

  Platform& base_;
  std::string program_folder_;
  std::optional<ProgramFolders> folders_;
  std::optional<bool> game_running_;
  std::vector<Failure> failures_;
  std::vector<std::string> calls_;
  int cut_at_ = 0;
  int fail_at_ = 0;
  int changes_ = 0;
  std::function<void(Op, const std::string&)> on_change_;
};

}  // namespace korva
