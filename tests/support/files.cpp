#include "tests/support/files.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace korva {

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "korva-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in || fs::is_directory(path)) return "<missing>";
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool FileExists(const std::string& path) { return fs::is_regular_file(path); }

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

std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string relative = entry.path().lexically_relative(folder).string();
    // A pipe or a link to a device is never read: it could block or not end.
    files[relative] = entry.is_directory()      ? "<folder>"
                      : entry.is_regular_file() ? ReadBytes(entry.path().string())
                                                : "<not a file>";
    if (entry.path().filename() == "mod_record") files[relative] = WithoutTimes(files[relative]);
  }
  return files;
}

std::string BuiltProgramFolder() { return KORVA_BUILT_PROGRAM_FOLDER; }

void CopyBuiltData(const std::string& programFolder) {
  fs::create_directories(programFolder);
  fs::copy(BuiltProgramFolder() + "/data", programFolder + "/data", fs::copy_options::recursive);
}

}  // namespace korva
