// The Platform on POSIX systems (Linux): Windows file semantics over a
// case-sensitive file system.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/platform.h"

extern char** environ;

namespace korva {
namespace {

Status ErrnoError(const std::string& path, int error) {
  return Status::PathError(path, std::strerror(error));
}

// Names in the order the game's platform lists them: by their upper-case
// form, as NTFS compares names; byte order breaks ties.
bool NameLess(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = (a[i] >= 'a' && a[i] <= 'z') ? a[i] - 32 : static_cast<unsigned char>(a[i]);
    int cb = (b[i] >= 'a' && b[i] <= 'z') ? b[i] - 32 : static_cast<unsigned char>(b[i]);
    if (ca != cb) return ca < cb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

bool ListNames(const std::string& folder, std::vector<std::string>* names) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  names->clear();
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names->begin(), names->end(), NameLess);
  return true;
}

bool EntryExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The path as it is spelled on disk: each component is taken as given when it
// exists, else from a case-insensitive match in its folder. Components from
// the first one that matches nothing on are kept as given, so a new file
// created under "/Chars/" lands in an existing "chars" folder.
std::string Resolve(const std::string& path) {
  if (path.empty() || EntryExists(path)) return path;
  std::string resolved;
  bool found = true;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(pos, end - pos);
    std::string folder = resolved;
    if (found && !part.empty() && part != "." && part != ".." &&
        !EntryExists(folder + part)) {
      std::vector<std::string> names;
      found = false;
      if (ListNames(folder.empty() ? "." : folder, &names)) {
        for (const std::string& name : names) {
          if (strcasecmp(name.c_str(), part.c_str()) == 0) {
            part = name;
            found = true;
            break;
          }
        }
      }
    }
    resolved += part;
    if (end < path.size()) resolved += '/';
    pos = end + 1;
  }
  return resolved;
}

