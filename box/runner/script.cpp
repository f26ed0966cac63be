#include "box/runner/script.h"

#include <cerrno>
#include <cstdlib>

#include "host/rc.h"

namespace box {
namespace {

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

bool parseMs(const std::string& v, int64_t* out) {
  if (v.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long ms = std::strtoll(v.c_str(), &end, 10);
  if (*end || errno || ms < 0) return false;
  *out = ms;
  return true;
}

// One step's text (no comment, not empty); false with the reason.
bool parseStep(const std::string& s, Step* step, std::string* why) {
  size_t sp = s.find_first_of(" \t");
  std::string verb = s.substr(0, sp);
  std::string rest = sp == std::string::npos ? "" : trim(s.substr(sp));
  if (verb == "key") {
    step->kind = Step::Key;
    step->key = rc::keyByName(rest.c_str());
    if (step->key < 0) return *why = "unknown key '" + rest + "'", false;
    return true;
  }
  if (verb == "wait") {
    step->kind = Step::Wait;
    if (!parseMs(rest, &step->ms)) return *why = "wait expects milliseconds, not '" + rest + "'", false;
    return true;
  }
  if (verb == "shot") {
    step->kind = Step::Shot;
    step->text = rest;
    if (rest.empty() || rest.find_first_of("/ \t") != std::string::npos)
      return *why = "shot expects a plain name, not '" + rest + "'", false;
    return true;
  }
  if (verb == "wait-text") {
    step->kind = Step::WaitText;
    step->ms = 60000;
    if (rest.size() < 2 || rest[0] != '"') return *why = "wait-text expects a \"quoted text\"", false;
    size_t close = rest.find('"', 1);
    if (close == std::string::npos) return *why = "wait-text: the closing quote is missing", false;
    step->text = rest.substr(1, close - 1);
    std::string limit = trim(rest.substr(close + 1));
    if (!limit.empty() && !parseMs(limit, &step->ms))
      return *why = "wait-text: the limit must be milliseconds, not '" + limit + "'", false;
    return true;
  }
  *why = "unknown step '" + verb + "'";
  return false;
}

}  // namespace

bool parseScript(const std::string& text, std::vector<Step>* steps, std::string* error) {
  int line = 1;
  std::string cur;
  bool quoted = false, comment = false;
  auto flush = [&]() {
    std::string s = trim(cur);
    cur.clear();
    if (s.empty()) return true;
    Step step;
    step.kind = Step::Key;
    step.line = line;
    std::string why;
    if (!parseStep(s, &step, &why)) {
      *error = "script line " + std::to_string(line) + ": " + why;
      return false;
    }
    steps->push_back(step);
    return true;
  };
  for (char c : text) {
    if (c == '\n') {
      if (!flush()) return false;
      ++line;
      quoted = comment = false;
      continue;
    }
    if (comment) continue;
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '#') {
      comment = true;
      continue;
    }
    if (!quoted && c == ';') {
      if (!flush()) return false;
      continue;
    }
    cur += c;
  }
  return flush();
}

}  // namespace box
