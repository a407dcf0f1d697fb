#include "gamedata/managed_files.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>

#include "gamedata/backups.h"
#include "platform/read_limits.h"
#include "platform/split_line.h"
#include "platform/text_file.h"
#include "slots/slot_scan.h"
#include "textfiles/collection_list.h"

namespace korva {
namespace {

// The largest managed file: the icon page.
constexpr uint64_t kManagedFileLimit = kIconPageLimit;

int64_t ParseNumber(const std::string& text) {
  if (text.empty() || text.size() > 19) return -1;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The character project files of the slot kinds, with their table's kind.
struct ProjectFile {
  const char* path;
  SlotKind kind;
  bool records;  // also holds the character records
};
constexpr ProjectFile kProjectFiles[] = {
    {"/chars/quorin_pawnik.cpj", SlotKind::C, true},
    {"/chars/mods_pawnik.cpj", SlotKind::A, false},
    {"/chars/mods_faces.cpj", SlotKind::F, false},
    {"/chars/mods_misc.cpj", SlotKind::M, false},
};

// Whether `game` equals `prepared` outside the slot fields of `kind` (at the
// positions the prepared file's table gives) and, for the character file,
// the two name fields of each character record.
bool SameOutsideFields(const std::string& game, const std::string& prepared,
                       const ProjectFile& file) {
  if (game.size() != prepared.size()) return false;
  std::vector<bool> field(prepared.size(), false);
  auto mark = [&field](size_t from, size_t size) {
    for (size_t i = from; i < from + size && i < field.size(); ++i) field[i] = true;
  };
  SlotTable table;
  ReadSlotTable(file.kind, prepared, file.path, &table);
  for (const SlotEntry& entry : table.entries) {
    mark(static_cast<size_t>(entry.pathOffset), static_cast<size_t>(entry.pathLength));
    mark(static_cast<size_t>(entry.nameOffset), static_cast<size_t>(entry.nameLength));
  }
  if (file.records) {
    for (int i = 0; i < kPlaceCount; ++i) {
      size_t record = static_cast<size_t>(kRecordTableStart + kRecordSize * i);
      mark(record, kFirstNameSize);
      mark(record + kSecondNameOffset, kSecondNameSize);
    }
  }
  for (size_t i = 0; i < game.size(); ++i) {
    if (!field[i] && game[i] != prepared[i]) return false;
  }
  return true;
}

uint32_t Little32(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

}  // namespace

const std::vector<std::string>& ManagedGameFiles() {
  static const std::vector<std::string> kFiles = [] {
    std::vector<std::string> files;
    for (const GameFile& file : BackedUpGameFiles()) {
      // A moved game file is only renamed back by a revert, never written.
      if (file.kind != GameFileKind::kMove) files.push_back(file.path);
    }
    files.push_back(kCollectionList);
    return files;
  }();
  return kFiles;
}

std::string RecordPath(const std::string& gameFolder) { return gameFolder + "/chars/mod_record"; }

std::string ContentHash(std::string_view bytes) {
  XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
  char text[33];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                static_cast<unsigned long long>(hash.low64));
  return text;
}

Status ManagedRecord::Load(Platform& platform, const std::string& gameFolder) {
  entries_.clear();
  exists_ = false;
  const std::string path = RecordPath(gameFolder);
  if (!platform.Exists(path)) return Status::Ok();
  std::vector<std::string> lines;
  Status read = ReadTextLines(platform, path, kRecordFileLimit, &lines);
  if (!read.ok()) return read;
  exists_ = true;
  for (const std::string& line : lines) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    if (fields.size() != 4) continue;
    int64_t size = ParseNumber(fields[1]), modified = ParseNumber(fields[2]);
    if (size < 0 || modified < 0 || fields[3].size() != 32) continue;
    entries_[fields[0]] = {static_cast<uint64_t>(size), modified, fields[3]};
  }
  return Status::Ok();
}

std::vector<ChangedFile> ManagedRecord::Changed(Platform& platform, const std::string& gameFolder) {
  std::vector<ChangedFile> changed;
  for (auto it = entries_.begin(); it != entries_.end();) {
    const std::string& path = it->first;
    Entry& entry = it->second;
    FileInfo info;
    if (!platform.Stat(gameFolder + path, &info).ok()) {
      // A missing file is not written into: the start-up puts a prepared
      // file back in its place, and the record takes it then.
      it = entries_.erase(it);
      continue;
    }
    ++it;
    if (!info.regular) {
      changed.push_back({path, "not a file"});
      continue;
    }
    if (info.size == entry.size && info.modified == entry.modified) continue;
    std::string bytes;
    if (info.size != entry.size ||
        !platform.ReadFile(gameFolder + path, kManagedFileLimit, &bytes).ok() ||
        ContentHash(bytes) != entry.hash) {
      // The game's own bytes, as the backup holds them: put back, not updated.
      bool restored = false;
      const std::string backup = gameFolder + path + "_bak";
      if (platform.CanRead(backup)) SameBytes(platform, gameFolder + path, backup, &restored);
      changed.push_back({path, restored ? kRestoredReason : kChangedReason});
      continue;
    }
    entry.modified = info.modified;
  }
  return changed;
}

Status ManagedRecord::Take(Platform& platform, const std::string& gameFolder,
                           const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    FileInfo info;
    // What is not a file (missing, a folder) has nothing to record.
    if (!platform.Stat(gameFolder + path, &info).ok() || !info.regular) {
      entries_.erase(path);
      continue;
    }
    std::string bytes;
    Status read = platform.ReadFile(gameFolder + path, kManagedFileLimit, &bytes);
    if (!read.ok()) return read;
    entries_[path] = {bytes.size(), info.modified, ContentHash(bytes)};
  }
  return Status::Ok();
}

