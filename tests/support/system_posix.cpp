#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tests/support/system.h"

namespace korva {

bool MakeLink(const std::string& target, const std::string& link, std::string* whyNot) {
  if (symlink(target.c_str(), link.c_str()) == 0) return true;
  *whyNot = link + ": cannot make a link: " + std::strerror(errno);
  return false;
}

bool MakePipe(const std::string& path, std::string* whyNot) {
  if (mkfifo(path.c_str(), 0644) == 0) return true;
  *whyNot = path + ": cannot make a pipe: " + std::strerror(errno);
  return false;
}

std::string DevicePath(const std::string& folder) {
  const std::string path = folder + "/device";
  unlink(path.c_str());
  return symlink("/dev/zero", path.c_str()) == 0 ? path : "/dev/zero";
}

bool RunAsOrdinaryUser(const std::vector<std::string>& owned, const std::function<std::string()>& body,
                       std::string* result, std::string* whyNot) {
  if (geteuid() != 0) {
    *result = body();
    return true;
  }
  constexpr uid_t kNobody = 65534;
  namespace fs = std::filesystem;
  for (const std::string& folder : owned) {
    if (lchown(folder.c_str(), kNobody, kNobody) != 0) {
      *whyNot = folder + ": cannot hand it to the user nobody: " + std::strerror(errno);
      return false;
    }
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      lchown(it->path().c_str(), kNobody, kNobody);
    }
  }
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    *whyNot = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    std::string out;
    int code = 0;
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
      out = std::string("cannot become the user nobody: ") + std::strerror(errno);
      code = 2;
    } else {
      out = body();
    }
    for (size_t done = 0; done < out.size();) {
      ssize_t n = write(pipeFds[1], out.data() + done, out.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    _exit(code);
  }
  close(pipeFds[1]);
  if (pid < 0) {
    close(pipeFds[0]);
    *whyNot = std::string("cannot start a child process: ") + std::strerror(errno);
    return false;
  }
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *whyNot = out.empty() ? "the child process as the user nobody failed" : out;
    return false;
  }
  *result = out;
  return true;
}

struct HeldFile::Handle {
  int fd = -1;
};

HeldFile::HeldFile(const std::string& path) : handle_(new Handle) {
  handle_->fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

HeldFile::~HeldFile() {
  if (handle_->fd >= 0) close(handle_->fd);
}

bool HeldFile::is_open() const { return handle_->fd >= 0; }

std::string HeldFile::ReadAll() {
  std::string bytes;
  char buffer[4096];
  for (off_t at = 0;;) {
    ssize_t n = pread(handle_->fd, buffer, sizeof buffer, at);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
    at += n;
  }
  return bytes;
}

struct MadeUpInstallRecords::Saved {
  bool had_home = false;
  std::string home;
};

MadeUpInstallRecords::MadeUpInstallRecords(const std::string& root)
    : saved_(new Saved), root_(root) {
  const char* home = getenv("HOME");
  saved_->had_home = home != nullptr;
  if (home != nullptr) saved_->home = home;
  setenv("HOME", (root + "/home").c_str(), 1);
}

MadeUpInstallRecords::~MadeUpInstallRecords() {
  if (saved_->had_home) {
    setenv("HOME", saved_->home.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
}

std::string MadeUpInstallRecords::SteamFolder() const { return root_ + "/home/.local/share/Steam"; }

bool MadeUpInstallRecords::AddGogGame(const std::string&, std::string* whyNot) {
  *whyNot = "GOG keeps no record of its games on this system";
  return false;
}

std::string MadeUpInstallRecords::Written(const std::string& path) { return path; }

struct LockedFile::Handle {};

LockedFile::LockedFile(const std::string&) : handle_(new Handle) {}
LockedFile::~LockedFile() = default;

bool LockedFile::locked(std::string* whyNot) const {
  *whyNot = "POSIX systems do not lock a file against renames and removals";
  return false;
}

}  // namespace korva

namespace korva {

bool RunOnTerminal(const std::vector<std::string>& argv, const std::string& out,
                   std::string* terminal, int* status, std::string* whyNot) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    *whyNot = std::string("no pseudo-terminal: ") + std::strerror(errno);
    if (master >= 0) close(master);
    return false;
  }
  const std::string slave = ptsname(master);
  pid_t pid = fork();
  if (pid == 0) {
    int tty = open(slave.c_str(), O_RDWR | O_NOCTTY);
    int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (tty < 0 || file < 0 || dup2(tty, 2) < 0 || dup2(file, 1) < 0) _exit(127);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  terminal->clear();
  char buffer[4096];
  for (;;) {
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
      terminal->append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;  // EIO: every holder of the terminal has closed it
    }
  }
  close(master);
  int raw = 0;
  waitpid(pid, &raw, 0);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return true;
}

}  // namespace korva
