#include "tools/quickbms/unpacker.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "gamedata/managed_files.h"
#include "platform/file_names.h"
#include "platform/platform.h"

namespace korva {
namespace {

const char kProgram[] = "quickbms.exe";
// What the script may be at most.
constexpr uint64_t kScriptLimit = 64 * 1024;
// Blocks of the archive file read at a time.
constexpr size_t kReadBlock = 1 << 16;

struct Formats {
  bool zip = false;
  bool tar = false;
};

void Say(const std::string& line) { std::fprintf(stderr, "%s: %s\n", kProgram, line.c_str()); }

// Reads the script's "format" lines; blank lines and "#" comments are skipped.
bool ReadScript(Platform& platform, const std::string& path, Formats* formats) {
  std::string text;
  Status read = platform.ReadFile(path, kScriptLimit, &text);
  if (!read.ok()) {
    Say(read.message() + " (the script cannot be read)");
    return false;
  }
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    std::istringstream words(line);
    std::string keyword;
    if (!(words >> keyword) || keyword[0] == '#') continue;
    if (keyword != "format") {
      Say(path + ": line " + std::to_string(lineNumber) + ": unknown keyword \"" + keyword + "\"");
      return false;
    }
    std::string format;
    while (words >> format) {
      if (format == "zip") {
        formats->zip = true;
      } else if (format == "tar") {
        formats->tar = true;
      } else {
        Say(path + ": line " + std::to_string(lineNumber) + ": unknown format \"" + format + "\"");
        return false;
      }
    }
  }
  if (!formats->zip && !formats->tar) {
    Say(path + ": the script names no archive format");
    return false;
  }
  return true;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Why Windows cannot hold a file or folder named `component`, or "".
std::string ComponentProblem(const std::string& component) {
  std::string why = korva::WhyWindowsCannotHold(component);
  if (why.empty()) return why;
  if (component.size() > korva::kMaxNameComponent) return "a name component " + why;
  return Quoted(component) + " " + why;
}

// Splits an entry's name into its components below the output folder, with
// "\" read as "/" and empty and "." components dropped. Returns why the name
// may not be written, or "".
std::string SplitName(const std::string& name, std::vector<std::string>* parts) {
  parts->clear();
  std::string path = name;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
  if ((!path.empty() && path[0] == '/') || drive) return "an absolute name";
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(pos, end - pos);
    if (part == "..") return "the name climbs out with \"..\"";
    if (!part.empty() && part != ".") parts->push_back(std::move(part));
    pos = end + 1;
  }
  for (const std::string& part : *parts) {
    std::string problem = ComponentProblem(part);
    if (!problem.empty()) return problem;
  }
  return "";
}

std::string Join(const std::vector<std::string>& parts, size_t count) {
  std::string joined;
  for (size_t i = 0; i < count && i < parts.size(); ++i) {
    if (i > 0) joined += '/';
    joined += parts[i];
  }
  return joined;
}

std::string ErrorText(archive* a) {
  const char* text = archive_error_string(a);
  return text != nullptr ? text : "unknown error";
}

// How far the unpacking is, as "progress DONE TOTAL" lines on stdout: at
// the start, at most every 50 ms, and at the end. The archive is read twice,
// so DONE is half the bytes the two passes read, each pass counted up to the
// archive's size and as all of it once it ends.
class Progress {
 public:
  explicit Progress(uint64_t total) : total_(total) { Say(); }

  void Read(uint64_t bytes) {
    passes_[pass_] = std::min(total_, passes_[pass_] + bytes);
    const auto now = std::chrono::steady_clock::now();
    if (now - said_ >= std::chrono::milliseconds(50)) Say();
  }
  // The pass read the archive through.
  void PassDone() {
    passes_[pass_] = total_;
    pass_ = 1;
  }
  void Say() {
    said_ = std::chrono::steady_clock::now();
    std::printf("progress %" PRIu64 " %" PRIu64 "\n", (passes_[0] + passes_[1]) / 2, total_);
    std::fflush(stdout);
  }

 private:
  uint64_t total_;
  uint64_t passes_[2] = {0, 0};
  int pass_ = 0;
  std::chrono::steady_clock::time_point said_;
};

// The archive file as libarchive reads it: a stream that can seek (a zip's
// central directory lies at its end), opened by its UTF-8 name on every
// system.
class ArchiveFile {
 public:
  ArchiveFile(const std::string& path, Progress& progress)
      : in_(std::filesystem::u8path(path), std::ios::binary), block_(kReadBlock),
        progress_(progress) {}

