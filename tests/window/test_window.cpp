// The window's key table, its scaling, and the window itself in SDL's
// offscreen driver: what it shows, when it redraws, and how it closes.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "box/gui/screen.h"
#include "box/window/window.h"
#include "host/rc.h"

namespace {

using box::Screen;

std::string keyNames(const std::vector<int>& keys) {
  std::string s;
  for (int k : keys) s += std::string(k < 0 ? "-" : rc::keyName(k)) + " ";
  return s;
}

TEST(WindowKeys, TheKeyboardTableAsTheRemote) {
  const struct {
    SDL_Keycode code;
    uint16_t mod;
    const char* key;  // "-": none
  } table[] = {
      {SDLK_0, 0, "0"},
      {SDLK_5, 0, "5"},
      {SDLK_9, 0, "9"},
      {SDLK_KP_0, 0, "0"},
      {SDLK_KP_7, 0, "7"},
      {SDLK_UP, 0, "up"},
      {SDLK_DOWN, 0, "down"},
      {SDLK_LEFT, 0, "left"},
      {SDLK_RIGHT, 0, "right"},
      {SDLK_RETURN, 0, "ok"},
      {SDLK_KP_ENTER, 0, "ok"},
      {SDLK_ESCAPE, 0, "exit"},
      {SDLK_BACKSPACE, 0, "exit"},
      {SDLK_F1, 0, "red"},
      {SDLK_F2, 0, "green"},
      {SDLK_F3, 0, "yellow"},
      {SDLK_F4, 0, "blue"},
      {SDLK_r, 0, "red"},
      {SDLK_g, 0, "green"},
      {SDLK_y, 0, "yellow"},
      {SDLK_b, 0, "blue"},
      {SDLK_q, 0, "-"},
      {SDLK_F5, 0, "-"},
      {SDLK_SPACE, 0, "-"},
      {SDLK_g, KMOD_LCTRL, "-"},
      {SDLK_1, KMOD_LALT, "-"},
      {SDLK_r, KMOD_LSHIFT, "red"},
  };
  for (const auto& t : table)
    EXPECT_EQ(keyNames({box::windowKey(t.code, t.mod)}), t.key + std::string(" ")) << SDL_GetKeyName(t.code);
}

TEST(WindowScale, WholeFactorsThatFitAndPlacement) {
  // Display areas and the factor the window opens at.
  const struct {
    int w, h, scale;
  } scales[] = {
      {1024, 768, 1}, {1440, 1152, 2}, {1920, 1080 - 64, 1}, {2560, 1440 - 64, 2}, {3840, 2160 - 64, 3},
      {640, 480, 1},  {0, 0, 1}};
  for (const auto& s : scales) EXPECT_EQ(box::windowScale(s.w, s.h), s.scale) << s.w << "x" << s.h;
  const struct {
    int w, h;
    box::Placement want;
  } places[] = {
      {720, 576, {0, 0, 720, 576}},      {1440, 1152, {0, 0, 1440, 1152}}, {1000, 700, {140, 62, 720, 576}},
      {1500, 1152, {30, 0, 1440, 1152}}, {360, 288, {0, 0, 360, 288}},     {360, 576, {0, 144, 360, 288}},
      {719, 575, {0, 0, 719, 575}},      {180, 500, {0, 178, 180, 144}},   {0, 0, {0, 0, 1, 1}}};
  for (const auto& c : places) {
    const box::Placement p = box::placePicture(c.w, c.h);
    EXPECT_EQ(p, c.want) << c.w << "x" << c.h << " gave " << p.x << "," << p.y << " " << p.w << "x" << p.h;
  }
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    Screen::instance().reset();
    gPalette palette;
    palette.data = {{0, 0, 0}, {200, 10, 20}, {30, 220, 40}, {5, 6, 250, 255}};
    Screen::instance().setPalette(palette);
    Screen::instance().redrawDirty();  // nothing left to repaint over the pixels below
    gPixmap& fb = Screen::instance().framebuffer();
    fb.fill(eRect(0, 0, Screen::width, Screen::height), 2);
    fb.fill(eRect(10, 20, 30, 40), 1);
    fb.fill(eRect(700, 556, 20, 20), 3);
    std::string error;
    window = box::Window::open(2, &error);
    ASSERT_TRUE(window) << error;
    window->setKeySink([this](int key) { keys.push_back(key); });
  }
  void TearDown() override {
    window.reset();
    Screen::instance().reset();
  }
  // "" when the window shows the screen with each pixel a scale x scale
  // block in its palette colour, opaque, at x0,y0 on black; else the first
  // pixel that differs.
  std::string differs(int scale, int x0, int y0) const {
    int w = 0, h = 0;
    const std::vector<uint32_t> px = window->pixels(&w, &h);
    const gPixmap& fb = Screen::instance().framebuffer();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int sx = x >= x0 ? (x - x0) / scale : -1, sy = y >= y0 ? (y - y0) / scale : -1;
        uint32_t want = 0;
        if (sx >= 0 && sy >= 0 && sx < Screen::width && sy < Screen::height) {
          const gRGB& c = fb.clut.data[fb.pixel(sx, sy)];
          want = uint32_t(c.r) << 16 | c.g << 8 | c.b;
        }
        if (px[size_t(y) * w + x] != want) return std::to_string(x) + "," + std::to_string(y);
      }
    return "";
  }
  void push(SDL_Keycode code) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = code;
    SDL_PushEvent(&e);
  }
  std::unique_ptr<box::Window> window;
  std::vector<int> keys;
};

