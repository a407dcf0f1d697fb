#include "journal/journal.h"

#include <algorithm>

#include "platform/file_names.h"
#include "platform/read_limits.h"

namespace korva {
namespace {

constexpr const char* kHeader = "korva-journal";
constexpr const char* kVersion = "1";

// Journal lines are fields separated by tabs; a field keeps any byte but
// these, which are written as %XX.
std::string Escape(const std::string& field) {
  std::string out;
  for (char c : field) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      static const char kHex[] = "0123456789ABCDEF";
      unsigned char u = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    int high = i + 2 < field.size() ? HexDigit(field[i + 1]) : -1;
    int low = high >= 0 ? HexDigit(field[i + 2]) : -1;
    if (field[i] == '%' && low >= 0) {
      out += static_cast<char>(high << 4 | low);
      i += 2;
    } else {
      out += field[i];
    }
  }
  return out;
}

// The entry number an "undone" line names; -1 for anything else.
long EntryNumber(const std::string& text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  return std::stol(text);
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(Unescape(line.substr(start, tab - start)));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::string Line(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i > 0 ? "\t" : "") + Escape(fields[i]);
  return line + "\n";
}

// What one journal holds: the operation's name and its lines, each undone
// or not.
struct JournalText {
  std::string name;
  std::vector<std::vector<std::string>> entries;
  std::vector<bool> undone;
};

Status ParseJournal(const std::string& path, const std::string& bytes, JournalText* text) {
  // A last line without its line end was cut off while being written: the
  // change it announced was never made.
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(bytes.substr(start, end - start));
  }
  if (lines.empty()) return Status::Ok();  // cut off before its first line: nothing was changed
  std::vector<std::string> header = Fields(lines[0]);
  if (header.size() != 3 || header[0] != kHeader || header[1] != kVersion) {
    return Status::PathError(path, "not a journal this program can read");
  }
  text->name = header[2];
  for (size_t i = 1; i < lines.size(); ++i) {
    std::vector<std::string> fields = Fields(lines[i]);
    if (fields[0] == "undone" && fields.size() == 2) {
      long index = EntryNumber(fields[1]);
      if (index >= 0 && static_cast<size_t>(index) < text->undone.size()) text->undone[index] = true;
      continue;
    }
    text->entries.push_back(fields);
    text->undone.push_back(false);
  }
  return Status::Ok();
}

// Undoes the journal's entries, newest first, noting each one done in the
// journal file so that an undo cut off half-way is finished, not repeated.
// Returns the files that could not be put back.
std::vector<std::string> Undo(Platform& platform, const std::string& game, JournalText& text) {
  const std::string journal = JournalPath(game);
  const std::string copies = JournalFilesPath(game);
  std::vector<std::string> failures;
  for (size_t i = text.entries.size(); i-- > 0;) {
    if (text.undone[i]) continue;
    const std::vector<std::string>& e = text.entries[i];
    const std::string& kind = e[0];
    Status status;
    bool ok = true;
    if (kind == "saved" && e.size() == 3) {
      const std::string copy = copies + "/" + e[1];
      const std::string path = game + e[2];
      if (platform.Exists(copy)) {
        status = platform.RenameOver(copy, path);
        if (!status.ok()) {
          ok = false;
          failures.push_back(path + " could not be put back (" + status.message() +
                             "); its bytes from before are kept in " + copy);
        }
      }
      if (platform.Exists(path + "_temp")) platform.Remove(path + "_temp");
    } else if (kind == "absent" && e.size() == 2) {
      const std::string path = game + e[1];
      if (platform.Exists(path) && !platform.IsFolder(path)) {
        status = platform.Remove(path);
        if (!status.ok()) {
          ok = false;
          failures.push_back(path + " could not be removed (" + status.message() + ")");
        }
      }
      if (platform.Exists(path + "_temp")) platform.Remove(path + "_temp");
    } else if (kind == "folder" && e.size() == 2) {
      // A folder that something else has been put into stays.
      if (platform.IsFolder(game + e[1])) platform.RemoveEmptyFolder(game + e[1]);
    } else if (kind == "gone-folder" && e.size() == 2) {
      if (!platform.Exists(game + e[1])) {
        status = platform.CreateFolder(game + e[1]);
        if (!status.ok()) {
          ok = false;
          failures.push_back(game + e[1] + " could not be made again (" + status.message() + ")");
        }
      }
    } else if (kind == "renamed" && e.size() == 3) {
      const std::string from = game + e[1], to = game + e[2];
      if (platform.Exists(to) && !platform.Exists(from)) {
        status = platform.Rename(to, from);
        if (!status.ok()) {
          ok = false;
          failures.push_back(to + " could not be renamed back to " + from + " (" +
                             status.message() + ")");
        }
      }
    }
    if (ok) {
      text.undone[i] = true;
      platform.AppendFile(journal, Line({"undone", std::to_string(i)}));
    }
  }
  return failures;
}

