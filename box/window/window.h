#pragma once
// The box's screen in a desktop window, and the PC keyboard as the remote.
// SDL stays behind this header: the runner and box/gui never see it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace box {

// The remote-control key for an SDL key code with its modifiers, or -1.
int windowKey(int32_t keycode, uint16_t modifiers);

// The largest whole factor (at least 1) at which the screen fits an area of
// the display.
int windowScale(int areaWidth, int areaHeight);

// Where the picture goes in a window of that size: a whole factor of the
// screen when one fits, centred; smaller windows get the screen shrunk to
// fit, its shape kept.
struct Placement {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const Placement& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};
Placement placePicture(int windowWidth, int windowHeight);

class Window {
 public:
  // Opens the window at the scale that fits the display (scale 0) or at the
  // one given; nullptr with the reason in *error when there is no display.
  static std::unique_ptr<Window> open(int scale, std::string* error);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Keys go to sink (by default the screen's active window). Once the window
  // is closed, onClose runs and sink gets exit every 50 ms until stop();
  // giveUp runs when the plug-in still has not left after 10 s.
  void setKeySink(std::function<void(int)> sink);
  void setOnClose(std::function<void()> onClose);
  void setOnGiveUp(std::function<void()> giveUp);

  // Handles the window's events and shows the screen if it changed since
  // last shown. The runner calls it from the main loop's idle hook.
  void pump();
  // Pumps from the main loop's idle hook until stop().
  void start();
  void stop();

  bool closed() const;
  uint64_t presented() const;  // pictures shown so far
  // What the window shows now, as 0xRRGGBB pixels, row by row.
  std::vector<uint32_t> pixels(int* width, int* height) const;
  void resize(int width, int height);

 private:
  Window();
  struct Impl;
  std::unique_ptr<Impl> impl;
};

}  // namespace box
