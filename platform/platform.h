// Platform: the only door to the operating system. Every file, folder and
// process operation of the program goes through it, with the semantics of the
// game's own platform (Windows) on every system:
//  - file names are matched case-insensitively, one path component at a time,
//    on file systems that are case-sensitive;
//  - a copy or rename never replaces an existing target;
//  - a whole-file rewrite lands atomically or not at all;
//  - folder listings come sorted by name, case-insensitively;
//  - only regular files are read, never a device, pipe or socket, and never
//    more bytes than the caller allows;
//  - a change that the system refuses says why in words a user can act on:
//    a read-only file, a folder the user may not write in, a read-only file
//    system, or (on Windows) a file that another program holds open, which
//    is first tried again for about two seconds;
//  - on Windows paths may be longer than 260 characters.
// Each system has its own file (platform_posix.cpp, platform_windows.cpp),
// chosen by the build. Tests wrap a Platform to watch calls or to make any
// single one fail.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace korva {

// What a folder entry is, as far as the program cares.
struct FileInfo {
  bool folder = false;
  bool regular = false;  // a plain file (not a folder, device, pipe, socket)
  uint64_t size = 0;
  int64_t modified = 0;  // last change, nanoseconds since an epoch of the system's
};

// A file and where it goes, for the calls that take many at once.
struct FilePair {
  std::string from;
  std::string to;
};

// Watches an outside program while it runs: gets the whole lines it printed
// on its standard output since the last look, and returns false to stop it.
using ProgramWatch = std::function<bool(const std::vector<std::string>& lines)>;

// Where WriteNewFile puts the bytes of a new file.
class FileWriter {
 public:
  virtual ~FileWriter() = default;
  virtual Status Write(std::string_view bytes) = 0;
};

class Platform;

// Where the program finds its own files and keeps the user's. It runs in
// one of two forms, told apart by the folder of its executable:
//  - portable: that folder can be written in and holds config.ini or a file
//    named "portable" (a build folder, the unzipped download). Everything
//    lies there, as it always has.
//  - installed: otherwise (a Debian package, a Windows setup). The
//    program's own files lie with it; the user's lie in the user's own
//    folders of the system, which the program makes when they are missing.
// Each system's half of the platform says where those folders are; the
// rest of the program only asks for them.
struct ProgramFolders {
  std::string program;     // the program's own files: data/ and tools/
  std::string settings;    // config.ini and the window's own settings
  std::string user_files;  // the user's mod packages and rosters
  // True when the user's files live apart from the program, in folders of
  // the user's own that a first start makes.
  bool apart = false;

  std::string mods() const { return user_files + "/mods"; }
  std::string rosters() const { return user_files + "/rosters"; }
};

// The value of an environment variable; "" when it is not set.
using Environment = std::function<std::string(const std::string& name)>;
// This process's environment.
Environment SystemEnvironment();

// The folders of a program whose executable lies in `executableFolder`,
// with `environment` as its environment, by this system's rules:
//  - POSIX (platform_posix.cpp): settings in $XDG_CONFIG_HOME/korva-zid,
//    the user's files in $XDG_DATA_HOME/korva-zid (each variable only when
//    it holds an absolute path; else ~/.config and ~/.local/share); an
//    executable in a "bin" folder without data/ beside it takes its own
//    files from ../lib/korva-zid (/usr/bin -> /usr/lib/korva-zid);
//  - Windows (platform_windows.cpp): settings in %APPDATA%\korva-zid, the
//    user's files in %LOCALAPPDATA%\korva-zid (the user's known folders
//    when the variables are not set); the program's own files beside it.
// Paths come with "/" separators. Looking costs a few file system calls
// and writes nothing (whether a folder can be written in is asked of the
// system).
ProgramFolders FindProgramFolders(Platform& platform, const std::string& executableFolder,
                                  const Environment& environment);

class Platform {
 public:
  virtual ~Platform() = default;

  // True when `path` names a regular file that can be opened for reading.
  virtual bool CanRead(const std::string& path) = 0;
  // True when `path` names any entry (file, folder, link).
  virtual bool Exists(const std::string& path) = 0;
  virtual bool IsFolder(const std::string& path) = 0;
  // True when `path` itself is a symbolic link or junction (whatever it
  // points to).
  virtual bool IsLink(const std::string& path) = 0;
  // The entry's kind, size and time of last change, following links.
  virtual Status Stat(const std::string& path, FileInfo* info) = 0;

  // Reads the whole file as bytes. Fails, reading nothing, for anything but
  // a regular file and for a file of more than `limit` bytes.
  virtual Status ReadFile(const std::string& path, uint64_t limit, std::string* bytes) = 0;
  // Reads up to `size` bytes from `offset` of a regular file; fewer when the
  // file ends first.
  virtual Status ReadAt(const std::string& path, uint64_t offset, size_t size,
                        std::string* bytes) = 0;
  // Names of the entries of a folder, sorted case-insensitively, without
  // "." and "..".
  virtual Status ListFolder(const std::string& path, std::vector<std::string>* names) = 0;
  // Succeeds when `path` lies inside the folder `root`: it is spelled below
  // root, has no ".." component, and no part of it that exists is a link or
  // junction leading outside root. Fails naming the path otherwise.
  virtual Status CheckInside(const std::string& root, const std::string& path) = 0;

