// The Platform on POSIX systems (Linux): Windows file semantics over a
// case-sensitive file system.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <set>
#include <unordered_map>

#include "platform/platform.h"
#include "platform/platform_common.h"

extern char** environ;

namespace korva {
namespace {

Status ErrnoError(const std::string& path, int error) {
  return Status::PathError(path, std::strerror(error));
}

// The key under which names match: ASCII letters folded to upper case, as
// strcasecmp compares them.
std::string FoldCase(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return folded;
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

int64_t ChangeTime(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// The folder that holds `path` ("." for a bare name).
std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Case-insensitive name lookup with each folder listed once: a folder's
// names are kept, keyed by their folded form, for as long as the folder's
// time of last change stays what it was when they were read, and the
// program's own creations and removals update them. So resolving many new
// names in one folder costs one listing, not one per name. Running another
// program forgets everything, since it may change folders within one tick
// of the clock.
class FolderNames {
 public:
  // The on-disk spelling of `name` in `folder`, or "" when nothing matches.
  std::string Find(const std::string& folder, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    Listing* listing = Current(folder);
    if (listing == nullptr) return "";
    auto found = listing->names.find(FoldCase(name));
    return found == listing->names.end() ? "" : found->second;
  }

  // The program itself added or removed `path`.
  void Added(const std::string& path) { Update(path, true); }
  void Removed(const std::string& path) { Update(path, false); }
  void Forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    folders_.clear();
  }

 private:
  struct Listing {
    int64_t changed = 0;
    std::unordered_map<std::string, std::string> names;  // folded -> on disk
  };

  // The folder's listing, read again when the folder changed behind us.
  Listing* Current(const std::string& folder) {
    struct stat st;
    const std::string& key = folder;
    if (stat(key.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      folders_.erase(key);
      return nullptr;
    }
    auto found = folders_.find(key);
    if (found != folders_.end() && found->second.changed == ChangeTime(st)) return &found->second;
    std::vector<std::string> names;
    if (!ListNames(key, &names)) return nullptr;
    Listing& listing = folders_[key];
    listing.changed = ChangeTime(st);
    listing.names.clear();
    // Sorted order: the first of several names that differ only in case wins.
    for (std::string& name : names) listing.names.emplace(FoldCase(name), name);
    return &listing;
  }

  void Update(const std::string& path, bool added) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string folder = FolderOf(path);
    auto found = folders_.find(folder);
    if (found == folders_.end()) return;
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) {
      folders_.erase(found);
      return;
    }
    const std::string name = path.substr(path.find_last_of('/') + 1);
    if (added) {
      found->second.names.emplace(FoldCase(name), name);
    } else {
      auto entry = found->second.names.find(FoldCase(name));
      if (entry != found->second.names.end() && entry->second == name) {
        found->second.names.erase(entry);
      }
    }
    found->second.changed = ChangeTime(st);
  }

  std::mutex mutex_;
  std::unordered_map<std::string, Listing> folders_;
};

FolderNames& Names() {
  static FolderNames names;
  return names;
}

// The path as it is spelled on disk: each component is taken as given when it
// exists, else from a case-insensitive match in its folder. Components from
// the first one that matches nothing on are kept as given, so a new file
// created under "/Chars/" lands in an existing "chars" folder.
std::string Resolve(const std::string& path) {
  if (path.empty() || EntryExists(path)) return path;
  // Most often the folder is spelled as on disk and only the name is new
  // or in other letter case: one look in the folder's listing.
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    const std::string folder = path.substr(0, slash);
    struct stat st;
    if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      const std::string match = Names().Find(folder, path.substr(slash + 1));
      return match.empty() ? path : folder + "/" + match;
    }
  }
  std::string resolved;
  bool found = true;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(pos, end - pos);
    if (found && !part.empty() && part != "." && part != ".." && !EntryExists(resolved + part)) {
      std::string folder = resolved.empty()  ? "."
                           : resolved == "/" ? "/"
                                             : resolved.substr(0, resolved.size() - 1);
      std::string match = Names().Find(folder, part);
      found = !match.empty();
      if (found) part = match;
    }
    resolved += part;
    if (end < path.size()) resolved += '/';
    pos = end + 1;
  }
  return resolved;
}

// True when this user may not do `mode` (W_OK, ...) to the entry `path`,
// as the system judged it.
bool Denied(const std::string& path, int mode) {
  return faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) != 0 && (errno == EACCES || errno == EPERM);
}

