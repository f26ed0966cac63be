#pragma once
// --window for a run: the window opens before the box comes up, so that a
// missing display stops the run before anything happens.
#include <functional>
#include <memory>
#include <string>

namespace box {

class Window;

class WindowRun {
 public:
  WindowRun();
  ~WindowRun();
  // False with a message when there is no display (or no window support).
  bool open(std::string* error);
  // Shows the screen and takes keys while the plug-in runs; onClose runs
  // when the user closes the window.
  void start(std::function<void()> onClose);
  void stop();
  bool isOpen() const { return bool(window); }

 private:
  std::unique_ptr<Window> window;
};

}  // namespace box