// Removes the journal's saved copies and their folder; what cannot be
// removed is left for the next start.
void RemoveCopies(Platform& platform, const std::string& game) {
  const std::string copies = JournalFilesPath(game);
  if (!platform.IsFolder(copies)) return;
  std::vector<std::string> names;
  if (platform.ListFolder(copies, &names).ok()) {
    for (const std::string& name : names) platform.Remove(copies + "/" + name);
  }
  platform.RemoveEmptyFolder(copies);
}

// Undoes what `text` records and, when everything was put back, removes the
// journal. Returns the failures, naming each file and where its bytes are.
Status UndoAndRemove(Platform& platform, const std::string& game, JournalText& text) {
  std::vector<std::string> failures = Undo(platform, game, text);
  if (!failures.empty()) {
    std::string message = "Not every file could be put back as it was:";
    for (const std::string& failure : failures) message += "\n" + failure;
    return Status::Error(message + "\nThe journal " + JournalPath(game) +
                         " is kept, and the next start tries again.");
  }
  // Everything the undo put back must last before the journal goes.
  for (const auto& entry : text.entries) {
    if (entry.size() < 2) continue;
    std::string folder = ParentFolder(game + entry.back());
    if (platform.IsFolder(folder)) platform.SyncFolder(folder);
  }
  Status removed = platform.Remove(JournalPath(game));
  if (!removed.ok()) return removed;
  platform.SyncFolder(game);
  RemoveCopies(platform, game);
  return Status::Ok();
}

}  // namespace

std::string JournalPath(const std::string& gameFolder) { return gameFolder + "/mod_journal"; }
std::string JournalFilesPath(const std::string& gameFolder) {
  return gameFolder + "/mod_journal_files";
}

Status Journal::Begin(const std::string& name) {
  if (active_) return Status::Error("Another operation is still under way: " + name_ + ".");
  active_ = true;
  written_ = false;
  name_ = name;
  next_copy_ = 0;
  covered_.clear();
  changed_.clear();
  changed_keys_.clear();
  folders_.clear();
  return Status::Ok();
}

Status Journal::Commit() {
  if (!active_) return Status::Ok();
  if (written_) {
    for (const std::string& folder : folders_) {
      if (base_.IsFolder(folder)) {
        Status synced = base_.SyncFolder(folder);
        if (!synced.ok()) return synced;
      }
    }
    Status removed = base_.Remove(JournalPath(game_));
    if (!removed.ok()) return removed;
    base_.SyncFolder(game_);
    RemoveCopies(base_, game_);
  }
  End();
  return Status::Ok();
}

Status Journal::Rollback() {
  if (!active_) return Status::Ok();
  Status status;
  if (written_) {
    JournalText text;
    std::string bytes;
    status = base_.ReadFile(JournalPath(game_), kRecordFileLimit, &bytes);
    if (status.ok()) status = ParseJournal(JournalPath(game_), bytes, &text);
    if (status.ok()) status = UndoAndRemove(base_, game_, text);
  }
  End();
  return status;
}

void Journal::End() {
  active_ = false;
  written_ = false;
  covered_.clear();
}

Status Journal::Allowed(const std::string& path) {
  bool below = !game_.empty() && path.compare(0, game_.size() + 1, game_ + "/") == 0;
  if (!below && !active_) return Status::Ok();
  if (!below) {
    return Status::PathError(path, "not inside the game folder " + game_ +
                                       "; the program does not change anything outside it, so "
                                       "the operation was stopped");
  }
  return base_.CheckInside(game_, path);
}

std::string Journal::Key(const std::string& path) { return FoldedName(base_.NativePath(path)); }

