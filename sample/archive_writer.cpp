#include "sample/archive_writer.h"

#include <archive.h>
#include <archive_entry.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace korva {
namespace {

// libarchive writes through this into a file opened by its UTF-8 name, on
// every system.
la_ssize_t WriteToFile(archive*, void* data, const void* buffer, size_t length) {
  auto* file = static_cast<std::ofstream*>(data);
  file->write(static_cast<const char*>(buffer), static_cast<std::streamsize>(length));
  return *file ? static_cast<la_ssize_t>(length) : -1;
}

}  // namespace

void WriteArchive(const std::string& path, const std::string& format,
                  const std::vector<ArchiveEntry>& entries) {
  archive* out = archive_write_new();
  if (format == "zip") {
    archive_write_set_format_zip(out);
  } else {
    archive_write_set_format_pax_restricted(out);
    if (format == "tar.gz") archive_write_add_filter_gzip(out);
  }
  std::ofstream file(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  // As for a file opened by name: the last block is not padded.
  archive_write_set_bytes_in_last_block(out, 1);
  if (!file || archive_write_open(out, &file, nullptr, WriteToFile, nullptr) != ARCHIVE_OK) {
    archive_write_free(out);
    throw std::runtime_error("cannot write " + path);
  }
  for (const ArchiveEntry& e : entries) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, e.name.c_str());
    archive_entry_set_perm(entry, e.kind == ArchiveEntry::kFolder ? 0755 : 0644);
    archive_entry_set_mtime(entry, 1700000000, 0);
    switch (e.kind) {
      case ArchiveEntry::kFile:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_size(entry, static_cast<la_int64_t>(e.bytes.size()));
        break;
      case ArchiveEntry::kFolder:
        archive_entry_set_filetype(entry, AE_IFDIR);
        break;
      case ArchiveEntry::kSymlink:
        archive_entry_set_filetype(entry, AE_IFLNK);
        archive_entry_set_symlink(entry, e.link.c_str());
        break;
      case ArchiveEntry::kHardlink:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_hardlink(entry, e.link.c_str());
        break;
    }
    bool written = archive_write_header(out, entry) == ARCHIVE_OK;
    if (written && e.kind == ArchiveEntry::kFile && !e.bytes.empty()) {
      written = archive_write_data(out, e.bytes.data(), e.bytes.size()) ==
                static_cast<la_ssize_t>(e.bytes.size());
    }
    archive_entry_free(entry);
    if (!written) {
      std::string error = archive_error_string(out) ? archive_error_string(out) : "?";
      archive_write_free(out);
      throw std::runtime_error("cannot write " + e.name + " into " + path + ": " + error);
    }
  }
  bool closed = archive_write_close(out) == ARCHIVE_OK;
  archive_write_free(out);
  file.close();
  if (!closed || !file) throw std::runtime_error("cannot finish " + path);
}

}  // namespace korva
