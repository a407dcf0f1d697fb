#include "installer/roster_share.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <set>

#include "installer/import.h"
#include "installer/package_fingerprint.h"
#include "installer/roster_file.h"
#include "platform/file_names.h"
#include "platform/read_limits.h"
#include "platform/text_file.h"

namespace korva {
namespace {

constexpr uint64_t kManifestLimit = 64 * kKiB;
// Blocks in which a package file is read into the archive, and the blocks
// the archive is written in.
constexpr size_t kReadBlock = 1024 * 1024;
constexpr int kWriteBlock = 1024 * 1024;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsFingerprint(const std::string& text) {
  return text.size() == 16 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// A file or folder of a package, by its path below the package folder.
struct PackageEntry {
  std::string relative;
  bool folder = false;
  uint64_t size = 0;
  int64_t modified = 0;
};

// Every entry below `folder`, each folder before what it holds; a link or
// a device refuses the package.
Status ListPackage(Platform& platform, const std::string& folder, std::vector<PackageEntry>* entries) {
  std::vector<std::string> pending = {""};
  while (!pending.empty()) {
    const std::string relative = pending.back();
    pending.pop_back();
    std::vector<std::string> names;
    Status listed = platform.ListFolder(relative.empty() ? folder : folder + "/" + relative, &names);
    if (!listed.ok()) return listed;
    std::vector<std::string> folders;
    for (const std::string& name : names) {
      PackageEntry entry;
      entry.relative = relative.empty() ? name : relative + "/" + name;
      const std::string path = folder + "/" + entry.relative;
      if (platform.IsLink(path)) {
        return Status::PathError(path, "is a link, which another computer's import would refuse");
      }
      FileInfo info;
      Status stat = platform.Stat(path, &info);
      if (!stat.ok()) return stat;
      if (!info.folder && !info.regular) return Status::PathError(path, "is a device or another special file");
      entry.folder = info.folder;
      entry.size = info.folder ? 0 : info.size;
      entry.modified = info.modified;
      entries->push_back(entry);
      if (info.folder) folders.push_back(entry.relative);
    }
    // Walked in name order.
    pending.insert(pending.end(), folders.rbegin(), folders.rend());
  }
  return Status::Ok();
}

// Writes a zip entry by entry through a FileWriter.
class ZipWriter {
 public:
  ZipWriter(FileWriter& file, std::string path) : file_(file), path_(std::move(path)), archive_(archive_write_new()) {
    archive_write_set_format_zip(archive_);
    // Names are stored as UTF-8, marked so, whatever the system's locale.
    archive_write_set_format_option(archive_, "zip", "hdrcharset", "UTF-8");
    archive_write_set_bytes_per_block(archive_, kWriteBlock);
    archive_write_set_bytes_in_last_block(archive_, 1);
  }
  ~ZipWriter() { archive_write_free(archive_); }
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  Status Open() {
    if (archive_write_open(archive_, this, nullptr, Write, nullptr) != ARCHIVE_OK) return Failed();
    return Status::Ok();
  }
  // A header for a folder (size unused) or a file of `size` bytes.
  Status Header(const std::string& name, bool folder, uint64_t size, int64_t modified) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname_utf8(entry, name.c_str());
    archive_entry_set_filetype(entry, folder ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(entry, folder ? 0755 : 0644);
    if (!folder) archive_entry_set_size(entry, static_cast<la_int64_t>(size));
    archive_entry_set_mtime(entry, static_cast<time_t>(modified / 1000000000),
                            static_cast<long>(modified % 1000000000));
    const int written = archive_write_header(archive_, entry);
    archive_entry_free(entry);
    return written == ARCHIVE_OK ? Status::Ok() : Failed();
  }
  Status Data(std::string_view bytes) {
    if (bytes.empty()) return Status::Ok();
    const la_ssize_t written = archive_write_data(archive_, bytes.data(), bytes.size());
    return written == static_cast<la_ssize_t>(bytes.size()) ? Status::Ok() : Failed();
  }
  Status Close() { return archive_write_close(archive_) == ARCHIVE_OK ? Status::Ok() : Failed(); }

 private:
  static la_ssize_t Write(archive* a, void* data, const void* buffer, size_t length) {
    auto* self = static_cast<ZipWriter*>(data);
    self->failed_ = self->file_.Write(std::string_view(static_cast<const char*>(buffer), length));
    if (self->failed_.ok()) return static_cast<la_ssize_t>(length);
    archive_set_error(a, EIO, "%s", self->failed_.message().c_str());
    return -1;
  }
  Status Failed() {
    if (!failed_.ok()) return failed_;
    const char* error = archive_error_string(archive_);
    return Status::PathError(path_, "the archive could not be written (" +
                                        std::string(error != nullptr ? error : "unknown error") + ").");
  }

  FileWriter& file_;
  const std::string path_;
  archive* archive_;
  Status failed_;
};

// A package to export: its folder name under mods and its entries.
struct ExportPackage {
  std::string folder;
  std::vector<PackageEntry> entries;
};

// Writes `package` below "mods/FOLDER" and sets `*fingerprint` to the
// ContentFingerprint of the bytes written. Status::Cancelled when
// `progress` says so.
Status WritePackage(Platform& platform, ZipWriter& zip, const std::string& modsFolder,
                    const ExportPackage& package, Progress* progress, std::string* fingerprint) {
  const std::string folder = modsFolder + "/" + package.folder;
  const std::string top = "mods/" + package.folder;
  FileInfo info;
  platform.Stat(folder, &info);
  Status status = zip.Header(top, true, 0, info.modified);
  ContentFingerprint content;
  std::string block;
  for (const PackageEntry& entry : package.entries) {
    if (status.ok()) status = zip.Header(top + "/" + entry.relative, entry.folder, entry.size, entry.modified);
    if (!status.ok()) return status;
    if (entry.folder) continue;
    const std::string from = folder + "/" + entry.relative;
    BytesHash hash;
    for (uint64_t offset = 0; offset < entry.size; offset += block.size()) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kReadBlock, entry.size - offset));
      status = platform.ReadAt(from, offset, want, &block);
      if (status.ok() && block.empty()) status = Status::PathError(from, "became shorter while it was packed.");
      if (status.ok()) status = zip.Data(block);
      if (!status.ok()) return status;
      hash.Add(block);
      if (progress != nullptr && !progress->Advance(block.size())) return Status::Cancelled();
    }
    content.AddFile(entry.relative, entry.size, hash.Digest());
  }
  *fingerprint = content.Hex();
  return Status::Ok();
}

}  // namespace