  // Overwrites bytes of an existing regular file in place and flushes them
  // to disk. Fails, writing nothing, when the range does not lie wholly
  // inside the file: a file never grows.
  virtual Status WriteAt(const std::string& path, uint64_t offset, std::string_view bytes) = 0;
  // Appends bytes to a regular file, creating it when it is missing, and
  // flushes them to disk.
  virtual Status AppendFile(const std::string& path, std::string_view bytes) = 0;
  // Makes `path` hold exactly `bytes`: writes path + "_temp", flushes it to
  // disk and renames it over `path`. On failure `path` is as it was and no
  // temporary file is left.
  virtual Status ReplaceFile(const std::string& path, std::string_view bytes) = 0;
  // Creates the new file `path` (failing when anything has that name) and
  // lets `produce` write its bytes; then flushes it to disk. When `produce`
  // or a write fails, the file is removed again and the failure returned.
  virtual Status WriteNewFile(const std::string& path,
                              const std::function<Status(FileWriter&)>& produce) = 0;
  // As WriteNewFile, but leaves the bytes unflushed: they last through a
  // power cut only once FlushFiles has been called for the file. For writing
  // many files, where one flush for all costs far less than one for each.
  virtual Status WriteNewFileUnflushed(const std::string& path,
                                       const std::function<Status(FileWriter&)>& produce) {
    return WriteNewFile(path, produce);
  }
  // Makes the bytes of the files `paths`, written by WriteNewFileUnflushed,
  // last through a power cut. Fails, naming a path, when a write-back
  // failed.
  virtual Status FlushFiles(const std::vector<std::string>& paths) {
    (void)paths;  // WriteNewFileUnflushed flushed each file already
    return Status::Ok();
  }
  // Copies many regular files, each as CopyFile does (never over an
  // existing target, never a partial file under the target's name), and
  // flushes their bytes together: one flush for all costs far less than
  // one for each. Stops at the first failure, which names its file.
  virtual Status CopyFiles(const std::vector<FilePair>& copies) {
    for (const FilePair& copy : copies) {
      Status status = CopyFile(copy.from, copy.to);
      if (!status.ok()) return status;
    }
    return Status::Ok();
  }
  // As CopyFiles, but leaves the bytes unflushed: they last through a power
  // cut only once FlushFiles has been called for the copies. For copying
  // many parts of one batch, to flush them all once at its end.
  virtual Status CopyFilesUnflushed(const std::vector<FilePair>& copies) {
    return CopyFiles(copies);
  }
  // Renames many files or folders, each as Rename does. Stops at the first
  // failure.
  virtual Status RenameFiles(const std::vector<FilePair>& renames) {
    for (const FilePair& rename : renames) {
      Status status = Rename(rename.from, rename.to);
      if (!status.ok()) return status;
    }
    return Status::Ok();
  }
  // Deletes many files, each as Remove does. Stops at the first failure.
  virtual Status RemoveFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
      Status status = Remove(path);
      if (!status.ok()) return status;
    }
    return Status::Ok();
  }
  // Creates many folders, each as CreateFolder does, in the order given
  // (parents before their children). Stops at the first failure.
  virtual Status CreateFolders(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
      Status status = CreateFolder(path);
      if (!status.ok()) return status;
    }
    return Status::Ok();
  }
  // Removes many empty folders, each as RemoveEmptyFolder does, in the order
  // given (children before their parents). Stops at the first failure.
  virtual Status RemoveEmptyFolders(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
      Status status = RemoveEmptyFolder(path);
      if (!status.ok()) return status;
    }
    return Status::Ok();
  }
  // Deletes a file that the program made for its own use (a saved copy, a
  // temporary file), also one that is marked read-only.
  virtual Status RemoveOwnFile(const std::string& path) { return Remove(path); }
  // Removes a folder of the program's own with everything below it, each
  // file as RemoveOwnFile removes it. A link inside goes itself; what it
  // leads to stays. Goes on past what cannot be removed; the error then
  // names each such entry, one a line.
  virtual Status RemoveOwnTree(const std::string& path);
  // Removes many folders, each with everything below it. Stops at the first
  // failure. Under the operation journal each folder moves aside whole, to
  // be removed once the operation is done.
  virtual Status RemoveTrees(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
      Status status = RemoveOwnTree(path);
      if (!status.ok()) return status;
    }
    return Status::Ok();
  }
  // Renames `from` over `to` in one step, replacing `to` if it exists.
  virtual Status RenameOver(const std::string& from, const std::string& to) = 0;
  // Copies a regular file byte for byte and flushes the copy to disk. Fails
  // when `to` exists; never overwrites.
  virtual Status CopyFile(const std::string& from, const std::string& to) = 0;
  // Renames a file or folder. Fails when `to` exists; never replaces.
  virtual Status Rename(const std::string& from, const std::string& to) = 0;
  // Deletes a file (a link itself, not what it points to).
  virtual Status Remove(const std::string& path) = 0;
  // Creates one folder; fails when anything exists under that name.
  virtual Status CreateFolder(const std::string& path) = 0;
  // Removes a folder; fails unless it is empty.
  virtual Status RemoveEmptyFolder(const std::string& path) = 0;
  // Makes the creations, renames and removals of entries in the folder
  // `path` last through a power cut.
  virtual Status SyncFolder(const std::string& path) = 0;
  // Makes the bytes of the regular file `path`, written by another program
  // or library, last through a power cut.
  virtual Status SyncFile(const std::string& path) = 0;

  // Takes the operating system's exclusive lock of the file `path`,
  // creating the file when it is missing, without waiting. `*taken` says
  // whether it was had; another holder (another process, or another lock of
  // this one) is no failure. The system drops the lock when the process
  // ends, however it ends, so a crash never leaves it held. The lock is
  // `*handle`'s until UnlockFile.
  virtual Status TryLockFile(const std::string& path, bool* taken, intptr_t* handle) = 0;
  // Removes the file `path` that TryLockFile locked as `handle`, then lets
  // the lock go.
  virtual void UnlockFile(const std::string& path, intptr_t handle) = 0;

  // The folder of the running executable, without a trailing separator.
  virtual std::string ProgramFolder() = 0;
  // Where the running program finds its own files and keeps the user's:
  // FindProgramFolders for ProgramFolder() and this process's environment.
  virtual ProgramFolders Folders() {
    return FindProgramFolders(*this, ProgramFolder(), SystemEnvironment());
  }
  // The path under which other programs and libraries find `path` (the name
  // as it is spelled on disk, resolved case-insensitively).
  virtual std::string NativePath(const std::string& path) = 0;
  // `path` made absolute against the current folder; unchanged when it is
  // absolute already. On Windows "\" separators become "/".
  virtual std::string AbsolutePath(const std::string& path) = 0;
  // True when a process runs whose program is the file `executablePath`
  // (the game's KORVAQUORIN.exe): that very file, however its path is
  // spelled, not another file of the same name in another folder. On Linux
  // a game run under wine or Proton counts too, found by the Windows path
  // that its command line shows. Processes the user may not inspect are not
  // counted. Costs a few milliseconds.
  virtual bool IsRunning(const std::string& executablePath) = 0;

  // Runs a program with its arguments and waits for it. `argv[0]` is the
  // program's path. On success `*exitStatus` holds its exit status; a
  // program that cannot be started or dies of a signal is a failure.
  // With a `watch`, the program's standard output comes to it, and it is
  // called at least every 100 ms while the program runs; when it returns
  // false the program is stopped and the call returns Status::Cancelled().
  // Without one, the program prints where this process prints.
  virtual Status RunProgram(const std::vector<std::string>& argv, int* exitStatus,
                            const ProgramWatch& watch) = 0;
  Status RunProgram(const std::vector<std::string>& argv, int* exitStatus) {
    return RunProgram(argv, exitStatus, nullptr);
  }
};

