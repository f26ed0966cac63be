#include "box/window/window.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "box/base/loop.h"
#include "box/gui/boot.h"
#include "box/gui/screen.h"
#include "host/rc.h"

namespace box {

int windowKey(int32_t keycode, uint16_t modifiers) {
  // Ctrl and Alt chords belong to the desktop, not the remote.
  if (modifiers & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) return -1;
  if (keycode >= SDLK_0 && keycode <= SDLK_9) return rc::k0 + (keycode - SDLK_0);
  if (keycode >= SDLK_KP_1 && keycode <= SDLK_KP_9) return rc::k1 + (keycode - SDLK_KP_1);
  switch (keycode) {
    case SDLK_KP_0:
      return rc::k0;
    case SDLK_UP:
      return rc::up;
    case SDLK_DOWN:
      return rc::down;
    case SDLK_LEFT:
      return rc::left;
    case SDLK_RIGHT:
      return rc::right;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return rc::ok;
    case SDLK_ESCAPE:
    case SDLK_BACKSPACE:
      return rc::exit;
    case SDLK_F1:
    case SDLK_r:
      return rc::red;
    case SDLK_F2:
    case SDLK_g:
      return rc::green;
    case SDLK_F3:
    case SDLK_y:
      return rc::yellow;
    case SDLK_F4:
    case SDLK_b:
      return rc::blue;
  }
  return -1;
}

int windowScale(int areaWidth, int areaHeight) {
  return std::max(1, std::min(areaWidth / Screen::width, areaHeight / Screen::height));
}

Placement placePicture(int windowWidth, int windowHeight) {
  Placement p;
  const int whole = std::min(windowWidth / Screen::width, windowHeight / Screen::height);
  if (whole >= 1) {
    p.w = Screen::width * whole;
    p.h = Screen::height * whole;
  } else {
    const double s = std::min(double(std::max(windowWidth, 1)) / Screen::width,
                              double(std::max(windowHeight, 1)) / Screen::height);
    p.w = std::max(1, int(std::lround(Screen::width * s)));
    p.h = std::max(1, int(std::lround(Screen::height * s)));
  }
  p.x = std::max(0, (windowWidth - p.w) / 2);
  p.y = std::max(0, (windowHeight - p.h) / 2);
  return p;
}

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto kExitEvery = std::chrono::milliseconds(50);
constexpr auto kLeaveWithin = std::chrono::seconds(10);
}  // namespace

struct Window::Impl {
  SDL_Window* window = nullptr;
  SDL_Surface* picture = nullptr;  // the framebuffer in RGB, at 1:1
  std::function<void(int)> sink = [](int key) { Screen::instance().keyPress(key); };
  std::function<void()> onClose, giveUp;
  sigc::connection idle;
  uint64_t shownFrame = uint64_t(-1);
  uint64_t presented = 0;
  bool damaged = true;  // the window lost its picture (exposed, resized)
  bool closed = false, gaveUp = false;
  Clock::time_point closedAt, lastExit;

  void close();
  void handle(const SDL_Event& e);
  void present();
  void convert();
};

void Window::Impl::close() {
  if (closed) return;
  closed = true;
  closedAt = Clock::now();
  lastExit = closedAt - kExitEvery;
  SDL_HideWindow(window);
  if (onClose) onClose();
}

void Window::Impl::handle(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT:
      close();
      return;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_CLOSE)
        close();
      else if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
        damaged = true;
      return;
    case SDL_KEYDOWN:
      if (closed) return;
      if (int key = windowKey(e.key.keysym.sym, e.key.keysym.mod); key >= 0) sink(key);
      return;
  }
}

void Window::Impl::convert() {
  gPixmap& fb = Screen::instance().framebuffer();
  uint32_t lut[256] = {};
  for (size_t i = 0; i < fb.clut.data.size() && i < 256; ++i) {
    const gRGB& c = fb.clut.data[i];
    lut[i] = uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
  }
  SDL_LockSurface(picture);
  const int w = std::min(fb.x, picture->w), h = std::min(fb.y, picture->h);
  for (int y = 0; y < h; ++y) {
    const uint8_t* from = fb.data + size_t(y) * fb.stride;
    auto* to =
        reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(picture->pixels) + size_t(y) * picture->pitch);
    for (int x = 0; x < w; ++x) to[x] = lut[from[x]];
  }
  SDL_UnlockSurface(picture);
}

