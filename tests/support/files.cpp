#include "tests/support/files.h"

#include "sample/sample_game.h"

#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace korva {

TempFolder::TempFolder() {
  // A fresh random name, made with create_directory, which fails rather
  // than take a folder that exists.
  static std::mt19937_64 random{std::random_device{}()};
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "korva-test-%012llx",
                  static_cast<unsigned long long>(random() & 0xffffffffffffULL));
    fs::path folder = base / name;
    std::error_code error;
    if (fs::create_directory(folder, error)) {
      path_ = folder.generic_u8string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder in " + base.u8string());
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::permissions(fs::u8path(path_), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(fs::u8path(path_), ignored);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  fs::path p = fs::u8path(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
  const fs::path p = fs::u8path(path);
  std::ifstream in(p, std::ios::binary);
  if (!in || fs::is_directory(p)) return "<missing>";
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string ReadOutput(const std::string& path) {
  std::string text = ReadBytes(path);
  std::string lf;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lf += text[i];
  }
  return lf;
}

bool FileExists(const std::string& path) { return fs::is_regular_file(fs::u8path(path)); }

namespace {

// "path TAB size TAB time TAB hash" lines with the time left out.
std::string WithoutTimes(const std::string& record) {
  std::string out;
  std::istringstream lines(record);
  for (std::string line; std::getline(lines, line);) {
    size_t second = line.find('\t', line.find('\t') + 1);
    size_t third = second == std::string::npos ? second : line.find('\t', second + 1);
    if (third != std::string::npos) line.erase(second, third - second);
    out += line + "\n";
  }
  return out;
}

}  // namespace

std::string SnapshotDiff(const std::map<std::string, std::string>& expected,
                         const std::map<std::string, std::string>& actual) {
  auto view = [](const std::map<std::string, std::string>& files, const std::string& path) {
    auto found = files.find(path);
    if (found == files.end()) return std::string("<none>");
    const std::string& bytes = found->second;
    return bytes.size() <= 40 ? "\"" + bytes + "\""
                              : std::to_string(bytes.size()) + " bytes \"" + bytes.substr(0, 24) + "...\"";
  };
  std::set<std::string> paths;
  for (const auto& [path, bytes] : expected) paths.insert(path);
  for (const auto& [path, bytes] : actual) paths.insert(path);
  std::string text;
  for (const std::string& path : paths) {
    auto a = expected.find(path), b = actual.find(path);
    if (a != expected.end() && b != actual.end() && a->second == b->second) continue;
    text += path + ": expected " + view(expected, path) + ", found " + view(actual, path) + "\n";
  }
  return text;
}

std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  const fs::path root = fs::u8path(folder);
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string relative = entry.path().lexically_relative(root).generic_u8string();
    // A pipe or a link to a device is never read: it could block or not end.
    files[relative] = entry.is_directory()      ? "<folder>"
                      : entry.is_regular_file() ? ReadBytes(entry.path().u8string())
                                                : "<not a file>";
    if (entry.path().filename() == "mod_record") files[relative] = WithoutTimes(files[relative]);
  }
  return files;
}

std::string BuiltProgramFolder() { return KORVA_BUILT_PROGRAM_FOLDER; }

int SweepStride() {
  const char* stride = std::getenv("KORVA_SWEEP_STRIDE");
  return stride != nullptr && std::atoi(stride) > 1 ? std::atoi(stride) : 1;
}

std::string ExecutableName(const std::string& name) { return name + KORVA_EXECUTABLE_SUFFIX; }

void CopyBuiltData(const std::string& programFolder) {
  fs::create_directories(fs::u8path(programFolder));
  fs::copy(fs::u8path(BuiltProgramFolder() + "/data"), fs::u8path(programFolder + "/data"),
           fs::copy_options::recursive);
}

void MarkPortable(const std::string& programFolder) {
  WriteBytes(programFolder + "/portable", ReadBytes(BuiltProgramFolder() + "/portable"));
}

void MakeProgramFolderFor(const std::string& programFolder, const std::string& gameFolder) {
  CopyBuiltData(programFolder);
  fs::copy(fs::u8path(BuiltProgramFolder() + "/tools"), fs::u8path(programFolder + "/tools"),
           fs::copy_options::recursive);
  MakeSampleMods(programFolder + "/mods");
  WriteBytes(programFolder + "/config.ini", "KorvaPath=" + gameFolder + "\r\n");
}

void WriteStandIn(const std::string& path, const std::string& script) {
  static const std::string program = ReadBytes(KORVA_STAND_IN);
  if (program == "<missing>") throw std::runtime_error("cannot read " KORVA_STAND_IN);
  // The script, its length in 8 decimal digits and the mark; stand_in.cpp
  // reads them back from the end of its own file.
  char length[16];
  std::snprintf(length, sizeof length, "%08zu", script.size());
  WriteBytes(path, program + script + length + "KORVA-STAND-IN");
  fs::permissions(fs::u8path(path), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

}  // namespace korva