TEST_F(WindowTest, ShowsTheFramebufferScaledAndRedrawsOnlyOnChange) {
  window->pump();
  window->pump();
  EXPECT_EQ(window->presented(), 1u) << "nothing changed, yet the window was redrawn";
  EXPECT_EQ(differs(2, 0, 0), "");

  Screen::instance().framebuffer().fill(eRect(0, 0, 1, 1), 3);
  Screen::instance().invalidate(eRect(100, 100, 2, 2));
  Screen::instance().redrawDirty();  // paints the area with colour 0
  window->pump();
  EXPECT_EQ(window->presented(), 2u);
  EXPECT_EQ(differs(2, 0, 0), "");

  // A larger window shows the picture at the largest whole factor, centred.
  window->resize(1600, 1200);
  window->pump();
  EXPECT_EQ(window->presented(), 3u);
  EXPECT_EQ(differs(2, 80, 24), "");
}

TEST_F(WindowTest, KeysReachTheRemoteAndClosingLeavesWithExitKeys) {
  int closes = 0;
  window->setOnClose([&] { ++closes; });
  for (SDL_Keycode k : {SDLK_1, SDLK_F2, SDLK_DOWN, SDLK_SPACE, SDLK_RETURN, SDLK_BACKSPACE}) push(k);
  window->pump();
  EXPECT_EQ(keyNames(keys), "1 green down ok exit ");
  EXPECT_FALSE(window->closed());

  keys.clear();
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  push(SDLK_g);  // after the close: not for the plug-in any more
  // Exit again and again while the plug-in has not left, 50 ms apart.
  const uint32_t until = SDL_GetTicks() + 2000;
  while (keys.size() < 3 && SDL_GetTicks() < until) {
    window->pump();
    SDL_Delay(5);
  }
  EXPECT_TRUE(window->closed());
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(keyNames(keys), "exit exit exit ");
}

TEST(WindowOpen, NoDisplayIsAClearError) {
  // Only the drivers that show nothing are left: they count as no display.
  unsetenv("SDL_VIDEODRIVER");
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  std::string error;
  EXPECT_FALSE(box::Window::open(1, &error));
  EXPECT_EQ(error, "no display to open a window on (DISPLAY is not set)");
  if (display) setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
