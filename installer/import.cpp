#include "installer/import.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

#include "installer/package_fingerprint.h"
#include "installer/roster_file.h"
#include "installer/roster_share.h"
#include "platform/file_names.h"

namespace korva {
namespace {

// Blocks of the archive file handed to libarchive, and of unpacked data.
constexpr size_t kFileBlock = 1024 * 1024;
constexpr size_t kDataBlock = 256 * 1024;
// What a name may be at most, in bytes.
constexpr size_t kMaxFolderName = 100;
// How many names of an archive's top the message lists.
constexpr size_t kTopNamesShown = 10;
// The temporary folders of an import: mods/.import-N_temp.
const char kStagePrefix[] = ".import-";
const char kStageSuffix[] = "_temp";

std::string FoldCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// True when Windows can hold a file or folder of this name.
bool WindowsCanHold(const std::string& name) { return WhyWindowsCannotHold(name).empty(); }

std::string Join(const std::vector<std::string>& parts, size_t from = 0, size_t to = std::string::npos) {
  std::string joined;
  for (size_t i = from; i < std::min(to, parts.size()); ++i) {
    if (!joined.empty()) joined += '/';
    joined += parts[i];
  }
  return joined;
}

// The source as the message names it: its file or folder name.
std::string Shown(const std::string& source) {
  std::string path = source;
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  std::string base = BaseName(path);
  return base.empty() ? path : base;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Why a source or a package stops: a refusal, or the user's cancel.
struct Stop {
  ImportRule rule;
  std::string reason;
  bool cancel = false;
};
using Outcome = std::optional<Stop>;

Outcome Refuse(ImportRule rule, std::string reason) { return Stop{rule, std::move(reason)}; }
Outcome Cancelled() { return Stop{ImportRule::kWriteFailed, "cancelled", true}; }

// Splits an entry's name into its components; "\" separates as "/" does, and
// empty and "." components are dropped.
Outcome SplitEntryName(const std::string& name, std::vector<std::string>* parts) {
  parts->clear();
  std::string path = name;
  std::replace(path.begin(), path.end(), '\\', '/');
  if ((!path.empty() && path[0] == '/') ||
      (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':')) {
    return Refuse(ImportRule::kAbsoluteName, "entry " + Quoted(name) + " has an absolute name");
  }
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = std::min(path.find('/', pos), path.size());
    std::string part = path.substr(pos, end - pos);
    if (part == "..") {
      return Refuse(ImportRule::kClimbsOut, "entry " + Quoted(name) + " climbs out with \"..\"");
    }
    if (!part.empty() && part != ".") parts->push_back(part);
    pos = end + 1;
  }
  return std::nullopt;
}

// A file or folder of a source, by its components below the source's top.
struct Entry {
  std::vector<std::string> parts;
  bool folder = false;
  uint64_t size = 0;  // a folder source's file: its size when it was listed
};

// A package found in a source: the folder (components, none for the top)
// that holds its modfile.ini.
struct Package {
  std::vector<std::string> prefix;
  std::string folder;  // the new folder's name under mods
  bool replace = false;
  std::string staged;  // where it is unpacked, under the temporary folder

  bool Holds(const std::vector<std::string>& parts) const {
    if (parts.size() <= prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
      if (FoldCase(parts[i]) != FoldCase(prefix[i])) return false;
    }
    return true;
  }
};

// What the check of a source learns: every entry's name is checked and
// registered, so that two entries that would be one file on Windows are
// found, the names at the top are kept for the message and the folders
// holding a modfile.ini are found.
class Scan {
 public:
  Outcome Add(const Entry& entry) {
    std::string key;
    for (size_t i = 0; i < entry.parts.size(); ++i) {
      if (i > 0) key += '/';
      key += FoldCase(entry.parts[i]);
      const bool folder = i + 1 < entry.parts.size() || entry.folder;
      const std::string shown = Join(entry.parts, 0, i + 1);
      auto [known, added] = known_.emplace(key, Known{folder, shown});
      if (added) {
        if (i == 0) top_.push_back(shown + (folder ? "/" : ""));
        if (!WindowsCanHold(entry.parts[i])) bad_names_.push_back(entry.parts);
        continue;
      }
      if (folder && known->second.folder) continue;
      if (known->second.shown == shown) {
        return Refuse(ImportRule::kSameName, "entry " + Quoted(shown) + " is in it twice");
      }
      return Refuse(ImportRule::kSameName, "entries " + Quoted(known->second.shown) + " and " +
                                               Quoted(shown) +
                                               " would be one file on Windows, where case does not count");
    }
    if (!entry.folder && !entry.parts.empty() && entry.parts.size() <= 3 &&
        FoldCase(entry.parts.back()) == "modfile.ini") {
      modfile_folders_.emplace_back(entry.parts.begin(), entry.parts.end() - 1);
    }
    return std::nullopt;
  }

  // The packages: the folders with a modfile.ini, outermost first; a folder
  // inside a package belongs to it and is no package of its own.
  std::vector<Package> Packages(const std::string& sourceStem) const {
    std::vector<std::vector<std::string>> folders = modfile_folders_;
    std::stable_sort(folders.begin(), folders.end(),
                     [](const auto& a, const auto& b) { return a.size() < b.size(); });
    std::vector<Package> packages;
    for (const auto& folder : folders) {
      Package package;
      package.prefix = folder;
      package.folder = SafeFolderName(folder.empty() ? sourceStem : folder.back());
      bool inside = std::any_of(packages.begin(), packages.end(),
                                [&](const Package& outer) { return outer.Holds(folder); });
      if (!inside) packages.push_back(package);
    }
    // In the order of the source's own names.
    std::sort(packages.begin(), packages.end(), [](const Package& a, const Package& b) {
      return FoldCase(Join(a.prefix)) < FoldCase(Join(b.prefix));
    });
    return packages;
  }

  // An entry of `package` whose name Windows cannot hold, or "".
  std::string BadNameIn(const Package& package) const {
    for (const auto& parts : bad_names_) {
      if (package.Holds(parts)) return Join(parts);
    }
    return "";
  }