  bool is_open() const { return in_.is_open(); }

  // Hands the file to `reader`; ARCHIVE_OK when it can be read.
  int Open(archive* reader) {
    archive_read_set_callback_data(reader, this);
    archive_read_set_read_callback(reader, &ArchiveFile::Read);
    archive_read_set_seek_callback(reader, &ArchiveFile::Seek);
    archive_read_set_skip_callback(reader, &ArchiveFile::Skip);
    return archive_read_open1(reader);
  }

 private:
  static la_ssize_t Read(archive* a, void* data, const void** buffer) {
    auto* file = static_cast<ArchiveFile*>(data);
    file->in_.read(file->block_.data(), static_cast<std::streamsize>(file->block_.size()));
    const std::streamsize n = file->in_.gcount();
    if (n == 0 && file->in_.bad()) {
      archive_set_error(a, EIO, "cannot be read");
      return -1;
    }
    file->in_.clear();
    file->progress_.Read(static_cast<uint64_t>(n));
    *buffer = file->block_.data();
    return static_cast<la_ssize_t>(n);
  }
  static la_int64_t Seek(archive*, void* data, la_int64_t offset, int whence) {
    auto* file = static_cast<ArchiveFile*>(data);
    const std::ios::seekdir from = whence == SEEK_SET   ? std::ios::beg
                                   : whence == SEEK_CUR ? std::ios::cur
                                                        : std::ios::end;
    file->in_.clear();
    file->in_.seekg(static_cast<std::streamoff>(offset), from);
    if (!file->in_) return ARCHIVE_FATAL;
    return static_cast<la_int64_t>(file->in_.tellg());
  }
  static la_int64_t Skip(archive* a, void* data, la_int64_t request) {
    auto* file = static_cast<ArchiveFile*>(data);
    const std::streamoff before = file->in_.tellg();
    if (Seek(a, data, request, SEEK_CUR) < 0) return 0;
    return static_cast<la_int64_t>(file->in_.tellg() - before);
  }

  std::ifstream in_;
  std::vector<char> block_;
  Progress& progress_;
};

// Hands the data blocks of a file entry to a FileWriter, writing zeros for
// the holes of a sparse entry.
class EntryData {
 public:
  explicit EntryData(archive* reader) : reader_(reader) {}

  // Reads the entry's data through; with `out`, writes it there.
  Status Copy(FileWriter* out) {
    uint64_t written = 0;
    for (;;) {
      const void* block = nullptr;
      size_t size = 0;
      la_int64_t offset = 0;
      int r = archive_read_data_block(reader_, &block, &size, &offset);
      if (r == ARCHIVE_EOF) return Status::Ok();
      // A checksum that does not match comes as a mere warning.
      if (r != ARCHIVE_OK) return Status::Error("cannot be read: " + ErrorText(reader_));
      if (offset < 0 || static_cast<uint64_t>(offset) < written) {
        return Status::Error("cannot be read: its data blocks are out of order");
      }
      if (out != nullptr) {
        while (written < static_cast<uint64_t>(offset)) {
          static const std::string kZeros(kReadBlock, '\0');
          size_t gap = static_cast<size_t>(
              std::min<uint64_t>(kZeros.size(), static_cast<uint64_t>(offset) - written));
          Status status = out->Write(std::string_view(kZeros.data(), gap));
          if (!status.ok()) return status;
          written += gap;
        }
        Status status = out->Write(std::string_view(static_cast<const char*>(block), size));
        if (!status.ok()) return status;
      }
      written = static_cast<uint64_t>(offset) + size;
    }
  }

 private:
  archive* reader_;
};

// The folded names that lead to each component of a path: "A", "A/B", ...
std::vector<std::string> FoldedKeys(const std::vector<std::string>& parts) {
  std::vector<std::string> keys;
  std::string key;
  for (const std::string& part : parts) {
    key += (key.empty() ? "" : "/") + FoldedName(part);
    keys.push_back(key);
  }
  return keys;
}

class Unpacker {
 public:
  Unpacker(Platform& platform, const Formats& formats, std::string archivePath, std::string root,
           Progress& progress)
      : platform_(platform),
        formats_(formats),
        archive_path_(std::move(archivePath)),
        root_(std::move(root)),
        progress_(progress) {}

  // The first pass: checks every entry and reads its data through, changing
  // nothing. Returns the number of problems reported.
  int Check() {
    Status listed = ReadNames("", root_);
    if (!listed.ok()) {
      Say(listed.message() + " (the output folder cannot be listed)");
      return 1;
    }
    return ForEachEntry(
        [this](archive* reader, archive_entry* entry) { return CheckEntry(reader, entry); }, false);
  }

