#pragma once
// The box's screen: a 720 x 576 framebuffer at 8 bits with the skin's
// palette, the stack of visible top-level windows, key routing, screenshots
// and widget dumps.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "host/gpixmap.h"

class eWidget;

namespace box {

class Screen {
 public:
  static Screen& instance();
  static constexpr int width = 720, height = 576;

  gPixmap& framebuffer();
  void setPalette(const gPalette& palette);

  // Top-level widgets register when shown and leave when hidden or destroyed.
  void windowShown(eWidget* window);
  void windowHidden(eWidget* window);
  const std::vector<eWidget*>& windows() const;  // bottom first
  eWidget* activeWindow() const;                 // the topmost

  // Areas in screen coordinates; the loop redraws them when idle.
  void invalidate(const eRect& area);
  void redrawDirty();
  bool hasDirty() const;
  uint64_t frames() const;  // redraws so far: whether the screen has changed since

  // A remote-control key: to the focused widget of the active window, then
  // the window's colour-key shortcuts, then exit (rejects the window).
  void keyPress(int key);

  // The framebuffer as a palette PNG; false with a message on failure.
  bool writePng(const std::string& path, std::string* error) const;
  // The visible widget tree: type, name, text, rect, focus, children.
  nlohmann::json dumpWidgets() const;
  // Whether a visible window, label or message box shows text.
  bool showsText(const std::string& text) const;

  void reset();  // forgets windows and dirty areas (tests)

 private:
  Screen();
  struct Impl;
  Impl* impl;
};

}  // namespace box
