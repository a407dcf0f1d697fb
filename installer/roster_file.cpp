#include "installer/roster_file.h"

#include "platform/file_names.h"
#include "platform/read_limits.h"
#include "platform/text_file.h"

namespace korva {
namespace {

constexpr size_t kMaxRosterName = 100;
constexpr uint64_t kRosterFileLimit = 64 * kKiB;
constexpr const char* kExtension = ".txt";

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool EndsWithExtension(const std::string& file) {
  const std::string ext = kExtension;
  return file.size() > ext.size() &&
         FoldedName(file.substr(file.size() - ext.size())) == FoldedName(ext);
}

}  // namespace

std::string RosterFolder(const std::string& userFolder) { return userFolder + "/rosters"; }

std::string RosterPath(const std::string& userFolder, const std::string& name) {
  return RosterFolder(userFolder) + "/" + name + kExtension;
}

std::string WhyNotRosterName(const std::string& name) {
  if (name.empty()) return "is empty";
  if (name.size() > kMaxRosterName) {
    return "is " + std::to_string(name.size()) + " bytes long; a roster name may have at most " +
           std::to_string(kMaxRosterName);
  }
  for (char c : name) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                         std::string(" -_.()").find(c) != std::string::npos;
    if (!allowed) {
      const unsigned char byte = static_cast<unsigned char>(c);
      const std::string shown = byte < 0x20 || byte >= 0x80 ? "a character" : "\"" + std::string(1, c) + "\"";
      return "holds " + shown + " that a roster name may not hold; it may hold letters (A to Z), "
             "digits, spaces and - _ . ( )";
    }
  }
  if (name.front() == '.' || name.front() == ' ') return "begins with a dot or a space";
  if (name.back() == '.' || name.back() == ' ') return "ends in a dot or a space";
  if (IsWindowsDeviceName(name)) return "is a device name on Windows";
  return "";
}

std::string WhyNotPackageName(const std::string& name) {
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
    return "is a path; a roster names a package by its folder name under mods only";
  }
  if (name == "." || name == "..") return "is not a folder name";
  return WhyWindowsCannotHold(name);
}

Status ReadRoster(Platform& platform, const std::string& path, Roster* roster) {
  *roster = Roster();
  std::vector<std::string> lines;
  Status read = ReadTextLines(platform, path, kRosterFileLimit, &lines);
  if (!read.ok()) return read;
  return ParseRosterLines(lines, path, roster);
}

Status ParseRosterText(std::string_view bytes, const std::string& path, Roster* roster) {
  *roster = Roster();
  if (bytes.size() > kRosterFileLimit) {
    return Status::PathError(path, "is larger than a roster may be (" +
                                       std::to_string(kRosterFileLimit / kKiB) + " KiB).");
  }
  return ParseRosterLines(SplitTextLines(bytes), path, roster);
}

Status ParseRosterLines(const std::vector<std::string>& lines, const std::string& path, Roster* roster) {
  std::array<int, 10> lineOf{};  // the line that named each place, 0 for none
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string line = Trimmed(lines[i]);
    if (line.empty() || line[0] == '#') continue;
    const std::string where = path + ", line " + std::to_string(i + 1) + ": ";
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      return Status::Error(where + "\"" + line + "\" is not of the form PLACE=PACKAGE (such as "
                           "\"1=blue_runner\", or \"2=\" for an empty place).");
    }
    const std::string number = Trimmed(line.substr(0, equals));
    const std::string package = Trimmed(line.substr(equals + 1));
    const bool digits = !number.empty() && number.size() <= 2 &&
                        number.find_first_not_of("0123456789") == std::string::npos;
    const int place = digits ? std::stoi(number) : 0;
    if (place < 1 || place > 10) {
      return Status::Error(where + "\"" + number + "\" is not a place; places are numbered 1 to 10.");
    }
    if (lineOf[place - 1] != 0) {
      return Status::Error(where + "place " + number + " is named a second time (first on line " +
                           std::to_string(lineOf[place - 1]) + ").");
    }
    const std::string why = package.empty() ? "" : WhyNotPackageName(package);
    if (!why.empty()) {
      return Status::Error(where + "the package \"" + package + "\" " + why + ".");
    }
    lineOf[place - 1] = static_cast<int>(i + 1);
    roster->packages[place - 1] = package;
  }
  for (int place = 1; place <= 10; ++place) {
    if (lineOf[place - 1] == 0) {
      return Status::Error(path + ": place " + std::to_string(place) + " has no line; every place "
                           "from 1 to 10 needs one (\"" + std::to_string(place) +
                           "=\" for an empty place).");
    }
  }
  return Status::Ok();
}

Status WriteRosterBytes(Platform& platform, const std::string& path, std::string_view bytes) {
  return platform.ReplaceFile(path, bytes);
}

std::string RosterText(const std::string& name, const Roster& roster) {
  std::string text = "# Korva Quorin ZID roster \"" + name +
                     "\": PLACE=PACKAGE, one line per place 1 to 10;\n"
                     "# PACKAGE is a folder under mods, nothing after = leaves the place empty.\n";
  for (size_t i = 0; i < roster.packages.size(); ++i) {
    text += std::to_string(i + 1) + "=" + roster.packages[i] + "\n";
  }
  return text;
}

std::vector<std::string> ListRosterNames(Platform& platform, const std::string& userFolder) {
  std::vector<std::string> names, files;
  if (!platform.ListFolder(RosterFolder(userFolder), &files).ok()) return names;
  for (const std::string& file : files) {
    if (!EndsWithExtension(file)) continue;
    const std::string name = file.substr(0, file.size() - std::string(kExtension).size());
    if (WhyNotRosterName(name).empty() && !platform.IsFolder(RosterFolder(userFolder) + "/" + file)) {
      names.push_back(name);
    }
  }
  return names;
}

}  // namespace korva
