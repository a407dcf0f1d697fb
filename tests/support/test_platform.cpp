#include "tests/support/test_platform.h"

#include <algorithm>

namespace korva {
namespace {

const char* OpName(Op op) {
  static const char* const kNames[] = {
      "CanRead",    "Exists",      "IsFolder",     "IsLink",     "Stat",         "ReadFile",
      "ReadAt",     "ListFolder",  "CheckInside",  "IsRunning",  "WriteAt",      "AppendFile",
      "ReplaceFile",
      "WriteNewFile", "RenameOver", "CopyFile",    "Rename",     "Remove",       "CreateFolder",
      "RemoveEmptyFolder", "SyncFolder", "RunProgram", "SyncFile", "WriteNewFileUnflushed",
      "FlushFiles", "RemoveOwnFile"};
  return kNames[static_cast<int>(op)];
}

Status Injected(const std::string& path) { return Status::PathError(path, "injected failure"); }

}  // namespace

void TestPlatform::Fail(Op op, const std::string& pathPart, int times, int skip) {
  failures_.push_back({op, pathPart, times, skip});
}

int TestPlatform::CountCalls(Op op) const {
  std::string prefix = std::string(OpName(op)) + " ";
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const std::string& c) {
    return c.compare(0, prefix.size(), prefix) == 0;
  }));
}

bool TestPlatform::Called(Op op, const std::string& path) {
  calls_.push_back(std::string(OpName(op)) + " " + path);
  const bool flush = op == Op::SyncFolder || op == Op::SyncFile || op == Op::FlushFiles;
  if (op >= Op::WriteAt && !flush) {
    if (on_change_) on_change_(op, path);
    ++changes_;
    if (fail_at_ > 0 && changes_ == fail_at_) return true;
  }
  if (power_cut()) return true;
  for (Failure& failure : failures_) {
    if (failure.op != op || failure.times == 0) continue;
    if (path.find(failure.pathPart) == std::string::npos) continue;
    if (failure.skip > 0) {
      --failure.skip;
      continue;
    }
    if (failure.times > 0) --failure.times;
    return true;
  }
  return false;
}

bool TestPlatform::CanRead(const std::string& path) {
  return !Called(Op::CanRead, path) && base_.CanRead(path);
}
bool TestPlatform::Exists(const std::string& path) {
  return !Called(Op::Exists, path) && base_.Exists(path);
}
bool TestPlatform::IsFolder(const std::string& path) {
  return !Called(Op::IsFolder, path) && base_.IsFolder(path);
}
bool TestPlatform::IsLink(const std::string& path) {
  return !Called(Op::IsLink, path) && base_.IsLink(path);
}
Status TestPlatform::Stat(const std::string& path, FileInfo* info) {
  return Called(Op::Stat, path) ? Injected(path) : base_.Stat(path, info);
}
Status TestPlatform::ReadFile(const std::string& path, uint64_t limit, std::string* bytes) {
  return Called(Op::ReadFile, path) ? Injected(path) : base_.ReadFile(path, limit, bytes);
}
Status TestPlatform::ReadAt(const std::string& path, uint64_t offset, size_t size,
                            std::string* bytes) {
  return Called(Op::ReadAt, path) ? Injected(path) : base_.ReadAt(path, offset, size, bytes);
}
Status TestPlatform::CheckInside(const std::string& root, const std::string& path) {
  return Called(Op::CheckInside, path) ? Injected(path) : base_.CheckInside(root, path);
}
Status TestPlatform::WriteAt(const std::string& path, uint64_t offset, std::string_view bytes) {
  return Called(Op::WriteAt, path) ? Injected(path) : base_.WriteAt(path, offset, bytes);
}
Status TestPlatform::AppendFile(const std::string& path, std::string_view bytes) {
  return Called(Op::AppendFile, path) ? Injected(path) : base_.AppendFile(path, bytes);
}
Status TestPlatform::ReplaceFile(const std::string& path, std::string_view bytes) {
  return Called(Op::ReplaceFile, path) ? Injected(path) : base_.ReplaceFile(path, bytes);
}
Status TestPlatform::WriteNewFile(const std::string& path,
                                  const std::function<Status(FileWriter&)>& produce) {
  return Called(Op::WriteNewFile, path) ? Injected(path) : base_.WriteNewFile(path, produce);
}
Status TestPlatform::WriteNewFileUnflushed(const std::string& path,
                                           const std::function<Status(FileWriter&)>& produce) {
  return Called(Op::WriteNewFileUnflushed, path) ? Injected(path)
                                                 : base_.WriteNewFileUnflushed(path, produce);
}
Status TestPlatform::RemoveOwnFile(const std::string& path) {
  return Called(Op::RemoveOwnFile, path) ? Injected(path) : base_.RemoveOwnFile(path);
}
Status TestPlatform::FlushFiles(const std::vector<std::string>& paths) {
  std::string all;  // logged whole
  for (const std::string& path : paths) all += (all.empty() ? "" : " ") + path;
  return Called(Op::FlushFiles, all) ? Injected(all) : base_.FlushFiles(paths);
}
Status TestPlatform::RenameOver(const std::string& from, const std::string& to) {
  return Called(Op::RenameOver, from) ? Injected(from) : base_.RenameOver(from, to);
}
Status TestPlatform::CopyFile(const std::string& from, const std::string& to) {
  return Called(Op::CopyFile, from) ? Injected(from) : base_.CopyFile(from, to);
}
Status TestPlatform::Rename(const std::string& from, const std::string& to) {
  return Called(Op::Rename, from) ? Injected(from) : base_.Rename(from, to);
}
Status TestPlatform::Remove(const std::string& path) {
  return Called(Op::Remove, path) ? Injected(path) : base_.Remove(path);
}
Status TestPlatform::CreateFolder(const std::string& path) {
  return Called(Op::CreateFolder, path) ? Injected(path) : base_.CreateFolder(path);
}
Status TestPlatform::RemoveEmptyFolder(const std::string& path) {
  return Called(Op::RemoveEmptyFolder, path) ? Injected(path) : base_.RemoveEmptyFolder(path);
}
Status TestPlatform::ListFolder(const std::string& path, std::vector<std::string>* names) {
  return Called(Op::ListFolder, path) ? Injected(path) : base_.ListFolder(path, names);
}
Status TestPlatform::SyncFolder(const std::string& path) {
  return Called(Op::SyncFolder, path) ? Injected(path) : base_.SyncFolder(path);
}
Status TestPlatform::SyncFile(const std::string& path) {
  return Called(Op::SyncFile, path) ? Injected(path) : base_.SyncFile(path);
}
std::string TestPlatform::ProgramFolder() {
  return program_folder_.empty() ? base_.ProgramFolder() : program_folder_;
}
ProgramFolders TestPlatform::Folders() {
  if (folders_) return *folders_;
  if (program_folder_.empty()) return base_.Folders();
  ProgramFolders folders;
  folders.program = folders.settings = folders.user_files = program_folder_;
  return folders;
}
bool TestPlatform::IsRunning(const std::string& executablePath) {
  Called(Op::IsRunning, executablePath);
  return game_running_ ? *game_running_ : base_.IsRunning(executablePath);
}
Status TestPlatform::RunProgram(const std::vector<std::string>& argv, int* exitStatus,
                                const ProgramWatch& watch) {
  std::string program = argv.empty() ? "" : argv[0];
  return Called(Op::RunProgram, program) ? Injected(program)
                                         : base_.RunProgram(argv, exitStatus, watch);
}

}  // namespace korva
