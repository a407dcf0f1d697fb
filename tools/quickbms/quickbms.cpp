// quickbms.exe: the unpacker of the game's packed .dat archives.
//
//   quickbms.exe SCRIPT ARCHIVE OUTPUT_FOLDER
//
// SCRIPT names the archive formats to accept ("format zip tar"). The archive
// is read twice: first every entry is checked and its data read through, then,
// only when nothing was wrong, every entry is written under OUTPUT_FOLDER at
// its path inside the archive. An entry with an absolute path, a ".."
// component, or a link is refused, so nothing can land outside the output
// folder; a refused or unreadable entry means nothing is written at all.
// Folder names are matched case-insensitively against what is already on disk,
// as the game's own platform does.
//
// Exit status: 0 when every entry was written; 1 when the archive was refused
// or could not be read or written (one line on stderr per problem); 2 for
// wrong arguments, an unusable script or a missing output folder.
#include <archive.h>
#include <archive_entry.h>
#include <limits.h>
#include <stdlib.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

const char kProgram[] = "quickbms.exe";

struct Formats {
  bool zip = false;
  bool tar = false;
};

void Say(const std::string& line) { std::fprintf(stderr, "%s: %s\n", kProgram, line.c_str()); }

// Reads the script's "format" lines; blank lines and "#" comments are skipped.
bool ReadScript(const std::string& path, Formats* formats) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Say(path + ": the script cannot be read");
    return false;
  }
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
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

// The entry's path below the output folder, with "\" read as "/" and empty
// and "." components dropped. Returns why the entry may not be written, or
// "" when it may; `*relative` is empty for the archive's own root folder.
std::string CheckEntry(archive_entry* entry, std::string* relative) {
  relative->clear();
  const char* name = archive_entry_pathname(entry);
  if (name == nullptr) return "the entry's name cannot be read";
  std::string path = name;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (!path.empty() && path[0] == '/') return "absolute path";
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    return "absolute path";
  }
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(pos, end - pos);
    if (part == "..") return "the path climbs out with \"..\"";
    if (!part.empty() && part != ".") {
      if (!relative->empty()) *relative += '/';
      *relative += part;
    }
    pos = end + 1;
  }
  if (archive_entry_hardlink(entry) != nullptr || archive_entry_filetype(entry) == AE_IFLNK) {
    return "links are not unpacked";
  }
  mode_t type = archive_entry_filetype(entry);
  if (type != AE_IFREG && type != AE_IFDIR) return "neither a file nor a folder";
  if (relative->empty() && type != AE_IFDIR) return "a file without a name";
  return "";
}

class Unpacker {
 public:
  Unpacker(const Formats& formats, std::string archivePath, std::string root)
      : formats_(formats), archive_path_(std::move(archivePath)), root_(std::move(root)) {}

  // Reads the whole archive; with `write`, also writes its entries. Returns
  // the number of problems reported.
  int Pass(bool write) {
    archive* reader = archive_read_new();
    if (formats_.zip) archive_read_support_format_zip(reader);
    if (formats_.tar) archive_read_support_format_tar(reader);
    archive_read_support_filter_all(reader);
    archive* writer = nullptr;
    if (write) {
      writer = archive_write_disk_new();
      archive_write_disk_set_options(
          writer, ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    }
    int problems = 0;
    if (archive_read_open_filename(reader, archive_path_.c_str(), 1 << 16) != ARCHIVE_OK) {
      Say(archive_path_ + ": " + ErrorText(reader));
      ++problems;
    } else {
      problems += Entries(reader, writer);
    }
    archive_read_free(reader);
    if (writer != nullptr) {
      if (archive_write_close(writer) != ARCHIVE_OK) {
        Say(archive_path_ + ": " + ErrorText(writer));
        ++problems;
      }
      archive_write_free(writer);
    }
    return problems;
  }

 private:
  static std::string ErrorText(archive* a) {
    const char* text = archive_error_string(a);
    return text != nullptr ? text : "unknown error";
  }

  int Entries(archive* reader, archive* writer) {
    int problems = 0;
    for (;;) {
      archive_entry* entry = nullptr;
      int r = archive_read_next_header(reader, &entry);
      if (r == ARCHIVE_EOF) break;
      // A warning here may mean a name that could not be read as written.
      if (r != ARCHIVE_OK) {
        Say(archive_path_ + ": " + ErrorText(reader));
        return problems + 1;
      }
      std::string relative;
      std::string refusal = CheckEntry(entry, &relative);
      const char* shown = archive_entry_pathname(entry);
      std::string where = archive_path_ + ": " + (shown != nullptr ? shown : "?") + ": ";
      if (!refusal.empty()) {
        Say(where + "refused: " + refusal);
        ++problems;
        continue;
      }
      if (relative.empty()) continue;  // the archive's root folder: the output folder
      if (writer != nullptr) {
        std::string target = korva::SystemPlatform().NativePath(root_ + "/" + relative);
        archive_entry_set_pathname(entry, target.c_str());
        if (archive_write_header(writer, entry) < ARCHIVE_WARN) {
          Say(where + "cannot be written: " + ErrorText(writer));
          ++problems;
          continue;
        }
      }
      if (archive_entry_filetype(entry) == AE_IFREG && !CopyData(reader, writer, where)) {
        ++problems;
        if (writer == nullptr) return problems;  // the reader cannot go on after bad data
      }
      if (writer != nullptr && archive_write_finish_entry(writer) < ARCHIVE_WARN) {
        Say(where + "cannot be written: " + ErrorText(writer));
        ++problems;
      }
    }
    return problems;
  }

  // Reads the entry's data through, writing it when there is a writer.
  bool CopyData(archive* reader, archive* writer, const std::string& where) {
    for (;;) {
      const void* block = nullptr;
      size_t size = 0;
      la_int64_t offset = 0;
      int r = archive_read_data_block(reader, &block, &size, &offset);
      if (r == ARCHIVE_EOF) return true;
      // A checksum that does not match comes as a mere warning.
      if (r != ARCHIVE_OK) {
        Say(where + "cannot be read: " + ErrorText(reader));
        return false;
      }
      if (writer != nullptr && archive_write_data_block(writer, block, size, offset) < ARCHIVE_WARN) {
        Say(where + "cannot be written: " + ErrorText(writer));
        return false;
      }
    }
  }

  Formats formats_;
  std::string archive_path_;
  std::string root_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    Say("usage: quickbms.exe SCRIPT ARCHIVE OUTPUT_FOLDER");
    return 2;
  }
  Formats formats;
  if (!ReadScript(argv[1], &formats)) return 2;
  // Entries are written under the output folder's real path, so a link in the
  // path to the game folder itself is not taken for a link inside the archive.
  char root[PATH_MAX];
  if (realpath(argv[3], root) == nullptr) {
    Say(std::string(argv[3]) + ": the output folder cannot be found");
    return 2;
  }
  Unpacker unpacker(formats, argv[2], root);
  if (unpacker.Pass(false) > 0) {
    Say(std::string(argv[2]) + ": nothing was unpacked");
    return 1;
  }
  return unpacker.Pass(true) > 0 ? 1 : 0;
}