Status ManagedRecord::Save(Platform& platform, const std::string& gameFolder) const {
  std::string text;
  for (const auto& [path, entry] : entries_) {
    text += path + "\t" + std::to_string(entry.size) + "\t" + std::to_string(entry.modified) +
            "\t" + entry.hash + "\n";
  }
  return ReplaceText(platform, RecordPath(gameFolder), text);
}

std::vector<ChangedFile> CheckPreparedLayout(Platform& platform, const std::string& gameFolder,
                                             const std::string& programFolder) {
  std::vector<ChangedFile> failing;
  for (const ProjectFile& file : kProjectFiles) {
    std::string game, prepared;
    if (!platform.Exists(gameFolder + file.path)) continue;  // nothing there to write into
    Status read = platform.ReadFile(gameFolder + file.path, kProjectFileLimit, &game);
    if (read.ok()) read = platform.ReadFile(programFolder + "/data" + BaseName(file.path).insert(0, "/"),
                                            kProjectFileLimit, &prepared);
    if (!read.ok()) {
      failing.push_back({file.path, "cannot be compared with the prepared file (" +
                                        read.message() + ")"});
    } else if (!SameOutsideFields(game, prepared, file)) {
      failing.push_back({file.path, "does not hold the prepared character tables"});
    }
  }
  const std::string page = "/stuff/icons/icontpage_nxg.tex";
  std::string head;
  if (platform.Exists(gameFolder + page)) {
    bool dds = platform.ReadAt(gameFolder + page, 0, 20, &head).ok() && head.size() == 20 &&
               head.compare(0, 4, "DDS ") == 0;
    if (!dds || Little32(head, 12) < 3584 || Little32(head, 16) < 1280) {
      failing.push_back({page, "is not a DDS page of at least 1280 x 3584 pixels"});
    }
  }
  return failing;
}

namespace {

std::string Folded(const std::string& path) {
  std::string folded = path;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c == '\\') c = '/';
  }
  if (folded.compare(0, 2, "./") == 0) folded.erase(0, 1);
  if (folded.empty() || folded[0] != '/') folded.insert(0, "/");
  return folded;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

bool IsProgramPath(const std::string& relative) {
  // Each name with whatever follows it: its temporary names too, and
  // everything below the journal's folder.
  static const char* const kPrefixes[] = {
      "/quickbms.exe", "/vantrel.bms", "/stuff/icons/crunch.exe",
      "/stuff/icons/icontpage_nxg.dds", "/stuff/icons/icontpage_nxg.tga",
      "/stuff/icons/icontpage_nxg_t.tga", "/chars/iconmap", "/chars/slots_char_",
      "/chars/mod_char_", "/chars/mod_layers", "/chars/mod_record", "/mod_journal"};
  const std::string path = Folded(relative);
  for (const char* prefix : kPrefixes) {
    if (StartsWith(path, prefix)) return true;
  }
  return false;
}

bool IsManagedOrBackupPath(const std::string& relative) {
  const std::string path = Folded(relative);
  auto matches = [&path](const std::string& file) {
    const std::string folded = Folded(file);
    return path == folded || path == folded + "_bak" || path == folded + "_temp" ||
           path == folded + "_bak_temp";
  };
  for (const std::string& file : ManagedGameFiles()) {
    if (matches(file)) return true;
  }
  for (const GameFile& file : BackedUpGameFiles()) {
    if (matches(file.path)) return true;
  }
  return false;
}

bool WasPrepared(Platform& platform, const std::string& gameFolder) {
  return platform.Exists(gameFolder + kCharacterFile + std::string(kBackupSuffix));
}

}  // namespace korva