std::string RosterManifestText(const RosterManifest& manifest) {
  std::string text =
      "# Korva Quorin ZID roster archive: the roster rosters/NAME.txt and each package it\n"
      "# names, as mods/FOLDER, with the fingerprint of the package's files.\n"
      "format=" + std::to_string(kRosterArchiveFormat) + "\nroster=" + manifest.roster + "\n";
  for (const RosterManifest::Package& package : manifest.packages) {
    text += "package=" + package.fingerprint + " " + package.folder + "\n";
  }
  return text;
}

std::string WhyNotSharedPackageName(const std::string& folder) {
  if (folder.empty()) return "is empty";
  const std::string why = WhyNotPackageName(folder);
  if (!why.empty()) return why;
  if (folder[0] == '.') return "begins with a dot";
  return "";
}

Status ParseRosterManifest(std::string_view bytes, RosterManifest* manifest) {
  *manifest = RosterManifest();
  if (bytes.size() > kManifestLimit) return Status::Error("is larger than 64 KiB");
  const std::vector<std::string> lines = SplitTextLines(bytes);
  bool formatSeen = false, rosterSeen = false;
  std::set<std::string> folders;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string line = Trimmed(lines[i]);
    if (line.empty() || line[0] == '#') continue;
    const std::string where = "line " + std::to_string(i + 1) + ": ";
    const size_t equals = line.find('=');
    const std::string key = Trimmed(line.substr(0, equals));
    const std::string value = equals == std::string::npos ? "" : Trimmed(line.substr(equals + 1));
    if (key == "format" && !formatSeen) {
      formatSeen = true;
      if (value != std::to_string(kRosterArchiveFormat)) {
        return Status::Error("is of format " + Quoted(value) + "; this version of the program reads format " +
                             std::to_string(kRosterArchiveFormat) + " (a newer version made it?)");
      }
    } else if (key == "roster" && !rosterSeen) {
      rosterSeen = true;
      const std::string why = WhyNotRosterName(value);
      if (!why.empty()) return Status::Error("names the roster " + Quoted(value) + ", which " + why);
      manifest->roster = value;
    } else if (key == "package") {
      const size_t space = value.find(' ');
      const std::string fingerprint = value.substr(0, space);
      const std::string folder = space == std::string::npos ? "" : Trimmed(value.substr(space + 1));
      if (!IsFingerprint(fingerprint)) {
        return Status::Error(where + Quoted(line) + " is not of the form package=FINGERPRINT FOLDER");
      }
      const std::string why = WhyNotSharedPackageName(folder);
      if (!why.empty()) return Status::Error("names the package " + Quoted(folder) + ", which " + why);
      if (!folders.insert(FoldedName(folder)).second) {
        return Status::Error("names the package " + Quoted(folder) + " twice");
      }
      manifest->packages.push_back({folder, fingerprint});
    } else {
      return Status::Error(where + Quoted(line) + " is not a line of a roster archive's manifest");
    }
  }
  if (!formatSeen) return Status::Error("has no format line");
  if (!rosterSeen) return Status::Error("names no roster");
  return Status::Ok();
}

