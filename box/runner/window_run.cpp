#include "box/runner/window_run.h"

#include <cstdio>

#include "box/base/loop.h"
#include "box/base/tr.h"

#ifdef VANTREL_HAVE_WINDOW
#include "box/window/window.h"
#else
namespace box {
class Window {};
}  // namespace box
#endif

namespace box {

WindowRun::WindowRun() = default;
WindowRun::~WindowRun() = default;

#ifdef VANTREL_HAVE_WINDOW

bool WindowRun::open(std::string* error) {
  window = Window::open(0, error);
  if (!window) *error = "--window: " + *error;
  return bool(window);
}

void WindowRun::start(std::function<void()> onClose) {
  if (!window) return;
  window->setOnClose(std::move(onClose));
  window->setOnGiveUp([] {
    std::fprintf(stderr, "vantrel-box: %s\n",
                 tr("the plug-in did not leave within 10 s of the window closing"));
    abortAll(4);
  });
  window->start();
}

void WindowRun::stop() {
  if (window) window->stop();
}

#else

bool WindowRun::open(std::string* error) {
  *error = std::string("--window: ") +
           tr("this vantrel-box was built without SDL2 (install libsdl2-dev and rebuild)");
  return false;
}
void WindowRun::start(std::function<void()>) {}
void WindowRun::stop() {}

#endif

}  // namespace box
