#pragma once
// The box's trace: one JSON object per line, in the order things happen.
// Every object carries "t" (box time, ms) and "ev".
#include <nlohmann/json.hpp>

#include <string>

namespace box {

class Trace {
 public:
  // Starts writing to path; false (with errno set) when it cannot be opened.
  static bool open(const std::string& path);
  static void close();
  static bool enabled();
  // Writes {"t": now, "ev": ev, ...fields}. Does nothing when no trace is open.
  static void event(const char* ev, nlohmann::json fields = nlohmann::json::object());
  // Every event also goes to these observers (tests record traces in memory).
  using Observer = void (*)(const nlohmann::json& line, void* user);
  static void addObserver(Observer observer, void* user);
  static void removeObserver(Observer observer, void* user);
};

}  // namespace box