Status ExportRoster(Platform& platform, const std::string& modsFolder, const std::string& rostersFolder,
                    const std::string& name, const std::string& path, bool replace, Progress* progress,
                    RosterExport* report) {
  *report = RosterExport();
  const std::string rosterPath = rostersFolder + "/" + name + ".txt";
  if (!WhyNotRosterName(name).empty() || !platform.CanRead(rosterPath)) {
    return Status::Error("There is no roster " + Quoted(name) + " (no file " + rosterPath + ").");
  }
  std::string rosterBytes;
  Roster roster;
  Status read = platform.ReadFile(rosterPath, 64 * kKiB, &rosterBytes);
  if (read.ok()) read = ParseRosterText(rosterBytes, rosterPath, &roster);
  if (!read.ok()) return read;

  // Each package once, in place order, with its entries.
  std::vector<ExportPackage> packages;
  std::set<std::string> seen;
  uint64_t entryCount = 2;
  for (size_t i = 0; i < roster.packages.size(); ++i) {
    const std::string& folder = roster.packages[i];
    if (folder.empty() || !seen.insert(FoldedName(folder)).second) continue;
    const std::string place = "Place " + std::to_string(i + 1) + ", " + folder + ": ";
    const std::string why = WhyNotSharedPackageName(folder);
    if (!why.empty()) return Status::Error(place + "the folder name " + why + ".");
    const std::string full = modsFolder + "/" + folder;
    if (platform.IsLink(full) || !platform.IsFolder(full) || !platform.CanRead(full + "/modfile.ini")) {
      return Status::Error(place + "there is no such mod package (" + full +
                           " is missing or holds no modfile.ini).");
    }
    ExportPackage package{folder, {}};
    Status listed = ListPackage(platform, full, &package.entries);
    if (!listed.ok()) return Status::Error(place + listed.message() + ".");
    for (const PackageEntry& entry : package.entries) report->bytes += entry.size;
    report->files += package.entries.size();
    entryCount += package.entries.size() + 1;
    packages.push_back(std::move(package));
  }
  if (report->bytes > kImportMaxBytes || entryCount > kImportMaxEntries) {
    return Status::Error("Its packages hold " + std::to_string(entryCount) + " files and folders, " +
                         std::to_string(report->bytes >> 20) + " MB in all: more than an import takes (" +
                         std::to_string(kImportMaxEntries) + " entries, 2 GiB).");
  }
  report->packages = packages.size();
  if (platform.IsFolder(path)) return Status::PathError(path, "is a folder.");
  if (platform.Exists(path) && !replace) {
    return Status::PathError(path, "there is a file of that name already; choose another name, or "
                                   "replace it (on the command line: --replace).");
  }

  // Written under a temporary name, flushed, then renamed.
  const std::string temp = path + "_temp";
  if (platform.Exists(temp) && !platform.IsFolder(temp)) platform.RemoveOwnFile(temp);
  if (progress != nullptr) progress->Stage("Packing " + BaseName(path), report->bytes);
  RosterManifest manifest;
  manifest.roster = name;
  FileInfo rosterInfo;
  platform.Stat(rosterPath, &rosterInfo);
  Status written = platform.WriteNewFile(temp, [&](FileWriter& file) -> Status {
    ZipWriter zip(file, temp);
    Status status = zip.Open();
    if (status.ok()) status = zip.Header("rosters/" + name + ".txt", false, rosterBytes.size(), rosterInfo.modified);
    if (status.ok()) status = zip.Data(rosterBytes);
    for (const ExportPackage& package : packages) {
      std::string fingerprint;
      if (status.ok()) status = WritePackage(platform, zip, modsFolder, package, progress, &fingerprint);
      if (!status.ok()) return status;
      manifest.packages.push_back({package.folder, fingerprint});
    }
    const std::string manifestText = ToTextMode(RosterManifestText(manifest));
    if (status.ok()) status = zip.Header(kRosterManifestName, false, manifestText.size(), rosterInfo.modified);
    if (status.ok()) status = zip.Data(manifestText);
    if (status.ok()) status = zip.Close();
    return status;
  });
  if (!written.ok()) {
    if (platform.Exists(temp)) platform.RemoveOwnFile(temp);
    return written;
  }
  FileInfo archiveInfo;
  if (platform.Stat(temp, &archiveInfo).ok()) report->archive_bytes = archiveInfo.size;
  Status placed = platform.Exists(path) ? platform.RenameOver(temp, path) : platform.Rename(temp, path);
  if (!placed.ok()) {
    platform.RemoveOwnFile(temp);
    return placed;
  }
  const std::string parent = ParentFolder(path);
  platform.SyncFolder(parent.empty() ? "." : parent);
  return Status::Ok();
}

}  // namespace korva