  // The second pass, after a Check without problems: writes every file
  // under its temporary name, flushes them all, renames each to its name,
  // then flushes the folders written into. Stops at the first failure,
  // removing the temporary files not renamed yet. Returns the number of
  // problems reported.
  int Write() {
    int problems = ForEachEntry(
        [this](archive* reader, archive_entry* entry) { return WriteEntry(reader, entry); }, true);
    Status done;
    if (problems == 0) {
      std::vector<std::string> temps;
      for (const Written& file : written_) temps.push_back(file.temp);
      done = platform_.FlushFiles(temps);
      if (!done.ok()) done = Status::Error(done.message() + " (cannot be flushed to disk)");
    }
    size_t renamed = 0;
    while (problems == 0 && done.ok() && renamed < written_.size()) {
      done = platform_.RenameOver(written_[renamed].temp, written_[renamed].target);
      if (!done.ok()) done = Status::Error(done.message() + " (cannot be written)");
      if (done.ok()) ++renamed;
    }
    if (problems > 0 || !done.ok()) {
      for (size_t i = renamed; i < written_.size(); ++i) platform_.Remove(written_[i].temp);
    }
    for (auto folder = written_into_.begin(); done.ok() && folder != written_into_.end(); ++folder) {
      done = platform_.SyncFolder(folder->second);
      if (!done.ok()) done = Status::Error(done.message() + " (cannot be flushed to disk)");
    }
    if (!done.ok()) {
      Say(done.message());
      return 1;
    }
    return problems;
  }

 private:
  // What the first pass learned about one path below the output folder.
  struct Node {
    bool folder = false;
    std::string entry;  // the name of the entry that made it
  };

  struct Problem {
    std::string text;    // empty: none
    bool fatal = false;  // the reader cannot go on past it
  };
  static Problem Refused(const std::string& rule) { return {"refused: " + rule, false}; }

  // Runs `visit` on each entry in archive order and reports each problem it
  // returns, naming the archive and the entry. A fatal problem ends the
  // pass, and so does any with `stopAtFirst`. Returns the number of problems.
  template <typename Visit>
  int ForEachEntry(Visit visit, bool stopAtFirst) {
    archive* reader = archive_read_new();
    if (formats_.zip) archive_read_support_format_zip(reader);
    if (formats_.tar) archive_read_support_format_tar(reader);
    archive_read_support_filter_all(reader);
    int problems = 0;
    ArchiveFile file(archive_path_, progress_);
    if (!file.is_open()) {
      Say(archive_path_ + ": cannot be opened");
      ++problems;
    } else if (file.Open(reader) != ARCHIVE_OK) {
      Say(archive_path_ + ": " + ErrorText(reader));
      ++problems;
    } else {
      for (;;) {
        archive_entry* entry = nullptr;
        int r = archive_read_next_header(reader, &entry);
        if (r == ARCHIVE_EOF) break;
        // A warning here may mean a name that could not be read as written.
        if (r != ARCHIVE_OK) {
          Say(archive_path_ + ": " + ErrorText(reader));
          ++problems;
          break;
        }
        Problem problem = visit(reader, entry);
        if (problem.text.empty()) continue;
        const char* name = archive_entry_pathname(entry);
        Say(archive_path_ + ": " + (name != nullptr ? name : "?") + ": " + problem.text);
        ++problems;
        if (stopAtFirst || problem.fatal) break;
      }
    }
    archive_read_free(reader);
    if (problems == 0) progress_.PassDone();
    return problems;
  }

  // The entry's components below the output folder, or why it is refused.
  static Problem Parts(archive_entry* entry, std::vector<std::string>* parts) {
    const char* name = archive_entry_pathname(entry);
    if (name == nullptr) return Refused("the entry's name cannot be read");
    std::string problem = SplitName(name, parts);
    if (!problem.empty()) return Refused(problem);
    if (archive_entry_hardlink(entry) != nullptr) return Refused("a hard link; links are not unpacked");
    const auto type = archive_entry_filetype(entry);
    if (type == AE_IFLNK) return Refused("a link; links are not unpacked");
    if (type != AE_IFREG && type != AE_IFDIR) {
      return Refused("neither a file nor a folder (a device, pipe or socket)");
    }
    if (parts->empty() && type != AE_IFDIR) return Refused("a file without a name");
    return {};
  }