// What a user can do about a change of `path` (a file or folder created,
// written, renamed or removed; `other` is a rename's other end) that the
// system refused with `error`. A folder the user may not write in is named
// first, since every change needs its folder; then a file without write
// permission. Anything else gets the system's own words.
Status ChangeError(int error, const std::string& path, const std::string& other = std::string()) {
  if (error == EROFS) {
    return Status::PathError(path, "the file system it lies on is read-only (mounted read-only); "
                                   "mount it writable or move the game to a writable drive, then "
                                   "try again");
  }
  if (error == EACCES || error == EPERM) {
    for (const std::string* given : {&path, &other}) {
      if (given->empty()) continue;
      if (Denied(FolderOf(Resolve(*given)), W_OK | X_OK)) {
        return Status::PathError(FolderOf(*given),
                                 "no permission to write in this folder; run the program as a "
                                 "user who may write there, or give your user write permission "
                                 "to the folder, then try again");
      }
    }
    for (const std::string* given : {&path, &other}) {
      if (given->empty()) continue;
      const std::string target = Resolve(*given);
      struct stat st;
      if (lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) && Denied(target, W_OK)) {
        return Status::PathError(*given,
                                 "the file is read-only (it has no write permission); give it "
                                 "write permission (clear its read-only attribute), then try "
                                 "again");
      }
    }
  }
  return ErrnoError(path, error);
}