// What the program says when it would change the game's files while the
// game runs (IsRunning).
inline constexpr char kGameRunningMessage[] =
    "Korva Quorin is running. Close the game, then try again.";

// The platform of the running system.
Platform& SystemPlatform();

// The arguments a program was started with, argv[0] first, as UTF-8. On
// Windows they are read from the wide-character command line, so names
// outside the 8-bit code page arrive whole; elsewhere they are argv itself.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Creates the folder `path` and every folder above it that is missing.
// Succeeds when it is a folder already. Fails naming the first folder that
// could not be made.
Status MakeFolders(Platform& platform, const std::string& path);

// Sets `*same` to whether the files `a` and `b` hold the same bytes (sizes
// first, then their bytes a block at a time). Fails when either cannot be
// read.
Status SameBytes(Platform& platform, const std::string& a, const std::string& b, bool* same);

// True when this process's standard error is a terminal (a console on
// Windows) that a status line can be rewritten on.
bool StandardErrorIsTerminal();

// Every place where the game is installed, as the full path of its
// KORVAQUORIN.exe ("/" separators, spelled as on disk), each once, in a
// stable order: Steam's libraries first, then GOG's games. Windows learns
// where Steam and GOG are from the registry; other systems look in Steam's
// folders under the home folder (HOME). A Steam library list that cannot be
// read is passed over: when `problems` is given, what was passed over and
// why is added to it. Empty when the game is found nowhere.
std::vector<std::string> FindGameInstalls(std::vector<std::string>* problems = nullptr);

// The command text that the Windows shell is given for `argv`: the whole line
// in an outer pair of double quotes, the program quoted, and every argument
// that holds a path separator or a space quoted; option words stay bare.
// ["C:/g/crunch.exe", "-file", "C:/g/a.dds"] gives ""C:/g/crunch.exe" -file "C:/g/a.dds"".
std::string ShellCommandText(const std::vector<std::string>& argv);

// The file name at the end of `path`: what follows its last "/" or "\".
std::string BaseName(const std::string& path);
// `path` without its last component and the separator before it ("" when
// there is no separator).
std::string ParentFolder(const std::string& path);

}  // namespace korva