  std::string PathOf(const std::vector<std::string>& parts, size_t count) const {
    return root_ + "/" + Join(parts, count);
  }

  // Keeps the folded names of the folder `path` (folded key `key`) as they
  // are before anything is written.
  Status ReadNames(const std::string& key, const std::string& path) {
    std::vector<std::string> names;
    Status listed = platform_.ListFolder(path, &names);
    if (!listed.ok()) return listed;
    std::unordered_set<std::string>& known = on_disk_[key];
    for (const std::string& name : names) known.insert(FoldedName(name));
    return Status::Ok();
  }

  Problem CheckEntry(archive* reader, archive_entry* entry) {
    std::vector<std::string> parts;
    Problem problem = Parts(entry, &parts);
    if (!problem.text.empty()) return problem;
    const bool isFolder = archive_entry_filetype(entry) == AE_IFDIR;
    const std::string name = archive_entry_pathname(entry);
    const std::vector<std::string> keys = FoldedKeys(parts);
    for (size_t i = 0; i < parts.size(); ++i) {
      const bool folder = i + 1 < parts.size() || isFolder;
      auto [node, added] = nodes_.emplace(keys[i], Node{folder, name});
      if (!added) {
        if (node->second.folder && folder) continue;
        if (node->second.folder != folder) {
          return Refused(Quoted(Join(parts, i + 1)) + " is a file in one entry and a folder in "
                         "another (" + Quoted(node->second.entry) + ")");
        }
        return Refused("the same file on Windows as the entry " + Quoted(node->second.entry));
      }
      problem = CheckPlace(parts, keys, i + 1, folder);
      if (!problem.text.empty()) return problem;
    }
    if (!isFolder) {
      Status read = EntryData(reader).Copy(nullptr);
      if (!read.ok()) return {read.message(), true};
    }
    return {};
  }

  // Checks the place, met for the first time, of the first `count`
  // components of `parts`, where a file or a folder is to be. Every folder
  // is checked on disk, and every name that is already there; a name that
  // is not lies in a folder that was checked.
  Problem CheckPlace(const std::vector<std::string>& parts, const std::vector<std::string>& keys,
                     size_t count, bool folder) {
    const std::string relative = Join(parts, count);
    if (korva::IsProgramPath("/" + relative)) {
      return Refused(Quoted(relative) +
                     " is one of the mod manager's own files (its tool copies, records and "
                     "journal), which no archive may write");
    }
    const std::string path = PathOf(parts, count);
    if (FoldedName(path) == FoldedName(archive_path_)) return Refused("it would land on the archive itself");
    const std::string parentKey = count == 1 ? std::string() : keys[count - 2];
    const bool there = on_disk_[parentKey].count(FoldedName(parts[count - 1])) != 0;
    if (folder || there) {
      Status inside = platform_.CheckInside(root_, path);
      if (!inside.ok()) return Refused(inside.message());
    }
    if (there) {
      const bool isFolder = platform_.IsFolder(path);
      if (folder && !isFolder) {
        return Refused(Quoted(relative) + " is a file on disk where a folder must go");
      }
      if (!folder && isFolder) {
        return Refused(Quoted(relative) + " is a folder on disk where a file must go");
      }
    }
    if (folder) {
      if (!there) {
        on_disk_[keys[count - 1]];  // a new folder: nothing in it yet
      } else {
        Status listed = ReadNames(keys[count - 1], path);
        if (!listed.ok()) return Refused(listed.message() + " (the folder cannot be listed)");
      }
    }
    return {};
  }

  // The name that the file `name` in the folder of folded key `folderKey`
  // is written under until it is complete: its name + "_temp", cut short
  // where that would be too long a name, with "_temp" added again as long as
  // an entry of the archive or an earlier file's temporary name has that
  // name. So the temporary files, which all lie side by side until they are
  // renamed, are never another entry or each other, and a later run finds
  // the same names.
  std::string TempName(const std::string& folderKey, const std::string& name) {
    std::string suffix = "_temp";
    for (;;) {
      std::string temp = name;
      if (temp.size() + suffix.size() > korva::kMaxNameComponent) {
        temp.resize(korva::kMaxNameComponent - suffix.size());
        // Not in the middle of a UTF-8 character.
        while (!temp.empty() && (static_cast<unsigned char>(temp.back()) & 0xC0) == 0x80) {
          temp.pop_back();
        }
        if (!temp.empty() && static_cast<unsigned char>(temp.back()) >= 0xC0) temp.pop_back();
      }
      temp += suffix;
      const std::string key = (folderKey.empty() ? "" : folderKey + "/") + FoldedName(temp);
      if (nodes_.count(key) == 0 && temps_.insert(key).second) return temp;
      suffix += "_temp";
    }
  }

