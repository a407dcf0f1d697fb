#include "tests/support/test_archives.h"

#include <archive.h>
#include <archive_entry.h>

#include <fstream>
#include <stdexcept>

namespace korva {
namespace {

void Fail(const std::string& path, const std::string& what, archive* out) {
  std::string error = out != nullptr && archive_error_string(out) ? archive_error_string(out) : "";
  if (out != nullptr) archive_write_free(out);
  throw std::runtime_error("cannot write " + what + " into " + path + ": " + error);
}

void WriteWithLibarchive(const std::string& path, const std::string& format, size_t count,
                         const std::function<TestEntry(size_t)>& make) {
  archive* out = archive_write_new();
  if (format == "zip" || format == "zip-store") {
    archive_write_set_format_zip(out);
    if (format == "zip-store") archive_write_zip_set_compression_store(out);
  } else if (format == "7z") {
    archive_write_set_format_7zip(out);
  } else {
    archive_write_set_format_pax_restricted(out);
    if (format == "tar.gz") archive_write_add_filter_gzip(out);
    if (format == "tar.bz2") archive_write_add_filter_bzip2(out);
    if (format == "tar.xz") archive_write_add_filter_xz(out);
  }
  if (archive_write_open_filename(out, path.c_str()) != ARCHIVE_OK) Fail(path, "anything", out);
  const std::string zeros(1 << 20, '\0');
  for (size_t i = 0; i < count; ++i) {
    const TestEntry e = make(i);
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, e.name.c_str());
    archive_entry_set_perm(entry, e.kind == TestEntry::kFolder ? 0755 : 0644);
    archive_entry_set_mtime(entry, 1700000000, 0);
    const uint64_t size = e.zeros > 0 ? e.zeros : e.bytes.size();
    switch (e.kind) {
      case TestEntry::kFile:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_size(entry, static_cast<la_int64_t>(size));
        break;
      case TestEntry::kFolder:
        archive_entry_set_filetype(entry, AE_IFDIR);
        break;
      case TestEntry::kSymlink:
        archive_entry_set_filetype(entry, AE_IFLNK);
        archive_entry_set_symlink(entry, e.link.c_str());
        break;
      case TestEntry::kHardlink:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_hardlink(entry, e.link.c_str());
        break;
      case TestEntry::kDevice:
        archive_entry_set_filetype(entry, AE_IFCHR);
        archive_entry_set_rdev(entry, 0x0103);
        break;
    }
    bool written = archive_write_header(out, entry) == ARCHIVE_OK;
    if (written && e.kind == TestEntry::kFile) {
      if (e.zeros > 0) {
        for (uint64_t left = e.zeros; written && left > 0;) {
          size_t n = static_cast<size_t>(std::min<uint64_t>(left, zeros.size()));
          written = archive_write_data(out, zeros.data(), n) == static_cast<la_ssize_t>(n);
          left -= n;
        }
      } else if (!e.bytes.empty()) {
        written = archive_write_data(out, e.bytes.data(), e.bytes.size()) ==
                  static_cast<la_ssize_t>(e.bytes.size());
      }
    }
    archive_entry_free(entry);
    if (!written) Fail(path, e.name, out);
  }
  if (archive_write_close(out) != ARCHIVE_OK) Fail(path, "the end", out);
  archive_write_free(out);
}

// The CRC32 of zip and RAR (polynomial 0xEDB88320), bit by bit.
uint32_t Crc(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutLE(std::string* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// RAR 5's variable-length integer: 7 bits a byte, low bits first.
void PutVint(std::string* out, uint64_t value) {
  do {
    unsigned char byte = value & 0x7F;
    value >>= 7;
    if (value != 0) byte |= 0x80;
    out->push_back(static_cast<char>(byte));
  } while (value != 0);
}

std::string Contents(const TestEntry& e) { return e.zeros > 0 ? std::string(e.zeros, '\0') : e.bytes; }

// RAR 5: signature, main header, one file header (with its data) per
// entry, end header. Each header is its CRC32, its size and its fields.
std::string Rar5(const std::vector<TestEntry>& entries) {
  auto block = [](const std::string& fields) {
    std::string sized;
    PutVint(&sized, fields.size());
    sized += fields;
    std::string out;
    PutLE(&out, Crc(sized), 4);
    return out + sized;
  };
  std::string out("Rar!\x1A\x07\x01\x00", 8);
  std::string main;
  PutVint(&main, 1);  // main archive header
  PutVint(&main, 0);  // header flags
  PutVint(&main, 0);  // archive flags
  out += block(main);
  for (const TestEntry& e : entries) {
    const bool folder = e.kind == TestEntry::kFolder;
    const std::string data = folder ? "" : Contents(e);
    std::string fields;
    PutVint(&fields, 2);                 // file header
    PutVint(&fields, folder ? 0 : 2);    // header flags: data area follows
    if (!folder) PutVint(&fields, data.size());
    PutVint(&fields, folder ? 1 : 4);    // file flags: folder, or data CRC32 present
    PutVint(&fields, data.size());       // unpacked size
    PutVint(&fields, folder ? 040755 : 0100644);  // Unix mode
    if (!folder) PutLE(&fields, Crc(data), 4);
    PutVint(&fields, 0);                 // version 0, not solid, stored
    PutVint(&fields, 1);                 // made on Unix
    PutVint(&fields, e.name.size());
    fields += e.name;
    out += block(fields) + data;
  }
  std::string end;
  PutVint(&end, 5);  // end of archive
  PutVint(&end, 0);
  PutVint(&end, 0);
  return out + block(end);
}

// RAR 4 (the format of RAR 2.9 to 4): marker, archive header, one file
// header (with its data) per entry, end block. Each header starts with the
// low 16 bits of the CRC32 of the rest of it.
std::string Rar4(const std::vector<TestEntry>& entries) {
  auto block = [](const std::string& rest) {
    std::string out;
    PutLE(&out, Crc(rest) & 0xFFFF, 2);
    return out + rest;
  };
  std::string out("Rar!\x1A\x07\x00", 7);
  std::string main;
  PutLE(&main, 0x73, 1);  // archive header
  PutLE(&main, 0, 2);     // flags
  PutLE(&main, 13, 2);    // size
  PutLE(&main, 0, 6);     // reserved
  out += block(main);
  for (const TestEntry& e : entries) {
    const bool folder = e.kind == TestEntry::kFolder;
    const std::string data = folder ? "" : Contents(e);
    std::string rest;
    PutLE(&rest, 0x74, 1);                           // file header
    PutLE(&rest, folder ? 0x80E0 : 0x8000, 2);       // data follows; E0: a folder
    PutLE(&rest, 32 + e.name.size(), 2);             // header size
    PutLE(&rest, data.size(), 4);                    // packed size
    PutLE(&rest, data.size(), 4);                    // unpacked size
    PutLE(&rest, 3, 1);                              // made on Unix
    PutLE(&rest, Crc(data), 4);
    PutLE(&rest, (2023u - 1980u) << 25 | 1u << 21 | 1u << 16, 4);  // 2023-01-01, DOS time
    PutLE(&rest, 29, 1);                             // version needed: 2.9
    PutLE(&rest, 0x30, 1);                           // stored
    PutLE(&rest, e.name.size(), 2);
    PutLE(&rest, folder ? 040755 : 0100644, 4);      // Unix mode
    rest += e.name;
    out += block(rest) + data;
  }
  std::string end;
  PutLE(&end, 0x7B, 1);
  PutLE(&end, 0x4000, 2);
  PutLE(&end, 7, 2);
  return out + block(end);
}

}  // namespace

TestEntry File(const std::string& name, const std::string& bytes) {
  TestEntry entry;
  entry.name = name;
  entry.bytes = bytes;
  return entry;
}

void WriteTestArchive(const std::string& path, const std::string& format,
                      const std::vector<TestEntry>& entries) {
  if (format != "rar4" && format != "rar5") {
    return WriteTestArchive(path, format, entries.size(), [&](size_t i) { return entries[i]; });
  }
  for (const TestEntry& e : entries) {
    if (e.kind != TestEntry::kFile && e.kind != TestEntry::kFolder) {
      throw std::runtime_error(e.name + ": a RAR of the tests holds files and folders only");
    }
  }
  std::ofstream out(path, std::ios::binary);
  out << (format == "rar4" ? Rar4(entries) : Rar5(entries));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

void WriteTestArchive(const std::string& path, const std::string& format, size_t count,
                      const std::function<TestEntry(size_t)>& make) {
  WriteWithLibarchive(path, format, count, make);
}

std::string NoiseBytes(size_t count, uint32_t seed) {
  std::string bytes(count, '\0');
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < count; ++i) {
    // xorshift64*: fast, and deflate finds nothing to shorten in it.
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    bytes[i] = static_cast<char>((state * 0x2545F4914F6CDD1Dull) >> 56);
  }
  return bytes;
}

}  // namespace korva
