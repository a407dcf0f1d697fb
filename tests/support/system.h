// What tests make with the file system that differs between systems: links,
// pipes and devices, and a file held open by another reader. Each maker
// says why when this system cannot make the thing, so that the test can
// skip with that reason.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korva {

// Makes `link` lead to `target`: a symbolic link on POSIX; on Windows a
// junction when the target is a folder (it needs no privilege), else a
// symbolic link. False, with `*whyNot`, when this system cannot.
bool MakeLink(const std::string& target, const std::string& link, std::string* whyNot);

// Makes `path` a pipe (a FIFO) that nothing ever writes into. False, with
// `*whyNot`, on systems without FIFO files.
bool MakePipe(const std::string& path, std::string* whyNot);

// A path in `folder` that names a device rather than a file: a link to the
// endless /dev/zero on POSIX, the device name NUL on Windows (any folder
// holds it).
std::string DevicePath(const std::string& folder);

// This system's records of where games are installed, pointed at folders
// under `root` while the object lives and put back as they were when it
// goes: on POSIX the home folder (HOME) becomes root + "/home"; on Windows
// Steam's registry values name root + "/Steam", and GOG games are recorded
// under keys of the object's own.
class MadeUpInstallRecords {
 public:
  explicit MadeUpInstallRecords(const std::string& root);
  ~MadeUpInstallRecords();
  MadeUpInstallRecords(const MadeUpInstallRecords&) = delete;
  MadeUpInstallRecords& operator=(const MadeUpInstallRecords&) = delete;

  // The Steam folder that the records name (not made).
  std::string SteamFolder() const;
  // Records `folder` as a GOG game's. False, with `*whyNot`, where GOG
  // keeps no records (POSIX).
  bool AddGogGame(const std::string& folder, std::string* whyNot);
  // `path` as this system's programs write it into their files: with "\"
  // separators on Windows.
  static std::string Written(const std::string& path);

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
  std::string root_;
};

// Runs `body` as a user whom file permissions bind, and returns what it
// returned. Root is not bound by them: when the tests run as root on POSIX,
// `body` runs in a child process that has dropped to the user "nobody"
// (65534), to whom the folders `owned` and everything in them are handed
// first; it must then report through its result only. Elsewhere it runs
// here. False, with `*whyNot`, when this cannot be done.
bool RunAsOrdinaryUser(const std::vector<std::string>& owned, const std::function<std::string()>& body,
                       std::string* result, std::string* whyNot);

// Runs argv[0] with its arguments, its standard error on a terminal (a
// pseudo-terminal) and its standard output into the file `out`, and waits
// for it. `*terminal` gets what reached the terminal, `*status` the exit
// status. False, with `*whyNot`, where the tests can make no terminal
// (Windows).
bool RunOnTerminal(const std::vector<std::string>& argv, const std::string& out,
                   std::string* terminal, int* status, std::string* whyNot);

// A file held open for reading by someone else (the game, a virus scanner),
// sharing it as readers usually do: others may read, write, rename and
// delete it meanwhile.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  bool is_open() const;
  // Everything the open file holds, read from its start.
  std::string ReadAll();

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

// A file held open so that nobody else may write, rename or delete it, as
// Windows programs commonly hold their files. On POSIX nothing locks a
// file: false, with `*whyNot`.
class LockedFile {
 public:
  explicit LockedFile(const std::string& path);
  ~LockedFile();
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  bool locked(std::string* whyNot) const;

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

}  // namespace korva
