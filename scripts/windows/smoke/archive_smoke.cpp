// libarchive: writes a zip, a 7z, a tar.xz, a tar.gz and a tar.bz2 in memory,
// reads each back through the generic reader (format and filter detected
// from the bytes), and reads RAR 4 and RAR 5 samples from libarchive's own
// tests (uuencoded, so the uu filter is exercised too).
#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "rar_samples.h"  // generated: kRar4Sample, kRar5Sample

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAIL: %s\n", what.c_str());
    ++failures;
  }
}

// archive_error_string() is null when there is no error.
std::string Error(archive* a) {
  const char* message = archive_error_string(a);
  return message ? message : "no error message";
}

struct Entry {
  std::string name;
  std::string data;
};

// A payload that compresses well but is not trivial.
std::string Payload(int seed) {
  std::string text;
  for (int i = 0; i < 4000; ++i) text += static_cast<char>('a' + (i * seed + i / 7) % 26);
  return text;
}

std::vector<char> Write(int format, int filter, const std::vector<Entry>& entries) {
  std::vector<char> out(1 << 20);
  size_t used = 0;
  archive* a = archive_write_new();
  Check(archive_write_set_format(a, format) == ARCHIVE_OK, "set format");
  if (filter != ARCHIVE_FILTER_NONE) {
    Check(archive_write_add_filter(a, filter) == ARCHIVE_OK,
          std::string("add filter ") + std::to_string(filter) + ": " + Error(a));
  }
  Check(archive_write_open_memory(a, out.data(), out.size(), &used) == ARCHIVE_OK, "open memory");
  for (const Entry& e : entries) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, e.name.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, static_cast<la_int64_t>(e.data.size()));
    archive_entry_set_mtime(entry, 1700000000, 0);
    Check(archive_write_header(a, entry) == ARCHIVE_OK, "write header " + e.name);
    Check(archive_write_data(a, e.data.data(), e.data.size()) == static_cast<la_ssize_t>(e.data.size()),
          "write data " + e.name);
    archive_entry_free(entry);
  }
  Check(archive_write_close(a) == ARCHIVE_OK, std::string("close: ") + Error(a));
  archive_write_free(a);
  out.resize(used);
  return out;
}

// Reads every entry; also reports the detected format and first filter.
std::vector<Entry> Read(const void* data, size_t size, std::string* format, int* filter) {
  std::vector<Entry> entries;
  archive* a = archive_read_new();
  archive_read_support_filter_all(a);
  archive_read_support_format_all(a);
  if (archive_read_open_memory(a, data, size) != ARCHIVE_OK) {
    Check(false, std::string("open for reading: ") + Error(a));
    archive_read_free(a);
    return entries;
  }
  archive_entry* entry;
  int status;
  while ((status = archive_read_next_header(a, &entry)) == ARCHIVE_OK) {
    Entry e{archive_entry_pathname(entry), {}};
    char buffer[1024];
    la_ssize_t n;
    while ((n = archive_read_data(a, buffer, sizeof buffer)) > 0) e.data.append(buffer, static_cast<size_t>(n));
    Check(n == 0, "read data of " + e.name + ": " + (n < 0 ? Error(a) : std::string()));
    entries.push_back(e);
  }
  Check(status == ARCHIVE_EOF, std::string("read to the end: ") + (status == ARCHIVE_EOF ? std::string() : Error(a)));
  *format = archive_format_name(a) ? archive_format_name(a) : "";
  *filter = archive_filter_code(a, 0);
  archive_read_free(a);
  return entries;
}

void RoundTrip(const char* label, int format, int filter, const char* expectFormat) {
  std::vector<Entry> entries = {{"textures/first.tga", Payload(3)}, {"readme.txt", "Hello from " + std::string(label)}};
  std::vector<char> bytes = Write(format, filter, entries);
  std::string detected;
  int detectedFilter = -1;
  std::vector<Entry> back = Read(bytes.data(), bytes.size(), &detected, &detectedFilter);
  Check(detected.find(expectFormat) != std::string::npos,
        std::string(label) + ": format " + detected + ", expected " + expectFormat);
  Check(detectedFilter == filter, std::string(label) + ": filter " + std::to_string(detectedFilter));
  Check(back.size() == entries.size(), std::string(label) + ": entry count");
  for (size_t i = 0; i < back.size() && i < entries.size(); ++i) {
    Check(back[i].name == entries[i].name, std::string(label) + ": name " + back[i].name);
    Check(back[i].data == entries[i].data, std::string(label) + ": data of " + back[i].name);
  }
  std::printf("%s: %zu bytes, %zu entries, format '%s'\n", label, bytes.size(), back.size(), detected.c_str());
}

}  // namespace

int main() {
  std::printf("%s\n", archive_version_details());
  RoundTrip("zip", ARCHIVE_FORMAT_ZIP, ARCHIVE_FILTER_NONE, "ZIP");
  RoundTrip("7z", ARCHIVE_FORMAT_7ZIP, ARCHIVE_FILTER_NONE, "7-Zip");
  RoundTrip("tar.xz", ARCHIVE_FORMAT_TAR_PAX_RESTRICTED, ARCHIVE_FILTER_XZ, "tar");
  RoundTrip("tar.gz", ARCHIVE_FORMAT_TAR_PAX_RESTRICTED, ARCHIVE_FILTER_GZIP, "tar");
  RoundTrip("tar.bz2", ARCHIVE_FORMAT_TAR_PAX_RESTRICTED, ARCHIVE_FILTER_BZIP2, "tar");

  std::string format;
  int filter;
  std::vector<Entry> rar4 = Read(kRar4Sample, std::strlen(kRar4Sample), &format, &filter);
  Check(format == "RAR", "rar4 format " + format);
  Check(!rar4.empty() && rar4[0].name == "test.txt" && rar4[0].data == "test text document\r\n",
        "rar4 first entry");
  std::printf("rar: %zu entries, format '%s'\n", rar4.size(), format.c_str());

  std::vector<Entry> rar5 = Read(kRar5Sample, std::strlen(kRar5Sample), &format, &filter);
  Check(format == "RAR5", "rar5 format " + format);
  bool rar5Ok = rar5.size() == 1 && rar5[0].name == "test.bin" && rar5[0].data.size() == 1200;
  // libarchive's test data: int32 values max(0, k*k - 3k + 1) for k = 1..300,
  // little endian.
  for (int k = 1; rar5Ok && k <= 300; ++k) {
    int32_t value;
    std::memcpy(&value, rar5[0].data.data() + (k - 1) * 4, 4);
    rar5Ok = value == std::max(0, k * k - 3 * k + 1);
  }
  Check(rar5Ok, "rar5 entry test.bin");
  std::printf("rar5: %zu entries, format '%s'\n", rar5.size(), format.c_str());

  std::printf("%s\n", failures ? "archive smoke test FAILED" : "archive smoke test passed");
  return failures ? 1 : 0;
}