void Journal::Changed(const std::string& path) {
  if (changed_keys_.insert(path).second) changed_.push_back(path);
  folders_.insert(ParentFolder(base_.NativePath(path)));
}

Status Journal::Start() {
  if (written_) return Status::Ok();
  const std::string header = Line({kHeader, kVersion, name_});
  Status status = base_.WriteNewFile(JournalPath(game_),
                                     [&header](FileWriter& out) { return out.Write(header); });
  // From here a rollback removes the journal again, whatever else fails.
  written_ = status.ok();
  if (status.ok()) status = base_.SyncFolder(game_);
  const std::string copies = JournalFilesPath(game_);
  if (status.ok() && !base_.IsFolder(copies)) status = base_.CreateFolder(copies);
  if (!status.ok()) {
    return Status::Error("The journal that makes this operation safe to cut off could not be "
                         "written (" + status.message() + "), so nothing was changed.");
  }
  return Status::Ok();
}

Status Journal::Write(const std::vector<std::string>& fields) {
  Status started = Start();
  if (!started.ok()) return started;
  std::vector<std::string> line = fields;
  // Paths are kept relative to the game folder.
  for (size_t i = 1; i < line.size(); ++i) {
    if (line[i].compare(0, game_.size() + 1, game_ + "/") == 0) line[i] = line[i].substr(game_.size());
  }
  return base_.AppendFile(JournalPath(game_), Line(line));
}

Status Journal::CoverFile(const std::string& path) {
  const std::string key = Key(path);
  if (covered_.count(key) != 0) return Status::Ok();
  if (!base_.Exists(path)) {
    Status written = Write({"absent", path});
    if (written.ok()) covered_[key] = Cover::kAbsent;
    return written;
  }
  // The prior bytes are copied into the journal, and lasting, before the
  // line that names them is written.
  Status started = Start();
  if (!started.ok()) return started;
  const std::string copy = JournalFilesPath(game_) + "/" + std::to_string(next_copy_++);
  Status copied = base_.CopyFile(path, copy);
  if (copied.ok()) copied = base_.SyncFolder(JournalFilesPath(game_));
  if (!copied.ok()) {
    return Status::Error("The bytes of " + path + " could not be kept in the journal before it "
                         "was changed (" + copied.message() + ")");
  }
  Status written = Write({"saved", copy.substr(copy.find_last_of('/') + 1), path});
  if (written.ok()) covered_[key] = Cover::kSaved;
  return written;
}

Status Journal::MoveAside(const std::string& path, bool* moved) {
  *moved = false;
  const std::string key = Key(path);
  if (covered_.count(key) != 0 || !base_.Exists(path)) return Status::Ok();
  const std::string name = std::to_string(next_copy_++);
  // The line comes first: if the move never happens, undoing it finds no
  // copy and leaves the file where it is.
  Status written = Write({"saved", name, path});
  if (!written.ok()) return written;
  Status renamed = base_.Rename(path, JournalFilesPath(game_) + "/" + name);
  if (!renamed.ok()) return renamed;
  covered_[key] = Cover::kSaved;
  *moved = true;
  return Status::Ok();
}

Status Journal::CoverRename(const std::string& from, const std::string& to) {
  const std::string keyFrom = Key(from), keyTo = Key(to);
  if (covered_.count(keyFrom) != 0) {
    // Undoing `from` puts its old state back; `to` only has to go.
    if (covered_.count(keyTo) != 0) return Status::Ok();
    Status written = Write({"absent", to});
    if (written.ok()) covered_[keyTo] = Cover::kAbsent;
    return written;
  }
  // The bytes now move to `to`: undoing renames them back, after any later
  // change of `to` has been undone, so those changes must be recorded anew.
  Status written = Write({"renamed", from, to});
  if (written.ok()) covered_.erase(keyTo);
  return written;
}

Status Journal::WriteAt(const std::string& path, uint64_t offset, std::string_view bytes) {
  Status status = Allowed(path);
  if (status.ok() && Recording()) status = CoverFile(path);
  if (!status.ok()) return status;
  Changed(path);
  return base_.WriteAt(path, offset, bytes);
}

Status Journal::AppendFile(const std::string& path, std::string_view bytes) {
  Status status = Allowed(path);
  if (status.ok() && Recording()) status = CoverFile(path);
  if (!status.ok()) return status;
  Changed(path);
  return base_.AppendFile(path, bytes);
}

