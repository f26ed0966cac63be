#pragma once
// What the box records, as text that a test compares with its table in one
// go: the trace, the visible widget tree and an image.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "box/gui/screen.h"
#include "host/ewidget.h"
#include "host/gpixmap.h"

namespace plugin_test {

// One line per trace event from index `from` on: "T ev key=value ...", T in
// box ms since t0, the fields in key order, strings unquoted. A run of equal
// lines is folded into "LINE xN" (twenty SNR reads make one line).
inline std::string traceText(const std::vector<nlohmann::json>& trace, size_t from, int64_t t0) {
  std::vector<std::string> lines;
  for (size_t i = from; i < trace.size(); ++i) {
    const nlohmann::json& e = trace[i];
    std::string line = std::to_string(e.value("t", int64_t(0)) - t0) + " " + e.value("ev", "?");
    for (const auto& [key, value] : e.items())
      if (key != "t" && key != "ev")
        line += " " + key + "=" + (value.is_string() ? value.get<std::string>() : value.dump());
    lines.push_back(line);
  }
  std::string out;
  for (size_t i = 0; i < lines.size();) {
    size_t n = 1;
    while (i + n < lines.size() && lines[i + n] == lines[i]) ++n;
    out += lines[i] + (n > 1 ? " x" + std::to_string(n) : "") + "\n";
    i += n;
  }
  return out;
}

// One widget of the dump as a line: type, "name", "text", x,y wxh relative to
// the client area of its window, then focus and the widget's value if any.
inline std::string widgetLine(const nlohmann::json& w, ePoint origin, int depth, bool geometry) {
  const auto& r = w["rect"];
  std::ostringstream s;
  s << std::string(size_t(2 * depth), ' ') << w.value("type", "?") << " \"" << w.value("name", "") << "\" \""
    << w.value("text", "") << "\"";
  if (geometry)
    s << " " << r.value("x", 0) - origin.x << "," << r.value("y", 0) - origin.y << " " << r.value("w", 0)
      << "x" << r.value("h", 0);
  if (w.value("focus", false)) s << " focus";
  for (const char* key : {"value", "current", "perc", "max"})
    if (w.contains(key))
      s << " " << key << "=" << (w[key].is_string() ? w[key].get<std::string>() : w[key].dump());
  return s.str() + "\n";
}

// The visible windows, bottom first, each with its children, and the
// children of a graph (the rest are the box's own widgets). Message boxes are
// laid out by the box: no geometry for them.
inline std::string screenText() {
  const nlohmann::json dump = box::Screen::instance().dumpWidgets();
  const auto& windows = box::Screen::instance().windows();
  std::string out;
  for (size_t i = 0; i < windows.size() && i < dump["windows"].size(); ++i) {
    const nlohmann::json& window = dump["windows"][i];
    const bool geometry = window.value("type", "") != "eMessageBox";
    out += widgetLine(window, ePoint(0, 0), 0, geometry);
    const ePoint origin = windows[i]->getAbsoluteClientPosition();
    for (const auto& child : window["children"]) {
      out += widgetLine(child, origin, 1, geometry);
      if (child.value("type", "") == "eGrafico")
        for (const auto& grandChild : child["children"]) out += widgetLine(grandChild, origin, 2, geometry);
    }
  }
  return out;
}

// An image as text: its size, the colour of pixel 0,0 (the background), the
// columns wholly in one other colour (grid lines), then every other column
// that is not all background as runs of colour from the top: "x: c@y0-y1".
inline std::string imageText(const gPixmap& img) {
  const int bk = img.pixel(0, 0);
  std::string grid, columns;
  for (int x = 0; x < img.x; ++x) {
    std::string runs;
    int count = 0;
    for (int y = 0; y < img.y; ++count) {
      int end = y;
      while (end + 1 < img.y && img.pixel(x, end + 1) == img.pixel(x, y)) ++end;
      runs += " " + std::to_string(img.pixel(x, y)) + "@" + std::to_string(y) + "-" + std::to_string(end);
      y = end + 1;
    }
    if (count == 1 && img.pixel(x, 0) != bk) grid += " " + std::to_string(x);
    if (count > 1) columns += std::to_string(x) + ":" + runs + "\n";
  }
  return std::to_string(img.x) + "x" + std::to_string(img.y) + " background " + std::to_string(bk) +
         "\ngrid" + grid + "\n" + columns;
}

}  // namespace plugin_test