  // "Its top holds: a.txt, pics/" for the message.
  std::string TopText() const {
    if (top_.empty()) return "It is empty";
    std::vector<std::string> top = top_;
    std::sort(top.begin(), top.end(),
              [](const std::string& a, const std::string& b) { return FoldCase(a) < FoldCase(b); });
    std::string text = "Its top holds: ";
    for (size_t i = 0; i < top.size() && i < kTopNamesShown; ++i) {
      text += (i > 0 ? ", " : "") + top[i];
    }
    if (top_.size() > kTopNamesShown) {
      text += " and " + std::to_string(top_.size() - kTopNamesShown) + " more";
    }
    return text;
  }

  // The entries: a folder source's for the copy, an archive's for the
  // check of a roster archive.
  std::vector<Entry> entries;
  uint64_t entry_count = 0;
  uint64_t bytes = 0;

  // What a roster archive is checked by (installer/roster_share.h): the
  // bytes of the manifest at the top and of the files directly under
  // "rosters/", and the hash of every file below "mods/FOLDER/".
  struct Captured {
    std::vector<std::string> parts;
    std::string bytes;
    bool whole = true;  // false: larger than kCaptureLimit
  };
  struct Hashed {
    std::vector<std::string> parts;
    uint64_t size;
    uint64_t hash;
  };
  std::vector<Captured> captured;
  std::vector<Hashed> hashed;

  // The captured file at `parts` (matched as Windows matches names), or null.
  const Captured* Find(const std::vector<std::string>& parts) const {
    for (const Captured& file : captured) {
      if (file.parts.size() == parts.size() &&
          std::equal(parts.begin(), parts.end(), file.parts.begin(),
                     [](const std::string& a, const std::string& b) { return FoldCase(a) == FoldCase(b); })) {
        return &file;
      }
    }
    return nullptr;
  }

 private:
  struct Known {
    bool folder;
    std::string shown;
  };
  std::map<std::string, Known> known_;  // folded path -> what it is
  std::vector<std::string> top_;
  std::vector<std::vector<std::string>> modfile_folders_;
  std::vector<std::vector<std::string>> bad_names_;
};

// Captures or hashes an archive entry's bytes while the check reads them,
// for the entries a roster archive is checked by.
constexpr size_t kCaptureLimit = 64 * 1024;
class ScanSink : public FileWriter {
 public:
  explicit ScanSink(const std::vector<std::string>& parts) : parts_(parts) {
    const std::string top = parts.empty() ? "" : FoldCase(parts[0]);
    capture_ = (parts.size() == 1 && top == FoldCase(kRosterManifestName)) ||
               (parts.size() == 2 && top == "rosters");
    hash_ = parts.size() >= 3 && top == "mods";
  }
  bool wanted() const { return capture_ || hash_; }
  Status Write(std::string_view bytes) override {
    size_ += bytes.size();
    if (hash_) hash_of_.Add(bytes);
    if (capture_ && bytes_.size() <= kCaptureLimit) {
      bytes_.append(bytes.substr(0, kCaptureLimit + 1 - bytes_.size()));
    }
    return Status::Ok();
  }
  void Keep(Scan* scan) {
    if (capture_) scan->captured.push_back({parts_, bytes_, bytes_.size() <= kCaptureLimit});
    if (hash_) scan->hashed.push_back({parts_, size_, hash_of_.Digest()});
  }

 private:
  const std::vector<std::string>& parts_;
  bool capture_ = false, hash_ = false;
  std::string bytes_;
  uint64_t size_ = 0;
  BytesHash hash_of_;
};

// An archive file read through the Platform, in blocks, with the seeks
// that zip and 7z need.
class ArchiveReader {
 public:
  ArchiveReader(Platform& platform, std::string path) : platform_(platform), path_(std::move(path)) {}
  ~ArchiveReader() {
    if (archive_ != nullptr) archive_read_free(archive_);
  }
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  Outcome Open() {
    FileInfo info;
    Status found = platform_.Stat(path_, &info);
    if (!found.ok() || !info.regular) {
      return Refuse(ImportRule::kMissing, "it is neither a file nor a folder that can be read");
    }
    size_ = info.size;
    archive_ = archive_read_new();
    // A zip is read from its central directory at its end, so one that is
    // cut short is not taken for a smaller whole one.
    archive_read_support_format_zip_seekable(archive_);
    archive_read_support_format_7zip(archive_);
    archive_read_support_format_rar(archive_);
    archive_read_support_format_rar5(archive_);
    archive_read_support_format_tar(archive_);
    archive_read_support_filter_gzip(archive_);
    archive_read_support_filter_bzip2(archive_);
    archive_read_support_filter_xz(archive_);
    archive_read_support_filter_lzma(archive_);
    archive_read_set_read_callback(archive_, Read);
    archive_read_set_seek_callback(archive_, Seek);
    archive_read_set_skip_callback(archive_, Skip);
    archive_read_set_callback_data(archive_, this);
    if (archive_read_open1(archive_) == ARCHIVE_OK) return std::nullopt;
    if (archive_errno(archive_) == EILSEQ && read_error_.empty()) {
      std::string head;
      platform_.ReadAt(path_, 0, 4, &head);
      if (head == std::string("PK\x03\x04", 4)) {
        return Refuse(ImportRule::kUnreadable,
                      "it is a zip archive that is cut short: its list of contents at the end "
                      "is missing");
      }
      return Refuse(ImportRule::kNotArchive,
                    "it is not an archive that can be read (zip, 7z, rar, tar.gz, tar.bz2 or "
                    "tar.xz)");
    }
    return Unreadable();
  }

  // A failure to read the archive, with libarchive's word for it.
  Outcome Unreadable() const {
    const char* error = archive_error_string(archive_);
    return Refuse(ImportRule::kUnreadable, "it cannot be read; it may be cut short or damaged (" +
                                               std::string(error != nullptr ? error : "unknown error") +
                                               ")");
  }

  archive* get() { return archive_; }
  uint64_t size() const { return size_; }
  // How far into the file reading has come, 0 to 1.
  double done() const { return size_ == 0 ? 1.0 : std::min(1.0, double(position_) / double(size_)); }
  // Archive bytes that the decoders have taken in so far.
  uint64_t taken() {
    la_int64_t bytes = archive_filter_bytes(archive_, -1);
    return bytes > 0 ? static_cast<uint64_t>(bytes) : 0;
  }

