// The trace: JSON Lines, flushed per line so that a run killed half way
// still leaves every event that happened before.
#include "box/gui/trace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "box/gui/fileio.h"
#include "host/ebase.h"

namespace box {
namespace {

struct TraceState {
  std::FILE* file = nullptr;
  std::string path;
  std::string error;  // the first failed write since open(); later lines are dropped
  std::vector<std::pair<Trace::Observer, void*>> observers;
};

TraceState& state() {
  static TraceState s;
  return s;
}

void failed(TraceState& s, const char* what, int err) {
  if (s.error.empty()) s.error = printable(s.path, 200) + ": " + what + ": " + std::strerror(err);
}

}  // namespace

std::string jsonText(const nlohmann::json& value, int indent) {
  return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool Trace::open(const std::string& path, std::string* error) {
  close();
  TraceState& s = state();
  s.file = std::fopen(path.c_str(), "w");
  if (!s.file) {
    if (error) *error = printable(path, 200) + ": " + std::strerror(errno);
    return false;
  }
  s.path = path;
  s.error.clear();
  return true;
}

bool Trace::close(std::string* error) {
  TraceState& s = state();
  if (!s.file) return true;
  // stdio keeps what it could not write: a full disk may show only here.
  if (std::fclose(s.file) != 0) failed(s, "close", errno);
  s.file = nullptr;
  const bool ok = s.error.empty();
  if (!ok && error) *error = s.error;
  s.error.clear();
  return ok;
}

bool Trace::enabled() {
  return state().file != nullptr || !state().observers.empty();
}

void Trace::event(const char* ev, nlohmann::json fields) {
  TraceState& s = state();
  if (!s.file && s.observers.empty()) return;
  nlohmann::json line = nlohmann::json::object();
  line["t"] = eApp ? eApp->now() : 0;
  line["ev"] = ev;
  if (fields.is_object())
    for (auto it = fields.begin(); it != fields.end(); ++it) line[it.key()] = it.value();
  // After a failed write the file holds a cut line: nothing more goes after it.
  if (s.file && s.error.empty()) {
    std::string text = jsonText(line) + "\n";
    if (std::fwrite(text.data(), 1, text.size(), s.file) != text.size())
      failed(s, "write", errno);
    else if (std::fflush(s.file) != 0)
      failed(s, "write", errno);
  }
  // Copied, so that an observer may remove itself while being told.
  auto observers = s.observers;
  for (auto& [observer, user] : observers) observer(line, user);
}

void Trace::addObserver(Observer observer, void* user) {
  state().observers.emplace_back(observer, user);
}

void Trace::removeObserver(Observer observer, void* user) {
  auto& v = state().observers;
  for (auto it = v.begin(); it != v.end(); ++it)
    if (it->first == observer && it->second == user) {
      v.erase(it);
      return;
    }
}

}  // namespace box
