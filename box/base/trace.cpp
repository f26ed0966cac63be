// The trace: JSON Lines. A trace file is written through a temporary file
// beside it that replaces it only when the whole trace was written, so a
// failed run never leaves a cut or empty trace in place of a good one. Each
// line is written at once, unbuffered: a run killed half way leaves every
// event before it in that temporary file, and a trace into a device or a
// FIFO (--trace /dev/stdout) shows each event as it happens.
#include "box/base/trace.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "box/base/fileio.h"
#include "host/ebase.h"

namespace box {
namespace {

struct TraceState {
  OutputFile file;
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
  // A folder would be found only by the rename at the end of the run.
  struct stat st {};
  std::string why;
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    why = path + ": " + std::strerror(EISDIR);
  else
    s.file.open(path, &why);
  if (!s.file.isOpen()) {
    if (error) *error = printable(why, 300);
    return false;
  }
  s.path = path;
  s.error.clear();
  return true;
}

bool Trace::close(std::string* error) {
  TraceState& s = state();
  if (!s.file.isOpen()) return true;
  // A cut trace never replaces the old one; a full disk may show only here.
  std::string why;
  if (!s.error.empty())
    s.file.discard();
  else if (!s.file.commit(true, &why))
    s.error = printable(why, 300);
  const bool ok = s.error.empty();
  if (!ok && error) *error = s.error;
  s.error.clear();
  return ok;
}

bool Trace::enabled() {
  return state().file.isOpen() || !state().observers.empty();
}

void Trace::event(const char* ev, nlohmann::json fields) {
  TraceState& s = state();
  if (!s.file.isOpen() && s.observers.empty()) return;
  nlohmann::json line = nlohmann::json::object();
  line["t"] = eApp ? eApp->now() : 0;
  line["ev"] = ev;
  if (fields.is_object())
    for (auto it = fields.begin(); it != fields.end(); ++it) line[it.key()] = it.value();
  // After a failed write nothing more is written: the line is cut.
  if (s.file.isOpen() && s.error.empty() && !s.file.write(jsonText(line) + "\n")) failed(s, "write", errno);
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
