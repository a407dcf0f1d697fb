// Real files for tests: a fresh temporary folder per test, and short helpers
// to write, read and list files byte for byte.
#pragma once

#include <map>
#include <string>

namespace korva {

// A new empty folder under the system's temporary folder, removed with
// everything in it when the object goes. Its path uses "/" separators on
// every system.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Paths in these helpers are UTF-8 on every system.
// Writes `bytes` to `path`, creating missing folders; replaces an old file.
void WriteBytes(const std::string& path, const std::string& bytes);
// The file's bytes; "<missing>" when it cannot be read.
std::string ReadBytes(const std::string& path);
// The text a program printed into the file `path`, its line ends as LF
// (Windows programs print CR LF).
std::string ReadOutput(const std::string& path);
bool FileExists(const std::string& path);
// Every file below `folder`: relative path ("a/b.txt") to its bytes.
// Folders appear with the value "<folder>", pipes and devices with
// "<not a file>" (they are never read). The record of managed files
// ("chars/mod_record") is shown without the times of last change it holds,
// which no two runs share.
std::map<std::string, std::string> Snapshot(const std::string& folder);
// The paths in which two snapshots differ, one a line with a short view of
// each side ("<none>" where a side lacks the path); "" when they are equal.
// For test messages that stay readable when large files differ.
std::string SnapshotDiff(const std::map<std::string, std::string>& expected,
                         const std::map<std::string, std::string>& actual);

// Sweeps try every case unless KORVA_SWEEP_STRIDE asks for every Nth one:
// under wine a program start and a copy of the game take seconds, not
// milliseconds. The stride, 1 or more.
int SweepStride();

// The program folder that the build made (executables, data, tools, mods).
std::string BuiltProgramFolder();
// The name of the executable `name` on this system ("korva-zid-cli.exe" on
// Windows).
std::string ExecutableName(const std::string& name);

// Makes `path` a stand-in program: a copy of the built korva-stand-in with
// `script` fastened to its end, so that copies of the file carry it along.
// The script says what the program does when run; see stand_in.cpp.
void WriteStandIn(const std::string& path, const std::string& script);
// Copies the built program folder's prepared data folder into
// `programFolder` + "/data", as a start-up on a real game needs it.
void CopyBuiltData(const std::string& programFolder);
// Makes a copy of the program in `programFolder` keep the user's files
// there (the portable form), as a build folder does, rather than in the
// user's own folders.
void MarkPortable(const std::string& programFolder);
// Makes `programFolder` a program folder set up for the game in
// `gameFolder`: the built data and tools, the sample packages under "mods",
// and a config.ini that names the game.
void MakeProgramFolderFor(const std::string& programFolder, const std::string& gameFolder);

}  // namespace korva
