// The trace: JSON Lines, flushed per line so that a run killed half way
// still leaves every event that happened before.
#include "box/gui/trace.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "host/ebase.h"

namespace box {
namespace {

struct TraceState {
  std::FILE* file = nullptr;
  std::vector<std::pair<Trace::Observer, void*>> observers;
};

TraceState& state() {
  static TraceState s;
  return s;
}

}  // namespace

bool Trace::open(const std::string& path) {
  close();
  state().file = std::fopen(path.c_str(), "w");
  return state().file != nullptr;
}

void Trace::close() {
  if (state().file) std::fclose(state().file);
  state().file = nullptr;
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
  if (s.file) {
    std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(s.file, "%s\n", text.c_str());
    std::fflush(s.file);
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
