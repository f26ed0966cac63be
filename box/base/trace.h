#pragma once
// The box's trace: one JSON object per line, in the order things happen.
// Every object carries "t" (box time, ms) and "ev".
#include <nlohmann/json.hpp>

#include <string>

namespace box {

class Trace {
 public:
  // Starts writing to path (as OutputFile does: a file is replaced at
  // close, a device or FIFO written into); false with "PATH: why" in *error
  // when it cannot be opened.
  static bool open(const std::string& path, std::string* error = nullptr);
  // Stops writing and puts a trace file in place. False with *error when a
  // line could not be written at any time since open(), or the file could
  // not be put in place: an old trace file is then left as it was.
  static bool close(std::string* error = nullptr);
  static bool enabled();
  // Writes {"t": now, "ev": ev, ...fields}. Does nothing when no trace is open.
  static void event(const char* ev, nlohmann::json fields = nlohmann::json::object());
  // Every event also goes to these observers (tests record traces in memory).
  using Observer = void (*)(const nlohmann::json& line, void* user);
  static void addObserver(Observer observer, void* user);
  static void removeObserver(Observer observer, void* user);
};

// JSON as text, never throwing: texts from skins and the plug-in may hold
// bytes that are not UTF-8, which come out as U+FFFD. Every JSON the box
// writes goes through here.
std::string jsonText(const nlohmann::json& value, int indent = -1);

}  // namespace box