 private:
  static la_ssize_t Read(archive* a, void* data, const void** block) {
    auto* self = static_cast<ArchiveReader*>(data);
    if (self->position_ >= self->size_) return 0;
    size_t want = static_cast<size_t>(std::min<uint64_t>(kFileBlock, self->size_ - self->position_));
    Status read = self->platform_.ReadAt(self->path_, self->position_, want, &self->block_);
    if (!read.ok()) {
      self->read_error_ = read.message();
      archive_set_error(a, EIO, "%s", read.message().c_str());
      return -1;
    }
    self->position_ += self->block_.size();
    *block = self->block_.data();
    return static_cast<la_ssize_t>(self->block_.size());
  }

  static la_int64_t Seek(archive*, void* data, la_int64_t offset, int whence) {
    auto* self = static_cast<ArchiveReader*>(data);
    la_int64_t base = whence == SEEK_SET   ? 0
                      : whence == SEEK_CUR ? static_cast<la_int64_t>(self->position_)
                                           : static_cast<la_int64_t>(self->size_);
    if (base + offset < 0) return ARCHIVE_FATAL;
    self->position_ = static_cast<uint64_t>(base + offset);
    return base + offset;
  }

  static la_int64_t Skip(archive*, void* data, la_int64_t request) {
    auto* self = static_cast<ArchiveReader*>(data);
    if (request <= 0 || self->position_ >= self->size_) return 0;
    uint64_t skip = std::min<uint64_t>(static_cast<uint64_t>(request), self->size_ - self->position_);
    self->position_ += skip;
    return static_cast<la_int64_t>(skip);
  }

