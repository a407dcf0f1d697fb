#include "platform/vdf.h"

#include "platform/file_names.h"

namespace korva {
namespace {

constexpr int kMaxDepth = 64;

class VdfReader {
 public:
  VdfReader(const std::string& name, std::string_view text) : name_(name), text_(text) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;  // a UTF-8 byte order mark
  }

  // Reads entries up to the end of the text (depth 0) or up to the "}" that
  // closes the section `key`, opened on line `opened`.
  Status Entries(std::vector<VdfEntry>* entries, int depth, const std::string& key, int opened) {
    for (;;) {
      Token token;
      Status read = Next(&token);
      if (!read.ok()) return read;
      if (token.kind == Kind::kEnd) {
        if (depth == 0) return Status::Ok();
        return Fail(token.line, "the file is cut off: the section \"" + key + "\" opened on line " +
                                    std::to_string(opened) + " is not closed");
      }
      if (token.kind == Kind::kClose) {
        if (depth > 0) return Status::Ok();
        return Fail(token.line, "a \"}\" closes no section");
      }
      if (token.kind == Kind::kOpen) return Fail(token.line, "a section has no name");
      VdfEntry entry;
      entry.key = std::move(token.text);
      Token value;
      read = Next(&value);
      if (!read.ok()) return read;
      if (value.kind == Kind::kText) {
        entry.value = std::move(value.text);
      } else if (value.kind == Kind::kOpen) {
        if (depth + 1 > kMaxDepth) {
          return Fail(value.line, "sections are nested deeper than " + std::to_string(kMaxDepth));
        }
        entry.section = true;
        read = Entries(&entry.entries, depth + 1, entry.key, value.line);
        if (!read.ok()) return read;
      } else {
        return Fail(token.line, "the key \"" + entry.key + "\" has no value" +
                                    (value.kind == Kind::kEnd ? " (the file is cut off)" : ""));
      }
      entries->push_back(std::move(entry));
    }
  }

 private:
  enum class Kind { kText, kOpen, kClose, kEnd };
  struct Token {
    Kind kind = Kind::kEnd;
    std::string text;
    int line = 1;
  };

  static bool Space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
  }

  Status Fail(int line, const std::string& reason) const {
    return Status::PathError(name_, "line " + std::to_string(line) + ": " + reason);
  }

  // The next token; every call consumes at least one byte or reports kEnd.
  Status Next(Token* token) {
    for (;;) {
      while (pos_ < text_.size() && Space(text_[pos_])) {
        if (text_[pos_++] == '\n') ++line_;
      }
      if (text_.substr(pos_, 2) != "//") break;
      while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
    }
    token->line = line_;
    token->text.clear();
    if (pos_ == text_.size()) {
      token->kind = Kind::kEnd;
      return Status::Ok();
    }
    const char first = text_[pos_];
    if (first == '{' || first == '}') {
      ++pos_;
      token->kind = first == '{' ? Kind::kOpen : Kind::kClose;
      return Status::Ok();
    }
    token->kind = Kind::kText;
    if (first != '"') {
      // A bare word runs to a space, a brace or a quote.
      while (pos_ < text_.size() && !Space(text_[pos_]) && text_[pos_] != '{' &&
             text_[pos_] != '}' && text_[pos_] != '"') {
        token->text += text_[pos_++];
      }
      return Status::Ok();
    }
    ++pos_;
    for (;;) {
      if (pos_ == text_.size()) {
        return Fail(token->line, "the file is cut off: a quoted text is not closed");
      }
      char c = text_[pos_++];
      if (c == '"') return Status::Ok();
      if (c == '\n') ++line_;
      if (c == '\\' && pos_ < text_.size()) {
        const char escaped = text_[pos_++];
        if (escaped == 'n' || escaped == 't') {
          c = escaped == 'n' ? '\n' : '\t';
        } else if (escaped == '\\' || escaped == '"') {
          c = escaped;
        } else {  // not an escape: both bytes stand as written
          token->text += '\\';
          c = escaped;
          if (c == '\n') ++line_;
        }
      }
      token->text += c;
    }
  }

  const std::string& name_;
  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

Status ParseVdf(const std::string& name, std::string_view text, std::vector<VdfEntry>* entries) {
  entries->clear();
  Status read = VdfReader(name, text).Entries(entries, 0, "", 0);
  if (!read.ok()) entries->clear();
  return read;
}

Status SteamLibraryFolders(const std::string& name, std::string_view text,
                           std::vector<std::string>* folders) {
  folders->clear();
  std::vector<VdfEntry> entries;
  Status read = ParseVdf(name, text, &entries);
  if (!read.ok()) return read;
  for (const VdfEntry& list : entries) {
    if (!list.section || FoldedName(list.key) != "LIBRARYFOLDERS") continue;
    for (const VdfEntry& library : list.entries) {
      if (library.section) {
        // Since 2021: a section per library, its folder under "path".
        for (const VdfEntry& field : library.entries) {
          if (!field.section && FoldedName(field.key) == "PATH" && !field.value.empty()) {
            folders->push_back(field.value);
            break;
          }
        }
      } else if (!library.key.empty() &&
                 library.key.find_first_not_of("0123456789") == std::string::npos &&
                 !library.value.empty()) {
        // Before: numbered entries whose values are the folders.
        folders->push_back(library.value);
      }
    }
    return Status::Ok();
  }
  return Status::PathError(name, "no \"libraryfolders\" section, so it names no Steam library");
}

}  // namespace korva
