#include "textfiles/marker_blocks.h"
#include "platform/read_limits.h"

#include "platform/text_file.h"
#include "slots/slot_table.h"
#include "platform/optional_file.h"

namespace korva {
namespace {

constexpr const char* kMarker = "//##";

// How much of a data name "Game Chars" shows, and so how long a block name
// taken from it can be: the first name field without its closing backslash.
constexpr size_t kShownNameBytes = kFirstNameSize - 1;

}  // namespace

bool IsMarkerOf(const std::string& line, const std::string& blockName) {
  const std::string marker = kMarker + blockName;
  if (line == marker) return true;
  return blockName.size() == kShownNameBytes && line.compare(0, marker.size(), marker) == 0;
}

Status AppendMarkerBlock(Platform& platform, const std::string& gameFolder,
                         const MarkerBlockTarget& target, const std::string& dataFile,
                         const std::string& blockName) {
  std::string data;
  Status status = ReadFileIfPresent(platform, dataFile, kPackageDataLimit, &data);
  if (!status.ok()) return status;

  const std::string path = gameFolder + target.file;
  std::string content;
  status = ReadFileIfPresent(platform, path, kGameTextLimit, &content);
  if (!status.ok()) return status;

  std::string block = kMarker + blockName + "\n" + data;
  if (target.binary) {
    content += block;
  } else {
    content += ToTextMode(block + "\n");
  }
  return platform.ReplaceFile(path, content);
}

Status RemoveMarkerBlock(Platform& platform, const std::string& gameFolder, const std::string& file,
                         const std::string& blockName) {
  const std::string path = gameFolder + file;
  if (!platform.Exists(path)) return Status::Ok();
  std::vector<std::string> lines;
  Status status = ReadTextLines(platform, path, kGameTextLimit, &lines);
  if (!status.ok()) return status;

  std::string kept;
  bool copying = true;
  bool removed = false;
  for (const std::string& line : lines) {
    if (!copying) copying = line.find(kMarker) != std::string::npos;
    if (!removed && IsMarkerOf(line, blockName)) {
      copying = false;
      removed = true;
      continue;
    }
    if (copying) kept += line + "\n";
  }
  return ReplaceText(platform, path, kept);
}

}  // namespace korva