Status WriteAll(int fd, const std::string& path, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ChangeError(errno, path);
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
  // Takes `fd`, closing the one held before.
  void Reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  // Closes now, reporting a failed close (a delayed write error).
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

// Opens an existing file with `flags` without ever blocking (a pipe with no
// writer, a device) and checks that it is a regular file.
Status OpenRegular(const std::string& shown, const std::string& path, int flags,
                   FileDescriptor* fd, struct stat* st) {
  int raw = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
  if (raw < 0) {
    // A pipe opened for writing without a reader says ENXIO.
    if (errno == ENXIO) return Status::PathError(shown, "not a regular file");
    return (flags & O_ACCMODE) == O_RDONLY ? ErrnoError(shown, errno) : ChangeError(errno, shown);
  }
  fd->Reset(raw);
  if (fstat(raw, st) != 0) return ErrnoError(shown, errno);
  if (S_ISDIR(st->st_mode)) return Status::PathError(shown, "is a folder, not a file");
  if (!S_ISREG(st->st_mode)) {
    return Status::PathError(shown, "not a regular file (a device, pipe or socket), so it is not used");
  }
  // Reads and writes of a regular file block as usual.
  fcntl(raw, F_SETFL, fcntl(raw, F_GETFL) & ~O_NONBLOCK);
  return Status::Ok();
}

class PosixWriter : public FileWriter {
 public:
  PosixWriter(int fd, const std::string& path) : fd_(fd), path_(path) {}
  Status Write(std::string_view bytes) override {
    return WriteAll(fd_, path_, bytes.data(), bytes.size());
  }

 private:
  int fd_;
  const std::string& path_;
};

// The real path of `path`'s deepest part that exists, and in `*rest` what
// follows it.
bool RealPathOfExisting(const std::string& path, std::string* real, std::string* rest) {
  std::string existing = path;
  rest->clear();
  while (!existing.empty() && !EntryExists(existing)) {
    size_t slash = existing.find_last_of('/');
    if (slash == std::string::npos) {
      existing = ".";
      break;
    }
    *rest = existing.substr(slash) + *rest;
    existing = slash == 0 ? "/" : existing.substr(0, slash);
  }
  char buffer[PATH_MAX];
  if (realpath(existing.empty() ? "." : existing.c_str(), buffer) == nullptr) return false;
  *real = buffer;
  return true;
}

// Up to `limit` bytes of a small file of /proc (a command line, an
// environment). False when the process is gone or not ours to read.
bool ReadProcFile(const std::string& path, size_t limit, std::string* bytes) {
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  bytes->assign(limit, '\0');
  size_t done = 0;
  while (done < limit) {
    ssize_t n = read(fd.get(), &(*bytes)[done], limit - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bytes->resize(done);
  return done > 0;
}

// The value of `name` in a NUL-separated environment block, or "".
std::string EnvironmentValue(const std::string& environment, const std::string& name) {
  const std::string key = name + "=";
  for (size_t pos = 0; pos < environment.size();) {
    size_t end = environment.find('\0', pos);
    if (end == std::string::npos) end = environment.size();
    if (environment.compare(pos, key.size(), key) == 0) {
      return environment.substr(pos + key.size(), end - pos - key.size());
    }
    pos = end + 1;
  }
  return "";
}

// The Unix path of the program path `shown` in the command line of process
// `proc` ("/proc/<pid>"). A wine process shows a Windows path: "Z:\x\y.exe"
// is "/x/y.exe", and a drive letter leads through the process's wine
// prefix ($WINEPREFIX, else $HOME/.wine, of its environment) to
// dosdevices/<letter>:. A relative path lies in the process's current
// folder. "" when it cannot be told.
std::string UnixProgramPath(const std::string& proc, std::string shown) {
  for (const char* prefix : {"\\\\?\\", "\\??\\"}) {
    if (shown.compare(0, std::strlen(prefix), prefix) == 0) shown.erase(0, std::strlen(prefix));
  }
  const bool drive = shown.size() >= 3 && shown[1] == ':' && (shown[2] == '\\' || shown[2] == '/') &&
                     std::isalpha(static_cast<unsigned char>(shown[0]));
  if (!drive) {
    if (!shown.empty() && shown[0] == '/') return shown;
    if (shown.compare(0, 2, "\\\\") == 0) return "";  // a network path
    char cwd[PATH_MAX];
    ssize_t n = readlink((proc + "/cwd").c_str(), cwd, sizeof cwd - 1);
    if (n <= 0) return "";
    std::replace(shown.begin(), shown.end(), '\\', '/');
    return std::string(cwd, static_cast<size_t>(n)) + "/" + shown;
  }
  std::string rest = shown.substr(2);
  std::replace(rest.begin(), rest.end(), '\\', '/');
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(shown[0])));
  std::string environment, prefix;
  if (ReadProcFile(proc + "/environ", 1 << 20, &environment)) {
    prefix = EnvironmentValue(environment, "WINEPREFIX");
    if (prefix.empty() && !EnvironmentValue(environment, "HOME").empty()) {
      prefix = EnvironmentValue(environment, "HOME") + "/.wine";
    }
  }
  const std::string device = prefix + "/dosdevices/" + letter + ":";
  struct stat st;
  if (!prefix.empty() && stat(device.c_str(), &st) == 0) return device + rest;
  return letter == 'z' ? rest : "";  // wine's Z: is the Unix root
}

class PosixPlatform : public Platform {
 public:
  bool CanRead(const std::string& path) override {
    FileDescriptor fd(-1);
    struct stat st;
    return OpenRegular(path, Resolve(path), O_RDONLY, &fd, &st).ok();
  }

  // The questions about an entry ask about the name as given first: only
  // when nothing has that name is it looked up in other letter case.
  bool Exists(const std::string& path) override {
    struct stat st;
    return LookUp(path, false, &st);
  }

  bool IsFolder(const std::string& path) override {
    struct stat st;
    return LookUp(path, true, &st) && S_ISDIR(st.st_mode);
  }

  bool IsLink(const std::string& path) override {
    struct stat st;
    return LookUp(path, false, &st) && S_ISLNK(st.st_mode);
  }

  Status Stat(const std::string& path, FileInfo* info) override {
    struct stat st;
    if (!LookUp(path, true, &st)) return ErrnoError(path, errno);
    info->folder = S_ISDIR(st.st_mode);
    info->regular = S_ISREG(st.st_mode);
    info->size = static_cast<uint64_t>(st.st_size);
    info->modified = ChangeTime(st);
    return Status::Ok();
  }

  Status ReadFile(const std::string& path, uint64_t limit, std::string* bytes) override {
    bytes->clear();
    FileDescriptor fd(-1);
    struct stat st;
    Status opened = OpenRegular(path, Resolve(path), O_RDONLY, &fd, &st);
    if (!opened.ok()) return opened;
    if (static_cast<uint64_t>(st.st_size) > limit) return TooLarge(path, limit);
    bytes->resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    // The file may grow while it is read: read to its end, within the limit.
    for (;;) {
      if (done == bytes->size()) {
        if (bytes->size() >= limit) {
          char probe;
          ssize_t more = read(fd.get(), &probe, 1);
          if (more > 0) {
            bytes->clear();
            return TooLarge(path, limit);
          }
          break;
        }
        bytes->resize(std::min<uint64_t>(limit, bytes->size() + (1 << 16)));
      }
      ssize_t n = read(fd.get(), &(*bytes)[done], bytes->size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        int error = errno;
        bytes->clear();
        return ErrnoError(path, error);
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    bytes->resize(done);
    return Status::Ok();
  }

  Status ReadAt(const std::string& path, uint64_t offset, size_t size,
                std::string* bytes) override {
    bytes->clear();
    FileDescriptor fd(-1);
    struct stat st;
    Status opened = OpenRegular(path, Resolve(path), O_RDONLY, &fd, &st);
    if (!opened.ok()) return opened;
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

  Status ListFolder(const std::string& path, std::vector<std::string>* names) override {
    if (!ListNames(Resolve(path), names)) return ErrnoError(path, errno);
    return Status::Ok();
  }

  Status CheckInside(const std::string& root, const std::string& path) override {
    auto outside = [&path](const std::string& why) {
      return Status::PathError(path, why + "; the program does not change anything outside the "
                                           "game folder, so the operation was stopped");
    };
    if (path.compare(0, root.size() + 1, root + "/") != 0 || HasDotDot(path, "/")) {
      return outside("not inside the game folder");
    }
    std::string realRoot;
    if (!RealRoot(root, &realRoot)) return Status::PathError(root, "the game folder cannot be found");
    // Each part below the root that exists, one at a time: only a link can
    // lead elsewhere, and then where it leads must lie inside.
    std::string current = Resolve(root);
    for (size_t start = root.size() + 1; start <= path.size();) {
      size_t end = path.find('/', start);
      if (end == std::string::npos) end = path.size();
      const std::string name = path.substr(start, end - start);
      start = end + 1;
      if (name.empty() || name == ".") continue;
      std::string next = current + "/" + name;
      struct stat st;
      if (lstat(next.c_str(), &st) != 0) {
        const std::string match = Names().Find(current, name);
        if (match.empty()) break;  // the rest does not exist yet
        next = current + "/" + match;
        if (lstat(next.c_str(), &st) != 0) break;
      }
      if (S_ISLNK(st.st_mode)) {
        char buffer[PATH_MAX];
        if (realpath(next.c_str(), buffer) == nullptr) return ErrnoError(path, errno);
        const std::string real = buffer;
        if (real != realRoot && real.compare(0, realRoot.size() + 1, realRoot + "/") != 0) {
          return outside("leads outside the game folder through a link (to " + real + ")");
        }
      }
      current = next;
    }
    return Status::Ok();
  }

  Status WriteAt(const std::string& path, uint64_t offset, std::string_view bytes) override {
    FileDescriptor fd(-1);
    struct stat st;
    Status opened = OpenRegular(path, Resolve(path), O_WRONLY, &fd, &st);
    if (!opened.ok()) return opened;
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
        return ChangeError(errno, path);
      }
      done += static_cast<size_t>(n);
    }
    if (fdatasync(fd.get()) != 0 || !fd.Close()) return ChangeError(errno, path);
    return Status::Ok();
  }

  Status AppendFile(const std::string& path, std::string_view bytes) override {
    std::string target = Resolve(path);
    FileDescriptor fd(-1);
    struct stat st;
    bool created = false;
    if (!EntryExists(target)) {
      fd.Reset(open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
      if (!fd.valid()) return ChangeError(errno, path);
      created = true;
      Names().Added(target);
    } else {
      Status opened = OpenRegular(path, target, O_WRONLY | O_APPEND, &fd, &st);
      if (!opened.ok()) return opened;
    }
    Status status = WriteAll(fd.get(), path, bytes.data(), bytes.size());
    if (!status.ok()) return status;
    if ((created ? fsync(fd.get()) : fdatasync(fd.get())) != 0 || !fd.Close()) {
      return ChangeError(errno, path);
    }
    return Status::Ok();
  }

  Status ReplaceFile(const std::string& path, std::string_view bytes) override {
    std::string target = Resolve(path);
    std::string temp = target + "_temp";
    struct stat old;
    mode_t mode = stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    // A leftover "_temp" (perhaps a link) is replaced, never written through.
    unlink(temp.c_str());
    FileDescriptor fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd.valid()) return ChangeError(errno, path + "_temp");
    Status status = WriteAll(fd.get(), path + "_temp", bytes.data(), bytes.size());
    if (status.ok() && (fsync(fd.get()) != 0 || !fd.Close())) {
      status = ChangeError(errno, path + "_temp");
    }
    if (status.ok() && rename(temp.c_str(), target.c_str()) != 0) {
      status = ChangeError(errno, path);
    }
    if (!status.ok()) {
      unlink(temp.c_str());
      return status;
    }
    Names().Added(target);
    return status;
  }

  Status WriteNewFile(const std::string& path,
                      const std::function<Status(FileWriter&)>& produce) override {
    return NewFile(path, produce, true);
  }

  Status WriteNewFileUnflushed(const std::string& path,
                               const std::function<Status(FileWriter&)>& produce) override {
    return NewFile(path, produce, false);
  }

  Status FlushFiles(const std::vector<std::string>& paths) override {
    // syncfs writes back everything dirty on a file system and waits for
    // it, and reports a write-back error there that nobody was told of yet:
    // once per file system the files lie on.
    std::set<dev_t> flushed;
    for (const std::string& path : paths) {
      std::string target = Resolve(path);
      struct stat st;
      if (stat(target.c_str(), &st) != 0) return ErrnoError(path, errno);
      if (flushed.count(st.st_dev) != 0) continue;
      FileDescriptor fd(open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
      if (!fd.valid()) return ErrnoError(path, errno);
      if (syncfs(fd.get()) != 0) return ErrnoError(path, errno);
      flushed.insert(st.st_dev);
    }
    return Status::Ok();
  }

  Status RenameOver(const std::string& from, const std::string& to) override {
    std::string source = Resolve(from), target = Resolve(to);
    if (rename(source.c_str(), target.c_str()) != 0) return ChangeError(errno, from, to);
    Moved(source, target);
    return Status::Ok();
  }

  Status CopyFile(const std::string& from, const std::string& to) override {
    std::string temp;
    Status status = CopyToTemp(from, to, true, &temp);
    if (status.ok()) status = Rename(temp, Resolve(to));
    if (!status.ok() && !temp.empty()) Unlink(temp);
    return status;
  }

  Status CopyFiles(const std::vector<FilePair>& copies) override { return Copies(copies, true); }
  Status CopyFilesUnflushed(const std::vector<FilePair>& copies) override {
    return Copies(copies, false);
  }

  // Every copy is written under its temporary name, then, with `flush`,
  // all are flushed at once, and only then does each take its name.
  Status Copies(const std::vector<FilePair>& copies, bool flush) {
    std::vector<std::string> temps;
    Status status;
    for (const FilePair& copy : copies) {
      std::string temp;
      status = CopyToTemp(copy.from, copy.to, false, &temp);
      if (!temp.empty()) temps.push_back(temp);
      if (!status.ok()) break;
    }
    if (status.ok() && flush) status = FlushFiles(temps);
    size_t renamed = 0;
    for (; status.ok() && renamed < copies.size(); ++renamed) {
      status = Rename(temps[renamed], Resolve(copies[renamed].to));
    }
    for (size_t i = status.ok() ? temps.size() : renamed; i < temps.size(); ++i) Unlink(temps[i]);
    return status;
  }

  Status Rename(const std::string& from, const std::string& to) override {
    std::string source = Resolve(from);
    std::string target = Resolve(to);
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      Moved(source, target);
      return Status::Ok();
    }
    if (errno != EINVAL && errno != ENOSYS) return ChangeError(errno, from, to);
    // The file system cannot rename without replacing: link and unlink files,
    // and test first for folders.
    if (EntryExists(target)) return ErrnoError(to, EEXIST);
    struct stat st;
    if (lstat(source.c_str(), &st) != 0) return ErrnoError(from, errno);
    if (S_ISDIR(st.st_mode)) {
      if (rename(source.c_str(), target.c_str()) != 0) return ChangeError(errno, from, to);
      Moved(source, target);
      return Status::Ok();
    }
    if (link(source.c_str(), target.c_str()) != 0) return ChangeError(errno, to, from);
    if (unlink(source.c_str()) != 0) {
      int error = errno;
      unlink(target.c_str());
      return ChangeError(error, from);
    }
    Moved(source, target);
    return Status::Ok();
  }

  Status Remove(const std::string& path) override {
    std::string target = Resolve(path);
    if (unlink(target.c_str()) != 0) return ChangeError(errno, path);
    Names().Removed(target);
    return Status::Ok();
  }

  Status CreateFolder(const std::string& path) override {
    std::string target = Resolve(path);
    if (mkdir(target.c_str(), 0755) != 0) return ChangeError(errno, path);
    Names().Added(target);
    return Status::Ok();
  }

  Status RemoveOwnFile(const std::string& path) override { return Remove(path); }

  Status RemoveEmptyFolder(const std::string& path) override {
    std::string target = Resolve(path);
    if (rmdir(target.c_str()) != 0) return ChangeError(errno, path);
    // Listings kept below the folder are gone with it.
    Names().Forget();
    return Status::Ok();
  }

  // Entry by entry through open folder handles, as "rm -r" does: one call
  // per file, and a link is never followed.
  Status RemoveOwnTree(const std::string& path) override {
    std::vector<std::string> stuck;
    const std::string target = Resolve(path);
    RemoveBelow(AT_FDCWD, target, path, &stuck);
    if (stuck.empty() && rmdir(target.c_str()) != 0) stuck.push_back(ChangeError(errno, path).message());
    Names().Forget();
    return EntriesThatStay(stuck);
  }

  Status SyncFolder(const std::string& path) override {
    FileDescriptor fd(open(Resolve(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return ErrnoError(path, errno);
    if (fsync(fd.get()) != 0) return ErrnoError(path, errno);
    return Status::Ok();
  }

  Status SyncFile(const std::string& path) override {
    FileDescriptor fd(-1);
    struct stat st;
    Status opened = OpenRegular(path, Resolve(path), O_RDONLY, &fd, &st);
    if (!opened.ok()) return opened;
    if (fsync(fd.get()) != 0) return ErrnoError(path, errno);
    return Status::Ok();
  }

  Status TryLockFile(const std::string& path, bool* taken, intptr_t* handle) override {
    *taken = false;
    const std::string target = Resolve(path);
    for (;;) {
      const int fd = open(target.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
      if (fd < 0) return ChangeError(errno, path);
      if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        return error == EWOULDBLOCK ? Status::Ok() : ErrnoError(path, error);
      }
      // The holder before may have removed the file as it let go: the lock
      // counts only while the name still leads to the very file locked.
      struct stat locked, named;
      if (fstat(fd, &locked) == 0 && stat(target.c_str(), &named) == 0 &&
          locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
        *taken = true;
        *handle = fd;
        return Status::Ok();
      }
      close(fd);
    }
  }

  void UnlockFile(const std::string& path, intptr_t handle) override {
    // Only the very file locked: one that took its name since is another's.
    const std::string target = Resolve(path);
    struct stat locked, named;
    if (fstat(static_cast<int>(handle), &locked) == 0 && stat(target.c_str(), &named) == 0 &&
        locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
      unlink(target.c_str());
    }
    close(static_cast<int>(handle));
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

  bool IsRunning(const std::string& executablePath) override {
    struct stat game;
    if (stat(Resolve(AbsolutePath(executablePath)).c_str(), &game) != 0) return false;
    const std::string name = FoldCase(BaseName(executablePath));
    // Only a process whose program has the game's name is looked at
    // further: a few system calls for each of the others.
    auto sameFile = [&game](const std::string& path) {
      struct stat st;
      return !path.empty() && stat(Resolve(path).c_str(), &st) == 0 && st.st_dev == game.st_dev &&
             st.st_ino == game.st_ino;
    };
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return false;
    bool running = false;
    while (dirent* entry = readdir(proc)) {
      if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
      const std::string folder = std::string("/proc/") + entry->d_name;
      std::string commandLine;
      // Kernel threads have no command line.
      if (!ReadProcFile(folder + "/cmdline", 4096, &commandLine)) continue;
      const std::string shown = commandLine.substr(0, commandLine.find('\0'));
      // A native program: the file it runs.
      char exe[PATH_MAX];
      ssize_t n = readlink((folder + "/exe").c_str(), exe, sizeof exe - 1);
      if (n > 0) {
        const std::string program(exe, static_cast<size_t>(n));
        if (FoldCase(BaseName(program)) == name && sameFile(program)) {
          running = true;
          break;
        }
      }
      // A program under wine or Proton: the path its command line shows.
      if (FoldCase(BaseName(shown)) == name && sameFile(UnixProgramPath(folder, shown))) {
        running = true;
        break;
      }
    }
    closedir(proc);
    return running;
  }

  Status RunProgram(const std::vector<std::string>& argv, int* exitStatus,
                    const ProgramWatch& watch) override {
    if (argv.empty()) return Status::Error("No program to run.");
    std::string program = Resolve(argv[0]);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    // A watched program writes its standard output into a pipe of ours.
    int output[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (watch) {
      if (pipe2(output, O_CLOEXEC) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return ErrnoError(argv[0], errno);
      }
      posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    }
    pid_t pid;
    int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    FileDescriptor reader(output[0]);
    if (output[1] >= 0) close(output[1]);
    // Whatever the program did to the folders, it did behind our back.
    Names().Forget();
    if (error != 0) return Status::PathError(argv[0], std::string("cannot start: ") + std::strerror(error));
    int status = 0;
    if (watch) {
      Status watched = Watch(pid, reader.get(), watch, &status);
      if (!watched.ok()) return watched;
    } else {
      while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return ErrnoError(argv[0], errno);
      }
    }
    Names().Forget();
    if (WIFSIGNALED(status)) {
      return Status::PathError(argv[0], "stopped by signal " + std::to_string(WTERMSIG(status)));
    }
    *exitStatus = WEXITSTATUS(status);
    return Status::Ok();
  }

 private:
  // stat (`follow`) or lstat of `path`, spelled as given or else as on disk.
  static bool LookUp(const std::string& path, bool follow, struct stat* st) {
    auto look = [follow, st](const std::string& name) {
      return (follow ? stat(name.c_str(), st) : lstat(name.c_str(), st)) == 0;
    };
    if (look(path)) return true;
    if (errno != ENOENT && errno != ENOTDIR) return false;
    const std::string resolved = Resolve(path);
    return resolved != path && look(resolved);
  }

  // The real path of the folder `root`, found once and kept: the game
  // folder is checked against it many times in an operation.
  bool RealRoot(const std::string& root, std::string* real) {
    std::lock_guard<std::mutex> lock(roots_mutex_);
    auto found = roots_.find(root);
    if (found != roots_.end()) {
      *real = found->second;
      return true;
    }
    std::string rest;
    if (!RealPathOfExisting(Resolve(root), real, &rest) || !rest.empty()) return false;
    roots_[root] = *real;
    return true;
  }

  std::mutex roots_mutex_;
  std::unordered_map<std::string, std::string> roots_;

  // Copies `from` to `to` + "_temp" (a leftover of that name goes first),
  // flushed or not; `*temp` names the temporary file once it exists.
  Status CopyToTemp(const std::string& from, const std::string& to, bool flush, std::string* temp) {
    temp->clear();
    FileDescriptor in(-1);
    struct stat st;
    Status opened = OpenRegular(from, Resolve(from), O_RDONLY, &in, &st);
    if (!opened.ok()) return opened;
    std::string target = Resolve(to);
    if (EntryExists(target)) return ErrnoError(to, EEXIST);
    // The copy is written under a temporary name and renamed into place
    // when complete, so a cut-off copy never stands under the target's name.
    const std::string name = target + "_temp";
    FileDescriptor out(
        open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777));
    if (!out.valid()) return ChangeError(errno, to + "_temp");
    *temp = name;
    Names().Added(name);
    Status status;
    // The kernel copies within the file system (as cp does); where it
    // cannot, the bytes go through a buffer of ours.
    uint64_t copied = 0;
    for (;;) {
      ssize_t n = copy_file_range(in.get(), nullptr, out.get(), nullptr, 1 << 30, 0);
      if (n > 0) {
        copied += static_cast<uint64_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && copied == 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                                   errno == EOPNOTSUPP)) {
        status = CopyThroughBuffer(in.get(), out.get(), from, to);
      } else if (n < 0) {
        status = ChangeError(errno, to);
      }
      break;
    }
    // The disk starts writing the copy now, while the next ones are made,
    // so that the flush at the end of a batch has little left to wait for.
    if (status.ok() && !flush) sync_file_range(out.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    if (status.ok() && ((flush && fsync(out.get()) != 0) || !out.Close())) {
      status = ChangeError(errno, to);
    }
    return status;
  }

  static Status CopyThroughBuffer(int in, int out, const std::string& from, const std::string& to) {
    std::string buffer(1 << 16, '\0');
    for (;;) {
      ssize_t n = read(in, &buffer[0], buffer.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return ErrnoError(from, errno);
      }
      if (n == 0) return Status::Ok();
      Status status = WriteAll(out, to, buffer.data(), static_cast<size_t>(n));
      if (!status.ok()) return status;
    }
  }

  static void Unlink(const std::string& path) {
    unlink(path.c_str());
    Names().Removed(path);
  }

  // Waits for the program `pid`, reading its standard output from `fd`
  // and telling `watch` at least every 100 ms; stops it when told to.
  static Status Watch(pid_t pid, int fd, const ProgramWatch& watch, int* status) {
    std::string pending;
    bool open = true;
    // Reads what the pipe holds, waiting at most `ms` for it.
    auto read_output = [&](int ms) {
      struct pollfd ready = {fd, POLLIN, 0};
      if (poll(&ready, 1, ms) <= 0) return false;
      char buffer[4096];
      ssize_t got = read(fd, buffer, sizeof buffer);
      if (got > 0) pending.append(buffer, static_cast<size_t>(got));
      if (got == 0 || (got < 0 && errno != EINTR)) open = false;
      return got > 0;
    };
    // The program is looked at often, so that its end is seen at once; the
    // watch hears at least every 100 ms.
    auto told = std::chrono::steady_clock::now();
    for (;;) {
      if (open) {
        read_output(10);
      } else {
        struct timespec pause = {0, 2 * 1000 * 1000};
        nanosleep(&pause, nullptr);
      }
      pid_t done = waitpid(pid, status, WNOHANG);
      if (done < 0 && errno != EINTR) return Status::Error(std::strerror(errno));
      // What it printed before it ended is still told.
      while (done == pid && open && read_output(0)) {
      }
      const auto now = std::chrono::steady_clock::now();
      if (done != pid && pending.find('\n') == std::string::npos &&
          now - told < std::chrono::milliseconds(100)) {
        continue;
      }
      told = now;
      std::vector<std::string> lines;
      for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
        lines.push_back(pending.substr(0, end));
      }
      if (!watch(lines)) {
        if (done != pid) {
          kill(pid, SIGKILL);
          while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
          }
        }
        return Status::Cancelled();
      }
      if (done == pid) return Status::Ok();
    }
  }

  Status NewFile(const std::string& path, const std::function<Status(FileWriter&)>& produce,
                 bool flush) {
    std::string target = Resolve(path);
    FileDescriptor fd(open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd.valid()) return ChangeError(errno, path);
    Names().Added(target);
    PosixWriter writer(fd.get(), path);
    Status status = produce(writer);
    if (status.ok() && ((flush && fsync(fd.get()) != 0) || !fd.Close())) {
      status = ChangeError(errno, path);
    }
    if (!status.ok()) {
      unlink(target.c_str());
      Names().Removed(target);
    }
    return status;
  }

  static Status TooLarge(const std::string& path, uint64_t limit) {
    return Status::PathError(path, "larger than the " + std::to_string(limit) +
                                       " bytes such a file may have, so it is not read");
  }

  // Removes everything in the folder `name` (relative to the open folder
  // `at`), adding what stays to `stuck`; `shown` is its path for messages.
  static void RemoveBelow(int at, const std::string& name, const std::string& shown,
                          std::vector<std::string>* stuck) {
    const int fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (dir == nullptr) {
      stuck->push_back(ErrnoError(shown, errno).message());
      if (fd >= 0) close(fd);
      return;
    }
    std::vector<std::pair<std::string, bool>> entries;  // name, is a folder
    while (dirent* entry = readdir(dir)) {
      const std::string child = entry->d_name;
      if (child == "." || child == "..") continue;
      bool folder = entry->d_type == DT_DIR;
      if (entry->d_type == DT_UNKNOWN) {
        struct stat st;
        folder = fstatat(fd, child.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
      }
      entries.emplace_back(child, folder);
    }
    for (const auto& [child, folder] : entries) {
      const std::string childShown = shown + "/" + child;
      const size_t before = stuck->size();
      if (folder) RemoveBelow(fd, child, childShown, stuck);
      if (stuck->size() != before) continue;
      if (unlinkat(fd, child.c_str(), folder ? AT_REMOVEDIR : 0) != 0) {
        stuck->push_back(ChangeError(errno, childShown).message());
      }
    }
    closedir(dir);
  }

  static void Moved(const std::string& from, const std::string& to) {
    struct stat st;
    if (stat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      Names().Forget();  // listings kept below a moved folder no longer apply
      return;
    }
    Names().Removed(from);
    Names().Added(to);
  }
};

}  // namespace

Platform& SystemPlatform() {
  static PosixPlatform platform;
  return platform;
}

bool StandardErrorIsTerminal() { return isatty(2) == 1; }

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::vector<std::string> FindGameInstalls(std::vector<std::string>* problems) {
  // Steam's own folder, the older place that is now mostly a link to it,
  // and the folder of Steam installed from Flathub. Their library lists
  // name Linux paths.
  std::vector<std::string> steamFolders;
  const char* home = getenv("HOME");
  if (home != nullptr && *home != '\0') {
    const std::string folder = home;
    steamFolders = {folder + "/.local/share/Steam", folder + "/.steam/steam",
                    folder + "/.var/app/com.valvesoftware.Steam/.local/share/Steam"};
  }
  // One file reached through links under several names is one install.
  auto identity = [](const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : path;
  };
  return FindInstalls(SystemPlatform(), steamFolders, {}, identity, problems);
}

Environment SystemEnvironment() {
  return [](const std::string& name) {
    const char* value = getenv(name.c_str());
    return value != nullptr ? std::string(value) : std::string();
  };
}

ProgramFolders FindProgramFolders(Platform& platform, const std::string& executableFolder,
                                  const Environment& environment) {
  // The home folder: $HOME, else the user's entry in the password database.
  std::string home = environment("HOME");
  if (home.empty()) {
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
      home = found->pw_dir;
    }
  }
  // A base folder of the XDG rules: the variable when it holds an absolute
  // path (any other value is to be ignored), else its default in home.
  auto base = [&](const char* variable, const char* inHome) {
    std::string folder = environment(variable);
    if (folder.empty() || folder[0] != '/') folder = home + inHome;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  };
  // A program installed under a prefix (/usr, /usr/local) has its
  // executables in prefix/bin and its own files in prefix/lib/korva-zid.
  std::string program = executableFolder;
  const std::string installed = ParentFolder(executableFolder) + "/lib/korva-zid";
  if (BaseName(executableFolder) == "bin" && !platform.IsFolder(executableFolder + "/data") &&
      platform.IsFolder(installed)) {
    program = installed;
  }
  return ChooseProgramFolders(
      platform, executableFolder,
      [&] { return access(executableFolder.c_str(), W_OK) == 0; }, program,
      base("XDG_CONFIG_HOME", "/.config"), base("XDG_DATA_HOME", "/.local/share"));
}

}  // namespace korva
