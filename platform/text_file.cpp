#include "platform/text_file.h"

namespace korva {

std::string ToTextMode(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::vector<std::string> SplitTextLines(std::string_view bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) {
      lines.emplace_back(bytes.substr(start));
      break;
    }
    size_t stop = end;
    if (stop > start && bytes[stop - 1] == '\r') --stop;
    lines.emplace_back(bytes.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

Status ReadTextLines(Platform& platform, const std::string& path, uint64_t limit,
                     std::vector<std::string>* lines) {
  std::string bytes;
  Status status = platform.ReadFile(path, limit, &bytes);
  if (!status.ok()) return status;
  *lines = SplitTextLines(bytes);
  return Status::Ok();
}

Status AppendText(Platform& platform, const std::string& path, std::string_view text) {
  return platform.AppendFile(path, ToTextMode(text));
}

Status ReplaceText(Platform& platform, const std::string& path, std::string_view text) {
  return platform.ReplaceFile(path, ToTextMode(text));
}

}  // namespace korva
