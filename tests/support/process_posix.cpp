#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include <cerrno>

#include "tests/support/process.h"

namespace korva {

int RunCaptured(const std::vector<std::string>& argv, const std::string& folder,
                const std::string& out, const std::string& err) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (outFd < 0 || errFd < 0 || (!folder.empty() && chdir(folder.c_str()) != 0)) _exit(127);
    dup2(outFd, 1);
    dup2(errFd, 2);
    execv(args[0], args.data());
    _exit(127);
  }
  if (pid < 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ChildProcess::Handle {
  pid_t pid = -1;
  bool ended = false;
  int status = -1;
};

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& output)
    : handle_(new Handle) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    // A process group of its own, so that a kill reaches the tools it runs.
    setpgid(0, 0);
    int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
    }
    execv(args[0], args.data());
    _exit(127);
  }
  if (pid > 0) setpgid(pid, pid);
  handle_->pid = pid;
}

ChildProcess::~ChildProcess() {
  if (handle_->pid > 0 && !handle_->ended) KillAll();
  delete handle_;
}

bool ChildProcess::started() const { return handle_->pid > 0; }

bool ChildProcess::Running() {
  if (handle_->ended || handle_->pid <= 0) return false;
  int status = 0;
  if (waitpid(handle_->pid, &status, WNOHANG) == handle_->pid) {
    handle_->ended = true;
    handle_->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
  }
  return true;
}

void ChildProcess::KillAll() {
  if (handle_->pid <= 0) return;
  kill(-handle_->pid, SIGKILL);
  Wait();
  // The group's other members (a converter the program was running) are
  // gone once no member is left to signal; a member that stays a zombie
  // for want of a parent to reap it no longer runs, so waiting is bounded.
  for (int i = 0; i < 2000 && kill(-handle_->pid, 0) == 0; ++i) usleep(1000);
}

int ChildProcess::Wait() {
  if (!handle_->ended && handle_->pid > 0) {
    int status = 0;
    while (waitpid(handle_->pid, &status, 0) < 0 && errno == EINTR) {
    }
    handle_->ended = true;
    handle_->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return handle_->status;
}

}  // namespace korva