Status Journal::ReplaceFile(const std::string& path, std::string_view bytes) {
  Status status = Allowed(path);
  if (status.ok() && Recording()) status = CoverFile(path);
  if (!status.ok()) return status;
  Changed(path);
  return base_.ReplaceFile(path, bytes);
}

Status Journal::WriteNewFile(const std::string& path,
                             const std::function<Status(FileWriter&)>& produce) {
  Status status = Allowed(path);
  if (status.ok() && Recording() && !base_.Exists(path)) status = CoverFile(path);
  if (!status.ok()) return status;
  Changed(path);
  return base_.WriteNewFile(path, produce);
}

Status Journal::CopyFile(const std::string& from, const std::string& to) {
  Status status = Allowed(to);
  if (status.ok() && Recording() && !base_.Exists(to)) status = CoverFile(to);
  if (!status.ok()) return status;
  Changed(to);
  return base_.CopyFile(from, to);
}

Status Journal::RenameOver(const std::string& from, const std::string& to) {
  Status status = Allowed(from);
  if (status.ok()) status = Allowed(to);
  if (!status.ok()) return status;
  if (Recording()) {
    bool moved = false;
    status = MoveAside(to, &moved);
    if (status.ok() && !moved && covered_.count(Key(to)) == 0) status = CoverFile(to);
    if (status.ok()) status = CoverRename(from, to);
    if (!status.ok()) return status;
  }
  Changed(from);
  Changed(to);
  return base_.RenameOver(from, to);
}

Status Journal::Rename(const std::string& from, const std::string& to) {
  Status status = Allowed(from);
  if (status.ok()) status = Allowed(to);
  if (!status.ok()) return status;
  if (Recording() && !base_.Exists(to)) {
    status = CoverRename(from, to);
    if (!status.ok()) return status;
  }
  Changed(from);
  Changed(to);
  return base_.Rename(from, to);
}

Status Journal::Remove(const std::string& path) {
  Status status = Allowed(path);
  if (!status.ok()) return status;
  Changed(path);
  if (Recording() && base_.Exists(path)) {
    bool moved = false;
    status = MoveAside(path, &moved);
    if (!status.ok() || moved) return status;
  }
  return base_.Remove(path);
}

Status Journal::CreateFolder(const std::string& path) {
  Status status = Allowed(path);
  if (!status.ok()) return status;
  if (Recording() && !base_.Exists(path)) {
    status = Write({"folder", path});
    if (!status.ok()) return status;
  }
  Changed(path);
  return base_.CreateFolder(path);
}

Status Journal::RemoveEmptyFolder(const std::string& path) {
  Status status = Allowed(path);
  if (!status.ok()) return status;
  if (Recording() && base_.IsFolder(path)) {
    status = Write({"gone-folder", path});
    if (!status.ok()) return status;
  }
  Changed(path);
  return base_.RemoveEmptyFolder(path);
}

Status Journal::RunProgram(const std::vector<std::string>& argv, int* exitStatus) {
  if (Recording()) {
    for (size_t i = 1; i < argv.size(); ++i) {
      const std::string& arg = argv[i];
      if (arg.compare(0, game_.size() + 1, game_ + "/") != 0 || base_.Exists(arg)) continue;
      Status status = Allowed(arg);
      if (status.ok()) status = CoverFile(arg);
      if (!status.ok()) return status;
      Changed(arg);
    }
  }
  return base_.RunProgram(argv, exitStatus);
}

Status RecoverCutOffOperation(Platform& platform, const std::string& gameFolder,
                              std::string* operation) {
  operation->clear();
  const std::string journal = JournalPath(gameFolder);
  if (!platform.Exists(journal)) {
    // Copies left by an operation that was cut off after it committed.
    RemoveCopies(platform, gameFolder);
    return Status::Ok();
  }
  std::string bytes;
  Status status = platform.ReadFile(journal, kRecordFileLimit, &bytes);
  JournalText text;
  if (status.ok()) status = ParseJournal(journal, bytes, &text);
  if (!status.ok()) {
    return Status::Error("The journal of an operation that was cut off cannot be read (" +
                         status.message() + "); the game's files were left as they are.");
  }
  *operation = text.name.empty() ? "operation" : text.name;
  return UndoAndRemove(platform, gameFolder, text);
}

}  // namespace korva