Status WriteAll(int fd, const std::string& path, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoError(path, errno);
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return Status::Ok();
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now, reporting a failed close (a delayed write error).
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

class PosixPlatform : public Platform {
 public:
  bool CanRead(const std::string& path) override {
    FileDescriptor fd(open(Resolve(path).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    return fd.valid() && fstat(fd.get(), &st) == 0 && !S_ISDIR(st.st_mode);
  }

  bool Exists(const std::string& path) override { return EntryExists(Resolve(path)); }

  bool IsFolder(const std::string& path) override {
    struct stat st;
    return stat(Resolve(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool IsLink(const std::string& path) override {
    struct stat st;
    return lstat(Resolve(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  }

  Status ReadFile(const std::string& path, std::string* bytes) override {
    FileDescriptor fd(open(Resolve(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return ErrnoError(path, errno);
    struct stat st;
    if (fstat(fd.get(), &st) != 0) return ErrnoError(path, errno);
    if (S_ISDIR(st.st_mode)) return Status::PathError(path, "is a folder, not a file");
    bytes->clear();
    bytes->reserve(static_cast<size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
      ssize_t n = read(fd.get(), buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        return ErrnoError(path, errno);
      }
      if (n == 0) break;
      bytes->append(buffer, static_cast<size_t>(n));
    }
    return Status::Ok();
  }

  Status ReadAt(const std::string& path, uint64_t offset, size_t size,
                std::string* bytes) override {
    FileDescriptor fd(open(Resolve(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return ErrnoError(path, errno);
    bytes->assign(size, '\0');
    size_t done = 0;
    while (done < size) {
      ssize_t n = pread(fd.get(), &(*bytes)[done], size - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return ErrnoError(path, errno);
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    bytes->resize(done);
    return Status::Ok();
  }

  Status WriteAt(const std::string& path, uint64_t offset, const std::string& bytes) override {
    FileDescriptor fd(open(Resolve(path).c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd.valid()) return ErrnoError(path, errno);
    struct stat st;
    if (fstat(fd.get(), &st) != 0) return ErrnoError(path, errno);
    if (offset + bytes.size() > static_cast<uint64_t>(st.st_size)) {
      return Status::PathError(path, "the file is " + std::to_string(st.st_size) +
                                         " bytes long, too short to write " +
                                         std::to_string(bytes.size()) + " bytes at byte " +
                                         std::to_string(offset));
    }
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = pwrite(fd.get(), bytes.data() + done, bytes.size() - done,
                         static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return ErrnoError(path, errno);
      }
      done += static_cast<size_t>(n);
    }
    if (fdatasync(fd.get()) != 0 || !fd.Close()) return ErrnoError(path, errno);
    return Status::Ok();
  }

  Status AppendFile(const std::string& path, const std::string& bytes) override {
    FileDescriptor fd(
        open(Resolve(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.valid()) return ErrnoError(path, errno);
    Status status = WriteAll(fd.get(), path, bytes.data(), bytes.size());
    if (!status.ok()) return status;
    if (fdatasync(fd.get()) != 0 || !fd.Close()) return ErrnoError(path, errno);
    return Status::Ok();
  }

  Status ReplaceFile(const std::string& path, const std::string& bytes) override {
    std::string target = Resolve(path);
    std::string temp = target + "_temp";
    struct stat old;
    mode_t mode = stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    FileDescriptor fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (!fd.valid()) return ErrnoError(path + "_temp", errno);
    Status status = WriteAll(fd.get(), path + "_temp", bytes.data(), bytes.size());
    if (status.ok() && (fsync(fd.get()) != 0 || !fd.Close())) {
      status = ErrnoError(path + "_temp", errno);
    }
    if (status.ok() && rename(temp.c_str(), target.c_str()) != 0) {
      status = ErrnoError(path, errno);
    }
    if (!status.ok()) unlink(temp.c_str());
    return status;
  }

  Status RenameOver(const std::string& from, const std::string& to) override {
    if (rename(Resolve(from).c_str(), Resolve(to).c_str()) != 0) return ErrnoError(from, errno);
    return Status::Ok();
  }

  Status CopyFile(const std::string& from, const std::string& to) override {
    FileDescriptor in(open(Resolve(from).c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) return ErrnoError(from, errno);
    struct stat st;
    if (fstat(in.get(), &st) != 0) return ErrnoError(from, errno);
    if (S_ISDIR(st.st_mode)) return Status::PathError(from, "is a folder, not a file");
    std::string target = Resolve(to);
    FileDescriptor out(
        open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777));
    if (!out.valid()) return ErrnoError(to, errno);
    Status status;
    char buffer[1 << 16];
    for (;;) {
      ssize_t n = read(in.get(), buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        status = ErrnoError(from, errno);
        break;
      }
      if (n == 0) break;
      status = WriteAll(out.get(), to, buffer, static_cast<size_t>(n));
      if (!status.ok()) break;
    }
    if (status.ok() && (fsync(out.get()) != 0 || !out.Close())) status = ErrnoError(to, errno);
    if (!status.ok()) unlink(target.c_str());
    return status;
  }

  Status Rename(const std::string& from, const std::string& to) override {
    std::string source = Resolve(from);
    std::string target = Resolve(to);
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      return Status::Ok();
    }
    if (errno != EINVAL && errno != ENOSYS) return ErrnoError(from, errno);
    // The file system cannot rename without replacing: link and unlink files,
    // and test first for folders.
    if (EntryExists(target)) return ErrnoError(to, EEXIST);
    struct stat st;
    if (lstat(source.c_str(), &st) != 0) return ErrnoError(from, errno);
    if (S_ISDIR(st.st_mode)) {
      if (rename(source.c_str(), target.c_str()) != 0) return ErrnoError(from, errno);
      return Status::Ok();
    }
    if (link(source.c_str(), target.c_str()) != 0) return ErrnoError(to, errno);
    if (unlink(source.c_str()) != 0) {
      int error = errno;
      unlink(target.c_str());
      return ErrnoError(from, error);
    }
    return Status::Ok();
  }

  Status Remove(const std::string& path) override {
    if (unlink(Resolve(path).c_str()) != 0) return ErrnoError(path, errno);
    return Status::Ok();
  }

  Status CreateFolder(const std::string& path) override {
    if (mkdir(Resolve(path).c_str(), 0755) != 0) return ErrnoError(path, errno);
    return Status::Ok();
  }

  Status RemoveEmptyFolder(const std::string& path) override {
    if (rmdir(Resolve(path).c_str()) != 0) return ErrnoError(path, errno);
    return Status::Ok();
  }

  Status ListFolder(const std::string& path, std::vector<std::string>* names) override {
    if (!ListNames(Resolve(path), names)) return ErrnoError(path, errno);
    return Status::Ok();
  }

  std::string ProgramFolder() override {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    std::string exe(buffer, static_cast<size_t>(n));
    size_t slash = exe.find_last_of('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
  }

  std::string NativePath(const std::string& path) override { return Resolve(path); }

  std::string AbsolutePath(const std::string& path) override {
    if (!path.empty() && path[0] == '/') return path;
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer) == nullptr) return path;
    return path.empty() ? std::string(buffer) : std::string(buffer) + "/" + path;
  }

  Status RunProgram(const std::vector<std::string>& argv, int* exitStatus) override {
    if (argv.empty()) return Status::Error("No program to run.");
    std::string program = Resolve(argv[0]);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    int error = posix_spawn(&pid, program.c_str(), nullptr, nullptr, args.data(), environ);
    if (error != 0) return Status::PathError(argv[0], std::string("cannot start: ") + std::strerror(error));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return ErrnoError(argv[0], errno);
    }
    if (WIFSIGNALED(status)) {
      return Status::PathError(argv[0], "stopped by signal " + std::to_string(WTERMSIG(status)));
    }
    *exitStatus = WEXITSTATUS(status);
    return Status::Ok();
  }
};

}  // namespace

Platform& SystemPlatform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace korva
