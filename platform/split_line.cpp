#include "platform/split_line.h"

namespace korva {
namespace {

std::string_view Trim(std::string_view piece) {
  size_t first = piece.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  size_t last = piece.find_last_not_of(' ');
  return piece.substr(first, last - first + 1);
}

}  // namespace

std::vector<std::string> SplitLine(std::string_view line, char delimiter) {
  std::vector<std::string> pieces;
  std::string_view rest = line;
  for (size_t k = rest.find(delimiter); k != std::string_view::npos; k = rest.find(delimiter)) {
    std::string_view piece = Trim(rest.substr(0, k));
    if (!piece.empty()) pieces.emplace_back(piece);
    rest = rest.substr(k + 1);
  }
  if (rest == " ") {
    pieces.emplace_back(rest);
  } else if (std::string_view piece = Trim(rest); !piece.empty()) {
    pieces.emplace_back(piece);
  }
  return pieces;
}

}  // namespace korva