  Platform& platform_;
  std::string path_;
  archive* archive_ = nullptr;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  std::string block_;
  std::string read_error_;
};

// Checks an archive entry's name and kind; on success `*entry` holds its
// components (none for the archive's own top folder).
Outcome CheckArchiveEntry(archive_entry* raw, Entry* entry) {
  const char* utf8 = archive_entry_pathname_utf8(raw);
  const char* name = utf8 != nullptr ? utf8 : archive_entry_pathname(raw);
  if (name == nullptr) return Refuse(ImportRule::kUnreadable, "an entry's name cannot be read");
  if (Outcome bad = SplitEntryName(name, &entry->parts)) return bad;
  if (archive_entry_hardlink(raw) != nullptr) {
    return Refuse(ImportRule::kHardLink, "entry " + Quoted(name) + " is a hard link");
  }
  const auto type = archive_entry_filetype(raw);
  if (type == AE_IFLNK) return Refuse(ImportRule::kLink, "entry " + Quoted(name) + " is a link");
  if (type != AE_IFREG && type != AE_IFDIR) {
    return Refuse(ImportRule::kSpecialFile,
                  "entry " + Quoted(name) + " is a device or another special file");
  }
  if (archive_entry_is_encrypted(raw)) {
    return Refuse(ImportRule::kEncrypted, "entry " + Quoted(name) + " needs a password");
  }
  entry->folder = type == AE_IFDIR;
  if (archive_entry_size_is_set(raw) && archive_entry_size(raw) > 0 &&
      static_cast<uint64_t>(archive_entry_size(raw)) > kImportMaxBytes) {
    return Refuse(ImportRule::kTooLarge, "it would unpack to more than 2 GiB");
  }
  return std::nullopt;
}

Outcome TooManyEntries() {
  return Refuse(ImportRule::kTooManyEntries,
                "it holds more than " + std::to_string(kImportMaxEntries) + " entries");
}

Outcome TooLarge() { return Refuse(ImportRule::kTooLarge, "it would unpack to more than 2 GiB"); }

Status RemoveTree(Platform& platform, const std::string& path) {
  if (platform.IsLink(path) || !platform.IsFolder(path)) return platform.Remove(path);
  std::vector<std::string> names;
  Status status = platform.ListFolder(path, &names);
  for (const std::string& name : names) {
    Status removed = RemoveTree(platform, path + "/" + name);
    if (status.ok()) status = removed;
  }
  Status removed = platform.RemoveEmptyFolder(path);
  return status.ok() ? removed : status;
}

bool IsStageName(const std::string& name) {
  const std::string prefix = kStagePrefix, suffix = kStageSuffix;
  return name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class Importer {
 public:
  Importer(Platform& platform, std::string mods, const ImportOptions& options)
      : platform_(platform), mods_(std::move(mods)), options_(options), data_(kDataBlock),
        rosters_(options.rosters_folder.empty() ? ParentFolder(mods_) + "/rosters" : options.rosters_folder) {}

  ImportReport Run(const std::vector<std::string>& sources) {
    RemoveImportLeftovers(platform_, mods_);
    if (!platform_.IsFolder(mods_)) {
      Status made = korva::MakeFolders(platform_, mods_);
      if (!made.ok()) {
        for (const std::string& source : sources) {
          Add(source, *Refuse(ImportRule::kWriteFailed,
                              "the mods folder cannot be made (" + made.message() + ")"));
        }
        return report_;
      }
    }
    source_count_ = sources.size();
    for (size_t i = 0; i < sources.size() && !report_.cancelled; ++i) {
      source_index_ = i;
      ImportSource(sources[i]);
    }
    // Every file unpacked is flushed at once (far cheaper than one flush
    // each) before any package is put in place.
    Status flushed = report_.cancelled ? Status::Ok() : platform_.FlushFiles(written_);
    if (!flushed.ok()) {
      for (const Staged& staged : staged_) Add(staged.source, *WriteFailed(flushed));
      for (const StagedRoster& roster : staged_rosters_) Add(roster.source, *WriteFailed(flushed));
    } else if (!report_.cancelled) {
      Commit();
      for (const StagedRoster& roster : staged_rosters_) CommitRoster(roster);
    }
    if (!stage_.empty()) RemoveTree(platform_, stage_);
    if (report_.cancelled) report_.imported.clear();
    return report_;
  }

 private:
  void Add(const std::string& source, const Stop& stop) {
    if (stop.cancel) {
      report_.cancelled = true;
      return;
    }
    report_.refused.push_back({source, stop.rule, stop.reason});
  }

  // Reports progress: `part` of the current source's check (first half) or
  // copy (second half) is done. False when the user cancelled.
  bool Tick(bool writing, double part, const std::string& source) {
    if (!options_.progress) return true;
    double done = (double(source_index_) + (writing ? 0.5 : 0.0) + 0.5 * part) /
                  double(std::max<size_t>(source_count_, 1));
    std::string doing = (writing ? "Unpacking " : "Checking ") + Shown(source);
    return options_.progress(std::min(done, 1.0), doing);
  }

  void ImportSource(const std::string& source) {
    const bool folder = platform_.IsFolder(source);
    if (folder) {
      if (Outcome inside = CheckOutsideMods(source)) return Add(source, *inside);
    }
    Scan scan;
    Outcome checked = folder ? ScanFolder(source, &scan) : ScanArchive(source, &scan);
    if (checked) return Add(source, *checked);
    if (!folder && scan.Find({kRosterManifestName}) != nullptr) return ImportRoster(source, scan);
    std::vector<Package> packages = scan.Packages(folder ? Shown(source) : ArchiveStem(source));
    if (packages.empty()) {
      return Add(source, *Refuse(ImportRule::kNoModfile,
                                 "there is no modfile.ini in it, at its top or up to two folders "
                                 "down, so it holds no mod package. " +
                                     scan.TopText()));
    }
    for (const Package& package : packages) {
      std::string bad = scan.BadNameIn(package);
      if (!bad.empty()) {
        return Add(source, *Refuse(ImportRule::kBadName,
                                   "entry " + Quoted(bad) + " has a name that Windows cannot hold"));
      }
    }

    // Which packages go in: a folder name that is taken is asked about.
    std::vector<Package*> chosen;
    for (Package& package : packages) {
      const std::string where = package.prefix.empty() ? "" : " (from " + Quoted(Join(package.prefix)) + ")";
      if (taken_.count(FoldCase(package.folder)) > 0) {
        Add(source, *Refuse(ImportRule::kNameTwice,
                            "the package" + where + " would take the folder name " +
                                Quoted(package.folder) + ", which another package of this import takes"));
        continue;
      }
      if (platform_.Exists(mods_ + "/" + package.folder)) {
        if (!options_.replace || !options_.replace(package.folder, source)) {
          Add(source, *Refuse(ImportRule::kKept,
                              "the package" + where + " was not imported: the mods folder has a " +
                                  Quoted(package.folder) + " already, and it was kept"));
          continue;
        }
        package.replace = true;
      }
      chosen.push_back(&package);
    }
    if (chosen.empty()) return;
    if (Outcome written = Unpack(source, folder, scan, chosen)) return Add(source, *written);
    for (Package* package : chosen) {
      taken_.insert(FoldCase(package->folder));
      staged_.push_back({*package, source});
    }
  }

  // Unpacks the `chosen` packages of `source` below temporary folders; on
  // failure removes what it wrote.
  Outcome Unpack(const std::string& source, bool folder, const Scan& scan, const std::vector<Package*>& chosen) {
    const size_t writtenBefore = written_.size();
    Outcome written = MakeStage();
    for (Package* package : chosen) {
      if (written) break;
      package->staged = stage_ + "/new-" + std::to_string(++staged_count_);
      Status made = platform_.CreateFolder(package->staged);
      if (!made.ok()) written = WriteFailed(made);
    }
    if (!written) written = folder ? WriteFolder(source, scan, chosen) : WriteArchive(source, chosen);
    if (written) {
      for (Package* package : chosen) {
        if (!package->staged.empty() && platform_.Exists(package->staged)) {
          RemoveTree(platform_, package->staged);
        }
      }
      written_.resize(writtenBefore);
    }
    return written;
  }

  // A roster archive: everything is checked before anything is written (the
  // manifest, the roster, that every entry belongs to them, each package
  // against its fingerprint), then what is asked is asked, then the
  // packages that mods does not hold already are unpacked. Refused whole.
  void ImportRoster(const std::string& source, const Scan& scan) {
    auto refuse = [&](ImportRule rule, const std::string& reason) { Add(source, *Refuse(rule, reason)); };
    const std::string manifestName = Quoted(kRosterManifestName);
    const Scan::Captured* manifestFile = scan.Find({kRosterManifestName});
    RosterManifest manifest;
    Status parsed = manifestFile->whole ? ParseRosterManifest(manifestFile->bytes, &manifest)
                                        : Status::Error("is larger than 64 KiB");
    if (!parsed.ok()) return refuse(ImportRule::kBadManifest, "its manifest " + manifestName + " " + parsed.message());
    const std::string rosterEntry = "rosters/" + manifest.roster + ".txt";
    const Scan::Captured* rosterFile = scan.Find({"rosters", manifest.roster + ".txt"});
    if (rosterFile == nullptr) {
      return refuse(ImportRule::kBadManifest, "it holds no roster file " + Quoted(rosterEntry) +
                                                  ", which its manifest names");
    }
    Roster roster;
    Status read = rosterFile->whole ? ParseRosterText(rosterFile->bytes, rosterEntry, &roster)
                                    : Status::Error(rosterEntry + " is larger than 64 KiB");
    if (!read.ok()) {
      std::string why = read.message();
      if (!why.empty() && why.back() == '.') why.pop_back();
      return refuse(ImportRule::kBadManifest, "its roster is not of the format: " + why);
    }

    // Every entry is the manifest, the roster or in a package it names.
    std::set<std::string> folders;
    for (const RosterManifest::Package& package : manifest.packages) folders.insert(FoldCase(package.folder));
    for (const Entry& entry : scan.entries) {
      const std::vector<std::string>& parts = entry.parts;
      const std::string top = FoldCase(parts[0]);
      const bool belongs =
          (parts.size() == 1 && (top == FoldCase(kRosterManifestName) || (entry.folder && (top == "mods" || top == "rosters")))) ||
          (top == "rosters" && parts.size() == 2 && FoldCase(parts[1]) == FoldCase(manifest.roster + ".txt")) ||
          (top == "mods" && parts.size() >= 2 && folders.count(FoldCase(parts[1])) > 0 && (parts.size() > 2 || entry.folder));
      if (!belongs) {
        return refuse(ImportRule::kBadManifest, "entry " + Quoted(Join(parts)) +
                                                    " is neither its roster nor in a package its manifest names");
      }
    }
    // The roster names the packages the manifest names.
    std::set<std::string> named;
    for (size_t i = 0; i < roster.packages.size(); ++i) {
      const std::string& folder = roster.packages[i];
      if (folder.empty()) continue;
      named.insert(FoldCase(folder));
      if (folders.count(FoldCase(folder)) == 0) {
        return refuse(ImportRule::kMissingPackage, "its roster names the package " + Quoted(folder) + " in place " +
                                                       std::to_string(i + 1) + ", which it does not carry");
      }
    }
    // Each package is there, and its files are the ones the manifest names.
    for (const RosterManifest::Package& package : manifest.packages) {
      if (named.count(FoldCase(package.folder)) == 0) {
        return refuse(ImportRule::kBadManifest, "its manifest names the package " + Quoted(package.folder) +
                                                    ", which its roster does not name");
      }
      ContentFingerprint content;
      bool modfile = false;
      for (const Scan::Hashed& file : scan.hashed) {
        if (FoldCase(file.parts[1]) != FoldCase(package.folder)) continue;
        content.AddFile(Join(file.parts, 2), file.size, file.hash);
        modfile = modfile || (file.parts.size() == 3 && FoldCase(file.parts[2]) == "modfile.ini");
      }
      if (!modfile) {
        return refuse(ImportRule::kMissingPackage,
                      "its manifest names the package " + Quoted(package.folder) +
                          ", which it does not carry (it has no " + Quoted("mods/" + package.folder + "/modfile.ini") + ")");
      }
      if (content.Hex() != package.fingerprint) {
        return refuse(ImportRule::kFingerprint,
                      "the files of the package " + Quoted(package.folder) +
                          " do not match its fingerprint in the manifest: they were changed after the roster "
                          "was shared, or the archive is damaged");
      }
    }

    // Names: one Windows can hold, not taken by another package of this
    // import. Then what mods and the rosters folder hold already.
    StagedRoster staged{source, manifest.roster, rosterFile->bytes, false, {}, {}, {}};
    for (const RosterManifest::Package& listed : manifest.packages) {
      staged.named.push_back(listed.folder);
      Package package;
      package.prefix = {"mods", listed.folder};
      package.folder = listed.folder;
      const std::string bad = scan.BadNameIn(package);
      if (!bad.empty()) {
        return refuse(ImportRule::kBadName, "entry " + Quoted(bad) + " has a name that Windows cannot hold");
      }
      if (taken_.count(FoldCase(package.folder)) > 0) {
        return refuse(ImportRule::kNameTwice, "its package " + Quoted(package.folder) +
                                                  " would take a folder name that another package of this import takes");
      }
      staged.packages.push_back(package);
    }
    const std::string rosterPath = rosters_ + "/" + manifest.roster + ".txt";
    if (rosters_taken_.count(FoldCase(manifest.roster)) > 0) {
      return refuse(ImportRule::kNameTwice, "another archive of this import brings a roster " +
                                                Quoted(manifest.roster) + " too");
    }
    if (platform_.Exists(rosterPath)) {
      std::string old;
      const bool same = platform_.ReadFile(rosterPath, kCaptureLimit, &old).ok() && old == rosterFile->bytes;
      if (!same && (!options_.replace_roster || !options_.replace_roster(manifest.roster, source))) {
        return refuse(ImportRule::kKept, "there is a roster " + Quoted(manifest.roster) +
                                             " already, and it was kept; nothing of the archive was imported");
      }
      staged.replace_roster = !same;
    }
    std::vector<Package*> chosen;
    for (size_t i = 0; i < staged.packages.size(); ++i) {
      Package& package = staged.packages[i];
      const std::string target = mods_ + "/" + package.folder;
      if (platform_.Exists(target)) {
        std::string fingerprint;
        const bool same = PackageContentFingerprint(platform_, target, &fingerprint).ok() &&
                          fingerprint == manifest.packages[i].fingerprint;
        if (same) {
          staged.reused.push_back(package.folder);
          continue;
        }
        if (!options_.replace || !options_.replace(package.folder, source)) {
          return refuse(ImportRule::kKept, "the mods folder has a package " + Quoted(package.folder) +
                                               " already, with other files, and it was kept; nothing of the "
                                               "archive was imported");
        }
        package.replace = true;
      }
      chosen.push_back(&package);
    }
    if (!chosen.empty()) {
      if (Outcome written = Unpack(source, false, scan, chosen)) return Add(source, *written);
    }
    for (const Package& package : staged.packages) taken_.insert(FoldCase(package.folder));
    rosters_taken_.insert(FoldCase(manifest.roster));
    staged_rosters_.push_back(std::move(staged));
  }

  Outcome CheckOutsideMods(const std::string& source) {
    std::string folder = platform_.AbsolutePath(source);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string mods = platform_.AbsolutePath(mods_);
    auto below = [](const std::string& path, const std::string& root) {
      return FoldCase(path) == FoldCase(root) ||
             FoldCase(path).compare(0, root.size() + 1, FoldCase(root) + "/") == 0;
    };
    if (below(folder, mods)) {
      return Refuse(ImportRule::kInModsFolder, "it is in the mods folder already");
    }
    if (below(mods, folder)) {
      return Refuse(ImportRule::kInModsFolder, "it holds the mods folder itself");
    }
    return std::nullopt;
  }

  static Outcome WriteFailed(const Status& status) {
    return Refuse(ImportRule::kWriteFailed,
                  "it could not be written into the mods folder (" + status.message() + ")");
  }

  Outcome MakeStage() {
    if (!stage_.empty()) return std::nullopt;
    Status made;
    for (int n = 1; n <= 100; ++n) {
      std::string stage = mods_ + "/" + kStagePrefix + std::to_string(n) + kStageSuffix;
      made = platform_.CreateFolder(stage);
      if (made.ok()) {
        stage_ = stage;
        return std::nullopt;
      }
      if (!platform_.Exists(stage)) break;
    }
    return WriteFailed(made);
  }

  // First pass over an archive: every entry's name and kind, the counts,
  // the sizes and the ratios, reading all data through; and where the
  // packages are.
  Outcome ScanArchive(const std::string& source, Scan* scan) {
    ArchiveReader reader(platform_, source);
    if (Outcome failed = reader.Open()) return failed;
    for (;;) {
      archive_entry* raw = nullptr;
      int r = archive_read_next_header(reader.get(), &raw);
      if (r == ARCHIVE_EOF) break;
      // A warning here is a name that could not be converted; the UTF-8
      // name is used.
      if (r < ARCHIVE_WARN) return reader.Unreadable();
      if (++scan->entry_count > kImportMaxEntries) return TooManyEntries();
      Entry entry;
      if (Outcome bad = CheckArchiveEntry(raw, &entry)) return bad;
      if (entry.parts.empty()) continue;
      if (Outcome bad = scan->Add(entry)) return bad;
      scan->entries.push_back(entry);
      if (!entry.folder) {
        ScanSink sink(entry.parts);
        if (Outcome bad = ReadData(reader, raw, &scan->bytes, false, source, sink.wanted() ? &sink : nullptr)) {
          return bad;
        }
        sink.Keep(scan);
      }
      if (!Tick(false, reader.done(), source)) return Cancelled();
    }
    return std::nullopt;
  }

  // Reads the current entry's data in blocks, handing each to `sink` when
  // there is one, and stops at a limit: 2 GiB for the source, 1000 to 1
  // for the entry and for the whole archive.
  Outcome ReadData(ArchiveReader& reader, archive_entry* raw, uint64_t* total, bool writing,
                   const std::string& source, FileWriter* sink) {
    const char* utf8 = archive_entry_pathname_utf8(raw);
    const std::string name = utf8 != nullptr ? utf8 : archive_entry_pathname(raw);
    const uint64_t start = reader.taken();
    uint64_t unpacked = 0;
    for (;;) {
      la_ssize_t n = archive_read_data(reader.get(), data_.data(), data_.size());
      if (n == 0) return std::nullopt;
      if (n < 0) return reader.Unreadable();
      unpacked += static_cast<uint64_t>(n);
      *total += static_cast<uint64_t>(n);
      if (*total > kImportMaxBytes) return TooLarge();
      const uint64_t taken = reader.taken();
      const uint64_t packed = taken > start ? taken - start : 0;
      if (unpacked > kImportMaxRatio * std::max(packed, kImportRatioFloor)) {
        return Refuse(ImportRule::kRatio, "entry " + Quoted(name) +
                                              " unpacks to more than 1000 times its compressed size");
      }
      if (*total > kImportMaxRatio * std::max(reader.size(), kImportRatioFloor)) {
        return Refuse(ImportRule::kRatio, "it unpacks to more than 1000 times its own size");
      }
      if (sink != nullptr) {
        Status wrote = sink->Write(std::string_view(data_.data(), static_cast<size_t>(n)));
        if (!wrote.ok()) return WriteFailed(wrote);
      }
      if (!Tick(writing, reader.done(), source)) return Cancelled();
    }
  }

  // Makes the folders of `parts` (all of them, or all but the last) below
  // the package's temporary folder.
  Outcome MakeFolders(const Package& package, const std::vector<std::string>& parts, size_t count) {
    std::string path = package.staged;
    std::string key = package.staged;
    for (size_t i = package.prefix.size(); i < count; ++i) {
      path += "/" + parts[i];
      key += "/" + FoldCase(parts[i]);
      if (made_folders_.count(key) > 0) continue;
      Status made = platform_.CreateFolder(path);
      if (!made.ok()) return WriteFailed(made);
      made_folders_.insert(key);
    }
    return std::nullopt;
  }

  // Where a file entry goes: below the temporary folder of the chosen
  // package that holds it, with its folders made. `target` is left empty for
  // a folder entry and for an entry no chosen package holds.
  Outcome PlaceEntry(const std::vector<Package*>& chosen, const Entry& entry, std::string* target) {
    target->clear();
    auto package = std::find_if(chosen.begin(), chosen.end(),
                                [&](const Package* p) { return p->Holds(entry.parts); });
    if (package == chosen.end()) return std::nullopt;
    const size_t count = entry.parts.size();
    if (Outcome failed = MakeFolders(**package, entry.parts, entry.folder ? count : count - 1)) {
      return failed;
    }
    if (!entry.folder) *target = (*package)->staged + "/" + Join(entry.parts, (*package)->prefix.size());
    return std::nullopt;
  }

  // Second pass: the entries of the chosen packages are written below their
  // temporary folders.
  Outcome WriteArchive(const std::string& source, const std::vector<Package*>& chosen) {
    ArchiveReader reader(platform_, source);
    if (Outcome failed = reader.Open()) return failed;
    uint64_t total = 0;
    for (;;) {
      archive_entry* raw = nullptr;
      int r = archive_read_next_header(reader.get(), &raw);
      if (r == ARCHIVE_EOF) return std::nullopt;
      if (r < ARCHIVE_WARN) return reader.Unreadable();
      Entry entry;
      if (Outcome bad = CheckArchiveEntry(raw, &entry)) return bad;
      std::string target;
      if (Outcome failed = PlaceEntry(chosen, entry, &target)) return failed;
      if (target.empty()) continue;
      Outcome stopped;
      written_.push_back(target);
      Status written = platform_.WriteNewFileUnflushed(target, [&](FileWriter& writer) {
        stopped = ReadData(reader, raw, &total, true, source, &writer);
        return stopped ? Status::Error(stopped->reason) : Status::Ok();
      });
      if (stopped) return stopped;
      if (!written.ok()) return WriteFailed(written);
    }
  }

  // A folder source: every entry is listed and checked, links and special
  // files refused; no data is read yet.
  Outcome ScanFolder(const std::string& source, Scan* scan) {
    std::vector<std::vector<std::string>> pending = {{}};
    while (!pending.empty()) {
      std::vector<std::string> folder = pending.back();
      pending.pop_back();
      std::vector<std::string> names;
      const std::string path = folder.empty() ? source : source + "/" + Join(folder);
      Status listed = platform_.ListFolder(path, &names);
      if (!listed.ok()) {
        return Refuse(ImportRule::kUnreadable, "it cannot be read (" + listed.message() + ")");
      }
      // Listed in reverse so that folders are walked in name order.
      for (auto name = names.rbegin(); name != names.rend(); ++name) {
        Entry entry;
        entry.parts = folder;
        entry.parts.push_back(*name);
        const std::string shown = Join(entry.parts);
        const std::string full = source + "/" + shown;
        if (++scan->entry_count > kImportMaxEntries) return TooManyEntries();
        if (platform_.IsLink(full)) return Refuse(ImportRule::kLink, Quoted(shown) + " is a link");
        FileInfo info;
        Status stat = platform_.Stat(full, &info);
        if (!stat.ok()) return Refuse(ImportRule::kUnreadable, "it cannot be read (" + stat.message() + ")");
        if (!info.folder && !info.regular) {
          return Refuse(ImportRule::kSpecialFile, Quoted(shown) + " is a device or another special file");
        }
        entry.folder = info.folder;
        entry.size = info.size;
        if (!entry.folder) {
          scan->bytes += info.size;
          if (scan->bytes > kImportMaxBytes) return TooLarge();
        }
        if (Outcome bad = scan->Add(entry)) return bad;
        if (entry.folder) pending.push_back(entry.parts);
        scan->entries.push_back(entry);
      }
      if (!Tick(false, 0.0, source)) return Cancelled();
    }
    // Files in name order, each folder before what it holds.
    std::sort(scan->entries.begin(), scan->entries.end(),
              [](const Entry& a, const Entry& b) { return a.parts < b.parts; });
    return std::nullopt;
  }

  Outcome WriteFolder(const std::string& source, const Scan& scan, const std::vector<Package*>& chosen) {
    uint64_t total = 0;
    for (const Entry& entry : scan.entries) {
      std::string target;
      if (Outcome failed = PlaceEntry(chosen, entry, &target)) return failed;
      if (target.empty()) continue;
      const std::string from = source + "/" + Join(entry.parts);
      Outcome stopped;
      written_.push_back(target);
      Status written = platform_.WriteNewFileUnflushed(target, [&](FileWriter& writer) {
        std::string block;
        for (uint64_t offset = 0;; offset += block.size()) {
          Status read = platform_.ReadAt(from, offset, kFileBlock, &block);
          if (!read.ok()) {
            stopped = Refuse(ImportRule::kUnreadable, "it cannot be read (" + read.message() + ")");
            break;
          }
          if (block.empty()) break;
          total += block.size();
          if (total > kImportMaxBytes) {
            stopped = TooLarge();
            break;
          }
          Status wrote = writer.Write(block);
          if (!wrote.ok()) return wrote;
          double part = scan.bytes == 0 ? 1.0 : std::min(1.0, double(total) / double(scan.bytes));
          if (!Tick(true, part, source)) {
            stopped = Cancelled();
            break;
          }
        }
        return stopped ? Status::Error(stopped->reason) : Status::Ok();
      });
      if (stopped) return stopped;
      if (!written.ok()) return WriteFailed(written);
    }
    return std::nullopt;
  }

  // Every source is unpacked: each package is renamed into place. A package
  // that replaces another moves the old one aside first and puts it back
  // when the new one cannot take its place.
  void Commit() {
    std::string aside_folder = stage_ + "/old";
    for (const Staged& staged : staged_) {
      const std::string target = mods_ + "/" + staged.package.folder;
      const std::string aside = aside_folder + "/" + staged.package.folder;
      bool moved = false;
      if (staged.package.replace && platform_.Exists(target)) {
        if (!platform_.IsFolder(aside_folder)) platform_.CreateFolder(aside_folder);
        Status status = platform_.Rename(target, aside);
        if (!status.ok()) {
          Add(staged.source, *Refuse(ImportRule::kWriteFailed,
                                     "the old " + Quoted(staged.package.folder) +
                                         " could not be moved aside, so it was kept (" +
                                         status.message() + ")"));
          continue;
        }
        moved = true;
      }
      Status placed = platform_.Rename(staged.package.staged, target);
      if (!placed.ok()) {
        if (moved) platform_.Rename(aside, target);
        Add(staged.source, *Refuse(ImportRule::kWriteFailed,
                                   Quoted(staged.package.folder) + " could not be put in place (" +
                                       placed.message() + ")"));
        continue;
      }
      report_.imported.push_back({staged.package.folder, staged.source, moved});
    }
    if (!staged_.empty()) platform_.SyncFolder(mods_);
  }

  // A roster archive whose packages are unpacked (those mods did not hold).
  struct StagedRoster {
    std::string source;
    std::string name;
    std::string bytes;  // the roster file's
    bool replace_roster = false;
    std::vector<Package> packages;
    std::vector<std::string> reused;
    std::vector<std::string> named;  // its packages' folders, as the manifest lists them
  };

  // A roster archive's packages are put in place and its roster saved, or
  // none of it: what was done is undone when a step fails.
  void CommitRoster(const StagedRoster& roster) {
    struct Placed {
      const Package* package;
      bool moved;
    };
    std::vector<Placed> placed;
    const std::string asideFolder = stage_ + "/old";
    auto undo = [&]() {
      for (auto p = placed.rbegin(); p != placed.rend(); ++p) {
        const std::string target = mods_ + "/" + p->package->folder;
        platform_.Rename(target, p->package->staged);
        if (p->moved) platform_.Rename(asideFolder + "/" + p->package->folder, target);
      }
      platform_.SyncFolder(mods_);
    };
    auto fail = [&](const std::string& what, const Status& status) {
      undo();
      Add(roster.source, *Refuse(ImportRule::kWriteFailed, what + " (" + status.message() +
                                                               "); nothing of the archive was imported"));
    };
    for (const Package& package : roster.packages) {
      if (package.staged.empty()) continue;  // mods holds it already
      const std::string target = mods_ + "/" + package.folder;
      bool moved = false;
      if (package.replace && platform_.Exists(target)) {
        if (!platform_.IsFolder(asideFolder)) platform_.CreateFolder(asideFolder);
        Status aside = platform_.Rename(target, asideFolder + "/" + package.folder);
        if (!aside.ok()) return fail("the old " + Quoted(package.folder) + " could not be moved aside", aside);
        moved = true;
      }
      Status put = platform_.Rename(package.staged, target);
      if (!put.ok()) {
        if (moved) platform_.Rename(asideFolder + "/" + package.folder, target);
        return fail(Quoted(package.folder) + " could not be put in place", put);
      }
      placed.push_back({&package, moved});
    }
    platform_.SyncFolder(mods_);
    const bool madeFolder = !platform_.IsFolder(rosters_);
    Status saved = madeFolder ? platform_.CreateFolder(rosters_) : Status::Ok();
    if (saved.ok()) saved = WriteRosterBytes(platform_, rosters_ + "/" + roster.name + ".txt", roster.bytes);
    if (!saved.ok()) {
      if (madeFolder) platform_.RemoveEmptyFolder(rosters_);
      return fail("the roster " + Quoted(roster.name) + " could not be saved", saved);
    }
    for (const Placed& p : placed) report_.imported.push_back({p.package->folder, roster.source, p.moved});
    report_.rosters.push_back({roster.name, roster.source, roster.replace_roster, roster.named, roster.reused});
  }

  struct Staged {
    Package package;
    std::string source;
  };

  Platform& platform_;
  const std::string mods_;
  const ImportOptions& options_;
  std::vector<char> data_;
  ImportReport report_;
  size_t source_index_ = 0;
  size_t source_count_ = 0;
  std::string stage_;  // the temporary folder, once made
  int staged_count_ = 0;
  std::vector<Staged> staged_;
  std::set<std::string> taken_;         // folded folder names of staged packages
  std::set<std::string> made_folders_;  // folded paths made under the stage
  std::vector<std::string> written_;    // the files unpacked, to be flushed
  const std::string rosters_;           // where a roster archive's roster goes
  std::vector<StagedRoster> staged_rosters_;
  std::set<std::string> rosters_taken_;  // folded names of staged rosters
};

}  // namespace

ImportReport ImportMods(Platform& platform, const std::string& modsFolder,
                        const std::vector<std::string>& sources, const ImportOptions& options) {
  Importer importer(platform, modsFolder, options);
  return importer.Run(sources);
}

std::string ImportMessage(const ImportReport& report) {
  if (report.cancelled) return "The import was cancelled. Nothing was imported.";
  std::string text;
  if (report.imported.empty() && report.rosters.empty()) {
    text = "Nothing was imported.";
  } else if (!report.imported.empty()) {
    text = "Imported into \"Mod Database\":";
    for (const ImportedPackage& package : report.imported) {
      text += "\n- " + package.folder + ", from " + Shown(package.source);
      if (package.replaced) text += " (it replaced the package of that name)";
    }
  }
  for (const ImportedRoster& roster : report.rosters) {
    text += std::string(text.empty() ? "" : "\n") + "The roster \"" + roster.name + "\" was imported from " +
            Shown(roster.source) + (roster.replaced ? ", in place of the roster of that name" : "") + ", with " +
            std::to_string(roster.packages.size()) + (roster.packages.size() == 1 ? " package." : " packages.");
    if (!roster.reused.empty()) {
      text += " The mods folder held ";
      for (size_t i = 0; i < roster.reused.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == roster.reused.size() ? " and " : ", ") + roster.reused[i];
      }
      text += " already, with the same files.";
    }
  }
  if (!report.refused.empty()) {
    text += "\nRefused:";
    for (const ImportRefusal& refusal : report.refused) {
      text += "\n- " + Shown(refusal.source) + ": " + refusal.reason + ".";
    }
  }
  return text;
}

void RemoveImportLeftovers(Platform& platform, const std::string& modsFolder) {
  std::vector<std::string> names;
  if (!platform.IsFolder(modsFolder) || !platform.ListFolder(modsFolder, &names).ok()) return;
  for (const std::string& name : names) {
    if (!IsStageName(name)) continue;
    const std::string stage = modsFolder + "/" + name;
    const std::string aside = stage + "/old";
    std::vector<std::string> kept;
    if (!platform.IsLink(stage) && platform.IsFolder(aside) && platform.ListFolder(aside, &kept).ok()) {
      for (const std::string& old : kept) {
        if (!platform.Exists(modsFolder + "/" + old)) platform.Rename(aside + "/" + old, modsFolder + "/" + old);
      }
    }
    RemoveTree(platform, stage);
  }
}

std::string SafeFolderName(const std::string& name) {
  std::string safe;
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c >= 0x80) {
      // One character of several bytes becomes one "_".
      while (i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80) ++i;
      safe += '_';
    } else if (IsAsciiLetter(static_cast<char>(c)) || (c >= '0' && c <= '9') ||
               std::string(" -_.()").find(static_cast<char>(c)) != std::string::npos) {
      safe += static_cast<char>(c);
    } else {
      safe += '_';
    }
  }
  if (safe.size() > kMaxFolderName) safe.resize(kMaxFolderName);
  // No leading dots keeps the program's own temporary names for itself.
  size_t first = safe.find_first_not_of(". ");
  safe = first == std::string::npos ? "" : safe.substr(first);
  while (!safe.empty() && (safe.back() == '.' || safe.back() == ' ')) safe.pop_back();
  if (safe.empty()) return "mod";
  if (IsWindowsDeviceName(safe)) safe.insert(safe.find('.') == std::string::npos ? safe.size() : safe.find('.'), "_");
  return safe;
}

std::string ArchiveStem(const std::string& path) {
  std::string name = Shown(path);
  static const char* const kExtensions[] = {".tar.gz", ".tar.bz2", ".tar.xz", ".tar.lzma", ".tgz",
                                            ".tbz2",   ".tbz",     ".txz",    ".tar",       ".zip",
                                            ".7z",     ".rar"};
  const std::string folded = FoldCase(name);
  for (const char* extension : kExtensions) {
    const std::string ext = extension;
    if (folded.size() > ext.size() && folded.compare(folded.size() - ext.size(), ext.size(), ext) == 0) {
      return name.substr(0, name.size() - ext.size());
    }
  }
  return name;
}

}  // namespace korva
