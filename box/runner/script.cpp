#include "box/runner/script.h"

#include "box/base/fileio.h"
#include "box/base/parse.h"
#include "box/base/tr.h"
#include "host/rc.h"

namespace box {
namespace {

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

// Script text echoed in a message: escaped and cut short.
std::string shown(const std::string& s) {
  return "'" + printable(s, 40) + "'";
}

bool parseMs(const std::string& v, int64_t* out) {
  return parseInteger(v, 0, kMaxBoxTimeMs, out);
}

// One step's text (no comment, not empty); false with the reason.
bool parseStep(const std::string& s, Step* step, std::string* why) {
  size_t sp = s.find_first_of(" \t");
  std::string verb = s.substr(0, sp);
  std::string rest = sp == std::string::npos ? "" : trim(s.substr(sp));
  if (verb == "key") {
    step->kind = Step::Key;
    step->key = rc::keyByName(rest.c_str());
    if (step->key < 0) return *why = trf("unknown key %s", shown(rest).c_str()), false;
    return true;
  }
  if (verb == "wait") {
    step->kind = Step::Wait;
    if (!parseMs(rest, &step->ms))
      return *why = trf("wait expects milliseconds from 0 to %lld, not %s", (long long)kMaxBoxTimeMs,
                        shown(rest).c_str()),
             false;
    return true;
  }
  if (verb == "shot") {
    step->kind = Step::Shot;
    step->text = rest;
    if (!isShotName(rest))
      return *why = trf(
                 "shot expects a plain name (letters, digits, '-', '_', '.'; not '.' first; at most %zu), "
                 "not %s",
                 size_t(kMaxShotName), shown(rest).c_str()),
             false;
    return true;
  }
  if (verb == "wait-text") {
    step->kind = Step::WaitText;
    step->ms = 60000;
    if (rest.size() < 2 || rest[0] != '"') return *why = tr("wait-text expects a \"quoted text\""), false;
    size_t close = rest.find('"', 1);
    if (close == std::string::npos) return *why = tr("wait-text: the closing quote is missing"), false;
    step->text = rest.substr(1, close - 1);
    std::string limit = trim(rest.substr(close + 1));
    if (!limit.empty() && !parseMs(limit, &step->ms))
      return *why = trf("wait-text: the limit must be milliseconds from 0 to %lld, not %s",
                        (long long)kMaxBoxTimeMs, shown(limit).c_str()),
             false;
    return true;
  }
  *why = trf("unknown step %s", shown(verb).c_str());
  return false;
}

}  // namespace

bool isShotName(const std::string& name) {
  if (name.empty() || name.size() > kMaxShotName || name[0] == '.') return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
              c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

bool parseScript(const std::string& text, std::vector<Step>* steps, std::string* error) {
  int line = 1;
  std::string cur;
  bool quoted = false, comment = false;
  auto fail = [&](const std::string& why) {
    *error = trf("script line %d: %s", line, why.c_str());
    return false;
  };
  auto flush = [&]() {
    std::string s = trim(cur);
    cur.clear();
    if (s.empty()) return true;
    Step step;
    step.kind = Step::Key;
    step.line = line;
    std::string why;
    if (!parseStep(s, &step, &why)) return fail(why);
    steps->push_back(step);
    return true;
  };
  // Editors on some systems start a UTF-8 file with a byte order mark.
  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    // Everything after a NUL would be cut off unseen where the text is used.
    if (c == '\0') return fail(tr("a NUL byte (\\x00) in the script"));
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
