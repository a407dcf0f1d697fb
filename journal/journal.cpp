#include "journal/journal.h"

#include <algorithm>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "platform/file_names.h"
#include "platform/read_limits.h"

namespace korva {
namespace {

constexpr const char* kHeader = "korva-journal";
// Version 2 ends every line in a checksum of the rest; version 1 journals,
// written before, have none.
constexpr const char* kVersion = "2";

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

// The checksum of a line's text: XXH3, 16 hexadecimal digits.
std::string Checksum(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  uint64_t hash = XXH3_64bits(text.data(), text.size());
  std::string digits(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) digits[static_cast<size_t>(i)] = kHex[hash & 15];
  return digits;
}

std::string LineText(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i > 0 ? "\t" : "") + Escape(fields[i]);
  return line + "\t" + Checksum(line) + "\n";
}

// What one journal holds: the operation's name, its lines, each undone or
// not, and whether it committed.
struct JournalText {
  std::string name;
  std::vector<std::vector<std::string>> entries;
  std::vector<bool> undone;
  bool committed = false;
};

// The text of a line without its checksum; false when the checksum does
// not match (the line was cut short or damaged: it and all after it were
// never done).
bool CheckedBody(const std::string& line, bool checksums, std::string* body) {
  if (!checksums) {
    *body = line;
    return true;
  }
  size_t tab = line.find_last_of('\t');
  if (tab == std::string::npos) return false;
  *body = line.substr(0, tab);
  return line.compare(tab + 1, std::string::npos, Checksum(*body)) == 0;
}

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
  if (header.size() < 3 || header[0] != kHeader || (header[1] != "1" && header[1] != kVersion)) {
    return Status::PathError(path, "not a journal this program can read");
  }
  const bool checksums = header[1] != "1";
  std::string body;
  if (!CheckedBody(lines[0], checksums, &body)) return Status::Ok();  // the header was cut short
  header = Fields(body);
  text->name = header.size() > 2 ? header[2] : "";
  for (size_t i = 1; i < lines.size(); ++i) {
    if (!CheckedBody(lines[i], checksums, &body)) break;
    std::vector<std::string> fields = Fields(body);
    if (fields[0] == "committed") {
      text->committed = true;
      break;
    }
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

// The game paths an entry changes when it is undone, folded.
std::vector<std::string> EntryPaths(const std::vector<std::string>& entry) {
  std::vector<std::string> paths;
  const bool copy = entry[0] == "saved" || entry[0] == "saved-folder";
  for (size_t i = copy ? 2 : 1; i < entry.size(); ++i) paths.push_back(FoldedName(entry[i]));
  return paths;
}

// Undoes one entry; adds the folders whose entries it changed. False, with
// the reason in `failures`, when it could not be undone.
bool UndoEntry(Platform& platform, const std::string& game, const std::vector<std::string>& e,
               std::vector<std::string>* failures, std::set<std::string>* gained,
               std::set<std::string>* lost) {
  const std::string& kind = e[0];
  const std::string copies = JournalFilesPath(game);
  Status status;
  if (kind == "saved" && e.size() == 3) {
    const std::string copy = copies + "/" + e[1];
    const std::string path = game + e[2];
    bool same = false;
    // A file whose change never happened (refused, as a read-only or held
    // file's is) has these bytes still: the copy only goes.
    if (platform.Exists(copy) && platform.Exists(path) &&
        SameBytes(platform, copy, path, &same).ok() && same) {
      status = platform.RemoveOwnFile(copy);
      if (!status.ok()) {
        failures->push_back(copy + " could not be removed (" + status.message() + ")");
        return false;
      }
      lost->insert(copies);
    } else if (platform.Exists(copy)) {
      status = platform.RenameOver(copy, path);
      if (!status.ok()) {
        failures->push_back(path + " could not be put back (" + status.message() +
                            "); its bytes from before are kept in " + copy);
        return false;
      }
      lost->insert(copies);
    }
    if (platform.Exists(path + "_temp")) platform.RemoveOwnFile(path + "_temp");
    gained->insert(ParentFolder(path));
  } else if (kind == "saved-folder" && e.size() == 3) {
    // A folder moved aside whole; the later changes below its name are
    // undone by now.
    const std::string copy = copies + "/" + e[1];
    const std::string path = game + e[2];
    if (platform.IsFolder(copy) && !platform.IsLink(copy)) {
      status = platform.Exists(path) ? Status::PathError(path, "is in the way") : platform.Rename(copy, path);
      if (!status.ok()) {
        failures->push_back(path + " could not be put back (" + status.message() +
                            "); its files from before are kept in " + copy);
        return false;
      }
      lost->insert(copies);
    }
    gained->insert(ParentFolder(path));
  } else if (kind == "absent" && e.size() == 2) {
    const std::string path = game + e[1];
    if (platform.Exists(path) && !platform.IsFolder(path)) {
      status = platform.Remove(path);
      if (!status.ok()) {
        failures->push_back(path + " could not be removed (" + status.message() + ")");
        return false;
      }
    }
    if (platform.Exists(path + "_temp")) platform.RemoveOwnFile(path + "_temp");
    lost->insert(ParentFolder(path));
  } else if (kind == "folder" && e.size() == 2) {
    // A folder that something else has been put into stays.
    if (platform.IsFolder(game + e[1])) platform.RemoveEmptyFolder(game + e[1]);
    lost->insert(ParentFolder(game + e[1]));
  } else if (kind == "gone-folder" && e.size() == 2) {
    if (!platform.Exists(game + e[1])) {
      status = platform.CreateFolder(game + e[1]);
      if (!status.ok()) {
        failures->push_back(game + e[1] + " could not be made again (" + status.message() + ")");
        return false;
      }
    }
    gained->insert(ParentFolder(game + e[1]));
  } else if (kind == "renamed" && e.size() == 3) {
    const std::string from = game + e[1], to = game + e[2];
    if (platform.Exists(to) && !platform.Exists(from)) {
      status = platform.Rename(to, from);
      if (!status.ok()) {
        failures->push_back(to + " could not be renamed back to " + from + " (" +
                            status.message() + ")");
        return false;
      }
    }
    gained->insert(ParentFolder(from));
    lost->insert(ParentFolder(to));
  }
  return true;
}

// Undoes the journal's entries, newest first. The entries go in batches
// that touch no path twice, so that undoing any part of a batch again
// changes nothing; after each batch the folders it changed are flushed, and
// only then is it noted done in the journal file: an undo cut off half-way
// is finished at the next start, never repeated over newer states. Returns
// what could not be put back.
std::vector<std::string> Undo(Platform& platform, const std::string& game, JournalText& text,
                              Progress* progress) {
  const std::string journal = JournalPath(game);
  std::vector<std::string> failures;
  size_t next = text.entries.size();
  while (next > 0) {
    std::vector<size_t> batch;
    std::set<std::string> paths;
    for (; next > 0; --next) {
      const size_t i = next - 1;
      if (text.undone[i]) continue;
      std::vector<std::string> touched = EntryPaths(text.entries[i]);
      if (std::any_of(touched.begin(), touched.end(),
                      [&paths](const std::string& p) { return paths.count(p) != 0; })) {
        break;
      }
      paths.insert(touched.begin(), touched.end());
      batch.push_back(i);
    }
    if (batch.empty()) break;
    std::set<std::string> gained, lost;
    std::string done;
    for (size_t i : batch) {
      if (progress != nullptr) progress->Advance(0);
      if (!UndoEntry(platform, game, text.entries[i], &failures, &gained, &lost)) return failures;
      done += LineText({"undone", std::to_string(i)});
    }
    // Where files went back first, then where they came from.
    for (const std::set<std::string>* folders : {&gained, &lost}) {
      for (const std::string& folder : *folders) {
        if (folders == &lost && gained.count(folder) != 0) continue;
        if (!platform.IsFolder(folder)) continue;
        Status synced = platform.SyncFolder(folder);
        if (!synced.ok()) {
          failures.push_back("what was put back in " + folder + " could not be flushed to disk (" +
                             synced.message() + ")");
          return failures;
        }
      }
    }
    Status noted = platform.AppendFile(journal, done);
    if (!noted.ok()) {
      failures.push_back("the journal could not note what was undone (" + noted.message() + ")");
      return failures;
    }
    for (size_t i : batch) text.undone[i] = true;
  }
  return failures;
}

// Removes everything in the journal's copies folder, and the folder. The
// error names each entry that stays, one a line.
Status RemoveCopies(Platform& platform, const std::string& game) {
  const std::string copies = JournalFilesPath(game);
  if (!platform.Exists(copies)) return Status::Ok();
  return platform.IsFolder(copies) && !platform.IsLink(copies) ? platform.RemoveOwnTree(copies)
                                                                : platform.RemoveOwnFile(copies);
}

// Undoes what `text` records (nothing when it committed) and, when
// everything was put back, removes the journal and the saved copies.
// Returns the failures, naming each file and where its bytes are.
Status UndoAndRemove(Platform& platform, const std::string& game, JournalText& text,
                     Progress* progress) {
  if (!text.committed) {
    std::vector<std::string> failures = Undo(platform, game, text, progress);
    if (!failures.empty()) {
      std::string message = "Not every file could be put back as it was:";
      for (const std::string& failure : failures) message += "\n" + failure;
      return Status::Error(message + "\nThe journal " + JournalPath(game) +
                           " is kept, and the next start tries again.");
    }
  }
  // Every entry is noted undone (or the operation committed): should the
  // removal of the journal not last, the next start has nothing to redo.
  Status removed = platform.RemoveOwnFile(JournalPath(game));
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
  if (base_.Exists(JournalPath(game_))) {
    return Status::Error("The journal of an earlier operation that could not be finished is "
                         "still in the game folder (" + JournalPath(game_) + "). Start the "
                         "program again so that it can finish undoing it. Nothing was changed.");
  }
  // Copies that no journal explains are never trusted: they go first.
  Status cleared = RemoveCopies(*this, game_);
  if (!cleared.ok()) {
    return Status::Error("These files, left in " + JournalFilesPath(game_) +
                         " by an earlier operation, could not be removed:\n" + cleared.message() +
                         "\nNothing was changed. Remove them (clear their read-only attribute if "
                         "they have one) and try again.");
  }
  active_ = true;
  written_ = false;
  name_ = name;
  next_copy_ = 0;
  scratch_ = 0;
  covered_.clear();
  changed_.clear();
  changed_keys_.clear();
  gained_.clear();
  lost_.clear();
  native_folders_.clear();
  return Status::Ok();
}

Status Journal::Commit() {
  if (!active_) return Status::Ok();
  if (written_) {
    // Everything the operation did lasts before the commit point does:
    // writing the line makes the changes since the last one last first.
    if (progress_ != nullptr) progress_->Say("Writing to disk");
    Status committed = Write({{"committed"}});
    if (!committed.ok()) return committed;
    // Done. What follows only tidies up: a journal that stays is known
    // to have committed, and copies that stay go before the next one.
    End();
    base_.RemoveOwnFile(JournalPath(game_));
    base_.SyncFolder(game_);
    RemoveCopies(*this, game_);
    return Status::Ok();
  }
  End();
  return Status::Ok();
}

Status Journal::Rollback() {
  if (!active_) return Status::Ok();
  const bool written = written_;
  End();
  if (!written) return Status::Ok();
  JournalText text;
  std::string bytes;
  Status status = base_.ReadFile(JournalPath(game_), kRecordFileLimit, &bytes);
  if (status.ok()) status = ParseJournal(JournalPath(game_), bytes, &text);
  // The undo goes through this guard, unrecorded.
  if (status.ok()) status = UndoAndRemove(*this, game_, text, progress_);
  return status;
}

void Journal::End() {
  active_ = false;
  written_ = false;
  covered_.clear();
  inside_.clear();
}

Status Journal::Allowed(const std::string& path) {
  bool below = !game_.empty() && path.compare(0, game_.size() + 1, game_ + "/") == 0;
  if (!below && !active_) return Status::Ok();
  if (!below) {
    return Status::PathError(path, "not inside the game folder " + game_ +
                                       "; the program does not change anything outside it, so "
                                       "the operation was stopped");
  }
  // A folder is checked once in an operation; of the paths in it only the
  // name itself is looked at again, which could be a link.
  const std::string parent = ParentFolder(path);
  if (active_ && inside_.count(parent) != 0 && !base_.IsLink(path)) return Status::Ok();
  Status status = base_.CheckInside(game_, path);
  if (status.ok() && active_ && base_.IsFolder(parent)) inside_.insert(parent);
  return status;
}

Status Journal::AllowedEntry(const std::string& path) {
  // The entry itself is moved or removed, never followed.
  if (active_ && inside_.count(ParentFolder(path)) != 0 && BaseName(path) != "..") {
    return Status::Ok();
  }
  if (!base_.IsLink(path)) return Allowed(path);
  // A link itself is moved or removed, never followed: it is its folder
  // that must lie inside.
  const std::string parent = ParentFolder(path);
  if (parent == game_ && BaseName(path) != "..") return Status::Ok();
  return Allowed(parent);
}

// Names are matched as the game's platform matches them: in any letter case.
std::string Journal::Key(const std::string& path) { return FoldedName(path); }

void Journal::Changed(const std::string& path, Entry entry) {
  if (changed_keys_.insert(path).second) changed_.push_back(path);
  if (entry == Entry::kSame) return;
  // The folder as spelled on disk, looked up once for all its files.
  const std::string given = ParentFolder(path);
  auto found = native_folders_.find(given);
  if (found == native_folders_.end()) {
    found = native_folders_.emplace(given, base_.NativePath(given)).first;
  }
  (entry == Entry::kGained ? gained_ : lost_).insert(found->second);
}

Status Journal::SyncChangedFolders() {
  for (const std::set<std::string>* folders : {&gained_, &lost_}) {
    for (const std::string& folder : *folders) {
      if (folders == &lost_ && gained_.count(folder) != 0) continue;
      if (progress_ != nullptr) progress_->Advance(0);
      if (!base_.IsFolder(folder)) continue;
      Status synced = base_.SyncFolder(folder);
      if (!synced.ok()) return synced;
    }
  }
  gained_.clear();
  lost_.clear();
  return Status::Ok();
}

Status Journal::Start() {
  if (written_) return Status::Ok();
  // Nothing changes under a running game.
  if (base_.IsRunning(game_ + "/KORVAQUORIN.exe")) return Status::Error(kGameRunningMessage);
  const std::string header = LineText({kHeader, kVersion, name_});
  Status status = base_.WriteNewFile(JournalPath(game_),
                                     [&header](FileWriter& out) { return out.Write(header); });
  // From here a rollback removes the journal again, whatever else fails.
  written_ = status.ok();
  const std::string copies = JournalFilesPath(game_);
  if (status.ok() && !base_.IsFolder(copies)) status = base_.CreateFolder(copies);
  // Both entries last before anything is changed.
  if (status.ok()) status = base_.SyncFolder(game_);
  if (!status.ok()) {
    return Status::Error("The journal that makes this operation safe to cut off could not be "
                         "written (" + status.message() + "), so nothing was changed.");
  }
  // Copies are numbered past every name the folder holds.
  std::vector<std::string> names;
  base_.ListFolder(copies, &names);
  for (const std::string& name : names) next_copy_ = std::max(next_copy_, EntryNumber(name) + 1);
  return Status::Ok();
}

std::string Journal::NextCopy() { return std::to_string(next_copy_++); }

Status Journal::Write(const std::vector<Line>& lines) {
  if (lines.empty()) return Status::Ok();
  Status started = Start();
  if (started.ok()) started = SyncChangedFolders();
  if (!started.ok()) return started;
  std::string text;
  for (Line line : lines) {
    // Paths are kept relative to the game folder.
    for (size_t i = 1; i < line.size(); ++i) {
      if (line[i].compare(0, game_.size() + 1, game_ + "/") == 0) line[i] = line[i].substr(game_.size());
    }
    text += LineText(line);
  }
  return base_.AppendFile(JournalPath(game_), text);
}

Status Journal::CoverFile(const std::string& path, std::vector<Line>* lines) {
  const std::string key = Key(path);
  if (covered_.count(key) != 0) return Status::Ok();
  if (!base_.Exists(path)) {
    lines->push_back({"absent", path});
    covered_[key] = Cover::kAbsent;
    return Status::Ok();
  }
  // The prior bytes are copied into the journal, and lasting, before the
  // line that names them is written.
  Status started = Start();
  if (!started.ok()) return started;
  const std::string name = NextCopy();
  const std::string copy = JournalFilesPath(game_) + "/" + name;
  Status copied = base_.CopyFile(path, copy);
  if (copied.ok()) copied = base_.SyncFolder(JournalFilesPath(game_));
  if (!copied.ok()) {
    return Status::Error("The bytes of " + path + " could not be kept in the journal before it "
                         "was changed (" + copied.message() + ")");
  }
  lines->push_back({"saved", name, path});
  covered_[key] = Cover::kSaved;
  return Status::Ok();
}

Status Journal::MoveAsideLine(const std::string& path, std::vector<Line>* lines, std::string* copy) {
  copy->clear();
  const std::string key = Key(path);
  if (covered_.count(key) != 0 || !base_.Exists(path)) return Status::Ok();
  if (base_.IsFolder(path) && !base_.IsLink(path)) {
    return Status::PathError(path, "is a folder, not a file, so it was not removed");
  }
  // The line comes first and names a copy that nothing holds yet: if the
  // move never happens, undoing finds no copy and leaves the file where it
  // is; if it happens, the copy is this file and no other.
  const std::string name = NextCopy();
  lines->push_back({"saved", name, path});
  *copy = JournalFilesPath(game_) + "/" + name;
  covered_[key] = Cover::kSaved;
  return Status::Ok();
}

void Journal::CoverRename(const std::string& from, const std::string& to, std::vector<Line>* lines) {
  const std::string keyFrom = Key(from), keyTo = Key(to);
  if (covered_.count(keyFrom) != 0) {
    // Undoing `from` puts its old state back; `to` only has to go.
    if (covered_.count(keyTo) != 0) return;
    lines->push_back({"absent", to});
    covered_[keyTo] = Cover::kAbsent;
    return;
  }
  // The bytes now move to `to`: undoing renames them back, after any later
  // change of `to` has been undone, so those changes must be recorded anew.
  lines->push_back({"renamed", from, to});
  covered_.erase(keyTo);
}

Status Journal::WriteAt(const std::string& path, uint64_t offset, std::string_view bytes) {
  std::vector<Line> lines;
  Status status = Allowed(path);
  if (status.ok() && Recording()) status = CoverFile(path, &lines);
  if (status.ok()) status = Write(lines);
  if (!status.ok()) return status;
  Changed(path, Entry::kSame);
  return base_.WriteAt(path, offset, bytes);
}

Status Journal::AppendFile(const std::string& path, std::string_view bytes) {
  std::vector<Line> lines;
  Status status = Allowed(path);
  if (status.ok() && Recording()) status = CoverFile(path, &lines);
  if (status.ok()) status = Write(lines);
  if (!status.ok()) return status;
  Changed(path, base_.Exists(path) ? Entry::kSame : Entry::kGained);
  return base_.AppendFile(path, bytes);
}

Status Journal::ReplaceFile(const std::string& path, std::string_view bytes) {
  std::vector<Line> lines;
  Status status = Allowed(path);
  if (status.ok() && Recording()) status = CoverFile(path, &lines);
  if (status.ok()) status = Write(lines);
  if (!status.ok()) return status;
  Changed(path, Entry::kGained);
  return base_.ReplaceFile(path, bytes);
}

Status Journal::WriteNewFile(const std::string& path,
                             const std::function<Status(FileWriter&)>& produce) {
  std::vector<Line> lines;
  Status status = Allowed(path);
  if (status.ok() && Recording() && !base_.Exists(path)) status = CoverFile(path, &lines);
  if (status.ok()) status = Write(lines);
  if (!status.ok()) return status;
  Changed(path, Entry::kGained);
  return base_.WriteNewFile(path, produce);
}

bool Journal::Advanced(uint64_t units) { return progress_ == nullptr || progress_->Advance(units); }

Status Journal::CopyFile(const std::string& from, const std::string& to) {
  std::vector<Line> lines;
  Status status = Allowed(to);
  if (status.ok() && Recording() && !base_.Exists(to)) status = CoverFile(to, &lines);
  if (status.ok()) status = Write(lines);
  if (!status.ok()) return status;
  Changed(to, Entry::kGained);
  return base_.CopyFile(from, to);
}

Status Journal::CopyFiles(const std::vector<FilePair>& copies) {
  // The copies are made about 16 MiB at a time, each part's bytes flushed
  // together; the lines for all of them are written first.
  constexpr uint64_t kPartBytes = 16 << 20;
  std::vector<Line> lines;
  std::vector<uint64_t> sizes;
  for (const FilePair& copy : copies) {
    Status status = Allowed(copy.to);
    if (status.ok() && Recording() && !base_.Exists(copy.to)) status = CoverFile(copy.to, &lines);
    if (!status.ok()) return status;
    FileInfo info;
    sizes.push_back(base_.Stat(copy.from, &info).ok() ? info.size : 0);
  }
  Status status = Write(lines);
  std::vector<std::string> copied;
  for (size_t begin = 0; status.ok() && begin < copies.size();) {
    size_t end = begin;
    uint64_t bytes = 0;
    while (end < copies.size() && (end == begin || bytes + sizes[end] <= kPartBytes)) {
      bytes += sizes[end];
      Changed(copies[end].to, Entry::kGained);
      copied.push_back(copies[end].to);
      ++end;
    }
    status = base_.CopyFilesUnflushed(std::vector<FilePair>(
        copies.begin() + static_cast<long>(begin), copies.begin() + static_cast<long>(end)));
    if (status.ok() && !Advanced(bytes)) status = Status::Cancelled();
    begin = end;
  }
  // The lines say how to undo copies whose bytes are not on disk yet; all
  // the bytes last before the batch is done.
  if (status.ok()) status = base_.FlushFiles(copied);
  return status;
}

Status Journal::RenameOver(const std::string& from, const std::string& to) {
  Status status = AllowedEntry(from);
  if (status.ok()) status = AllowedEntry(to);
  if (!status.ok()) return status;
  std::string copy;
  if (Recording()) {
    std::vector<Line> lines;
    status = MoveAsideLine(to, &lines, &copy);
    if (status.ok() && copy.empty() && covered_.count(Key(to)) == 0) status = CoverFile(to, &lines);
    if (status.ok()) CoverRename(from, to, &lines);
    if (status.ok()) status = Write(lines);
    if (!status.ok()) return status;
  }
  Changed(from, Entry::kLost);
  Changed(to, Entry::kGained);
  if (!copy.empty()) {
    gained_.insert(JournalFilesPath(game_));
    status = base_.Rename(to, copy);
    if (!status.ok()) return status;
  }
  return base_.RenameOver(from, to);
}

Status Journal::Rename(const std::string& from, const std::string& to) {
  return RenameFiles({{from, to}});
}

Status Journal::RenameFiles(const std::vector<FilePair>& renames) {
  std::vector<Line> lines;
  for (const FilePair& rename : renames) {
    Status status = AllowedEntry(rename.from);
    if (status.ok()) status = Allowed(rename.to);
    if (!status.ok()) return status;
    if (Recording() && !base_.Exists(rename.to)) CoverRename(rename.from, rename.to, &lines);
  }
  Status status = Write(lines);
  for (size_t i = 0; status.ok() && i < renames.size(); ++i) {
    Changed(renames[i].from, Entry::kLost);
    Changed(renames[i].to, Entry::kGained);
    status = base_.Rename(renames[i].from, renames[i].to);
    if (status.ok() && renames.size() > 1 && !Advanced(1)) status = Status::Cancelled();
  }
  return status;
}

Status Journal::Remove(const std::string& path) { return RemoveFiles({path}); }

Status Journal::RemoveFiles(const std::vector<std::string>& paths) {
  std::vector<Line> lines;
  std::vector<std::string> copies;
  for (const std::string& path : paths) {
    Status status = AllowedEntry(path);
    std::string copy;
    if (status.ok() && Recording()) status = MoveAsideLine(path, &lines, &copy);
    if (!status.ok()) return status;
    copies.push_back(copy);
  }
  Status status = Write(lines);
  if (!status.ok()) return status;
  for (size_t i = 0; i < paths.size() && status.ok(); ++i) {
    Changed(paths[i], Entry::kLost);
    if (!copies[i].empty()) gained_.insert(JournalFilesPath(game_));
    status = copies[i].empty() ? base_.Remove(paths[i]) : base_.Rename(paths[i], copies[i]);
    if (status.ok() && paths.size() > 1 && !Advanced(1)) status = Status::Cancelled();
  }
  return status;
}

Status Journal::RemoveTrees(const std::vector<std::string>& paths) {
  std::vector<Line> lines;
  std::vector<std::string> copies;
  for (const std::string& path : paths) {
    Status status = AllowedEntry(path);
    if (status.ok() && (!base_.IsFolder(path) || base_.IsLink(path))) {
      status = Status::PathError(path, "is not a folder, so it was not removed as one");
    }
    if (!status.ok()) return status;
    copies.push_back(Recording() ? JournalFilesPath(game_) + "/" + NextCopy() : "");
    if (!Recording()) continue;
    lines.push_back({"saved-folder", BaseName(copies.back()), path});
    // Whatever is made below this name later is new, and recorded anew.
    const std::string key = Key(path);
    for (auto it = covered_.lower_bound(key + "/");
         it != covered_.end() && it->first.compare(0, key.size() + 1, key + "/") == 0;) {
      it = covered_.erase(it);
    }
  }
  Status status = Write(lines);
  for (size_t i = 0; i < paths.size() && status.ok(); ++i) {
    Changed(paths[i], Entry::kLost);
    if (copies[i].empty()) {
      status = base_.RemoveOwnTree(paths[i]);
    } else {
      gained_.insert(JournalFilesPath(game_));
      status = base_.Rename(paths[i], copies[i]);
    }
    if (status.ok() && !Advanced(1)) status = Status::Cancelled();
  }
  return status;
}

Status Journal::RemoveOwnTree(const std::string& path) {
  if (Recording()) return RemoveTrees({path});
  Status status = AllowedEntry(path);
  return status.ok() ? base_.RemoveOwnTree(path) : status;
}

Status Journal::CheckInside(const std::string& root, const std::string& path) {
  return active_ && root == game_ ? Allowed(path) : base_.CheckInside(root, path);
}

Status Journal::RemoveOwnFile(const std::string& path) {
  if (Recording()) return Remove(path);
  Status status = AllowedEntry(path);
  return status.ok() ? base_.RemoveOwnFile(path) : status;
}

Status Journal::CreateFolder(const std::string& path) { return CreateFolders({path}); }

Status Journal::CreateFolders(const std::vector<std::string>& paths) {
  std::vector<Line> lines;
  for (const std::string& path : paths) {
    Status status = Allowed(path);
    if (!status.ok()) return status;
    if (Recording() && !base_.Exists(path)) lines.push_back({"folder", path});
  }
  Status status = Write(lines);
  for (size_t i = 0; status.ok() && i < paths.size(); ++i) {
    Changed(paths[i], Entry::kGained);
    status = base_.CreateFolder(paths[i]);
  }
  return status;
}

Status Journal::RemoveEmptyFolder(const std::string& path) { return RemoveEmptyFolders({path}); }

Status Journal::RemoveEmptyFolders(const std::vector<std::string>& paths) {
  std::vector<Line> lines;
  for (const std::string& path : paths) {
    Status status = Allowed(path);
    if (!status.ok()) return status;
    if (Recording() && base_.IsFolder(path)) lines.push_back({"gone-folder", path});
  }
  Status status = Write(lines);
  for (size_t i = 0; status.ok() && i < paths.size(); ++i) {
    Changed(paths[i], Entry::kLost);
    status = base_.RemoveEmptyFolder(paths[i]);
  }
  return status;
}

Status Journal::ScratchFolder(std::string* folder) {
  Status started = Start();
  if (!started.ok()) return started;
  *folder = JournalFilesPath(game_) + "/scratch-" + std::to_string(scratch_++);
  return base_.CreateFolder(*folder);
}

Status Journal::MoveInFiles(const std::vector<FilePair>& moves) {
  std::vector<Line> lines;
  for (const FilePair& move : moves) {
    Status status = Allowed(move.to);
    if (status.ok() && Recording()) status = CoverFile(move.to, &lines);
    if (!status.ok()) return status;
  }
  Status status = Write(lines);
  for (size_t i = 0; i < moves.size() && status.ok(); ++i) {
    Changed(moves[i].to, Entry::kGained);
    status = base_.Rename(moves[i].from, moves[i].to);
    if (status.ok() && !Advanced(0)) status = Status::Cancelled();
  }
  return status;
}

Status Journal::RunProgram(const std::vector<std::string>& argv, int* exitStatus,
                           const ProgramWatch& watch) {
  if (Recording()) {
    std::vector<Line> lines;
    const std::string copies = JournalFilesPath(game_) + "/";
    for (size_t i = 1; i < argv.size(); ++i) {
      const std::string& arg = argv[i];
      if (arg.compare(0, game_.size() + 1, game_ + "/") != 0 || base_.Exists(arg) ||
          arg.compare(0, copies.size(), copies) == 0) {
        continue;
      }
      Status status = Allowed(arg);
      if (status.ok()) status = CoverFile(arg, &lines);
      if (!status.ok()) return status;
      Changed(arg, Entry::kGained);
    }
    Status written = Write(lines);
    if (!written.ok()) return written;
  }
  // An outside program may flush folders itself: what was moved before it
  // runs lasts first.
  if (active_) {
    Status synced = SyncChangedFolders();
    if (!synced.ok()) return synced;
  }
  // The program is watched while it runs, so the progress goes on (and
  // can stop it) however long it takes.
  ProgramWatch watched = watch;
  if (progress_ != nullptr) {
    watched = [this, &watch](const std::vector<std::string>& lines) {
      return (!watch || watch(lines)) && progress_->Advance(0);
    };
  }
  return base_.RunProgram(argv, exitStatus, watched);
}

Status RecoverCutOffOperation(Platform& platform, const std::string& gameFolder,
                              std::string* operation, Progress* progress) {
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
  if (!text.committed) *operation = text.name.empty() ? "operation" : text.name;
  return UndoAndRemove(platform, gameFolder, text, progress);
}

}  // namespace korva