void Window::Impl::present() {
  const uint64_t frame = Screen::instance().frames();
  if (frame == shownFrame && !damaged) return;
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  if (!surface) return;
  if (frame != shownFrame) convert();
  const Placement p = placePicture(surface->w, surface->h);
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
  SDL_Rect to{p.x, p.y, p.w, p.h};
  SDL_BlitScaled(picture, nullptr, surface, &to);
  SDL_UpdateWindowSurface(window);
  shownFrame = frame;
  damaged = false;
  ++presented;
}

Window::Window() : impl(std::make_unique<Impl>()) {}

Window::~Window() {
  stop();
  if (impl->picture) SDL_FreeSurface(impl->picture);
  if (impl->window) SDL_DestroyWindow(impl->window);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

std::unique_ptr<Window> Window::open(int scale, std::string* error) {
  // SDL falls back on drivers that show nothing; those count only when
  // asked for by name (as the tests do with SDL_VIDEODRIVER=offscreen).
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  if ((!asked || !*asked) && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    *error = std::string(tr("no display to open a window on")) + " (DISPLAY is not set)";
    return nullptr;
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    *error = std::string(tr("no display to open a window on")) + " (" + SDL_GetError() + ")";
    return nullptr;
  }
  const std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
  if ((driver == "offscreen" || driver == "dummy") && (!asked || driver != asked)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    *error = std::string(tr("no display to open a window on")) + " (SDL: " + driver + ")";
    return nullptr;
  }
  std::unique_ptr<Window> w(new Window);
  if (scale <= 0) {
    SDL_Rect area{0, 0, Screen::width, Screen::height};
    if (SDL_GetDisplayUsableBounds(0, &area) != 0) area = {0, 0, Screen::width, Screen::height};
    // Room is left for the window's frame and title.
    scale = windowScale(area.w, area.h - 64);
  }
  w->impl->window = SDL_CreateWindow("Vantrel box", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                     Screen::width * scale, Screen::height * scale, SDL_WINDOW_RESIZABLE);
  if (w->impl->window)
    w->impl->picture =
        SDL_CreateRGBSurfaceWithFormat(0, Screen::width, Screen::height, 32, SDL_PIXELFORMAT_RGB888);
  if (!w->impl->window || !w->impl->picture) {
    *error = trf("the window could not be opened (%s)", SDL_GetError());
    return nullptr;
  }
  SDL_SetWindowMinimumSize(w->impl->window, Screen::width / 4, Screen::height / 4);
  return w;
}

void Window::setKeySink(std::function<void(int)> sink) {
  impl->sink = std::move(sink);
}
void Window::setOnClose(std::function<void()> onClose) {
  impl->onClose = std::move(onClose);
}
void Window::setOnGiveUp(std::function<void()> giveUp) {
  impl->giveUp = std::move(giveUp);
}

void Window::pump() {
  // A key may start a modal run that pumps again from inside: each event is
  // taken off the queue before it acts, so none is handled twice.
  SDL_Event e;
  while (SDL_PollEvent(&e)) impl->handle(e);
  if (impl->closed) {
    const auto now = Clock::now();
    if (now - impl->closedAt > kLeaveWithin) {
      if (!impl->gaveUp && impl->giveUp) impl->giveUp();
      impl->gaveUp = true;
      return;
    }
    if (now - impl->lastExit >= kExitEvery) {
      impl->lastExit = now;
      impl->sink(rc::exit);
    }
    return;
  }
  impl->present();
}

void Window::start() {
  impl->idle.disconnect();
  impl->idle = idleSignal().connect(sigc::mem_fun(*this, &Window::pump));
}

void Window::stop() {
  impl->idle.disconnect();
}

bool Window::closed() const {
  return impl->closed;
}

uint64_t Window::presented() const {
  return impl->presented;
}

std::vector<uint32_t> Window::pixels(int* width, int* height) const {
  std::vector<uint32_t> out;
  *width = *height = 0;
  SDL_Surface* s = SDL_GetWindowSurface(impl->window);
  SDL_Surface* rgb = s ? SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGB888, 0) : nullptr;
  if (!rgb) return out;
  *width = rgb->w;
  *height = rgb->h;
  out.reserve(size_t(rgb->w) * rgb->h);
  for (int y = 0; y < rgb->h; ++y) {
    const auto* row =
        reinterpret_cast<const uint32_t*>(static_cast<uint8_t*>(rgb->pixels) + size_t(y) * rgb->pitch);
    for (int x = 0; x < rgb->w; ++x) out.push_back(row[x] & 0xffffff);
  }
  SDL_FreeSurface(rgb);
  return out;
}

void Window::resize(int width, int height) {
  SDL_SetWindowSize(impl->window, width, height);
  impl->damaged = true;
}

}  // namespace box
