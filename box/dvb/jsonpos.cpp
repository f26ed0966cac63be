#include "box/dvb/jsonpos.h"

#include <set>

namespace box {

JsonPositions::JsonPositions(const std::string& text_) : text(text_) {
  skipSpace();
  if (pos < text.size()) value("");
}

int JsonPositions::line(const std::string& path) const {
  std::string p = path;
  for (;;) {
    auto it = lines.find(p);
    if (it != lines.end()) return it->second;
    if (p.empty()) return 1;
    size_t cut = p.find_last_of(".[");
    p = cut == std::string::npos ? std::string() : p.substr(0, cut);
  }
}

void JsonPositions::skipSpace() {
  while (pos < text.size()) {
    char c = text[pos];
    if (c == '\n') {
      ++lineNo;
    } else if (c != ' ' && c != '\t' && c != '\r') {
      return;
    }
    ++pos;
  }
}

// The raw contents between the quotes, escapes left as they are: keys are
// only compared with each other and shown in messages.
std::string JsonPositions::stringToken() {
  std::string out;
  ++pos;  // opening quote
  while (pos < text.size() && text[pos] != '"') {
    if (text[pos] == '\\' && pos + 1 < text.size()) out += text[pos++];
    out += text[pos++];
  }
  ++pos;  // closing quote
  return out;
}

void JsonPositions::value(const std::string& path) {
  lines.emplace(path, lineNo);
  if (pos >= text.size()) return;
  char c = text[pos];
  if (c == '{') {
    ++pos;
    std::set<std::string> seen;
    for (;;) {
      skipSpace();
      if (pos >= text.size()) return;
      if (text[pos] == '}') {
        ++pos;
        return;
      }
      if (text[pos] == ',') {
        ++pos;
        continue;
      }
      int keyLine = lineNo;
      std::string key = stringToken();
      if (!seen.insert(key).second && duplicate.empty()) {
        duplicate = path.empty() ? key : path + "." + key;
        duplicateAt = keyLine;
      }
      skipSpace();
      if (pos < text.size() && text[pos] == ':') ++pos;
      skipSpace();
      value(path.empty() ? key : path + "." + key);
    }
  }
  if (c == '[') {
    ++pos;
    int index = 0;
    for (;;) {
      skipSpace();
      if (pos >= text.size()) return;
      if (text[pos] == ']') {
        ++pos;
        return;
      }
      if (text[pos] == ',') {
        ++pos;
        continue;
      }
      value(path + "[" + std::to_string(index++) + "]");
    }
  }
  if (c == '"') {
    stringToken();
    return;
  }
  // A number or a literal: runs to the next delimiter.
  while (pos < text.size()) {
    char d = text[pos];
    if (d == ',' || d == '}' || d == ']' || d == ' ' || d == '\t' || d == '\r' || d == '\n') break;
    ++pos;
  }
}

void lineAndColumn(const std::string& text, size_t offset, int* line, int* column) {
  int l = 1, c = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++l;
      c = 1;
    } else {
      ++c;
    }
  }
  *line = l;
  *column = c;
}

}  // namespace box