  // Makes the folders of the first `count` components exist.
  Status MakeFolders(const std::vector<std::string>& parts, const std::vector<std::string>& keys,
                     size_t count) {
    for (size_t i = 0; i < count; ++i) {
      if (!ready_.insert(keys[i]).second) continue;
      const std::string path = PathOf(parts, i + 1);
      if (platform_.IsFolder(path)) continue;
      Status made = platform_.CreateFolder(path);
      if (!made.ok()) return made;
      WrittenInto(parts, keys, i);
    }
    return Status::Ok();
  }

  // Notes that the folder of the first `count` components changed.
  void WrittenInto(const std::vector<std::string>& parts, const std::vector<std::string>& keys,
                   size_t count) {
    if (count == 0) {
      written_into_.emplace("", root_);
    } else {
      written_into_.emplace(keys[count - 1], PathOf(parts, count));
    }
  }

  Problem WriteEntry(archive* reader, archive_entry* entry) {
    std::vector<std::string> parts;
    Problem problem = Parts(entry, &parts);
    // The first pass found nothing; this can only be an archive that changed.
    if (!problem.text.empty()) return problem;
    const bool isFolder = archive_entry_filetype(entry) == AE_IFDIR;
    const std::vector<std::string> keys = FoldedKeys(parts);
    const size_t folders = isFolder ? parts.size() : parts.size() - 1;
    Status made = MakeFolders(parts, keys, folders);
    if (!made.ok()) return {"cannot be written: " + made.message(), true};
    if (isFolder) return {};

    const std::string parentKey = folders == 0 ? std::string() : keys[folders - 1];
    const std::string tempName = TempName(parentKey, parts.back());
    const std::string target = PathOf(parts, parts.size());
    const std::string temp = (folders == 0 ? root_ : PathOf(parts, folders)) + "/" + tempName;
    // A leftover of a cut-off run: the file it was to become is written anew.
    if (on_disk_[parentKey].count(FoldedName(tempName)) != 0 && platform_.Exists(temp)) {
      Status removed = platform_.Remove(temp);
      if (!removed.ok()) return {"cannot be written: " + removed.message(), true};
    }
    EntryData data(reader);
    Status status = platform_.WriteNewFileUnflushed(
        temp, [&data](FileWriter& out) { return data.Copy(&out); });
    if (!status.ok()) return {"cannot be written: " + status.message(), true};
    written_.push_back({temp, target});
    WrittenInto(parts, keys, folders);
    return {};
  }

  Platform& platform_;
  Formats formats_;
  std::string archive_path_;
  std::string root_;
  // Folded path below the output folder -> what the archive makes there.
  std::map<std::string, Node> nodes_;
  // Folded folder path ("" for the output folder) -> the folded names it
  // held on disk before the first write.
  std::map<std::string, std::unordered_set<std::string>> on_disk_;
  std::set<std::string> ready_;                      // folded folders made or found
  std::map<std::string, std::string> written_into_;  // folded folder -> its path
  struct Written {
    std::string temp, target;
  };
  std::vector<Written> written_;  // files written, to be flushed and renamed
  std::set<std::string> temps_;   // folded paths of their temporary names
  Progress& progress_;
};

}  // namespace

int RunUnpacker(Platform& platform, const std::vector<std::string>& args) {
  if (args.size() != 4) {
    Say("usage: quickbms.exe SCRIPT ARCHIVE OUTPUT_FOLDER");
    return 2;
  }
  Formats formats;
  if (!ReadScript(platform, args[1], &formats)) return 2;
  std::string root = platform.AbsolutePath(args[3]);
  while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) root.pop_back();
  if (!platform.IsFolder(root)) {
    Say(args[3] + ": the output folder cannot be found");
    return 2;
  }
  const std::string archive = platform.AbsolutePath(args[2]);
  FileInfo info;
  Progress progress(platform.Stat(archive, &info).ok() ? info.size : 0);
  Unpacker unpacker(platform, formats, archive, platform.NativePath(root), progress);
  int status = 0;
  if (unpacker.Check() > 0) {
    Say(args[2] + ": nothing was unpacked");
    status = 1;
  } else if (unpacker.Write() > 0) {
    Say(args[2] + ": unpacking stopped part-way; unpacking it again writes it whole");
    status = 1;
  }
  progress.Say();
  return status;
}

}  // namespace korva
